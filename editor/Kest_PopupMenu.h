// The drop-down selector: the selected item's text on a coloured box; a
// press opens the list of every item below it. Its value is the item index
// spread over 0..1. Editor thread only.
#pragma once

#include <string>
#include <vector>

#include "editor/IControl.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"

namespace tessaro {

class Kest_PopupMenu : public IControl, public ycairo_gui, public ycairo_text, public ZeroObject {
 public:
  Kest_PopupMenu(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, const ITextStyle& style,
                 const IColour& background, int paramIdx = 20);

  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void MouseOver(int x, int y, const IMouseState& mouse) override;
  void MouseLeave() override;
  void SetScale(double factor) override;
  void SetValueFromHost(double value) override;

  void AddItem(const char* text);
  // Selects item i (limited to the list), sets the parameter and pushes it.
  void SelectItem(int i);
  // The outline drawn while the pointer is over the selector.
  void SetHoverOutline(bool on, const IColour& colour = {255, 0, 0, 0});

  int NumItems() const { return static_cast<int>(texts_.size()); }
  int Selected() const { return selected_; }
  const std::string& SelectedText() const { return selectedText_; }
  const IMenu& Menu() const { return menu_; }
  bool OutlineShown() const { return outlineShown_; }
  int TextAlignment() const { return textAlign_; }
  // The value item i stands for.
  double ValueOf(int i) const;

 private:
  void Choose(int i);

  std::vector<std::string> texts_;
  IMenu menu_;
  int selected_ = 0;
  std::string selectedText_;
  IColour background_;
  bool outlineOption_ = false;
  bool outlineShown_ = false;
  IColour outlineColour_{255, 0, 0, 0};
  int textAlign_;
  ITextStyle unscaledStyle_;
};

}  // namespace tessaro
