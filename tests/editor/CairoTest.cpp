// The cairo helpers: the paint bracket, rounded rectangles, text placement
// and word wrapping, on a real canvas over a headless editor's buffer.
#include <gtest/gtest.h>

#include <cmath>

#include "EditorFixture.h"
#include "editor/ycairo.h"

namespace tessaro::testing {
namespace {

class CairoTest : public EditorTest {
 protected:
  void SetUp() override {
    canvas = std::make_unique<ycairo_canvas>(&plug);
    ASSERT_TRUE(canvas->LoadFont("resources/Ubuntu-R.ttf"));
    graphics.SetCanvas(canvas.get());
    graphics.PrepareDraw();
    graphics.BindDrawing();
    cr = canvas->Context();
    ASSERT_NE(cr, nullptr);
    text = std::make_unique<ycairo_text>(canvas.get());
    text->SelectFace(cr);
    cairo_set_font_size(cr, 20);
  }
  double Advance(const char* s) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s, &e);
    return e.x_advance;
  }
  std::unique_ptr<ycairo_canvas> canvas;
  std::unique_ptr<ycairo_text> text;
  cairo_t* cr = nullptr;
};

TEST_F(CairoTest, TheFirstPaintGroupsLaterOnesClip) {
  IRect own{10, 10, 60, 40};
  ycairo_gui gui(canvas.get(), &own);
  gui.BeginPaint(own);
  EXPECT_EQ(gui.PaintState(), ycairo_gui::kGrouped);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);  // the clip keeps this inside the rectangle
  gui.EndPaint();
  EXPECT_EQ(gui.GroupRect(), own);
  const LICE_SysBitmap& b = *graphics.DrawBuffer();
  EXPECT_EQ(b.Pixel(10, 10) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_EQ(b.Pixel(59, 39) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_NE(b.Pixel(60, 40) & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_NE(b.Pixel(9, 20) & 0xFFFFFFu, 0xFFFFFFu);

  gui.BeginPaint({20, 20, 30, 30});  // inside the group: save, clip, restore
  EXPECT_EQ(gui.PaintState(), ycairo_gui::kClipped);
  gui.EndPaint();
  gui.BeginPaint({0, 0, 100, 100});  // larger: a new group
  EXPECT_EQ(gui.PaintState(), ycairo_gui::kGrouped);
  gui.EndPaint();
  EXPECT_EQ(gui.GroupRect(), (IRect{0, 0, 100, 100}));
}

TEST_F(CairoTest, RoundedRectanglesCutTheirCorners) {
  ycairo_gui::RoundedRectPath(cr, 100, 100, 40, 30, 10);
  EXPECT_TRUE(cairo_in_fill(cr, 120, 115));
  EXPECT_TRUE(cairo_in_fill(cr, 101, 115));   // the straight left edge
  EXPECT_FALSE(cairo_in_fill(cr, 101, 101));  // the corner is cut
  EXPECT_FALSE(cairo_in_fill(cr, 139, 129));
}

TEST_F(CairoTest, RightAlignedTextOfExactWidthStartsAtTheLeftEdgeLessBearing) {
  text->ShowText(cr, "Tessaro", 20, {255, 255, 255, 255}, {0, 0, 1, 1}, ycairo_text::kLeft);
  cairo_text_extents_t e = text->TextExtents();
  const IRectD r{200, 50, 200 + e.width, 80};
  text->SelectFace(cr);
  cairo_set_font_size(cr, 20);
  text->PlaceText(cr, r, ycairo_text::kRight);
  double x = 0, y = 0;
  cairo_get_current_point(cr, &x, &y);
  EXPECT_NEAR(x, 200 - e.x_bearing, 1e-9);
}

TEST_F(CairoTest, CentredTextInAZeroHeightRectangleSitsOnItsBottom) {
  text->ShowText(cr, "Tessaro", 20, {255, 255, 255, 255}, {0, 0, 1, 1}, ycairo_text::kCentre);
  text->PlaceText(cr, {10, 100, 210, 100}, ycairo_text::kCentre);
  const cairo_font_extents_t& f = text->FontExtents();
  const cairo_text_extents_t& e = text->TextExtents();
  double x = 0, y = 0;
  cairo_get_current_point(cr, &x, &y);
  EXPECT_NEAR(y, 100 + f.height / 2 - f.descent, 1e-9);
  EXPECT_NEAR(x, 10 + (200 - e.width - e.x_bearing) * 0.5, 1e-9);
}

TEST_F(CairoTest, WrappingBreaksAfterTheSpaceThatFits) {
  const double first = Advance("aa") + Advance(" ");
  const double whole = Advance("aa bb");
  ASSERT_LT(first, whole);
  text->SetWrapSource("aa bb");
  text->WrapText(cr, {0, 0, (first + whole) / 2, 100});
  EXPECT_EQ(text->Lines(), (std::vector<std::string>{"aa ", "bb"}));
  text->WrapText(cr, {0, 0, whole + 5, 100});
  EXPECT_EQ(text->Lines(), (std::vector<std::string>{"aa bb"}));
}

TEST_F(CairoTest, TabsBecomeFourSpacesAndLineFeedsBreak) {
  text->SetWrapSource("a\tb\nc");
  text->WrapText(cr, {0, 0, 500, 100});
  EXPECT_EQ(text->Lines(), (std::vector<std::string>{"a    b", "c"}));
  text->SetWrapSource("");
  text->WrapText(cr, {0, 0, 500, 100});
  EXPECT_EQ(text->Lines(), std::vector<std::string>{""});
}

TEST_F(CairoTest, LinesFromTheTopStackDownTheBox) {
  text->SetWrapSource("one\ntwo\nthree");
  text->WrapText(cr, {0, 0, 500, 100});
  text->SetLinePlacement(ycairo_text::kFromTop);
  text->ShowLines(cr);
  const double a = text->FontExtents().height;
  double x = 0, y = 0;
  cairo_get_current_point(cr, &x, &y);
  // "three" was placed last, in (0, 2a, 500, 3a), and the pen moved on by its advance.
  EXPECT_NEAR(y, 3 * a - (a - a) * 0.5 - text->FontExtents().descent, 1e-9);
  EXPECT_NEAR(x, Advance("three"), 1e-6);
}

}  // namespace
}  // namespace tessaro::testing
