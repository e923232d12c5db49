#include "editor/EditorPreview.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/IParameter.h"
#include "core/IPlugBase.h"

namespace tessaro {

IKnobStripControl::IKnobStripControl(IPlugBase* plug, const IRect& rect, int paramIdx, IBitmapStrip* strip)
    : IKnobControl(plug, rect, paramIdx), strip_(strip) {}

void IKnobStripControl::Paint(IGraphics& graphics) {
  const int frames = strip_ ? strip_->frames : 1;
  const int k =
      frames < 2 ? 1 : std::clamp(1 + static_cast<int>(std::trunc((frames - 1) * value_ + 0.5)), 1, frames);
  graphics.BlitBitmapFrame(strip_, rect_, k, &blend_);
}

void IKnobStripControl::MouseDown(int x, int y, const IMouseState& mouse) {
  if (mouse.right) {
    PromptUserInput();
    return;
  }
  IKnobControl::MouseDown(x, y, mouse);
}

IParamValueText::IParamValueText(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, int paramIdx,
                                 double size, IColour colour)
    : IControl(plug, rect, paramIdx),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      size_(size),
      colour_(colour) {}

void IParamValueText::Paint(IGraphics&) {
  IParameter* param = Param();
  cairo_t* cr = ycairo_gui::Context();
  if (!param || !cr) return;
  BeginPaint(rect_);
  std::string text = param->DisplayTextFor(value_, true, true);
  if (param->LabelText()[0] != '\0') text += std::string(" ") + param->LabelText();
  ShowText(cr, text.c_str(), size_, colour_, rect_, ycairo_text::kCentre);
  EndPaint();
}

}  // namespace tessaro
