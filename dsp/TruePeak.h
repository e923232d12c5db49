// Inter-sample peak detection and the latency parts of the linear-phase
// oversampling and of the ISP stage. The detectors are single-precision FIR
// upsamplers whose factor depends on the rate of the signal they watch: below
// 49 kHz they look at 4 sub-samples per sample, above it at 2.
#pragma once

#include "dsp/FIRHalfband.h"

namespace tessaro {

// Factor of the true-peak and ISP detection upsamplers while the limiter core
// runs at `coreRate` (the host rate times the oversampling factor).
inline int TruePeakFactor(double coreRate) { return coreRate < 49000.0 ? 4 : 2; }

// Latency at the base rate of a linear-phase up/down pair, from the tap counts
// of their base-rate stages and their numbers of stages. Each half-band stage
// delays by half its length; the terms add those delays up, rounded the way
// the reported latency has always been rounded. A side without stages is
// given as 1 tap and 0 stages.
int FIRLatencySamples(int upTaps, int upStages, int downTaps, int downStages, int factor);
int FIRLatencySamples(const FIRUpsampler& up, const FIRDownsampler& down);

// Length of the ISP delay lines (Lisp): one millisecond at fs plus the
// detector's delay, (h - 1) / 2 rounded up to even from the half length h of
// its base-rate stage, plus its number of stages when it has two or more.
// The lines delay by Lisp - 1, which is the ISP latency part.
int IspDelayLength(double fs, int detectorHalfLength, int detectorStages);
int IspDelayLength(double fs, const FIRUpsampler& detector);

// One true-peak detector: the largest magnitude of the upsampled signal per
// input sample.
// State: up_ is the detection upsampler (kFIRTruePeakUp, TruePeakFactor).
class TruePeakDetector {
 public:
  TruePeakDetector() { Design(44100.0); }

  // Set-up (under the plug-in lock); allocates. States start at zero.
  void Design(double coreRate);
  // Audio thread or set-up; never allocates.
  void Reset() noexcept { up_.Reset(); }
  // Audio thread; never allocates.
  double Process(double x) noexcept { return up_.UpsamplePeak(x); }

  // Queries; never allocate.
  const FIRUpsampler& Upsampler() const noexcept { return up_; }
  int Factor() const noexcept { return up_.Factor(); }

 private:
  FIRUpsampler up_;
};

}  // namespace tessaro
