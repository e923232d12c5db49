// The editor as a DAW uses it: embedded in a host window through the built
// plug-in's dispatcher, pumped by idle calls, driven by real X input.
#include "EditorHost.h"

#include <X11/keysym.h>
#include <dirent.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "editor/IGraphics.h"
#include "editor/LiceBitmap.h"
#include "editor/x11/X11ModalWindow.h"

namespace tessaro::testing {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new XDisplayEnvironment());

// Places of the editor's controls, in editor pixels.
constexpr int kBackgroundX = 500, kBackgroundY = 300;  // nothing but artwork here
constexpr int kIspSwitchX = 946, kIspSwitchY = 700;
constexpr int kBypassSwitchX = 898, kBypassSwitchY = 15;
constexpr int kAmountKnobX = 1072, kAmountKnobY = 118;
constexpr int kAmountTextX = 1072, kAmountTextY = 179;  // the value below the knob
constexpr int kLimiterMenuX = 1071, kLimiterMenuY = 697;
constexpr int kIspProtect = 11, kBypass = 18, kAmount = 1, kLimiter = 15, kLimitCharacter = 16,
              kTransientCharacter = 17;

int OpenDescriptors() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++n;
    closedir(dir);
  }
  return n;
}

class EditorWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr);
    plugin_ = LoadTessaro();
    ASSERT_NE(plugin_, nullptr);
    background_ = LoadEmbeddedPng(103, "kestbackground.png");
    ASSERT_NE(background_, nullptr);
  }
  void TearDown() override {
    plugin_.reset();
    if (display_) XCloseDisplay(display_);
  }

  bool Open(HostWindow& host) { return plugin_->Dispatch(vst2::effEditOpen, 0, 0, host.handle()) == 1; }
  bool Close() { return plugin_->Dispatch(vst2::effEditClose) == 1; }
  std::uint32_t Artwork(int x, int y) const { return background_->Pixel(x, y) & 0xFFFFFFu; }
  // True once the host window shows the artwork where no control lies.
  bool ShowsArtwork(const HostWindow& host, int dx = 0, int dy = 0) {
    return PixelAt(display_, host.id(), kBackgroundX + dx, kBackgroundY + dy) == Artwork(kBackgroundX, kBackgroundY);
  }

  // A click on the Amount knob's value; the editor's window once the value
  // field (a window inside it) is up and has the focus, else 0.
  Window AskForAmount(const HostWindow& host) {
    Click(display_, kAmountTextX, kAmountTextY);
    const Window editor = host.Children().at(0);
    if (!IdleUntil({plugin_.get()}, [&] { return host.Children(editor).size() == 1; })) return 0;
    IdleFor({plugin_.get()}, 50);
    return editor;
  }

  Display* display_ = nullptr;
  std::unique_ptr<host::Plugin> plugin_;
  std::unique_ptr<LICE_MemBitmap> background_;
};

TEST_F(EditorWindow, AdvertisesAnEditorOfItsSizeBeforeAndAfterOpening) {
  EXPECT_NE(plugin_->Flags() & vst2::effFlagsHasEditor, 0);
  HostWindow host(display_);
  for (int pass = 0; pass < 2; ++pass) {
    ERect* rect = nullptr;
    ASSERT_EQ(plugin_->Dispatch(vst2::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 1280);
    EXPECT_EQ(rect->bottom - rect->top, 720);
    if (pass == 0) {
      ASSERT_TRUE(Open(host));
    }
  }
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, OpensAtOnceWithTheArtworkAndClosesCleanly) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  ASSERT_EQ(host.Children().size(), 1u);
  EXPECT_TRUE(IdleUntil({plugin_.get()}, [&] { return ShowsArtwork(host); }, 2000));
  // The Amount knob's strip covers the artwork at its place.
  EXPECT_NE(PixelAt(display_, host.id(), kAmountKnobX, kAmountKnobY - 30), Artwork(kAmountKnobX, kAmountKnobY - 30));
  EXPECT_TRUE(Close());
  XSync(display_, False);
  EXPECT_TRUE(host.Children().empty());
}

TEST_F(EditorWindow, FiftyOpensAndClosesLeaveNothingBehind) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 50);
  ASSERT_TRUE(Close());
  const int descriptors = OpenDescriptors();
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(Open(host)) << i;
    IdleFor({plugin_.get()}, 20);
    ASSERT_TRUE(Close()) << i;
  }
  XSync(display_, False);
  EXPECT_TRUE(host.Children().empty());
  EXPECT_EQ(OpenDescriptors(), descriptors);  // every Display connection closed again
  // And the last of them still works.
  ASSERT_TRUE(Open(host));
  EXPECT_TRUE(IdleUntil({plugin_.get()}, [&] { return ShowsArtwork(host); }, 2000));
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, TwoInstancesWorkSideBySide) {
  auto second = LoadTessaro();
  ASSERT_NE(second, nullptr);
  HostWindow a(display_, 1280, 720, 0, 0);
  HostWindow b(display_, 1280, 720, 640, 360);
  ASSERT_TRUE(Open(a));
  ASSERT_EQ(second->Dispatch(vst2::effEditOpen, 0, 0, b.handle()), 1);
  // A's point lies outside B; B's (1145, 36) lies right of A.
  EXPECT_TRUE(IdleUntil({plugin_.get(), second.get()}, [&] {
    return PixelAt(display_, a.id(), 20, 20) == Artwork(20, 20) &&
           PixelAt(display_, b.id(), 1145, 36) == Artwork(1145, 36);
  }));
  // A click on B's ISP switch (outside A) reaches B only.
  Click(display_, 640 + kIspSwitchX, 360 + kIspSwitchY);
  EXPECT_TRUE(IdleUntil({plugin_.get(), second.get()}, [&] { return second->GetParameter(kIspProtect) == 1.0f; }));
  EXPECT_EQ(plugin_->GetParameter(kIspProtect), 0.0f);
  EXPECT_EQ(second->Dispatch(vst2::effEditClose), 1);
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, AClickOnASwitchIsOneHostGesture) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 100);
  plugin_->ClearRecordedCalls();
  Click(display_, kIspSwitchX, kIspSwitchY);
  ASSERT_TRUE(IdleUntil({plugin_.get()}, [&] { return !CallsOf(*plugin_, vst2::audioMasterEndEdit).empty(); }));
  std::vector<std::pair<int, int>> gesture;  // (opcode, index)
  for (const host::HostCall& c : plugin_->RecordedCalls()) {
    if (c.opcode == vst2::audioMasterBeginEdit || c.opcode == vst2::audioMasterAutomate ||
        c.opcode == vst2::audioMasterEndEdit) {
      gesture.emplace_back(c.opcode, c.index);
    }
  }
  const std::vector<std::pair<int, int>> expected = {
      {vst2::audioMasterBeginEdit, kIspProtect}, {vst2::audioMasterAutomate, kIspProtect},
      {vst2::audioMasterEndEdit, kIspProtect}};
  EXPECT_EQ(gesture, expected);
  const auto automate = CallsOf(*plugin_, vst2::audioMasterAutomate);
  ASSERT_FALSE(automate.empty());
  EXPECT_EQ(automate.back().opt, 1.0f);
  EXPECT_EQ(plugin_->GetParameter(kIspProtect), 1.0f);
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, InternalParametersChangeWithoutHostEditGestures) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 100);
  plugin_->ClearRecordedCalls();
  Click(display_, kBypassSwitchX, kBypassSwitchY);
  ASSERT_TRUE(IdleUntil({plugin_.get()}, [&] { return plugin_->GetParameter(kBypass) == 1.0f; }));
  IdleFor({plugin_.get()}, 50);
  // Gestures only ever name parameters the host was told about.
  EXPECT_TRUE(CallsOf(*plugin_, vst2::audioMasterBeginEdit).empty());
  EXPECT_TRUE(CallsOf(*plugin_, vst2::audioMasterEndEdit).empty());
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, AClickOnAKnobsValueTypesAValueThatCommitsOnEnter) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 100);
  ASSERT_EQ(plugin_->ParamDisplay(kAmount), "0.00");
  const Window editor = AskForAmount(host);
  ASSERT_NE(editor, 0u);
  plugin_->ClearRecordedCalls();
  TypeKeys(display_, {XK_1, XK_x, XK_2, XK_Return});  // the letter is refused
  ASSERT_TRUE(IdleUntil({plugin_.get()}, [&] { return plugin_->ParamDisplay(kAmount) == "12.00"; }));
  EXPECT_TRUE(IdleUntil({plugin_.get()}, [&] { return host.Children(editor).empty(); }));
  const auto automate = CallsOf(*plugin_, vst2::audioMasterAutomate);
  ASSERT_FALSE(automate.empty());
  EXPECT_EQ(automate.back().index, kAmount);
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, TheClickThatOpensAFieldIsAClosedGesture) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 100);
  plugin_->ClearRecordedCalls();
  const Window editor = AskForAmount(host);
  ASSERT_NE(editor, 0u);
  EXPECT_EQ(CallsOf(*plugin_, vst2::audioMasterBeginEdit).size(), 1u);
  EXPECT_EQ(CallsOf(*plugin_, vst2::audioMasterEndEdit).size(), 1u);
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, AClickOnTheEditorClosesTheFieldAndReachesNoControl) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 100);
  const Window editor = AskForAmount(host);
  ASSERT_NE(editor, 0u);
  TypeKeys(display_, {XK_5});
  plugin_->ClearRecordedCalls();
  Click(display_, kIspSwitchX, kIspSwitchY);
  ASSERT_TRUE(IdleUntil({plugin_.get()}, [&] { return host.Children(editor).empty(); }));
  IdleFor({plugin_.get()}, 100);
  EXPECT_EQ(plugin_->ParamDisplay(kAmount), "0.00");  // closed without committing
  EXPECT_EQ(plugin_->GetParameter(kIspProtect), 0.0f);
  EXPECT_TRUE(CallsOf(*plugin_, vst2::audioMasterBeginEdit).empty());
  EXPECT_TRUE(CallsOf(*plugin_, vst2::audioMasterEndEdit).empty());
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, EscapeLeavesATypedValueUncommitted) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 100);
  const Window editor = AskForAmount(host);
  ASSERT_NE(editor, 0u);
  TypeKeys(display_, {XK_9, XK_Escape});
  ASSERT_TRUE(IdleUntil({plugin_.get()}, [&] { return host.Children(editor).empty(); }));
  EXPECT_EQ(plugin_->ParamDisplay(kAmount), "0.00");
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, TheLimiterMenuReturnsTheChosenType) {
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  IdleFor({plugin_.get()}, 100);
  plugin_->ClearRecordedCalls();
  // The menu's loop runs inside the idle call; the user picks from a thread of their own.
  std::atomic<bool> picked{false};
  std::thread user([&] {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return;
    if (const Window menu = WaitForWindowOfClass(d, "tessaro-menu")) {
      XWindowAttributes a{};
      XGetWindowAttributes(d, menu, &a);
      int x = 0, y = 0;
      Window child = 0;
      XTranslateCoordinates(d, menu, DefaultRootWindow(d), 0, 0, &x, &y, &child);
      IMenu model;
      for (int i = 0; i < 9; ++i) model.AddItem("type");
      const IRect item = x11::PopupMenuItemRect(model, 2, 1.0, a.width);
      Click(d, x + (item.L + item.R) / 2, y + (item.T + item.B) / 2);
      picked = true;
    }
    XCloseDisplay(d);
  });
  Click(display_, kLimiterMenuX, kLimiterMenuY);
  const bool chosen = IdleUntil({plugin_.get()}, [&] { return plugin_->ParamDisplay(kLimiter) == "2"; }, 8000);
  user.join();
  ASSERT_TRUE(picked);
  // The third type, with its own character on the pad.
  EXPECT_TRUE(chosen) << plugin_->ParamDisplay(kLimiter);
  EXPECT_EQ(plugin_->ParamDisplay(kLimitCharacter), "77.0");
  EXPECT_EQ(plugin_->ParamDisplay(kTransientCharacter), "21.0");
  // The selector edits an internal parameter: no gesture names it.
  EXPECT_TRUE(CallsOf(*plugin_, vst2::audioMasterBeginEdit).empty());
  EXPECT_TRUE(CallsOf(*plugin_, vst2::audioMasterEndEdit).empty());
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, TheEditorSurvivesItsParentBeingDestroyedFirst) {
  {
    HostWindow host(display_);
    ASSERT_TRUE(Open(host));
    IdleFor({plugin_.get()}, 100);
    host.Destroy();
    IdleFor({plugin_.get()}, 100);
  }
  EXPECT_TRUE(Close());
  HostWindow again(display_);
  ASSERT_TRUE(Open(again));
  EXPECT_TRUE(IdleUntil({plugin_.get()}, [&] { return ShowsArtwork(again); }, 2000));
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, NoWindowOrAVanishedOneGetsNoEditor) {
  EXPECT_EQ(plugin_->Dispatch(vst2::effEditOpen, 0, 0, nullptr), 0);
  HostWindow gone(display_);
  void* stale = gone.handle();
  gone.Destroy();
  EXPECT_EQ(plugin_->Dispatch(vst2::effEditOpen, 0, 0, stale), 0);
  plugin_->Dispatch(vst2::effEditIdle);
  HostWindow host(display_);
  EXPECT_TRUE(Open(host));
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, AnXServerThatGoesAwayEndsTheEditorNotTheHost) {
  const std::string mainDisplay = std::getenv("DISPLAY");
  unsetenv("DISPLAY");
  std::string error;
  auto server = host::VirtualDisplay::Ensure(&error);
  ASSERT_NE(server, nullptr) << error;
  // The host window outlives the test's connection, which closes before the server dies.
  Display* other = XOpenDisplay(nullptr);
  ASSERT_NE(other, nullptr);
  XSetCloseDownMode(other, RetainPermanent);
  const Window parent = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1280, 720, 0, 0, 0);
  XMapWindow(other, parent);
  XSync(other, False);
  XCloseDisplay(other);
  ASSERT_EQ(plugin_->Dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))), 1);
  IdleFor({plugin_.get()}, 100);
  server.reset();  // the server dies under the open editor
  setenv("DISPLAY", mainDisplay.c_str(), 1);
  IdleFor({plugin_.get()}, 200);
  EXPECT_TRUE(Close());
  HostWindow host(display_);
  ASSERT_TRUE(Open(host));
  EXPECT_TRUE(IdleUntil({plugin_.get()}, [&] { return ShowsArtwork(host); }, 2000));
  EXPECT_TRUE(Close());
}

TEST_F(EditorWindow, OpeningAndClosingWhileAudioRunsIsSafe) {
  std::atomic<bool> stop{false};
  std::atomic<int> blocks{0};
  std::thread audio([&] {
    std::vector<double> l(256, 0.1), r(256, -0.1), ol(256), orr(256);
    double* in[2] = {l.data(), r.data()};
    double* out[2] = {ol.data(), orr.data()};
    while (!stop.load()) {
      plugin_->ProcessDouble(in, out, 256);
      ++blocks;
      // A device thread waits for the next period; it does not spin on the lock.
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  HostWindow host(display_);
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(Open(host));
    IdleFor({plugin_.get()}, 30);
    plugin_->SetParameter(kAmount, static_cast<float>(i % 5) / 4.0f);
    ASSERT_TRUE(Close());
  }
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 0);
}

}  // namespace
}  // namespace tessaro::testing
