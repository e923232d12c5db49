// Tessaro: a stereo mastering limiter.
#pragma once

#include <array>
#include <deque>
#include <memory>
#include <vector>

#include "core/IPlugVST.h"
#include "dsp/DelayLine.h"
#include "dsp/FIRHalfband.h"
#include "dsp/IIRHalfband.h"
#include "dsp/TruePeak.h"
#include "editor/x11/IGraphicsX11.h"
#include "meters/controls/MeterFeed.h"
#include "meters/DisplaySettings.h"
#include "meters/LoudnessFollower.h"
#include "meters/MeterBallistics.h"
#include "meters/ZeroObject.h"
#include "meters/DisplayFeed.h"
#include "plugin/EditorState.h"
#include "plugin/LimiterCore.h"
#include "plugin/Parameters.h"
#include "settings/Kest_Config.h"
#include "settings/Kest_PresetXML.h"

namespace tessaro {

class Tessaro_v2 : public IPlugVST {
 public:
  static constexpr int kNumPrograms = 20;
  static constexpr int kNumLimiterTypes = 9;
  static constexpr double kStateVersion = 20110.0;
  // States from this version on carry the preset-file fields.
  static constexpr double kPresetFieldsVersion = 20010.0;
  static constexpr std::int32_t kKnobListEnd = static_cast<std::int32_t>(0xFF7BA013);
  static constexpr int kDefaultBlendOperator = 19;  // colour dodge

  // Oversampling families ("Oversample Mode").
  enum OversamplingKind : int { kLinearPhase = 0, kMinimumPhase = 1, kOversamplingOff = 2 };

  explicit Tessaro_v2(audioMasterCallback host);
  ~Tessaro_v2() override;

  // Audio thread, plug-in lock held by the wrapper; never allocates or locks.
  void ProcessBlock(double** inputs, double** outputs, int frames) noexcept override;
  // Any thread; takes the plug-in lock; may allocate (filter and resampler designs).
  void ParameterChanged(int index, int source) override;
  // Host thread (sample rate, block size, processing off); takes the lock; allocates.
  void ResetProcessing() override;
  // After a program became current; takes the lock.
  void ProgramChangedByHost() override;

  // Rebuilds every resampler for the mode, rate, "ISP Protect" and "Bypass";
  // takes the plug-in lock; allocates.
  void ConfigureOversampling();

  // Attaches the editor's displays (null detaches). Takes the plug-in lock.
  void AttachDisplay(DisplayFeed* display);

  // Any thread; takes the plug-in lock; allocates (the chunk grows).
  bool SaveState(IStateChunk& chunk) override;
  // Any thread; takes the plug-in lock.
  int LoadState(const IStateChunk& chunk, int position) override;
  // True when the current sound settings (parameters 0 to 18) occur in the
  // reference state from position on; display settings, the preset-file
  // fields and the internal switches never count as a change.
  bool StateMatches(const IStateChunk& reference, int position) override;
  bool StateMatchesText(const std::string& referenceBase64);

  // The editor-side fields of the state.
  ResizeState& Resize() { return resize_; }
  DisplaySettings& Display() { return display_; }
  // A deque, so that the knob controls may keep pointers into it.
  std::deque<KnobRanges>& Knobs() { return knobs_; }
  int& BlendOperator() { return blendOperator_; }
  Kest_PresetXML& Presets() { return presets_; }
  bool IsLoading() const { return loading_; }

  // Engine reads for tests and the editor (plug-in lock held or audio thread).
  const LimiterCore& Core() const { return core_; }
  int OversamplingFactor() const { return factor_; }
  int OversamplingLatency() const { return osLatency_; }
  int IspLatency() const { return ispLatency_; }
  bool LearnOn() const { return learnOn_; }
  double LearnedPeak() const { return learnedPeak_; }
  double Trim() const { return trim_; }
  Kest_Config& Config() { return config_; }
  int ConfiguredFrameRate() const { return configuredFps_; }
  ZeroRegistry& Registry() { return registry_; }
  // The editor built at construction; it lives as long as the plug-in.
  IGraphics* Graphics() const { return gui_.graphics.get(); }
  MeterEnvelopes& Meters() { return meters_; }

  // Where the last SaveState put the parameter values (field 14) and where
  // the value of parameter 18 ended; the modification check compares them.
  int ParamsStart() const { return paramsStart_; }
  int Param18End() const { return param18End_; }

 protected:
  int ResizeParamCount() const override { return ResizeState::kNumValues; }
  double ResizeParamValue(int i) const override { return resize_.values[static_cast<std::size_t>(i)]; }
  void SetResizeParamClamped(int i, double v) override { resize_.SetValueClamped(i, v); }

 private:
  void DefineParameters();
  // Builds the graphics core, its controls and the canvas, and attaches them.
  void BuildEditor();
  void BuildMeters(IGraphics& g);
  void BuildMeterScales(IGraphics& g, const ITextStyle& style);
  void BuildReadouts(IGraphics& g, const ITextStyle& style);
  void CreateFactoryPrograms();
  void ReadConfiguration();
  void ApplyLimiterType(bool loadCharacterDefaults);
  void LimiterTypeApplied();
  void LimiterTypeChosen(int index);
  void OversampleModeChanged(int mode);
  void OversampleRateChanged(int rate);
  void LearnTrimChanged(bool on);
  void StartFade(double seconds);
  void ReportLatency();
  void PublishBlockEnd(bool quiet);
  // The state as the factory programs of slots 2..14 were stored.
  IStateChunk FactoryState(int slot) const;
  int ReadKnobRanges(const IStateChunk& chunk, int position,
                     std::vector<std::pair<KnobRanges*, int>>& remembered);

  ResizeState resize_;
  DisplaySettings display_;
  std::deque<KnobRanges> knobs_;
  int blendOperator_ = kDefaultBlendOperator;
  bool loading_ = true;  // set until the first reset and while a state loads
  int paramsStart_ = 0;
  int param18End_ = 0;

  // --- engine ---
  // Values derived from the parameters by ParameterChanged; the loop reads them.
  double trim_ = 1.0;
  int meterType_ = 0;
  int meterView_ = 0;
  bool autoGainCompare_ = false;
  double historySeconds_ = 30.0;
  double dbScale_ = -24.0;
  int osKind_ = kOversamplingOff;
  bool lowQuality_ = true;
  int factor_ = 1;
  bool ispProtect_ = false;
  bool bypass_ = false;
  bool learnOn_ = false;
  int learnInRange_ = 0;
  double learnedPeak_ = 0.0;
  bool fadeActive_ = true;
  double fadeSeconds_ = 0.1;
  int fadeCount_ = 0;
  int configuredFps_ = 30;
  // Loop state.
  std::uint32_t sampleCounter_ = 0;
  double threshold_[2] = {1.0, 1.0};
  double lowCutState_[2] = {0.0, 0.0};
  double ditherPrev_[2] = {0.0, 0.0};
  double ispHeld_ = 0.0;
  int ispHold_ = 0;
  int osLatency_ = 0;
  int ispLatency_ = 0;
  bool latencyChanged_ = true;
  std::uint64_t constructionTicks_ = 0;

  ZeroRegistry registry_;
  LimiterCore core_;
  std::array<FIRUpsampler, 2> firUp_;
  std::array<FIRDownsampler, 2> firDown_;
  std::array<IIRUpsampler, 2> iirUp_;
  std::array<IIRDownsampler, 2> iirDown_;
  std::array<TruePeakDetector, 2> ispDetect_;  // output before the ISP stage
  std::array<TruePeakDetector, 2> tpMeter_;    // output true-peak meters
  std::array<DelayLine, 2> ispLine_;
  MeterEnvelopes meters_;
  AutoGainEnvelopes autoGain_;
  // Output left, output right, input left, input right.
  std::array<LoudnessFollower, 4> loudness_;
  DisplayFeed* displayFeed_ = nullptr;  // editor displays; null while none is attached
  Kest_Config config_;

  // The preset library's view of the plug-in.
  class PresetBridge final : public PresetHost {
   public:
    explicit PresetBridge(Tessaro_v2& plug) : plug_(plug) {}
    bool WriteState(IStateChunk& chunk) override { return plug_.SaveState(chunk); }
    int ReadState(const IStateChunk& chunk) override { return plug_.LoadState(chunk, 0); }
    bool StateMatchesText(const std::string& reference) override { return plug_.StateMatchesText(reference); }
    const std::vector<std::pair<std::string, std::string>>& BuiltInProgramTexts() override {
      return plug_.BuiltInPrograms();
    }
    int ProgramCount() override { return plug_.NumPrograms(); }
    std::string ProgramName(int slot) override {
      const IProgramSlot* p = plug_.GetProgram(slot);
      return p ? p->name : "";
    }
    std::recursive_mutex& StateMutex() override { return plug_.Mutex(); }

   private:
    Tessaro_v2& plug_;
  };
  PresetBridge presetBridge_{*this};
  Kest_PresetXML presets_{presetBridge_, "Tessaro_v2"};
  // The editor's end of the display feed and the meter controls it drives.
  MeterFeed meterFeed_;
  MeterControls meterControls_;
  EditorParts gui_;
  // Control indices the plug-in reads later (through the controls' own
  // index fields, which stay current when the list is renumbered).
  int* learnLed_ = nullptr;
  int* ispIndicator_ = nullptr;
  int* inputTrimKnob_ = nullptr;
  int* oversampleModeSwitch_ = nullptr;
  // Names the current program until the preset browser takes its place.
  ITextControl* presetLine_ = nullptr;
};

}  // namespace tessaro
