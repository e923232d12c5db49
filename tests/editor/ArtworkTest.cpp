// Our pictures as the editor loads them: every listed resource with its
// size, frame count and distinct frames, and the font.
#include <gtest/gtest.h>

#include "EditorFixture.h"
#include "editor/Resources.h"

namespace tessaro::testing {
namespace {

struct PictureCase {
  int id;
  const char* name;
  int w, h, frames;
};

const PictureCase kPictures[] = {
    {101, "resources/img/about.png", 600, 400, 1},
    {102, "resources/img/autogain_button.png", 142, 52, 2},
    {103, "resources/img/kestbackground.png", 1280, 720, 1},
    {104, "resources/img/but_AB.png", 70, 52, 2},
    {105, "resources/img/but_ABCopy.png", 70, 52, 2},
    {106, "resources/img/bypass_button.png", 102, 52, 2},
    {107, "resources/img/inmeter_button.png", 112, 78, 3},
    {108, "resources/img/learn_button.png", 100, 52, 2},
    {109, "resources/img/margin_button.png", 58, 78, 3},
    {110, "resources/img/ISP_button.png", 54, 52, 2},
    {112, "resources/img/LED_Level_indicator.png", 28, 2016, 72},
    {113, "resources/img/knobbig.png", 100, 7200, 72},
    {114, "resources/img/knobsmall.png", 72, 5184, 72},
    {115, "resources/img/orate_button.png", 54, 104, 4},
    {116, "resources/img/oversample_button.png", 162, 130, 5},
    {117, "resources/img/vutype_button.png", 66, 130, 5},
    {118, "resources/img/undo.png", 32, 64, 2},
    {119, "resources/img/redo.png", 32, 64, 2},
    {120, "resources/img/FFT_button.png", 54, 52, 2},
    {121, "resources/img/inwave_button.png", 46, 52, 2},
    {122, "resources/img/outwave_button.png", 60, 52, 2},
    {123, "resources/img/ISP_indicator.png", 28, 2016, 72},
    {125, "resources/img/oversample_buttonOFF.png", 162, 130, 5},
};

// Sum of absolute channel differences between frames a and b (0-based).
long FrameDifference(const LICE_MemBitmap& b, int frameH, int fa, int fb) {
  long d = 0;
  for (int y = 0; y < frameH; ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      const std::uint32_t p = b.Pixel(x, fa * frameH + y), q = b.Pixel(x, fb * frameH + y);
      d += std::abs(lice::R(p) - lice::R(q)) + std::abs(lice::G(p) - lice::G(q)) +
           std::abs(lice::B(p) - lice::B(q));
    }
  }
  return d;
}

TEST_F(EditorTest, EveryPictureHasItsSizeAndDistinctFrames) {
  for (const PictureCase& c : kPictures) {
    IBitmapStrip* strip = graphics.LoadBitmap(c.id, c.name, c.frames);
    ASSERT_NE(strip, nullptr) << c.name;
    EXPECT_EQ(strip->W, c.w) << c.name;
    EXPECT_EQ(strip->H, c.h) << c.name;
    const int frameH = strip->FrameHeight();
    EXPECT_EQ(frameH * c.frames, c.h) << c.name;
    for (int k = 1; k < c.frames; ++k) {
      EXPECT_GT(FrameDifference(*strip->bitmap, frameH, k - 1, k), 0)
          << c.name << " frames " << k << ", " << k + 1;
    }
  }
}

TEST_F(EditorTest, KnobsTurnThroughTheirSweepAndLedsBrighten) {
  // The pointer tip of a 72-frame knob moves from lower left (frame 1)
  // through the top (frame 36/37) to lower right (frame 72): the brightest
  // pixel of the pointer row bands says where it is.
  IBitmapStrip* knob = graphics.LoadBitmap(113, "resources/img/knobbig.png", 72);
  ASSERT_NE(knob, nullptr);
  const auto brightestX = [&](int frame, int y0, int y1) {
    int best = -1, bestX = -1;
    for (int y = y0; y < y1; ++y) {
      for (int x = 0; x < 100; ++x) {
        const std::uint32_t p = knob->bitmap->Pixel(x, frame * 100 + y);
        const int v = lice::R(p) + lice::G(p) + lice::B(p);
        if (v > best) {
          best = v;
          bestX = x;
        }
      }
    }
    return bestX;
  };
  EXPECT_LT(brightestX(0, 55, 75), 50);
  EXPECT_GT(brightestX(71, 55, 75), 50);
  IBitmapStrip* led = graphics.LoadBitmap(112, "resources/img/LED_Level_indicator.png", 72);
  ASSERT_NE(led, nullptr);
  const auto centre = [&](int frame) {
    const std::uint32_t p = led->bitmap->Pixel(14, frame * 28 + 14);
    return lice::R(p) + lice::G(p) + lice::B(p);
  };
  EXPECT_LT(centre(0), centre(35));
  EXPECT_LT(centre(35), centre(71));
}

TEST(Resources, TheFontIsEmbedded) {
  const std::span<const std::uint8_t> font = FindResource(ResourceType::kFont, kFontResourceId);
  ASSERT_GT(font.size(), 100000u);
  EXPECT_EQ(font[0], 0x00);
  EXPECT_EQ(font[1], 0x01);  // TrueType sfnt version 1.0
  EXPECT_TRUE(FindResource(ResourceType::kFont, 103).empty());
  EXPECT_TRUE(FindResource(ResourceType::kPng, 1001).empty());
}

}  // namespace
}  // namespace tessaro::testing
