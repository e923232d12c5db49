// The one-pole level follower behind every meter, and behind the character
// and auto-gain envelopes of the engine.
//
// State:
// - value: the peak follower, a linear magnitude; it is also the reset
//   target, so a registry reset (group 12 unless moved) zeroes it.
// - attackCoef / releaseCoef: the one-pole coefficients used while the input
//   is above / at or below value; an attack shorter than ten samples gets
//   kInstantCoef, so the follower jumps to any higher input at once.
// - meanSquare, rmsCoef: the RMS integrator and its coefficient.
// - publishedPeak / publishedRms: what the last end-of-block publication
//   handed to the meters (floored and clamped to 0..1).
// - floor: 1e-6 (-120 dB); a state under it publishes as exactly 0.
// - attackMs, releaseMs, rmsWindowMs, sampleRate: the inputs the
//   coefficients were made from, so reconfiguring with unchanged times (or a
//   rate that differs only in its fraction) recomputes nothing.
// - owner: whoever configured the follower last; kept, never used here.
//
// Coefficients are exp(K / (t_ms * fs * 0.001)). With K = kCurveFast (-2) a
// release time t takes the level down by e^2 (17.37 dB); with kCurveMeter it
// falls by 3.78 dB in t.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

#include "meters/ZeroObject.h"

namespace tessaro {

inline constexpr double kCurveMeter = -0.4353339357479107;
inline constexpr double kCurveFast = -2.0;
// The coefficient of an instant attack.
inline constexpr double kInstantCoef = 2.22045e-15;
// Two times closer than this count as the same.
inline constexpr double kSameTime = 2.22045e-12;

class VU_Envelope : public ZeroObject {
 public:
  // 1 ms attack and 300 ms release at 44100 Hz with kCurveMeter; group 12.
  VU_Envelope();
  // The same, joined to the registry at once.
  explicit VU_Envelope(ZeroRegistry* registry);

  // Sets the attack and release coefficients for times that changed (or for
  // a new integer sample rate). The curve is not part of that test: give a
  // follower one curve for its life. Parameter handlers, under the plug-in
  // lock; never allocates.
  void Configure(const void* owner, double attackMs, double releaseMs, double sampleRate, double curve);
  // Sets the RMS integrator's coefficient for a window that changed (or a
  // new integer sample rate), always with kCurveMeter. Same callers.
  void ConfigureRms(const void* owner, double windowMs, double sampleRate);

  // value = |x|, or 0 under the floor. Audio thread or set-up; never allocates.
  void SetLevel(double x) noexcept {
    const double a = std::fabs(x);
    value_ = a >= floor_ ? a : 0.0;
  }
  // Zeroes value, mean square and both published numbers. Never allocates.
  void Clear() noexcept {
    value_ = 0.0;
    meanSquare_ = 0.0;
    publishedPeak_ = 0.0;
    publishedRms_ = 0.0;
  }

  // Peak step for a magnitude x >= 0. Audio thread, per sample; never allocates.
  void StepPeak(double x) noexcept {
    const double c = x > value_ ? attackCoef_ : releaseCoef_;
    value_ = x + c * (value_ - x);
  }
  // RMS step for a sample or magnitude x. Audio thread, per sample.
  void StepRms(double x) noexcept {
    const double x2 = x * x;
    meanSquare_ = x2 + (meanSquare_ - x2) * rmsCoef_;
  }

  // The floor rule on its own: a state under the floor becomes exactly 0.
  // A NaN state is dropped the same way, so a follower recovers from one bad
  // sample. Returns the state. Audio thread; never allocates.
  double ApplyFloor() noexcept {
    if (!(value_ >= floor_)) value_ = 0.0;
    return value_;
  }
  // End-of-block peak publication: floor rule, then clamp to 0..1. An
  // infinite state publishes 1 and restarts from 1 so it can decay again.
  double PublishPeak() noexcept {
    ApplyFloor();
    if (value_ > std::numeric_limits<double>::max()) value_ = 1.0;
    publishedPeak_ = std::min(std::max(value_, 0.0), 1.0);
    return publishedPeak_;
  }
  // End-of-block RMS publication: sqrt(meanSquare + 2.22045e-15) clamped to
  // 0..1 (a NaN or infinite integrator restarts from 0 or 1).
  double PublishRms() noexcept {
    if (!(meanSquare_ >= 0.0)) meanSquare_ = 0.0;
    if (meanSquare_ > std::numeric_limits<double>::max()) meanSquare_ = 1.0;
    publishedRms_ = std::min(std::max(std::sqrt(meanSquare_ + 2.22045e-15), 0.0), 1.0);
    return publishedRms_;
  }

  double Value() const noexcept { return value_; }
  double MeanSquare() const noexcept { return meanSquare_; }
  double PublishedPeak() const noexcept { return publishedPeak_; }
  double PublishedRms() const noexcept { return publishedRms_; }
  double AttackCoef() const noexcept { return attackCoef_; }
  double ReleaseCoef() const noexcept { return releaseCoef_; }
  double RmsCoef() const noexcept { return rmsCoef_; }
  double Floor() const noexcept { return floor_; }
  double AttackMs() const noexcept { return attackMs_; }
  double ReleaseMs() const noexcept { return releaseMs_; }
  double RmsWindowMs() const noexcept { return rmsWindowMs_; }
  double SampleRate() const noexcept { return sampleRate_; }
  const void* Owner() const noexcept { return owner_; }

 private:
  const void* owner_ = nullptr;
  double value_ = 0.0;
  double releaseCoef_;
  double attackCoef_;
  double meanSquare_ = 0.0;
  double publishedPeak_ = 0.0;
  double publishedRms_ = 0.0;
  double rmsCoef_;
  double floor_ = 1e-6;
  double attackMs_ = 1.0;
  double releaseMs_ = 300.0;
  double rmsWindowMs_ = 1.0;
  // 0 until the first configuration, so that one always computes.
  double sampleRate_ = 0.0;
};

}  // namespace tessaro
