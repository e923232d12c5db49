// What the editor tests need to play a DAW: a private X display, a host
// window to embed the editor in, the built plug-in loaded through its entry
// point, the idle calls a host makes, and XTest input on the test's own
// connection (the plug-in has its own).
#pragma once

// GoogleTest first: Xlib's macros (None, Bool, Status) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/XDisplayEnvironment.h"
#include "host/VstHost.h"

namespace tessaro::testing {

// A top-level window at the screen's corner, as a host's plug-in frame.
class HostWindow {
 public:
  explicit HostWindow(Display* display, int width = 1280, int height = 720, int x = 0, int y = 0)
      : display_(display) {
    XSetWindowAttributes a{};
    a.override_redirect = True;  // placed exactly where asked, window manager or not
    a.background_pixel = 0;
    a.event_mask = KeyPressMask | StructureNotifyMask;
    window_ = XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel | CWEventMask, &a);
    XMapWindow(display, window_);
    XSync(display, False);
  }
  ~HostWindow() { Destroy(); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  Window id() const { return window_; }
  void* handle() const { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window_)); }
  void Destroy() {
    if (!window_) return;
    XDestroyWindow(display_, window_);
    XSync(display_, False);
    window_ = 0;
  }

  // The windows inside it, in stacking order.
  std::vector<Window> Children(Window of = 0) const {
    std::vector<Window> out;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(display_, of ? of : window_, &root, &parent, &children, &n)) {
      out.assign(children, children + n);
      if (children) XFree(children);
    }
    return out;
  }

 private:
  Display* display_;
  Window window_ = 0;
};

// The built plug-in, started as a host starts it.
inline std::unique_ptr<host::Plugin> LoadTessaro() {
  std::string error;
  auto plugin = host::Plugin::Load(TESSARO_PLUGIN_PATH, {}, &error);
  if (plugin) plugin->Start();
  return plugin;
}

// Idle calls at about 100 Hz until the condition holds or the time is up.
inline bool IdleUntil(const std::vector<host::Plugin*>& plugins, const std::function<bool()>& done,
                      int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    for (host::Plugin* p : plugins) p->Dispatch(vst2::effEditIdle);
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

inline void IdleFor(const std::vector<host::Plugin*>& plugins, int ms) {
  IdleUntil(plugins, [] { return false; }, ms);
}

// The pixel of the window at (x, y), as 0xRRGGBB.
inline std::uint32_t PixelAt(Display* display, Window window, int x, int y) {
  XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFFu;
  const std::uint32_t p = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFFu;
  XDestroyImage(image);
  return p;
}

// Synthetic input from the test's connection, in screen coordinates.
inline void Click(Display* display, int x, int y, unsigned int button = 1) {
  XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeButtonEvent(display, button, False, CurrentTime);
  XFlush(display);
}

inline void TypeKeys(Display* display, const std::vector<KeySym>& keys) {
  for (KeySym k : keys) {
    const KeyCode code = XKeysymToKeycode(display, k);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
  }
  XFlush(display);
}

// A mapped top-level window of the class (menus, dialogs), or 0 once the
// time is up.
inline Window WaitForWindowOfClass(Display* display, const char* wmClass, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int n = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &n)) {
      for (unsigned int i = 0; i < n && !found; ++i) {
        XClassHint hint{};
        XWindowAttributes a{};
        if (XGetClassHint(display, children[i], &hint)) {
          if (std::string(hint.res_class ? hint.res_class : "") == wmClass &&
              XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable) {
            found = children[i];
          }
          if (hint.res_name) XFree(hint.res_name);
          if (hint.res_class) XFree(hint.res_class);
        }
      }
      if (children) XFree(children);
    }
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

// The calls of one opcode the plug-in made, as (index, opt) pairs.
inline std::vector<host::HostCall> CallsOf(const host::Plugin& plugin, std::int32_t opcode) {
  std::vector<host::HostCall> out;
  for (const host::HostCall& c : plugin.RecordedCalls()) {
    if (c.opcode == opcode) out.push_back(c);
  }
  return out;
}

}  // namespace tessaro::testing
