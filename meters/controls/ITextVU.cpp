#include "meters/controls/ITextVU.h"

#include <cmath>

#include "meters/VU_Envelope.h"

namespace tessaro {

ITextVU::ITextVU(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
                 const ITextStyle& style, double holdSeconds, int framesPerSecond, bool signedReadout)
    : IControl(plug, rect),
      ZeroObject(registry),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      normalColour_(style.colour),
      signed_(signedReadout),
      unscaledTextSize_(style.size) {
  textStyle_ = style;
  // A frame rate or hold of zero would make the coefficient NaN; such a
  // readout simply follows its input.
  const double steps = static_cast<double>(framesPerSecond) * holdSeconds;
  holdCoef_ = steps > 0.0 ? std::exp(kCurveMeter / steps) : 0.0;
  SetResetTarget(&held_);
  SetResetGroup(kResetGroupOutputPeak);
}

ITextVU::~ITextVU() = default;

void ITextVU::SetValueFromHost(double value) {
  const double x = std::fabs(FiniteLevel(value));
  // A poisoned hold would never recover; the hold itself is kept finite too.
  if (!std::isfinite(held_)) held_ = 0.0;
  const double before = held_;
  if (held_ <= x) {
    held_ = x;
  } else {
    held_ = (held_ - x) * holdCoef_ + x;
  }
  if (held_ != before) MarkDirty(false);
}

void ITextVU::MouseDown(int, int, const IMouseState&) {
  textStyle_.colour = normalColour_;
  ResetGroup(kResetGroupMeters);
  held_ = 0.0;
  MarkDirty(false);
}

void ITextVU::SetScale(double factor) {
  if (!(factor > 0.0) || !std::isfinite(factor)) return;
  textStyle_.size = static_cast<int>(unscaledTextSize_ * factor);
  MarkDirty(false);
}

void ITextVU::SetIntegerMode(bool on) {
  integerMode_ = on;
  MarkDirty(false);
}

void ITextVU::SetReductionMode(bool on) {
  reductionMode_ = on;
  MarkDirty(false);
}

void ITextVU::Paint(IGraphics&) {
  cairo_t* cr = ycairo_gui::Context();
  if (!cr || IsGreyedOut()) return;
  const ReadoutText text = Text();
  textStyle_.colour = text.warning ? kWarningColour : normalColour_;
  BeginPaint(rect_);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  const int align = textStyle_.align == ITextStyle::kRight ? ycairo_text::kRight : ycairo_text::kCentre;
  ShowText(cr, text.text.c_str(), textStyle_.size, textStyle_.colour, rect_, align);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  EndPaint();
}

}  // namespace tessaro
