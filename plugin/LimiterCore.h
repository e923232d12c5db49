// The limiter's engine state and its per-sub-sample step: a short look-ahead,
// an optional first compressor, a stereo-linked adaptive clipper, a saturated
// high-ratio stage, the character cross-fades, a stage against the ceiling, a
// clamp and a soft clip. The processing loop owns the oversamplers and calls
// Step once per sub-sample; the parameter reactions call the set-up
// operations under the plug-in lock.
#pragma once

#include <array>
#include <vector>

#include "dsp/DelayLine.h"
#include "dsp/IIRHalfband.h"
#include "dsp/Kest_Filter.h"
#include "dsp/LimiterStage.h"
#include "meters/VU_Envelope.h"

namespace tessaro {

// What Step needs from and gives back to the processing loop for one
// base-rate frame. BeginFrame fills the inputs and zeroes the accumulators.
struct CoreFrame {
  // Inputs, fixed over the frame's sub-samples.
  double threshold[2] = {1.0, 1.0};       // linked clip thresholds T0, T1
  double prevReduction3[2] = {0.0, 0.0};  // 1 - gain of stage 3 as the previous frame left it
  double trim = 1.0;                      // linear input trim
  // Accumulated over the sub-samples.
  double maxExcess[2] = {0.0, 0.0};  // largest clip excess, for the link trackers
  double grMax[2] = {0.0, 0.0};      // largest reduction, for the REDUCE meters
  double dist[2] = {0.0, 0.0};       // last distortion amount, held while below threshold
};

// The values a limiter type asks the plug-in to put into its character
// parameters. `load` is false when nothing is to be loaded.
struct CharacterDefaults {
  bool load = false;
  double limitCharacter = 0.0;      // "Limit Character" in %, clamped to 0..100
  double transientCharacter = 0.0;  // "Transient Character" in %, clamped to 0..100
};

// State:
// - stage1_..stage4_: left/right LimiterStages. 1 compresses ahead of the
//   clipper (type's I), 2 limits the saturated clip path, 3 limits the mix
//   against the ceiling, 4 is the ISP brickwall run by the loop at fs.
// - link_: one LinkTracker per channel, the adaptive clip thresholds.
// - type_: index into kLimiterTypes; the row's values copied below.
// - u_ (character amount), link_ weight, la_ (look-ahead ms), lowAmount_,
//   highAmount_, lowFreq_, highFreq_ (input colour), lowCutCoef_ (output
//   low-cut), lcp_ = 1 - "Limit Character"/100, tc_ = "Transient Character"/100,
//   a_ (linear "Amount"), ceil_ (linear ceiling), p_/q_ (pre- and post-gain
//   compensation), g1_ (stage-1 makeup in series mode).
// - l_: look-ahead in base-rate samples; lookAhead_: two delay lines of
//   l_*factor + 1 values (delay l_*factor sub-samples).
// - ring_, ringSum_, ringPos_: the ~1 ms moving mean of the pre-"Amount"
//   level behind the transient detector.
// - limitEnv_, transientEnv_: the character envelopes (published values are
//   the clamped states the step used).
// - f500_/f1250_: stage-2 detector filters at the core rate; lowColour_/
//   highColour_: input colour filters at fs (run by the loop).
// - linkUp_: IIR upsamplers that find inter-sample peaks for the link.
// - distA_/distB_: the DISTORT followers of the meters (not owned, may be null).
class LimiterCore {
 public:
  // Builds the stages and trackers, loads type 0 without its character
  // defaults and configures for fs without oversampling. Allocates.
  explicit LimiterCore(double fs = 44100.0);

  // --- Set-up: parameter reactions, under the plug-in lock; may allocate. ---

  // Selects the type row (clamped to the table) for the next ApplyLimiterType.
  void SetTypeIndex(int index) noexcept;
  // Loads the current row into the engine. When loadCharacterDefaults is set
  // and the plug-in is not loading, LCp and TC take the row's defaults and the
  // result asks the plug-in to set its two character parameters. The caller
  // also starts the 0.2 s fade and clears the ISP hold.
  CharacterDefaults ApplyLimiterType(bool loadCharacterDefaults, bool loadingFlag);
  // Rate-dependent parts: link-detection upsamplers, stage 4, stage-2
  // detector filters, then UpdateLowCut, UpdateTimeConstants and
  // UpdateColourFilters. Factor is the oversampling factor (1 when off).
  void Configure(double fs, int factor, bool bypass);
  // Times of stages 1 to 3, the look-ahead, the character envelopes and the
  // transient window; raises LatencyChanged.
  void UpdateTimeConstants();
  void UpdateColourFilters();
  void UpdateLowCut() noexcept;
  void UpdateCompensationGains() noexcept;
  // "Amount" in dB: A, the compensation gains, stage 1 and its makeup.
  void SetAmount(double db) noexcept;
  // "Margin Level" in dB: the ceiling, then ApplyLimiterType(false).
  void SetCeiling(double db);
  // "Limit Character" in %: LCp and the compensation gains.
  void SetLimitCharacter(double percent) noexcept;
  // "Transient Character" in %.
  void SetTransientCharacter(double percent) noexcept { tc_ = percent / 100.0; }
  // The DISTORT meter followers the step feeds (fast pair a, slow pair b).
  void BindDistortionEnvelopes(VU_Envelope* a0, VU_Envelope* a1, VU_Envelope* b0, VU_Envelope* b1) noexcept;
  // Stages 1 to 3, look-ahead lines, transient window, character envelopes,
  // every filter and the link upsamplers back to silence; stage 4 keeps its
  // state. Under the plug-in lock; never allocates.
  void Reset() noexcept;

  // --- Audio thread; none of these allocates. ---

  // Once per block: trackers towards max(0.95·A, ceil) / ceil with the type's times.
  void ConfigureLinkTrackers() noexcept;
  // Once per frame, while not bypassed, before the core: refreshes a channel's
  // linked threshold only while its level |in|·trim·A is below 80 % of the ceiling.
  void UpdateLinkedThresholds(double level0, double level1, double& t0, double& t1) const noexcept;
  // Once per frame before the first Step: thresholds, trim and the stage-3
  // reductions of the previous frame in, accumulators zeroed.
  void BeginFrame(CoreFrame& frame, double t0, double t1, double trim) const noexcept;
  // One sub-sample pair (after trim, Amount, P and colour) to the soft-clipped
  // pair for the downsampler; accumulates into frame and feeds the DISTORT
  // followers. A non-finite input sample enters as silence.
  void Step(double x0, double x1, CoreFrame& frame, double& y0, double& y1) noexcept;
  // Once per frame after the core, with the frame's maxExcess.
  void UpdateLinkTrackers(double maxExcess0, double maxExcess1) noexcept {
    linkTracker_[0].update(maxExcess0);
    linkTracker_[1].update(maxExcess1);
  }

  // --- Reads: any thread under the plug-in lock, or the audio thread. ---
  const LimiterType& Type() const noexcept { return kLimiterTypes[static_cast<std::size_t>(type_)]; }
  int TypeIndex() const noexcept { return type_; }
  const LimiterStage& Stage1(int c) const noexcept { return stage1_[Ch(c)]; }
  const LimiterStage& Stage2(int c) const noexcept { return stage2_[Ch(c)]; }
  const LimiterStage& Stage3(int c) const noexcept { return stage3_[Ch(c)]; }
  // The ISP brickwall pair, run by the loop at fs.
  LimiterStage& Stage4(int c) noexcept { return stage4_[Ch(c)]; }
  const LimiterStage& Stage4(int c) const noexcept { return stage4_[Ch(c)]; }
  const LinkTracker& Tracker(int c) const noexcept { return linkTracker_[Ch(c)]; }
  // Input colour filters at fs; the loop runs them when their amount is not 0.
  Kest_Filter& LowColourFilter(int c) noexcept { return lowColour_[Ch(c)]; }
  Kest_Filter& HighColourFilter(int c) noexcept { return highColour_[Ch(c)]; }
  const Kest_Filter& LowColourFilter(int c) const noexcept { return lowColour_[Ch(c)]; }
  const Kest_Filter& HighColourFilter(int c) const noexcept { return highColour_[Ch(c)]; }
  const VU_Envelope& LimitEnvelope() const noexcept { return limitEnv_; }
  const VU_Envelope& TransientEnvelope() const noexcept { return transientEnv_; }

  double U() const noexcept { return u_; }
  double Link() const noexcept { return link_; }
  double LookAheadMs() const noexcept { return la_; }
  double LowAmount() const noexcept { return lowAmount_; }
  double HighAmount() const noexcept { return highAmount_; }
  double LowFreq() const noexcept { return lowFreq_; }
  double HighFreq() const noexcept { return highFreq_; }
  double LowCutCoef() const noexcept { return lowCutCoef_; }
  double LCp() const noexcept { return lcp_; }
  double TC() const noexcept { return tc_; }
  double A() const noexcept { return a_; }
  double Ceil() const noexcept { return ceil_; }
  double P() const noexcept { return p_; }
  double Q() const noexcept { return q_; }
  double G1() const noexcept { return g1_; }
  bool FollowLC() const noexcept { return followLC_; }
  bool FollowTC() const noexcept { return followTC_; }
  // Look-ahead in base-rate samples, and the latency part it reports (0 bypassed).
  int LookAheadSamples() const noexcept { return l_; }
  int LookAheadLatency() const noexcept { return bypass_ ? 0 : l_; }
  int LookAheadLength() const noexcept { return static_cast<int>(lookAhead_[0].Length()); }
  int TransientWindow() const noexcept { return static_cast<int>(ring_.size()); }
  double Rate() const noexcept { return fs_; }
  int Factor() const noexcept { return factor_; }
  int LinkDetectFactor() const noexcept { return linkUp_[0].Factor(); }
  // Set by UpdateTimeConstants; the plug-in clears it once it reported the latency.
  bool LatencyChanged() const noexcept { return latencyChanged_; }
  void ClearLatencyChanged() noexcept { latencyChanged_ = false; }

 private:
  static std::size_t Ch(int c) noexcept { return c == 1 ? 1u : 0u; }

  std::array<LimiterStage, 2> stage1_;
  std::array<LimiterStage, 2> stage2_;
  std::array<LimiterStage, 2> stage3_;
  std::array<LimiterStage, 2> stage4_;
  std::array<LinkTracker, 2> linkTracker_;
  int type_ = 0;

  double u_ = 0.55;
  double link_ = 0.5;
  double la_ = 7.0;
  double lowAmount_ = 0.0;
  double highAmount_ = 0.0;
  double lowFreq_ = 60.0;
  double highFreq_ = 6500.0;
  double lowCutCoef_ = 0.0;
  double lcp_ = 0.5;
  double tc_ = 0.5;
  double a_ = 1.0;
  double ceil_ = 1.0;
  double p_ = 1.0;
  double q_ = 1.0;
  double g1_ = 1.0;
  double attackMs_ = 5.0;
  double releaseMs_ = 70.0;
  double lowCutChoice_ = 1.0;
  bool followTC_ = true;
  bool followLC_ = true;
  bool clipFirst_ = true;
  int stage1Mode_ = 0;

  double fs_ = 44100.0;
  int factor_ = 1;
  bool bypass_ = false;
  int l_ = 0;
  bool latencyChanged_ = true;

  std::array<DelayLine, 2> lookAhead_;
  std::vector<double> ring_ = std::vector<double>(1, 0.0);
  double ringSum_ = 0.0;
  std::size_t ringPos_ = 0;

  VU_Envelope limitEnv_;
  VU_Envelope transientEnv_;
  std::array<Kest_Filter, 2> f500_;
  std::array<Kest_Filter, 2> f1250_;
  std::array<Kest_Filter, 2> lowColour_;
  std::array<Kest_Filter, 2> highColour_;
  std::array<IIRUpsampler, 2> linkUp_;
  std::array<VU_Envelope*, 2> distA_ = {nullptr, nullptr};
  std::array<VU_Envelope*, 2> distB_ = {nullptr, nullptr};
};

}  // namespace tessaro
