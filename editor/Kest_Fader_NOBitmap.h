// A fader drawn with cairo: a track box, a thumb that lights while the fader
// is active, and the value on a label next to the thumb. Presses beside the
// thumb step towards the pointer, on it they grab it; Shift or Alt move it
// finely. Editor thread only.
#pragma once

#include "editor/IControl.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"

namespace tessaro {

class IUndoRecorder;

class Kest_Fader_NOBitmap : public IControl, public ycairo_gui, public ycairo_text, public ZeroObject {
 public:
  enum Orientation : int { kVertical = 0, kHorizontal = 1 };
  // Label placements this fader draws (0 is none): always shown above the
  // thumb, and shown while active above the thumb (3) or right of it (12).
  enum LabelPlacement : int {
    kNoLabel = 0,
    kLabelAlwaysAbove = 1,
    kLabelAboveThumb = 3,
    kLabelRightOfThumb = 12
  };
  static constexpr int kUnscaledThumb = 12;

  Kest_Fader_NOBitmap(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, int paramIdx,
                      const IColour& background, const IColour& border, const IColour& thumb,
                      const IColour& activeThumb, int orientation);

  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse) override;
  void MouseUp(int x, int y, const IMouseState& mouse) override;
  void DoubleClick(int x, int y, const IMouseState& mouse) override;
  void Wheel(int x, int y, const IMouseState& mouse, int steps) override;
  void MouseOver(int x, int y, const IMouseState& mouse) override;
  void MouseLeave() override;
  void SetRect(const IRect& rect) override;
  void SetScale(double factor) override;
  void SetValueFromHost(double value) override;
  void SetValueFromEntry(double value) override;
  void TextEntryResult(const char* text) override;

  void SetLabel(int placement, const ITextStyle& style);
  void SetActiveThumbColour(const IColour& colour);
  void SetUndoRecorder(IUndoRecorder* recorder) { undo_ = recorder; }

  // The thumb for the current value (fractional, in editor pixels).
  IRectD ThumbRect() const;
  // The label box (after growing) for the current value, or empty.
  IRectD LabelBox();
  bool IsActive() const { return active_; }
  int Orientation() const { return orientation_; }
  int LabelPlacement() const { return label_; }
  const IRect& TrackRect() const { return track_; }
  const IRect& LastPromptRect() const { return promptRect_; }

 private:
  // Press and drag share one rule.
  void Move(int x, int y, int dX, int dY, const IMouseState& mouse);
  bool LabelVisible() const;
  std::string LabelText();
  // The area a label can reach, painted with the fader so the label is
  // erased when it moves or goes.
  IRect LabelBand() const;

  IColour background_, border_, thumb_, activeThumb_;
  int borderWidth_ = 1;
  int thumbSize_ = kUnscaledThumb;
  int orientation_;
  double scale_ = 1.0;
  int label_ = kNoLabel;
  ITextStyle unscaledStyle_;
  bool active_ = false;
  IRect track_;  // the given rectangle: travel, hits and thumb
  IRect promptRect_;
  IUndoRecorder* undo_ = nullptr;
};

}  // namespace tessaro
