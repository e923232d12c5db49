#include "meters/VU_Envelope.h"

namespace tessaro {

namespace {

// The integer part of a rate, safe for NaN and absurd values.
long long WholeRate(double rate) {
  if (!(rate > 0.0)) return 0;
  if (rate > 1e15) return 1000000000000000LL;
  return static_cast<long long>(rate);
}

}  // namespace

VU_Envelope::VU_Envelope()
    : releaseCoef_(std::exp(-3.290505939137647e-05)),
      attackCoef_(std::exp(-0.009871517817412941)),
      rmsCoef_(std::exp(-0.009871517817412941)) {
  SetResetTarget(&value_);
  SetResetGroup(kResetGroupMeters);
}

VU_Envelope::VU_Envelope(ZeroRegistry* registry) : VU_Envelope() { JoinRegistry(registry); }

void VU_Envelope::Configure(const void* owner, double attackMs, double releaseMs, double sampleRate,
                            double curve) {
  owner_ = owner;
  const bool rateChanged = WholeRate(sampleRate) != WholeRate(sampleRate_);
  if (std::fabs(releaseMs - releaseMs_) > kSameTime || rateChanged) {
    releaseMs_ = releaseMs;
    releaseCoef_ = std::exp(curve / (releaseMs * sampleRate * 0.001));
  }
  if (std::fabs(attackMs - attackMs_) > kSameTime || rateChanged) {
    attackMs_ = attackMs;
    // Milliseconds against ten sample periods in seconds, on purpose: only
    // the near-zero times of the ballistics (1e-6 ms and below) are instant.
    attackCoef_ = attackMs < (1.0 / sampleRate) * 10.0 ? kInstantCoef
                                                       : std::exp(curve / (attackMs * sampleRate * 0.001));
  }
  sampleRate_ = sampleRate;
}

void VU_Envelope::ConfigureRms(const void* owner, double windowMs, double sampleRate) {
  owner_ = owner;
  if (std::fabs(windowMs - rmsWindowMs_) > kSameTime || WholeRate(sampleRate) != WholeRate(sampleRate_)) {
    rmsWindowMs_ = windowMs;
    rmsCoef_ = std::exp(kCurveMeter / (windowMs * sampleRate * 0.001));
  }
  sampleRate_ = sampleRate;
}

}  // namespace tessaro
