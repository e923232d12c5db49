// What the menus and dialogs share: their nested event loop, a cairo-drawn
// window of their own, the modal font and text wrapping, and the layout of
// their parts (also what tests use to point at an item or a button).
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "editor/x11/X11Modal.h"

namespace tessaro::x11 {

// The context's scale, or 1 when it is not a sensible one.
double SafeScale(double scale);
// A length of the 96-dpi design in screen pixels, at least one.
int Px(double designPixels, double scale);

// A menu's window: its height, and the band item index covers across a
// window of the given width.
int PopupMenuHeight(const IMenu& menu, double scale);
IRect PopupMenuItemRect(const IMenu& menu, int index, double scale, int windowWidth);

// A dialog's buttons sit in a row at its bottom right; index 0 is leftmost.
IRect DialogButtonRect(int windowWidth, int windowHeight, int count, int index, double scale);

// The built-in colour palette: swatch rectangles in its window; the index
// kPaletteSwatches is the current colour's swatch.
constexpr int kPaletteColumns = 12;
constexpr int kPaletteSwatches = 48;
IRect PaletteSwatchRect(int index, double scale);
IColour PaletteColour(int index);

// The modal font at a pixel size; the embedded face when there is one.
void SetModalFont(cairo_t* cr, const ModalContext& context, double sizePx);
double TextAdvance(cairo_t* cr, const std::string& text);
// Lines no wider than width (words that alone are wider are broken).
std::vector<std::string> WrapText(cairo_t* cr, const std::string& text, double width);

// A cairo context on a tiny image, for measuring text before a window exists.
class TextMeasure {
 public:
  TextMeasure(const ModalContext& context, double sizePx);
  ~TextMeasure();
  TextMeasure(const TextMeasure&) = delete;
  TextMeasure& operator=(const TextMeasure&) = delete;
  cairo_t* Get() const { return cr_; }

 private:
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
};

// One modal session's loop. Events for windows the session created (still
// open or already closed) never reach the forward hook.
class ModalLoop {
 public:
  // True: the event was the modal's own.
  using Handler = std::function<bool(XEvent&)>;

  explicit ModalLoop(ModalContext& context);
  ModalContext& Context() const { return context_; }
  Display* display() const { return context_.display; }

  // Handles every queued event, then waits up to the next tick for more.
  // False once the connection has gone.
  bool Step(const Handler& handler);
  // Handles every queued event.
  void Drain(const Handler& handler);
  // Waits for the X connection or extraFd (its poll revents into *extraEvents)
  // until the next tick is due, and runs the tick when it is.
  bool Wait(int extraFd, short* extraEvents);
  bool Broken() const { return broken_; }

  void Own(Window window) { windows_.insert(window); }
  bool Owns(Window window) const { return windows_.count(window) != 0; }

 private:
  ModalContext& context_;
  bool broken_ = false;
  std::chrono::steady_clock::time_point nextTick_;
  std::unordered_set<Window> windows_;
};

// A top-level window drawn with cairo; gone with the object.
class ModalWindow {
 public:
  struct Options {
    const char* wmClass = "tessaro-dialog";
    std::string title;
    bool overrideRedirect = false;
    Window transientFor = 0;  // dialogs only
    long eventMask = 0;
  };

  ModalWindow(ModalLoop& loop, const IRect& rootRect, const Options& options);
  ~ModalWindow();
  ModalWindow(const ModalWindow&) = delete;
  ModalWindow& operator=(const ModalWindow&) = delete;

  Window Id() const { return window_; }
  const IRect& RootRect() const { return rect_; }
  int Width() const { return rect_.W(); }
  int Height() const { return rect_.H(); }
  void Map();
  // A context whose drawing reaches the window in one go at EndPaint.
  cairo_t* BeginPaint();
  void EndPaint(cairo_t* cr);

 private:
  ModalLoop& loop_;
  Window window_ = 0;
  cairo_surface_t* surface_ = nullptr;
  IRect rect_;
};

// The whole screen of the display, in root coordinates.
IRect ScreenRect(Display* display);
// A rectangle of the size centred over the editor (the screen without one),
// kept on the screen.
IRect CentredOverEditor(const ModalContext& context, int width, int height);

// The keyboard focus as it was when the object was made; Restore gives it back.
class FocusKeeper {
 public:
  explicit FocusKeeper(ModalLoop& loop);
  ~FocusKeeper() { Restore(); }
  FocusKeeper(const FocusKeeper&) = delete;
  FocusKeeper& operator=(const FocusKeeper&) = delete;
  void Restore();

 private:
  ModalLoop& loop_;
  Window previous_ = None;
  int revert_ = RevertToParent;
  bool restored_ = false;
};

// The text a key press types (UTF-8), empty for keys that type nothing.
std::string TypedText(XKeyEvent& event, KeySym* keysym);

}  // namespace tessaro::x11
