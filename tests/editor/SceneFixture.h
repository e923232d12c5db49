// What the switch and text tests share: a clock the test moves by hand, an
// editor that draws (draw buffer, cairo surface, embedded font) at a chosen
// scale, and picture comparison against stored references.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "EditorFixture.h"
#include "editor/Kest_TextControls.h"
#include "editor/PngCodec.h"
#include "tests/common/PictureCompare.h"

namespace tessaro::testing {

class ManualClock : public ITickClock {
 public:
  std::uint32_t NowMs() const override { return now; }
  void Advance(std::uint32_t ms) { now += ms; }
  std::uint32_t now = 1000;
};

// A headless editor of the design size times the scale, ready to paint.
struct Scene {
  Scene(TestPlug& plug, int width, int height, double scale = 1.0) : scale(scale) {
    editor = MakeHeadlessEditor(&plug, Scaled(width), Scaled(height), 30);
    g().SetDrawScale(scale);
    g().CreateDrawBuffer();
    editor.canvas->CreateSurface(g());
  }
  IGraphicsHeadless& g() { return *editor.graphics; }
  int Scaled(int v) const { return static_cast<int>(std::trunc(v * scale)); }
  IRect Scaled(const IRect& r) const { return {Scaled(r.L), Scaled(r.T), Scaled(r.R), Scaled(r.B)}; }
  // Places a control as the resize controller does: the rectangles scaled
  // from the design ones, the control told the factor.
  template <typename C>
  C* Add(C* control) {
    g().AddControl(control);
    if (scale != 1.0) {
      const IRect r = Scaled(control->Rect());
      control->SetScale(scale);
      control->SetRect(r);
      control->SetTargetRect(r);
    }
    return control;
  }
  IBitmapStrip* Strip(int id, int frames) { return g().LoadBitmap(id, "strip.png", frames); }
  // Call once the controls are placed: they take their design sizes from the
  // strips, which only then are resampled to the scale.
  void ScaleBitmaps() {
    if (scale != 1.0) g().RebuildScaledBitmaps(scale);
  }
  void PaintAll() { g().PaintDirty({0, 0, g().Width(), g().Height()}); }
  std::uint32_t Pixel(int x, int y) { return g().DrawBuffer()->Pixel(x, y) & 0xFFFFFFu; }

  double scale;
  HeadlessEditor editor;
};

inline std::string ReferencePath(const std::string& name) {
  return std::string(TESSARO_SOURCE_DIR) + "/tests/editor/reference/" + name + ".png";
}

// Writes the reference under TESSARO_UPDATE_REFERENCES, otherwise compares
// against it; true when the test should go on to its own checks.
inline ::testing::AssertionResult MatchesReference(const LICE_IBitmap& picture, const std::string& name) {
  const std::string path = ReferencePath(name);
  if (std::getenv("TESSARO_UPDATE_REFERENCES")) {
    if (!WritePngFile(picture, path, true)) return ::testing::AssertionFailure() << "cannot write " << path;
    return ::testing::AssertionSuccess() << "wrote " << path;
  }
  auto reference = ReadPngFile(path);
  if (!reference) return ::testing::AssertionFailure() << "no reference " << path;
  const PictureDifference d = ComparePictures(picture, *reference);
  if (d.mean < 1.5 && d.badShare < 0.01) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << name << ": mean difference " << d.mean << ", share off " << d.badShare;
}

}  // namespace tessaro::testing
