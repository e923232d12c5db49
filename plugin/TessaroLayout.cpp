// The editor's construction: every control on its place of the 1280 x 720
// design, in the order that is also the drawing and hit-testing order (later
// controls lie on top). The history display, the XY trail, the preset line,
// the resize handles and the about panel are not built yet; their places
// stay the background picture.
#include <string>

#include "dsp/LimiterStage.h"
#include "editor/IXYPad.h"
#include "editor/Kest_Fader_NOBitmap.h"
#include "editor/Kest_IKnobControlText.h"
#include "editor/Kest_PopupMenu.h"
#include "editor/Kest_Switches.h"
#include "editor/Kest_TextControls.h"
#include "meters/MeterBallistics.h"
#include "meters/controls/IMeter.h"
#include "meters/controls/ITextVU.h"
#include "meters/controls/MeterLevels.h"
#include "meters/controls/vuLines.h"
#include "plugin/Tessaro_v2.h"

namespace tessaro {
namespace {

ITextStyle Style(int size, IColour colour, IColour entryBackground, IColour entryForeground = {255, 0, 0, 0}) {
  ITextStyle style("Ubuntu", size, colour);
  style.entryBackground = entryBackground;
  style.entryForeground = entryForeground;
  style.quality = ITextStyle::kClearType;
  return style;
}

constexpr IColour kLight{255, 210, 210, 210};
constexpr IColour kPanel{255, 35, 32, 32};
constexpr IColour kAmber{255, 191, 104, 0};
constexpr IColour kOrange{255, 255, 130, 0};
constexpr IColour kRed{255, 193, 76, 71};
constexpr IColour kBlue{255, 25, 112, 179};
constexpr IRect kViewMeter[2] = {{1149, 81, 1174, 716}, {1174, 81, 1199, 716}};
constexpr IRect kOutputMeter[2] = {{1201, 81, 1239, 716}, {1239, 81, 1277, 716}};

}  // namespace

void Tessaro_v2::BuildEditor() {
  gui_ = MakeEditor(this, 1280, 720, configuredFps_);
  IGraphics& g = *gui_.graphics;
  ycairo_canvas* canvas = gui_.canvas.get();
  ZeroRegistry* registry = &registry_;
  const auto strip = [&g](int id, const char* name, int frames) { return g.LoadBitmap(id, name, frames); };

  g.AddBackgroundPanel({255, 6, 6, 6});
  g.AddControl(new IBitmapControl(this, 0, 0, -1, strip(103, "resources/img/kestbackground.png", 1)));
  BuildMeters(g);

  const ITextStyle s18 = Style(18, kLight, {255, 127, 127, 127});
  const ITextStyle s24 = Style(24, kLight, kPanel);
  const ITextStyle s26 = Style(26, kLight, kPanel);
  ITextStyle knobStyle = s18;
  knobStyle.size = 21;
  ITextStyle faderLabel = s18;
  faderLabel.entryBackground = kPanel;
  ITextStyle presetStyle = Style(25, {255, 127, 127, 127}, {255, 255, 255, 255}, {255, 255, 127, 0});
  ITextStyle selectorStyle = s24;
  selectorStyle.size = 20;
  selectorStyle.colour = kOrange;

  auto* history = new Kest_Fader_NOBitmap(this, canvas, {60, 638, 946, 660}, kHistory, {200, 20, 20, 20}, kAmber,
                                          kAmber, kOrange, Kest_Fader_NOBitmap::kHorizontal);
  history->SetLabel(Kest_Fader_NOBitmap::kLabelAboveThumb, faderLabel);
  g.AddControl(history);
  auto* scale = new Kest_Fader_NOBitmap(this, canvas, {6, 92, 28, 588}, kDbScale, {200, 20, 20, 20}, kAmber, kAmber,
                                        kOrange, Kest_Fader_NOBitmap::kVertical);
  scale->SetLabel(Kest_Fader_NOBitmap::kLabelRightOfThumb, faderLabel);
  g.AddControl(scale);
  BuildMeterScales(g, s18);

  struct Switch {
    int x, y, param, id, frames;
    const char* name;
  };
  const auto addSwitches = [&](std::initializer_list<Switch> list) {
    for (const Switch& s : list) {
      g.AddControl(new Kest_Switch2(this, s.x, s.y, s.param, strip(s.id, s.name, s.frames), registry));
    }
  };
  addSwitches({{888, 5, kBypass, 106, 2, "resources/img/bypass_button.png"},
               {999, 5, kAutoGainCompare, 102, 2, "resources/img/autogain_button.png"},
               {1023, 464, kAutoLearnTrim, 108, 2, "resources/img/learn_button.png"},
               {140, 690, kMeterViewSpectrum, 120, 2, "resources/img/FFT_button.png"},
               {198, 690, kShowInputWave, 121, 2, "resources/img/inwave_button.png"},
               {248, 690, kShowOutputWave, 122, 2, "resources/img/outwave_button.png"}});
  learnLed_ = &g.AddControl(
      new IBitmapControl(this, 1102, 350, -1, strip(112, "resources/img/LED_Level_indicator.png", 72)));
  ispIndicator_ =
      &g.AddControl(new IBitmapControl(this, 1102, 42, -1, strip(123, "resources/img/ISP_indicator.png", 72)));
  auto* margin =
      new Kest_SwitchShowAll(this, 1042, 240, kMarginSetting, strip(109, "resources/img/margin_button.png", 3),
                             nullptr, registry);
  g.AddControl(margin);
  IBitmapStrip* undo = strip(118, "resources/img/undo.png", 2);
  IBitmapStrip* redo = strip(119, "resources/img/redo.png", 2);
  g.AddControl(new IContactControl(this, 288, 3, kUndo, undo));
  g.AddControl(new IContactControl(this, 336, 3, kRedo, redo));
  addSwitches({{112, 5, kABCompare, 104, 2, "resources/img/but_AB.png"},
               {192, 5, kABCopy, 105, 2, "resources/img/but_ABCopy.png"}});

  IBitmapStrip* big = strip(113, "resources/img/knobbig.png", 72);
  IBitmapStrip* small = strip(114, "resources/img/knobsmall.png", 72);
  auto* amount = new Kest_IKnobControlText(this, canvas, {1022, 68, 1122, 168}, kAmount, big, knobStyle);
  auto* ceiling = new Kest_IKnobControlText(this, canvas, {1036, 228, 1108, 300}, kMarginLevel, small, knobStyle,
                                            &knobs_.front());
  auto* trim = new Kest_IKnobControlText(this, canvas, {1036, 366, 1108, 438}, kInputTrim, small, knobStyle);
  for (Kest_IKnobControlText* knob : {amount, ceiling, trim}) {
    knob->JoinRegistry(registry);
    g.AddControl(knob);
  }
  inputTrimKnob_ = &trim->IndexField();
  BuildReadouts(g, s18);

  auto* pad = new IXYPad_cairo(this, canvas, {1014, 524, 1128, 638}, s24, kLimitCharacter, kTransientCharacter);
  pad->SetColours({127, 255, 130, 0}, {255, 255, 130, 0}, {255, 255, 255, 255}, {255, 255, 255, 255});
  pad->SetRadii(10, 8);
  pad->JoinRegistry(registry);
  g.AddControl(pad);
  // The preset line comes with the preset browser; until then it names the program.
  const IProgramSlot* program = GetProgram(CurrentProgram());
  presetLine_ = new ITextControl(this, {376, 5, 876, 31}, presetStyle, program ? program->name : "");
  g.AddControl(presetLine_);
  g.AddControl(new Kest_ITextMSGControl(this, canvas, {376, 5, 876, 31}, s26, "", {255, 6, 6, 6}, registry));
  auto* selector = new Kest_PopupMenu(this, canvas, {998, 681, 1144, 714}, selectorStyle, kPanel, kLimiterType);
  for (const LimiterType& type : kLimiterTypes) selector->AddItem(type.name);
  selector->SetHoverOutline(true, kAmber);
  selector->JoinRegistry(registry);
  g.AddControl(selector);

  auto* mode = new Kest_SwitchShowAll(this, 704, 690, kOversampleMode,
                                      strip(116, "resources/img/oversample_button.png", 5), nullptr, registry);
  oversampleModeSwitch_ = &g.AddControl(mode);
  g.AddControl(new Kest_SwitchShowAll(this, 868, 690, kOversampleRate,
                                      strip(115, "resources/img/orate_button.png", 4), nullptr, registry));
  addSwitches({{936, 690, kIspProtect, 110, 2, "resources/img/ISP_button.png"}});
  g.AddControl(new Kest_SwitchShowAll(this, 312, 690, kMeterType, strip(117, "resources/img/vutype_button.png", 5),
                                      nullptr, registry));
  addSwitches({{1158, 5, kMeterView, 107, 3, "resources/img/inmeter_button.png"}});

  AttachEditor(&g);
  g.SetHandleMouseOver(true);
  meterControls_.learnLed = g.GetControl(*learnLed_);
  meterControls_.ispIndicator = g.GetControl(*ispIndicator_);
  meterControls_.registry = registry;
  meterFeed_.SetControls(meterControls_);
  meterFeed_.SetFramesPerSecond(configuredFps_);
  meterControls_.SetDbScale(params_[kDbScale].Value());
  meterControls_.SetMeterView(static_cast<int>(params_[kMeterView].Value()),
                              static_cast<int>(params_[kMeterType].Value()));
  meterControls_.SetMeterType(static_cast<int>(params_[kMeterType].Value()),
                              static_cast<int>(params_[kMeterView].Value()), false);
  meterFeed_.SetControls(meterControls_);
  // What the audio thread publishes reaches the meters on the editor's timer.
  g.SetTimerHook([this] { meterFeed_.Poll(); });
  AttachDisplay(&meterFeed_);
  // The margin choice is made on the knob's ranges; the rate means nothing
  // while oversampling is off.
  margin->SetHidden(true);
  g.HideParamControls(kOversampleRate, params_[kOversampleMode].Value() == 0.0);
}

// The level meters, their bands and peak markers: made in the order meters,
// bands, markers and added in their places of the list.
void Tessaro_v2::BuildMeters(IGraphics& g) {
  ycairo_canvas* canvas = gui_.canvas.get();
  ZeroRegistry* registry = &registry_;
  MeterControls& m = meterControls_;
  const IColour viewColour = AdjustColor(kRed, 100, 100, 50);
  const IColour outputColour = AdjustColor(kBlue, 100, 90, 30);
  for (int ch = 0; ch < 2; ++ch) {
    m.viewMeter[ch] = new IMeter(this, canvas, kViewMeter[ch], registry, viewColour, true, 0.0, -24.0);
    m.outputMeter[ch] = new IMeter(this, canvas, kOutputMeter[ch], registry, outputColour, false, 0.0, -24.0);
  }
  for (int ch = 0; ch < 2; ++ch) {
    m.outputBand[ch] =
        new IMeterRange(this, canvas, kOutputMeter[ch], registry, AdjustColor(kBlue, 100, 60, 50), 10, 0.0, -24.0);
  }
  for (int ch = 0; ch < 2; ++ch) {
    m.inputBand[ch] =
        new IMeterRange(this, canvas, kViewMeter[ch], registry, AdjustColor(kBlue, 80, 100, 25), 6, 0.0, -24.0);
  }
  for (int ch = 0; ch < 2; ++ch) {
    m.viewMarker[ch] = new IMeterBar(this, canvas, kViewMeter[ch], registry, kLight, true, 0.0, -24.0);
  }
  for (int ch = 0; ch < 2; ++ch) {
    m.outputMarker[ch] = new IMeterBar(this, canvas, kOutputMeter[ch], registry, kLight, false, 0.0, -24.0);
  }
  for (int ch = 0; ch < 2; ++ch) {
    g.AddControl(m.viewMeter[ch]);
    g.AddControl(m.inputBand[ch]);
    g.AddControl(m.viewMarker[ch]);
  }
  for (int ch = 0; ch < 2; ++ch) {
    g.AddControl(m.outputMeter[ch]);
    g.AddControl(m.outputBand[ch]);
    g.AddControl(m.outputMarker[ch]);
  }
}

void Tessaro_v2::BuildMeterScales(IGraphics& g, const ITextStyle& style) {
  const auto scale = [&](const IRect& r) {
    auto* lines = new vuLines_cairo(this, gui_.canvas.get(), r, &registry_, {255, 0, 0, 0}, style, kFineTicks.data(),
                                    static_cast<int>(kFineTicks.size()), 0.0, -24.0);
    lines->SetTickLengthFraction(0.4);
    g.AddControl(lines);
    return lines;
  };
  meterControls_.viewScale = scale({1149, 81, 1199, 716});
  meterControls_.outputScale = scale({1201, 81, 1277, 716});
}

void Tessaro_v2::BuildReadouts(IGraphics& g, const ITextStyle& s18) {
  ITextStyle style = s18;
  style.size = 15;
  style.entryBackground = kPanel;
  // The hold is computed for the rate the editor starts with.
  constexpr int kReadoutRate = 30;
  const IRect output[2] = {{1201, 55, 1239, 79}, {1239, 55, 1277, 79}};
  const IRect view[2] = {{1149, 55, 1174, 79}, {1174, 55, 1199, 79}};
  for (int ch = 0; ch < 2; ++ch) {
    meterControls_.outputReadout[ch] =
        new ITextVU(this, gui_.canvas.get(), output[ch], &registry_, style, 10.0, kReadoutRate, true);
    g.AddControl(meterControls_.outputReadout[ch]);
  }
  for (int ch = 0; ch < 2; ++ch) {
    auto* readout = new ITextVU(this, gui_.canvas.get(), view[ch], &registry_, style, 10.0, kReadoutRate, false);
    readout->SetReductionMode(true);
    readout->SetIntegerMode(true);
    meterControls_.viewReadout[ch] = readout;
    g.AddControl(readout);
  }
}

}  // namespace tessaro
