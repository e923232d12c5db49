// Two plain controls: a knob drawn from a picture strip and a parameter's
// value text drawn with cairo.
#pragma once

#include <string>

#include "editor/IGraphics.h"
#include "editor/ycairo.h"

namespace tessaro {

// A picture strip turned by the value.
class IKnobStripControl : public IKnobControl {
 public:
  IKnobStripControl(IPlugBase* plug, const IRect& rect, int paramIdx, IBitmapStrip* strip);
  void Paint(IGraphics& graphics) override;
  // The right button asks for a typed value; the left one turns the knob.
  void MouseDown(int x, int y, const IMouseState& mouse) override;

 private:
  IBitmapStrip* strip_;
};

// A parameter's display text and unit drawn with cairo in the embedded font.
class IParamValueText : public IControl, public ycairo_gui, public ycairo_text {
 public:
  IParamValueText(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, int paramIdx, double size,
                  IColour colour);
  void Paint(IGraphics& graphics) override;

 private:
  double size_;
  IColour colour_;
};

}  // namespace tessaro
