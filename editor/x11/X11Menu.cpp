// Pop-up menus: one override-redirect window per open level, the pointer
// and keyboard grabbed by the top one so a click anywhere else closes them.
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "editor/x11/X11Modal.h"
#include "editor/x11/X11ModalWindow.h"

namespace tessaro::x11 {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kFontSize = 13, kCheckGutter = 24, kArrowGutter = 22, kAccelGap = 24, kMinWidth = 90;
// A release this soon at the spot the menu opened is the end of the click
// that opened it, not a choice.
constexpr std::chrono::milliseconds kOpeningClick(250);
constexpr int kOpeningSlop = 4;
// How long grabs are retried while another client still holds them.
constexpr std::chrono::milliseconds kGrabRetry(500);

bool Choosable(const IMenuItem& item) {
  return (item.flags & (IMenuItem::kGreyed | IMenuItem::kDisabled | IMenuItem::kSeparator)) == 0;
}

void SplitAccelerator(const std::string& label, std::string& text, std::string& accel) {
  const std::size_t tab = label.find('\t');
  text = label.substr(0, tab);
  accel = tab == std::string::npos ? std::string() : label.substr(tab + 1);
}

void ResetChosen(IMenu& menu) {
  menu.chosen = -1;
  for (IMenuItem& item : menu.items)
    if (item.submenu) ResetChosen(*item.submenu);
}

class PopupMenu {
 public:
  PopupMenu(ModalContext& context, IMenu& menu)
      : context_(context), loop_(context), top_(menu), scale_(SafeScale(context.scale)) {}

  ~PopupMenu() {
    if (loop_.Broken()) return;
    Display* d = context_.display;
    if (pointerGrabbed_) XUngrabPointer(d, CurrentTime);
    if (keyboardGrabbed_) XUngrabKeyboard(d, CurrentTime);
    levels_.clear();
    if (focus_) focus_->Restore();
    XFlush(d);
  }

  IMenu* Run(int screenX, int screenY) {
    Display* d = context_.display;
    ResetChosen(top_);
    if (top_.NumItems() == 0) return nullptr;
    screen_ = ScreenRect(d);
    {
      Window root = 0, child = 0;
      int winX = 0, winY = 0;
      unsigned mask = 0;
      if (!XQueryPointer(d, DefaultRootWindow(d), &root, &child, &openX_, &openY_, &winX, &winY, &mask)) {
        openX_ = screenX;
        openY_ = screenY;
      }
    }
    opened_ = Clock::now();
    Open(top_, screenX, screenY, false);
    TryGrabs();

    const ModalLoop::Handler handler = [this](XEvent& event) { return Handle(event); };
    while (!done_) {
      if (!loop_.Step(handler)) return nullptr;
      if (!done_) TryGrabs();
    }
    return result_;
  }

 private:
  struct Level {
    IMenu* menu = nullptr;
    std::unique_ptr<ModalWindow> window;
    int hot = -1;
  };

  void TryGrabs() {
    if (pointerGrabbed_ && keyboardGrabbed_) return;
    if (grabsGivenUp_ || levels_.empty()) return;
    Display* d = context_.display;
    const Window w = levels_.front().window->Id();
    if (!pointerGrabbed_) {
      const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
      pointerGrabbed_ = XGrabPointer(d, w, True, mask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime) ==
                        GrabSuccess;
    }
    if (!keyboardGrabbed_) {
      keyboardGrabbed_ = XGrabKeyboard(d, w, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    }
    if ((!pointerGrabbed_ || !keyboardGrabbed_) && Clock::now() - opened_ > kGrabRetry) {
      // Someone keeps the grab: work without it, with the keyboard focus on
      // the menu so keys still reach it.
      grabsGivenUp_ = true;
      if (!keyboardGrabbed_) {
        focus_ = std::make_unique<FocusKeeper>(loop_);
        XSetInputFocus(d, w, RevertToPointerRoot, CurrentTime);
      }
    }
  }

  int MenuWidth(const IMenu& menu) const {
    TextMeasure measure(context_, kFontSize * scale_);
    double textWidth = 0, accelWidth = 0;
    for (int i = 0; i < menu.NumItems(); ++i) {
      const IMenuItem& item = menu.items[static_cast<std::size_t>(i)];
      if (item.flags & IMenuItem::kSeparator) continue;
      std::string text, accel;
      SplitAccelerator(menu.ItemLabel(i), text, accel);
      textWidth = std::max(textWidth, TextAdvance(measure.Get(), text));
      accelWidth = std::max(accelWidth, TextAdvance(measure.Get(), accel));
    }
    double width = Px(kCheckGutter, scale_) + textWidth + Px(kArrowGutter, scale_);
    if (accelWidth > 0) width += Px(kAccelGap, scale_) + accelWidth;
    return std::max(Px(kMinWidth, scale_), static_cast<int>(std::ceil(width)));
  }

  // Opens menu as the next level; beside is true for a submenu, whose
  // parent's right edge is at x (its left edge at left) and row top at y.
  void Open(IMenu& menu, int x, int y, bool beside, int parentLeft = 0) {
    const int w = MenuWidth(menu), h = PopupMenuHeight(menu, scale_);
    if (beside) {
      const int overlap = Px(2, scale_);
      x -= overlap;
      y -= Px(4, scale_);
      // No room on the right: open on the left of the parent.
      if (x + w > screen_.R) x = parentLeft - w + overlap;
    }
    x = std::max(screen_.L, std::min(x, screen_.R - w));
    y = std::max(screen_.T, std::min(y, screen_.B - h));
    ModalWindow::Options options;
    options.wmClass = "tessaro-menu";
    options.title = "Tessaro menu " + std::to_string(levels_.size());
    options.overrideRedirect = true;
    options.eventMask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask | LeaveWindowMask |
                        EnterWindowMask | FocusChangeMask;
    Level level;
    level.menu = &menu;
    level.window = std::make_unique<ModalWindow>(loop_, IRect{x, y, x + w, y + h}, options);
    level.window->Map();
    levels_.push_back(std::move(level));
  }

  void CloseAfter(std::size_t depth) {
    if (levels_.size() > depth + 1) levels_.resize(depth + 1);
    if (focusLevel_ > depth) focusLevel_ = depth;
  }

  // Opens the submenu of the hot item of level depth when it has one.
  bool OpenSubmenuOf(std::size_t depth, bool selectFirst) {
    Level& level = levels_[depth];
    if (level.hot < 0) return false;
    IMenuItem& item = level.menu->items[static_cast<std::size_t>(level.hot)];
    if (!item.submenu || !Choosable(item) || item.submenu->NumItems() == 0) return false;
    if (levels_.size() == depth + 1) {
      const IRect& parent = level.window->RootRect();
      const IRect row = PopupMenuItemRect(*level.menu, level.hot, scale_, parent.W());
      Open(*item.submenu, parent.R, parent.T + row.T, true, parent.L);
    }
    if (selectFirst) {
      Level& sub = levels_[depth + 1];
      sub.hot = Step(*sub.menu, -1, +1);
      focusLevel_ = depth + 1;
      Draw(sub);
    }
    return true;
  }

  // The next choosable row from index in direction, wrapping round.
  static int Step(const IMenu& menu, int index, int direction) {
    const int n = menu.NumItems();
    for (int k = 1; k <= n; ++k) {
      const int i = ((index + direction * k) % n + n) % n;
      if (Choosable(menu.items[static_cast<std::size_t>(i)])) return i;
    }
    return -1;
  }

  void Choose(std::size_t depth, int index) {
    IMenu* menu = levels_[depth].menu;
    menu->chosen = index;
    result_ = menu;
    done_ = true;
  }

  // The level and row under a root position; false outside every window.
  bool HitTest(int rootX, int rootY, std::size_t& depth, int& index) const {
    for (std::size_t k = levels_.size(); k-- > 0;) {
      const IRect& r = levels_[k].window->RootRect();
      if (!r.Contains(rootX, rootY)) continue;
      depth = k;
      index = -1;
      const IMenu& menu = *levels_[k].menu;
      for (int i = 0; i < menu.NumItems(); ++i) {
        if (PopupMenuItemRect(menu, i, scale_, r.W()).Contains(rootX - r.L, rootY - r.T)) index = i;
      }
      return true;
    }
    return false;
  }

  void Hover(int rootX, int rootY) {
    std::size_t depth = 0;
    int index = -1;
    if (!HitTest(rootX, rootY, depth, index)) {
      // Off every menu: only the last level lets go of its highlight.
      Level& last = levels_.back();
      if (last.hot >= 0) {
        last.hot = -1;
        Draw(last);
      }
      return;
    }
    Level& level = levels_[depth];
    if (index >= 0 && level.menu->items[static_cast<std::size_t>(index)].flags & IMenuItem::kSeparator) index = -1;
    if (index < 0) {
      // Between rows a level keeps the row whose submenu is open.
      if (depth + 1 == levels_.size() && level.hot >= 0) {
        level.hot = -1;
        Draw(level);
      }
      return;
    }
    focusLevel_ = depth;
    if (level.hot == index) return;
    level.hot = index;
    CloseAfter(depth);
    Draw(level);
    OpenSubmenuOf(depth, false);
  }

  bool OpeningClick(int rootX, int rootY) const {
    return Clock::now() - opened_ < kOpeningClick && std::abs(rootX - openX_) <= kOpeningSlop &&
           std::abs(rootY - openY_) <= kOpeningSlop;
  }

  void Press(int button, int rootX, int rootY) {
    if (button > 3) return;  // the wheel
    std::size_t depth = 0;
    int index = -1;
    if (!HitTest(rootX, rootY, depth, index)) {
      done_ = true;  // outside every menu: no choice
      return;
    }
    Hover(rootX, rootY);
    if (index >= 0 && levels_[depth].hot == index) OpenSubmenuOf(depth, false);
  }

  void Release(int button, int rootX, int rootY) {
    if (button > 3) return;
    std::size_t depth = 0;
    int index = -1;
    if (!HitTest(rootX, rootY, depth, index) || index < 0) return;
    const IMenuItem& item = levels_[depth].menu->items[static_cast<std::size_t>(index)];
    if (!Choosable(item) || item.submenu) return;
    if (OpeningClick(rootX, rootY)) return;
    Choose(depth, index);
  }

  void Key(XKeyEvent& event) {
    const KeySym sym = XLookupKeysym(&event, 0);
    if (levels_.empty()) return;
    focusLevel_ = std::min(focusLevel_, levels_.size() - 1);
    Level& level = levels_[focusLevel_];
    switch (sym) {
      case XK_Up:
      case XK_KP_Up:
      case XK_Down:
      case XK_KP_Down: {
        const bool up = sym == XK_Up || sym == XK_KP_Up;
        const int from = level.hot >= 0 ? level.hot : (up ? 0 : -1);
        const int next = Step(*level.menu, up && level.hot < 0 ? level.menu->NumItems() : from, up ? -1 : +1);
        if (next >= 0 && next != level.hot) {
          level.hot = next;
          CloseAfter(focusLevel_);
          Draw(level);
        }
        break;
      }
      case XK_Right:
      case XK_KP_Right:
        OpenSubmenuOf(focusLevel_, true);
        break;
      case XK_Return:
      case XK_KP_Enter:
      case XK_space: {
        if (level.hot < 0) break;
        const IMenuItem& item = level.menu->items[static_cast<std::size_t>(level.hot)];
        if (item.submenu) {
          OpenSubmenuOf(focusLevel_, true);
        } else if (Choosable(item)) {
          Choose(focusLevel_, level.hot);
        }
        break;
      }
      case XK_Left:
      case XK_KP_Left:
        if (levels_.size() > 1) CloseLast();
        break;
      case XK_Escape:
        if (levels_.size() > 1) {
          CloseLast();
        } else {
          done_ = true;
        }
        break;
      default:
        break;
    }
  }

  void CloseLast() {
    levels_.pop_back();
    focusLevel_ = levels_.size() - 1;
  }

  bool Handle(XEvent& event) {
    switch (event.type) {
      case MotionNotify: {
        // Only the newest position matters.
        while (XCheckTypedEvent(context_.display, MotionNotify, &event)) {
        }
        Hover(event.xmotion.x_root, event.xmotion.y_root);
        return true;
      }
      case ButtonPress:
        Press(static_cast<int>(event.xbutton.button), event.xbutton.x_root, event.xbutton.y_root);
        return true;
      case ButtonRelease:
        Release(static_cast<int>(event.xbutton.button), event.xbutton.x_root, event.xbutton.y_root);
        return true;
      case KeyPress:
        Key(event.xkey);
        return true;
      case KeyRelease:
        return true;
      case FocusOut:
        // Without a keyboard grab the focus was ours; losing it ends the menu.
        if (grabsGivenUp_ && !keyboardGrabbed_ && focus_ && event.xfocus.window == levels_.front().window->Id() &&
            event.xfocus.mode == NotifyNormal) {
          done_ = true;
        }
        return loop_.Owns(event.xany.window);
      case Expose:
        for (Level& level : levels_) {
          if (level.window->Id() == event.xexpose.window && event.xexpose.count == 0) Draw(level);
        }
        return loop_.Owns(event.xany.window);
      default:
        return false;
    }
  }

  void Draw(Level& level) {
    ModalWindow& window = *level.window;
    const IMenu& menu = *level.menu;
    const int w = window.Width(), h = window.Height();
    cairo_t* cr = window.BeginPaint();
    cairo_set_source_rgb(cr, 0.97, 0.97, 0.97);
    cairo_paint(cr);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_rectangle(cr, 0.5, 0.5, w - 1.0, h - 1.0);
    cairo_stroke(cr);

    SetModalFont(cr, context_, kFontSize * scale_);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    const double checkGutter = Px(kCheckGutter, scale_), arrowGutter = Px(kArrowGutter, scale_);
    for (int i = 0; i < menu.NumItems(); ++i) {
      const IMenuItem& item = menu.items[static_cast<std::size_t>(i)];
      const IRect row = PopupMenuItemRect(menu, i, scale_, w);
      if (item.flags & IMenuItem::kSeparator) {
        const double y = std::floor((row.T + row.B) / 2.0) + 0.5;
        cairo_set_source_rgb(cr, 0.78, 0.78, 0.78);
        cairo_move_to(cr, Px(6, scale_), y);
        cairo_line_to(cr, w - Px(6, scale_), y);
        cairo_stroke(cr);
        continue;
      }
      const bool enabled = Choosable(item);
      const bool hot = enabled && level.hot == i;
      if (hot) {
        cairo_set_source_rgb(cr, 0.21, 0.45, 0.84);
        cairo_rectangle(cr, 2, row.T, w - 4, row.H());
        cairo_fill(cr);
      }
      if (hot) {
        cairo_set_source_rgb(cr, 1, 1, 1);
      } else if (enabled) {
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
      } else {
        cairo_set_source_rgb(cr, 0.62, 0.62, 0.62);
      }
      const double mid = (row.T + row.B) / 2.0;
      const double baseline = std::round(mid + (font.ascent - font.descent) / 2.0);
      std::string text, accel;
      SplitAccelerator(menu.ItemLabel(i), text, accel);
      cairo_move_to(cr, checkGutter, baseline);
      cairo_show_text(cr, text.c_str());
      if (!accel.empty()) {
        cairo_move_to(cr, w - arrowGutter - TextAdvance(cr, accel), baseline);
        cairo_show_text(cr, accel.c_str());
      }
      if (item.flags & IMenuItem::kChecked) {
        const double s = scale_;
        cairo_save(cr);
        cairo_set_line_width(cr, 1.8 * s);
        cairo_move_to(cr, checkGutter * 0.30, mid);
        cairo_line_to(cr, checkGutter * 0.45, mid + 4 * s);
        cairo_line_to(cr, checkGutter * 0.75, mid - 4 * s);
        cairo_stroke(cr);
        cairo_restore(cr);
      }
      if (item.submenu) {
        const double s = scale_, x = w - arrowGutter / 2.0;
        cairo_move_to(cr, x - 2 * s, mid - 4 * s);
        cairo_line_to(cr, x + 2.5 * s, mid);
        cairo_line_to(cr, x - 2 * s, mid + 4 * s);
        cairo_close_path(cr);
        cairo_fill(cr);
      }
    }
    window.EndPaint(cr);
  }

  ModalContext& context_;
  ModalLoop loop_;  // before the windows: they go first
  IMenu& top_;
  double scale_;
  IRect screen_;
  std::vector<Level> levels_;
  std::size_t focusLevel_ = 0;
  std::unique_ptr<FocusKeeper> focus_;
  bool pointerGrabbed_ = false, keyboardGrabbed_ = false, grabsGivenUp_ = false;
  Clock::time_point opened_;
  int openX_ = 0, openY_ = 0;
  bool done_ = false;
  IMenu* result_ = nullptr;
};

}  // namespace

IMenu* RunPopupMenu(ModalContext& context, IMenu& menu, int screenX, int screenY) {
  if (!context.display) return nullptr;
  IMenu* result = nullptr;
  try {
    PopupMenu popup(context, menu);
    result = popup.Run(screenX, screenY);
  } catch (...) {
    result = nullptr;
  }
  if (!result) ResetChosen(menu);
  return result;
}

}  // namespace tessaro::x11
