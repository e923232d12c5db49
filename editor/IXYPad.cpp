#include "editor/IXYPad.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/IPlugBase.h"
#include "editor/IGraphics.h"
#include "editor/ValueEntry.h"

namespace tessaro {
namespace {

int Trunc(double v) { return static_cast<int>(std::trunc(v)); }

double Clamped01(double v) { return std::clamp(FiniteOr(v, 0.5), 0.0, 1.0); }

}  // namespace

IXYPad::IXYPad(IPlugBase* plug, const IRect& rect, const ITextStyle& style, int horizontalParam,
               int verticalParam)
    : IControl(plug, rect, -1), unscaledStyle_(style) {
  textStyle_ = style;
  AddAuxParam(horizontalParam);
  AddAuxParam(verticalParam);
  aux_[kHorizontal].value = aux_[kVertical].value = 0.5;
  SetRect(rect);
  quadrant_ = QuadrantOf(Horizontal(), Vertical());
}

double IXYPad::Horizontal() const { return Clamped01(aux_[kHorizontal].value); }
double IXYPad::Vertical() const { return Clamped01(aux_[kVertical].value); }
double IXYPad::DotX() const { return inner_.L + Horizontal() * inner_.W(); }
double IXYPad::DotY() const { return inner_.T + Vertical() * inner_.H(); }

int IXYPad::QuadrantOf(double h, double v) {
  if (h >= 0.5) return v <= 0.5 ? 1 : 4;
  return v <= 0.5 ? 2 : 3;
}

void IXYPad::Paint(IGraphics&) {}

void IXYPad::MapPoint(double x, double y) {
  // A pad laid out with no inner area keeps its values.
  if (inner_.W() > 0) aux_[kHorizontal].value = std::clamp((x - inner_.L) / inner_.W(), 0.0, 1.0);
  if (inner_.H() > 0) aux_[kVertical].value = std::clamp((y - inner_.T) / inner_.H(), 0.0, 1.0);
  quadrant_ = QuadrantOf(Horizontal(), Vertical());
  MarkDirty(true);
}

void IXYPad::MarkDirty(bool push) {
  for (AuxParam& entry : aux_) entry.value = Clamped01(entry.value);
  IControl::MarkDirty(false);
  if (!push || !plug_) return;
  for (const AuxParam& entry : aux_) {
    if (entry.paramIdx >= 0 && entry.paramIdx < plug_->NumParams())
      plug_->SetParameterFromEditor(entry.paramIdx, entry.value);
  }
}

void IXYPad::SetAuxValueFromHost(int entry, double value) {
  if (!std::isfinite(value)) return;
  IControl::SetAuxValueFromHost(entry, value);
  quadrant_ = QuadrantOf(Horizontal(), Vertical());
}

void IXYPad::RecordUndo() {
  if (undo_) undo_->RecordCurrentState();
}

void IXYPad::MouseDown(int x, int y, const IMouseState& mouse) {
  if (mouse.left) {
    state_ = kDragging;
    MapPoint(x, y);
  } else if (delegate_) {
    delegate_->MouseDown(x, y, mouse);
  }
}

void IXYPad::MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse) {
  state_ = kDragging;
  if (mouse.left) {
    MapPoint(x, y);
  } else if (mouse.right) {
    // Fine adjust: the dot moves a tenth of the pointer's way.
    MapPoint(inner_.L + inner_.W() * Horizontal() + dX * 0.1, inner_.T + inner_.H() * Vertical() + dY * 0.1);
  }
}

void IXYPad::MouseUp(int, int, const IMouseState&) {
  const bool gesture = state_ == kDragging;
  state_ = kIdle;
  IControl::MarkDirty(false);
  if (gesture) RecordUndo();
}

void IXYPad::DoubleClick(int, int, const IMouseState&) {
  state_ = kIdle;
  MapPoint(inner_.L + inner_.W() * 0.5, inner_.T + inner_.H() * 0.5);
  RecordUndo();
}

void IXYPad::MouseOver(int, int, const IMouseState&) {
  if (state_ != kDragging) state_ = kHovered;
  IControl::MarkDirty(false);
}

void IXYPad::MouseLeave() {
  state_ = kIdle;
  IControl::MarkDirty(false);
}

void IXYPad::SetRect(const IRect& rect) {
  rect_ = targetRect_ = rect;
  inner_ = {rect.L + inset_, rect.T + inset_, rect.R - inset_, rect.B - inset_};
}

void IXYPad::SetScale(double factor) {
  if (!std::isfinite(factor) || factor <= 0.0) return;
  inset_ = Trunc(kUnscaledInset * factor);
  dotRadius_ = Trunc(unscaledDot_ * factor);
  markerRadius_ = Trunc(unscaledMarker_ * factor);
  textStyle_ = unscaledStyle_;
  textStyle_.size = Trunc(unscaledStyle_.size * factor);
  textStyle_.cachedFont = nullptr;
  SetRect(rect_);
  IControl::MarkDirty(false);
}

void IXYPad::SetColours(const IColour& idleDot, const IColour& idleRing, const IColour& active,
                        const IColour& crosshair) {
  idleDot_ = idleDot;
  idleRing_ = idleRing;
  active_ = active;
  crosshair_ = crosshair;
  IControl::MarkDirty(false);
}

void IXYPad::SetRadii(int markerRadius, int dotRadius) {
  unscaledMarker_ = markerRadius_ = std::max(0, markerRadius);
  unscaledDot_ = dotRadius_ = std::max(0, dotRadius);
  IControl::MarkDirty(false);
}

// --- IXYPad_cairo ---

IXYPad_cairo::IXYPad_cairo(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, const ITextStyle& style,
                           int horizontalParam, int verticalParam)
    : IXYPad(plug, rect, style, horizontalParam, verticalParam),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas) {}

std::string IXYPad_cairo::ValueText() const {
  return std::to_string(Trunc(Horizontal() * 100)) + ", " + std::to_string(Trunc(Vertical() * 100));
}

IRectD IXYPad_cairo::ValueTextBox() const {
  const double t = textStyle_.size * 0.6, cx = DotX(), cy = DotY();
  switch (quadrant_) {
    case 1:
      return {cx - 4 * t, cy, cx, cy + 2 * t};
    case 2:
      return {cx, cy, cx + 4 * t, cy + 2 * t};
    case 3:
      return {cx, cy - 2 * t, cx + 4 * t, cy};
    default:
      return {cx - 4 * t, cy - 2 * t, cx, cy};
  }
}

void IXYPad_cairo::Paint(IGraphics&) {
  cairo_t* cr = Context();
  if (!cr) return;
  const double cx = DotX(), cy = DotY(), r = dotRadius_;
  const auto source = [cr](const IColour& c) {
    cairo_set_source_rgba(cr, c.R / 255.0, c.G / 255.0, c.B / 255.0, c.A / 255.0);
  };
  const auto disc = [cr](double x, double y, double radius) {
    cairo_new_path(cr);
    cairo_arc(cr, x, y, radius, 0.0, 2.0 * M_PI);
    cairo_fill(cr);
  };
  BeginPaint(rect_);
  const bool idle = state_ == kIdle;
  if (!idle) {
    // Centred on pixels so the one-pixel lines stay sharp.
    source(crosshair_);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, std::floor(cx) + 0.5, rect_.T);
    cairo_line_to(cr, std::floor(cx) + 0.5, rect_.B);
    cairo_move_to(cr, rect_.L, std::floor(cy) + 0.5);
    cairo_line_to(cr, rect_.R, std::floor(cy) + 0.5);
    cairo_stroke(cr);
  }
  cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
  disc(cx, cy, 1.1 * r);
  source(idle ? idleRing_ : active_);
  cairo_set_line_width(cr, 2.0);
  cairo_new_path(cr);
  cairo_arc(cr, cx, cy, 1.25 * r, 0.0, 2.0 * M_PI);
  cairo_stroke(cr);
  source(idle ? idleDot_ : active_);
  disc(cx, cy, 0.65 * r);
  if (!idle) {
    const IRectD box = ValueTextBox();
    const std::string text = ValueText();
    const IRect ibox{Trunc(box.L), Trunc(box.T), Trunc(box.R), Trunc(box.B)};
    ShowText(cr, text.c_str(), textStyle_.size * 0.6, textStyle_.colour, ibox, ycairo_text::kCentre);
  }
  EndPaint();
}

}  // namespace tessaro
