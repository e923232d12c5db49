#include "meters/controls/vuLines.h"

#include <algorithm>
#include <cmath>

#include "dsp/DbMath.h"

namespace tessaro {
namespace {

// The helper numbers its alignments left 0, right 1, centre 2.
int HelperAlign(int styleAlign) {
  if (styleAlign == ITextStyle::kRight) return ycairo_text::kRight;
  if (styleAlign == ITextStyle::kLeft) return ycairo_text::kLeft;
  return ycairo_text::kCentre;
}

}  // namespace

// --- vuLines ---

vuLines::vuLines(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
                 const IColour& tickColour, const ITextStyle& style, const double* ticks, int count,
                 double maxDb, double minDb)
    : IControl(plug, rect),
      ZeroObject(registry),
      ycairo_gui(canvas, &rect_, &drect_),
      mapping_(maxDb, minDb),
      tickColour_(tickColour),
      unscaledTextSize_(style.size),
      textSize_(style.size) {
  textStyle_ = style;
  if (ticks && count > 0) ticks_.assign(ticks, ticks + count);
  UpdateTicks();
}

vuLines::~vuLines() = default;

void vuLines::UpdateTicks() {
  textSize_ = static_cast<int>(unscaledTextSize_ * scale_);
  textStyle_.size = textSize_;
  labels_.clear();
  tickY_.clear();
  const double top = rect_.T, bottom = rect_.B;
  for (double v : ticks_) {
    labels_.push_back(TickLabel(v));
    const double y = mapping_.dbMode ? mapping_.YOfDb(v, rect_.T, rect_.B)
                                     : mapping_.Y(DbToLin(v), rect_.T, rect_.B);
    tickY_.push_back(std::clamp(y, top, bottom));
  }
  MarkDirty(false);
}

void vuLines::SetRect(const IRect& rect) {
  IControl::SetRect(rect);
  UpdateTicks();
}

void vuLines::SetScale(double factor) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return;
  scale_ = factor;
  UpdateTicks();
}

void vuLines::SetMinDb(double db) {
  mapping_.SetMinDb(db);
  UpdateTicks();
}

void vuLines::SetMaxDb(double db) {
  mapping_.SetMaxDb(db);
  UpdateTicks();
}

void vuLines::SetTickLengthFraction(double fraction) {
  fraction_ = fraction;
  MarkDirty(false);
}

std::vector<int> vuLines::DrawnTicks() const {
  std::vector<int> drawn;
  double last = rect_.T;  // the top edge counts as a drawn tick, so no label is cut at the top
  const double room = textSize_ + 8;
  for (int i = 0; i < static_cast<int>(tickY_.size()); ++i) {
    const double y = tickY_[static_cast<std::size_t>(i)];
    if (y > rect_.T + 3 && y < rect_.B - 3 && y - last > room) {
      drawn.push_back(i);
      last = y;
    }
  }
  return drawn;
}

void vuLines::StrokeTicks(cairo_t* cr, const std::vector<int>& drawn) const {
  if (!(fraction_ > 0.0) || drawn.empty()) return;
  const int half = (rect_.R - rect_.L) / 2;
  const double xl = rect_.L + half * fraction_;
  const double xr = rect_.R - half * fraction_;
  cairo_set_source_rgba(cr, tickColour_.R / 255.0, tickColour_.G / 255.0, tickColour_.B / 255.0,
                        tickColour_.A / 255.0);
  for (int i : drawn) {
    const double y = tickY_[static_cast<std::size_t>(i)];
    cairo_move_to(cr, rect_.L, y);
    cairo_line_to(cr, xl, y);
    cairo_move_to(cr, xr, y);
    cairo_line_to(cr, rect_.R, y);
  }
  cairo_stroke(cr);
}

void vuLines::Paint(IGraphics&) {
  cairo_t* cr = ycairo_gui::Context();
  if (!cr || rect_.W() <= 0) return;
  BeginPaint(rect_);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  StrokeTicks(cr, DrawnTicks());
  EndPaint();
}

// --- vuLines_cairo ---

vuLines_cairo::vuLines_cairo(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
                             const IColour& tickColour, const ITextStyle& style, const double* ticks, int count,
                             double maxDb, double minDb)
    : vuLines(plug, canvas, rect, registry, tickColour, style, ticks, count, maxDb, minDb), ycairo_text(canvas) {}

vuLines_cairo::~vuLines_cairo() = default;

IRect vuLines_cairo::LabelRect(double y) const {
  const int xc = rect_.L + (rect_.R - rect_.L) / 2;
  return {xc - 10, static_cast<int>(y - 5), xc + 10, static_cast<int>(y + 5)};
}

void vuLines_cairo::Paint(IGraphics&) {
  cairo_t* cr = ycairo_gui::Context();
  if (!cr || rect_.W() <= 0) return;
  const std::vector<int> drawn = DrawnTicks();
  BeginPaint(rect_);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  StrokeTicks(cr, drawn);
  const int align = HelperAlign(textStyle_.align);
  for (int i : drawn) {
    const std::size_t k = static_cast<std::size_t>(i);
    ShowText(cr, labels_[k].c_str(), textSize_, textStyle_.colour, LabelRect(tickY_[k]), align);
  }
  EndPaint();
}

}  // namespace tessaro
