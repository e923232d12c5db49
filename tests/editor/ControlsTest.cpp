// The standard controls: switch cycling, strip frames, knob gestures, the
// value prompt and greyed-out drawing.
#include <gtest/gtest.h>

#include <cmath>

#include "EditorFixture.h"
#include "editor/EditorPreview.h"
#include "editor/LiceBitmap.h"

namespace tessaro::testing {
namespace {

// A strip whose frame k is filled with grey level 10 * k, so a blit shows
// which frame was chosen.
struct GreyStrip {
  GreyStrip(int w, int frameH, int frames, bool horizontal = false)
      : bitmap(horizontal ? w * frames : w, horizontal ? frameH : frameH * frames) {
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        const int k = 1 + (horizontal ? x / w : y / frameH);
        bitmap.SetPixel(x, y, lice::Argb(255, 10 * k, 10 * k, 10 * k));
      }
    }
    strip = {&bitmap, bitmap.Width(), bitmap.Height(), frames, horizontal};
  }
  LICE_MemBitmap bitmap;
  IBitmapStrip strip;
};

TEST_F(EditorTest, SwitchesCycleThroughTheirFramesAndWrap) {
  struct Case {
    int frames;
    std::vector<double> values;
  };
  const Case cases[] = {
      {3, {0.5, 1.0, 0.0, 0.5}},
      {1, {1.0, 0.0, 1.0}},
      {2, {1.0, 0.0}},
      {5, {0.25, 0.5, 0.75, 1.0, 0.0}},
  };
  for (const Case& c : cases) {
    GreyStrip grey(4, 4, c.frames);
    auto* sw = new ISwitchControl(&plug, 0, 0, -1, &grey.strip);
    graphics.AddControl(sw);
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      sw->MouseDown(1, 1, left);
      EXPECT_NEAR(sw->Value(), c.values[i], 1e-12) << c.frames << " frames, press " << i + 1;
    }
    sw->SetStrip(nullptr);
  }
}

TEST_F(EditorTest, ADoubleClickOnASwitchIsAnotherPress) {
  GreyStrip grey(4, 4, 3);
  auto* sw = new ISwitchControl(&plug, 0, 0, kMode, &grey.strip);
  graphics.AddControl(sw);
  sw->DoubleClick(1, 1, left);
  EXPECT_DOUBLE_EQ(sw->Value(), 0.5);
  EXPECT_DOUBLE_EQ(plug.GetParam(kMode)->Value(), 1.0);
}

TEST_F(EditorTest, AContactReturnsToZeroOnRelease) {
  GreyStrip grey(4, 4, 2);
  auto* contact = new IContactControl(&plug, 0, 0, kFlag, &grey.strip);
  graphics.AddControl(contact);
  contact->MouseDown(1, 1, left);
  EXPECT_DOUBLE_EQ(plug.GetParam(kFlag)->Value(), 1.0);
  contact->MouseUp(1, 1, left);
  EXPECT_DOUBLE_EQ(contact->Value(), 0.0);
  EXPECT_DOUBLE_EQ(plug.GetParam(kFlag)->Value(), 0.0);
}

TEST_F(EditorTest, BitmapControlsShowTheFrameOfTheirValue) {
  GreyStrip grey(3, 2, 10);
  auto* bitmap = new IBitmapControl(&plug, 5, 7, -1, &grey.strip);
  graphics.AddControl(bitmap);
  EXPECT_EQ(bitmap->Rect(), (IRect{5, 7, 8, 9}));
  graphics.CreateDrawBuffer();
  struct Case {
    double value;
    int frame;
  };
  for (const Case c :
       {Case{0.0, 1}, Case{1.0, 10}, Case{0.5, 6}, Case{0.04, 1}, Case{0.06, 2}, Case{7.0, 10}}) {
    bitmap->SetValue(c.value);
    EXPECT_EQ(bitmap->Frame(), c.frame) << c.value;
    graphics.PaintDirty({0, 0, 400, 300});
    EXPECT_EQ(lice::R(graphics.DrawBuffer()->Pixel(6, 8)), 10 * c.frame) << c.value;
  }
}

TEST_F(EditorTest, HorizontalStripsSliceAlongTheirWidth) {
  GreyStrip grey(6, 3, 4, true);
  auto* bitmap = new IBitmapControl(&plug, 0, 0, -1, &grey.strip);
  graphics.AddControl(bitmap);
  EXPECT_EQ(bitmap->Rect(), (IRect{0, 0, 6, 3}));
  graphics.CreateDrawBuffer();
  bitmap->SetValue(1.0);
  graphics.PaintDirty({0, 0, 400, 300});
  EXPECT_EQ(lice::R(graphics.DrawBuffer()->Pixel(0, 0)), 40);
  EXPECT_EQ(lice::R(graphics.DrawBuffer()->Pixel(5, 2)), 40);
}

TEST_F(EditorTest, FrameOffsetsRoundToTheNearestRow) {
  // 10 rows in 3 frames: frame 2 starts at trunc(10 / 3 + 0.5) = 3, frame 3 at trunc(20 / 3 + 0.5) = 7.
  LICE_MemBitmap rows(1, 10);
  for (int y = 0; y < 10; ++y) rows.SetPixel(0, y, lice::Argb(255, y, 0, 0));
  IBitmapStrip strip{&rows, 1, 10, 3, false};
  graphics.CreateDrawBuffer();
  graphics.AddControl(new ProbeControl(&plug, {0, 0, 400, 300}, "clip", &log));
  graphics.PaintDirty({0, 0, 400, 300});  // leaves the clip at the whole editor
  graphics.BlitBitmapFrame(&strip, {0, 0, 1, 1}, 2);
  graphics.BlitBitmapFrame(&strip, {1, 0, 2, 1}, 3);
  graphics.BlitBitmapFrame(&strip, {2, 0, 3, 1}, 1);
  EXPECT_EQ(lice::R(graphics.DrawBuffer()->Pixel(0, 0)), 3);
  EXPECT_EQ(lice::R(graphics.DrawBuffer()->Pixel(1, 0)), 7);
  EXPECT_EQ(lice::R(graphics.DrawBuffer()->Pixel(2, 0)), 0);
}

TEST_F(EditorTest, KnobDragsScaleWithTheTargetHeightAndGearing) {
  auto* knob = new IKnobStripControl(&plug, {0, 0, 100, 100}, kLevel, nullptr);
  graphics.AddControl(knob);
  plug.GetParam(kLevel)->Set(5.0);
  knob->MouseDown(50, 50, left);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.5);
  knob->MouseDrag(50, 40, 0, -10, left);
  EXPECT_NEAR(knob->Value(), 0.525, 1e-12);
  IMouseState shift = left;
  shift.shift = true;
  knob->MouseDrag(50, 30, 0, -10, shift);
  EXPECT_NEAR(knob->Value(), 0.5275, 1e-12);
  knob->MouseDrag(50, 50, 0, 20, left);
  EXPECT_NEAR(knob->Value(), 0.4775, 1e-12);
  EXPECT_NEAR(plug.GetParam(kLevel)->Value(), 4.775, 1e-9);
}

TEST_F(EditorTest, HorizontalKnobsFollowTheWidth) {
  struct HorizontalKnob : IKnobControl {
    HorizontalKnob(IPlugBase* plug) : IKnobControl(plug, {0, 0, 200, 20}, kLevel, kHorizontal, 2.0) {}
    void Paint(IGraphics&) override {}
  } horizontal(&plug);
  horizontal.MouseDown(0, 0, left);
  horizontal.MouseDrag(40, 0, 40, 0, left);  // 40 / 200 / 2
  EXPECT_NEAR(horizontal.Value(), 0.2 + 0.1, 1e-12);
}

TEST_F(EditorTest, KnobClampsHoldAgainstDragging) {
  auto* knob = new IKnobStripControl(&plug, {0, 0, 100, 100}, kLevel, nullptr);
  graphics.AddControl(knob);
  graphics.SetParamControlRange(kLevel, 2.0, 10.0);
  plug.GetParam(kLevel)->Set(3.0);
  knob->MouseDown(0, 0, left);
  knob->MouseDrag(0, 90, 0, 90, left);  // down by far more than the range
  EXPECT_DOUBLE_EQ(knob->Value(), 0.2);
  EXPECT_DOUBLE_EQ(plug.GetParam(kLevel)->Value(), 2.0);
}

TEST_F(EditorTest, KnobWheelAndDoubleClick) {
  auto* knob = new IKnobStripControl(&plug, {0, 0, 100, 100}, kLevel, nullptr);
  graphics.AddControl(knob);
  plug.GetParam(kLevel)->Set(5.0);
  knob->Wheel(0, 0, {}, 3);
  EXPECT_NEAR(knob->Value(), 0.53, 1e-12);
  IMouseState control;
  control.control = true;
  knob->Wheel(0, 0, control, -2);  // from the parameter's 5.3
  EXPECT_NEAR(knob->Value(), 0.528, 1e-12);
  knob->DoubleClick(0, 0, left);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.2);  // the default 2 of 0..10
  EXPECT_DOUBLE_EQ(knob->DefaultValue(), 0.2);
}

TEST_F(EditorTest, TheFirstHostValueIsTheDefaultADoubleClickReturnsTo) {
  ProbeControl* p = AddProbe({0, 0, 10, 10}, "p", kLevel);
  p->SetValueFromHost(0.3);
  p->SetValueFromHost(0.7);
  EXPECT_DOUBLE_EQ(p->Value(), 0.7);
  EXPECT_TRUE(plug.pushes.empty());  // host values are never pushed back
  p->IControl::DoubleClick(0, 0, left);
  EXPECT_DOUBLE_EQ(p->Value(), 0.3);
  ASSERT_EQ(plug.pushes.size(), 1u);
  EXPECT_DOUBLE_EQ(plug.pushes[0].value, 0.3);
}

TEST_F(EditorTest, TheValuePromptNeedsItsFlagAndCentresA40By16Field) {
  ProbeControl* p = AddProbe({10, 20, 31, 41}, "p", kLevel);
  IMouseState right;
  right.right = true;
  p->IControl::MouseDown(15, 25, right);
  EXPECT_TRUE(graphics.entries.empty());
  p->DisablePrompt(false);
  p->IControl::MouseDown(15, 25, right);
  ASSERT_EQ(graphics.entries.size(), 1u);
  // cx = trunc(20.5) = 20, cy = trunc(30.5) = 30
  EXPECT_EQ(graphics.entries[0].rect, (IRect{0, 22, 40, 38}));
  EXPECT_EQ(graphics.entries[0].text, "2.0");
  EXPECT_TRUE(p->RedrawRequested());
  p->IControl::MouseDown(15, 25, left);  // only the right button asks
  EXPECT_EQ(graphics.entries.size(), 1u);
}

TEST_F(EditorTest, APopUpSwitchAsksWithTheParameterMenu) {
  GreyStrip grey(4, 4, 3);
  auto* sw = new ISwitchPopUpControl(&plug, 10, 10, kMode, &grey.strip);
  graphics.AddControl(sw);
  graphics.answer = 1;
  sw->MouseDown(11, 11, left);
  ASSERT_EQ(graphics.menus.size(), 1u);
  EXPECT_EQ(graphics.menus[0], sw->Rect());  // with display texts: the control's own rectangle
  EXPECT_DOUBLE_EQ(plug.GetParam(kMode)->Value(), 1.0);
}

TEST_F(EditorTest, GreyedOutControlsDrawAtAQuarterWeight) {
  auto* panel = new IPanelControl(&plug, {0, 0, 10, 10}, {255, 200, 200, 200});
  graphics.AddControl(panel);
  panel->SetGreyed(true);
  EXPECT_FLOAT_EQ(panel->Blend().weight, 0.25f);
  graphics.CreateDrawBuffer();  // all black
  graphics.PaintDirty({0, 0, 400, 300});
  // 200 * 0.25 = 50 over black
  EXPECT_NEAR(lice::R(graphics.DrawBuffer()->Pixel(5, 5)), 50, 1);
  panel->SetGreyed(false);
  EXPECT_FLOAT_EQ(panel->Blend().weight, 1.0f);
}

TEST_F(EditorTest, AnInvisibleSwitchTogglesAndLetsDragsFallThrough) {
  AddProbe({0, 0, 100, 100}, "beneath");
  auto* area = new IInvisibleSwitchControl(&plug, {0, 0, 100, 100}, kFlag);
  graphics.AddControl(area);
  graphics.DispatchMouseDown(10, 10, left);
  EXPECT_DOUBLE_EQ(area->Value(), 1.0);
  graphics.DispatchMouseDrag(12, 10, left);  // the first drag only makes it transparent
  graphics.DispatchMouseDrag(14, 10, left);
  EXPECT_TRUE(area->IsPassThrough());
  EXPECT_EQ(log, std::vector<std::string>{"beneath drag 14,10 d2,0"});
  graphics.DispatchMouseUp(14, 10, left);
  EXPECT_FALSE(area->IsPassThrough());
}

TEST_F(EditorTest, AnOverlayIsHitOnlyInItsOffAreaWhileOff) {
  GreyStrip grey(50, 50, 2);
  auto* overlay = new IBitmapOverlayControl(&plug, 100, 100, -1, &grey.strip, {0, 0, 20, 20});
  graphics.AddControl(overlay);
  graphics.CreateDrawBuffer();
  graphics.PaintDirty({0, 0, 400, 300});
  EXPECT_EQ(overlay->TargetRect(), (IRect{0, 0, 20, 20}));
  EXPECT_EQ(graphics.DrawBuffer()->Pixel(120, 120), 0u);  // nothing drawn while off
  overlay->SetValue(1.0);
  graphics.PaintDirty({0, 0, 400, 300});
  EXPECT_EQ(overlay->TargetRect(), overlay->Rect());
  EXPECT_EQ(lice::R(graphics.DrawBuffer()->Pixel(120, 120)), 20);
  overlay->SetScale(1.5);
  EXPECT_EQ(overlay->OffTarget(), (IRect{0, 0, 30, 30}));
}

TEST_F(EditorTest, TextControlsRepaintOnlyForNewText) {
  ITextStyle style("Ubuntu", 12, {255, 255, 255, 255});
  auto* text = new ITextControl(&plug, {0, 0, 100, 20}, style, "Tessaro");
  graphics.AddControl(text);
  text->MarkClean();
  text->SetText("Tessaro");
  EXPECT_FALSE(text->NeedsRedraw());
  text->SetText("Limiter");
  EXPECT_TRUE(text->NeedsRedraw());
  text->SetScale(1.5);
  EXPECT_EQ(text->TextStyle().size, 18);
}

}  // namespace
}  // namespace tessaro::testing
