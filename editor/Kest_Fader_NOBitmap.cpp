#include "editor/Kest_Fader_NOBitmap.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/IParameter.h"
#include "editor/IGraphics.h"
#include "editor/ValueEntry.h"

namespace tessaro {
namespace {

int Trunc(double v) { return static_cast<int>(std::trunc(v)); }

void Source(cairo_t* cr, const IColour& c) {
  cairo_set_source_rgba(cr, c.R / 255.0, c.G / 255.0, c.B / 255.0, c.A / 255.0);
}

// Placements whose label sits right of its reference; the rest sit above.
bool RightOf(int placement) { return placement >= 10; }

}  // namespace

Kest_Fader_NOBitmap::Kest_Fader_NOBitmap(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect,
                                         int paramIdx, const IColour& background, const IColour& border,
                                         const IColour& thumb, const IColour& activeThumb, int orientation)
    : IControl(plug, rect, paramIdx),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      background_(background),
      border_(border),
      thumb_(thumb),
      activeThumb_(activeThumb),
      orientation_(orientation == kHorizontal ? kHorizontal : kVertical) {
  // Typing a value on the thumb is part of this fader.
  promptDisabled_ = false;
  SetEntryFilter(kNumberCharacters, false);
  SetRect(rect);
}

void Kest_Fader_NOBitmap::SetLabel(int placement, const ITextStyle& style) {
  label_ = std::clamp(placement, 0, 12);
  unscaledStyle_ = style;
  textStyle_ = style;
  textStyle_.size = Trunc(style.size * scale_);
  SetRect(track_);
}

void Kest_Fader_NOBitmap::SetActiveThumbColour(const IColour& colour) {
  activeThumb_ = colour;
  MarkDirty(false);
}

void Kest_Fader_NOBitmap::SetRect(const IRect& rect) {
  track_ = targetRect_ = rect;
  thumbSize_ = kUnscaledThumb;
  active_ = false;
  rect_ = track_.Union(LabelBand());
}

void Kest_Fader_NOBitmap::SetScale(double factor) {
  if (!std::isfinite(factor) || factor <= 0.0) return;
  scale_ = factor;
  textStyle_ = unscaledStyle_;
  textStyle_.size = Trunc(unscaledStyle_.size * factor);
  textStyle_.cachedFont = nullptr;
  rect_ = track_.Union(LabelBand());
  MarkDirty(false);
}

IRect Kest_Fader_NOBitmap::LabelBand() const {
  if (label_ == kNoLabel) return {};
  const int S = textStyle_.size, grow = Trunc(S / 5.0 + 2.5);
  if (RightOf(label_))
    return {track_.R, track_.T - S - grow, track_.R + 4 + 6 * S + grow, track_.B + S + 3 + grow};
  return {track_.L - 3 * S, track_.T - S - 2 - grow, track_.R + 3 * S, track_.T};
}

IRectD Kest_Fader_NOBitmap::ThumbRect() const {
  const double h = thumbSize_ * 0.5 * scale_;
  const double v = std::clamp(FiniteOr(value_, 0.0), 0.0, 1.0);
  if (orientation_ == kHorizontal) {
    const double start = track_.L + h, end = track_.R - h, c = start + v * (end - start);
    return {c - h, static_cast<double>(track_.T), c + h, static_cast<double>(track_.B)};
  }
  const double start = track_.B - h, end = track_.T + h, c = start + v * (end - start);
  return {static_cast<double>(track_.L), c - h, static_cast<double>(track_.R), c + h};
}

void Kest_Fader_NOBitmap::Move(int x, int y, int dX, int dY, const IMouseState& mouse) {
  const IParameter* param = Param();
  if (mouse.right) {
    if (param) value_ = NormaliseValue(*param, param->Default());
    MarkDirty(true);
    return;
  }
  const bool vertical = orientation_ == kVertical;
  if (mouse.shift || mouse.alt) {
    active_ = true;
    const double g = mouse.alt ? 5.0 : 50.0;
    const int extent = vertical ? track_.T - track_.B : track_.R - track_.L;
    if (extent != 0) value_ += (vertical ? dY : dX) / static_cast<double>(extent) / g;
  } else {
    const IRectD t = ThumbRect();
    const bool outside = vertical ? (y < t.T - 1 || y > t.B + 1) : (x < t.L - 1 || x > t.R + 1);
    if (!active_ && outside) {
      if (vertical) {
        if (y < t.T - 2)
          value_ += 0.1;
        else if (y > t.B + 2)
          value_ -= 0.1;
      } else {
        if (x > t.R)
          value_ += 0.1;
        else if (x < t.L)
          value_ -= 0.1;
      }
      active_ = false;
    } else {
      active_ = true;
      const int w = borderWidth_;
      const double span = vertical ? (track_.T + w) - (track_.B - w) : (track_.R - w) - (track_.L + w);
      if (span != 0.0) value_ = vertical ? (y - (track_.B - w)) / span : (x - (track_.L + w)) / span;
    }
  }
  value_ = std::clamp(FiniteOr(value_, 0.0), 0.0, 1.0);
  MarkDirty(true);
}

void Kest_Fader_NOBitmap::MouseDown(int x, int y, const IMouseState& mouse) { Move(x, y, 0, 0, mouse); }

void Kest_Fader_NOBitmap::MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse) {
  Move(x, y, dX, dY, mouse);
}

void Kest_Fader_NOBitmap::MouseUp(int, int, const IMouseState&) {
  active_ = false;
  MarkDirty(false);
}

void Kest_Fader_NOBitmap::DoubleClick(int x, int y, const IMouseState&) {
  const IRectD t = ThumbRect();
  if (!(x >= t.L - 3 && x < t.R + 3 && y >= t.T - 3 && y < t.B + 3)) return;
  const int dy = orientation_ == kVertical ? 4 : 2;
  promptRect_ = {Trunc(t.L) - 14, Trunc(t.T) - dy, Trunc(t.R) + 14, Trunc(t.B) + dy};
  IParameter* param = Param();
  if (!promptDisabled_ && graphics_ && param) OpenValueEntry(*graphics_, *this, *param, promptRect_);
  if (undo_) undo_->RecordCurrentState();
  MarkDirty(true);
}

void Kest_Fader_NOBitmap::Wheel(int, int, const IMouseState& mouse, int steps) {
  value_ = FiniteOr(value_, 0.0) + steps * ((mouse.shift || mouse.control) ? 0.001 : 0.01);
  active_ = true;
  MarkDirty(true);
}

void Kest_Fader_NOBitmap::MouseOver(int, int, const IMouseState&) {
  if (active_) return;
  active_ = true;
  MarkDirty(false);
}

void Kest_Fader_NOBitmap::MouseLeave() {
  active_ = false;
  MarkDirty(false);
}

void Kest_Fader_NOBitmap::SetValueFromHost(double value) {
  if (std::isfinite(value)) IControl::SetValueFromHost(value);
}

void Kest_Fader_NOBitmap::SetValueFromEntry(double value) {
  if (std::isfinite(value)) IControl::SetValueFromEntry(value);
}

void Kest_Fader_NOBitmap::TextEntryResult(const char* text) { ApplyTypedValue(*this, *this, text); }

bool Kest_Fader_NOBitmap::LabelVisible() const {
  if (label_ == kNoLabel) return false;
  return label_ == 1 || label_ == 4 || label_ == 7 || label_ == 10 || active_;
}

std::string Kest_Fader_NOBitmap::LabelText() {
  IParameter* param = Param();
  if (!param) return {};
  char text[128];
  param->DisplayTextFor(param->Value(), false, text, sizeof text, true);
  std::string label = text;
  const char* unit = param->LabelText();
  if (unit && *unit) label += std::string(" ") + unit;
  return label;
}

IRectD Kest_Fader_NOBitmap::LabelBox() {
  cairo_t* cr = Context();
  if (!LabelVisible() || !cr) return {};
  const std::string text = LabelText();
  const double S = textStyle_.size;
  SelectFace(cr);
  cairo_set_font_size(cr, S - 2);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  const double tw = e.width;
  const bool onThumb = label_ % 3 == 0;
  const IRectD ref = onThumb ? ThumbRect()
                             : IRectD{static_cast<double>(track_.L), static_cast<double>(track_.T),
                                      static_cast<double>(track_.R), static_cast<double>(track_.B)};
  IRectD box;
  if (RightOf(label_)) {
    const double E = (ref.T + ref.B) * 0.5;
    box = {ref.R + 4, E - S / 2, ref.R + tw + 2, E + S / 2 + 3};
  } else {
    const double c = (ref.L + ref.R) * 0.5;
    box = {c - (tw / 2 + 2), ref.T - S - 2, c + (tw / 2 + 2), ref.T - 2};
  }
  const int grow = Trunc(S / 5 + 2.5);
  return {box.L - grow, box.T - grow, box.R + grow, box.B + grow};
}

void Kest_Fader_NOBitmap::Paint(IGraphics&) {
  cairo_t* cr = Context();
  if (greyed_ || !cr) return;
  BeginPaint(rect_);
  Source(cr, background_);
  cairo_rectangle(cr, track_.L, track_.T, track_.W(), track_.H());
  cairo_fill(cr);
  Source(cr, border_);
  cairo_set_line_width(cr, 2.0 * borderWidth_);
  cairo_rectangle(cr, track_.L, track_.T, track_.W(), track_.H());
  cairo_stroke(cr);
  const IRectD t = ThumbRect();
  Source(cr, active_ ? activeThumb_ : thumb_);
  cairo_rectangle(cr, t.L, t.T, t.R - t.L, t.B - t.T);
  cairo_fill(cr);
  const IRectD box = LabelBox();
  if (!box.Empty()) {
    Source(cr, textStyle_.entryBackground);
    cairo_rectangle(cr, box.L, box.T, box.R - box.L, box.B - box.T);
    cairo_fill(cr);
    const std::string text = LabelText();
    const IRect ibox{Trunc(box.L), Trunc(box.T), Trunc(std::ceil(box.R)), Trunc(std::ceil(box.B))};
    ShowText(cr, text.c_str(), textStyle_.size - 2, textStyle_.colour, ibox, ycairo_text::kCentre);
  }
  EndPaint();
}

}  // namespace tessaro
