#include "editor/Kest_Switches.h"

#include <algorithm>
#include <cmath>

#include "editor/IGraphics.h"

namespace tessaro {

namespace {

IRect Grown(const IRect& r, int by) { return {r.L - by, r.T - by, r.R + by, r.B + by}; }

}  // namespace

// --- Kest_Switch2 ---

Kest_Switch2::Kest_Switch2(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip,
                           ZeroRegistry* registry, IBlend blend)
    : ISwitchControl(plug, x, y, paramIdx, strip, blend), ZeroObject(registry) {}

void Kest_Switch2::MouseDown(int x, int y, const IMouseState& mouse) {
  hover_ = kPressed;
  // A value that is no number would stay one through the step; start over.
  if (!std::isfinite(value_)) value_ = 0.0;
  ISwitchControl::MouseDown(x, y, mouse);
}

void Kest_Switch2::DoubleClick(int x, int y, const IMouseState& mouse) { MouseDown(x, y, mouse); }

void Kest_Switch2::MouseOver(int, int, const IMouseState&) {
  hover_ = kHovered;
  MarkDirty(false);
}

void Kest_Switch2::MouseLeave() {
  hover_ = kNone;
  MarkDirty(false);
}

void Kest_Switch2::Paint(IGraphics& graphics) {
  IBitmapControl::Paint(graphics);
  if (hover_ == kHovered && !IsGreyedOut()) graphics.FillRect(kHoverOverlay, rect_, &kHighlightBlend);
}

// --- Kest_SwitchShowAll ---

Kest_SwitchShowAll::Kest_SwitchShowAll(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip,
                                       IBitmapStrip* indicator, ZeroRegistry* registry, IBlend blend)
    : ISwitchPopUpControl(plug, x, y, paramIdx, strip, blend),
      ZeroObject(registry),
      list_(strip),
      indicator_(indicator) {}

int Kest_SwitchShowAll::States() const { return strip_ ? std::max(1, strip_->frames) : 1; }

int Kest_SwitchShowAll::ListHeight() const {
  const IBitmapStrip* list = list_ ? list_ : strip_;
  return list ? std::max(0, list->H) : 0;
}

double Kest_SwitchShowAll::RowHeight() const { return static_cast<double>(ListHeight()) / States(); }

void Kest_SwitchShowAll::SetSelectable(int state, bool selectable) {
  if (state < 0 || state >= 32) return;
  const std::uint32_t bit = 1u << state;
  selectable_ = selectable ? (selectable_ | bit) : (selectable_ & ~bit);
}

bool Kest_SwitchShowAll::IsSelectable(int state) const {
  if (state < 0 || state >= States()) return false;
  return state >= 32 || (selectable_ & (1u << state)) != 0;
}

void Kest_SwitchShowAll::SetListMargin(int margin) {
  unscaledMargin_ = std::max(0, margin);
  margin_ = unscaledMargin_;
}

void Kest_SwitchShowAll::SetScale(double factor) {
  if (!std::isfinite(factor) || factor <= 0.0) return;
  margin_ = static_cast<int>(std::trunc(unscaledMargin_ * factor));
}

void Kest_SwitchShowAll::SetRect(const IRect& rect) {
  if (open_) Close();
  ISwitchPopUpControl::SetRect(rect);
}

void Kest_SwitchShowAll::SetTargetRect(const IRect& rect) {
  if (open_) Close();
  ISwitchPopUpControl::SetTargetRect(rect);
}

void Kest_SwitchShowAll::SetHidden(bool hidden) {
  if (hidden) Close();
  ISwitchPopUpControl::SetHidden(hidden);
}

void Kest_SwitchShowAll::SetGreyed(bool greyed) {
  if (greyed) Close();
  ISwitchPopUpControl::SetGreyed(greyed);
}

void Kest_SwitchShowAll::SetStrips(IBitmapStrip* strip) {
  if (open_) Close();
  strip_ = strip;
  list_ = strip;
  MarkDirty(false);
}

void Kest_SwitchShowAll::MarkAllDirty() {
  IGraphics* g = Graphics();
  if (!g) {
    MarkDirty(false);
    return;
  }
  for (int i = 0; i < g->NumControls(); ++i) {
    if (IControl* c = g->GetControl(i)) c->MarkDirty(false);
  }
}

int Kest_SwitchShowAll::RowAt(int x, int y) const {
  if (!open_ || !rect_.Contains(x, y)) return -1;
  const double h = RowHeight();
  if (h <= 0.0) return -1;
  const int row = static_cast<int>(std::floor((y - rect_.T) / h));
  return std::clamp(row, 0, States() - 1);
}

void Kest_SwitchShowAll::Open() {
  IGraphics* g = Graphics();
  const int listH = ListHeight();
  if (!g || listH <= 0) return;
  closedRect_ = rect_;
  closedTarget_ = targetRect_;
  closedDRect_ = drect_;
  open_ = true;
  layer_ = 2;
  // The whole editor: the open list takes every press.
  targetRect_ = {0, 0, g->Width(), g->Height()};
  const IBitmapStrip* list = list_ ? list_ : strip_;
  const int listW = list->W;
  const int half = static_cast<int>(std::trunc(listH / 2.0 + 0.5));
  IRect area{rect_.L, 0, rect_.L + listW, 0};
  if (rect_.T < g->Height() - rect_.B) {
    area.T = std::max(4, rect_.T - half);
    area.B = area.T + listH;
  } else {
    area.B = std::min(rect_.B + half, g->Height() - 4);
    area.T = area.B - listH;
  }
  rect_ = area;
  // The dirty area of a scaled editor is collected in design units.
  const double s = g->DrawScale() > 0.0 ? g->DrawScale() : 1.0;
  drect_ = {area.L / s, area.T / s, area.R / s, area.B / s};
  hoveredRow_ = -1;
  hoveredRect_ = {};
  MarkAllDirty();
}

void Kest_SwitchShowAll::Close() {
  if (!open_) return;
  open_ = false;
  layer_ = 0;
  rect_ = closedRect_;
  targetRect_ = closedTarget_;
  drect_ = closedDRect_;
  hoveredRow_ = -1;
  hoveredRect_ = {};
  MarkAllDirty();
}

void Kest_SwitchShowAll::MouseDown(int x, int y, const IMouseState&) {
  if (!open_) {
    Open();
    return;
  }
  const int row = RowAt(x, y);
  if (row < 0) {
    Close();
    return;
  }
  if (!IsSelectable(row)) return;
  Close();
  const int states = States();
  value_ = states < 2 ? 0.0 : static_cast<double>(row) / (states - 1);
  MarkDirty(true);
}

void Kest_SwitchShowAll::MouseOver(int x, int y, const IMouseState&) {
  if (!open_) {
    hovered_ = true;
    MarkDirty(false);
    return;
  }
  const int row = RowAt(x, y);
  if (row < 0) {
    hoveredRow_ = -1;
    hoveredRect_ = {};
    return;
  }
  hoveredRow_ = row;
  const double h = RowHeight();
  const IRect rowRect{rect_.L, rect_.T + static_cast<int>(std::trunc(row * h)), rect_.R,
                      rect_.T + static_cast<int>(std::trunc((row + 1) * h))};
  hoveredRect_ = Grown(rowRect, 2);
  layer_ = 1;
  MarkDirty(false);
}

void Kest_SwitchShowAll::MouseLeave() {
  Close();
  hovered_ = false;
  MarkDirty(false);
}

void Kest_SwitchShowAll::Wheel(int, int, const IMouseState&, int steps) {
  if (steps == 0) return;
  const int states = States();
  const double step = states < 2 ? 1.0 : 1.0 / (states - 1);
  if (!std::isfinite(value_)) value_ = 0.0;
  value_ += steps < 0 ? step : -step;
  // Wrapping goes by whole states; a hair of rounding is no state of its own.
  if (value_ < -1e-9) {
    value_ = 1.0;
  } else if (value_ > 1.0 + 1e-9) {
    value_ = 0.0;
  } else if (states >= 2) {
    value_ = std::round(value_ * (states - 1)) / (states - 1);
  }
  MarkDirty(true);
}

void Kest_SwitchShowAll::Paint(IGraphics& graphics) {
  if (!open_) {
    const int frames = strip_ ? strip_->frames : 1;
    int frame = 1;
    if (frames >= 2 && std::isfinite(value_)) {
      // A value that is exactly a state must show that state, even when the
      // division that made it rounded a hair low.
      const double v = std::clamp(value_, 0.0, 1.0);
      frame = std::clamp(1 + static_cast<int>(std::trunc((frames - 1) * v + 1e-9)), 1, frames);
    }
    graphics.BlitBitmapFrame(strip_, rect_, frame, &blend_);
    if (indicator_) {
      const int w = indicator_->FrameWidth(), h = indicator_->FrameHeight();
      const int left = static_cast<int>(std::trunc(rect_.R - 1.5 * w));
      const int top = static_cast<int>(std::trunc((rect_.T + rect_.B) / 2.0 - h / 2.0 - 0.5));
      graphics.BlitBitmapFrame(indicator_, {left, top, left + w, top + h}, 1, &blend_);
    }
    if (hovered_ && !IsGreyedOut()) graphics.FillRect(kHoverOverlay, rect_, &kHighlightBlend);
    return;
  }
  const IBitmapStrip* list = list_ ? list_ : strip_;
  graphics.FillRect(kListShade, Grown(rect_, margin_));
  if (list) graphics.BlitBitmap(list, rect_, 0, 0, &blend_);
  // Whatever repaints beneath must not cover the list.
  MarkAllDirty();
  const double h = RowHeight();
  const auto rowRect = [&](int row) {
    return IRect{rect_.L, rect_.T + static_cast<int>(std::trunc(row * h)), rect_.R,
                 rect_.T + static_cast<int>(std::trunc((row + 1) * h))};
  };
  for (int row = 0; row < States(); ++row) {
    if (!IsSelectable(row)) graphics.FillRect(kListShade, rowRect(row));
  }
  if (hoveredRow_ >= 0 && hoveredRow_ < States()) {
    graphics.FillRect(kListItemHighlight, rowRect(hoveredRow_), &kHighlightBlend);
    const IRect& o = hoveredRect_;
    for (int k = 0; k < 3; ++k)
      graphics.OutlineRect(kListOutline, {o.L + k, o.T + k, o.R - 1 - k, o.B - 1 - k});
  }
}

}  // namespace tessaro
