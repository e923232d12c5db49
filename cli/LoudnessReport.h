// The loudness report of tessaro render: EBU R 128 figures of the input and
// the output file (measured with libebur128 on the files as written) and how
// much the output was turned down against the input.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro::cli {

// Every figure in dB; minus infinity for silence (and NaN when it could not
// be measured, e.g. no 400 ms window in a very short file).
struct LoudnessFigures {
  double integratedLufs = 0.0;
  double loudnessRangeLu = 0.0;
  double truePeakDbtp = 0.0;
  double samplePeakDbfs = 0.0;
};

// Gain reduction as a host can see it: it knows neither the plug-in's fixed
// gain nor its gain computer, only the two signals. So we compare momentary
// loudness (400 ms windows, every 100 ms) of IN and OUT, aligned sample for
// sample, over the windows where IN is above -70 LUFS: reduction = IN - OUT.
// The largest value is the hardest the plug-in turned a passage down; with
// make-up gain it can be negative (OUT louder everywhere), and then the
// spread largest - smallest still shows how much the gain moved.
struct GainReduction {
  bool measured = false;  // false when no window qualified
  double largestDb = 0.0;
  double atSeconds = 0.0;  // start of the window with the largest reduction
  double smallestDb = 0.0;
};

struct RenderFacts {
  std::string inputName, outputName, pluginPath, precision;
  double sampleRate = 0.0;
  int channels = 0;
  std::int64_t frames = 0;
  std::int32_t latency = 0;
  std::int32_t blockSize = 0;
};

struct Report {
  RenderFacts facts;
  LoudnessFigures input, output;
  GainReduction reduction;
};

// Reads both files to the end; false (and *error) when either cannot be read.
bool MeasureFiles(const std::string& inputPath, const std::string& outputPath, Report* report,
                  std::string* error);

std::string ReportText(const Report& report);
std::string ReportJson(const Report& report);

}  // namespace tessaro::cli
