// Parameter indices, shared by the engine, the editor and the tests. The
// order is part of the stored state: never reorder.
#pragma once

namespace tessaro {

enum ParamIndex : int {
  kInputTrim = 0,
  kAmount,
  kMarginLevel,
  kMarginSetting,
  kMeterType,
  kMeterView,
  kAutoGainCompare,
  kHistory,
  kDbScale,
  kOversampleMode,
  kOversampleRate,
  kIspProtect,
  kMeterViewSpectrum,  // second parameter named "Meter View": waveform or spectrum
  kShowInputWave,
  kShowOutputWave,
  kLimiter,
  kLimitCharacter,
  kTransientCharacter,
  kBypass,  // first internal parameter
  kAutoLearnTrim,
  kLimiterType,
  kUndo,
  kRedo,
  kABCopy,
  kABCompare,
  kSaveDefaultSetting,
  kResetDefaultSetting,
  kEditXmlConfig,
  kNumParams,
  kNumHostParams = kBypass,
};

}  // namespace tessaro
