// Message boxes, the typed-text prompt, the colour palette, and the file,
// folder and colour choosers built from zenity or from those.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/x11/X11Modal.h"
#include "editor/Utf8.h"
#include "editor/x11/X11ModalWindow.h"

namespace tessaro::x11 {
namespace {

constexpr double kFontSize = 13, kMargin = 12, kLineHeight = 18, kFieldHeight = 26;

// ---- the dialog window --------------------------------------------------

class Dialog {
 public:
  explicit Dialog(ModalContext& context)
      : context_(context), loop_(context), focus_(loop_), scale_(SafeScale(context.scale)) {}
  virtual ~Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Shows the window and waits for an answer; the close answer when the
  // connection goes.
  int Run(const std::string& title, int width, int height) {
    ModalWindow::Options options;
    options.wmClass = "tessaro-dialog";
    options.title = title;
    options.transientFor = context_.owner;
    options.eventMask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                        VisibilityChangeMask | FocusChangeMask | LeaveWindowMask;
    window_ = std::make_unique<ModalWindow>(loop_, CentredOverEditor(context_, width, height), options);
    window_->Map();
    wmProtocols_ = XInternAtom(context_.display, "WM_PROTOCOLS", False);
    wmDelete_ = XInternAtom(context_.display, "WM_DELETE_WINDOW", False);
    const ModalLoop::Handler handler = [this](XEvent& event) { return Handle(event); };
    while (!done_) {
      if (!loop_.Step(handler)) return closeAnswer_;
    }
    window_.reset();
    focus_.Restore();
    return answer_;
  }

 protected:
  struct Button {
    std::string label;
    int answer;
  };

  virtual void PaintContent(cairo_t* cr, int width, int height) = 0;
  // True when the key was the content's.
  virtual bool ContentKey(KeySym, XKeyEvent&) { return false; }
  virtual void ContentPress(int, int, unsigned) {}
  virtual void ContentMotion(int, int, unsigned) {}
  virtual void ContentRelease(int, int) {}

  void Finish(int answer) {
    answer_ = answer;
    done_ = true;
  }
  void Redraw() {
    if (window_) Paint();
  }
  int ButtonAt(int x, int y) const {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
      if (DialogButtonRect(window_->Width(), window_->Height(), static_cast<int>(buttons_.size()), static_cast<int>(i),
                           scale_)
              .Contains(x, y))
        return static_cast<int>(i);
    }
    return -1;
  }

  ModalContext& context_;
  ModalLoop loop_;
  FocusKeeper focus_;
  double scale_;
  std::vector<Button> buttons_;
  int closeAnswer_ = kAnswerCancel;  // Escape and the window's close box
  int enterAnswer_ = kAnswerOk;

 private:
  bool Handle(XEvent& event) {
    if (!window_ || event.xany.window != window_->Id()) return false;
    switch (event.type) {
      case Expose:
        if (event.xexpose.count == 0) Paint();
        break;
      case VisibilityNotify:
        if (!focused_) {
          // Only a viewable window can take the focus.
          focused_ = true;
          XSetInputFocus(context_.display, window_->Id(), RevertToParent, CurrentTime);
        }
        break;
      case ClientMessage:
        if (event.xclient.message_type == wmProtocols_ && static_cast<Atom>(event.xclient.data.l[0]) == wmDelete_)
          Finish(closeAnswer_);
        break;
      case KeyPress: {
        KeySym sym = NoSymbol;
        XLookupString(&event.xkey, nullptr, 0, &sym, nullptr);
        if (ContentKey(sym, event.xkey)) break;
        if (sym == XK_Return || sym == XK_KP_Enter) Finish(enterAnswer_);
        if (sym == XK_Escape) Finish(closeAnswer_);
        break;
      }
      case ButtonPress:
        if (event.xbutton.button != Button1) break;
        pressed_ = ButtonAt(event.xbutton.x, event.xbutton.y);
        if (pressed_ < 0) ContentPress(event.xbutton.x, event.xbutton.y, event.xbutton.state);
        Paint();
        break;
      case MotionNotify: {
        const int hot = ButtonAt(event.xmotion.x, event.xmotion.y);
        if (pressed_ < 0) ContentMotion(event.xmotion.x, event.xmotion.y, event.xmotion.state);
        if (hot != hot_) {
          hot_ = hot;
          Paint();
        }
        break;
      }
      case LeaveNotify:
        if (hot_ >= 0) {
          hot_ = -1;
          Paint();
        }
        break;
      case ButtonRelease:
        if (event.xbutton.button != Button1) break;
        if (pressed_ >= 0 && ButtonAt(event.xbutton.x, event.xbutton.y) == pressed_) {
          Finish(buttons_[static_cast<std::size_t>(pressed_)].answer);
        } else if (pressed_ < 0) {
          ContentRelease(event.xbutton.x, event.xbutton.y);
        }
        pressed_ = -1;
        if (!done_) Paint();
        break;
      default:
        break;
    }
    return true;
  }

  void Paint() {
    const int w = window_->Width(), h = window_->Height();
    cairo_t* cr = window_->BeginPaint();
    cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
    cairo_paint(cr);
    SetModalFont(cr, context_, kFontSize * scale_);
    PaintContent(cr, w, h);
    SetModalFont(cr, context_, kFontSize * scale_);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    const int count = static_cast<int>(buttons_.size());
    for (int i = 0; i < count; ++i) {
      const IRect r = DialogButtonRect(w, h, count, i, scale_);
      const double shade = pressed_ == i && hot_ == i ? 0.80 : hot_ == i ? 1.0 : 0.92;
      cairo_set_source_rgb(cr, shade, shade, shade);
      cairo_rectangle(cr, r.L + 0.5, r.T + 0.5, r.W() - 1, r.H() - 1);
      cairo_fill_preserve(cr);
      // The first button is the one Enter presses.
      if (i == 0) {
        cairo_set_source_rgb(cr, 0.21, 0.45, 0.84);
        cairo_set_line_width(cr, 2.0);
      } else {
        cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
        cairo_set_line_width(cr, 1.0);
      }
      cairo_stroke(cr);
      const std::string& label = buttons_[static_cast<std::size_t>(i)].label;
      cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
      cairo_move_to(cr, std::round(r.L + (r.W() - TextAdvance(cr, label)) / 2.0),
                    std::round((r.T + r.B) / 2.0 + (font.ascent - font.descent) / 2.0));
      cairo_show_text(cr, label.c_str());
    }
    window_->EndPaint(cr);
  }

  std::unique_ptr<ModalWindow> window_;
  Atom wmProtocols_ = None, wmDelete_ = None;
  bool focused_ = false, done_ = false;
  int answer_ = 0, pressed_ = -1, hot_ = -1;
};

void ShowLines(cairo_t* cr, const std::vector<std::string>& lines, double x, double top, double lineHeight) {
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double rowTop = top + static_cast<double>(i) * lineHeight;
    cairo_move_to(cr, x, std::round(rowTop + (lineHeight + font.ascent - font.descent) / 2.0));
    cairo_show_text(cr, lines[i].c_str());
  }
}

// ---- message box --------------------------------------------------------

class MessageBox : public Dialog {
 public:
  MessageBox(ModalContext& context, const std::string& text, int type) : Dialog(context) {
    if (type == kAlertTypeOkCancel) {
      buttons_ = {{"OK", kAnswerOk}, {"Cancel", kAnswerCancel}};
      closeAnswer_ = kAnswerCancel;
    } else if (type == kAlertTypeYesNo) {
      buttons_ = {{"Yes", kAnswerYes}, {"No", kAnswerNo}};
      closeAnswer_ = kAnswerNo;
    } else {
      buttons_ = {{"OK", kAnswerOk}};
      closeAnswer_ = kAnswerOk;
    }
    enterAnswer_ = buttons_.front().answer;

    TextMeasure measure(context, kFontSize * scale_);
    const int margin = Px(kMargin, scale_);
    double widest = 0;
    for (const std::string& line : WrapText(measure.Get(), text, 1e9)) widest = std::max(widest, TextAdvance(measure.Get(), line));
    const int buttonsWidth = static_cast<int>(buttons_.size()) * Px(92, scale_) + 2 * margin;
    width_ = std::clamp(static_cast<int>(std::ceil(widest)) + 2 * margin, std::max(Px(240, scale_), buttonsWidth),
                        std::max(Px(460, scale_), buttonsWidth));
    lines_ = WrapText(measure.Get(), text, width_ - 2 * margin);
    height_ = margin + static_cast<int>(lines_.size()) * Px(kLineHeight, scale_) + margin + Px(26, scale_) + margin;
  }

  int width_ = 0, height_ = 0;

 protected:
  void PaintContent(cairo_t* cr, int, int) override {
    const int margin = Px(kMargin, scale_);
    ShowLines(cr, lines_, margin, margin, Px(kLineHeight, scale_));
  }

 private:
  std::vector<std::string> lines_;
};

// ---- one-line prompt ----------------------------------------------------

class Prompt : public Dialog {
 public:
  Prompt(ModalContext& context, const std::string& label, const std::string& text) : Dialog(context), text_(text) {
    buttons_ = {{"OK", kAnswerOk}, {"Cancel", kAnswerCancel}};
    closeAnswer_ = kAnswerCancel;
    enterAnswer_ = kAnswerOk;
    anchor_ = 0;
    caret_ = text_.size();  // all of it selected: typing replaces it
    width_ = Px(440, scale_);
    const int margin = Px(kMargin, scale_);
    TextMeasure measure(context, kFontSize * scale_);
    labelLines_ = label.empty() ? std::vector<std::string>() : WrapText(measure.Get(), label, width_ - 2 * margin);
    field_.L = margin;
    field_.R = width_ - margin;
    field_.T = margin + static_cast<int>(labelLines_.size()) * Px(kLineHeight, scale_) +
               (labelLines_.empty() ? 0 : Px(4, scale_));
    field_.B = field_.T + Px(kFieldHeight, scale_);
    height_ = field_.B + margin + Px(26, scale_) + margin;
  }

  const std::string& Text() const { return text_; }
  int width_ = 0, height_ = 0;

 protected:
  void PaintContent(cairo_t* cr, int, int) override {
    const int margin = Px(kMargin, scale_);
    ShowLines(cr, labelLines_, margin, margin, Px(kLineHeight, scale_));

    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, field_.L + 0.5, field_.T + 0.5, field_.W() - 1, field_.H() - 1);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.21, 0.45, 0.84);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    cairo_save(cr);
    const double inner = Px(5, scale_);
    cairo_rectangle(cr, field_.L + 1, field_.T + 1, field_.W() - 2, field_.H() - 2);
    cairo_clip(cr);
    // Scroll so the caret stays in view.
    const double visible = field_.W() - 2 * inner;
    const double caretX = TextAdvance(cr, text_.substr(0, caret_));
    if (caretX - scroll_ > visible) scroll_ = caretX - visible;
    if (caretX < scroll_) scroll_ = caretX;
    const double x0 = field_.L + inner - scroll_;
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    const double baseline = std::round((field_.T + field_.B) / 2.0 + (font.ascent - font.descent) / 2.0);
    const std::size_t a = std::min(anchor_, caret_), b = std::max(anchor_, caret_);
    if (a != b) {
      const double xa = x0 + TextAdvance(cr, text_.substr(0, a)), xb = x0 + TextAdvance(cr, text_.substr(0, b));
      cairo_set_source_rgb(cr, 0.70, 0.80, 0.97);
      cairo_rectangle(cr, xa, field_.T + Px(4, scale_), xb - xa, field_.H() - 2 * Px(4, scale_));
      cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_move_to(cr, x0, baseline);
    cairo_show_text(cr, text_.c_str());
    const double cx = std::floor(x0 + caretX) + 0.5;
    cairo_move_to(cr, cx, field_.T + Px(4, scale_));
    cairo_line_to(cr, cx, field_.B - Px(4, scale_));
    cairo_stroke(cr);
    cairo_restore(cr);
  }

  bool ContentKey(KeySym sym, XKeyEvent& event) override {
    const bool shift = (event.state & ShiftMask) != 0, control = (event.state & ControlMask) != 0;
    auto move = [&](std::size_t to) {
      caret_ = to;
      if (!shift) anchor_ = caret_;
    };
    const std::size_t a = std::min(anchor_, caret_), b = std::max(anchor_, caret_);
    switch (sym) {
      case XK_Left:
      case XK_KP_Left:
        move(a != b && !shift ? a : utf8::PreviousStart(text_, caret_));
        break;
      case XK_Right:
      case XK_KP_Right:
        move(a != b && !shift ? b : utf8::NextStart(text_, caret_));
        break;
      case XK_Home:
      case XK_KP_Home:
        move(0);
        break;
      case XK_End:
      case XK_KP_End:
        move(text_.size());
        break;
      case XK_BackSpace:
        if (a != b) {
          Erase(a, b);
        } else if (caret_ > 0) {
          Erase(utf8::PreviousStart(text_, caret_), caret_);
        }
        break;
      case XK_Delete:
      case XK_KP_Delete:
        if (a != b) {
          Erase(a, b);
        } else if (caret_ < text_.size()) {
          Erase(caret_, utf8::NextStart(text_, caret_));
        }
        break;
      default: {
        if (control && (sym == XK_a || sym == XK_A)) {
          anchor_ = 0;
          caret_ = text_.size();
          break;
        }
        KeySym typedSym = NoSymbol;
        const std::string typed = TypedText(event, &typedSym);
        if (typed.empty()) return false;
        Erase(a, b);
        text_.insert(caret_, typed);
        caret_ += typed.size();
        anchor_ = caret_;
        break;
      }
    }
    Redraw();
    return true;
  }

  void ContentPress(int x, int y, unsigned state) override {
    if (!field_.Contains(x, y)) return;
    caret_ = IndexAt(x);
    if (!(state & ShiftMask)) anchor_ = caret_;
  }

  void ContentMotion(int x, int, unsigned state) override {
    if (!(state & Button1Mask)) return;
    caret_ = IndexAt(x);
    Redraw();
  }

 private:
  void Erase(std::size_t a, std::size_t b) {
    text_.erase(a, b - a);
    caret_ = anchor_ = a;
  }

  // The character boundary nearest to a window x inside the field.
  std::size_t IndexAt(int x) {
    TextMeasure measure(context_, kFontSize * scale_);
    const double target = x - (field_.L + Px(5, scale_)) + scroll_;
    std::size_t best = 0;
    double bestDistance = std::abs(target);
    for (std::size_t i = utf8::NextStart(text_, 0); i <= text_.size();) {
      const double d = std::abs(TextAdvance(measure.Get(), text_.substr(0, i)) - target);
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
      if (i == text_.size()) break;
      i = utf8::NextStart(text_, i);
    }
    return best;
  }

  std::string text_;
  std::size_t caret_ = 0, anchor_ = 0;
  double scroll_ = 0;
  std::vector<std::string> labelLines_;
  IRect field_;
};

// ---- colour palette -----------------------------------------------------

constexpr int kPaletteCancel = -1;

class Palette : public Dialog {
 public:
  Palette(ModalContext& context, const IColour& current) : Dialog(context), current_(current) {
    buttons_ = {{"Cancel", kPaletteCancel}};
    closeAnswer_ = kPaletteCancel;
    enterAnswer_ = kPaletteSwatches;  // the colour as it is
    const IRect last = PaletteSwatchRect(kPaletteColumns - 1, scale_);
    const IRect currentRect = PaletteSwatchRect(kPaletteSwatches, scale_);
    width_ = last.R + Px(kMargin, scale_);
    height_ = currentRect.B + Px(kMargin, scale_);
  }

  int width_ = 0, height_ = 0;

 protected:
  void PaintContent(cairo_t* cr, int, int) override {
    for (int i = 0; i <= kPaletteSwatches; ++i) {
      const IRect r = PaletteSwatchRect(i, scale_);
      const IColour c = i < kPaletteSwatches ? PaletteColour(i) : current_;
      cairo_set_source_rgb(cr, c.R / 255.0, c.G / 255.0, c.B / 255.0);
      cairo_rectangle(cr, r.L, r.T, r.W(), r.H());
      cairo_fill(cr);
      const bool hot = i == hot_;
      cairo_set_source_rgb(cr, hot ? 0.1 : 0.55, hot ? 0.1 : 0.55, hot ? 0.1 : 0.55);
      cairo_set_line_width(cr, hot ? 2.0 : 1.0);
      cairo_rectangle(cr, r.L - 0.5, r.T - 0.5, r.W() + 1, r.H() + 1);
      cairo_stroke(cr);
    }
    const IRect r = PaletteSwatchRect(kPaletteSwatches, scale_);
    ShowLines(cr, {"Current"}, r.R + Px(8, scale_), r.T, r.H());
  }

  void ContentPress(int x, int y, unsigned) override { pressed_ = SwatchAt(x, y); }
  void ContentMotion(int x, int y, unsigned) override { Hot(SwatchAt(x, y)); }
  void ContentRelease(int x, int y) override {
    const int swatch = SwatchAt(x, y);
    if (swatch >= 0 && swatch == pressed_) Finish(swatch);
    pressed_ = -1;
  }
  bool ContentKey(KeySym, XKeyEvent&) override { return false; }

 private:
  int SwatchAt(int x, int y) const {
    for (int i = 0; i <= kPaletteSwatches; ++i)
      if (PaletteSwatchRect(i, scale_).Contains(x, y)) return i;
    return -1;
  }
  void Hot(int swatch) {
    if (swatch == hot_) return;
    hot_ = swatch;
    Redraw();
  }

  IColour current_;
  int pressed_ = -1, hot_ = -1;
};

// ---- paths --------------------------------------------------------------

bool IsDirectory(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || (!name.empty() && name[0] == '/')) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string WithoutSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

// What the user typed as a path: ~ is the home folder, anything relative is
// taken from the folder the prompt started in.
std::string ResolveTyped(const std::string& typed, const std::string& base) {
  std::string path = typed;
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  if (path == "~" || path.rfind("~/", 0) == 0) {
    const char* home = std::getenv("HOME");
    if (home && *home) path = std::string(home) + path.substr(1);
  }
  return JoinPath(base, path);
}

std::string FirstLine(const std::string& out) {
  std::string line = out.substr(0, out.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// "png jpg" as zenity's "*.png *.jpg".
std::string FilePattern(const char* extensions) {
  std::string pattern;
  const std::string all = extensions ? extensions : "";
  std::size_t i = 0;
  while (i < all.size()) {
    const std::size_t start = all.find_first_not_of(" \t", i);
    if (start == std::string::npos) break;
    std::size_t end = all.find_first_of(" \t", start);
    if (end == std::string::npos) end = all.size();
    std::string ext = all.substr(start, end - start);
    if (ext.rfind("*.", 0) == 0) ext.erase(0, 2);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    if (!ext.empty()) pattern += (pattern.empty() ? "*." : " *.") + ext;
    i = end;
  }
  return pattern;
}

int Channel(double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); }

// zenity's answer: "rgb(r,g,b)", "rgba(r,g,b,a)" or "#rgb", "#rrggbb",
// "#rrrrggggbbbb".
bool ParseColour(const std::string& text, IColour& colour) {
  std::string s = text;
  s.erase(0, s.find_first_not_of(" \t"));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  if (s.rfind("rgb(", 0) == 0 || s.rfind("rgba(", 0) == 0) {
    const char* p = s.c_str() + s.find('(') + 1;
    double v[3];
    for (int i = 0; i < 3; ++i) {
      char* end = nullptr;
      v[i] = std::strtod(p, &end);
      if (end == p) return false;
      p = end;
      while (*p == ' ') ++p;
      if (i < 2) {
        if (*p != ',') return false;
        ++p;
      }
    }
    colour.R = Channel(v[0]);
    colour.G = Channel(v[1]);
    colour.B = Channel(v[2]);
    return true;
  }
  if (!s.empty() && s[0] == '#') {
    const std::string hex = s.substr(1);
    if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    const std::size_t n = hex.size() / 3;
    if (hex.size() % 3 != 0 || (n != 1 && n != 2 && n != 4)) return false;
    int c[3];
    for (int i = 0; i < 3; ++i) {
      const long v = std::strtol(hex.substr(static_cast<std::size_t>(i) * n, n).c_str(), nullptr, 16);
      c[i] = n == 1 ? static_cast<int>(v * 17) : n == 2 ? static_cast<int>(v) : static_cast<int>(v / 257);
    }
    colour.R = c[0];
    colour.G = c[1];
    colour.B = c[2];
    return true;
  }
  return false;
}

// Runs zenity; the first line of its answer, empty when cancelled.
std::string Zenity(ModalContext& context, const std::vector<std::string>& argv) {
  std::string out;
  if (RunAndCapture(context, argv, out) != 0) return {};
  return FirstLine(out);
}

std::string PromptForFile(ModalContext& context, int action, const std::string& start, const std::string& initial,
                          const char* extensions) {
  const bool save = action == 1;
  const char* caption = save ? "Save As" : "Open";
  const std::string pattern = FilePattern(extensions);
  const std::string label = pattern.empty() ? "File:" : "File (" + pattern + "):";
  std::string typed = initial;
  for (;;) {
    if (!RunTextPrompt(context, caption, label.c_str(), typed)) return {};
    if (typed.empty()) continue;
    const std::string path = ResolveTyped(typed, start);
    if (!save) {
      if (IsRegularFile(path)) return path;
      RunMessageBox(context, ("File not found:\n" + path).c_str(), caption, kAlertTypeOk);
      continue;
    }
    if (IsDirectory(path) || path.back() == '/') {
      RunMessageBox(context, ("That is a folder, not a file name:\n" + path).c_str(), caption, kAlertTypeOk);
      continue;
    }
    if (!IsDirectory(FolderOf(path))) {
      RunMessageBox(context, ("Folder not found:\n" + FolderOf(path)).c_str(), caption, kAlertTypeOk);
      continue;
    }
    if (Exists(path)) {
      const std::string question = path + "\nalready exists. Do you want to replace it?";
      if (RunMessageBox(context, question.c_str(), caption, kAlertTypeYesNo) != kAnswerYes) continue;
    }
    return path;
  }
}

}  // namespace

// ---- public -------------------------------------------------------------

int RunMessageBox(ModalContext& context, const char* text, const char* caption, int type) {
  const int fallback = type == kAlertTypeOkCancel ? kAnswerCancel : type == kAlertTypeYesNo ? kAnswerNo : kAnswerOk;
  if (!context.display) return fallback;
  try {
    MessageBox box(context, text ? text : "", type);
    return box.Run(caption ? caption : "", box.width_, box.height_);
  } catch (...) {
    return fallback;
  }
}

bool RunTextPrompt(ModalContext& context, const char* caption, const char* label, std::string& text) {
  if (!context.display) return false;
  try {
    Prompt prompt(context, label ? label : "", text);
    if (prompt.Run(caption ? caption : "", prompt.width_, prompt.height_) != kAnswerOk) return false;
    text = prompt.Text();
    return true;
  } catch (...) {
    return false;
  }
}

void AskForFile(ModalContext& context, std::string& path, int action, std::string& directory, const char* extensions,
                const std::string& desktop) {
  try {
    const std::string start = directory.empty() ? desktop : directory;
    const std::string initial = path.empty() ? WithSlash(start) : JoinPath(start, path);
    std::string chosen;
    if (ProgramInPath("zenity")) {
      std::vector<std::string> argv = {"zenity", "--file-selection"};
      if (action == 1) {
        argv.push_back("--save");
        argv.push_back("--confirm-overwrite");
      }
      argv.push_back("--filename=" + initial);
      const std::string pattern = FilePattern(extensions);
      if (!pattern.empty()) argv.push_back("--file-filter=" + pattern);
      argv.push_back(std::string("--title=") + (action == 1 ? "Save As" : "Open"));
      chosen = Zenity(context, argv);
    } else {
      chosen = PromptForFile(context, action, start, initial, extensions);
    }
    if (chosen.empty()) {
      path.clear();
      return;
    }
    path = chosen;
    directory = FolderOf(chosen);
  } catch (...) {
    path.clear();
  }
}

void AskForFolder(ModalContext& context, std::string& path, const char* title) {
  try {
    const std::string caption = title ? title : "";
    std::string start = path;
    if (start.empty()) {
      const char* home = std::getenv("HOME");
      start = home && *home ? home : "/";
    }
    if (ProgramInPath("zenity")) {
      path = Zenity(context, {"zenity", "--file-selection", "--directory", "--filename=" + WithSlash(start),
                              "--title=" + caption});
      return;
    }
    std::string typed = WithSlash(start);
    for (;;) {
      if (!RunTextPrompt(context, caption.c_str(), "Folder:", typed)) {
        path.clear();
        return;
      }
      if (typed.empty()) continue;
      const std::string folder = WithoutSlash(ResolveTyped(typed, WithSlash(start)));
      if (IsDirectory(folder)) {
        path = folder;
        return;
      }
      RunMessageBox(context, ("Folder not found:\n" + folder).c_str(), caption.c_str(), kAlertTypeOk);
    }
  } catch (...) {
    path.clear();
  }
}

bool AskForColour(ModalContext& context, IColour& colour, const char* title) {
  try {
    const std::string caption = title ? title : "";
    if (ProgramInPath("zenity")) {
      const std::string current = "rgb(" + std::to_string(std::clamp(colour.R, 0, 255)) + "," +
                                  std::to_string(std::clamp(colour.G, 0, 255)) + "," +
                                  std::to_string(std::clamp(colour.B, 0, 255)) + ")";
      const std::string answer =
          Zenity(context, {"zenity", "--color-selection", "--color=" + current, "--title=" + caption});
      IColour parsed = colour;
      if (answer.empty() || !ParseColour(answer, parsed)) return false;
      colour = parsed;
      return true;
    }
    if (!context.display) return false;
    Palette palette(context, colour);
    const int swatch = palette.Run(caption, palette.width_, palette.height_);
    if (swatch < 0) return false;
    if (swatch < kPaletteSwatches) {
      const IColour picked = PaletteColour(swatch);
      colour.R = picked.R;
      colour.G = picked.G;
      colour.B = picked.B;
    }
    return true;
  } catch (...) {
    return false;
  }
}

// ---- child processes ----------------------------------------------------

bool ProgramInPath(const char* name) {
  if (!name || !*name) return false;
  auto executable = [](const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
  };
  if (std::strchr(name, '/')) return executable(name);
  const char* env = std::getenv("PATH");
  // execvp's own default when PATH is unset.
  const std::string path = env ? env : "/bin:/usr/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(path.find(':', start), path.size());
    const std::string folder = path.substr(start, end - start);
    if (executable(JoinPath(folder.empty() ? "." : folder, name))) return true;
    if (end >= path.size()) return false;
    start = end + 1;
  }
}

namespace {
void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

int ExitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Waits for pid, through interruptions; false when it is not ours to wait for.
bool Reap(pid_t pid, int& status, bool block) {
  for (;;) {
    const pid_t r = waitpid(pid, &status, block ? 0 : WNOHANG);
    if (r == pid) return true;
    if (r == 0) return false;
    if (errno == EINTR) continue;
    status = -1;
    return true;  // someone else reaped it: gone all the same
  }
}
}  // namespace

int RunAndCapture(ModalContext& context, const std::vector<std::string>& argv, std::string& out) {
  out.clear();
  if (argv.empty() || argv[0].empty()) return -1;
  int output[2] = {-1, -1}, report[2] = {-1, -1};
  pid_t pid = -1;
  try {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (pipe2(output, O_CLOEXEC) != 0) return -1;
    if (pipe2(report, O_CLOEXEC) != 0) {
      CloseFd(output[0]);
      CloseFd(output[1]);
      return -1;
    }
    pid = fork();
    if (pid == 0) {
      // Only async-signal-safe calls from here on.
      const int devnull = open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        dup2(devnull, STDIN_FILENO);
        dup2(devnull, STDERR_FILENO);
      }
      dup2(output[1], STDOUT_FILENO);
      // A host that ignores SIGPIPE or blocks signals must not pass that on.
      signal(SIGPIPE, SIG_DFL);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      execvp(args[0], args.data());
      const int error = errno;
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    CloseFd(output[1]);
    CloseFd(report[1]);
    if (pid < 0) {
      CloseFd(output[0]);
      CloseFd(report[0]);
      return -1;
    }
    // The report pipe closes on a successful exec, or carries its errno.
    int error = 0;
    ssize_t got = 0;
    do {
      got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    CloseFd(report[0]);
    int status = 0;
    if (got == static_cast<ssize_t>(sizeof error)) {
      CloseFd(output[0]);
      Reap(pid, status, true);
      return -1;
    }

    ModalLoop loop(context);
    bool exited = false, eof = false;
    char buffer[4096];
    while (!eof || !exited) {
      short revents = 0;
      if (!exited) exited = Reap(pid, status, false);
      if (!loop.Wait(eof ? -1 : output[0], &revents)) {
        // The display has gone; so has whoever would answer the chooser.
        if (!exited) kill(pid, SIGTERM);
        break;
      }
      loop.Drain(nullptr);
      if (!eof && (revents & (POLLIN | POLLHUP | POLLERR))) {
        const ssize_t n = read(output[0], buffer, sizeof buffer);
        if (n > 0) {
          out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          eof = true;
        }
      }
      // A child gone while something it started keeps the pipe open: take
      // what is there and stop listening.
      if (exited && !eof) {
        const int flags = fcntl(output[0], F_GETFL);
        fcntl(output[0], F_SETFL, flags | O_NONBLOCK);
        ssize_t n = 0;
        while ((n = read(output[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
        eof = true;
      }
    }
    CloseFd(output[0]);
    if (!exited) Reap(pid, status, true);
    if (loop.Broken()) return -1;
    return status < 0 ? -1 : ExitStatus(status);
  } catch (...) {
    CloseFd(output[0]);
    CloseFd(output[1]);
    CloseFd(report[0]);
    CloseFd(report[1]);
    if (pid > 0) {
      int status = 0;
      Reap(pid, status, true);
    }
    return -1;
  }
}

}  // namespace tessaro::x11
