#include "meters/MeterBallistics.h"

namespace tessaro {

namespace {

// The attack that counts as instant for every meter (far under ten samples).
constexpr double kInstantMs = 1e-10;

void ConfigurePair(VU_Envelope& left, VU_Envelope& right, const void* owner, double attackMs,
                   double releaseMs, double rate, double curve) {
  left.Configure(owner, attackMs, releaseMs, rate, curve);
  right.Configure(owner, attackMs, releaseMs, rate, curve);
}

}  // namespace

std::array<VU_Envelope*, MeterEnvelopes::kCount> MeterEnvelopes::All() noexcept {
  return {&reduceA, &reduceB, &reduceC, &reduceD,  &inA0,     &inA1,     &inB0,     &inB1,     &distA0,
          &distA1,  &distB0,  &distB1,  &outPeakL, &outPeakR, &outSlowL, &outSlowR, &outHoldL, &outHoldR,
          &outKL,   &outKR,   &outRmsL, &outRmsR,  &inPeakL,  &inPeakR,  &inRmsL,   &inRmsR,   &ispOver};
}

std::array<VU_Envelope*, 4> MeterEnvelopes::View(int meterView) noexcept {
  switch (meterView) {
    case kViewInput:
      return {&inA0, &inA1, &inB0, &inB1};
    case kViewDistort:
      return {&distA0, &distA1, &distB0, &distB1};
    default:
      return {&reduceA, &reduceB, &reduceC, &reduceD};
  }
}

void MeterEnvelopes::Register(ZeroRegistry* registry) noexcept {
  for (VU_Envelope* envelope : All()) envelope->JoinRegistry(registry);
  outPeakL.SetResetGroup(kResetGroupOutputPeak);
  outPeakR.SetResetGroup(kResetGroupOutputPeak);
}

void MeterEnvelopes::ClearAll() noexcept {
  for (VU_Envelope* envelope : All()) envelope->Clear();
}

void UpdateMeterBallistics(MeterEnvelopes& m, int meterType, double fs, int oversamplingFactor, bool clear,
                           const void* owner) {
  const bool k = IsKScale(meterType);
  const bool ebu = meterType == kMeterEbu;
  const double distortionRate = 2.0 * oversamplingFactor * fs;

  ConfigurePair(m.reduceA, m.reduceB, owner, kInstantMs, 300.0, fs, kCurveFast);
  ConfigurePair(m.reduceC, m.reduceD, owner, kInstantMs, k ? 25000.0 : 5000.0, fs, kCurveFast);

  ConfigurePair(m.inA0, m.inA1, owner, kInstantMs, k ? 600.0 : 300.0, fs, kCurveMeter);
  ConfigurePair(m.inB0, m.inB1, owner, k ? kInstantMs : 5.0, k ? 25000.0 : 5000.0, fs, kCurveMeter);

  ConfigurePair(m.distA0, m.distA1, owner, 1.0, 300.0, distortionRate, kCurveMeter);
  ConfigurePair(m.distB0, m.distB1, owner, 1.0, 1000.0, distortionRate, kCurveMeter);

  ConfigurePair(m.outPeakL, m.outPeakR, owner, kInstantMs, k ? 600.0 : 300.0, fs, kCurveMeter);
  ConfigurePair(m.outSlowL, m.outSlowR, owner, k ? kInstantMs : 5.0, k ? 25000.0 : 5000.0, fs, kCurveMeter);
  ConfigurePair(m.outHoldL, m.outHoldR, owner, 1e-19, 25000.0, fs, kCurveFast);

  // The range tops: instant in EBU, a 300 ms rise on the K scales, and a
  // near-instant one on dBFS.
  const double rangeAttack = ebu ? 1e-19 : (k ? 300.0 : 1e-6);
  const double rangeRelease = (ebu || k) ? 10000.0 : 5000.0;
  ConfigurePair(m.outKL, m.outKR, owner, rangeAttack, rangeRelease, fs, kCurveFast);
  ConfigurePair(m.inPeakL, m.inPeakR, owner, rangeAttack, rangeRelease, fs, kCurveFast);

  const double rmsWindow = k ? 10000.0 : 500.0;
  for (VU_Envelope* rms : {&m.outRmsL, &m.outRmsR, &m.inRmsL, &m.inRmsR})
    rms->ConfigureRms(owner, rmsWindow, fs);

  m.ispOver.Configure(owner, 1e-16, 100.0, fs, kCurveMeter);

  if (clear) m.ClearAll();
}

void AutoGainEnvelopes::Register(ZeroRegistry* registry) noexcept {
  for (VU_Envelope* envelope : {&agIn, &agOut, &agRatio}) {
    envelope->JoinRegistry(registry);
    envelope->SetResetGroup(kResetGroupAutoGain);
  }
}

void AutoGainEnvelopes::Configure(double fs, const void* owner) {
  agIn.Configure(owner, 300.0, 600.0, fs, kCurveMeter);
  agOut.Configure(owner, 300.0, 600.0, fs, kCurveMeter);
  agRatio.Configure(owner, 1000.0, 1000.0, fs, kCurveMeter);
}

}  // namespace tessaro
