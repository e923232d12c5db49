// The XY character pad: a dot the user drags over an inner area, editing two
// parameters at once (horizontal and vertical) through the control's two
// auxiliary entries; it has no parameter of its own. IXYPad holds the
// mapping and the input; IXYPad_cairo draws the dot, the crosshair and the
// value text with cairo. Editor thread only.
#pragma once

#include "editor/IControl.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"

namespace tessaro {

class IUndoRecorder;

class IXYPad : public IControl, public ZeroObject {
 public:
  enum State : int { kIdle = 0, kHovered = 1, kDragging = 2 };
  enum Entry : int { kHorizontal = 0, kVertical = 1 };
  static constexpr int kUnscaledInset = 4;
  static constexpr int kUnscaledRadius = 7;

  IXYPad(IPlugBase* plug, const IRect& rect, const ITextStyle& style, int horizontalParam = 16,
         int verticalParam = 17);

  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse) override;
  void MouseUp(int x, int y, const IMouseState& mouse) override;
  void DoubleClick(int x, int y, const IMouseState& mouse) override;
  void MouseOver(int x, int y, const IMouseState& mouse) override;
  void MouseLeave() override;
  void SetRect(const IRect& rect) override;
  void SetScale(double factor) override;
  // Marks the pad dirty and, with push, sends both entries to the plug-in
  // (horizontal, then vertical).
  void MarkDirty(bool push = true) override;
  void SetAuxValueFromHost(int entry, double value) override;

  // Idle dot, idle ring, active ring and dot, crosshair.
  void SetColours(const IColour& idleDot, const IColour& idleRing, const IColour& active,
                  const IColour& crosshair);
  void SetRadii(int markerRadius, int dotRadius);
  // Receives the presses of every button but the left one.
  void SetRightButtonDelegate(IControl* delegate) { delegate_ = delegate; }
  // Records an undo step when a gesture on the pad ends.
  void SetUndoRecorder(IUndoRecorder* recorder) { undo_ = recorder; }

  // Maps an editor point onto both entries.
  void MapPoint(double x, double y);
  double Horizontal() const;
  double Vertical() const;
  // Where the dot is, 1 to 4, for placing the value text.
  int Quadrant() const { return quadrant_; }
  int GetState() const { return state_; }
  const IRect& InnerRect() const { return inner_; }
  int Inset() const { return inset_; }
  int DotRadius() const { return dotRadius_; }
  int MarkerRadius() const { return markerRadius_; }
  // The centre of the dot in editor pixels.
  double DotX() const;
  double DotY() const;

 protected:
  static int QuadrantOf(double h, double v);
  void RecordUndo();

  IRect inner_;
  int inset_ = kUnscaledInset;
  int dotRadius_ = kUnscaledRadius;
  int markerRadius_ = kUnscaledRadius;
  int unscaledDot_ = kUnscaledRadius;
  int unscaledMarker_ = kUnscaledRadius;
  ITextStyle unscaledStyle_;
  IColour idleDot_{255, 255, 130, 0};
  IColour idleRing_{255, 255, 130, 0};
  IColour active_{255, 255, 255, 255};
  IColour crosshair_{255, 255, 255, 255};
  int quadrant_ = 3;
  int state_ = kIdle;
  IControl* delegate_ = nullptr;
  IUndoRecorder* undo_ = nullptr;
};

class IXYPad_cairo : public IXYPad, public ycairo_gui, public ycairo_text {
 public:
  IXYPad_cairo(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, const ITextStyle& style,
               int horizontalParam = 16, int verticalParam = 17);
  void Paint(IGraphics& graphics) override;
  // "h, v" as the pad shows it while hovered or dragged.
  std::string ValueText() const;
  // The value text's box for the current dot and quadrant.
  IRectD ValueTextBox() const;
};

}  // namespace tessaro
