// The engine's reactions to parameter changes, resets, program changes and
// oversampling changes. Every one runs under the plug-in lock, so the
// processing loop never sees a half-updated engine.
#include <algorithm>
#include <cmath>

#include "dsp/DbMath.h"
#include "plugin/Tessaro_v2.h"
#include "settings/ProcessSettings.h"

namespace tessaro {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// "Oversample Mode" index to (family, low quality).
struct ModeMapping {
  int kind;
  bool lowQuality;
};
constexpr ModeMapping kModes[] = {
    {Tessaro_v2::kOversamplingOff, true}, {Tessaro_v2::kMinimumPhase, true}, {Tessaro_v2::kMinimumPhase, false},
    {Tessaro_v2::kLinearPhase, true},     {Tessaro_v2::kLinearPhase, false},
};

int FactorForRate(int rate) { return rate >= 0 && rate <= 3 ? 2 << rate : 1; }

constexpr int kMaxConfiguredFps = 200;
constexpr int kMinConfiguredFps = 20;
constexpr int kDefaultFps = 30;

}  // namespace

void Tessaro_v2::ParameterChanged(int index, int source) {
  Lock lock(mutex_);
  if (!IsValidParam(index)) return;
  const double v = params_[index].Value();
  switch (index) {
    case kInputTrim:
      trim_ = DbToLin(v);
      break;
    case kAmount:
      core_.SetAmount(v);
      break;
    case kMarginLevel:
      registry_.ResetGroup(kResetGroupOutputPeak);
      core_.SetCeiling(v);  // reloads the type row for the new ceiling
      LimiterTypeApplied();
      break;
    case kMeterType: {
      const bool changed = static_cast<int>(v) != meterType_;
      meterType_ = static_cast<int>(v);
      UpdateMeterBallistics(meters_, meterType_, SampleRate(), factor_, changed, this);
      meterControls_.SetMeterType(meterType_, meterView_, params_[kMeterViewSpectrum].Value() != 0.0);
      break;
    }
    case kMeterView:
      meterView_ = static_cast<int>(v);
      meterControls_.SetMeterView(meterView_, meterType_);
      ParameterChanged(kMeterType, kSourceHost);
      registry_.ResetGroup(kResetGroupOutputPeak);
      break;
    case kAutoGainCompare:
      autoGainCompare_ = v != 0.0;
      break;
    case kHistory:
      historySeconds_ = v;
      break;
    case kDbScale:
      dbScale_ = v;
      meterControls_.SetDbScale(v);
      break;
    case kOversampleMode:
      OversampleModeChanged(static_cast<int>(v));
      if (IGraphics* g = Graphics()) g->HideParamControls(kOversampleRate, v == 0.0);
      break;
    case kOversampleRate:
      OversampleRateChanged(static_cast<int>(v));
      break;
    case kIspProtect:
      ispProtect_ = v != 0.0;
      ConfigureOversampling();
      ApplyLimiterType(false);
      ParameterChanged(kMeterViewSpectrum, kSourceHost);
      break;
    case kLimiter: {
      // The type arrives without its character defaults: the selector then
      // finds the type unchanged, so automation of 15, 16 and 17 restores as
      // recorded.
      const int type = std::clamp(static_cast<int>(v), 0, kNumLimiterTypes - 1);
      core_.SetTypeIndex(type);
      params_[kLimiterType].SetClamped(type);
      LimiterTypeChosen(type);
      break;
    }
    case kLimitCharacter:
      core_.SetLimitCharacter(v);
      break;
    case kTransientCharacter:
      core_.SetTransientCharacter(v);
      break;
    case kBypass:
      bypass_ = v != 0.0;
      ConfigureOversampling();
      UpdateMeterBallistics(meters_, meterType_, SampleRate(), factor_, true, this);
      StartFade(0.2);
      break;
    case kAutoLearnTrim:
      LearnTrimChanged(v != 0.0);
      break;
    case kLimiterType:
      LimiterTypeChosen(static_cast<int>(v));
      break;
    default:
      // Margin Setting, the display switches and the editor's buttons have no
      // engine reaction.
      break;
  }
  (void)source;
}

void Tessaro_v2::LimiterTypeChosen(int index) {
  const int old = core_.TypeIndex();
  const int type = std::clamp(index, 0, kNumLimiterTypes - 1);
  core_.SetTypeIndex(type);
  params_[kLimiter].SetClamped(type);
  ApplyLimiterType(type != old);
  UpdateMeterBallistics(meters_, meterType_, SampleRate(), factor_, false, this);
}

void Tessaro_v2::ApplyLimiterType(bool loadCharacterDefaults) {
  const CharacterDefaults defaults = core_.ApplyLimiterType(loadCharacterDefaults, loading_);
  if (defaults.load) {
    params_[kLimitCharacter].SetClamped(defaults.limitCharacter);
    params_[kTransientCharacter].SetClamped(defaults.transientCharacter);
    core_.SetLimitCharacter(params_[kLimitCharacter].Value());
    core_.SetTransientCharacter(params_[kTransientCharacter].Value());
    PushToEditor(kLimitCharacter, params_[kLimitCharacter].Value(), false);
    PushToEditor(kTransientCharacter, params_[kTransientCharacter].Value(), false);
  }
  LimiterTypeApplied();
}

void Tessaro_v2::LimiterTypeApplied() {
  // A new type row changes the sound at once: fade it in, and start the ISP
  // stage's hold afresh.
  StartFade(0.2);
  ispHeld_ = 0.0;
  ispHold_ = 0;
}

void Tessaro_v2::OversampleModeChanged(int mode) {
  const ModeMapping m = kModes[std::clamp(mode, 0, 4)];
  if (m.kind == osKind_ && m.lowQuality == lowQuality_) return;
  if (m.kind != kOversamplingOff) factor_ = FactorForRate(static_cast<int>(params_[kOversampleRate].Value()));
  osKind_ = m.kind;
  lowQuality_ = m.lowQuality;
  ConfigureOversampling();
}

void Tessaro_v2::OversampleRateChanged(int rate) {
  const int f = FactorForRate(rate);
  if (f == factor_) return;
  factor_ = f;
  ConfigureOversampling();
}

void Tessaro_v2::LearnTrimChanged(bool on) {
  if (!on) {
    learnOn_ = false;
    return;
  }
  learnOn_ = true;
  // Learning starts from halfway between the lowest trim and the current one,
  // sent as an editor change so that the host records it.
  IParameter& trim = params_[kInputTrim];
  SetParameterFromEditor(kInputTrim, trim.NormalisedFor((trim.Min() + trim.Value()) / 2.0));
  learnInRange_ = 0;
  learnedPeak_ = 0.0;
}

void Tessaro_v2::StartFade(double seconds) {
  fadeActive_ = true;
  fadeSeconds_ = seconds;
}

void Tessaro_v2::ConfigureOversampling() {
  {
    Lock lock(mutex_);
    if (factor_ < 2 || osKind_ == kOversamplingOff) {
      factor_ = 1;
      osLatency_ = 0;
    }
    if (factor_ > 1 && osKind_ == kMinimumPhase) {
      const IIRCascadeGrade& up = lowQuality_ ? kIIRMinimalLqUp : kIIRMinimalHqUp;
      const IIRCascadeGrade& down = lowQuality_ ? kIIRMinimalLqDown : kIIRMinimalHqDown;
      for (IIRUpsampler& u : iirUp_) u.Design(up, factor_);
      for (IIRDownsampler& d : iirDown_) d.Design(down, factor_);
      osLatency_ = up.latency;
    } else if (factor_ > 1 && osKind_ == kLinearPhase) {
      const FIRCascadeGrade& up = lowQuality_ ? kFIRLinearLqUp : kFIRLinearHqUp;
      const FIRCascadeGrade& down = lowQuality_ ? kFIRLinearLqDown : kFIRLinearHqDown;
      for (FIRUpsampler& u : firUp_) u.Design(up, factor_);
      for (FIRDownsampler& d : firDown_) d.Design(down, factor_);
      osLatency_ = FIRLatencySamples(firUp_[0], firDown_[0]);
    }
  }
  const double fs = SampleRate();
  // The true-peak detectors run at fs, so fs decides their factor, as for a
  // BS.1770 meter: 4 below 49 kHz, else 2. Chosen from the core rate, any
  // oversampling would halve the detection at 44.1 and 48 kHz, and the phase
  // shift of the minimum-phase modes then lets peaks between the 2x points
  // through "ISP Protect".
  for (TruePeakDetector& d : ispDetect_) d.Design(fs);
  for (TruePeakDetector& d : tpMeter_) d.Design(fs);
  if (ispProtect_) {
    const int length = IspDelayLength(fs, ispDetect_[0].Upsampler());
    for (DelayLine& line : ispLine_) line.Resize(static_cast<std::size_t>(length));
    ispLatency_ = length - 1;
  } else {
    ispLatency_ = 0;
  }
  core_.Configure(fs, factor_, bypass_);
  latencyChanged_ = true;
}

void Tessaro_v2::ReportLatency() {
  const int total = osLatency_ + ispLatency_ + core_.LookAheadLatency();
  SetReportedLatency(total);
  if (Latency() == total) {
    latencyChanged_ = false;
    core_.ClearLatencyChanged();
  }
}

void Tessaro_v2::ResetProcessing() {
  Lock lock(mutex_);
  fadeActive_ = false;
  ConfigureOversampling();
  ispHeld_ = 0.0;
  ispHold_ = 0;
  UpdateMeterBallistics(meters_, meterType_, SampleRate(), factor_, true, this);
  core_.Reset();
  for (DelayLine& line : ispLine_) line.Clear();
  for (auto& r : firUp_) r.Reset();
  for (auto& r : firDown_) r.Reset();
  for (auto& r : iirUp_) r.Reset();
  for (auto& r : iirDown_) r.Reset();
  for (auto& d : ispDetect_) d.Reset();
  for (auto& d : tpMeter_) d.Reset();
  for (LoudnessFollower& l : loudness_) l.Configure(SampleRate());
  autoGain_.Configure(SampleRate(), this);
  core_.UpdateLowCut();
  core_.UpdateColourFilters();
  registry_.ResetAllButGroup(kResetGroupAutoGain);
  lowCutState_[0] = lowCutState_[1] = 0.0;
  ditherPrev_[0] = ditherPrev_[1] = 0.0;
  learnedPeak_ = 0.0;
  learnOn_ = false;
  params_[kAutoLearnTrim].Set(0.0);
  PushToEditor(kAutoLearnTrim, 0.0, false);
  loading_ = false;
  if (latencyChanged_ || core_.LatencyChanged()) ReportLatency();
}

void Tessaro_v2::ProgramChangedByHost() {
  { Lock lock(mutex_); }
  SetParameterFromEditor(kAutoLearnTrim, 0.0);
  ConfigureOversampling();
  StartFade(0.15);
  for (int i = 0; i <= kLimiterType; ++i) ParameterChanged(i, kSourceRestore);
  if (presetLine_) {
    const IProgramSlot* program = GetProgram(CurrentProgram());
    presetLine_->SetText(program ? program->name : "");
  }
}

void Tessaro_v2::ReadConfiguration() {
  // The default of the stored default setting is the state of program slot 1.
  config_.AddDefault("default_setting", builtInPrograms_.size() > 1 ? builtInPrograms_[1].first : std::string());
  config_.AddDefault("default_size", resize_.scale);
  config_.AddDefault("UseFloatDither", true);
  config_.AddDefault("display_fps", kDefaultFps);
  config_.AddDefault("tuning_pitch", 440.0);
  config_.AddDefault("use_relative_fft_gain", false);
  if (ProcessSettings::TuningPitch().load() == 0.0) {
    const double pitch = config_.GetDouble("tuning_pitch");
    ProcessSettings::TuningPitch().store(std::isfinite(pitch) && pitch > 0.0 ? pitch : 440.0);
  }
  config_.GetBool("use_relative_fft_gain");
  const std::string defaultSetting = config_.GetString("default_setting");
  ProcessSettings::UseFloatDither().store(config_.GetBool("UseFloatDither"));
  const double fps = config_.GetDouble("display_fps");
  if (std::isfinite(fps) && static_cast<int>(fps) != kDefaultFps && fps != kNoValue)
    configuredFps_ = std::clamp(static_cast<int>(fps), kMinConfiguredFps, kMaxConfiguredFps);

  // The user's saved default becomes the starting state.
  LoadState(IStateChunk::FromBase64(defaultSetting), 0);
}

}  // namespace tessaro
