#include "cli/HostWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "cli/Picture.h"

namespace tessaro::cli {
namespace {

// X errors while capturing are answers, not reasons to end the process (the
// default handler exits). The handler is process-wide, so it is only
// installed around the one request that may fail.
int gCapturedError = 0;

int RecordError(Display*, XErrorEvent* event) {
  gCapturedError = event->error_code;
  return 0;
}

struct Channel {
  unsigned long mask = 0;
  int shift = 0, bits = 0;
  explicit Channel(unsigned long m) : mask(m) {
    if (mask == 0) return;
    while (((mask >> shift) & 1ul) == 0) ++shift;
    while (((mask >> (shift + bits)) & 1ul) != 0) ++bits;
  }
  std::uint8_t Of(unsigned long pixel) const {
    if (bits == 0) return 0;
    const unsigned long v = (pixel & mask) >> shift;
    if (bits >= 8) return static_cast<std::uint8_t>(v >> (bits - 8));
    const unsigned long top = (1ul << bits) - 1;
    return static_cast<std::uint8_t>((v * 255 + top / 2) / top);
  }
};

}  // namespace

std::unique_ptr<HostWindow> HostWindow::Create(const Settings& settings, std::string* error) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    if (error != nullptr) *error = "no X display: DISPLAY is not set";
    return nullptr;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    if (error != nullptr) *error = std::string("cannot open the X display '") + name + "'";
    return nullptr;
  }
  std::unique_ptr<HostWindow> host(new HostWindow());
  host->display_ = display;
  host->width_ = settings.width;
  host->height_ = settings.height;

  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display, screen);
  attributes.override_redirect = settings.unmanaged ? True : False;
  attributes.event_mask = ExposureMask | StructureNotifyMask | SubstructureNotifyMask;
  host->window_ =
      XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(settings.width),
                    static_cast<unsigned>(settings.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWOverrideRedirect | CWEventMask, &attributes);

  XStoreName(display, host->window_, settings.title.c_str());
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XChangeProperty(display, host->window_, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(settings.title.data()),
                  static_cast<int>(settings.title.size()));
  XClassHint hint{};
  std::string className = settings.windowClass;
  hint.res_name = className.data();
  hint.res_class = className.data();
  XSetClassHint(display, host->window_, &hint);
  const long pid = static_cast<long>(getpid());
  XChangeProperty(display, host->window_, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
  host->wmProtocols_ = XInternAtom(display, "WM_PROTOCOLS", False);
  host->wmDelete_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, host->window_, &host->wmDelete_, 1);
  host->SetFixedSize(settings.width, settings.height);
  XFlush(display);
  return host;
}

HostWindow::~HostWindow() {
  if (display_ == nullptr) return;
  if (window_ != 0 && !destroyed_) XDestroyWindow(display_, window_);
  XCloseDisplay(display_);
}

std::string HostWindow::DisplayName() const { return DisplayString(display_); }

void HostWindow::Map() {
  XMapRaised(display_, window_);
  XFlush(display_);
}

void HostWindow::SetFixedSize(int width, int height) {
  XSizeHints* hints = XAllocSizeHints();
  if (hints == nullptr) return;
  hints->flags = PSize | PMinSize | PMaxSize;
  hints->width = hints->min_width = hints->max_width = width;
  hints->height = hints->min_height = hints->max_height = height;
  XSetWMNormalHints(display_, window_, hints);
  XFree(hints);
}

void HostWindow::Resize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  // Hints first: a window manager may refuse a size outside the old ones.
  SetFixedSize(width, height);
  XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XFlush(display_);
  width_ = width;
  height_ = height;
}

int HostWindow::Pump() {
  int paintEvents = 0;
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    switch (event.type) {
      case ClientMessage:
        if (event.xclient.message_type == wmProtocols_ &&
            static_cast<Atom>(event.xclient.data.l[0]) == wmDelete_) {
          closeRequested_ = true;
        }
        break;
      case DestroyNotify:
        if (event.xdestroywindow.window == window_) {
          destroyed_ = true;
          closeRequested_ = true;
        }
        break;
      case Expose:
      case MapNotify:
        ++paintEvents;
        break;
      case ConfigureNotify:
        if (event.xconfigure.window == window_) {
          width_ = event.xconfigure.width;
          height_ = event.xconfigure.height;
        }
        break;
      default:
        break;
    }
  }
  return paintEvents;
}

void HostWindow::Wait(int timeoutMs) {
  if (XPending(display_) > 0) return;
  pollfd p{ConnectionNumber(display_), POLLIN, 0};
  // EINTR is fine: a signal is exactly what should end the wait early.
  poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
}

int HostWindow::ChildCount() {
  if (destroyed_) return 0;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display_, window_, &root, &parent, &children, &count) == 0) return 0;
  if (children != nullptr) XFree(children);
  return static_cast<int>(count);
}

bool HostWindow::Viewable() {
  if (destroyed_) return false;
  XWindowAttributes a{};
  return XGetWindowAttributes(display_, window_, &a) != 0 && a.map_state == IsViewable;
}

bool HostWindow::Capture(RgbImage* image, std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  XWindowAttributes a{};
  if (destroyed_ || XGetWindowAttributes(display_, window_, &a) == 0) return fail("the window is gone");
  if (a.map_state != IsViewable) return fail("the window is not on screen");
  const Visual* visual = a.visual;
  if (visual == nullptr || (visual->c_class != TrueColor && visual->c_class != DirectColor) ||
      (a.depth != 24 && a.depth != 32)) {
    return fail("the display's visual is not 24- or 32-bit TrueColor");
  }
  XSync(display_, False);
  gCapturedError = 0;
  XErrorHandler previous = XSetErrorHandler(&RecordError);
  XImage* picture = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  XSync(display_, False);
  XSetErrorHandler(previous);
  if (picture == nullptr || gCapturedError != 0) {
    if (picture != nullptr) XDestroyImage(picture);
    return fail("the X server would not hand out the window's picture (is all of it on screen?)");
  }
  // The image's own masks where it has them, else the visual's.
  const Channel red(picture->red_mask ? picture->red_mask : visual->red_mask);
  const Channel green(picture->green_mask ? picture->green_mask : visual->green_mask);
  const Channel blue(picture->blue_mask ? picture->blue_mask : visual->blue_mask);
  image->width = a.width;
  image->height = a.height;
  image->rgb.assign(static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height) * 3, 0);
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const unsigned long pixel = XGetPixel(picture, x, y);
      std::uint8_t* out = image->Pixel(x, y);
      out[0] = red.Of(pixel);
      out[1] = green.Of(pixel);
      out[2] = blue.Of(pixel);
    }
  }
  XDestroyImage(picture);
  return true;
}

}  // namespace tessaro::cli
