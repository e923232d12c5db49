#include "tests/x11modal/ModalDriver.h"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "tests/common/XDisplayEnvironment.h"

namespace tessaro::x11::testing {
namespace {

::testing::Environment* const kDisplay = ::testing::AddGlobalTestEnvironment(new tessaro::testing::XDisplayEnvironment);

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

Driver::Driver() : display_(XOpenDisplay(nullptr)) {}

Driver::~Driver() {
  if (display_) XCloseDisplay(display_);
}

std::vector<Found> Driver::Windows(const char* wmClass) {
  std::vector<Found> found;
  if (!display_) return found;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return found;
  for (unsigned i = 0; i < count; ++i) {
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(display_, children[i], &hint)) continue;
    const bool match = hint.res_class && std::string(hint.res_class) == wmClass;
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    XWindowAttributes attributes;
    if (!match || !XGetWindowAttributes(display_, children[i], &attributes) ||
        attributes.map_state != IsViewable)
      continue;
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display_, children[i], root, 0, 0, &x, &y, &child);
    found.push_back({children[i], {x, y, x + attributes.width, y + attributes.height}});
  }
  if (children) XFree(children);
  return found;
}

unsigned long Driver::Pixel(Window window, int x, int y) {
  XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return 0xFFFFFFFFUL;
  const unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFFUL;
  XDestroyImage(image);
  return pixel;
}

bool Driver::WaitFor(const char* wmClass, std::size_t count, Found* found, int timeoutMs, Window except) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<Found> all = Windows(wmClass);
    // Painted means the window's loop is running (its grabs and focus came first).
    if (all.size() >= count && all.back().window != except && Pixel(all.back().window, 0, 0) != 0xFFFFFFUL) {
      if (found) *found = all.back();
      return true;
    }
    Pause(10);
  }
  return false;
}

bool Driver::WaitFewer(const char* wmClass, std::size_t count, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Windows(wmClass).size() < count) return true;
    Pause(10);
  }
  return false;
}

std::string Driver::Name(Window window) {
  char* name = nullptr;
  if (!XFetchName(display_, window, &name) || !name) return {};
  std::string result = name;
  XFree(name);
  return result;
}

void Driver::Move(int x, int y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XSync(display_, False);
  Pause(20);
}

void Driver::Button(unsigned button, bool down) {
  XTestFakeButtonEvent(display_, button, down ? True : False, CurrentTime);
  XSync(display_, False);
  Pause(20);
}

void Driver::Click(int x, int y, unsigned button) {
  Move(x, y);
  Button(button, true);
  Button(button, false);
}

void Driver::Key(unsigned long keysym, bool shift) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  const KeyCode shiftCode = XKeysymToKeycode(display_, XK_Shift_L);
  if (XkbKeycodeToKeysym(display_, code, 0, 0) != keysym) shift = true;
  if (shift) XTestFakeKeyEvent(display_, shiftCode, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(display_, shiftCode, False, CurrentTime);
  XSync(display_, False);
  Pause(15);
}

void Driver::Type(const std::string& ascii) {
  for (char c : ascii) Key(static_cast<unsigned char>(c));
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    had_ = true;
    old_ = old;
  }
  setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

TempFolder::TempFolder() {
  char pattern[] = "/tmp/x11modal-XXXXXX";
  if (mkdtemp(pattern)) path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::string& content, bool executable) const {
  const std::string path = path_ + "/" + name;
  std::ofstream(path) << content;
  if (executable) chmod(path.c_str(), 0755);
  return path;
}

void ModalFixture::SetUp() {
  display_ = XOpenDisplay(nullptr);
  ASSERT_NE(display_, nullptr);
  context_.display = display_;
  context_.tick = [this] { ++ticks_; };
  context_.forward = [this](XEvent& event) { forwarded_.push_back(event); };
}

void ModalFixture::TearDown() {
  if (display_) XCloseDisplay(display_);
}

void ModalFixture::Drive(const std::function<void(Driver&)>& script, const std::function<void()>& call) {
  std::atomic<bool> finished{false};
  std::thread driver([&] {
    Driver d;
    ASSERT_NE(d.display(), nullptr);
    script(d);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto rescue = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!finished && std::chrono::steady_clock::now() < deadline) {
      if (std::chrono::steady_clock::now() > rescue) {
        ADD_FAILURE() << "the modal window was still up after the script";
        d.Key(XK_Escape);
        rescue = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
      }
      Pause(10);
    }
  });
  call();
  finished = true;
  driver.join();
}

}  // namespace tessaro::x11::testing
