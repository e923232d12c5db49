#include "plugin/Tessaro_v2.h"

#include <algorithm>
#include <cmath>

#include "meters/DisplayThemes.h"
#include "plugin/SharedDither.h"

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace tessaro {
namespace {

IPlugConfig PlugConfig() {
  IPlugConfig c{};
  c.hostParams = kNumHostParams;
  c.internalParams = kNumParams - kNumHostParams;
  c.programs = Tessaro_v2::kNumPrograms;
  c.ioString = "1-1 2-2";
  c.effectName = "Tessaro_v2";
  c.productName = "";
  c.vendorName = "Kest-Audio";
  c.uniqueId = vst2::FourCC('Q', '7', 'm', 'R');
  c.manufacturerId = vst2::FourCC('K', 'S', 'T', 'a');
  c.version = 0x0002010A;
  c.usesChunks = true;
  c.isInstrument = false;
  c.usesMidi = false;
  c.latency = 2048;
  return c;
}

}  // namespace

Tessaro_v2::Tessaro_v2(audioMasterCallback host) : IPlugVST(host, PlugConfig()), config_(EffectName()) {
#if defined(__x86_64__) || defined(__i386__)
  constructionTicks_ = __rdtsc();
#endif
  SharedDither::OfferSeed(constructionTicks_);
  DefineParameters();
  ApplyDisplayTheme(GetDisplayTheme(DisplayThemeId::kDefault), &display_);
  // The Margin Level knob offers a second, wider range for post production.
  knobs_.emplace_back(kMarginLevel, params_[kMarginLevel]);
  knobs_.back().AddValuePoint({-1.0, -10.0, 0.0, 0.75, 0.1, "dB", "Post Production"});

  meters_.Register(&registry_);
  autoGain_.Register(&registry_);
  autoGain_.agRatio.SetLevel(1.0);  // switching the comparison on never mutes
  core_.BindDistortionEnvelopes(&meters_.distA0, &meters_.distA1, &meters_.distB0, &meters_.distB1);
  for (LoudnessFollower& l : loudness_) l.Configure(SampleRate());
  autoGain_.Configure(SampleRate(), this);
  UpdateMeterBallistics(meters_, meterType_, SampleRate(), factor_, true, this);
  ApplyLimiterType(false);
  ConfigureOversampling();
  StartFade(0.1);

  CreateFactoryPrograms();
  // The default library's first preset always holds the fresh default state.
  presets_.OpenDefaultPresetFile(presets_.CurrentStateText());
  ReadConfiguration();
  BuildEditor();
}

// The construction order is the one the parameter set has always been built
// in; the indices, not this order, define the state layout.
void Tessaro_v2::DefineParameters() {
  auto& p = params_;
  p[kAmount].DefineDouble("Amount", 0.0, 0.0, 36.0, 0.01, "");
  p[kAmount].SetCurveShape(1.5);
  p[kInputTrim].DefineDouble("Input Trim", 0.0, -12.0, 24.0, 0.1, "dB");
  p[kDbScale].DefineDouble("dB Scale", -24.0, -100.0, -0.5, 1.0, "dB");
  p[kDbScale].SetCurveShape(0.5);
  p[kHistory].DefineDouble("History", 30.0, 0.5, 120.0, 0.5, "sec");
  p[kHistory].SetCurveShape(2.0);
  p[kLimitCharacter].DefineDouble("Limit Character", 50.0, 0.0, 100.0, 0.1, "%");
  p[kMarginLevel].DefineDouble("Margin Level", -0.5, -1.5, 0.0, 0.01, "dB");
  p[kMarginSetting].DefineInt("Margin Setting", 1, 0, 2, "dB");
  p[kMarginSetting].AddDisplayText(0, "-0.1dB");
  p[kMarginSetting].AddDisplayText(1, "-0.5dB");
  p[kMarginSetting].AddDisplayText(2, "-1.0dB");
  p[kTransientCharacter].DefineDouble("Transient Character", 50.0, 0.0, 100.0, 0.1, "%");
  p[kMeterType].DefineInt("Meter Type", 0, 0, 4);
  p[kMeterView].DefineInt("Meter View", 0, 0, 2);
  p[kBypass].DefineBool("Bypass", false);
  p[kAutoGainCompare].DefineBool("Auto Gain Compare", false);
  p[kOversampleMode].DefineInt("Oversample Mode", 0, 0, 4);
  for (int i = 0; const char* text : {"OFF", "MINIMAL LQ", "MINIMAL HQ", "LINEAR LQ", "LINEAR HQ"})
    p[kOversampleMode].AddDisplayText(i++, text);
  p[kOversampleRate].DefineInt("Oversample Rate", 0, 0, 3);
  for (int i = 0; const char* text : {"2X", "4X", "8X", "16X"}) p[kOversampleRate].AddDisplayText(i++, text);
  p[kIspProtect].DefineBool("ISP Protect", false);
  p[kAutoLearnTrim].DefineBool("Auto Learn-Trim", false);
  p[kABCompare].DefineInt("AB Compare", 0, 0, 1);
  p[kABCompare].SetAutomatable(false);
  p[kABCopy].DefineInt("AB Copy", 0, 0, 1);
  p[kABCopy].SetAutomatable(false);
  p[kUndo].DefineBool("Undo", false);
  p[kUndo].SetAutomatable(false);
  p[kRedo].DefineBool("Redo", false);
  p[kRedo].SetAutomatable(false);
  p[kLimiterType].DefineInt("Limiter Type", 0, 0, kNumLimiterTypes - 1);
  p[kLimiter].DefineInt("Limiter", 0, 0, kNumLimiterTypes - 1);
  p[kMeterViewSpectrum].DefineBool("Meter View", false);
  p[kMeterViewSpectrum].SetAutomatable(false);
  p[kShowInputWave].DefineBool("Show Input Wave", true);
  p[kShowInputWave].SetAutomatable(false);
  p[kShowOutputWave].DefineBool("Show Output Wave", true);
  p[kShowOutputWave].SetAutomatable(false);
  p[kSaveDefaultSetting].DefineBool("Savet Default Setting", false);
  p[kResetDefaultSetting].DefineBool("Reset Default Setting", false);
  p[kEditXmlConfig].DefineBool("Edit XML Config", false);
}

Tessaro_v2::~Tessaro_v2() {
  // Neither the audio thread nor the base may reach the editor while it goes.
  AttachDisplay(nullptr);
  AttachEditor(nullptr);
  gui_.graphics.reset();
  gui_.canvas.reset();
}

}  // namespace tessaro
