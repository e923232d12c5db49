// The host's side of a plug-in editor on X11: a connection of our own and a
// top-level window the plug-in's editor is opened into, the way a DAW
// frames a plug-in's window. Used by the thread that created it only.
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <string>

namespace tessaro::cli {

struct RgbImage;

class HostWindow {
 public:
  struct Settings {
    std::string title = "Tessaro_v2";
    std::string windowClass = "tessaro";
    int width = 640, height = 480;
    // Placed at 0,0 and kept away from the window manager: a window that
    // must be captured whole cannot be moved, framed or covered by it.
    bool unmanaged = false;
  };

  // Connects to the display named by DISPLAY and creates (not maps) the
  // window. Null with *error filled when there is no display.
  static std::unique_ptr<HostWindow> Create(const Settings& settings, std::string* error);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  Display* display() const { return display_; }
  Window window() const { return window_; }
  std::string DisplayName() const;
  int width() const { return width_; }
  int height() const { return height_; }

  void Map();
  // Resizes the window; a fixed-size editor gets fixed size hints, so a
  // window manager does not let the user drag it to a size the editor
  // does not fill.
  void Resize(int width, int height);

  // Handles the events waiting on our connection without blocking.
  // Returns the number of Expose and MapNotify events seen (ours and our
  // children's maps), for callers that wait for painting to settle.
  int Pump();
  // Blocks until an event arrives on our connection or timeoutMs passes.
  void Wait(int timeoutMs);
  // True once the user closed the window (WM_DELETE_WINDOW) or it was destroyed.
  bool CloseRequested() const { return closeRequested_; }
  // Windows inside ours: the editor's, once it has made it.
  int ChildCount();
  bool Viewable();

  // The window's picture with its children, as 8-bit RGB. False with *error
  // when the window cannot be read or its visual is not TrueColor/DirectColor
  // at depth 24 or 32.
  bool Capture(RgbImage* image, std::string* error);

 private:
  HostWindow() = default;
  void SetFixedSize(int width, int height);

  Display* display_ = nullptr;
  Window window_ = 0;
  Atom wmProtocols_ = 0, wmDelete_ = 0;
  int width_ = 0, height_ = 0;
  bool closeRequested_ = false;
  bool destroyed_ = false;
};

}  // namespace tessaro::cli
