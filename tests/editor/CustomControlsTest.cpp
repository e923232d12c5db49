// The knob with value text, the XY pad, the drop-down selector and the
// bitmap-less fader: their gestures, memories and mappings, and their
// pictures at two editor scales against stored references.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "CustomControlsFixture.h"
#include "editor/IXYPad.h"
#include "editor/Kest_Fader_NOBitmap.h"
#include "editor/Kest_IKnobControlText.h"
#include "editor/Kest_PopupMenu.h"
#include "editor/PngCodec.h"
#include "tests/common/PictureCompare.h"

namespace tessaro::testing {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ITextStyle KnobStyle() {
  ITextStyle style("Ubuntu", 21, {255, 210, 210, 210});
  style.entryBackground = {255, 127, 127, 127};
  return style;
}

ITextStyle FaderLabelStyle() {
  ITextStyle style("Ubuntu", 18, {255, 210, 210, 210});
  style.entryBackground = {255, 35, 32, 32};
  return style;
}

// --- knob ---

class KnobTest : public CustomControlsTest {
 protected:
  Kest_IKnobControlText* AddKnob(int param, const IRect& r, int strip, int frames = 72) {
    auto* knob = Add(new Kest_IKnobControlText(
        &plug, &canvas, r, param,
        graphics.LoadBitmap(strip, strip == 113 ? "knobbig.png" : "knobsmall.png", frames), KnobStyle()));
    knob->SetUndoRecorder(&undo);
    return knob;
  }
  // The Margin Level knob with its second range.
  Kest_IKnobControlText* MarginKnob() {
    auto* knob = AddKnob(kMargin, {100, 40, 172, 112}, 114);
    knob->AddValuePoint({-1.0, -10.0, 0.0, 0.75, 0.1, "dB", "Post Production"});
    return knob;
  }
  IMouseState With(bool shift, bool control, bool alt) { return {true, false, shift, control, alt}; }
};

TEST_F(KnobTest, DragGearingFollowsTheModifiers) {
  struct Case {
    bool shift, alt;
    double change;
  };
  // Up by 10 pixels on a 100-pixel knob; Alt wins over Shift.
  for (const Case c : {Case{false, false, 0.025}, Case{false, true, 0.0025}, Case{true, false, 0.00025},
                       Case{true, true, 0.0025}}) {
    auto* knob = AddKnob(kAmount, {10, 10, 110, 110}, 113);
    knob->SetValue(0.5);
    knob->MouseDrag(50, 40, 0, -10, With(c.shift, false, c.alt));
    EXPECT_NEAR(knob->Value() - 0.5, c.change, 1e-12) << c.shift << c.alt;
    EXPECT_DOUBLE_EQ(knob->LastValue(), knob->Value());
    ASSERT_FALSE(plug.pushes.empty());
    EXPECT_EQ(plug.pushes.back().index, kAmount);
    EXPECT_DOUBLE_EQ(plug.pushes.back().value, knob->Value());
  }
}

TEST_F(KnobTest, FramesFollowTheValueAndBadValuesShowTheFirst) {
  auto* knob = AddKnob(kAmount, {10, 10, 110, 110}, 113);
  IBitmapStrip strip128 = *graphics.LoadBitmap(113, "knobbig.png", 72);
  strip128.frames = 128;
  auto* knob128 =
      Add(new Kest_IKnobControlText(&plug, &canvas, {10, 10, 110, 110}, kAmount, &strip128, KnobStyle()));
  struct Case {
    Kest_IKnobControlText* control;
    double value;
    int frame;
  };
  for (const Case c : {Case{knob128, 0.5, 65}, Case{knob, 0.0, 1}, Case{knob, 1.0, 72}, Case{knob, 0.5, 37},
                       Case{knob, kNaN, 1}, Case{knob, -kInf, 1}, Case{knob, 7.0, 72}}) {
    c.control->SetValue(c.value);
    EXPECT_EQ(c.control->Frame(), c.frame) << c.value;
  }
}

TEST_F(KnobTest, HoverDrawsTheSameFrameBrighter) {
  auto* knob = AddKnob(kAmount, {10, 10, 110, 110}, 113);
  knob->SetTextPlacement(Kest_IKnobControlText::kNoText);
  Attach();
  ASSERT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  long idle = 0;
  for (int y = 10; y < 110; ++y)
    for (int x = 10; x < 110; ++x) idle += lice::G(graphics.DrawBuffer()->Pixel(x, y));
  knob->MouseOver(50, 50, none);
  EXPECT_EQ(knob->GetState(), Kest_IKnobControlText::kHovered);
  ASSERT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  long hovered = 0;
  for (int y = 10; y < 110; ++y)
    for (int x = 10; x < 110; ++x) hovered += lice::G(graphics.DrawBuffer()->Pixel(x, y));
  EXPECT_GT(hovered, idle + 100 * 100 * 5);
  knob->MouseLeave();
  EXPECT_EQ(knob->GetState(), Kest_IKnobControlText::kIdle);
}

TEST_F(KnobTest, WheelStepsOutsideTheTextOnly) {
  auto* knob = AddKnob(kAmount, {10, 10, 110, 110}, 113);
  struct Case {
    IMouseState mouse;
    int steps;
    double change;
  };
  for (const Case c : {Case{none, 2, 0.04}, Case{{false, false, false, false, true}, -1, -0.006},
                       Case{{false, false, true, false, false}, 3, 0.0015}}) {
    knob->SetValue(0.5);
    knob->Wheel(50, 50, c.mouse, c.steps);
    EXPECT_NEAR(knob->Value() - 0.5, c.change, 1e-12);
  }
  knob->SetValue(0.5);
  const IRect& text = knob->TextBox();
  knob->Wheel((text.L + text.R) / 2, (text.T + text.B) / 2, none, 5);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.5);
}

TEST_F(KnobTest, TextBoxPlacementsAroundThePicture) {
  auto* knob = AddKnob(kMargin, {1036, 228, 1108, 300}, 114);
  struct Case {
    int placement;
    IRect box;
    int align;
  };
  // Style size 21 and an 8-pixel margin at scale 1.
  for (const Case c :
       {Case{0, {1028, 300, 1116, 322}, ycairo_text::kCentre},
        Case{3, {1036, 252, 1108, 275}, ycairo_text::kCentre},
        Case{4, {1028, 205, 1116, 228}, ycairo_text::kCentre},
        Case{5, {1110, 251, 1182, 276}, ycairo_text::kLeft}, Case{6, {}, ycairo_text::kCentre}}) {
    knob->SetTextPlacement(c.placement);
    EXPECT_EQ(knob->TextBox(), c.box) << c.placement;
    EXPECT_EQ(knob->TextAlignment(), c.align) << c.placement;
    EXPECT_EQ(knob->TargetRect(), knob->PictureRect().Union(c.box)) << c.placement;
    // The text is painted, and so erased, with the knob.
    if (!c.box.Empty()) {
      EXPECT_TRUE(c.box.Within(knob->Rect())) << c.placement;
    }
  }
  EXPECT_EQ(knob->PictureRect(), (IRect{1036, 228, 1108, 300}));
}

TEST_F(KnobTest, ValuePointsReRangeAndLock) {
  auto* knob = MarginKnob();
  Attach();
  EXPECT_TRUE(knob->HasValuePoints());
  EXPECT_EQ(knob->UnitText(), " dB");
  knob->SelectValuePoint(1, -6.0, true);
  IParameter& p = *plug.GetParam(kMargin);
  EXPECT_DOUBLE_EQ(p.Min(), -10.0);
  EXPECT_DOUBLE_EQ(p.Max(), 0.0);
  EXPECT_DOUBLE_EQ(p.Value(), -6.0);
  EXPECT_DOUBLE_EQ(p.Default(), -1.0);
  EXPECT_FALSE(p.Locked());
  EXPECT_DOUBLE_EQ(knob->Value(), p.Normalised());
  EXPECT_DOUBLE_EQ(knob->PointValue(), p.NormalisedFor(-1.0));
  EXPECT_DOUBLE_EQ(knob->AlternateValue(), knob->PointValue());
  EXPECT_EQ(knob->ValuePoints().SelectedPoint(), 1);
  // An index past the list changes nothing.
  knob->SelectValuePoint(7, -3.0, true);
  EXPECT_DOUBLE_EQ(p.Value(), -6.0);

  // A point without room locks the parameter; the knob then ignores drags and the wheel.
  knob->AddValuePoint({-2.0, -2.0, -2.0, 1.0, 0.1, "", "Fixed"});
  knob->SelectValuePoint(2, 0.0, false);
  EXPECT_TRUE(p.Locked());
  EXPECT_DOUBLE_EQ(knob->Value(), 0.5);
  EXPECT_EQ(knob->UnitText(), "");
  plug.pushes.clear();
  knob->MouseDrag(130, 60, 0, -30, left);
  knob->Wheel(130, 60, none, 3);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.5);
  EXPECT_TRUE(plug.pushes.empty());
  knob->SelectValuePoint(0, -1.0, true);
  EXPECT_FALSE(p.Locked());
  EXPECT_DOUBLE_EQ(p.Max(), 0.0);
  EXPECT_DOUBLE_EQ(p.Min(), -1.5);

  EXPECT_TRUE(knob->SelectValuePointAt(-5.0));
  EXPECT_EQ(knob->ValuePoints().SelectedPoint(), 1);
  EXPECT_FALSE(knob->SelectValuePointAt(3.0));
}

TEST_F(KnobTest, ALockedKnobShowsThePadlockInsteadOfThePicture) {
  auto* knob = MarginKnob();
  knob->SetTextPlacement(Kest_IKnobControlText::kNoText);
  Attach();
  ASSERT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  const LICE_MemBitmap before = *graphics.DrawBuffer();
  knob->AddValuePoint({-2.0, -2.0, -2.0, 1.0, 0.1, "", "Fixed"});
  knob->SelectValuePoint(2, 0.0, false);
  knob->MarkDirty(false);
  ASSERT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  int changed = 0, grey = 0;
  for (int y = 40; y < 112; ++y) {
    for (int x = 100; x < 172; ++x) {
      const std::uint32_t px = graphics.DrawBuffer()->Pixel(x, y);
      changed += (px & 0xFFFFFFu) != (before.Pixel(x, y) & 0xFFFFFFu);
      grey += std::abs(lice::R(px) - 51) <= 3 && std::abs(lice::G(px) - 51) <= 3;
    }
  }
  EXPECT_GT(changed, 1000);
  EXPECT_GT(grey, 50);  // the padlock's grey outline
}

TEST_F(KnobTest, MenuListsThePointsAndLoadsOne) {
  auto* knob = MarginKnob();
  Attach();
  graphics.answer = Kest_IKnobControlText::kMenuFirstPoint + 1;
  knob->MouseDown(120, 60, right);
  ASSERT_EQ(graphics.menus.size(), 1u);
  EXPECT_EQ(graphics.menus[0], (IRect{120, 60, 130, 70}));
  ASSERT_EQ(graphics.menuLabels.size(), 7u);
  EXPECT_EQ(graphics.menuLabels[0], "Switch A/B Point");
  EXPECT_EQ(graphics.menuLabels[3], "Lock");
  EXPECT_EQ(graphics.menuLabels[6], "Post Production");
  EXPECT_TRUE(graphics.menuChecked[5]);  // the first range is selected
  EXPECT_FALSE(graphics.menuChecked[6]);
  EXPECT_EQ(knob->ValuePoints().SelectedPoint(), 1);
  EXPECT_DOUBLE_EQ(plug.GetParam(kMargin)->Min(), -10.0);
  ASSERT_EQ(listener.texts.size(), 2u);
  EXPECT_EQ(listener.texts[0], "");
  EXPECT_EQ(listener.texts[1], "Post Production Loaded");
  ASSERT_FALSE(plug.pushes.empty());
  EXPECT_DOUBLE_EQ(plug.pushes.back().value, knob->Value());

  // Control with Shift opens the menu too; no choice acts on nothing but still pushes.
  graphics.answer = -1;
  plug.pushes.clear();
  knob->MouseDown(120, 60, {true, false, true, true, false});
  EXPECT_EQ(graphics.menus.size(), 2u);
  EXPECT_EQ(listener.texts.size(), 2u);
  EXPECT_EQ(plug.pushes.size(), 1u);
  // A knob with one range shows no point items.
  auto* amount = AddKnob(kAmount, {200, 40, 300, 140}, 113);
  amount->MouseDown(210, 50, right);
  EXPECT_EQ(graphics.menuLabels.size(), 4u);
}

TEST_F(KnobTest, ABSwitchSequenceReturnsToTheValueBeforeTheFirstSwitch) {
  auto* knob = AddKnob(kAmount, {10, 10, 110, 110}, 113);
  Attach();
  knob->MouseDrag(50, 50, 0, -40, left);  // 0 -> 0.1
  const double a = knob->Value();
  graphics.answer = Kest_IKnobControlText::kMenuSetAB;
  knob->MouseDown(50, 50, right);
  EXPECT_EQ(listener.texts.back(), "Set New A/B Point");
  EXPECT_DOUBLE_EQ(knob->PointValue(), a);
  knob->MouseDrag(50, 50, 0, -80, left);  // -> 0.3
  const double b = knob->Value();
  ASSERT_GT(b - a, 0.1);
  graphics.answer = Kest_IKnobControlText::kMenuSwitchAB;
  knob->MouseDown(50, 50, right);
  EXPECT_DOUBLE_EQ(knob->Value(), a);
  knob->MouseDown(50, 50, right);
  EXPECT_DOUBLE_EQ(knob->Value(), b);
  // Control with the left button switches too, and the double-click outside the text.
  knob->MouseDown(50, 50, {true, false, false, true, false});
  EXPECT_DOUBLE_EQ(knob->Value(), a);
  const int records = undo.records;
  knob->DoubleClick(50, 50, left);
  EXPECT_DOUBLE_EQ(knob->Value(), b);
  EXPECT_EQ(undo.records, records + 1);
  EXPECT_DOUBLE_EQ(plug.pushes.back().value, b);
}

TEST_F(KnobTest, ResetAndLockFromTheMenu) {
  auto* knob = MarginKnob();
  Attach();
  knob->MouseDrag(130, 60, 0, -30, left);
  graphics.answer = Kest_IKnobControlText::kMenuReset;
  knob->MouseDown(130, 60, right);
  const double def = plug.GetParam(kMargin)->NormalisedFor(-0.5);
  EXPECT_DOUBLE_EQ(knob->Value(), def);
  EXPECT_DOUBLE_EQ(knob->PointValue(), def);
  EXPECT_DOUBLE_EQ(knob->AlternateValue(), def);
  EXPECT_EQ(listener.texts.back(), "Reset to Default A/B Point");
  EXPECT_NEAR(plug.GetParam(kMargin)->Value(), -0.5, 1e-9);

  graphics.answer = Kest_IKnobControlText::kMenuLock;
  knob->MouseDown(130, 60, right);
  EXPECT_TRUE(knob->IsLocked());
  knob->MouseDrag(130, 60, 0, -30, left);
  EXPECT_DOUBLE_EQ(knob->Value(), def);
  knob->MouseDown(130, 60, right);
  EXPECT_TRUE(graphics.menuChecked[3]);
  EXPECT_FALSE(knob->IsLocked());
}

TEST_F(KnobTest, TypedValuesAreCheckedBeforeTheyApply) {
  auto* knob = MarginKnob();
  Attach();
  const IRect box = knob->TextBox();
  knob->MouseDown(box.L + 10, box.T + 2, left);
  ASSERT_EQ(graphics.entries.size(), 1u);
  EXPECT_EQ(graphics.entries[0].rect, (IRect{box.L - 8, box.T - 2, box.R + 8, box.B + 2}));
  EXPECT_EQ(graphics.entries[0].text, "-0.50");
  EXPECT_EQ(knob->GetState(), Kest_IKnobControlText::kEntryOpen);
  EXPECT_EQ(undo.records, 1);

  knob->TextEntryResult("-0,75 dB");
  EXPECT_NEAR(plug.GetParam(kMargin)->Value(), -0.75, 1e-9);
  EXPECT_EQ(knob->GetState(), Kest_IKnobControlText::kIdle);
  struct Case {
    const char* text;
    const char* messageStart;
  };
  for (const Case c : {Case{"abc", "Not a value"}, Case{"", "Not a value"}, Case{"nan", "Not a value"},
                       Case{"inf", "Not a value"}, Case{"-0.5x", "Not a value"}, Case{"-7", "Out of range"},
                       Case{"1e3", "Out of range"}}) {
    plug.pushes.clear();
    knob->TextEntryResult(c.text);
    EXPECT_NEAR(plug.GetParam(kMargin)->Value(), -0.75, 1e-9) << c.text;
    EXPECT_TRUE(plug.pushes.empty()) << c.text;
    ASSERT_FALSE(listener.texts.empty());
    EXPECT_EQ(listener.texts.back().rfind(c.messageStart, 0), 0u) << listener.texts.back();
  }
  EXPECT_NE(listener.texts.back().find("-1.50 to 0.00 dB"), std::string::npos) << listener.texts.back();
  // Both ends, as shown, are accepted.
  knob->TextEntryResult("-1.50");
  EXPECT_NEAR(plug.GetParam(kMargin)->Value(), -1.5, 1e-9);
  // The double-click on the text opens the entry as well.
  knob->DoubleClick(box.L + 10, box.T + 2, left);
  EXPECT_EQ(graphics.entries.size(), 2u);
}

TEST_F(KnobTest, HostValuesThatAreNotNumbersAreIgnored) {
  auto* knob = AddKnob(kAmount, {10, 10, 110, 110}, 113);
  Attach();
  knob->SetValueFromHost(0.25);
  knob->SetValueFromHost(kNaN);
  knob->SetValueFromHost(kInf);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.25);
  knob->SetValue(kNaN);
  EXPECT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  knob->MouseDrag(50, 50, 0, -10, left);
  EXPECT_TRUE(std::isfinite(knob->Value()));
}

TEST_F(KnobTest, ASelectionMadeOnTheModelReachesTheKnob) {
  // The plug-in keeps the model and selects ranges on it when it loads a state.
  KnobRanges model(kMargin, *plug.GetParam(kMargin));
  model.AddValuePoint({-1.0, -10.0, 0.0, 0.75, 0.1, "dBTP", "Post Production"});
  auto* knob =
      Add(new Kest_IKnobControlText(&plug, &canvas, {100, 40, 172, 112}, kMargin,
                                    graphics.LoadBitmap(114, "knobsmall.png", 72), KnobStyle(), &model));
  Attach();
  EXPECT_EQ(&knob->ValuePoints(), &model);
  ASSERT_TRUE(model.SelectValuePoint(*plug.GetParam(kMargin), 1, -4.0, true));
  EXPECT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  EXPECT_EQ(knob->UnitText(), " dBTP");
  EXPECT_DOUBLE_EQ(knob->Value(), plug.GetParam(kMargin)->Normalised());
  EXPECT_EQ(knob->ShownText(), "-4.0 dBTP");
  // And the knob's own selection is the model's.
  knob->SelectValuePoint(0, -1.0, true);
  EXPECT_EQ(model.SelectedPoint(), 0);
}

TEST_F(KnobTest, CustomTextAndHiddenUnit) {
  auto* knob = MarginKnob();
  Attach();
  EXPECT_EQ(knob->ShownText(), "-0.50 dB");
  knob->SetHideUnit(true);
  EXPECT_EQ(knob->ShownText(), "-0.50");
  knob->SetCustomText("Margin");
  EXPECT_EQ(knob->ShownText(), "Margin");
  knob->SetCustomText(nullptr);
  EXPECT_EQ(knob->ShownText(), "-0.50");
}

// --- XY pad ---

class XYPadTest : public CustomControlsTest {
 protected:
  IXYPad_cairo* AddPad() {
    ITextStyle style("Ubuntu", 24, {255, 210, 210, 210});
    auto* pad = Add(new IXYPad_cairo(&plug, &canvas, {14, 24, 128, 138}, style, kCharX, kCharY));
    pad->SetRadii(10, 8);
    pad->SetUndoRecorder(&undo);
    return pad;
  }
};

TEST_F(XYPadTest, PointsMapOntoTheInnerArea) {
  auto* pad = AddPad();
  EXPECT_EQ(pad->InnerRect(), (IRect{18, 28, 124, 134}));
  struct Case {
    int x, y;
    double h, v;
    int quadrant;
  };
  for (const Case c : {Case{18, 28, 0.0, 0.0, 2}, Case{124, 134, 1.0, 1.0, 4}, Case{71, 81, 0.5, 0.5, 1},
                       Case{124, 28, 1.0, 0.0, 1}, Case{18, 134, 0.0, 1.0, 3}, Case{0, 200, 0.0, 1.0, 3},
                       Case{300, -5, 1.0, 0.0, 1}, Case{40, 120, 22.0 / 106, 92.0 / 106, 3}}) {
    plug.pushes.clear();
    pad->MouseDown(c.x, c.y, left);
    EXPECT_DOUBLE_EQ(pad->Horizontal(), c.h) << c.x << "," << c.y;
    EXPECT_DOUBLE_EQ(pad->Vertical(), c.v) << c.x << "," << c.y;
    EXPECT_EQ(pad->Quadrant(), c.quadrant) << c.x << "," << c.y;
    ASSERT_EQ(plug.pushes.size(), 2u);
    EXPECT_EQ(plug.pushes[0].index, kCharX);
    EXPECT_DOUBLE_EQ(plug.pushes[0].value, c.h);
    EXPECT_EQ(plug.pushes[1].index, kCharY);
    EXPECT_DOUBLE_EQ(plug.pushes[1].value, c.v);
  }
}

TEST_F(XYPadTest, FineAdjustDoubleClickAndDelegate) {
  auto* pad = AddPad();
  std::vector<std::string> log;
  auto* trail = new ProbeControl(&plug, {18, 28, 124, 134}, "trail", &log);
  graphics.AddControl(trail);
  pad->SetRightButtonDelegate(trail);
  pad->MouseDown(71, 81, left);
  const double h = pad->Horizontal(), v = pad->Vertical();
  pad->MouseDrag(91, 61, 20, -20, right);
  EXPECT_NEAR(pad->DotX(), 71 + 2.0, 1e-9);
  EXPECT_NEAR(pad->DotY(), 81 - 2.0, 1e-9);
  EXPECT_NEAR(pad->Horizontal() - h, 2.0 / 106, 1e-12);
  EXPECT_NEAR(pad->Vertical() - v, -2.0 / 106, 1e-12);
  EXPECT_EQ(pad->GetState(), IXYPad::kDragging);
  pad->MouseUp(91, 61, left);
  EXPECT_EQ(pad->GetState(), IXYPad::kIdle);
  EXPECT_EQ(undo.records, 1);

  pad->DoubleClick(20, 30, left);
  EXPECT_DOUBLE_EQ(plug.GetParam(kCharX)->Value(), 0.5);
  EXPECT_DOUBLE_EQ(plug.GetParam(kCharY)->Value(), 0.5);
  EXPECT_EQ(pad->GetState(), IXYPad::kIdle);

  pad->MouseDown(30, 40, right);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "trail down 30,40");
  EXPECT_DOUBLE_EQ(pad->Horizontal(), 0.5);
}

TEST_F(XYPadTest, PressesBeginNoHostGesture) {
  AddPad();
  graphics.DispatchMouseDown(40, 50, left);
  graphics.DispatchMouseDrag(60, 70, left);
  graphics.DispatchMouseUp(60, 70, left);
  EXPECT_TRUE(plug.edits.empty());
  EXPECT_EQ(plug.pushes.size(), 4u);
  EXPECT_EQ(undo.records, 1);  // the pad's own step
}

TEST_F(XYPadTest, ValueTextTruncatesAndFollowsTheQuadrant) {
  auto* pad = AddPad();
  pad->SetAuxValueFromHost(IXYPad::kHorizontal, 0.5051);
  pad->SetAuxValueFromHost(IXYPad::kVertical, 0.2549);
  EXPECT_EQ(pad->ValueText(), "50, 25");
  EXPECT_EQ(pad->Quadrant(), 1);
  const double t = 24 * 0.6;
  const IRectD box = pad->ValueTextBox();
  EXPECT_DOUBLE_EQ(box.R, pad->DotX());
  EXPECT_DOUBLE_EQ(box.L, pad->DotX() - 4 * t);
  EXPECT_DOUBLE_EQ(box.T, pad->DotY());
  pad->SetAuxValueFromHost(IXYPad::kHorizontal, kNaN);
  EXPECT_EQ(pad->ValueText(), "50, 25");
}

TEST_F(XYPadTest, ScaleResizesInsetRadiiAndText) {
  auto* pad = AddPad();
  pad->SetScale(1.25);
  EXPECT_EQ(pad->Inset(), 5);
  EXPECT_EQ(pad->DotRadius(), 10);
  EXPECT_EQ(pad->MarkerRadius(), 12);
  EXPECT_EQ(pad->TextStyle().size, 30);
  pad->SetRect({17, 30, 160, 172});
  EXPECT_EQ(pad->InnerRect(), (IRect{22, 35, 155, 167}));
}

// --- drop-down selector ---

class PopupTest : public CustomControlsTest {
 protected:
  Kest_PopupMenu* AddPopup(int items) {
    ITextStyle style("Ubuntu", 20, {255, 255, 130, 0});
    auto* popup =
        Add(new Kest_PopupMenu(&plug, &canvas, {10, 200, 156, 233}, style, {255, 35, 32, 32}, kType));
    for (int i = 0; i < items; ++i) popup->AddItem(("Type " + std::to_string(i)).c_str());
    return popup;
  }
};

TEST_F(PopupTest, SelectItemSetsValueParameterAndText) {
  auto* popup = AddPopup(5);
  struct Case {
    int index, selected;
    double value;
  };
  for (const Case c :
       {Case{3, 3, 0.75}, Case{0, 0, 0.0}, Case{4, 4, 1.0}, Case{-2, 0, 0.0}, Case{9, 4, 1.0}}) {
    plug.pushes.clear();
    popup->SelectItem(c.index);
    EXPECT_EQ(popup->Selected(), c.selected);
    EXPECT_DOUBLE_EQ(popup->Value(), c.value);
    EXPECT_DOUBLE_EQ(plug.GetParam(kType)->Value(), c.selected);
    EXPECT_EQ(popup->SelectedText(), "Type " + std::to_string(c.selected));
    ASSERT_EQ(plug.pushes.size(), 1u);
    EXPECT_DOUBLE_EQ(plug.pushes[0].value, c.value);
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ((popup->Menu().items[static_cast<std::size_t>(i)].flags & IMenuItem::kChecked) != 0,
                i == c.selected);
  }
}

TEST_F(PopupTest, AOneItemListSelectsValueZero) {
  auto* popup = AddPopup(1);
  popup->SelectItem(0);
  EXPECT_DOUBLE_EQ(popup->Value(), 0.0);
  auto* empty = AddPopup(0);
  empty->SelectItem(2);
  EXPECT_EQ(empty->Selected(), 0);
}

TEST_F(PopupTest, PressOpensTheListBelowAndTakesTheChoice) {
  auto* popup = AddPopup(5);
  Attach();
  popup->SelectItem(1);
  graphics.answer = 2;
  plug.pushes.clear();
  popup->MouseDown(20, 210, left);
  ASSERT_EQ(graphics.menus.size(), 1u);
  EXPECT_EQ(graphics.menus[0], popup->Rect());
  EXPECT_TRUE(graphics.menuChecked[1]);
  EXPECT_EQ(popup->Selected(), 2);
  EXPECT_DOUBLE_EQ(plug.GetParam(kType)->Value(), 2.0);
  ASSERT_EQ(plug.pushes.size(), 1u);
  EXPECT_DOUBLE_EQ(plug.pushes[0].value, 0.5);
  graphics.answer = -1;
  popup->MouseDown(20, 210, left);
  EXPECT_EQ(popup->Selected(), 2);
  EXPECT_EQ(plug.pushes.size(), 2u);
}

TEST_F(PopupTest, AnUnsetSelectorPaintsWithoutTouchingTheParameter) {
  auto* popup = AddPopup(5);
  plug.GetParam(kType)->Set(3.0);
  EXPECT_LT(popup->Value(), 0.0);
  popup->SetHoverOutline(true, {255, 191, 104, 0});
  popup->MouseOver(20, 210, none);
  EXPECT_TRUE(popup->OutlineShown());
  plug.AttachEditor(nullptr);
  graphics.PrepareDraw();
  graphics.BindDrawing();
  EXPECT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  EXPECT_TRUE(plug.pushes.empty());
  EXPECT_DOUBLE_EQ(plug.GetParam(kType)->Value(), 3.0);
  EXPECT_EQ(graphics.DrawBuffer()->Pixel(10, 200) & 0xFFFFFFu, 0xBF6800u);
  popup->MouseLeave();
  EXPECT_FALSE(popup->OutlineShown());
  // Automation moves the shown item.
  popup->SetValueFromHost(0.25);
  popup->SetValueFromHost(0.5);
  EXPECT_EQ(popup->SelectedText(), "Type 2");
}

// --- fader ---

class FaderTest : public CustomControlsTest {
 protected:
  Kest_Fader_NOBitmap* AddFader(int orientation) {
    const bool vertical = orientation == Kest_Fader_NOBitmap::kVertical;
    auto* fader = Add(
        new Kest_Fader_NOBitmap(&plug, &canvas, vertical ? IRect{6, 20, 28, 220} : IRect{40, 250, 340, 272},
                                vertical ? kDbScale : kHistory, {200, 20, 20, 20}, {255, 191, 104, 0},
                                {255, 191, 104, 0}, {255, 255, 130, 0}, orientation));
    fader->SetLabel(vertical ? 12 : 3, FaderLabelStyle());
    fader->SetUndoRecorder(&undo);
    return fader;
  }
};

TEST_F(FaderTest, PressesBesideAnInactiveThumbStepTowardsThem) {
  auto* vertical = AddFader(Kest_Fader_NOBitmap::kVertical);
  auto* horizontal = AddFader(Kest_Fader_NOBitmap::kHorizontal);
  struct Case {
    Kest_Fader_NOBitmap* fader;
    int x, y;
    double change;
  };
  // Thumbs at value 0.5: vertical 114..126, horizontal 184..196.
  for (const Case c :
       {Case{vertical, 17, 60, 0.1}, Case{vertical, 17, 200, -0.1}, Case{vertical, 17, 112, 0.0},
        Case{horizontal, 300, 260, 0.1}, Case{horizontal, 60, 260, -0.1}}) {
    c.fader->SetValue(0.5);
    c.fader->MouseLeave();
    c.fader->MouseDown(c.x, c.y, left);
    EXPECT_NEAR(c.fader->Value() - 0.5, c.change, 1e-12) << c.x << "," << c.y;
    EXPECT_FALSE(c.fader->IsActive());
  }
  const IRectD t = vertical->ThumbRect();
  EXPECT_DOUBLE_EQ(t.B - t.T, 12.0);
  EXPECT_DOUBLE_EQ(t.L, 6.0);
  EXPECT_DOUBLE_EQ(t.R, 28.0);
}

TEST_F(FaderTest, APressOnTheThumbOrWhileActiveFollowsThePointer) {
  auto* fader = AddFader(Kest_Fader_NOBitmap::kVertical);
  fader->SetValue(0.5);
  fader->MouseDown(17, 120, left);
  EXPECT_TRUE(fader->IsActive());
  EXPECT_NEAR(fader->Value(), (120.0 - 219) / (21 - 219.0), 1e-12);
  fader->MouseDrag(17, 40, 0, -80, left);
  EXPECT_NEAR(fader->Value(), (40.0 - 219) / (21 - 219.0), 1e-12);
  fader->MouseDrag(17, 400, 0, 360, left);
  EXPECT_DOUBLE_EQ(fader->Value(), 0.0);
  EXPECT_DOUBLE_EQ(plug.pushes.back().value, 0.0);
  fader->MouseUp(17, 400, left);
  EXPECT_FALSE(fader->IsActive());
}

TEST_F(FaderTest, ModifiersMoveRelativelyAndTheRightButtonResets) {
  auto* fader = AddFader(Kest_Fader_NOBitmap::kHorizontal);
  struct Case {
    IMouseState mouse;
    double change;
  };
  for (const Case c : {Case{{true, false, true, false, false}, 30.0 / 300 / 50},
                       Case{{true, false, false, false, true}, 30.0 / 300 / 5}}) {
    fader->SetValue(0.5);
    fader->MouseDrag(10, 260, 30, 0, c.mouse);
    EXPECT_NEAR(fader->Value() - 0.5, c.change, 1e-12);
    EXPECT_TRUE(fader->IsActive());
  }
  fader->MouseDown(100, 260, right);
  EXPECT_DOUBLE_EQ(fader->Value(), plug.GetParam(kHistory)->NormalisedFor(30.0));
  EXPECT_DOUBLE_EQ(plug.pushes.back().value, fader->Value());
  fader->SetValue(0.5);
  fader->Wheel(100, 260, none, 2);
  EXPECT_NEAR(fader->Value(), 0.52, 1e-12);
  fader->Wheel(100, 260, {false, false, true, false, false}, -3);
  EXPECT_NEAR(fader->Value(), 0.517, 1e-12);
}

TEST_F(FaderTest, DoubleClickOnTheThumbAsksForAValue) {
  auto* fader = AddFader(Kest_Fader_NOBitmap::kHorizontal);
  Attach();
  fader->SetValue(0.5);
  fader->DoubleClick(100, 260, left);  // beside the thumb
  EXPECT_TRUE(graphics.entries.empty());
  EXPECT_EQ(undo.records, 0);
  fader->DoubleClick(196 + 2, 260, left);
  ASSERT_EQ(graphics.entries.size(), 1u);
  EXPECT_EQ(graphics.entries[0].rect, (IRect{184 - 14, 248, 196 + 14, 274}));
  EXPECT_EQ(undo.records, 1);
  fader->TextEntryResult("45");
  EXPECT_DOUBLE_EQ(plug.GetParam(kHistory)->Value(), 45.0);
  fader->TextEntryResult("500");
  EXPECT_DOUBLE_EQ(plug.GetParam(kHistory)->Value(), 45.0);
  EXPECT_EQ(listener.texts.back().rfind("Out of range", 0), 0u);
}

TEST_F(FaderTest, TheLabelAreaIsPaintedWithTheFader) {
  auto* horizontal = AddFader(Kest_Fader_NOBitmap::kHorizontal);
  auto* vertical = AddFader(Kest_Fader_NOBitmap::kVertical);
  Attach();
  horizontal->MouseOver(190, 260, none);
  vertical->MouseOver(17, 120, none);
  ASSERT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  for (auto* fader : {horizontal, vertical}) {
    const IRectD box = fader->LabelBox();
    ASSERT_FALSE(box.Empty());
    const IRect r = fader->Rect();
    EXPECT_TRUE(box.L >= r.L && box.R <= r.R && box.T >= r.T && box.B <= r.B);
    EXPECT_EQ(
        graphics.DrawBuffer()->Pixel(static_cast<int>(box.L) + 1, static_cast<int>(box.T) + 1) & 0xFFFFFFu,
        0x232020u);
  }
  // Above the horizontal thumb, right of the vertical one.
  const int grow = static_cast<int>(18 / 5.0 + 2.5);
  EXPECT_DOUBLE_EQ(horizontal->LabelBox().B - grow, horizontal->ThumbRect().T - 2);
  EXPECT_DOUBLE_EQ(horizontal->LabelBox().T + grow, horizontal->ThumbRect().T - 18 - 2);
  EXPECT_DOUBLE_EQ(vertical->LabelBox().L + grow, vertical->ThumbRect().R + 4);
  const IRectD vt = vertical->ThumbRect();
  EXPECT_DOUBLE_EQ(vertical->LabelBox().T + grow, (vt.T + vt.B) / 2 - 9);
  horizontal->MouseLeave();
  EXPECT_TRUE(horizontal->LabelBox().Empty());
}

// --- pictures ---

const std::string kReferenceDir = std::string(TESSARO_SOURCE_DIR) + "/tests/editor/reference/";

struct PictureCase {
  const char* name;
  double scale;
};

class ControlPicture : public ::testing::TestWithParam<PictureCase> {};

IRect Scaled(const IRect& r, double s) {
  return {static_cast<int>(r.L * s), static_cast<int>(r.T * s), static_cast<int>(r.R * s + 0.9999999),
          static_cast<int>(r.B * s + 0.9999999)};
}

// Paints one control kind at a scale: laid out at design size, then scaled as
// the resize controller does (scale on the core and the control, the
// rectangle multiplied, the strips resampled).
LICE_MemBitmap PaintControl(const std::string& kind, double s) {
  ControlsPlug plug;
  plug.GetParam(kMargin)->Set(-0.75);
  plug.GetParam(kHistory)->Set(45.0);
  plug.GetParam(kDbScale)->Set(-30.0);
  plug.GetParam(kCharX)->Set(0.7);
  plug.GetParam(kCharY)->Set(0.3);
  plug.GetParam(kType)->Set(2.0);
  const int w = static_cast<int>(200 * s), h = static_cast<int>(160 * s);
  HeadlessEditor editor = MakeHeadlessEditor(&plug, w, h, 30);
  IGraphics& g = *editor.graphics;
  g.SetDrawScale(s);
  g.AddBackgroundPanel({255, 6, 6, 6});
  IControl* control = nullptr;
  IRect design;
  if (kind == "knob") {
    design = {64, 30, 136, 102};
    auto* knob = new Kest_IKnobControlText(&plug, editor.canvas.get(), design, kMargin,
                                           g.LoadBitmap(114, "knobsmall.png", 72), KnobStyle());
    knob->SetTextPlacement(Kest_IKnobControlText::kTextBelow);
    control = knob;
  } else if (kind == "knob_locked") {
    design = {64, 30, 136, 102};
    auto* knob = new Kest_IKnobControlText(&plug, editor.canvas.get(), design, kMargin,
                                           g.LoadBitmap(114, "knobsmall.png", 72), KnobStyle());
    knob->AddValuePoint({-2.0, -2.0, -2.0, 1.0, 0.1, "", "Fixed"});
    knob->SelectValuePoint(1, 0.0, false);
    control = knob;
  } else if (kind == "xypad") {
    design = {43, 23, 157, 137};
    ITextStyle style("Ubuntu", 24, {255, 210, 210, 210});
    auto* pad = new IXYPad_cairo(&plug, editor.canvas.get(), design, style, kCharX, kCharY);
    pad->SetColours({127, 255, 130, 0}, {255, 255, 130, 0}, {255, 255, 255, 255}, {255, 255, 255, 255});
    pad->SetRadii(10, 8);
    control = pad;
  } else if (kind == "popup") {
    design = {27, 63, 173, 96};
    ITextStyle style("Ubuntu", 20, {255, 255, 130, 0});
    auto* popup = new Kest_PopupMenu(&plug, editor.canvas.get(), design, style, {255, 35, 32, 32}, kType);
    for (const char* name : {"Transparent", "Punchy", "Loud", "Aggressive", "Safe"}) popup->AddItem(name);
    popup->SetHoverOutline(true, {255, 191, 104, 0});
    control = popup;
  } else if (kind == "fader_h") {
    design = {10, 110, 190, 132};
    auto* fader = new Kest_Fader_NOBitmap(&plug, editor.canvas.get(), design, kHistory, {200, 20, 20, 20},
                                          {255, 191, 104, 0}, {255, 191, 104, 0}, {255, 255, 130, 0},
                                          Kest_Fader_NOBitmap::kHorizontal);
    fader->SetLabel(3, FaderLabelStyle());
    control = fader;
  } else {
    design = {20, 10, 42, 150};
    auto* fader = new Kest_Fader_NOBitmap(&plug, editor.canvas.get(), design, kDbScale, {200, 20, 20, 20},
                                          {255, 191, 104, 0}, {255, 191, 104, 0}, {255, 255, 130, 0},
                                          Kest_Fader_NOBitmap::kVertical);
    fader->SetLabel(12, FaderLabelStyle());
    control = fader;
  }
  g.AddControl(control);
  if (s != 1.0) {
    g.RebuildScaledBitmaps(s);
    control->SetScale(s);
    control->SetRect(Scaled(design, s));
  }
  plug.AttachEditor(&g);
  if (kind != "knob_locked") control->MouseOver(control->Rect().L + 2, control->Rect().T + 2, {});
  if (kind == "popup") static_cast<Kest_PopupMenu*>(control)->SelectItem(2);
  g.PaintDirty({0, 0, w, h});
  // Knobs settle their value text on the second pass.
  g.PaintDirty({0, 0, w, h});
  LICE_MemBitmap out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.SetPixel(x, y, g.DrawBuffer()->Pixel(x, y) | 0xFF000000u);
  plug.AttachEditor(nullptr);
  return out;
}

TEST_P(ControlPicture, MatchesItsReference) {
  const PictureCase c = GetParam();
  const std::string file =
      kReferenceDir + c.name + "_" + std::to_string(static_cast<int>(std::lround(c.scale * 100))) + ".png";
  const LICE_MemBitmap picture = PaintControl(c.name, c.scale);
  if (std::getenv("TESSARO_UPDATE_REFERENCES")) {
    ASSERT_TRUE(WritePngFile(picture, file, true));
    GTEST_SKIP() << "wrote " << file;
  }
  auto reference = ReadPngFile(file);
  ASSERT_NE(reference, nullptr) << file;
  const PictureDifference d = ComparePictures(picture, *reference);
  EXPECT_LT(d.mean, 1.5) << file;
  EXPECT_LT(d.badShare, 0.01) << file;
  // The comparison must be able to fail: a control painted over is far off.
  LICE_MemBitmap spoiled = picture;
  lice::FillRect(spoiled, {0, 0, picture.Width() / 2, picture.Height()}, 0xFFFFFFFFu, 1.0f, lice::kCopy);
  EXPECT_GT(ComparePictures(spoiled, *reference).badShare, 0.01) << file;
}

INSTANTIATE_TEST_SUITE_P(Scales, ControlPicture,
                         ::testing::Values(PictureCase{"knob", 1.0}, PictureCase{"knob", 1.25},
                                           PictureCase{"knob_locked", 1.0}, PictureCase{"knob_locked", 1.25},
                                           PictureCase{"xypad", 1.0}, PictureCase{"xypad", 1.25},
                                           PictureCase{"popup", 1.0}, PictureCase{"popup", 1.25},
                                           PictureCase{"fader_h", 1.0}, PictureCase{"fader_h", 1.25},
                                           PictureCase{"fader_v", 1.0}, PictureCase{"fader_v", 1.25}),
                         [](const ::testing::TestParamInfo<PictureCase>& info) {
                           return std::string(info.param.name) + "_" +
                                  std::to_string(static_cast<int>(std::lround(info.param.scale * 100)));
                         });

}  // namespace
}  // namespace tessaro::testing
