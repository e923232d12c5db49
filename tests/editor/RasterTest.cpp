// Pixels: the four blend modes, fills and lines, Lanczos resampling with
// frames kept apart, the bitmap store, PNG decoding and bitmap text.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "EditorFixture.h"
#include "editor/LiceFont.h"
#include "editor/PngCodec.h"
#include "editor/Resources.h"

namespace tessaro::testing {
namespace {

struct BlendCase {
  const char* what;
  std::uint32_t dst, src;
  float opacity;
  lice::BlitMode mode;
  int r, g, b;  // computed from the formulas, not from the code
};

TEST(Raster, BlendModes) {
  const BlendCase cases[] = {
      // over black: 200 * 128/255 = 100.4
      {"copy with source alpha", lice::Argb(255, 0, 0, 0), lice::Argb(128, 200, 100, 50), 1.0f,
       lice::kCopyAlpha, 100, 50, 25},
      {"copy with alpha at half opacity", lice::Argb(255, 0, 0, 0), lice::Argb(255, 200, 100, 40), 0.5f,
       lice::kCopyAlpha, 100, 50, 20},
      {"plain copy ignores source alpha", lice::Argb(255, 10, 10, 10), lice::Argb(0, 200, 100, 50), 1.0f,
       lice::kCopy, 200, 100, 50},
      {"plain copy at quarter opacity", lice::Argb(255, 0, 0, 0), lice::Argb(0, 200, 100, 40), 0.25f,
       lice::kCopy, 50, 25, 10},
      {"additive saturates", lice::Argb(255, 100, 200, 10), lice::Argb(255, 100, 100, 0), 1.0f,
       lice::kAddAlpha, 200, 255, 10},
      // dodge: d * 256 / (256 - s): 64 -> 128 under 128, 128 -> 256 clamps to 255, 0 stays 0
      {"colour dodge", lice::Argb(255, 64, 128, 0), lice::Argb(255, 128, 128, 200), 1.0f, lice::kDodgeAlpha,
       128, 255, 0},
      {"transparent source leaves the pixel", lice::Argb(255, 1, 2, 3), lice::Argb(0, 255, 255, 255), 1.0f,
       lice::kAddAlpha, 1, 2, 3},
  };
  for (const BlendCase& c : cases) {
    const std::uint32_t out = lice::BlendPixel(c.dst, c.src, c.opacity, c.mode);
    EXPECT_NEAR(lice::R(out), c.r, 1) << c.what;
    EXPECT_NEAR(lice::G(out), c.g, 1) << c.what;
    EXPECT_NEAR(lice::B(out), c.b, 1) << c.what;
  }
}

TEST_F(EditorTest, BlitsStayInsideTheClipRectangle) {
  LICE_MemBitmap white(50, 50);
  lice::FillRect(white, {0, 0, 50, 50}, 0xFFFFFFFFu, 1.0f, lice::kCopy);
  IBitmapStrip strip{&white, 50, 50, 1, false};
  graphics.CreateDrawBuffer();
  AddProbe({10, 10, 20, 20}, "clip");
  graphics.PaintDirty({10, 10, 20, 20});
  graphics.BlitBitmap(&strip, {0, 0, 50, 50}, 0, 0);
  EXPECT_EQ(graphics.DrawBuffer()->Pixel(9, 15), 0u);
  EXPECT_EQ(graphics.DrawBuffer()->Pixel(10, 10), 0xFFFFFFFFu);
  EXPECT_EQ(graphics.DrawBuffer()->Pixel(19, 19), 0xFFFFFFFFu);
  EXPECT_EQ(graphics.DrawBuffer()->Pixel(20, 15), 0u);
}

TEST_F(EditorTest, OutlinesDrawBothEndPointsOfEachEdge) {
  graphics.CreateDrawBuffer();
  graphics.OutlineRect({255, 255, 0, 0}, {2, 3, 6, 8});
  const LICE_SysBitmap& b = *graphics.DrawBuffer();
  for (const auto& [x, y] : {std::pair{2, 3}, {6, 3}, {2, 8}, {6, 8}, {4, 3}, {4, 8}, {2, 5}, {6, 5}}) {
    EXPECT_EQ(b.Pixel(x, y), 0xFFFF0000u) << x << "," << y;
  }
  EXPECT_EQ(b.Pixel(4, 5), 0u);
}

TEST(Raster, LanczosKeepsFlatAreasFlatAndFramesApart) {
  // Two frames, red above blue, scaled up by 2 into 20 x 42 (two spare rows).
  LICE_MemBitmap picture(10, 20);
  lice::FillRect(picture, {0, 0, 10, 10}, 0xFFFF0000u, 1.0f, lice::kCopy);
  lice::FillRect(picture, {0, 10, 10, 20}, 0xFF0000FFu, 1.0f, lice::kCopy);
  LICE_MemBitmap out(20, 42);
  lice::ResampleLanczos(picture, {0, 0, 10, 10}, out, {0, 0, 20, 21});
  lice::ResampleLanczos(picture, {0, 10, 10, 20}, out, {0, 21, 20, 42});
  for (int y : {0, 10, 20}) EXPECT_EQ(out.Pixel(7, y), 0xFFFF0000u) << y;
  for (int y : {21, 30, 41}) EXPECT_EQ(out.Pixel(7, y), 0xFF0000FFu) << y;
}

TEST(Raster, LanczosShrinksAStepToAnInBetweenValue) {
  LICE_MemBitmap picture(8, 1);
  for (int x = 0; x < 8; ++x) picture.SetPixel(x, 0, x < 4 ? 0xFF000000u : 0xFFFFFFFFu);
  LICE_MemBitmap out(2, 1);
  lice::ResampleLanczos(picture, {0, 0, 8, 1}, out, {0, 0, 2, 1});
  EXPECT_LT(lice::R(out.Pixel(0, 0)), 40);
  EXPECT_GT(lice::R(out.Pixel(1, 0)), 215);
}

// Serves synthetic pictures and counts how often one is decoded.
class PictureGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;
  std::unique_ptr<LICE_MemBitmap> LoadResourceBitmap(int id, const char* name) override {
    ++decodes;
    if (id != 900) return RecordingGraphics::LoadResourceBitmap(id, name);
    auto picture = std::make_unique<LICE_MemBitmap>(10, 20);
    lice::FillRect(*picture, {0, 0, 10, 10}, 0xFFFF0000u, 1.0f, lice::kCopy);
    lice::FillRect(*picture, {0, 10, 10, 20}, 0xFF0000FFu, 1.0f, lice::kCopy);
    return picture;
  }
  int decodes = 0;
};

TEST(BitmapStore, StripsOfOnePictureShareOneDecode) {
  TestPlug plug;
  PictureGraphics g(&plug, 100, 100, 30);
  IBitmapStrip* a = g.LoadBitmap(900, "two.png", 2);
  IBitmapStrip* b = g.LoadBitmap(900, "two.png", 1);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(a->bitmap, b->bitmap);
  EXPECT_EQ(g.decodes, 1);
  EXPECT_EQ(g.NumLoadedBitmaps(), 2);
  EXPECT_EQ(a->FrameHeight(), 10);
  EXPECT_EQ(b->FrameHeight(), 20);
}

TEST(BitmapStore, RebuildingResamplesEachFrameSeparately) {
  TestPlug plug;
  PictureGraphics g(&plug, 100, 100, 30);
  IBitmapStrip* strip = g.LoadBitmap(900, "two.png", 2);
  g.RebuildScaledBitmaps(2.0);
  // 20 x 40, plus one row per frame: 20 x 42; frame 2 starts at trunc(42 / 2 + 0.5) = 21.
  EXPECT_EQ(strip->W, 20);
  EXPECT_EQ(strip->H, 42);
  EXPECT_EQ(strip->bitmap->Height(), 42);
  EXPECT_EQ(strip->bitmap->Pixel(10, 20), 0xFFFF0000u);
  EXPECT_EQ(strip->bitmap->Pixel(10, 21), 0xFF0000FFu);
  EXPECT_EQ(strip->FrameHeight(), 21);
}

TEST(Png, OnlyPngNamesAndExistingResourcesDecode) {
  EXPECT_EQ(LoadEmbeddedPng(103, "resources/img/kestbackground.jpg"), nullptr);
  EXPECT_EQ(LoadEmbeddedPng(103, "noextension"), nullptr);
  EXPECT_EQ(LoadEmbeddedPng(999, "missing.png"), nullptr);
  auto picture = LoadEmbeddedPng(103, "resources/img/KESTBACKGROUND.PNG");
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 1280);
}

TEST(Png, GarbageAndTruncatedDataGiveNull) {
  const std::uint8_t junk[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(DecodePng(junk), nullptr);
  const std::span<const std::uint8_t> real = FindResource(ResourceType::kPng, 118);
  ASSERT_GT(real.size(), 100u);
  EXPECT_EQ(DecodePng(real.first(7)), nullptr);
  EXPECT_EQ(DecodePng(real.first(real.size() / 2)), nullptr);
  EXPECT_NE(DecodePng(real), nullptr);
}

// Writes a picture with libpng's own writer in the given format.
std::string WriteTestPng(png_uint_32 format, int w, int h, const std::vector<std::uint8_t>& data,
                         const std::vector<std::uint8_t>& colourMap = {}, int entries = 0) {
  char path[] = "/tmp/tessaro-png-XXXXXX";
  const int fd = mkstemp(path);
  close(fd);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = format;
  image.colormap_entries = static_cast<png_uint_32>(entries);
  png_image_write_to_file(&image, path, 0, data.data(), 0, colourMap.empty() ? nullptr : colourMap.data());
  return path;
}

TEST(Png, GreyPaletteAndAlphaPicturesBecomeArgb) {
  {
    const std::string path = WriteTestPng(PNG_FORMAT_GRAY, 2, 1, {0, 200});
    auto bitmap = ReadPngFile(path);
    std::remove(path.c_str());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Pixel(0, 0), lice::Argb(255, 0, 0, 0));
    EXPECT_EQ(bitmap->Pixel(1, 0), lice::Argb(255, 200, 200, 200));
  }
  {
    const std::string path = WriteTestPng(PNG_FORMAT_GA, 1, 1, {90, 40});
    auto bitmap = ReadPngFile(path);
    std::remove(path.c_str());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Pixel(0, 0), lice::Argb(40, 90, 90, 90));  // alpha kept, not premultiplied
  }
  {
    // A palette with a transparent entry: tRNS becomes alpha.
    const std::vector<std::uint8_t> map = {255, 0, 0, 255, 0, 0, 255, 0};
    const std::string path = WriteTestPng(PNG_FORMAT_RGBA_COLORMAP, 2, 1, {0, 1}, map, 2);
    auto bitmap = ReadPngFile(path);
    std::remove(path.c_str());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Pixel(0, 0), lice::Argb(255, 255, 0, 0));
    EXPECT_EQ(lice::A(bitmap->Pixel(1, 0)), 0);
  }
}

TEST(Png, WrittenPicturesReadBack) {
  LICE_MemBitmap b(3, 2);
  b.SetPixel(0, 0, lice::Argb(255, 1, 2, 3));
  b.SetPixel(2, 1, lice::Argb(128, 250, 0, 9));
  const std::string path = "/tmp/tessaro-png-roundtrip.png";
  ASSERT_TRUE(WritePngFile(b, path, false));
  auto back = ReadPngFile(path);
  std::remove(path.c_str());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->Pixel(0, 0), b.Pixel(0, 0));
  EXPECT_EQ(back->Pixel(2, 1), b.Pixel(2, 1));
}

// --- bitmap text ---

TEST_F(EditorTest, MeasuringTextPlacesItByItsAlignment) {
  ITextStyle style("Ubuntu", 14, {255, 255, 255, 255});
  const std::span<const std::uint8_t> font = FindResource(ResourceType::kFont, kFontResourceId);
  FontRequest request;
  request.height = 14;
  auto reference = LICE_CachedFont::Create(request, font.data(), font.size());
  ASSERT_NE(reference, nullptr);
  const char* text = "Margin -0.5 dB";
  const int w = reference->MeasureWidth(text);
  ASSERT_GT(w, 20);

  IRect centred{100, 0, 200, 20};
  ASSERT_TRUE(graphics.MeasureText(style, text, centred));
  // trunc(w / -2) - trunc((200 + 100) * -0.5)
  EXPECT_EQ(centred.L, static_cast<int>(std::trunc(w / -2.0)) + 150);
  EXPECT_EQ(centred.R, centred.L + w);
  EXPECT_EQ(centred.B, 14);

  style.align = ITextStyle::kRight;
  IRect right{0, 5, 300, 20};
  graphics.MeasureText(style, text, right);
  EXPECT_EQ(right.L, 300 - w);
  EXPECT_EQ(right.B, 19);

  style.align = ITextStyle::kLeft;
  IRect leftAligned{0, 0, 300, 20};
  graphics.MeasureText(style, text, leftAligned);
  EXPECT_EQ(leftAligned.R, w);
}

TEST_F(EditorTest, TheCentredMeasureOfWidth40) {
  // The rule itself, with the width the example gives.
  const int w = 40;
  const IRect r{100, 0, 200, 20};
  const int left = static_cast<int>(std::trunc(w / -2.0)) - static_cast<int>(std::trunc((r.R + r.L) * -0.5));
  EXPECT_EQ(left, 130);
  // Find a text of exactly 40 pixels, so the core's own measure is held to it.
  ITextStyle style("Ubuntu", 16, {255, 255, 255, 255}, ITextStyle::kLeft);
  std::string text;
  IRect m;
  for (int size = 10; size <= 30 && m.R != 40; ++size) {
    style.size = size;
    style.cachedFont = nullptr;
    for (const char c : {'0', 'i', 'm', 'x'}) {
      for (int n = 1; n < 20 && m.R != 40; ++n) {
        text.assign(static_cast<std::size_t>(n), c);
        m = {0, 0, 0, 0};
        graphics.MeasureText(style, text.c_str(), m);
      }
      if (m.R == 40) break;
    }
  }
  ASSERT_EQ(m.R, 40) << "no run of one glyph is 40 pixels wide";
  style.align = ITextStyle::kCentre;
  IRect centred = r;
  graphics.MeasureText(style, text.c_str(), centred);
  EXPECT_EQ(centred.L, 130);
  EXPECT_EQ(centred.R, 170);
}

TEST_F(EditorTest, EmptyTextIsDoneAndDrawnTextLandsInItsRectangle) {
  ITextStyle style("Ubuntu", 20, {255, 255, 255, 255});
  IRect r{10, 10, 200, 40};
  EXPECT_TRUE(graphics.DrawText(style, "", r));
  graphics.CreateDrawBuffer();
  ASSERT_TRUE(graphics.DrawText(style, "HHHH", r));
  EXPECT_NE(style.cachedFont, nullptr);
  int lit = 0, outside = 0;
  const LICE_SysBitmap& b = *graphics.DrawBuffer();
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      if (lice::R(b.Pixel(x, y)) < 128) continue;
      (r.Contains(x, y) ? lit : outside)++;
    }
  }
  EXPECT_GT(lit, 50);
  EXPECT_EQ(outside, 0);
}

TEST(FontCache, OneFontPerSizeStyleAndFace) {
  ITextStyle a("Ubuntu", 13, {255, 0, 0, 0});
  ITextStyle b = a;
  b.colour = {255, 9, 9, 9};  // colour is not part of the key
  ITextStyle bold = a;
  bold.style = ITextStyle::kBold;
  EXPECT_EQ(CachedFontFor(a), CachedFontFor(b));
  EXPECT_NE(CachedFontFor(a), CachedFontFor(bold));
  a.size = 14;
  EXPECT_NE(CachedFontFor(a), CachedFontFor(b));
}

}  // namespace
}  // namespace tessaro::testing
