#include "editor/Kest_PopupMenu.h"

#include <algorithm>
#include <cmath>

#include "core/IParameter.h"
#include "editor/IGraphics.h"

namespace tessaro {
namespace {

int CairoAlignment(int styleAlign) {
  if (styleAlign == ITextStyle::kLeft) return ycairo_text::kLeft;
  if (styleAlign == ITextStyle::kRight) return ycairo_text::kRight;
  return ycairo_text::kCentre;
}

}  // namespace

Kest_PopupMenu::Kest_PopupMenu(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect,
                               const ITextStyle& style, const IColour& background, int paramIdx)
    : IControl(plug, rect, paramIdx),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      background_(background),
      textAlign_(CairoAlignment(style.align)),
      unscaledStyle_(style) {
  textStyle_ = style;
  // Negative until the plug-in or the user sets it.
  value_ = -1.0;
}

void Kest_PopupMenu::AddItem(const char* text) {
  texts_.emplace_back(text ? text : "");
  menu_.AddItem(texts_.back());
  if (texts_.size() == 1) selectedText_ = texts_.front();
}

double Kest_PopupMenu::ValueOf(int i) const {
  // A one-item list has nowhere to spread to: its item is 0.
  const int n = NumItems();
  return n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
}

void Kest_PopupMenu::Choose(int i) {
  for (IMenuItem& item : menu_.items) item.flags &= ~IMenuItem::kChecked;
  selected_ = i;
  menu_.items[static_cast<std::size_t>(i)].flags |= IMenuItem::kChecked;
  value_ = ValueOf(i);
  if (IParameter* param = Param()) param->Set(param->FromNormalised(value_));
  selectedText_ = texts_[static_cast<std::size_t>(i)];
}

void Kest_PopupMenu::SelectItem(int i) {
  if (texts_.empty()) return;
  Choose(std::clamp(i, 0, NumItems() - 1));
  MarkDirty(true);
}

void Kest_PopupMenu::SetValueFromHost(double value) {
  if (!std::isfinite(value)) return;
  IControl::SetValueFromHost(value);
  // Automation moves the shown item too; nothing goes back to the plug-in.
  if (texts_.empty() || value_ < 0.0) return;
  const int i = std::clamp(static_cast<int>(std::lround(std::clamp(value_, 0.0, 1.0) * (NumItems() - 1))), 0,
                           NumItems() - 1);
  selected_ = i;
  selectedText_ = texts_[static_cast<std::size_t>(i)];
}

void Kest_PopupMenu::MouseDown(int, int, const IMouseState&) {
  if (graphics_ && !texts_.empty()) {
    for (IMenuItem& item : menu_.items) item.flags &= ~IMenuItem::kChecked;
    menu_.items[static_cast<std::size_t>(std::clamp(selected_, 0, NumItems() - 1))].flags |=
        IMenuItem::kChecked;
    menu_.chosen = -1;
    const IMenu* chosen = graphics_->ShowPopupMenu(menu_, rect_);
    if (chosen == &menu_ && menu_.chosen >= 0 && menu_.chosen < NumItems()) Choose(menu_.chosen);
  }
  redraw_ = true;
  MarkDirty(true);
}

void Kest_PopupMenu::MouseOver(int, int, const IMouseState&) {
  if (outlineOption_ && !outlineShown_) {
    outlineShown_ = true;
    MarkDirty(false);
  }
}

void Kest_PopupMenu::MouseLeave() {
  if (!outlineShown_) return;
  outlineShown_ = false;
  MarkDirty(false);
}

void Kest_PopupMenu::SetHoverOutline(bool on, const IColour& colour) {
  outlineOption_ = on;
  outlineColour_ = colour;
  if (!on) outlineShown_ = false;
}

void Kest_PopupMenu::SetScale(double factor) {
  if (!std::isfinite(factor) || factor <= 0.0) return;
  textStyle_ = unscaledStyle_;
  textStyle_.size = static_cast<int>(std::trunc(unscaledStyle_.size * factor));
  textStyle_.cachedFont = nullptr;
  MarkDirty(false);
}

void Kest_PopupMenu::Paint(IGraphics& graphics) {
  const bool unset = !(value_ >= 0.0);
  if (unset) {
    // Shown as item 0 without touching the parameter, which a paint must not.
    selected_ = 0;
    selectedText_ = texts_.empty() ? std::string() : texts_.front();
  } else if (cairo_t* cr = Context()) {
    BeginPaint(rect_);
    cairo_set_source_rgba(cr, background_.R / 255.0, background_.G / 255.0, background_.B / 255.0,
                          background_.A / 255.0);
    cairo_rectangle(cr, rect_.L, rect_.T, rect_.W(), rect_.H());
    cairo_fill(cr);
    IColour colour = textStyle_.colour;
    if (greyed_) {
      colour = {255, (colour.R + background_.R) / 2, (colour.G + background_.G) / 2,
                (colour.B + background_.B) / 2};
    }
    const IRect box{rect_.L + 2, rect_.T, rect_.R - 2, rect_.B};
    if (!selectedText_.empty()) ShowText(cr, selectedText_.c_str(), textStyle_.size, colour, box, textAlign_);
    EndPaint();
  }
  if (outlineShown_) {
    // OutlineRect draws on right and bottom themselves; kept inside the
    // control, the outline is erased with it when the pointer leaves.
    graphics.OutlineRect(outlineColour_, {rect_.L, rect_.T, rect_.R - 1, rect_.B - 1});
    graphics.OutlineRect(outlineColour_, {rect_.L + 1, rect_.T + 1, rect_.R - 2, rect_.B - 2});
  }
}

}  // namespace tessaro
