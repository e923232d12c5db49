#include "meters/controls/IMeter.h"

#include <algorithm>
#include <cmath>

namespace tessaro {
namespace {

void SetSource(cairo_t* cr, const IColour& c) {
  cairo_set_source_rgba(cr, c.R / 255.0, c.G / 255.0, c.B / 255.0, c.A / 255.0);
}

// Far enough outside any editor that a marker there is invisible, and small
// enough to convert to int without overflow.
double LimitForPixels(double y) { return std::clamp(y, -1.0e6, 1.0e6); }

}  // namespace

// --- IMeter ---

IMeter::IMeter(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
               const IColour& colour, bool reversed, double maxDb, double minDb)
    : IControl(plug, rect),
      ZeroObject(registry),
      ycairo_gui(canvas, &rect_, &drect_),
      colour_(colour),
      reversed_(reversed),
      mapping_(maxDb, minDb) {}

IMeter::~IMeter() = default;

void IMeter::SetValueFromHost(double value) { IControl::SetValueFromHost(FiniteLevel(value)); }

double IMeter::ShownLevel() const {
  const double v = FiniteLevel(value_);
  return reversed_ ? std::fabs(1.0 - v) : v;
}

void IMeter::FilledSpan(int& top, int& bottom) const {
  const int y = std::clamp(static_cast<int>(LimitForPixels(mapping_.Y(ShownLevel(), rect_.T, rect_.B))),
                           rect_.T, rect_.B);
  if (reversed_) {
    top = rect_.T;
    bottom = y;
  } else {
    top = y;
    bottom = rect_.B;
  }
}

void IMeter::Paint(IGraphics&) {
  cairo_t* cr = ycairo_gui::Context();
  if (!cr || rect_.W() <= 0 || IsGreyedOut()) return;
  int top = 0, bottom = 0;
  FilledSpan(top, bottom);
  BeginPaint(rect_);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  if (bottom > top) {
    SetSource(cr, colour_);
    cairo_rectangle(cr, rect_.L, top, rect_.W(), bottom - top);
    cairo_fill(cr);
  }
  EndPaint();
}

void IMeter::SetMinDb(double db) {
  mapping_.SetMinDb(db);
  MarkDirty(false);
}

void IMeter::SetMaxDb(double db) {
  mapping_.SetMaxDb(db);
  MarkDirty(false);
}

void IMeter::SetReversed(bool reversed) {
  if (reversed == reversed_) return;
  reversed_ = reversed;
  MarkDirty(false);
}

void IMeter::SetColour(const IColour& colour) {
  if (colour == colour_) return;
  colour_ = colour;
  MarkDirty(false);
}

// --- IMeterBar ---

IMeterBar::IMeterBar(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
                     const IColour& colour, bool reversed, double maxDb, double minDb)
    : IMeter(plug, canvas, rect, registry, colour, reversed, maxDb, minDb) {}

int IMeterBar::MarkerY() const {
  return static_cast<int>(LimitForPixels(mapping_.Y(ShownLevel(), rect_.T, rect_.B)));
}

void IMeterBar::Paint(IGraphics&) {
  cairo_t* cr = ycairo_gui::Context();
  if (!cr || rect_.W() <= 0 || IsGreyedOut()) return;
  const int y = MarkerY();
  BeginPaint(rect_);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_width(cr, lineWidth_);
  SetSource(cr, colour_);
  cairo_move_to(cr, rect_.L, y);
  cairo_line_to(cr, rect_.R, y);
  cairo_stroke(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  EndPaint();
}

// --- IMeterRange ---

IMeterRange::IMeterRange(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
                         const IColour& colour, int insetBase, double maxDb, double minDb)
    : IControl(plug, rect),
      ZeroObject(registry),
      ycairo_gui(canvas, &rect_, &drect_),
      colour_(colour),
      insetBase_(insetBase),
      inset_(insetBase),
      mapping_(maxDb, minDb) {}

IMeterRange::~IMeterRange() = default;

void IMeterRange::UpdateInset() { inset_ = static_cast<int>(insetBase_ * scale_); }

void IMeterRange::SetRect(const IRect& rect) {
  IControl::SetRect(rect);
  UpdateInset();
}

void IMeterRange::SetScale(double factor) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return;
  scale_ = factor;
  UpdateInset();
  MarkDirty(false);
}

void IMeterRange::SetRange(double top, double bottom) {
  top = FiniteLevel(top);
  bottom = FiniteLevel(bottom);
  if (top == top_ && bottom == bottom_) return;
  top_ = top;
  bottom_ = bottom;
  MarkDirty(false);
}

void IMeterRange::SetMinDb(double db) {
  mapping_.SetMinDb(db);
  MarkDirty(false);
}

void IMeterRange::SetMaxDb(double db) {
  mapping_.SetMaxDb(db);
  MarkDirty(false);
}

IRect IMeterRange::Band() const {
  const auto clampY = [this](double y) {
    return std::clamp(static_cast<int>(LimitForPixels(y)), rect_.T, rect_.B);
  };
  const int g = clampY(mapping_.Y(top_, rect_.T, rect_.B));
  const int b = clampY(mapping_.Y(bottom_, rect_.T, rect_.B));
  const int l = rect_.L + inset_, r = rect_.R - inset_;
  if (b <= g || r <= l) return {};
  return {l, g, r, b};
}

void IMeterRange::Paint(IGraphics&) {
  cairo_t* cr = ycairo_gui::Context();
  if (!cr || rect_.W() <= 0 || IsGreyedOut()) return;
  const IRect band = Band();
  BeginPaint(rect_);
  if (!band.Empty()) {
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    SetSource(cr, colour_);
    cairo_rectangle(cr, band.L, band.T, band.W(), band.H());
    cairo_fill(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }
  EndPaint();
}

}  // namespace tessaro
