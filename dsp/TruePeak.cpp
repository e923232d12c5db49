#include "dsp/TruePeak.h"

#include <cmath>

namespace tessaro {

int FIRLatencySamples(int upTaps, int upStages, int downTaps, int downStages, int factor) {
  const int cu = ((upTaps - 1) / 2 - 1) / 2;
  const int d = ((downTaps - 1) / 2 - 1) / 2;
  return cu + cu % 2 + (upStages >= 2 ? upStages : 0) + d + d % 2 + (downStages >= 2 ? downStages : 0) -
         (factor > 15 ? 1 : 0) - (factor > 31 ? 1 : 0);
}

int FIRLatencySamples(const FIRUpsampler& up, const FIRDownsampler& down) {
  const int upTaps = up.NumStages() > 0 ? up.Stage(0).NumTaps() : 1;
  const int downTaps = down.NumStages() > 0 ? down.Stage(0).NumTaps() : 1;
  return FIRLatencySamples(upTaps, up.NumStages(), downTaps, down.NumStages(), up.Factor());
}

int IspDelayLength(double fs, int detectorHalfLength, int detectorStages) {
  int b = (detectorHalfLength - 1) / 2;
  b += b % 2;
  return static_cast<int>(std::floor(fs * 0.001 + 0.5)) + b + (detectorStages >= 2 ? detectorStages : 0);
}

int IspDelayLength(double fs, const FIRUpsampler& detector) {
  return IspDelayLength(fs, detector.Stage(0).HalfLength(), detector.NumStages());
}

void TruePeakDetector::Design(double coreRate) { up_.Design(kFIRTruePeakUp, TruePeakFactor(coreRate)); }

}  // namespace tessaro
