// The programme `tessaro demo` renders when there is no input file: four bars
// of drums, bass and a chord, synthesised here so the demo needs no samples.
#pragma once

#include <vector>

namespace tessaro::cli {

constexpr double kDemoSeconds = 8.0;

// Interleaved stereo at sampleRate, kDemoSeconds long. The mix is clipped
// hard and brought to -0.3 dBFS, so its flat tops overshoot between samples:
// the true peak is above 0 dBTP, which is what "ISP Protect" is for.
std::vector<double> SynthesiseDemoProgramme(double sampleRate);

}  // namespace tessaro::cli
