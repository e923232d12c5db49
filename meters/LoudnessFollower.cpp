#include "meters/LoudnessFollower.h"

#include <algorithm>

#include "dsp/DbMath.h"

namespace tessaro {

namespace {

// The K-weighting of BS.1770 in its tangent form, which reproduces the
// standard's published coefficients at 48 kHz: the head's high shelf...
constexpr double kShelfHz = 1681.974450955533;
constexpr double kShelfQ = 0.7071752369554196;
constexpr double kShelfGainDb = 3.999843853973347;
// ...and the low-frequency high-pass.
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;

}  // namespace

void MeanSquareIntegrator::Build(double timeMs, double sampleRate) {
  // log10(0.1) through the table logarithm, the way every meter derives it.
  curve_ = LinToDb(0.1) / 20.0;
  attackMs_ = timeMs;
  releaseMs_ = timeMs;
  sampleRate_ = sampleRate;
  coef_ = std::exp(curve_ / (sampleRate * timeMs * 0.001));
}

LoudnessFollower::LoudnessFollower(double sampleRate) { Configure(sampleRate); }

void LoudnessFollower::Configure(double sampleRate) {
  sampleRate_ = sampleRate;
  shelf_.Design(2, Kest_Filter::kTanHighShelf, kShelfHz, sampleRate, kShelfQ, kShelfGainDb);
  highPass_.Design(2, Kest_Filter::kTanHighPass, kHighPassHz, sampleRate, kHighPassQ, 0.0);
  momentary_.Build(kMomentaryMs, sampleRate);
  shortTerm_.Build(kShortTermMs, sampleRate);
  gated_.Build(kGatedMs, sampleRate);
  Reset();
}

void LoudnessFollower::Reset() noexcept {
  shelf_.Reset();
  highPass_.Reset();
  momentary_.Reset();
  shortTerm_.Reset();
  gated_.Reset();
  gatedMax_ = kAbsoluteGate;
  shortTermMax_ = kAbsoluteGate;
  momentaryMax_ = kAbsoluteGate;
}

void LoudnessFollower::Push(double x) noexcept {
  const double weighted = highPass_.Process(shelf_.Process(x));
  if (!std::isfinite(weighted)) [[unlikely]]
    return;
  const double y = weighted * kStereoScale;
  const double y2 = y * y;
  momentary_.Step(y2);
  shortTerm_.Step(y2);
  // The gates compare the signed sample, not its magnitude: only the
  // positive half-waves of a sound feed the gated integrator.
  const double z = y * kChannelShare;
  if (z >= kAbsoluteGate && z >= gatedMax_ * kRelativeGate) gated_.Step(z * z);
  gatedMax_ = std::max(gatedMax_, std::sqrt(gated_.State()));
  momentaryMax_ = std::max(momentaryMax_, std::sqrt(momentary_.State()));
  shortTermMax_ = std::max(shortTermMax_, std::sqrt(shortTerm_.State()));
}

}  // namespace tessaro
