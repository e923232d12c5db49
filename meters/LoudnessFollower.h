// K-weighted loudness of one channel for the EBU meter type.
//
// State:
// - shelf_, highPass_: the two K-weighting biquads (the head's high shelf,
//   then the high-pass of the revised low-frequency curve), designed by
//   Kest_Filter at the follower's rate.
// - momentary_ (350 ms), shortTerm_ (3000 ms): exponential mean squares of
//   the weighted signal scaled by +2.3193 dB, so that sqrt() of a state
//   reads, in dB, the loudness in LUFS of a stereo signal with both channels
//   equal to this one (a full-scale 997 Hz sine reads 1.0, that is 0 LUFS).
// - gated_ (800 ms): mean square of that signal taken 3.01 dB lower (the
//   per-channel share of a stereo pair, carrying the -0.691 dB offset), fed
//   only while a sample passes the -70 dB absolute and the -10 dB relative
//   gate (relative to the gated maximum so far).
// - gatedMax_, shortTermMax_, momentaryMax_: running maxima of sqrt() of the
//   three states, from -70 dB up.
#pragma once

#include <cmath>

#include "dsp/Kest_Filter.h"

namespace tessaro {

// Exponential mean of squares: s = (s - x^2) * c + x^2, one coefficient for
// rising and falling levels alike.
class MeanSquareIntegrator {
 public:
  // c = exp(curve / (fs * t_ms * 0.001)) with curve = log10(0.1) = -1, taken
  // from the fast logarithm as the meters always have. Never allocates.
  void Build(double timeMs, double sampleRate);
  void Step(double squared) noexcept { state_ = (state_ - squared) * coef_ + squared; }
  void Reset() noexcept { state_ = 0.0; }

  double State() const noexcept { return state_; }
  double Coefficient() const noexcept { return coef_; }
  double Curve() const noexcept { return curve_; }

 private:
  double state_ = 0.0;
  double coef_ = 0.0;
  double attackMs_ = 0.0;
  double releaseMs_ = 0.0;
  double sampleRate_ = 0.0;
  double curve_ = -1.0;
};

class LoudnessFollower {
 public:
  static constexpr double kMomentaryMs = 350.0;
  static constexpr double kShortTermMs = 3000.0;
  static constexpr double kGatedMs = 800.0;
  // -70 dB: the absolute gate and the starting value of every maximum.
  static constexpr double kAbsoluteGate = 0.000316227766016838;
  // -10 dB below the gated maximum: the relative gate.
  static constexpr double kRelativeGate = 0.316227766016838;
  // +2.3193 dB: a channel then reads as a stereo pair of equal channels.
  static constexpr double kStereoScale = 1.306065620916933;
  // -3.0103 dB: one channel's share of that pair for the gated integrator.
  static constexpr double kChannelShare = 0.7071067811865476;

  // Designs the weighting and the integrators for the rate, then resets.
  // Allocates (construction only).
  explicit LoudnessFollower(double sampleRate = 44100.0);

  // Redesigns for a new rate and resets. Under the plug-in lock; allocation-
  // free after construction.
  void Configure(double sampleRate);
  // Zeroes filter and integrator states; maxima back to -70 dB. Never allocates.
  void Reset() noexcept;
  // One sample of the channel. Audio thread; never allocates. A non-finite
  // sample is dropped (the weighting filters clear themselves).
  void Push(double x) noexcept;

  // What the meters read: sqrt of the momentary and short-term states.
  double Momentary() const noexcept { return std::sqrt(momentary_.State()); }
  double ShortTerm() const noexcept { return std::sqrt(shortTerm_.State()); }
  double Gated() const noexcept { return std::sqrt(gated_.State()); }
  double MomentaryMeanSquare() const noexcept { return momentary_.State(); }
  double ShortTermMeanSquare() const noexcept { return shortTerm_.State(); }
  double GatedMeanSquare() const noexcept { return gated_.State(); }
  double MomentaryMax() const noexcept { return momentaryMax_; }
  double ShortTermMax() const noexcept { return shortTermMax_; }
  double GatedMax() const noexcept { return gatedMax_; }

  double SampleRate() const noexcept { return sampleRate_; }
  const Kest_Filter& Shelf() const noexcept { return shelf_; }
  const Kest_Filter& HighPass() const noexcept { return highPass_; }
  const MeanSquareIntegrator& MomentaryIntegrator() const noexcept { return momentary_; }
  const MeanSquareIntegrator& ShortTermIntegrator() const noexcept { return shortTerm_; }
  const MeanSquareIntegrator& GatedIntegrator() const noexcept { return gated_; }

 private:
  double sampleRate_ = 0.0;
  Kest_Filter shelf_;
  Kest_Filter highPass_;
  MeanSquareIntegrator momentary_;
  MeanSquareIntegrator shortTerm_;
  MeanSquareIntegrator gated_;
  double gatedMax_ = kAbsoluteGate;
  double shortTermMax_ = kAbsoluteGate;
  double momentaryMax_ = kAbsoluteGate;
};

}  // namespace tessaro
