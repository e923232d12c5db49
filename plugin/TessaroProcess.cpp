// The audio processing loop: trim and gain, oversampled limiter core, output
// stages, ISP protection, metering, fades, learning and dither.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <ctime>

#include "dsp/DbMath.h"
#include "core/FloatingPointMode.h"
#include "plugin/SharedDither.h"
#include "plugin/Tessaro_v2.h"
#include "settings/ProcessSettings.h"

namespace tessaro {
namespace {

constexpr double kQuietLevel = 3.16227766016837e-05;  // -90 dBFS
constexpr double kEpsilon = 2.22045e-12;
constexpr double kTiny = 2.22045e-15;
constexpr double kLearnWindow = 0.0008;
// The ISP detector interpolates with a filter that rolls off just below
// Nyquist, so on material with content up to there (the linear-phase modes
// keep it, clipping makes it) BS.1770 meters read up to 0.7 dB more than it
// does. Its reading is raised by that much, so that "ISP Protect" keeps the
// true peak under the ceiling as those meters measure it.
constexpr double kIspDetectionHeadroom = 1.0901844923851276;  // +0.75 dB

// No audio interface delivers more than +120 dBFS: a larger or non-finite
// sample from a host is garbage that would otherwise poison every filter and
// delay line for good. Such samples enter as silence; the rest is untouched.
constexpr double kLargestInput = 1e6;

inline double Sanitize(double x) noexcept { return std::fabs(x) <= kLargestInput ? x : 0.0; }

inline double Clamp01(double x) noexcept { return std::clamp(x, 0.0, 1.0); }

// Exactly representable in single precision: the block came from a 32-bit source.
inline bool IsSinglePrecision(double s) noexcept {
  return std::isfinite(s) && static_cast<double>(static_cast<float>(s)) == s;
}

double DitherScale(int index) noexcept {
  // scale[i] = 2^(72 - i) * 3.009265538805705e-37: a tenth of the float step.
  static const auto table = [] {
    std::array<double, 53> t{};
    for (int i = 0; i < 53; ++i) t[static_cast<std::size_t>(i)] = std::ldexp(3.009265538805705e-37, 72 - i);
    return t;
  }();
  return table[static_cast<std::size_t>(std::clamp(index, 0, 52))];
}

inline double Dither(double out, double& previous) noexcept {
  // The biased exponent of the single-precision value, less 126, read from
  // its bits: a conversion under flush-to-zero must not turn it into 0.
  const int biased = static_cast<int>((std::bit_cast<std::uint32_t>(static_cast<float>(out)) >> 23) & 0xFF);
  const int e = std::clamp(biased - 126, -42, 10);
  const double r1 = SharedDither::Next();
  const double r2 = SharedDither::Next();
  const double d = (r1 - r2) * DitherScale(10 - e);
  const double result = out + d - previous;
  previous = d;
  return result;
}

}  // namespace

void Tessaro_v2::ProcessBlock(double** inputs, double** outputs, int frames) noexcept {
  if (frames <= 0 || !inputs || !outputs || !inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) return;
  const ScopedBlockFloatingPointMode fpMode;

  if (latencyChanged_ || core_.LatencyChanged()) ReportLatency();

  const double fs = SampleRate();
  const double fadeSamples = fs * fadeSeconds_;
  const double learnStep = 0.025 / fs;
  const int fps = displayFeed_ ? displayFeed_->FramesPerSecond() : 0;
  const int guiTickSamples = fps > 0 ? std::max(1, static_cast<int>(fs / fps)) : 0;
  const double ceil = core_.Ceil();
  const double amount = core_.A();
  const double pre = core_.P();
  core_.ConfigureLinkTrackers();
  int quietFrames = 0;
  for (int n = 0; n < frames; ++n)
    if (std::fabs(inputs[0][n]) < kQuietLevel || std::fabs(inputs[1][n]) < kQuietLevel) ++quietFrames;
  const bool quiet = quietFrames > 0.9 * frames;
  const bool floatInput =
      ProcessSettings::UseFloatDither().load(std::memory_order_relaxed) && !quiet &&
      IsSinglePrecision(inputs[0][0] + inputs[1][0]);

  const double lowAmount = core_.LowAmount();
  const double highAmount = core_.HighAmount();
  const double lowCutCoef = core_.LowCutCoef();
  const int learnLimit = static_cast<int>(0.6 * static_cast<int>(fs));
  const bool waves = displayFeed_ && displayFeed_->ShowsWaveforms();

  for (int n = 0; n < frames; ++n) {
    const double in0 = Sanitize(inputs[0][n]);
    const double in1 = Sanitize(inputs[1][n]);
    if (++sampleCounter_ > 0xFFFFFFF6u) sampleCounter_ = 0;

    double out0 = in0, out1 = in1;
    CoreFrame frame;
    if (bypass_) {
      threshold_[0] = threshold_[1] = 1.0;
      if (displayFeed_) displayFeed_->TrailIdle();
    } else {
      core_.UpdateLinkedThresholds(std::fabs(in0) * trim_ * amount, std::fabs(in1) * trim_ * amount,
                                   threshold_[0], threshold_[1]);
      double x0 = in0, x1 = in1;
      const double g3 = std::max(core_.Stage3(0).reduction(), core_.Stage3(1).reduction());
      if (std::fabs(lowAmount) > kEpsilon) {
        const double m = Clamp01(std::fabs(10.0 * lowAmount) * g3);
        x0 = x0 * (1.0 - m) + m * core_.LowColourFilter(0).Process(x0);
        x1 = x1 * (1.0 - m) + m * core_.LowColourFilter(1).Process(x1);
      }
      if (std::fabs(highAmount) > kEpsilon) {
        const double m = Clamp01(std::fabs(10.0 * highAmount) * g3);
        x0 = x0 * (1.0 - m) + m * core_.HighColourFilter(0).Process(x0);
        x1 = x1 * (1.0 - m) + m * core_.HighColourFilter(1).Process(x1);
      }
      const double gain = trim_ * amount * pre;
      x0 *= gain;
      x1 *= gain;

      core_.BeginFrame(frame, threshold_[0], threshold_[1], trim_);
      double y0 = 0.0, y1 = 0.0;
      if (factor_ > 1 && osKind_ == kLinearPhase) {
        const double* u0 = firUp_[0].Upsample(x0);
        const double* u1 = firUp_[1].Upsample(x1);
        for (int j = 0; j < factor_; ++j) {
          core_.Step(u0[j], u1[j], frame, y0, y1);
          firDown_[0].Write(y0);
          firDown_[1].Write(y1);
        }
        y0 = firDown_[0].Downsample();
        y1 = firDown_[1].Downsample();
      } else if (factor_ > 1 && osKind_ == kMinimumPhase) {
        const double* u0 = iirUp_[0].Upsample(x0);
        const double* u1 = iirUp_[1].Upsample(x1);
        for (int j = 0; j < factor_; ++j) {
          core_.Step(u0[j], u1[j], frame, y0, y1);
          iirDown_[0].Write(y0);
          iirDown_[1].Write(y1);
        }
        y0 = iirDown_[0].Downsample();
        y1 = iirDown_[1].Downsample();
      } else {
        core_.Step(x0, x1, frame, y0, y1);
      }

      if (std::fabs(lowCutCoef) > kEpsilon) {
        lowCutState_[0] = (1.0 - lowCutCoef) * lowCutState_[0] + lowCutCoef * y0;
        lowCutState_[1] = (1.0 - lowCutCoef) * lowCutState_[1] + lowCutCoef * y1;
        y0 -= lowCutState_[0];
        y1 -= lowCutState_[1];
      }

      // Loudness-matched monitoring: it only ever attenuates. In quiet blocks
      // the followers hold, and the held ratio still applies.
      VU_Envelope& agRatio = autoGain_.agRatio;
      if (!quiet) {
        autoGain_.agIn.StepPeak((std::fabs(in0) + std::fabs(in1)) / 2.0);
        autoGain_.agOut.StepPeak((std::fabs(y0) + std::fabs(y1)) / 2.0);
        const double level = autoGain_.agIn.ApplyFloor();
        const double processed = autoGain_.agOut.ApplyFloor();
        agRatio.StepPeak(std::min(level / (processed + kTiny), 1.0));
      }
      if (autoGainCompare_) {
        const double r = agRatio.ApplyFloor();
        y0 *= r;
        y1 *= r;
      }

      y0 = SoftClip(y0, ceil);
      y1 = SoftClip(y1, ceil);
      core_.UpdateLinkTrackers(frame.maxExcess[0], frame.maxExcess[1]);
      if (displayFeed_ && !fadeActive_ && guiTickSamples > 0 && sampleCounter_ % guiTickSamples == 0) {
        const double x = core_.FollowLC() ? 1.0 - Clamp01(core_.LimitEnvelope().Value()) : 1.0 - core_.LCp();
        const double y = core_.FollowTC() ? Clamp01(core_.TransientEnvelope().Value()) : 1.0 - core_.TC();
        displayFeed_->TrailPoint(x, y, std::max(std::fabs(y0), std::fabs(y1)));
      }

      if (ispProtect_) {
        const double tp =
            kIspDetectionHeadroom * std::max(ispDetect_[0].Process(y0), ispDetect_[1].Process(y1));
        const double d0 = ispLine_[0].Push(y0);
        const double d1 = ispLine_[1].Push(y1);
        if (tp >= ceil) {
          ispHeld_ = std::max(ispHeld_, tp);
          ispHold_ = static_cast<int>(1.25 * static_cast<double>(ispLine_[0].Length()));
        } else if (--ispHold_ < 0) {
          ispHold_ = 0;
          ispHeld_ = 0.0;
        }
        out0 = core_.Stage4(0).process(d0, ispHeld_);
        out1 = core_.Stage4(1).process(d1, ispHeld_);
      } else {
        // Kept filled, so that switching protection on finds history there.
        ispLine_[0].Push(y0);
        ispLine_[1].Push(y1);
        out0 = y0;
        out1 = y1;
      }
    }

    const double tpOutL = tpMeter_[0].Process(out0);
    const double tpOutR = tpMeter_[1].Process(out1);
    loudness_[0].Push(out0);
    loudness_[1].Push(out1);
    loudness_[2].Push(in0);
    loudness_[3].Push(in1);
    const double in0Trim = std::fabs(in0) * trim_;
    const double in1Trim = std::fabs(in1) * trim_;

    if (waves) {
      const bool ebu = meterType_ == kMeterEbu;
      const double output = ebu ? std::max(loudness_[0].Momentary(), loudness_[1].Momentary()) : std::max(tpOutL, tpOutR);
      const double second = ebu ? std::max(loudness_[0].ShortTerm(), loudness_[1].ShortTerm())
                                : std::max(meters_.outRmsL.PublishedRms(), meters_.outRmsR.PublishedRms());
      const double input = ebu ? std::max(loudness_[2].Momentary(), loudness_[3].Momentary()) : std::max(in0Trim, in1Trim);
      displayFeed_->SpectrumSample((out0 + out1) / 2.0);
      displayFeed_->HistoryFrame(output, second, input,
                             std::max(meters_.reduceA.ApplyFloor(), meters_.reduceB.ApplyFloor()),
                             std::max(core_.Stage4(1).reduction(), core_.Stage4(0).reduction()),
                             std::max(tpOutL, tpOutR));
    }

    MeterEnvelopes& m = meters_;
    m.reduceA.StepPeak(frame.grMax[0]);
    m.reduceB.StepPeak(frame.grMax[1]);
    m.outPeakL.StepPeak(tpOutL);
    m.outPeakR.StepPeak(tpOutR);
    m.reduceC.StepPeak(frame.grMax[0]);
    m.reduceD.StepPeak(frame.grMax[1]);
    m.inA0.StepPeak(in0Trim);
    m.inA1.StepPeak(in1Trim);
    m.inB0.StepPeak(in0Trim);
    m.inB1.StepPeak(in1Trim);
    m.outSlowL.StepPeak(tpOutL);
    m.outSlowR.StepPeak(tpOutR);
    m.outHoldL.StepPeak(tpOutL);
    m.outHoldR.StepPeak(tpOutR);
    m.outRmsL.StepRms(tpOutL);
    m.outRmsR.StepRms(tpOutR);
    m.outKL.StepPeak(tpOutL);
    m.outKR.StepPeak(tpOutR);
    m.inRmsL.StepRms(in0Trim);
    m.inRmsR.StepRms(in1Trim);
    m.inPeakL.StepPeak(in0Trim);
    m.inPeakR.StepPeak(in1Trim);
    m.ispOver.StepPeak(std::max(tpOutL, tpOutR) > 1.0 ? 1.0 : 0.0);

    if (fadeActive_) {
      const double length = std::clamp(fadeSamples, 1.0, fs);
      fadeCount_ = std::clamp(fadeCount_, 0, static_cast<int>(length) + 100);
      const double g = Clamp01((fadeCount_ + 1) / (length + kTiny));
      out0 *= g;
      out1 *= g;
      if (++fadeCount_ > static_cast<int>(length)) {
        fadeActive_ = false;
        fadeCount_ = 0;
      }
    }

    // The learned peak follows the raw input, whatever buffers the host
    // passed: it holds within 10 % below its value, decays slowly between
    // 0.06 and that, and rises at once.
    const double pk = std::max(std::fabs(in0), std::fabs(in1));
    if (pk < learnedPeak_) {
      if (pk > 0.06 && pk < 0.9 * learnedPeak_) learnedPeak_ -= learnStep;
    } else {
      learnedPeak_ = pk;
    }

    if (learnOn_ && !bypass_ && learnedPeak_ > 0.1 && !quiet) {
      double t = trim_;
      if (learnedPeak_ * t >= ceil + kLearnWindow)
        t -= 3e-06;
      else if (learnedPeak_ * t <= ceil - kLearnWindow)
        t += 8e-06;
      else
        ++learnInRange_;
      if (learnInRange_ <= learnLimit) {
        trim_ = t;
        IParameter& trimParam = params_[kInputTrim];
        trimParam.SetClamped(LinToDb(t));
        PushToEditor(kInputTrim, trimParam.Value(), false);
      } else {
        learnInRange_ = 0;
        learnOn_ = false;
        params_[kAutoLearnTrim].SetClamped(0.0);
        PushToEditor(kAutoLearnTrim, 0.0, false);
        registry_.ResetAllButGroup(kResetGroupAutoGain);
      }
    }

    // A bypass stays bit-transparent: no dither on the untouched input.
    if (floatInput && !quiet && !bypass_) {
      out0 = Dither(out0, ditherPrev_[0]);
      out1 = Dither(out1, ditherPrev_[1]);
    }
    outputs[0][n] = out0;
    outputs[1][n] = out1;
  }
  if (displayFeed_) PublishBlockEnd(quiet);
}

void Tessaro_v2::PublishBlockEnd(bool quiet) {
  MeterPublication p{};
  MeterEnvelopes& m = meters_;
  const double ceil = core_.Ceil();
  if (meterType_ == kMeterEbu) {
    for (int c = 0; c < 2; ++c) {
      const double shortTerm = loudness_[static_cast<std::size_t>(c)].ShortTerm();
      const double momentary = loudness_[static_cast<std::size_t>(c)].Momentary();
      p.outReadout[c] = shortTerm;
      p.outMeter[c] = momentary;
      p.outRms[c] = std::min(shortTerm, momentary);
      p.outPeak[c] = std::max(shortTerm, momentary);
    }
  } else {
    p.outReadout[0] = m.outHoldL.ApplyFloor();
    p.outReadout[1] = m.outHoldR.ApplyFloor();
    p.outMeter[0] = m.outPeakL.PublishPeak();
    p.outMeter[1] = m.outPeakR.PublishPeak();
    p.outRms[0] = m.outRmsL.PublishRms();
    p.outRms[1] = m.outRmsR.PublishRms();
    p.outPeak[0] = m.outKL.PublishPeak();
    p.outPeak[1] = m.outKR.PublishPeak();
  }
  p.outBar[0] = m.outSlowL.PublishPeak();
  p.outBar[1] = m.outSlowR.PublishPeak();
  const std::array<VU_Envelope*, 4> view = m.View(meterView_);
  p.reduceMeter[0] = view[0]->PublishPeak();
  p.reduceMeter[1] = view[1]->PublishPeak();
  p.reduceBar[0] = view[2]->PublishPeak();
  p.reduceBar[1] = view[3]->PublishPeak();
  p.viewReadout[0] = p.reduceMeter[0];
  p.viewReadout[1] = p.reduceMeter[1];
  p.inPeak[0] = m.inPeakL.PublishPeak();
  p.inPeak[1] = m.inPeakR.PublishPeak();
  p.inRms[0] = m.inRmsL.PublishRms();
  p.inRms[1] = m.inRmsR.PublishRms();
  if (learnOn_ && (quiet || bypass_))
    p.learnLed = static_cast<double>(std::time(nullptr) % 2);
  else
    p.learnLed = (std::clamp(trim_ * learnedPeak_, ceil - 0.3, ceil + 0.3) - (ceil - 0.3)) / 0.6;
  p.ispIndicator = m.ispOver.PublishPeak();
  displayFeed_->PublishMeters(p);
}

void Tessaro_v2::AttachDisplay(DisplayFeed* display) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  displayFeed_ = display;
}

}  // namespace tessaro
