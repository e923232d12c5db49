// The knob with its value text: a picture strip turned by the value, the
// parameter's display text placed around it, switchable value ranges (value
// points), an A/B memory of two values, a lock that shows a padlock, a menu
// on the right button and a typed value on the text. Status texts go to the
// message line through the registry the knob joined. Editor thread only.
#pragma once

#include <memory>
#include <string>

#include "editor/IControl.h"
#include "editor/KnobValuePoints.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"

namespace tessaro {

class IUndoRecorder;

class Kest_IKnobControlText : public IKnobControl, public ycairo_gui, public ycairo_text, public ZeroObject {
 public:
  // Where the value text lies relative to the picture.
  enum Placement : int {
    kTextBelow = 0,
    kTextBelowSpaced = 1,
    kTextOverBottom = 2,
    kTextCentred = 3,
    kTextAbove = 4,
    kTextRight = 5,
    kNoText = 6
  };
  enum State : int { kIdle = 0, kHovered = 1, kActive = 2, kEntryOpen = 3 };
  // Menu items, in menu order; the value points follow a separator.
  enum MenuItem : int { kMenuSwitchAB = 0, kMenuSetAB, kMenuReset, kMenuLock, kMenuFirstPoint = 5 };

  // The knob works on `points` when given (the plug-in keeps it, and it must
  // outlive the knob); otherwise it makes its own from the parameter.
  Kest_IKnobControlText(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, int paramIdx,
                        IBitmapStrip* strip, const ITextStyle& style, KnobRanges* points = nullptr);

  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse) override;
  void Wheel(int x, int y, const IMouseState& mouse, int steps) override;
  void DoubleClick(int x, int y, const IMouseState& mouse) override;
  void MouseOver(int x, int y, const IMouseState& mouse) override;
  void MouseLeave() override;
  void SetScale(double factor) override;
  void SetRect(const IRect& rect) override;
  void SetValueFromHost(double value) override;
  void SetValueFromEntry(double value) override;
  void TextEntryResult(const char* text) override;
  bool HasValuePoints() const override;
  bool SelectValuePointAt(double value) override;

  void SetTextPlacement(int placement);
  void SetCustomText(const char* text);  // null or empty switches back to the value
  void SetHideUnit(bool hide);
  void SetUndoRecorder(IUndoRecorder* recorder) { undo_ = recorder; }

  void AddValuePoint(const ValuePoint& point);
  // Re-ranges the parameter to point i; nothing for an index past the list.
  void SelectValuePoint(int i, double x, bool useX);
  KnobRanges& ValuePoints() { return *points_; }

  // The A/B memory and the menu's actions.
  void SwitchAB();
  void SetNewABPoint();
  void ResetAllToDefault();
  void ToggleLock();

  int GetState() const { return state_; }
  int TextPlacement() const { return placement_; }
  int TextAlignment() const { return textAlign_; }
  const IRect& PictureRect() const { return pictureRect_; }
  const IRect& TextBox() const { return textBox_; }
  const IRect& KnobRect() const { return knobRect_; }
  const std::string& UnitText() const { return unitText_; }
  double LastValue() const { return lastValue_; }
  double AlternateValue() const { return altValue_; }
  double PointValue() const { return pointValue_; }
  bool IsLocked() const;
  // The frame the value shows, 1-based.
  int Frame() const;
  // The text painted under the knob (empty when none is shown).
  std::string ShownText();
  const IRect& LastPromptRect() const { return promptRect_; }

 private:
  // Picks up a selection made on the model without the knob (a state load).
  void Sync();
  // The control-side part of selecting the model's current point.
  void ApplySelection();
  void LayOut();
  void OpenEntry();
  void ShowMenu(int x, int y);
  void RecordUndo();
  double ResizeFactor() const;
  double DrawScale() const;
  void PaintPadlock();

  IBitmapStrip* strip_;
  IRect pictureRect_;
  IRect textBox_;
  IRect knobRect_;  // the rectangle the layout gave; drags are geared on it
  int placement_ = kTextBelow;
  int textAlign_ = ycairo_text::kCentre;
  ITextStyle unscaledStyle_;
  bool customTextOn_ = false;
  std::string customText_;
  bool hideUnit_ = false;
  std::string unitText_;
  int state_ = kIdle;
  double lastPainted_ = -1.0;
  double lastValue_ = 0.0, altValue_ = 0.0, pointValue_ = 0.0;
  std::unique_ptr<KnobRanges> ownPoints_;
  KnobRanges* points_;
  std::uint32_t seenSelections_ = 0;
  double scale_ = 1.0;
  IUndoRecorder* undo_ = nullptr;
  IRect promptRect_;
};

}  // namespace tessaro
