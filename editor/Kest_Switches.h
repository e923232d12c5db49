// The two switches of the editor drawn from picture strips: Kest_Switch2,
// a switch that lights up under the pointer, and Kest_SwitchShowAll, a
// switch whose press opens a list of all its states in place, raised above
// every other control until a state is chosen, the press lands outside the
// list or the pointer leaves the editor. Editor thread only.
#pragma once

#include <cstdint>

#include "editor/IControl.h"
#include "meters/ZeroObject.h"

namespace tessaro {

// The colours and blend both switches highlight with.
inline constexpr IColour kHoverOverlay{255, 96, 100, 112};
inline constexpr IColour kListShade{185, 36, 36, 36};
inline constexpr IColour kListItemHighlight{255, 50, 54, 67};
inline constexpr IColour kListOutline{255, 0, 0, 0};
inline constexpr IBlend kHighlightBlend{IBlend::kAdd, 0.65f};

class Kest_Switch2 : public ISwitchControl, public ZeroObject {
 public:
  enum Hover : int { kNone = 0, kHovered = 1, kPressed = 2 };

  // The strip's frames are the switch's states; the registry may be null.
  Kest_Switch2(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip,
               ZeroRegistry* registry = nullptr, IBlend blend = {});

  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void DoubleClick(int x, int y, const IMouseState& mouse) override;
  void MouseOver(int x, int y, const IMouseState& mouse) override;
  void MouseLeave() override;
  void Paint(IGraphics& graphics) override;

  int HoverState() const { return hover_; }

 private:
  int hover_ = kNone;
};

class Kest_SwitchShowAll : public ISwitchPopUpControl, public ZeroObject {
 public:
  static constexpr int kDefaultListMargin = 4;

  // The strip is both the closed switch (one frame per state) and, drawn
  // whole, the open list. The indicator, when given, is a small picture drawn
  // at the right edge of the closed switch. The registry may be null.
  Kest_SwitchShowAll(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip,
                     IBitmapStrip* indicator = nullptr, ZeroRegistry* registry = nullptr, IBlend blend = {});

  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void MouseOver(int x, int y, const IMouseState& mouse) override;
  void MouseLeave() override;
  void Wheel(int x, int y, const IMouseState& mouse, int steps) override;
  void Paint(IGraphics& graphics) override;
  // Scales the list margin; the resize controller sets the rectangles.
  void SetScale(double factor) override;
  // A new rectangle (a resize) closes an open list first: its area was
  // computed for the old size.
  void SetRect(const IRect& rect) override;
  void SetTargetRect(const IRect& rect) override;
  // Hidden or greyed, an open list could take no press, yet being raised it
  // would still keep every press from the rest of the editor: it closes.
  void SetHidden(bool hidden) override;
  void SetGreyed(bool greyed) override;

  // A new picture for the switch and its list (the oversampling mode swaps
  // its labels); the list closes first.
  void SetStrips(IBitmapStrip* strip);
  // A separate list picture with all states stacked vertically.
  void SetListStrip(IBitmapStrip* list) { list_ = list; }
  IBitmapStrip* ListStrip() const { return list_; }
  void SetIndicator(IBitmapStrip* indicator) { indicator_ = indicator; }
  void SetListMargin(int margin);
  int ListMargin() const { return margin_; }

  // States whose flag is off are shaded in the list and cannot be chosen.
  // Bad state numbers are ignored; states past 31 are always selectable.
  void SetSelectable(int state, bool selectable);
  bool IsSelectable(int state) const;
  void SetSelectableMask(std::uint32_t mask) { selectable_ = mask; }
  std::uint32_t SelectableMask() const { return selectable_; }

  int States() const;
  bool IsOpen() const { return open_; }
  bool IsHovered() const { return hovered_; }
  // The row under the pointer while open, -1 for none.
  int HoveredRow() const { return hoveredRow_; }
  // The hovered row grown by two pixels, empty without one.
  const IRect& HoveredRowRect() const { return hoveredRect_; }
  // The row (0-based) at editor height y of the open list, -1 outside it.
  int RowAt(int x, int y) const;
  // Closes the list and gives back the closed rectangles and layer.
  void Close();

 private:
  void Open();
  double RowHeight() const;
  int ListHeight() const;
  void MarkAllDirty();

  IBitmapStrip* list_;
  IBitmapStrip* indicator_;
  int margin_ = kDefaultListMargin;
  int unscaledMargin_ = kDefaultListMargin;
  std::uint32_t selectable_ = 0xFFFFFFFFu;
  bool open_ = false;
  bool hovered_ = false;
  int hoveredRow_ = -1;
  IRect hoveredRect_;
  // What the closed switch occupies, restored when the list closes.
  IRect closedRect_;
  IRect closedTarget_;
  IRectD closedDRect_;
};

}  // namespace tessaro
