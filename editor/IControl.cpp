#include "editor/IControl.h"

#include <algorithm>
#include <cmath>

#include "core/IParameter.h"
#include "core/IPlugBase.h"
#include "editor/IGraphics.h"

namespace tessaro {

double NormaliseValue(const IParameter& param, double value) {
  // The same mapping IParameter applies to its own value.
  const double lo = param.Min(), hi = param.Max();
  if (param.GetType() != IParameter::kTypeNone && value > hi && -value >= lo) value = -value;
  value = std::clamp(value, lo, std::max(lo, hi));
  if (hi == lo) return 0.0;
  return std::pow((value - lo) / (hi - lo), 1.0 / param.Shape());
}

IControl::IControl(IPlugBase* plug, const IRect& rect, int paramIdx, IBlend blend)
    : plug_(plug),
      rect_(rect),
      targetRect_(rect),
      drect_{static_cast<double>(rect.L), static_cast<double>(rect.T), static_cast<double>(rect.R),
             static_cast<double>(rect.B)},
      paramIdx_(paramIdx),
      blend_(blend) {}

IControl::~IControl() = default;

IParameter* IControl::Param() const { return plug_ ? plug_->GetParam(paramIdx_) : nullptr; }

void IControl::MouseDown(int, int, const IMouseState& mouse) {
  if (mouse.right) PromptUserInput();
}

void IControl::PromptUserInput() {
  IParameter* param = Param();
  if (!param || promptDisabled_ || !graphics_) return;
  IRect r = rect_;
  if (param->DisplayTexts().empty()) {
    const int cx = static_cast<int>((rect_.L + rect_.R) * 0.5f);
    const int cy = static_cast<int>((rect_.T + rect_.B) * 0.5f);
    r = {cx - 20, cy - 8, cx + 20, cy + 8};
  }
  graphics_->AskUserForValue(this, param, &r);
  redraw_ = true;
}

void IControl::MouseUp(int, int, const IMouseState&) {}
void IControl::MouseDrag(int, int, int, int, const IMouseState&) {}

void IControl::DoubleClick(int, int, const IMouseState&) {
  if (default_ < 0.0) return;
  value_ = default_;
  MarkDirty(true);
}

void IControl::Wheel(int, int, const IMouseState&, int) {}
bool IControl::KeyDown(int, int, int) { return false; }
void IControl::NoticeMouseDown(int, int, const IMouseState&) {}
void IControl::NoticeMouseUp(int, int, const IMouseState&) {}
void IControl::NoticeMouseDrag(int, int, int, int, const IMouseState&) {}
void IControl::NoticeDoubleClick(int, int, const IMouseState&) {}
void IControl::NoticeWheel(int, int, const IMouseState&, int) {}
bool IControl::NoticeKeyDown(int, int, int) { return false; }
void IControl::MouseOver(int, int, const IMouseState&) {}
void IControl::MouseLeave() {}
void IControl::EventHook1() {}
void IControl::EventHook2() {}
void IControl::EventHook3() {}
void IControl::EventHook4() {}
void IControl::EventHook5() {}
void IControl::EventHook6() {}
void IControl::EventHook7() {}
void IControl::PaintHook() {}
void IControl::SetScale(double) {}
void IControl::ScaleHook() {}

void IControl::SetValueFromHost(double value) {
  if (default_ < 0.0) {
    value_ = default_ = value;
    return;
  }
  if (value == value_) return;
  value_ = value;
  MarkDirty(false);
  redraw_ = true;
}

void IControl::SetValueFromEntry(double value) {
  if (value == value_) return;
  value_ = value;
  MarkDirty(true);
  redraw_ = true;
}

bool IControl::HasValuePoints() const { return false; }
bool IControl::SelectValuePointAt(double) { return false; }
void IControl::TextEntryResult(const char*) {}
void IControl::SetRect(const IRect& rect) { rect_ = rect; }
void IControl::SetTargetRect(const IRect& rect) { targetRect_ = rect; }

void IControl::MoveTo(int x, int y) {
  rect_ = {x, y, x + rect_.W(), y + rect_.H()};
  targetRect_ = rect_;
}

void IControl::SetHidden(bool hidden) {
  hidden_ = hidden;
  redraw_ = true;
  MarkDirty(false);
}

void IControl::SetGreyed(bool greyed) {
  greyed_ = greyed;
  blend_.weight = greyed ? 0.25f : 1.0f;
  MarkDirty(false);
}

bool IControl::IsGreyedOut() const { return greyed_; }

bool IControl::HitTest(int x, int y) const { return !targetRect_.Empty() && targetRect_.Contains(x, y); }

void IControl::MarkDirty(bool push) {
  if (clampLo_ > value_) {
    value_ = clampLo_;
  } else {
    value_ = std::min(clampHi_, value_);
  }
  dirty_ = true;
  if (push && plug_ && paramIdx_ >= 0) plug_->SetParameterFromEditor(paramIdx_, value_);
}

void IControl::MarkClean() {
  dirty_ = redraw_;
  redraw_ = false;
}

bool IControl::NeedsRedraw() const { return dirty_; }
void IControl::StateHook() {}
void IControl::WindowOpened() {}
void IControl::WindowClosing() {}

void IControl::SetAuxValueFromHost(int entry, double value) {
  if (entry < 0 || entry >= static_cast<int>(aux_.size())) return;
  AuxParam& aux = aux_[static_cast<std::size_t>(entry)];
  if (aux.value == value) return;
  aux.value = value;
  MarkDirty(false);
  redraw_ = true;
}

// --- IPanelControl ---

IPanelControl::IPanelControl(IPlugBase* plug, const IRect& rect, const IColour& colour)
    : IControl(plug, rect, -1, IBlend{IBlend::kSourceAlpha, 1.0f}), colour_(colour) {
  passThrough_ = true;
}

void IPanelControl::Paint(IGraphics& graphics) { graphics.FillRect(colour_, rect_, &blend_); }

// --- IBitmapControl and the switches ---

namespace {

IRect StripRect(int x, int y, const IBitmapStrip* strip) {
  if (!strip) return {x, y, x, y};
  return {x, y, x + strip->FrameWidth(), y + strip->FrameHeight()};
}

}  // namespace

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip, IBlend blend)
    : IControl(plug, StripRect(x, y, strip), paramIdx, blend), strip_(strip) {}

int IBitmapControl::Frame() const {
  const int frames = strip_ ? strip_->frames : 1;
  if (frames < 2 || !std::isfinite(value_)) return 1;
  const double position = std::clamp(value_, 0.0, 1.0);
  const int k = 1 + static_cast<int>(std::trunc((frames - 1) * position + 0.5));
  return std::clamp(k, 1, frames);
}

void IBitmapControl::Paint(IGraphics& graphics) {
  const int k = Frame();
  MarkClean();
  graphics.BlitBitmapFrame(strip_, rect_, k, &blend_);
}

void ISwitchControl::MouseDown(int, int, const IMouseState&) {
  const int frames = strip_ ? strip_->frames : 1;
  value_ += frames < 2 ? 1.0 : 1.0 / (frames - 1);
  if (value_ > 1.001) value_ = 0.0;
  MarkDirty(true);
}

void ISwitchControl::DoubleClick(int x, int y, const IMouseState& mouse) { MouseDown(x, y, mouse); }

ISwitchPopUpControl::ISwitchPopUpControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip,
                                         IBlend blend)
    : ISwitchControl(plug, x, y, paramIdx, strip, blend) {
  // Asking is the whole point of this switch.
  promptDisabled_ = false;
}

void ISwitchPopUpControl::MouseDown(int, int, const IMouseState&) {
  PromptUserInput();
  MarkDirty(true);
}

void IContactControl::MouseUp(int, int, const IMouseState&) {
  value_ = 0.0;
  MarkDirty(true);
}

IInvisibleSwitchControl::IInvisibleSwitchControl(IPlugBase* plug, const IRect& rect, int paramIdx)
    : IControl(plug, rect, paramIdx, IBlend{IBlend::kCopy, 1.0f}) {}

void IInvisibleSwitchControl::Paint(IGraphics&) {}

void IInvisibleSwitchControl::MouseDown(int, int, const IMouseState&) {
  value_ = value_ < 0.5 ? 1.0 : 0.0;
  MarkDirty(true);
}

void IInvisibleSwitchControl::DoubleClick(int x, int y, const IMouseState& mouse) { MouseDown(x, y, mouse); }
void IInvisibleSwitchControl::MouseDrag(int, int, int, int, const IMouseState&) { passThrough_ = true; }
void IInvisibleSwitchControl::MouseUp(int, int, const IMouseState&) { passThrough_ = false; }

IBitmapOverlayControl::IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip,
                                             const IRect& offTarget, IBlend blend)
    : ISwitchControl(plug, x, y, paramIdx, strip, blend),
      offTarget_(offTarget),
      unscaledOffTarget_(offTarget) {}

void IBitmapOverlayControl::Paint(IGraphics& graphics) {
  if (value_ < 0.5) {
    targetRect_ = offTarget_;
    return;
  }
  targetRect_ = rect_;
  IBitmapControl::Paint(graphics);
}

void IBitmapOverlayControl::SetScale(double factor) {
  const auto s = [factor](int v) { return static_cast<int>(std::trunc(factor * v)); };
  offTarget_ = {s(unscaledOffTarget_.L), s(unscaledOffTarget_.T), s(unscaledOffTarget_.R),
                s(unscaledOffTarget_.B)};
}

// --- IKnobControl ---

IKnobControl::IKnobControl(IPlugBase* plug, const IRect& rect, int paramIdx, int direction, double gearing)
    : IControl(plug, rect, paramIdx), direction_(direction), gearing_(gearing) {}

double IKnobControl::ParamNormalised() const {
  const IParameter* param = Param();
  return param ? NormaliseValue(*param, param->Value()) : value_;
}

void IKnobControl::MouseDown(int, int, const IMouseState&) { value_ = ParamNormalised(); }

void IKnobControl::MouseDrag(int, int, int dX, int dY, const IMouseState& mouse) {
  double g = gearing_;
  if (mouse.shift || mouse.control) g *= 10.0;
  // A control laid out with no height (or width) has nothing to drag along.
  const int span = direction_ == kVertical ? targetRect_.T - targetRect_.B : targetRect_.R - targetRect_.L;
  if (span == 0) return;
  value_ += static_cast<double>(direction_ == kVertical ? dY : dX) / span / g;
  MarkDirty(true);
}

void IKnobControl::DoubleClick(int, int, const IMouseState&) {
  const IParameter* param = Param();
  if (param) value_ = default_ = NormaliseValue(*param, param->Default());
  MarkDirty(true);
}

void IKnobControl::Wheel(int, int, const IMouseState& mouse, int steps) {
  value_ = ParamNormalised() + steps * ((mouse.shift || mouse.control) ? 0.001 : 0.01);
  MarkDirty(true);
}

// --- ITextControl ---

ITextControl::ITextControl(IPlugBase* plug, const IRect& rect, const ITextStyle& style, const char* text)
    : IControl(plug, rect), text_(text ? text : ""), unscaledStyle_(style) {
  textStyle_ = style;
}

void ITextControl::Paint(IGraphics& graphics) {
  if (text_.empty()) return;
  IRect r = rect_;
  graphics.DrawText(textStyle_, text_.c_str(), r);
}

void ITextControl::SetScale(double factor) {
  textStyle_ = unscaledStyle_;
  textStyle_.size = static_cast<int>(std::trunc(unscaledStyle_.size * factor));
  textStyle_.cachedFont = nullptr;
}

void ITextControl::SetText(const char* text) {
  const char* t = text ? text : "";
  if (text_ == t) return;
  MarkDirty(false);
  text_ = t;
}

// --- IURLControl ---

IURLControl::IURLControl(IPlugBase* plug, const IRect& rect, const char* url)
    : IControl(plug, rect), url_(url ? std::string(url).substr(0, 255) : ""), fallback_(kFallbackUrl) {}

void IURLControl::Paint(IGraphics&) {}

void IURLControl::MouseDown(int, int, const IMouseState&) {
  if (!graphics_) return;
  if (!graphics_->OpenWebPage(url_.c_str(), "", nullptr, nullptr) && !fallback_.empty()) {
    graphics_->OpenWebPage(fallback_.c_str(), "", nullptr, nullptr);
  }
}

// --- handleSelector ---

handleSelector::handleSelector(IPlugBase* plug, const IRect& rect, IGraphics* graphics)
    : IControl(plug, rect), owner_(graphics) {
  SelectHandle();
}

void handleSelector::SelectHandle() {
  if (owner_ && owner_->ResizeLink()) owner_->ResizeLink()->SetHandleSelected(true);
}

void handleSelector::Paint(IGraphics&) {}

void handleSelector::MouseDown(int, int, const IMouseState&) {
  SelectHandle();
  MarkDirty(true);
}

}  // namespace tessaro
