// Each meter control painted off-screen at the layout's sizes and colours,
// at editor scales 1 and 1.25, against stored reference pictures. Run with
// TESSARO_UPDATE_REFERENCES set to rewrite the references (and look at them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "editor/IControl.h"
#include "editor/IGraphicsHeadless.h"
#include "editor/LiceBitmap.h"
#include "editor/PngCodec.h"
#include "meters/ZeroObject.h"
#include "meters/controls/IMeter.h"
#include "meters/controls/ITextVU.h"
#include "meters/controls/vuLines.h"
#include "tests/common/PictureCompare.h"
#include "tests/editor/EditorFixture.h"

namespace tessaro::testing {
namespace {

// The meter column of the editor, (1140, 40) to (1280, 720), drawn at the origin.
constexpr int kLeft = 1140, kTop = 40, kWidth = 140, kHeight = 680;
constexpr IColour kRed{255, 193, 76, 71};
constexpr IColour kBlue{255, 25, 112, 179};
constexpr IColour kMarker{255, 210, 210, 210};

ITextStyle Style18() {
  ITextStyle s("Ubuntu", 18, {255, 210, 210, 210});
  s.entryBackground = {255, 127, 127, 127};
  s.quality = ITextStyle::kClearType;
  return s;
}

ITextStyle ReadoutStyle() {
  ITextStyle s = Style18();
  s.size = 15;
  s.entryBackground = {255, 35, 32, 32};
  return s;
}

// One scene: an editor the size of the meter column at the scale, the
// artwork's wells under the meters, and the controls a scene adds.
class Scene {
 public:
  explicit Scene(double scale)
      : scale_(scale),
        editor_(MakeHeadlessEditor(&plug_, static_cast<int>(kWidth * scale), static_cast<int>(kHeight * scale),
                                   30)) {
    IGraphics& g = *editor_.graphics;
    g.AddBackgroundPanel({255, 6, 6, 6});
    g.AddControl(new IPanelControl(&plug_, Scaled({1148, 54, 1200, 80}), {255, 35, 32, 32}));
    g.AddControl(new IPanelControl(&plug_, Scaled({1200, 54, 1278, 80}), {255, 35, 32, 32}));
    g.AddControl(new IPanelControl(&plug_, Scaled({1148, 80, 1200, 717}), {255, 4, 4, 5}));
    g.AddControl(new IPanelControl(&plug_, Scaled({1200, 80, 1278, 717}), {255, 4, 4, 5}));
  }

  // A rectangle of the 1280 x 720 layout in this scene's pixels.
  IRect Scaled(const IRect& r) const {
    const auto at = [this](int v, int origin) { return static_cast<int>((v - origin) * scale_); };
    return {at(r.L, kLeft), at(r.T, kTop), at(r.R, kLeft), at(r.B, kTop)};
  }
  // Adds a control built at its layout rectangle, rescaled as the resize
  // controller does it: the scale first, then the scaled rectangle.
  template <class Control>
  Control* Add(Control* c) {
    const IRect layout = c->Rect();
    c->SetScale(scale_);
    c->SetRect(Scaled(layout));
    editor_.graphics->AddControl(c);
    return c;
  }
  ycairo_canvas* Canvas() { return editor_.canvas.get(); }
  ZeroRegistry* Registry() { return &registry_; }
  IPlugBase* Plug() { return &plug_; }

  LICE_MemBitmap Paint() {
    IGraphics& g = *editor_.graphics;
    plug_.AttachEditor(&g);
    EXPECT_TRUE(g.PaintDirty({0, 0, g.Width(), g.Height()}));
    LICE_MemBitmap picture = OpaqueCopy(*g.DrawBuffer());
    plug_.AttachEditor(nullptr);
    return picture;
  }

 private:
  double scale_;
  TestPlug plug_;
  ZeroRegistry registry_;
  HeadlessEditor editor_;
};

void Meters(Scene& s) {
  const IColour view = AdjustColor(kRed, 100, 100, 50), out = AdjustColor(kBlue, 100, 90, 30);
  const double levels[4] = {0.25, 0.5, 0.5, 0.8};
  IMeter* m[4] = {
      s.Add(new IMeter(s.Plug(), s.Canvas(), {1149, 81, 1174, 716}, s.Registry(), view, true, 0.0, -24.0)),
      s.Add(new IMeter(s.Plug(), s.Canvas(), {1174, 81, 1199, 716}, s.Registry(), view, true, 0.0, -24.0)),
      s.Add(new IMeter(s.Plug(), s.Canvas(), {1201, 81, 1239, 716}, s.Registry(), out, false, 0.0, -24.0)),
      s.Add(new IMeter(s.Plug(), s.Canvas(), {1239, 81, 1277, 716}, s.Registry(), out, false, 0.0, -24.0)),
  };
  for (int i = 0; i < 4; ++i) m[i]->SetValueFromHost(levels[i]);
}

void Markers(Scene& s) {
  const double levels[4] = {0.1, 0.3, 0.5, 0.9};
  const bool reversed[4] = {true, true, false, false};
  const IRect rects[4] = {{1149, 81, 1174, 716}, {1174, 81, 1199, 716}, {1201, 81, 1239, 716}, {1239, 81, 1277, 716}};
  for (int i = 0; i < 4; ++i) {
    s.Add(new IMeterBar(s.Plug(), s.Canvas(), rects[i], s.Registry(), kMarker, reversed[i], 0.0, -24.0))
        ->SetValueFromHost(levels[i]);
  }
}

void Bands(Scene& s) {
  const IColour in = AdjustColor(kBlue, 80, 100, 25), out = AdjustColor(kBlue, 100, 60, 50);
  s.Add(new IMeterRange(s.Plug(), s.Canvas(), {1149, 81, 1174, 716}, s.Registry(), in, 6, 0.0, -24.0))
      ->SetRange(0.5, 0.2);
  s.Add(new IMeterRange(s.Plug(), s.Canvas(), {1174, 81, 1199, 716}, s.Registry(), in, 6, 0.0, -24.0))
      ->SetRange(0.7, 0.3);
  s.Add(new IMeterRange(s.Plug(), s.Canvas(), {1201, 81, 1239, 716}, s.Registry(), out, 10, 0.0, -24.0))
      ->SetRange(0.9, 0.4);
  s.Add(new IMeterRange(s.Plug(), s.Canvas(), {1239, 81, 1277, 716}, s.Registry(), out, 10, 0.0, -24.0))
      ->SetRange(0.6, 0.1);
}

// The scales lie over the meters in the layout; their black ticks cut the bars.
void Scales(Scene& s) {
  Meters(s);
  for (const IRect& r : {IRect{1149, 81, 1199, 716}, IRect{1201, 81, 1277, 716}}) {
    s.Add(new vuLines_cairo(s.Plug(), s.Canvas(), r, s.Registry(), {255, 0, 0, 0}, Style18(), kFineTicks.data(),
                            static_cast<int>(kFineTicks.size()), 0.0, -24.0))
        ->SetTickLengthFraction(0.4);
  }
}

void Readouts(Scene& s) {
  const struct {
    IRect rect;
    bool signedOn, reduction;
    double level;
  } readouts[] = {
      {{1201, 55, 1239, 79}, true, false, 0.9},   // -0.92
      {{1239, 55, 1277, 79}, true, false, 1.0},   // 0.00 in red
      {{1149, 55, 1174, 79}, false, true, 0.75},  // 12
      {{1174, 55, 1199, 79}, false, true, 0.5},   // 6.0
  };
  for (const auto& r : readouts) {
    ITextVU* t = s.Add(new ITextVU(s.Plug(), s.Canvas(), r.rect, s.Registry(), ReadoutStyle(), 10.0, 30, r.signedOn));
    t->SetReductionMode(r.reduction);
    t->SetIntegerMode(r.reduction);
    t->SetValueFromHost(r.level);
  }
}

struct SnapshotCase {
  const char* name;
  std::function<void(Scene&)> build;
  double scale;
  IRect changed;  // a region the scene draws into, in layout pixels
};

class MeterSnapshot : public ::testing::TestWithParam<SnapshotCase> {};

LICE_MemBitmap Crop(const LICE_IBitmap& b, const IRect& r) {
  LICE_MemBitmap out(r.W(), r.H());
  lice::Blit(out, b, 0, 0, r.L, r.T, r.W(), r.H(), 1.0f, lice::kCopy);
  return out;
}

TEST_P(MeterSnapshot, MatchesItsReference) {
  const SnapshotCase& c = GetParam();
  const std::string file = std::string(TESSARO_SOURCE_DIR) + "/tests/metercontrols/reference/" + c.name + "-" +
                           (c.scale == 1.0 ? "100" : "125") + ".png";
  Scene scene(c.scale);
  c.build(scene);
  const LICE_MemBitmap picture = scene.Paint();
  ASSERT_EQ(picture.Width(), static_cast<int>(kWidth * c.scale));

  // The scene drew something where it should, over the plain wells.
  Scene empty(c.scale);
  const LICE_MemBitmap wells = empty.Paint();
  const IRect r = scene.Scaled(c.changed);
  int differing = 0;
  for (int y = r.T; y < r.B; ++y) {
    for (int x = r.L; x < r.R; ++x) differing += picture.Pixel(x, y) != wells.Pixel(x, y);
  }
  EXPECT_GT(differing, 100) << c.name;

  if (std::getenv("TESSARO_UPDATE_REFERENCES")) {
    ASSERT_TRUE(WritePngFile(picture, file, true));
    GTEST_SKIP() << "wrote " << file;
  }
  auto reference = ReadPngFile(file);
  ASSERT_NE(reference, nullptr) << file;
  const PictureDifference d = ComparePictures(picture, *reference);
  EXPECT_LT(d.mean, 1.0) << file;
  EXPECT_LT(d.badShare, 0.005) << file;
  // The comparison can fail: where the controls draw, the same scene without
  // them is rejected by the same limits.
  const PictureDifference bare = ComparePictures(Crop(wells, r), Crop(*reference, r));
  EXPECT_FALSE(bare.mean < 1.0 && bare.badShare < 0.005) << file;
}

const SnapshotCase kCases[] = {
    {"meter", Meters, 1.0, {1149, 81, 1277, 716}},
    {"meter", Meters, 1.25, {1149, 81, 1277, 716}},
    {"meterbar", Markers, 1.0, {1149, 81, 1277, 716}},
    {"meterbar", Markers, 1.25, {1149, 81, 1277, 716}},
    {"meterrange", Bands, 1.0, {1149, 81, 1277, 716}},
    {"meterrange", Bands, 1.25, {1149, 81, 1277, 716}},
    {"vulines", Scales, 1.0, {1149, 81, 1277, 716}},
    {"vulines", Scales, 1.25, {1149, 81, 1277, 716}},
    {"textvu", Readouts, 1.0, {1150, 60, 1276, 75}},
    {"textvu", Readouts, 1.25, {1150, 60, 1276, 75}},
};

INSTANTIATE_TEST_SUITE_P(AtTwoScales, MeterSnapshot, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SnapshotCase>& info) {
                           return std::string(info.param.name) + (info.param.scale == 1.0 ? "_100" : "_125");
                         });

}  // namespace
}  // namespace tessaro::testing
