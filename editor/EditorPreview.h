// A first arrangement of the editor, until the plug-in builds its full
// layout: the background panel and picture, the knobs, buttons, switch lists
// and LEDs on their places, the knob values drawn with cairo, the preset name
// and the limiter type. Every control is bound to the parameter it will carry
// in the finished editor, so what it shows is the plug-in's state.
#pragma once

#include <string>
#include <vector>

#include "editor/IGraphics.h"
#include "editor/ycairo.h"

namespace tessaro {

struct PreviewTexts {
  std::string presetName;
  std::vector<std::string> limiterTypeNames;  // the "Limiter" menu, in value order
};

// Adds the controls to an empty graphics core; the plug-in's AttachEditor
// then pushes its values into them. Editor thread; allocates.
void BuildPreviewLayout(IGraphics& graphics, ycairo_canvas& canvas, IPlugBase& plug,
                        const PreviewTexts& texts);

// The knob of the preview: a picture strip turned by the value.
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

// The limiter type's name; a press opens the menu of every type.
class ILimiterMenuControl : public ITextControl {
 public:
  ILimiterMenuControl(IPlugBase* plug, const IRect& rect, int paramIdx, const ITextStyle& style,
                      std::vector<std::string> names);
  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;

 private:
  int Selected() const;
  std::vector<std::string> names_;
};

}  // namespace tessaro
