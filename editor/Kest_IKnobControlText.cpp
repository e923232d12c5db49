#include "editor/Kest_IKnobControlText.h"

#include <algorithm>
#include <cmath>

#include "core/IParameter.h"
#include "editor/IGraphics.h"
#include "editor/ValueEntry.h"

namespace tessaro {
namespace {

constexpr double kPaintEpsilon = 2.22045e-11;
constexpr double kABEpsilon = 2.22045e-10;
constexpr IBlend kHighlight{IBlend::kAdd, 0.65f};
constexpr std::size_t kMaxUnitText = 15;

int Trunc(double v) { return static_cast<int>(std::trunc(v)); }

}  // namespace

Kest_IKnobControlText::Kest_IKnobControlText(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect,
                                             int paramIdx, IBitmapStrip* strip, const ITextStyle& style,
                                             KnobRanges* points)
    : IKnobControl(plug, rect, paramIdx, kVertical, 4.0),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      strip_(strip),
      knobRect_(rect),
      unscaledStyle_(style),
      points_(points) {
  textStyle_ = style;
  // Typing a value is part of this knob, not an option the layout turns on.
  promptDisabled_ = false;
  SetEntryFilter(kNumberCharacters, false);
  if (!points_) {
    const IParameter* param = Param();
    ownPoints_ = std::make_unique<KnobRanges>(paramIdx, param ? *param : IParameter());
    points_ = ownPoints_.get();
  }
  ApplySelection();
}

bool Kest_IKnobControlText::IsLocked() const {
  const IParameter* param = Param();
  return param && param->Locked();
}

double Kest_IKnobControlText::ResizeFactor() const {
  if (graphics_ && graphics_->ResizeLink()) return graphics_->ResizeLink()->ScaleFactor();
  return scale_;
}

double Kest_IKnobControlText::DrawScale() const { return graphics_ ? graphics_->DrawScale() : 1.0; }

void Kest_IKnobControlText::Sync() {
  if (points_->SelectionCount() != seenSelections_) ApplySelection();
}

void Kest_IKnobControlText::ApplySelection() {
  seenSelections_ = points_->SelectionCount();
  const auto& list = points_->Points();
  const int selected = std::clamp(points_->SelectedPoint(), 0, static_cast<int>(list.size()) - 1);
  const ValuePoint& point = list[static_cast<std::size_t>(selected)];
  if (const IParameter* param = Param()) {
    value_ = param->Locked() ? 0.5 : NormaliseValue(*param, param->Value());
    pointValue_ = altValue_ = NormaliseValue(*param, param->Default());
  }
  lastValue_ = value_;
  unitText_ = point.unit.empty() ? std::string() : (" " + point.unit).substr(0, kMaxUnitText);
  LayOut();
}

void Kest_IKnobControlText::SetRect(const IRect& rect) {
  knobRect_ = rect;
  LayOut();
}

void Kest_IKnobControlText::LayOut() {
  textStyle_ = unscaledStyle_;
  textStyle_.size = Trunc(unscaledStyle_.size * ResizeFactor());
  textStyle_.cachedFont = nullptr;
  const int fw = strip_ ? strip_->FrameWidth() : knobRect_.W();
  const int fh = strip_ ? strip_->FrameHeight() : knobRect_.H();
  pictureRect_ = {knobRect_.L, knobRect_.T, knobRect_.L + fw, knobRect_.T + fh};
  const double L = pictureRect_.L, T = pictureRect_.T, R = pictureRect_.R, B = pictureRect_.B;
  const double s = textStyle_.size, e = 8.0 * DrawScale();
  textAlign_ = placement_ == kTextRight ? ycairo_text::kLeft : ycairo_text::kCentre;
  switch (placement_) {
    case kTextBelow:
      textBox_ = {Trunc(L - e), Trunc(B + 0.5), Trunc(R + e), Trunc(B + s + 1.5)};
      break;
    case kTextBelowSpaced:
      textBox_ = {Trunc(L - e), Trunc(B + s * 0.5), Trunc(R + e), Trunc(B + s + s * 0.5)};
      break;
    case kTextOverBottom:
      textBox_ = {Trunc(L - e), Trunc(B - s - 1), Trunc(R + e), Trunc(B + 2)};
      break;
    case kTextCentred: {
      const double m = (B - T) * 0.5 + T;
      textBox_ = {pictureRect_.L, Trunc(m - s * 0.5 - 1), pictureRect_.R, Trunc(m + s * 0.5 + 1)};
      break;
    }
    case kTextAbove:
      textBox_ = {Trunc(L - e), Trunc(T - s - 2), Trunc(R + e), pictureRect_.T};
      break;
    case kTextRight: {
      const double m = (T + B) * 0.5, n = s * 0.6;
      textBox_ = {Trunc(R + 2), Trunc(m - n), Trunc(2 * R - L + 2), Trunc(m + n)};
      break;
    }
    default:
      textBox_ = {};
      break;
  }
  targetRect_ = pictureRect_.Union(textBox_);
  // The text may lie outside the given rectangle; the control paints (and so
  // has erased) wherever it draws, or an old value would stay on screen.
  rect_ = knobRect_.Union(targetRect_);
}

void Kest_IKnobControlText::SetTextPlacement(int placement) {
  placement_ = std::clamp(placement, 0, static_cast<int>(kNoText));
  LayOut();
  MarkDirty(false);
}

void Kest_IKnobControlText::SetCustomText(const char* text) {
  customTextOn_ = text && *text;
  customText_ = customTextOn_ ? text : "";
  MarkDirty(false);
}

void Kest_IKnobControlText::SetHideUnit(bool hide) {
  hideUnit_ = hide;
  MarkDirty(false);
}

int Kest_IKnobControlText::Frame() const {
  const int frames = strip_ ? std::max(1, strip_->frames) : 1;
  const double v = std::clamp(FiniteOr(value_, 0.0), 0.0, 1.0);
  return std::clamp(1 + Trunc((frames - 1) * v + 0.5), 1, frames);
}

std::string Kest_IKnobControlText::ShownText() {
  if (customTextOn_) return customText_;
  IParameter* param = Param();
  if (!param) return {};
  char text[128];
  param->DisplayTextFor(param->Value(), false, text, sizeof text, true);
  std::string shown = text;
  if (!hideUnit_) shown += unitText_;
  return shown;
}

void Kest_IKnobControlText::Paint(IGraphics& graphics) {
  Sync();
  if (IsLocked()) {
    PaintPadlock();
    return;
  }
  const double v = FiniteOr(value_, 0.0);
  if (std::fabs(v - lastPainted_) > kPaintEpsilon) {
    lastPainted_ = v;
    MarkDirty(false);
  }
  if (strip_) {
    const int frame = Frame();
    graphics.BlitBitmapFrame(strip_, pictureRect_, frame, &blend_);
    if (state_ >= kHovered) graphics.BlitBitmapFrame(strip_, pictureRect_, frame, &kHighlight);
  }
  if (placement_ == kNoText || state_ == kEntryOpen || greyed_ || hidden_) return;
  const std::string text = ShownText();
  if (text.empty() || !Context()) return;
  BeginPaint(textBox_);
  ShowText(Context(), text.c_str(), textStyle_.size - 2, textStyle_.colour, textBox_, textAlign_);
  EndPaint();
}

void Kest_IKnobControlText::PaintPadlock() {
  cairo_t* cr = Context();
  if (!cr) return;
  const int L = pictureRect_.L, T = pictureRect_.T, R = pictureRect_.R, B = pictureRect_.B;
  const int f = Trunc((L - R) * 0.25);
  const int g = Trunc((B - T) / 5.0) + T - f;
  const int h = R + 2 * f - L;
  const int d = f + Trunc(B + f - (B - T) * 0.15) - T;
  const double s = DrawScale();
  BeginPaint(pictureRect_);
  if (h > 0) {
    cairo_new_path(cr);
    cairo_arc(cr, (L + R) / 2.0, g, h / 3.75, 0.0, 2.0 * M_PI);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_set_line_width(cr, 6.0 * s);
    cairo_stroke_preserve(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 4.0 * s);
    cairo_stroke(cr);
    if (d > 0) {
      RoundedRectPath(cr, L - f - 1, g - 1, h + 2, d + 2, h / 4.0);
      cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
      cairo_fill(cr);
      RoundedRectPath(cr, L - f, g, h, d, h / 4.0);
      cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
      cairo_fill(cr);
    }
  }
  EndPaint();
}

void Kest_IKnobControlText::OpenEntry() {
  IParameter* param = Param();
  promptRect_ = {textBox_.L - 8, textBox_.T - 2, textBox_.R + 8, textBox_.B + 2};
  if (promptDisabled_ || !graphics_ || !param) return;
  // The hidden value text makes room for the field; without a field it stays.
  state_ = kEntryOpen;
  textStyle_.size += 1;
  OpenValueEntry(*graphics_, *this, *param, promptRect_);
  textStyle_.size -= 1;
  redraw_ = true;
}

void Kest_IKnobControlText::RecordUndo() {
  if (undo_) undo_->RecordCurrentState();
}

void Kest_IKnobControlText::MouseDown(int x, int y, const IMouseState& mouse) {
  Sync();
  state_ = kActive;
  if (mouse.left && textBox_.Contains(x, y)) {
    OpenEntry();
    RecordUndo();
  } else if (mouse.right || (mouse.control && mouse.shift)) {
    ShowMenu(x, y);
  } else if (mouse.control && mouse.left) {
    SwitchAB();
  } else {
    MouseDrag(x, y, 0, 0, mouse);
  }
}

void Kest_IKnobControlText::MouseDrag(int x, int, int, int dY, const IMouseState& mouse) {
  Sync();
  if (IsLocked()) return;
  state_ = kActive;
  const double g = gearing_ * (mouse.alt ? 10.0 : mouse.shift ? 100.0 : 1.0);
  if (direction_ == kVertical) {
    const int span = knobRect_.T - knobRect_.B;
    if (span != 0) value_ += static_cast<double>(dY) / span / g;
  } else {
    const int width = knobRect_.R - knobRect_.L;
    if (width != 0) value_ = static_cast<double>(x - knobRect_.L) / width;
  }
  value_ = FiniteOr(value_, 0.0);
  MarkDirty(true);
  lastValue_ = value_;
}

void Kest_IKnobControlText::Wheel(int x, int y, const IMouseState& mouse, int steps) {
  Sync();
  if (IsLocked()) return;
  state_ = kActive;
  const double step = mouse.alt ? 0.006 : mouse.shift ? 0.0005 : 0.02;
  if (!textBox_.Contains(x, y)) value_ = FiniteOr(value_, 0.0) + steps * step;
  MarkDirty(true);
  lastValue_ = value_;
}

void Kest_IKnobControlText::DoubleClick(int x, int y, const IMouseState&) {
  Sync();
  state_ = kActive;
  if (textBox_.Contains(x, y))
    OpenEntry();
  else
    SwitchAB();
  RecordUndo();
}

void Kest_IKnobControlText::MouseOver(int, int, const IMouseState&) {
  if (state_ != kActive && state_ != kEntryOpen) state_ = kHovered;
  MarkDirty(false);
}

void Kest_IKnobControlText::MouseLeave() {
  state_ = kIdle;
  MarkDirty(false);
}

void Kest_IKnobControlText::SetScale(double factor) {
  if (std::isfinite(factor) && factor > 0.0) scale_ = factor;
  LayOut();
  MarkDirty(false);
  redraw_ = true;
}

void Kest_IKnobControlText::SetValueFromHost(double value) {
  if (!std::isfinite(value)) return;
  Sync();
  IControl::SetValueFromHost(value);
}

void Kest_IKnobControlText::SetValueFromEntry(double value) {
  if (state_ == kEntryOpen) state_ = kIdle;
  if (!std::isfinite(value)) return;
  IControl::SetValueFromEntry(value);
  lastValue_ = value_;
}

void Kest_IKnobControlText::TextEntryResult(const char* text) {
  if (state_ == kEntryOpen) state_ = kIdle;
  if (ApplyTypedValue(*this, *this, text)) return;
  MarkDirty(false);
  redraw_ = true;
}

void Kest_IKnobControlText::SwitchAB() {
  if (std::fabs(value_ - pointValue_) > kABEpsilon) {
    altValue_ = lastValue_;
    value_ = pointValue_;
  } else {
    value_ = altValue_;
    altValue_ = pointValue_;
  }
  MarkDirty(true);
  lastValue_ = value_;
}

void Kest_IKnobControlText::SetNewABPoint() {
  altValue_ = lastValue_;
  pointValue_ = lastValue_ = value_;
  PostStatusText("Set New A/B Point");
}

void Kest_IKnobControlText::ResetAllToDefault() {
  const IParameter* param = Param();
  const auto& list = points_->Points();
  const ValuePoint& point = list[static_cast<std::size_t>(
      std::clamp(points_->SelectedPoint(), 0, static_cast<int>(list.size()) - 1))];
  const double v = param ? NormaliseValue(*param, point.defaultValue) : 0.0;
  value_ = pointValue_ = altValue_ = lastValue_ = v;
  PostStatusText("Reset to Default A/B Point");
}

void Kest_IKnobControlText::ToggleLock() {
  if (IParameter* param = Param()) param->SetLocked(!param->Locked());
}

void Kest_IKnobControlText::ShowMenu(int x, int y) {
  if (!graphics_) return;
  IMenu menu;
  menu.AddItem("Switch A/B Point");
  menu.AddItem("Set New A/B Point");
  menu.AddItem("Reset All to Default");
  menu.AddItem("Lock", IsLocked() ? IMenuItem::kChecked : 0);
  const auto& list = points_->Points();
  if (points_->HasValuePoints()) {
    menu.AddSeparator();
    for (std::size_t i = 0; i < list.size(); ++i)
      menu.AddItem(list[i].name, static_cast<int>(i) == points_->SelectedPoint() ? IMenuItem::kChecked : 0);
  }
  const IRect at{x, y, x + 10, y + 10};
  const IMenu* chosen = graphics_->ShowPopupMenu(menu, at);
  if (chosen == &menu && menu.chosen >= 0) {
    PostStatusText("");
    const int item = menu.chosen;
    if (item == kMenuSwitchAB) {
      SwitchAB();
    } else if (item == kMenuSetAB) {
      SetNewABPoint();
    } else if (item == kMenuReset) {
      ResetAllToDefault();
    } else if (item == kMenuLock) {
      ToggleLock();
    } else if (item >= kMenuFirstPoint && item - kMenuFirstPoint < static_cast<int>(list.size())) {
      const int i = item - kMenuFirstPoint;
      const std::string name = list[static_cast<std::size_t>(i)].name;
      SelectValuePoint(i, 0.0, false);
      PostStatusText((name + " Loaded").c_str());
    }
  }
  MarkDirty(true);
}

void Kest_IKnobControlText::AddValuePoint(const ValuePoint& point) { points_->AddValuePoint(point); }

void Kest_IKnobControlText::SelectValuePoint(int i, double x, bool useX) {
  IParameter* param = Param();
  if (!param || !points_->SelectValuePoint(*param, i, x, useX)) return;
  ApplySelection();
}

bool Kest_IKnobControlText::HasValuePoints() const { return points_->HasValuePoints(); }

bool Kest_IKnobControlText::SelectValuePointAt(double value) {
  const auto& list = points_->Points();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].min <= value && value <= list[i].max) {
      SelectValuePoint(static_cast<int>(i), value, true);
      return true;
    }
  }
  return false;
}

}  // namespace tessaro
