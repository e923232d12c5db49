#include "editor/EditorPreview.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/IParameter.h"
#include "core/IPlugBase.h"

namespace tessaro {
namespace {

// Parameter indices of the plug-in, as the finished layout binds them.
enum : int {
  kInputTrim = 0,
  kAmount = 1,
  kMarginLevel = 2,
  kMeterType = 4,
  kMeterView = 5,
  kAutoGainCompare = 6,
  kOversampleMode = 9,
  kOversampleRate = 10,
  kIspProtect = 11,
  kLimiter = 15,
  kSpectrum = 12,
  kInputWave = 13,
  kOutputWave = 14,
  kBypass = 18,
  kAutoLearnTrim = 19,
  kUndo = 21,
  kRedo = 22,
  kABCopy = 23,
  kABCompare = 24,
};

constexpr IColour kTextColour{255, 210, 210, 210};

}  // namespace

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

ILimiterMenuControl::ILimiterMenuControl(IPlugBase* plug, const IRect& rect, int paramIdx, const ITextStyle& style,
                                         std::vector<std::string> names)
    : ITextControl(plug, rect, style, ""), names_(std::move(names)) {
  paramIdx_ = paramIdx;
}

int ILimiterMenuControl::Selected() const {
  const IParameter* param = Param();
  return param ? static_cast<int>(param->FromNormalised(value_)) : 0;
}

void ILimiterMenuControl::Paint(IGraphics& graphics) {
  const int k = Selected();
  SetText(k >= 0 && k < static_cast<int>(names_.size()) ? names_[static_cast<std::size_t>(k)].c_str() : "");
  ITextControl::Paint(graphics);
}

void ILimiterMenuControl::MouseDown(int, int, const IMouseState&) {
  IParameter* param = Param();
  if (!graphics_ || !param || names_.empty()) return;
  IMenu menu;
  const int current = Selected();
  for (std::size_t i = 0; i < names_.size(); ++i) {
    menu.AddItem(names_[i], static_cast<int>(i) == current ? IMenuItem::kChecked : 0);
  }
  IMenu* chosen = graphics_->ShowPopupMenu(menu, rect_);
  if (chosen == &menu && chosen->chosen >= 0) SetValueFromEntry(NormaliseValue(*param, chosen->chosen));
}

void BuildPreviewLayout(IGraphics& g, ycairo_canvas& canvas, IPlugBase& plug, const PreviewTexts& texts) {
  IPlugBase* p = &plug;
  g.AddBackgroundPanel({255, 6, 6, 6});
  g.AddControl(new IBitmapControl(p, 0, 0, -1, g.LoadBitmap(103, "resources/img/kestbackground.png", 1)));

  struct Button {
    int x, y, param, id, frames;
    const char* name;
  };
  const Button switches[] = {
      {888, 5, kBypass, 106, 2, "resources/img/bypass_button.png"},
      {999, 5, kAutoGainCompare, 102, 2, "resources/img/autogain_button.png"},
      {1023, 464, kAutoLearnTrim, 108, 2, "resources/img/learn_button.png"},
      {140, 690, kSpectrum, 120, 2, "resources/img/FFT_button.png"},
      {198, 690, kInputWave, 121, 2, "resources/img/inwave_button.png"},
      {248, 690, kOutputWave, 122, 2, "resources/img/outwave_button.png"},
      {112, 5, kABCompare, 104, 2, "resources/img/but_AB.png"},
      {192, 5, kABCopy, 105, 2, "resources/img/but_ABCopy.png"},
      {704, 690, kOversampleMode, 116, 5, "resources/img/oversample_button.png"},
      {868, 690, kOversampleRate, 115, 4, "resources/img/orate_button.png"},
      {936, 690, kIspProtect, 110, 2, "resources/img/ISP_button.png"},
      {312, 690, kMeterType, 117, 5, "resources/img/vutype_button.png"},
      {1158, 5, kMeterView, 107, 3, "resources/img/inmeter_button.png"},
  };
  for (const Button& b : switches) {
    g.AddControl(new ISwitchControl(p, b.x, b.y, b.param, g.LoadBitmap(b.id, b.name, b.frames)));
  }
  IBitmapStrip* undo = g.LoadBitmap(118, "resources/img/undo.png", 2);
  IBitmapStrip* redo = g.LoadBitmap(119, "resources/img/redo.png", 2);
  g.AddControl(new IContactControl(p, 288, 3, kUndo, undo));
  g.AddControl(new IContactControl(p, 336, 3, kRedo, redo));
  g.AddControl(
      new IBitmapControl(p, 1102, 350, -1, g.LoadBitmap(112, "resources/img/LED_Level_indicator.png", 72)));
  g.AddControl(new IBitmapControl(p, 1102, 42, -1, g.LoadBitmap(123, "resources/img/ISP_indicator.png", 72)));

  IBitmapStrip* big = g.LoadBitmap(113, "resources/img/knobbig.png", 72);
  IBitmapStrip* small = g.LoadBitmap(114, "resources/img/knobsmall.png", 72);
  struct Knob {
    IRect rect;
    int param;
    IBitmapStrip* strip;
  };
  const Knob knobs[] = {
      {{1022, 68, 1122, 168}, kAmount, big},
      {{1036, 228, 1108, 300}, kMarginLevel, small},
      {{1036, 366, 1108, 438}, kInputTrim, small},
  };
  for (const Knob& k : knobs) {
    auto* knob = new IKnobStripControl(p, k.rect, k.param, k.strip);
    knob->DisablePrompt(false);  // a right click types the value
    g.AddControl(knob);
    // The value sits in the gap between the ends of the knob's sweep.
    const bool isBig = k.strip == big;
    const IRect value = isBig ? IRect{k.rect.L, k.rect.B - 16, k.rect.R, k.rect.B}
                              : IRect{k.rect.L, k.rect.B - 13, k.rect.R, k.rect.B + 1};
    g.AddControl(new IParamValueText(p, &canvas, value, k.param, isBig ? 12.0 : 10.0, kTextColour));
  }

  ITextStyle preset("Ubuntu", 25, {255, 127, 127, 127});
  preset.quality = ITextStyle::kClearType;
  g.AddControl(new ITextControl(p, {376, 5, 876, 31}, preset, texts.presetName.c_str()));
  ITextStyle selector("Ubuntu", 20, {255, 255, 130, 0});
  selector.quality = ITextStyle::kClearType;
  g.AddControl(new ILimiterMenuControl(p, {998, 681, 1144, 714}, kLimiter, selector, texts.limiterTypeNames));
}

}  // namespace tessaro
