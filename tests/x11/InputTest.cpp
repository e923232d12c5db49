// The rules that turn X input into the graphics core's terms.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "editor/IGraphics.h"
#include "editor/x11/X11Input.h"

namespace tessaro::x11 {
namespace {

TEST(X11Input, KeysTranslateToTheCoreCodes) {
  struct Case {
    KeySym symbol;
    unsigned int state;
    int code;
  };
  const Case cases[] = {
      {XK_space, 0, 0},         {XK_Up, 0, 1},         {XK_Down, 0, 2},        {XK_Left, 0, 3},
      {XK_Right, 0, 4},         {XK_0, 0, 5},          {XK_9, 0, 14},          {XK_KP_7, 0, 12},
      {XK_a, 0, 15},            {XK_Z, ShiftMask, 40}, {XK_BackSpace, 0, 41},  {XK_Delete, 0, 42},
      {XK_Shift_R, 0, 43},      {XK_Control_L, 0, 44}, {XK_c, ControlMask, 117}, {XK_Up, ControlMask, 101},
      {XK_F1, 0, -1},           {XK_Return, 0, -1},    {XK_Escape, ControlMask, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(TranslateKey(c.symbol, c.state), c.code) << std::hex << c.symbol;
}

TEST(X11Input, TheMouseStateIsTheOneAfterTheEvent) {
  const IMouseState press = MouseStateFor(ShiftMask, Button1, true);
  EXPECT_TRUE(press.left);
  EXPECT_FALSE(press.right);
  EXPECT_TRUE(press.shift);
  // A release's state still lists its own button; the record must not.
  const IMouseState release = MouseStateFor(Button1Mask | Button3Mask | ControlMask | Mod1Mask, Button1, false);
  EXPECT_FALSE(release.left);
  EXPECT_TRUE(release.right);
  EXPECT_TRUE(release.control);
  EXPECT_TRUE(release.alt);
  const IMouseState drag = MouseStateFor(Button3Mask, 0, false);
  EXPECT_TRUE(drag.right);
  EXPECT_FALSE(drag.left);
}

TEST(X11Input, WheelButtonsAreNotches) {
  EXPECT_EQ(WheelSteps(4), 1);
  EXPECT_EQ(WheelSteps(5), -1);
  EXPECT_EQ(WheelSteps(6), -1);
  EXPECT_EQ(WheelSteps(7), 1);
  EXPECT_EQ(WheelSteps(1), 0);
  EXPECT_EQ(WheelSteps(3), 0);
}

TEST(X11Input, ADoubleClickNeedsTimeAndPlace) {
  struct Press {
    unsigned long time;
    int x, y;
    bool doubled;
  };
  const Press sequence[] = {
      {1000, 10, 10, false}, {1300, 11, 9, true},    // quick and close
      {1400, 11, 9, false},                          // a third press starts over
      {2000, 11, 9, false},  {2501, 11, 9, false},   // too slow
      {3000, 50, 50, false}, {3100, 53, 50, false},  // too far
      {3200, 53, 50, true},                          // but the one after pairs with it
  };
  DoubleClickDetector detector;
  for (const Press& p : sequence) EXPECT_EQ(detector.Press(p.time, p.x, p.y), p.doubled) << p.time;
  // Server time wraps; a pair across the wrap is still a pair.
  EXPECT_FALSE(detector.Press(0xFFFFFF00ul, 0, 0));
  EXPECT_TRUE(detector.Press(0x40ul, 0, 0));
}

TEST(X11Input, TheTimerIntervalFollowsTheFrameRate) {
  const std::pair<int, int> cases[] = {{30, 33}, {60, 15}, {25, 40}, {50, 20}, {20, 50}, {200, 15}, {0, 15}, {-3, 15}};
  for (const auto& [rate, ms] : cases) EXPECT_EQ(TimerIntervalMs(rate), ms) << rate;
}

}  // namespace
}  // namespace tessaro::x11
