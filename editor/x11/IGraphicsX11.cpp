#include "editor/x11/IGraphicsX11.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/IPlugBase.h"
#include "editor/PlatformPaths.h"
#include "editor/Utf8.h"
#include "editor/x11/X11Connection.h"
#include "editor/x11/X11Image.h"
#include "editor/x11/X11Modal.h"
#include "editor/ycairo.h"

namespace tessaro {
namespace {

constexpr int kMaxEventsPerIdle = 1000;
constexpr int kClipboardWaitMs = 1000;
constexpr unsigned long kXEmbedMapped = 1;

std::atomic<int> gOpenWindows{0};

// Xlib's error handlers are process-wide and the host has its own. Ours are
// installed while any editor window exists: errors on our connections are
// noted by their editor (a host window that vanished must not end the
// host), everything else goes to the handler that was there before.
class ErrorHandlers {
 public:
  static ErrorHandlers& Get() {
    static ErrorHandlers handlers;
    return handlers;
  }

  void Register(Display* display, IGraphicsX11* editor) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (editors_.empty()) {
      previous_ = XSetErrorHandler(&OnError);
      previousIO_ = XSetIOErrorHandler(&OnIOError);
    }
    editors_.push_back({display, editor});
  }

  void Unregister(Display* display) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(editors_, [display](const Entry& e) { return e.display == display; });
    if (!editors_.empty()) return;
    // Put the host's handlers back, unless someone replaced ours meanwhile.
    XErrorHandler current = XSetErrorHandler(previous_);
    if (current != &OnError) XSetErrorHandler(current);
    XIOErrorHandler currentIO = XSetIOErrorHandler(previousIO_);
    if (currentIO != &OnIOError) XSetIOErrorHandler(currentIO);
  }

 private:
  struct Entry {
    Display* display;
    IGraphicsX11* editor;
  };

  IGraphicsX11* Find(Display* display) {
    for (const Entry& e : editors_) {
      if (e.display == display) return e.editor;
    }
    return nullptr;
  }

  static int OnError(Display* display, XErrorEvent* error) {
    ErrorHandlers& self = Get();
    XErrorHandler forward = nullptr;
    {
      std::lock_guard<std::mutex> lock(self.mutex_);
      if (IGraphicsX11* editor = self.Find(display)) {
        editor->NoteXError(error->error_code);
        return 0;
      }
      forward = self.previous_;
    }
    return forward ? forward(display, error) : 0;
  }

  static int OnIOError(Display* display) {
    ErrorHandlers& self = Get();
    XIOErrorHandler forward = nullptr;
    {
      std::lock_guard<std::mutex> lock(self.mutex_);
      if (IGraphicsX11* editor = self.Find(display)) {
        editor->NoteConnectionLost();
        return 0;
      }
      forward = self.previousIO_;
    }
    return forward ? forward(display) : 0;
  }

  std::mutex mutex_;
  std::vector<Entry> editors_;
  XErrorHandler previous_ = nullptr;
  XIOErrorHandler previousIO_ = nullptr;
};

// Without this, Xlib calls exit() once the handler above returns.
void OnConnectionExit(Display*, void* editor) { static_cast<IGraphicsX11*>(editor)->NoteConnectionLost(); }

// The cursor font shape for each cursor kind of the graphics core.
unsigned int CursorShapeFor(int kind) {
  switch (kind) {
    case 1: return XC_xterm;
    case 2: return XC_watch;
    case 3: return XC_crosshair;
    case 4: return XC_sb_up_arrow;
    case 5: return XC_bottom_right_corner;
    case 6: return XC_bottom_left_corner;
    case 7: return XC_sb_h_double_arrow;
    case 8: return XC_sb_v_double_arrow;
    case 9: return XC_fleur;
    case 10: return XC_X_cursor;
    case 11: return XC_hand2;
    case 12: return XC_watch;
    case 13: return XC_question_arrow;
    default: return XC_left_ptr;
  }
}

// The Unicode character a key stands for, or 0.
char32_t CharacterOf(KeySym symbol, const char* bytes, int length) {
  if ((symbol >= 0x20 && symbol <= 0x7E) || (symbol >= 0xA0 && symbol <= 0xFF)) return static_cast<char32_t>(symbol);
  if ((symbol & 0xFF000000u) == 0x01000000u) return static_cast<char32_t>(symbol & 0x00FFFFFFu);
  if (length == 1 && static_cast<unsigned char>(bytes[0]) >= 0x20 && bytes[0] != 0x7F) {
    return static_cast<unsigned char>(bytes[0]);
  }
  return 0;
}

std::string ResolveInPath(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string dirs = path;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string dir = dirs.substr(start, end - start);
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// Starts the program detached from this process (its own session, no
// zombie left behind); false when it could not be started.
bool SpawnDetached(const std::string& program, const char* argument) {
  int status[2];
  if (pipe2(status, O_CLOEXEC) != 0) return false;
  const pid_t child = fork();
  if (child < 0) {
    close(status[0]);
    close(status[1]);
    return false;
  }
  if (child == 0) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, STDIN_FILENO);
      dup2(devnull, STDOUT_FILENO);
      dup2(devnull, STDERR_FILENO);
    }
    execl(program.c_str(), program.c_str(), argument, static_cast<char*>(nullptr));
    const char failed = 1;
    (void)!write(status[1], &failed, 1);
    _exit(127);
  }
  close(status[1]);
  int childStatus = 0;
  while (waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes on a successful exec; a byte means exec failed.
  char byte = 0;
  ssize_t n;
  while ((n = read(status[0], &byte, 1)) < 0 && errno == EINTR) {
  }
  close(status[0]);
  return WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0 && n == 0;
}

}  // namespace

int OpenEditorWindowCount() { return gOpenWindows.load(); }

// The pump's hold of the plug-in lock; counted so a modal loop can let go.
class IGraphicsX11::PlugLock {
 public:
  explicit PlugLock(IGraphicsX11& g) : g_(g) {
    if (!g_.Plug()) return;
    g_.Plug()->Mutex().lock();
    ++g_.lockDepth_;
  }
  ~PlugLock() {
    if (!g_.Plug()) return;
    --g_.lockDepth_;
    g_.Plug()->Mutex().unlock();
  }
  PlugLock(const PlugLock&) = delete;
  PlugLock& operator=(const PlugLock&) = delete;

 private:
  IGraphicsX11& g_;
};

// Releases every hold the pump has while a modal window waits for the user.
class IGraphicsX11::LockSuspension {
 public:
  explicit LockSuspension(IGraphicsX11& g) : g_(g), depth_(g.lockDepth_) {
    for (int i = 0; i < depth_; ++i) g_.Plug()->Mutex().unlock();
    g_.lockDepth_ = 0;
    ++g_.modalDepth_;
  }
  ~LockSuspension() {
    --g_.modalDepth_;
    for (int i = 0; i < depth_; ++i) g_.Plug()->Mutex().lock();
    g_.lockDepth_ = depth_;
  }
  LockSuspension(const LockSuspension&) = delete;
  LockSuspension& operator=(const LockSuspension&) = delete;

 private:
  IGraphicsX11& g_;
  int depth_;
};

IGraphicsX11::IGraphicsX11(IPlugBase* plug, int width, int height, int frameRate)
    : IGraphics(plug, width, height, frameRate) {}

IGraphicsX11::~IGraphicsX11() { DestroyEditorWindow(); }

bool IGraphicsX11::OnEditorThread() const {
  return display_ && !ioDead_ && std::this_thread::get_id() == thread_;
}

template <typename Fn>
bool IGraphicsX11::Trapped(Fn&& fn) {
  lastError_ = 0;
  fn();
  if (!ioDead_) XSync(display_, False);
  return lastError_ == 0 && !ioDead_;
}

// --- opening and closing ---

void* IGraphicsX11::CreateEditorWindow(void* parent) {
  const auto parentId = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
  if (parentId == 0) return nullptr;
  int x = 0, y = 0;
  if (display_) {
    if (window_ && !windowGone_ && !ioDead_) {
      XWindowAttributes a{};
      if (XGetWindowAttributes(display_, window_, &a)) {
        x = a.x;
        y = a.y;
      }
    }
    DestroyEditorWindow();
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  display_ = display;
  ioDead_ = false;
  windowGone_ = false;
  thread_ = std::this_thread::get_id();
  ErrorHandlers::Get().Register(display_, this);
  XSetIOErrorExitHandler(display_, &OnConnectionExit, this);

  XWindowAttributes parentAttributes{};
  bool ok = Trapped([&] { XGetWindowAttributes(display_, parentId, &parentAttributes); });
  // A fixed 24-bit true-colour visual lets the draw buffer go to the server
  // as it is, whatever visual the host's window has.
  XVisualInfo info{};
  const int screen = DefaultScreen(display_);
  if (ok && !XMatchVisualInfo(display_, screen, 24, TrueColor, &info)) ok = false;
  if (ok) {
    visual_ = info.visual;
    colormap_ = XCreateColormap(display_, RootWindow(display_, screen), visual_, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.colormap = colormap_;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | KeyPressMask | KeyReleaseMask |
                            StructureNotifyMask | FocusChangeMask;
    ok = Trapped([&] {
      window_ = XCreateWindow(display_, parentId, x, y, static_cast<unsigned>(Width()),
                              static_cast<unsigned>(Height()), 0, 24, InputOutput, visual_,
                              CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attributes);
    });
  }
  if (ok) {
    parent_ = parentId;
    atomClipboard_ = XInternAtom(display_, "CLIPBOARD", False);
    atomUtf8_ = XInternAtom(display_, "UTF8_STRING", False);
    atomTargets_ = XInternAtom(display_, "TARGETS", False);
    atomText_ = XInternAtom(display_, "TEXT", False);
    atomIncr_ = XInternAtom(display_, "INCR", False);
    atomTransfer_ = XInternAtom(display_, "TESSARO_CLIPBOARD", False);
    atomWorkArea_ = XInternAtom(display_, "_NET_WORKAREA", False);
    const Atom xembed = XInternAtom(display_, "_XEMBED_INFO", False);
    const unsigned long embedInfo[2] = {0, kXEmbedMapped};
    XChangeProperty(display_, window_, xembed, xembed, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(embedInfo), 2);
    XClassHint hint{const_cast<char*>("Tessaro_v2"), const_cast<char*>("tessaro-editor")};
    XSetClassHint(display_, window_, &hint);
    XStoreName(display_, window_, "Tessaro_v2 editor");
    ok = Trapped([&] { XMapWindow(display_, window_); });
  }
  if (!ok) {
    DestroyEditorWindow();
    return nullptr;
  }
  ++gOpenWindows;
  intervalMs_ = x11::TimerIntervalMs(FrameRate());
  nextTick_ = std::chrono::steady_clock::now();
  ResetPointerState();
  NotifyWindowOpened();
  XFlush(display_);
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_));
}

void IGraphicsX11::DestroyEditorWindow() {
  if (!display_) return;
  if (field_) CloseField(false);
  const bool counted = window_ != 0;
  if (window_) NotifyWindowClosing();
  if (!ioDead_) {
    lastError_ = 0;
    if (window_ && !windowGone_) XDestroyWindow(display_, window_);
    for (auto& [kind, cursor] : cursors_) XFreeCursor(display_, cursor);
    if (blankCursor_) XFreeCursor(display_, blankCursor_);
    if (colormap_) XFreeColormap(display_, colormap_);
    // Every request is through before the connection goes, so the host's
    // window never sees half of them.
    XSync(display_, False);
  }
  cursors_.clear();
  blankCursor_ = 0;
  colormap_ = 0;
  if (ioDead_) {
    x11::CloseDeadConnection(display_);
  } else {
    XCloseDisplay(display_);
  }
  ErrorHandlers::Get().Unregister(display_);
  display_ = nullptr;
  window_ = 0;
  parent_ = 0;
  visual_ = nullptr;
  windowGone_ = false;
  ownsClipboard_ = false;
  cursorHidden_ = false;
  exposePending_ = blitPending_ = repaintAll_ = false;
  if (counted) --gOpenWindows;
}

void* IGraphicsX11::WindowHandle() {
  return window_ && !windowGone_ ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_)) : nullptr;
}

// --- the pump ---

void IGraphicsX11::Idle() {
  if (!display_ || inIdle_ || std::this_thread::get_id() != thread_) return;
  inIdle_ = true;
  if (!ioDead_ && x11::ConnectionHungUp(display_)) ioDead_ = true;
  if (!ioDead_) {
    {
      PlugLock lock(*this);
      for (int n = 0; n < kMaxEventsPerIdle && !ioDead_ && XPending(display_) > 0; ++n) {
        XEvent event;
        XNextEvent(display_, &event);
        HandleEvent(event);
      }
    }
    FlushBlits();
    const auto now = std::chrono::steady_clock::now();
    if (!ioDead_ && now >= nextTick_) {
      // Idle calls come when the host likes; a late tick does not try to catch up.
      nextTick_ = now + std::chrono::milliseconds(intervalMs_);
      {
        PlugLock lock(*this);
        Tick();
      }
      FlushBlits();
    }
  }
  inIdle_ = false;
}

void IGraphicsX11::ResetPointerState() {
  captured_ = false;
  swallowRelease_ = false;
  trackingLeave_ = false;
  leavePending_ = false;
  doubleClick_.Reset();
}

void IGraphicsX11::HandleEvent(XEvent& event) {
  if (field_ && event.xany.window == field_) {
    HandleFieldEvent(event);
    return;
  }
  if (event.xany.window != window_) return;
  switch (event.type) {
    case Expose: {
      const XExposeEvent& e = event.xexpose;
      const IRect r{e.x, e.y, e.x + e.width, e.y + e.height};
      exposed_ = exposePending_ ? exposed_.Union(r) : r;
      exposePending_ = true;
      if (e.count == 0) {
        exposePending_ = false;
        PaintNow(exposed_);
      }
      break;
    }
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) {
        // The host destroyed its window and ours with it.
        windowGone_ = true;
        field_ = 0;
        entryControl_ = nullptr;
        entryParam_ = nullptr;
        entryState_ = kEntryIdle;
      }
      break;
    case ButtonPress: {
      const XButtonEvent& b = event.xbutton;
      const IMouseState mouse = x11::MouseStateFor(b.state, b.button, true);
      const int steps = x11::WheelSteps(b.button);
      if (field_) {
        // A press on the editor ends the field: it cancels while the field
        // has the focus, and commits when the user already left it.
        if (steps != 0) {
          if (entryState_ != kEntryFocused) entryState_ = kEntryCancel;
        } else if (b.button == Button1 || b.button == Button3) {
          entryState_ = entryState_ == kEntryFocused ? kEntryCancel : kEntryCommit;
        }
        // No control saw this press, so none may see its release.
        if (steps == 0) swallowRelease_ = true;
        break;
      }
      if (steps != 0) {
        DispatchWheel(b.x, b.y, mouse, steps);
        break;
      }
      captured_ = true;
      if (b.button == Button1 && doubleClick_.Press(b.time, b.x, b.y)) {
        DispatchDoubleClick(b.x, b.y, mouse);
      } else {
        if (b.button != Button1) doubleClick_.Reset();
        DispatchMouseDown(b.x, b.y, mouse);
      }
      break;
    }
    case ButtonRelease: {
      const XButtonEvent& b = event.xbutton;
      // The release of the press that opened a field still ends that press.
      if (x11::WheelSteps(b.button) != 0) break;
      if (swallowRelease_) {
        swallowRelease_ = false;
        break;
      }
      const unsigned int held = b.state & (Button1Mask | Button2Mask | Button3Mask);
      const unsigned int mine = b.button == Button1 ? Button1Mask : b.button == Button2 ? Button2Mask : Button3Mask;
      if ((held & ~mine) == 0) captured_ = false;
      DispatchMouseUp(b.x, b.y, x11::MouseStateFor(b.state, b.button, false));
      if (!captured_ && leavePending_) {
        leavePending_ = false;
        if (b.x < 0 || b.y < 0 || b.x >= Width() || b.y >= Height()) {
          DispatchMouseLeave();
          trackingLeave_ = false;
        }
      }
      break;
    }
    case MotionNotify: {
      // Only the latest position matters; older ones would make drags lag.
      while (XCheckTypedWindowEvent(display_, window_, MotionNotify, &event)) {
      }
      const XMotionEvent& m = event.xmotion;
      pointerX_ = m.x;
      pointerY_ = m.y;
      if (field_ && entryState_ == kEntryFocused) break;
      const IMouseState mouse = x11::MouseStateFor(m.state, 0, false);
      if (mouse.left || mouse.right) {
        if (captured_ && !field_) DispatchMouseDrag(m.x, m.y, mouse);
      } else if (DispatchMouseOver(m.x, m.y, mouse)) {
        trackingLeave_ = true;
      }
      break;
    }
    case EnterNotify:
      leavePending_ = false;
      break;
    case LeaveNotify:
      if (event.xcrossing.detail == NotifyInferior) break;
      if (captured_) {
        // Windows tells of the leave only once the capture ends.
        leavePending_ = true;
      } else if (trackingLeave_) {
        trackingLeave_ = false;
        DispatchMouseLeave();
      }
      break;
    case KeyPress: {
      if (field_ && entryState_ == kEntryFocused) break;
      char bytes[8];
      KeySym symbol = NoSymbol;
      XLookupString(&event.xkey, bytes, sizeof bytes, &symbol, nullptr);
      const int key = x11::TranslateKey(symbol, event.xkey.state);
      if (key >= 0 && DispatchKeyDown(event.xkey.x, event.xkey.y, key)) break;
      ForwardKeyToHost(event.xkey);
      break;
    }
    case KeyRelease:
      ForwardKeyToHost(event.xkey);
      break;
    case ConfigureNotify:
      repaintAll_ = true;
      break;
    case SelectionRequest:
      ServeSelection(event.xselectionrequest);
      break;
    case SelectionClear:
      if (event.xselectionclear.selection == atomClipboard_) ownsClipboard_ = false;
      break;
    default:
      break;
  }
}

// Keys the editor does not use belong to the host (transport, shortcuts).
void IGraphicsX11::ForwardKeyToHost(XKeyEvent key) {
  if (!parent_ || windowGone_) return;
  key.window = parent_;
  key.subwindow = None;
  Trapped([&] {
    XSendEvent(display_, parent_, True, key.type == KeyPress ? KeyPressMask : KeyReleaseMask,
               reinterpret_cast<XEvent*>(&key));
  });
}

void IGraphicsX11::Tick() {
  if (field_) {
    if (entryState_ == kEntryCancel || entryState_ == kEntryCommit) {
      CloseField(entryState_ == kEntryCommit);
      return;
    }
    if (entryState_ == kEntryPainted) {
      entryState_ = kEntryIdle;
      return;
    }
    // While the user types, nothing repaints beneath the field.
    if (entryState_ == kEntryFocused) return;
  }
  RunTimerHook();
  if (repaintAll_) {
    repaintAll_ = false;
    PaintNow({0, 0, Width(), Height()});
  }
  IRect area;
  if (CollectDirtyArea(area)) {
    PaintNow(area);
    if (field_) entryState_ = kEntryPainted;
  }
}

void IGraphicsX11::PaintNow(const IRect& rect) {
  if (!window_ || windowGone_ || !DrawBuffer()) return;
  PaintDirty(rect);
}

bool IGraphicsX11::BlitToWindow(const IRect& rect) {
  // The pixels go to the server once the plug-in lock is released.
  pendingBlit_ = blitPending_ ? pendingBlit_.Union(rect) : rect;
  blitPending_ = true;
  return true;
}

void IGraphicsX11::FlushBlits() {
  if (!blitPending_) return;
  blitPending_ = false;
  LICE_SysBitmap* buffer = DrawBuffer();
  if (!buffer || !window_ || windowGone_ || ioDead_ || !OnEditorThread()) return;
  x11::PutPixels(display_, window_, visual_, 24, buffer->Bits(), buffer->Width(), buffer->Height(),
                 buffer->RowSpan(), pendingBlit_);
  XFlush(display_);
}

void IGraphicsX11::SetEditorSize(int width, int height) {
  if (width == Width() && height == Height()) return;
  IGraphics::SetEditorSize(width, height);
  if (!OnEditorThread() || !window_ || windowGone_) return;
  // The host resizes its own window when told through the size-window call.
  Trapped([&] { XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height)); });
  repaintAll_ = true;
}

// --- the text field ---

void IGraphicsX11::ShowTextEntry(IControl* control, const ITextStyle& style, const IRect& rect, const char* text,
                                 IParameter* param) {
  if (!control || field_ || !OnEditorThread() || !window_ || windowGone_) return;
  const int w = std::max(rect.W(), 8), h = std::max(rect.H(), 8);
  bool ok = Trapped([&] {
    field_ = XCreateSimpleWindow(display_, window_, rect.L, rect.T, static_cast<unsigned>(w),
                                 static_cast<unsigned>(h), 0, 0, style.entryBackground.Packed() & 0xFFFFFFu);
  });
  if (!ok || !field_) {
    field_ = 0;
    return;
  }
  XSelectInput(display_, field_, ExposureMask | KeyPressMask | FocusChangeMask | ButtonPressMask);
  fieldRect_ = {rect.L, rect.T, rect.L + w, rect.T + h};
  entryControl_ = control;
  entryParam_ = param;
  entryStyle_ = style;
  entryText_.clear();
  const int limit = control->TextEntryLimit();
  for (char32_t c : utf8::Decode(text ? text : "")) {
    if (limit > 0 && static_cast<int>(utf8::Count(entryText_)) >= limit) break;
    utf8::Append(entryText_, c);
  }
  caret_ = entryText_.size();
  allSelected_ = true;
  entryState_ = kEntryIdle;
  int revert = 0;
  XGetInputFocus(display_, &previousFocus_, &revert);
  XMapRaised(display_, field_);
  // The field must be viewable before it can take the focus.
  XSync(display_, False);
  Trapped([&] { XSetInputFocus(display_, field_, RevertToParent, CurrentTime); });
}

void IGraphicsX11::CancelTextEntry() {
  if (field_) entryState_ = kEntryCancel;
}

void IGraphicsX11::CloseField(bool commit) {
  if (!field_) return;
  IControl* control = entryControl_;
  IParameter* param = entryParam_;
  const std::string text = entryText_;
  const Window field = field_;
  field_ = 0;
  entryControl_ = nullptr;
  entryParam_ = nullptr;
  entryState_ = kEntryIdle;
  if (!ioDead_ && !windowGone_) {
    Trapped([&] {
      XDestroyWindow(display_, field);
      // The focus goes back where it was, if that window still exists.
      if (previousFocus_ != None && previousFocus_ != PointerRoot) {
        XSetInputFocus(display_, previousFocus_, RevertToParent, CurrentTime);
      }
    });
  }
  previousFocus_ = 0;
  repaintAll_ = true;
  if (commit) CommitEntryText(control, param, text);
}

void IGraphicsX11::HandleFieldEvent(XEvent& event) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) DrawField();
      break;
    case FocusIn:
      if (event.xfocus.mode == NotifyNormal || event.xfocus.mode == NotifyWhileGrabbed) {
        if (entryState_ == kEntryIdle || entryState_ == kEntryPainted) entryState_ = kEntryFocused;
      }
      break;
    case FocusOut:
      // A grab (a menu elsewhere) is not the user leaving the field.
      if (event.xfocus.mode == NotifyNormal && entryState_ == kEntryFocused) entryState_ = kEntryCommit;
      break;
    case KeyPress:
      FieldKey(event.xkey);
      break;
    case ButtonPress:
      // A click inside the field only moves the caret to the end.
      allSelected_ = false;
      caret_ = entryText_.size();
      DrawField();
      break;
    default:
      break;
  }
}

void IGraphicsX11::FieldKey(XKeyEvent& key) {
  char bytes[16] = {};
  KeySym symbol = NoSymbol;
  const int length = XLookupString(&key, bytes, sizeof bytes - 1, &symbol, nullptr);
  const auto eraseSelection = [this] {
    if (!allSelected_) return false;
    entryText_.clear();
    caret_ = 0;
    allSelected_ = false;
    return true;
  };
  const auto insert = [this](char32_t c) {
    if (!IGraphics::EntryAccepts(entryControl_, entryParam_, c)) return;
    const int limit = entryControl_ ? entryControl_->TextEntryLimit() : 0;
    if (allSelected_) {
      entryText_.clear();
      caret_ = 0;
      allSelected_ = false;
    }
    if (limit > 0 && static_cast<int>(utf8::Count(entryText_)) >= limit) return;
    const std::string encoded = utf8::Encode(c);
    entryText_.insert(caret_, encoded);
    caret_ += encoded.size();
  };
  switch (symbol) {
    case XK_Return:
    case XK_KP_Enter:
      entryState_ = kEntryCommit;
      return;
    case XK_Escape:
      entryState_ = kEntryCancel;
      return;
    case XK_BackSpace:
      if (!eraseSelection() && caret_ > 0) {
        const std::size_t from = utf8::PreviousStart(entryText_, caret_);
        entryText_.erase(from, caret_ - from);
        caret_ = from;
      }
      break;
    case XK_Delete:
    case XK_KP_Delete:
      if (!eraseSelection() && caret_ < entryText_.size()) {
        entryText_.erase(caret_, utf8::NextStart(entryText_, caret_) - caret_);
      }
      break;
    case XK_Left:
    case XK_KP_Left:
      caret_ = allSelected_ ? 0 : utf8::PreviousStart(entryText_, caret_);
      allSelected_ = false;
      break;
    case XK_Right:
    case XK_KP_Right:
      caret_ = allSelected_ ? entryText_.size() : utf8::NextStart(entryText_, caret_);
      allSelected_ = false;
      break;
    case XK_Home:
    case XK_KP_Home:
      caret_ = 0;
      allSelected_ = false;
      break;
    case XK_End:
    case XK_KP_End:
      caret_ = entryText_.size();
      allSelected_ = false;
      break;
    default:
      if (key.state & ControlMask) {
        if (symbol == XK_v || symbol == XK_V) {
          std::string pasted;
          if (ClipboardText(pasted)) {
            for (char32_t c : utf8::Decode(pasted)) {
              if (c >= 0x20) insert(c);
            }
          }
        } else if (symbol == XK_a || symbol == XK_A) {
          allSelected_ = true;
        }
        break;
      }
      if (const char32_t c = CharacterOf(symbol, bytes, length)) insert(c);
      break;
  }
  DrawField();
}

void IGraphicsX11::DrawField() {
  if (!field_ || ioDead_) return;
  const int w = fieldRect_.W(), h = fieldRect_.H();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(surface);
  const IColour& bg = entryStyle_.entryBackground;
  const IColour& fg = entryStyle_.entryForeground;
  cairo_set_source_rgb(cr, bg.R / 255.0, bg.G / 255.0, bg.B / 255.0);
  cairo_paint(cr);
  if (ycairo_canvas* canvas = Canvas(); canvas && canvas->FontFace()) {
    cairo_set_font_face(cr, canvas->FontFace());
  } else {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  }
  cairo_set_font_size(cr, std::max(entryStyle_.size, 6));
  cairo_text_extents_t all{}, before{};
  cairo_text_extents(cr, entryText_.c_str(), &all);
  const std::string head = entryText_.substr(0, caret_);
  cairo_text_extents(cr, head.c_str(), &before);
  cairo_font_extents_t font{};
  cairo_font_extents(cr, &font);
  const double pad = 2.0;
  double x = pad;
  if (entryStyle_.align == ITextStyle::kCentre) x = (w - all.x_advance) / 2.0;
  if (entryStyle_.align == ITextStyle::kRight) x = w - pad - all.x_advance;
  // Keep the caret in view when the text is wider than the field.
  const double caretX = x + before.x_advance;
  if (caretX > w - pad) x -= caretX - (w - pad);
  if (x + before.x_advance < pad) x = pad - before.x_advance;
  const double baseline = (h + font.ascent - font.descent) / 2.0;
  if (allSelected_ && !entryText_.empty()) {
    cairo_set_source_rgb(cr, 0.2, 0.45, 0.85);
    cairo_rectangle(cr, x, (h - font.height) / 2.0, all.x_advance, font.height);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
  } else {
    cairo_set_source_rgb(cr, fg.R / 255.0, fg.G / 255.0, fg.B / 255.0);
  }
  cairo_move_to(cr, x, baseline);
  cairo_show_text(cr, entryText_.c_str());
  if (!allSelected_) {
    cairo_set_source_rgb(cr, fg.R / 255.0, fg.G / 255.0, fg.B / 255.0);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, std::floor(x + before.x_advance) + 0.5, (h - font.height) / 2.0);
    cairo_rel_line_to(cr, 0, font.height);
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const auto* pixels = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface));
  x11::PutPixels(display_, field_, visual_, 24, pixels, w, h, cairo_image_surface_get_stride(surface) / 4,
                 {0, 0, w, h});
  cairo_surface_destroy(surface);
  XFlush(display_);
}

// --- modal services ---

x11::ModalContext IGraphicsX11::MakeModalContext() {
  x11::ModalContext context;
  context.display = display_;
  context.editor = window_;
  Window root = 0, parent = window_, top = window_;
  Window* children = nullptr;
  unsigned int count = 0;
  // The top-level ancestor owns dialogs, so window managers keep them above it.
  while (parent && !windowGone_) {
    top = parent;
    if (!XQueryTree(display_, top, &root, &parent, &children, &count)) break;
    if (children) XFree(children);
    if (parent == root) break;
  }
  context.owner = top != window_ ? top : 0;
  context.font = Canvas() ? Canvas()->FontFace() : nullptr;
  context.scale = 1.0;
  context.forward = [this](XEvent& event) { HandleModalForward(event); };
  context.tick = [this] {
    {
      PlugLock lock(*this);
      Tick();
    }
    FlushBlits();
  };
  return context;
}

// While a modal window is up the editor repaints and serves the clipboard,
// but takes no input.
void IGraphicsX11::HandleModalForward(XEvent& event) {
  if (event.xany.window != window_ && !(field_ && event.xany.window == field_)) return;
  switch (event.type) {
    case Expose:
    case DestroyNotify:
    case SelectionRequest:
    case SelectionClear:
    case ConfigureNotify: {
      {
        PlugLock lock(*this);
        HandleEvent(event);
      }
      FlushBlits();
      break;
    }
    default:
      break;
  }
}

int IGraphicsX11::ShowAlert(const char* text, const char* caption, int type) {
  if (!OnEditorThread() || !window_ || windowGone_) {
    // Nobody can answer: the careful choice of each box.
    return type == x11::kAlertTypeYesNo ? kAlertNo : type == x11::kAlertTypeOkCancel ? kAlertCancel : kAlertOk;
  }
  x11::ModalContext context = MakeModalContext();
  LockSuspension unlocked(*this);
  const int answer = x11::RunMessageBox(context, text ? text : "", caption ? caption : "", type);
  EndInterruptedPress();
  ResetPointerState();
  return answer;
}

IMenu* IGraphicsX11::ShowPopupMenu(IMenu& menu, const IRect& rect) {
  if (!OnEditorThread() || !window_ || windowGone_) return nullptr;
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), rect.L, rect.B, &x, &y, &child);
  x11::ModalContext context = MakeModalContext();
  IMenu* chosen = nullptr;
  {
    LockSuspension unlocked(*this);
    chosen = x11::RunPopupMenu(context, menu, x, y);
  }
  // The menu took the release of the press that opened it.
  EndInterruptedPress();
  ResetPointerState();
  repaintAll_ = true;
  return chosen;
}

void IGraphicsX11::AskForFile(std::string& path, int action, std::string& directory, const char* extensions) {
  if (!OnEditorThread() || !window_ || windowGone_) {
    path.clear();
    return;
  }
  x11::ModalContext context = MakeModalContext();
  LockSuspension unlocked(*this);
  x11::AskForFile(context, path, action, directory, extensions ? extensions : "", paths::DesktopFolder());
  EndInterruptedPress();
  ResetPointerState();
}

void IGraphicsX11::AskForFolder(std::string& path, const char* title) {
  if (!OnEditorThread() || !window_ || windowGone_) {
    path.clear();
    return;
  }
  x11::ModalContext context = MakeModalContext();
  LockSuspension unlocked(*this);
  x11::AskForFolder(context, path, title ? title : "");
  EndInterruptedPress();
  ResetPointerState();
}

bool IGraphicsX11::AskForColour(IColour& colour, const char* title) {
  if (!OnEditorThread() || !window_ || windowGone_) return false;
  x11::ModalContext context = MakeModalContext();
  LockSuspension unlocked(*this);
  const bool chosen = x11::AskForColour(context, colour, title ? title : "");
  EndInterruptedPress();
  ResetPointerState();
  return chosen;
}

bool IGraphicsX11::OpenWebPage(const char* url, const char* caption, const char* confirmText,
                               const char* errorText) {
  if (!url || !*url) return false;
  if (confirmText && ShowAlert(confirmText, caption, x11::kAlertTypeYesNo) != kAlertYes) return false;
  const std::string opener = ResolveInPath("xdg-open");
  if (!opener.empty() && SpawnDetached(opener, url)) return true;
  const std::string fallback = opener.empty()
                                   ? std::string("Cannot open ") + url + ": xdg-open is not installed."
                                   : std::string("Cannot open ") + url + ".";
  ShowAlert(errorText ? errorText : fallback.c_str(), caption, x11::kAlertTypeOk);
  return false;
}

// --- clipboard ---

bool IGraphicsX11::SetClipboardText(const char* text) {
  if (!text || !OnEditorThread() || !window_ || windowGone_) return false;
  clipboard_ = text;
  XSetSelectionOwner(display_, atomClipboard_, window_, CurrentTime);
  ownsClipboard_ = XGetSelectionOwner(display_, atomClipboard_) == window_;
  return ownsClipboard_;
}

void IGraphicsX11::ServeSelection(const XSelectionRequestEvent& request) {
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = request.display;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  // Old clients name no property; the target then stands for it.
  const Atom property = request.property != None ? request.property : request.target;
  reply.property = None;
  if (ownsClipboard_ && request.selection == atomClipboard_) {
    if (request.target == atomTargets_) {
      const Atom targets[] = {atomTargets_, atomUtf8_, XA_STRING, atomText_};
      XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(targets), 4);
      reply.property = property;
    } else if (request.target == atomUtf8_ || request.target == XA_STRING || request.target == atomText_) {
      XChangeProperty(display_, request.requestor, property, request.target == atomText_ ? atomUtf8_ : request.target,
                      8, PropModeReplace, reinterpret_cast<const unsigned char*>(clipboard_.data()),
                      static_cast<int>(clipboard_.size()));
      reply.property = property;
    }
  }
  Trapped([&] { XSendEvent(display_, request.requestor, False, 0, reinterpret_cast<XEvent*>(&reply)); });
}

bool IGraphicsX11::ClipboardText(std::string& text) {
  text.clear();
  if (!OnEditorThread() || !window_ || windowGone_) return false;
  if (ownsClipboard_) {
    text = clipboard_;
    return true;
  }
  if (XGetSelectionOwner(display_, atomClipboard_) == None) return false;
  XDeleteProperty(display_, window_, atomTransfer_);
  XConvertSelection(display_, atomClipboard_, atomUtf8_, atomTransfer_, window_, CurrentTime);
  XFlush(display_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kClipboardWaitMs);
  XEvent event;
  bool answered = false;
  while (!ioDead_ && std::chrono::steady_clock::now() < deadline) {
    if (XCheckTypedWindowEvent(display_, window_, SelectionNotify, &event)) {
      answered = true;
      break;
    }
    pollfd p{ConnectionNumber(display_), POLLIN, 0};
    poll(&p, 1, 10);
  }
  if (!answered || event.xselection.property == None) return false;
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, remaining = 0;
  unsigned char* data = nullptr;
  // Texts beyond 1 MB (and incremental transfers) are not preset texts.
  if (XGetWindowProperty(display_, window_, atomTransfer_, 0, 1 << 18, True, AnyPropertyType, &type, &format,
                         &items, &remaining, &data) != Success) {
    return false;
  }
  const bool usable = data && format == 8 && type != atomIncr_ && remaining == 0;
  if (usable) text.assign(reinterpret_cast<const char*>(data), items);
  if (data) XFree(data);
  return usable;
}

// --- geometry, scale, cursor ---

void IGraphicsX11::WindowRect(IRect& rect) {
  rect = {};
  if (!OnEditorThread() || !window_ || windowGone_) return;
  int x = 0, y = 0;
  Window child = 0;
  XWindowAttributes a{};
  if (!XGetWindowAttributes(display_, window_, &a)) return;
  XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
  rect = {x, y, x + a.width, y + a.height};
}

void IGraphicsX11::TopWindowRect(IRect& rect) {
  rect = {};
  if (!OnEditorThread() || !window_ || windowGone_) return;
  const x11::ModalContext context = MakeModalContext();
  const Window top = context.owner ? context.owner : window_;
  int x = 0, y = 0;
  Window child = 0;
  XWindowAttributes a{};
  if (!Trapped([&] { XGetWindowAttributes(display_, top, &a); })) return;
  XTranslateCoordinates(display_, top, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
  rect = {x, y, x + a.width, y + a.height};
}

Display* IGraphicsX11::QueryDisplay(bool& temporary) {
  temporary = false;
  if (OnEditorThread()) return display_;
  temporary = true;
  return XOpenDisplay(nullptr);
}

void IGraphicsX11::WorkArea(IRect& rect) {
  rect = {0, 0, Width(), Height()};
  bool temporary = false;
  Display* d = QueryDisplay(temporary);
  if (!d) return;
  const Window root = DefaultRootWindow(d);
  rect = {0, 0, DisplayWidth(d, DefaultScreen(d)), DisplayHeight(d, DefaultScreen(d))};
  Atom type = 0;
  int format = 0;
  unsigned long items = 0, remaining = 0;
  unsigned char* data = nullptr;
  const Atom workArea = XInternAtom(d, "_NET_WORKAREA", False);
  if (XGetWindowProperty(d, root, workArea, 0, 4, False, XA_CARDINAL, &type, &format, &items, &remaining,
                         &data) == Success &&
      data && format == 32 && items >= 4) {
    // Format 32 properties arrive as longs.
    const auto* v = reinterpret_cast<const long*>(data);
    if (v[2] > 0 && v[3] > 0) {
      rect = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[0] + v[2]),
              static_cast<int>(v[1] + v[3])};
    }
  }
  if (data) XFree(data);
  if (temporary) XCloseDisplay(d);
}

double IGraphicsX11::ScreenScale() {
  bool temporary = false;
  Display* d = QueryDisplay(temporary);
  if (!d) return 1.0;
  double scale = 1.0;
  if (const char* resources = XResourceManagerString(d)) {
    XrmInitialize();
    if (XrmDatabase db = XrmGetStringDatabase(resources)) {
      char* type = nullptr;
      XrmValue value{};
      if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        const double dpi = std::atof(value.addr);
        if (dpi >= 24.0 && dpi <= 960.0) scale = dpi / 96.0;
      }
      XrmDestroyDatabase(db);
    }
  }
  if (temporary) XCloseDisplay(d);
  return scale;
}

void IGraphicsX11::SetCursorShape(int kind) {
  cursorKind_ = kind;
  if (!OnEditorThread() || !window_ || windowGone_ || cursorHidden_) return;
  auto it = cursors_.find(kind);
  if (it == cursors_.end()) it = cursors_.emplace(kind, XCreateFontCursor(display_, CursorShapeFor(kind))).first;
  XDefineCursor(display_, window_, it->second);
  XFlush(display_);
}

void IGraphicsX11::HideCursor() {
  if (cursorHidden_ || !OnEditorThread() || !window_ || windowGone_) return;
  Window root = 0, child = 0;
  int wx = 0, wy = 0;
  unsigned int mask = 0;
  XQueryPointer(display_, window_, &root, &child, &hiddenRootX_, &hiddenRootY_, &wx, &wy, &mask);
  if (!blankCursor_) {
    static const char empty[1] = {0};
    Pixmap pixmap = XCreateBitmapFromData(display_, window_, empty, 1, 1);
    XColor black{};
    blankCursor_ = XCreatePixmapCursor(display_, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(display_, pixmap);
  }
  XDefineCursor(display_, window_, blankCursor_);
  XFlush(display_);
  cursorHidden_ = true;
}

void IGraphicsX11::ShowCursor() {
  if (!cursorHidden_) return;
  cursorHidden_ = false;
  if (!OnEditorThread() || !window_ || windowGone_) return;
  // A knob dragged with the cursor hidden gives the pointer back where it was.
  XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, hiddenRootX_, hiddenRootY_);
  SetCursorShape(cursorKind_);
}

// --- folders and resources ---

void IGraphicsX11::HostDirectory(std::string& path) { path = paths::HostFolder(); }
void IGraphicsX11::PluginDirectory(std::string& path) { path = paths::PluginFolder(); }
void IGraphicsX11::DesktopDirectory(std::string& path) { path = paths::DesktopFolder(); }
void IGraphicsX11::DocumentsDirectory(std::string& path) { path = paths::DocumentsFolder(); }
void IGraphicsX11::AppDataDirectory(std::string& path, bool allUsers) { path = paths::AppDataFolder(allUsers); }

std::unique_ptr<LICE_MemBitmap> IGraphicsX11::LoadResourceBitmap(int resourceId, const char* name) {
  return LoadEmbeddedPng(resourceId, name);
}

EditorParts MakeEditor(IPlugBase* plug, int width, int height, int frameRate) {
  EditorParts parts;
  auto graphics = std::make_unique<IGraphicsX11>(plug, width, height, frameRate);
  parts.canvas = std::make_unique<ycairo_canvas>(plug);
  parts.canvas->LoadFont("resources/Ubuntu-R.ttf");
  graphics->SetCanvas(parts.canvas.get());
  parts.graphics = std::move(graphics);
  return parts;
}

}  // namespace tessaro
