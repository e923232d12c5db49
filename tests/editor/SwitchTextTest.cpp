// The hover switch, the show-all list switch, the label, the scrolling line
// and the message line: behaviour through the graphics core's dispatch, and
// pictures against stored references at scales 1 and 1.25.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "SceneFixture.h"
#include "editor/Kest_Switches.h"
#include "editor/Kest_TextControls.h"

namespace tessaro::testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const ITextStyle& Style26() {
  static const ITextStyle style = [] {
    ITextStyle s("Ubuntu", 26, {255, 210, 210, 210});
    s.entryBackground = {255, 35, 32, 32};
    s.quality = ITextStyle::kClearType;
    return s;
  }();
  return style;
}

int Luma(std::uint32_t p) { return lice::R(p) + lice::G(p) + lice::B(p); }

class SwitchTextTest : public ::testing::Test {
 protected:
  SwitchTextTest() : scene(plug, 1280, 720) { scene.g().SetHandleMouseOver(true); }
  IGraphicsHeadless& g() { return scene.g(); }
  void Press(int x, int y) {
    g().DispatchMouseDown(x, y, left);
    g().DispatchMouseUp(x, y, left);
  }
  Kest_SwitchShowAll* AddShowAll(int id, int frames, int x, int y, int param) {
    auto* sw = new Kest_SwitchShowAll(&plug, x, y, param, scene.Strip(id, frames));
    g().AddControl(sw);
    return sw;
  }
  // Row i's vertical centre in an open list.
  static int RowY(const Kest_SwitchShowAll& sw, int row) {
    const double h = static_cast<double>(sw.Rect().H()) / sw.States();
    return sw.Rect().T + static_cast<int>((row + 0.5) * h);
  }

  TestPlug plug;
  Scene scene;
  ZeroRegistry registry;
  ManualClock clock;
  std::vector<std::string> log;
  IMouseState left{true, false, false, false, false};
};

// --- Kest_Switch2 ---

TEST_F(SwitchTextTest, TheHoverSwitchTracksPointerAndPressStates) {
  g().AddBackgroundPanel({255, 6, 6, 6});
  auto* sw = new Kest_Switch2(&plug, 100, 100, kMode, scene.Strip(107, 3), &registry);
  g().AddControl(sw);
  EXPECT_EQ(sw->HoverState(), Kest_Switch2::kNone);
  g().DispatchMouseOver(110, 110, {});
  EXPECT_EQ(sw->HoverState(), Kest_Switch2::kHovered);
  g().DispatchMouseDown(110, 110, left);
  EXPECT_EQ(sw->HoverState(), Kest_Switch2::kPressed);
  EXPECT_DOUBLE_EQ(sw->Value(), 0.5);
  EXPECT_DOUBLE_EQ(plug.GetParam(kMode)->Value(), 1.0);
  g().DispatchMouseUp(110, 110, left);
  g().DispatchMouseOver(111, 110, {});
  EXPECT_EQ(sw->HoverState(), Kest_Switch2::kHovered);
  // Onto the background panel: the switch hears the pointer has gone.
  g().DispatchMouseOver(5, 5, {});
  EXPECT_EQ(sw->HoverState(), Kest_Switch2::kNone);
  // A double-click is one more press: 0.5 -> 1.0 -> 0.
  sw->DoubleClick(110, 110, left);
  EXPECT_DOUBLE_EQ(sw->Value(), 1.0);
  EXPECT_EQ(sw->HoverState(), Kest_Switch2::kPressed);
  sw->MouseDown(110, 110, left);
  EXPECT_DOUBLE_EQ(sw->Value(), 0.0);
}

TEST_F(SwitchTextTest, OnlyAHoveredEnabledSwitchIsHighlighted) {
  g().AddBackgroundPanel({255, 6, 6, 6});
  auto* sw = new Kest_Switch2(&plug, 100, 100, kFlag, scene.Strip(106, 2));
  g().AddControl(sw);
  struct Case {
    const char* what;
    bool hover, press, greyed, lit;
  };
  const Case cases[] = {
      {"hovered", true, false, false, true},
      {"pressed", true, true, false, false},
      {"greyed and hovered", true, false, true, false},
      {"left again", false, false, false, false},
  };
  for (const Case& c : cases) {
    sw->SetGreyed(c.greyed);
    sw->SetValue(0.0);
    sw->MouseLeave();
    scene.PaintAll();
    const int plain = Luma(scene.Pixel(103, 113));
    if (c.hover) sw->MouseOver(110, 110, {});
    if (c.press) {
      sw->MouseDown(110, 110, left);
      sw->SetValue(0.0);  // the same frame as before, without the highlight
    }
    scene.PaintAll();
    const int shown = Luma(scene.Pixel(103, 113));
    if (c.lit) {
      EXPECT_GT(shown, plain + 100) << c.what;
    } else {
      EXPECT_EQ(shown, plain) << c.what;
    }
  }
}

TEST_F(SwitchTextTest, SwitchesOutOfRangeOrNoNumberStillShowAFrameAndStepSanely) {
  auto* sw = new Kest_Switch2(&plug, 0, 0, kMode, scene.Strip(107, 3));
  g().AddControl(sw);
  for (const double v : {kNaN, kInf, -kInf}) {
    sw->SetValue(v);
    EXPECT_GE(sw->Frame(), 1);
    EXPECT_LE(sw->Frame(), 3);
    scene.PaintAll();
    sw->MouseDown(5, 5, left);
    EXPECT_TRUE(std::isfinite(sw->Value())) << v;
    EXPECT_GE(sw->Value(), 0.0);
    EXPECT_LE(sw->Value(), 1.0);
  }
  sw->SetValue(kNaN);
  sw->MouseDown(5, 5, left);
  EXPECT_DOUBLE_EQ(sw->Value(), 0.5);
}

// --- Kest_SwitchShowAll ---

TEST_F(SwitchTextTest, TheListOpensAroundOrAboveTheSwitchByItsPlace) {
  struct Case {
    int id, frames, x, y;
    IRect list;
  };
  const Case cases[] = {
      // Upper part of the editor: centred on the switch, never above 4.
      {109, 3, 1042, 240, {1042, 201, 1100, 279}},
      {117, 5, 312, 10, {312, 4, 378, 134}},
      // Lower part: grown up from below, never past 4 above the bottom.
      {116, 5, 704, 690, {704, 586, 866, 716}},
      {115, 4, 868, 690, {868, 612, 922, 716}},
      {117, 5, 312, 400, {312, 361, 378, 491}},
  };
  for (const Case& c : cases) {
    auto* sw = AddShowAll(c.id, c.frames, c.x, c.y, -1);
    const IRect closed = sw->Rect();
    g().DispatchMouseDown(c.x + 5, c.y + 5, left);
    g().DispatchMouseUp(c.x + 5, c.y + 5, left);
    EXPECT_TRUE(sw->IsOpen()) << c.id;
    EXPECT_EQ(sw->Rect(), c.list) << c.id << " at " << c.y;
    EXPECT_EQ(sw->TargetRect(), (IRect{0, 0, 1280, 720}));
    EXPECT_EQ(sw->Layer(), 2);
    sw->Close();
    EXPECT_EQ(sw->Rect(), closed);
    EXPECT_EQ(sw->TargetRect(), closed);
    EXPECT_EQ(sw->Layer(), 0);
    sw->SetHidden(true);
  }
}

TEST_F(SwitchTextTest, ChoosingARowSetsItsStateAndClosesTheList) {
  struct Case {
    int row;
    double value;
  };
  for (const Case c : {Case{0, 0.0}, Case{1, 1.0 / 3.0}, Case{2, 2.0 / 3.0}, Case{3, 1.0}}) {
    auto* sw = AddShowAll(115, 4, 868, 690, kLevel);
    sw->SetValue(0.5);
    Press(870, 700);
    ASSERT_TRUE(sw->IsOpen());
    plug.pushes.clear();
    Press(880, RowY(*sw, c.row));
    EXPECT_FALSE(sw->IsOpen()) << c.row;
    EXPECT_NEAR(sw->Value(), c.value, 1e-12) << c.row;
    ASSERT_EQ(plug.pushes.size(), 1u);
    EXPECT_EQ(plug.pushes[0].index, kLevel);
    EXPECT_NEAR(plug.pushes[0].value, c.value, 1e-12);
    EXPECT_EQ(sw->Rect(), (IRect{868, 690, 922, 716}));
    EXPECT_EQ(sw->Layer(), 0);
    sw->SetHidden(true);
  }
}

TEST_F(SwitchTextTest, AnUnselectableRowKeepsTheListOpen) {
  auto* sw = AddShowAll(115, 4, 868, 690, kLevel);
  sw->SetSelectable(1, false);
  sw->SetSelectable(7, false);   // no such state: ignored
  sw->SetSelectable(-1, false);  // likewise
  EXPECT_FALSE(sw->IsSelectable(1));
  EXPECT_TRUE(sw->IsSelectable(2));
  sw->SetValue(0.0);
  Press(870, 700);
  plug.pushes.clear();
  Press(880, RowY(*sw, 1));
  EXPECT_TRUE(sw->IsOpen());
  EXPECT_DOUBLE_EQ(sw->Value(), 0.0);
  EXPECT_TRUE(plug.pushes.empty());
  Press(880, RowY(*sw, 2));
  EXPECT_FALSE(sw->IsOpen());
  EXPECT_NEAR(sw->Value(), 2.0 / 3.0, 1e-12);
}

TEST_F(SwitchTextTest, APressOutsideTheOpenListClosesItAndReachesNothingElse) {
  auto* other = new ProbeControl(&plug, {100, 100, 200, 200}, "other", &log, kFlag);
  g().AddControl(other);
  auto* sw = AddShowAll(109, 3, 1042, 240, kMode);
  sw->SetValue(0.5);
  Press(1050, 250);
  ASSERT_TRUE(sw->IsOpen());
  plug.pushes.clear();
  log.clear();
  Press(150, 150);
  EXPECT_FALSE(sw->IsOpen());
  EXPECT_TRUE(log.empty()) << log.front();
  EXPECT_DOUBLE_EQ(sw->Value(), 0.5);
  EXPECT_TRUE(plug.pushes.empty());
  // Closed again, the other control is reachable.
  Press(150, 150);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "other down 150,150");
}

TEST_F(SwitchTextTest, AnOpenListThatIsHiddenOrGreyedLetsTheEditorGo) {
  auto* other = new ProbeControl(&plug, {100, 100, 200, 200}, "other", &log);
  g().AddControl(other);
  auto* sw = AddShowAll(115, 4, 868, 690, kLevel);
  for (const bool hide : {true, false}) {
    sw->SetHidden(false);
    sw->SetGreyed(false);
    Press(870, 700);
    ASSERT_TRUE(sw->IsOpen());
    // As when the oversampling mode hides the rate switch.
    if (hide) {
      g().HideParamControls(kLevel, true);
    } else {
      sw->SetGreyed(true);
    }
    EXPECT_FALSE(sw->IsOpen());
    EXPECT_EQ(sw->Layer(), 0);
    log.clear();
    Press(150, 150);
    EXPECT_FALSE(log.empty()) << (hide ? "hidden" : "greyed");
  }
}

TEST_F(SwitchTextTest, HoveringTheOpenListFollowsItsRows) {
  auto* sw = AddShowAll(116, 5, 704, 690, kMode);
  g().DispatchMouseOver(710, 700, {});
  EXPECT_TRUE(sw->IsHovered());
  Press(710, 700);
  ASSERT_TRUE(sw->IsOpen());
  for (int row = 0; row < 5; ++row) {
    g().DispatchMouseOver(780, RowY(*sw, row), {});
    EXPECT_EQ(sw->HoveredRow(), row);
    const IRect& o = sw->HoveredRowRect();
    EXPECT_EQ(o.L, 702);
    EXPECT_EQ(o.R, 868);
    EXPECT_EQ(o.T, 586 + row * 26 - 2);
    EXPECT_EQ(o.B, 586 + (row + 1) * 26 + 2);
    // Still the only raised control, so it keeps every press.
    EXPECT_EQ(sw->Layer(), 1);
  }
  g().DispatchMouseOver(100, 100, {});
  EXPECT_EQ(sw->HoveredRow(), -1);
  EXPECT_TRUE(sw->HoveredRowRect().Empty());
  EXPECT_TRUE(sw->IsOpen());
  // The pointer leaving the editor closes the list.
  g().DispatchMouseLeave();
  EXPECT_FALSE(sw->IsOpen());
  EXPECT_FALSE(sw->IsHovered());
  EXPECT_EQ(sw->Rect(), (IRect{704, 690, 866, 716}));
  EXPECT_EQ(sw->Layer(), 0);
}

TEST_F(SwitchTextTest, TheWheelStepsThroughTheStatesAndWraps) {
  struct Case {
    double from;
    int steps;
    double to;
  };
  const Case cases[] = {
      {0.0, -1, 0.25}, {0.25, -3, 0.5}, {1.0, -1, 0.0},   {0.0, 1, 1.0},
      {0.75, 2, 0.5},  {0.5, 0, 0.5},   {kNaN, -1, 0.25},
  };
  auto* sw = AddShowAll(117, 5, 312, 690, kLevel);
  for (const Case& c : cases) {
    sw->SetValue(c.from);
    plug.pushes.clear();
    sw->Wheel(320, 700, {}, c.steps);
    EXPECT_DOUBLE_EQ(sw->Value(), c.to) << c.from << " by " << c.steps;
    if (c.steps != 0) {
      ASSERT_EQ(plug.pushes.size(), 1u);
      EXPECT_DOUBLE_EQ(plug.pushes[0].value, c.to);
    }
  }
}

TEST_F(SwitchTextTest, TheOpenListIsDrawnOnTopWithShadedAndHighlightedRows) {
  g().AddBackgroundPanel({255, 6, 6, 6});
  // A bright control beneath where the list will open.
  g().AddControl(new IPanelControl(&plug, {600, 500, 900, 690}, {255, 200, 200, 200}));
  auto* sw = AddShowAll(116, 5, 704, 690, kMode);
  sw->SetSelectable(3, false);
  scene.PaintAll();
  const std::uint32_t beneath = scene.Pixel(850, 600);
  Press(710, 700);
  g().DispatchMouseOver(850, RowY(*sw, 1), {});
  IRect dirty;
  ASSERT_TRUE(g().CollectDirtyArea(dirty));
  scene.PaintAll();
  // Every control stays dirty while the list is open, so it stays on top.
  for (int i = 0; i < g().NumControls(); ++i) EXPECT_TRUE(g().GetControl(i)->NeedsRedraw()) << i;
  // The shade beyond the list's edge darkens what lies beneath.
  EXPECT_LT(Luma(scene.Pixel(702, 600)), Luma(beneath) / 2);
  // The hovered row's outline is black; an unselectable row is darker than a
  // plain one at the same place of its frame.
  const IRect& o = sw->HoveredRowRect();
  EXPECT_EQ(scene.Pixel(o.L, o.T + 5), 0u);
  EXPECT_EQ(scene.Pixel(o.R - 1, o.T + 5), 0u);
  EXPECT_EQ(scene.Pixel(o.L + 40, o.B - 1), 0u);
  const int rowH = 26;
  const int plainRow = Luma(scene.Pixel(710, 586 + 2 * rowH + 3));
  const int shadedRow = Luma(scene.Pixel(710, 586 + 3 * rowH + 3));
  EXPECT_LT(shadedRow, plainRow);
  // Highlighted: brighter than the same spot of a plain row.
  EXPECT_GT(Luma(scene.Pixel(710, 586 + 1 * rowH + 3)), plainRow + 60);
  // Closed again, the control beneath shows where the list was.
  Press(100, 100);
  scene.PaintAll();
  EXPECT_EQ(scene.Pixel(850, 600), beneath);
}

TEST_F(SwitchTextTest, TheClosedSwitchShowsTheFrameOfItsState) {
  auto* sw = AddShowAll(115, 4, 0, 0, -1);
  auto* reference = new IBitmapControl(&plug, 100, 0, -1, scene.Strip(115, 4));
  g().AddControl(reference);
  struct Case {
    double value;
    double frameValue;  // what the plain bitmap control shows the same frame for
  };
  const Case cases[] = {{0.0, 0.0},  {1.0 / 3.0, 1.0 / 3.0}, {2.0 / 3.0, 2.0 / 3.0},
                        {1.0, 1.0},  {0.5, 1.0 / 3},         {0.99, 2.0 / 3.0},
                        {kNaN, 0.0}, {-kInf, 0.0},           {kInf, 0.0}};
  for (const Case& c : cases) {
    sw->SetValue(c.value);
    reference->SetValue(c.frameValue);
    scene.PaintAll();
    for (int y = 0; y < 26; y += 3) {
      for (int x = 0; x < 54; x += 3) {
        ASSERT_EQ(scene.Pixel(x, y), scene.Pixel(100 + x, y)) << c.value << " at " << x << "," << y;
      }
    }
  }
}

TEST_F(SwitchTextTest, SwappingThePictureClosesTheListAndUsesTheNewLabels) {
  auto* sw = AddShowAll(116, 5, 704, 690, kMode);
  Press(710, 700);
  ASSERT_TRUE(sw->IsOpen());
  IBitmapStrip* off = scene.Strip(125, 5);
  sw->SetStrips(off);
  EXPECT_FALSE(sw->IsOpen());
  EXPECT_EQ(sw->Strip(), off);
  EXPECT_EQ(sw->ListStrip(), off);
}

// --- Kest_ITextControl ---

TEST_F(SwitchTextTest, LabelsPassThroughAndAlignByTheirStyle) {
  struct Case {
    int styleAlign, cairoAlign;
  };
  for (const Case c :
       {Case{ITextStyle::kLeft, ycairo_text::kLeft}, Case{ITextStyle::kCentre, ycairo_text::kCentre},
        Case{ITextStyle::kRight, ycairo_text::kRight}}) {
    ITextStyle style = Style26();
    style.align = c.styleAlign;
    Kest_ITextControl label(&plug, scene.editor.canvas.get(), {0, 0, 100, 20}, style, "x");
    EXPECT_EQ(label.TextAlign(), c.cairoAlign);
    EXPECT_TRUE(label.IsPassThrough());
  }
}

TEST_F(SwitchTextTest, AGreyedLabelIsFainterAndAnEmptyOneDrawsNothing) {
  g().AddBackgroundPanel({255, 6, 6, 6});
  auto* label = new Kest_ITextControl(&plug, scene.editor.canvas.get(), {10, 10, 210, 40}, Style26(), "MMMM");
  g().AddControl(label);
  const auto brightness = [&] {
    scene.PaintAll();
    long sum = 0;
    for (int y = 10; y < 40; ++y)
      for (int x = 10; x < 210; ++x) sum += Luma(scene.Pixel(x, y));
    return sum;
  };
  const long empty = 18L * 200 * 30;
  const long normal = brightness();
  label->SetGreyed(true);
  const long greyed = brightness();
  label->SetText("");
  const long none = brightness();
  EXPECT_GT(normal - empty, 50000);
  EXPECT_LT(greyed - empty, (normal - empty) / 2);
  EXPECT_GT(greyed, empty);
  EXPECT_EQ(none, empty);
}

// --- ITextScroll ---

TEST_F(SwitchTextTest, TheVisibleLengthIsTheLongestPrefixThatFits) {
  const std::string text = "Oversampling 16x linear phase, high quality, 2048 samples of latency";
  auto* line = new ITextScroll(&plug, scene.editor.canvas.get(), {0, 0, 180, 26}, Style26(), text.c_str());
  g().AddControl(line);
  line->SetScrollText(text);
  const int n = line->VisibleLength();
  ASSERT_LT(n, line->TextLength());
  ITextStyle style = Style26();
  const auto width = [&](int chars) {
    IRect r;
    g().MeasureText(style, text.substr(0, static_cast<std::size_t>(chars)).c_str(), r);
    return r.W();
  };
  EXPECT_LE(width(n), 0.95 * 180);
  EXPECT_GT(width(n + 1), 0.95 * 180);
  // A narrower text afterwards fits whole again.
  line->SetScrollText("iiii");
  EXPECT_GE(line->VisibleLength(), 4);
  EXPECT_EQ(line->VisibleText(), "iiii");
  // Trailing zero characters are no part of the text.
  line->SetScrollText(std::string("Ceiling\0\0\0", 10));
  EXPECT_EQ(line->FullText(), "Ceiling");
  // Never fewer than two characters, however narrow the line.
  line->SetRect({0, 0, 3, 26});
  line->SetScrollText("WWWWWW");
  EXPECT_EQ(line->VisibleLength(), 2);
}

TEST_F(SwitchTextTest, ALongLineStepsPausesAtTheEndAndStartsAgain) {
  // 10 characters of which 8 fit: positions 0, 1, 2 (the end), then 0.
  auto* line = new ITextScroll(&plug, scene.editor.canvas.get(), {0, 0, 400, 26}, Style26(), "");
  g().AddControl(line);
  line->SetClock(&clock);
  std::string text;
  for (char c = 'A'; c < 'A' + 10; ++c) text += c;
  // Narrow the line until exactly 8 of them fit.
  int width = 400;
  for (; width > 10; --width) {
    line->SetRect({0, 0, width, 26});
    line->SetScrollText(text);
    if (line->VisibleLength() == 8) break;
  }
  ASSERT_EQ(line->VisibleLength(), 8);
  struct Step {
    std::uint32_t advance;
    int position;
    std::uint32_t delay;
  };
  const Step steps[] = {
      {0, 0, 1000},    {1000, 0, 1000},                // exactly the delay is not yet more than it
      {1, 1, 500},     {500, 1, 500},   {1, 2, 1800},  // at the end: the long pause
      {1800, 2, 1800}, {1, 0, 1000},                   // past it: back to the start
      {1001, 1, 500},
  };
  for (const Step& s : steps) {
    clock.Advance(s.advance);
    scene.PaintAll();
    EXPECT_EQ(line->Position(), s.position) << "after " << clock.now;
    EXPECT_EQ(line->Delay(), s.delay) << "after " << clock.now;
    EXPECT_EQ(line->VisibleText(), text.substr(static_cast<std::size_t>(s.position), 8));
    // A moving line asks for its next frame.
    EXPECT_TRUE(line->NeedsRedraw());
  }
  // The tick count wrapping round changes nothing.
  clock.now = 0xFFFFFF00u;
  line->SetScrollText(text);
  clock.Advance(0x400);
  scene.PaintAll();
  EXPECT_EQ(line->Position(), 1);
}

TEST_F(SwitchTextTest, ALineThatFitsIsShownWholeAndNeverMoves) {
  auto* line =
      new ITextScroll(&plug, scene.editor.canvas.get(), {0, 0, 400, 26}, Style26(), "Margin -0.5 dB");
  g().AddControl(line);
  line->SetClock(&clock);
  for (int i = 0; i < 40; ++i) {
    clock.Advance(700);
    scene.PaintAll();
    EXPECT_EQ(line->Position(), 0);
    EXPECT_EQ(line->VisibleText(), "Margin -0.5 dB");
  }
  EXPECT_FALSE(line->NeedsRedraw());
}

TEST_F(SwitchTextTest, ScrollingNeverSplitsACharacter) {
  const std::string text =
      "Gain \xC2\xB1"
      "3 dB \xE2\x80\x94 \xC2\xB5s attack \xE2\x86\x92 release";
  auto* line = new ITextScroll(&plug, scene.editor.canvas.get(), {0, 0, 90, 26}, Style26(), text.c_str());
  g().AddControl(line);
  line->SetClock(&clock);
  line->SetScrollText(text);
  ASSERT_LT(line->VisibleLength(), line->TextLength());
  for (int i = 0; i < 60; ++i) {
    clock.Advance(2000);
    scene.PaintAll();
    const std::string shown = line->VisibleText();
    ASSERT_FALSE(shown.empty());
    EXPECT_NE(static_cast<unsigned char>(shown.front()) & 0xC0, 0x80) << i;
    // Whole sequences only: every lead byte has all its continuation bytes.
    std::size_t k = 0;
    while (k < shown.size()) {
      const unsigned char lead = static_cast<unsigned char>(shown[k]);
      const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      ASSERT_LE(k + n, shown.size()) << i;
      k += n;
    }
  }
}

// --- Kest_ITextMSGControl ---

class MessageLineTest : public SwitchTextTest {
 protected:
  MessageLineTest() {
    g().AddBackgroundPanel({255, 6, 6, 6});
    preset = new IPanelControl(&plug, {376, 5, 876, 31}, {255, 40, 40, 120});
    g().AddControl(preset);
    line = new Kest_ITextMSGControl(&plug, scene.editor.canvas.get(), {376, 5, 876, 31}, Style26(), "",
                                    {255, 6, 6, 6}, &registry);
    g().AddControl(line);
    line->SetClock(&clock);
    scene.PaintAll();
  }
  // What the timer repaints while only the line is dirty.
  void PaintLine() { g().PaintDirty({376, 5, 876, 31}); }
  IPanelControl* preset;
  Kest_ITextMSGControl* line;
};

TEST_F(MessageLineTest, AMessageHoldsFadesToHalfAndGoes) {
  struct Case {
    int fps;
    int paint;  // 1-based
    int alpha;  // -1: cleared
  };
  // e = (3.5 + 1 + 1) f; alpha = trunc(255 (n - e) / (3.5 f - e) + 0.5).
  const Case cases[] = {
      {30, 1, 255},  {30, 105, 255}, {30, 106, 251}, {30, 120, 191}, {30, 135, 128},
      {30, 136, -1}, {60, 210, 255}, {60, 211, 253}, {60, 270, 128}, {60, 271, -1},
      {20, 70, 255}, {20, 71, 249},  {20, 90, 128},  {20, 91, -1},
  };
  for (const Case& c : cases) {
    g().SetFrameRate(c.fps);
    registry.PostStatusText("Amount: 3.0 dB");
    for (int i = 1; i < c.paint; ++i) PaintLine();
    const bool shownBefore = !line->Text().empty();
    PaintLine();
    if (c.alpha < 0) {
      EXPECT_TRUE(shownBefore);
      EXPECT_TRUE(line->Text().empty()) << c.fps << " fps, paint " << c.paint;
    } else {
      EXPECT_EQ(line->Text(), "Amount: 3.0 dB") << c.fps << " fps, paint " << c.paint;
      EXPECT_EQ(line->ShownAlpha(), c.alpha) << c.fps << " fps, paint " << c.paint;
      EXPECT_EQ(line->FrameCounter(), c.paint);
    }
    registry.PostStatusText("");
    PaintLine();
  }
}

TEST_F(MessageLineTest, TheMessageCoversThePresetLineUntilItGoes) {
  const std::uint32_t presetColour = scene.Pixel(380, 8);
  ASSERT_EQ(presetColour, 0x282878u);
  ZeroObject knob(&registry);
  knob.PostStatusText("Margin Level: -0.50 dB");
  EXPECT_TRUE(line->NeedsRedraw());
  PaintLine();
  // The background hides the preset line and the text shows in the middle.
  EXPECT_EQ(scene.Pixel(380, 8), 0x060606u);
  int lit = 0;
  for (int x = 376; x < 876; ++x) lit += Luma(scene.Pixel(x, 18)) > 200;
  EXPECT_GT(lit, 20);
  // It stays dirty while shown: the timer keeps painting it.
  for (int i = 1; i < 135; ++i) {
    EXPECT_TRUE(line->NeedsRedraw()) << i;
    PaintLine();
  }
  // Halfway faded over the background at the last paint.
  const int halfway = lice::R(scene.Pixel(380, 8));
  EXPECT_GT(halfway, 6);
  EXPECT_LT(halfway, 40);
  PaintLine();
  EXPECT_TRUE(line->Text().empty());
  EXPECT_EQ(scene.Pixel(380, 8), presetColour);
  EXPECT_EQ(scene.Pixel(626, 18), presetColour);
  PaintLine();
  EXPECT_FALSE(line->NeedsRedraw());
}

TEST_F(MessageLineTest, ANewMessageStartsAgainAtFullStrength) {
  registry.PostStatusText("Amount: 3.0 dB");
  for (int i = 0; i < 125; ++i) PaintLine();
  ASSERT_LT(line->ShownAlpha(), 200);
  registry.PostStatusText("Amount: 3.1 dB");
  EXPECT_EQ(line->FrameCounter(), 0);
  PaintLine();
  EXPECT_EQ(line->Text(), "Amount: 3.1 dB");
  EXPECT_EQ(line->ShownAlpha(), 255);
  EXPECT_EQ(line->Line().TextStyle().colour.A, 255);
  // The same text again restarts the hold as well.
  for (int i = 0; i < 100; ++i) PaintLine();
  registry.PostStatusText("Amount: 3.1 dB");
  EXPECT_EQ(line->FrameCounter(), 0);
  for (int i = 0; i < 105; ++i) PaintLine();
  EXPECT_EQ(line->ShownAlpha(), 255);
}

TEST_F(MessageLineTest, EveryMessageLineReceivesEveryPostedText) {
  auto* second = new Kest_ITextMSGControl(&plug, scene.editor.canvas.get(), {10, 690, 300, 716}, Style26(),
                                          "", {0, 0, 0, 0}, &registry);
  g().AddControl(second);
  Kest_Switch2 poster(&plug, 0, 0, -1, nullptr, &registry);
  poster.PostStatusText("Bypass on");
  EXPECT_EQ(line->Text(), "Bypass on");
  EXPECT_EQ(second->Text(), "Bypass on");
  EXPECT_EQ(second->Line().FullText(), "Bypass on");
  // A line in another plug-in's registry hears nothing of it.
  ZeroRegistry elsewhere;
  Kest_ITextMSGControl foreign(&plug, scene.editor.canvas.get(), {0, 0, 10, 10}, Style26(), "", {},
                               &elsewhere);
  poster.PostStatusText("Bypass off");
  EXPECT_EQ(line->Text(), "Bypass off");
  EXPECT_TRUE(foreign.Text().empty());
  // A null text is ignored.
  registry.PostStatusText(nullptr);
  EXPECT_EQ(line->Text(), "Bypass off");
}

// --- pictures ---

struct ScaleCase {
  double scale;
  const char* suffix;
};
const ScaleCase kScales[] = {{1.0, "1.00"}, {1.25, "1.25"}};

// A small arrow picture for the show-all indicator.
struct Arrow {
  Arrow() : bitmap(9, 6) {
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 9; ++x) {
        const bool in = y < 5 && x >= y && x <= 8 - y;
        bitmap.SetPixel(x, y, in ? lice::Argb(255, 255, 130, 0) : 0u);
      }
    }
    strip = {&bitmap, 9, 6, 1, false};
  }
  LICE_MemBitmap bitmap;
  IBitmapStrip strip;
};

void CheckPicture(Scene& scene, const std::string& name) {
  const LICE_MemBitmap picture = OpaqueCopy(*scene.g().DrawBuffer());
  EXPECT_TRUE(MatchesReference(picture, name));
  // The comparison can fail: a block of the picture painted over is far off.
  LICE_MemBitmap spoiled = picture;
  const int w = picture.Width(), h = picture.Height();
  lice::FillRect(spoiled, {w / 8, h / 8, w * 7 / 8, h * 7 / 8}, 0xFFFF00FFu, 1.0f, lice::kCopy);
  if (!std::getenv("TESSARO_UPDATE_REFERENCES")) {
    EXPECT_FALSE(MatchesReference(spoiled, name));
  }
}

TEST(SwitchTextPictures, HoverSwitches) {
  for (const ScaleCase& s : kScales) {
    TestPlug plug;
    Scene scene(plug, 300, 80, s.scale);
    scene.g().AddBackgroundPanel({255, 6, 6, 6});
    auto* bypass = scene.Add(new Kest_Switch2(&plug, 8, 8, -1, scene.Strip(106, 2)));
    auto* lit = scene.Add(new Kest_Switch2(&plug, 8, 44, -1, scene.Strip(106, 2)));
    auto* view = scene.Add(new Kest_Switch2(&plug, 120, 8, -1, scene.Strip(107, 3)));
    auto* greyed = scene.Add(new Kest_Switch2(&plug, 120, 44, -1, scene.Strip(107, 3)));
    scene.ScaleBitmaps();
    lit->SetValue(1.0);
    lit->MouseOver(10, 50, {});
    view->SetValue(0.5);
    view->MouseOver(125, 10, {});
    greyed->SetGreyed(true);
    greyed->MouseOver(125, 50, {});
    (void)bypass;
    scene.PaintAll();
    CheckPicture(scene, std::string("switch2_") + s.suffix);
  }
}

TEST(SwitchTextPictures, ShowAllSwitchClosed) {
  for (const ScaleCase& s : kScales) {
    TestPlug plug;
    Arrow arrow;
    Scene scene(plug, 300, 80, s.scale);
    scene.g().AddBackgroundPanel({255, 6, 6, 6});
    scene.Add(new Kest_SwitchShowAll(&plug, 8, 8, -1, scene.Strip(109, 3)))->SetValue(0.5);
    auto* os = scene.Add(new Kest_SwitchShowAll(&plug, 8, 44, -1, scene.Strip(116, 5)));
    auto* hovered = scene.Add(new Kest_SwitchShowAll(&plug, 200, 8, -1, scene.Strip(117, 5), &arrow.strip));
    scene.Add(new Kest_SwitchShowAll(&plug, 200, 44, -1, scene.Strip(117, 5), &arrow.strip))->SetValue(0.25);
    scene.ScaleBitmaps();
    os->SetValue(0.75);
    hovered->SetValue(1.0);
    hovered->MouseOver(210, 10, {});
    scene.PaintAll();
    CheckPicture(scene, std::string("showall_closed_") + s.suffix);
  }
}

TEST(SwitchTextPictures, ShowAllSwitchOpen) {
  for (const ScaleCase& s : kScales) {
    TestPlug plug;
    Scene scene(plug, 300, 200, s.scale);
    scene.g().AddBackgroundPanel({255, 6, 6, 6});
    scene.Add(new IPanelControl(&plug, {0, 40, 300, 120}, {255, 25, 112, 179}));
    auto* sw = scene.Add(new Kest_SwitchShowAll(&plug, 60, 170, -1, scene.Strip(116, 5)));
    scene.ScaleBitmaps();
    sw->SetSelectable(4, false);
    sw->SetValue(0.25);
    const IRect closed = sw->Rect();
    sw->MouseDown(closed.L + 2, closed.T + 2, {});
    const int rowH = sw->Rect().H() / 5;
    sw->MouseOver(closed.L + 10, sw->Rect().T + rowH * 2 + rowH / 2, {});
    scene.PaintAll();
    CheckPicture(scene, std::string("showall_open_") + s.suffix);
  }
}

TEST(SwitchTextPictures, TextControls) {
  for (const ScaleCase& s : kScales) {
    TestPlug plug;
    ManualClock clock;
    ZeroRegistry registry;
    Scene scene(plug, 520, 150, s.scale);
    IGraphicsHeadless& g = scene.g();
    ycairo_canvas* canvas = scene.editor.canvas.get();
    g.AddBackgroundPanel({255, 6, 6, 6});
    ITextStyle left = Style26(), right = Style26();
    left.align = ITextStyle::kLeft;
    right.align = ITextStyle::kRight;
    ITextStyle dim("Ubuntu", 24, {255, 96, 100, 112});
    scene.Add(new Kest_ITextControl(&plug, canvas, {8, 4, 168, 30}, left, "CEILING"));
    scene.Add(new Kest_ITextControl(&plug, canvas, {176, 4, 336, 30}, Style26(), "TRANSIENT"));
    scene.Add(new Kest_ITextControl(&plug, canvas, {344, 4, 512, 30}, right, "CHARACTER"));
    scene.Add(new Kest_ITextControl(&plug, canvas, {8, 36, 168, 62}, dim, "dB Scale"))->SetGreyed(true);
    auto* scroll = scene.Add(new ITextScroll(&plug, canvas, {176, 36, 336, 62}, Style26(), ""));
    scroll->SetClock(&clock);
    scroll->SetScrollText("Tessaro v2.1.10 - stereo mastering limiter");
    // The preset line under the message lines.
    scene.Add(new IPanelControl(&plug, {8, 72, 512, 98}, {255, 35, 32, 32}));
    scene.Add(new IPanelControl(&plug, {8, 110, 512, 136}, {255, 35, 32, 32}));
    auto* held = scene.Add(
        new Kest_ITextMSGControl(&plug, canvas, {8, 72, 512, 98}, Style26(), "", {255, 6, 6, 6}, &registry));
    auto* fading = scene.Add(
        new Kest_ITextMSGControl(&plug, canvas, {8, 110, 512, 136}, Style26(), "", {255, 6, 6, 6}, nullptr));
    held->SetClock(&clock);
    fading->SetClock(&clock);
    registry.PostStatusText("Amount: 12.5 dB");
    fading->ReceiveStatusText("Limiter Type: Transparent");
    for (int i = 0; i < 125; ++i) fading->Paint(g);  // three quarters faded
    clock.Advance(1001);
    scene.PaintAll();
    clock.Advance(501);
    scene.PaintAll();
    ASSERT_EQ(scroll->Position(), 2);
    CheckPicture(scene, std::string("text_") + s.suffix);
  }
}

}  // namespace
}  // namespace tessaro::testing
