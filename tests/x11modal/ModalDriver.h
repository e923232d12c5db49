// Drives the modal windows the way a user would: XTest input from a thread
// of its own on a display connection of its own, while the function under
// test runs its loop on the test's thread.
#pragma once

// gtest before Xlib: Xlib's None and Bool macros break gtest's headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "editor/x11/X11Modal.h"

namespace tessaro::x11::testing {

struct Found {
  Window window = 0;
  IRect rect;  // root coordinates
};

class Driver {
 public:
  Driver();
  ~Driver();
  Display* display() const { return display_; }

  // Mapped top-level windows of the class, bottom to top.
  std::vector<Found> Windows(const char* wmClass);
  // Waits until count windows of the class are up and painted, the topmost
  // not being except; that topmost one.
  bool WaitFor(const char* wmClass, std::size_t count, Found* found, int timeoutMs = 5000, Window except = 0);
  // Waits until fewer than count windows of the class are up.
  bool WaitFewer(const char* wmClass, std::size_t count, int timeoutMs = 5000);
  unsigned long Pixel(Window window, int x, int y);
  std::string Name(Window window);

  void Move(int x, int y);
  void Button(unsigned button, bool down);
  void Click(int x, int y, unsigned button = 1);
  void Key(unsigned long keysym, bool shift = false);
  void Type(const std::string& ascii);

 private:
  Display* display_ = nullptr;
};

// The centre of a rectangle given in a window at origin.
inline int CentreX(const Found& f, const IRect& r) { return f.rect.L + (r.L + r.R) / 2; }
inline int CentreY(const Found& f, const IRect& r) { return f.rect.T + (r.T + r.B) / 2; }

// A display connection for the code under test, with hooks that count.
// An environment variable set for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_, old_;
  bool had_ = false;
};

// A fresh folder under /tmp, removed with what is in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& Path() const { return path_; }
  std::string Write(const std::string& name, const std::string& content, bool executable = false) const;

 private:
  std::string path_;
};

class ModalFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs script on a driver thread while call runs here. If the script ends
  // and the modal is still up, Escape is pressed until it closes, so a failed
  // script fails the test instead of hanging it.
  void Drive(const std::function<void(Driver&)>& script, const std::function<void()>& call);

  Display* display_ = nullptr;
  ModalContext context_;
  int ticks_ = 0;
  std::vector<XEvent> forwarded_;
};

}  // namespace tessaro::x11::testing
