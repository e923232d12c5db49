#include "cli/LoudnessReport.h"

#include <ebur128.h>
#include <fmt/core.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace tessaro::cli {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Below this a window counts as silence, the absolute gate of EBU R 128.
constexpr double kGateLufs = -70.0;
// A muted output would make the reduction infinite; this keeps it a number.
constexpr double kFloorLufs = -200.0;

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

struct MeterCloser {
  void operator()(ebur128_state* state) const { ebur128_destroy(&state); }
};
using MeterPtr = std::unique_ptr<ebur128_state, MeterCloser>;

double ToDb(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : -HUGE_VAL; }

LoudnessFigures Figures(ebur128_state* meter, int channels) {
  LoudnessFigures figures;
  if (ebur128_loudness_global(meter, &figures.integratedLufs) != EBUR128_SUCCESS)
    figures.integratedLufs = kNaN;
  if (ebur128_loudness_range(meter, &figures.loudnessRangeLu) != EBUR128_SUCCESS)
    figures.loudnessRangeLu = kNaN;
  double truePeak = 0.0, samplePeak = 0.0;
  for (int c = 0; c < channels; ++c) {
    double value = 0.0;
    if (ebur128_true_peak(meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
      truePeak = std::max(truePeak, value);
    if (ebur128_sample_peak(meter, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
      samplePeak = std::max(samplePeak, value);
  }
  figures.truePeakDbtp = ToDb(truePeak);
  figures.samplePeakDbfs = ToDb(samplePeak);
  return figures;
}

// The number as text; "-inf" for silence, "n/a" when unmeasured.
std::string Number(double value, const char* unit, bool sign = false) {
  if (std::isnan(value)) return "n/a";
  if (std::isinf(value)) return value < 0 ? fmt::format("-inf {}", unit) : fmt::format("+inf {}", unit);
  return sign ? fmt::format("{:+.1f} {}", value, unit) : fmt::format("{:.1f} {}", value, unit);
}

// JSON has no infinity or NaN; null says "no number".
std::string JsonNumber(double value, int decimals = 2) {
  if (!std::isfinite(value)) return "null";
  return fmt::format("{:.{}f}", value, decimals);
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string JsonFigures(const LoudnessFigures& f, const std::string& name) {
  return fmt::format(
      "{{\"file\": {}, \"integrated_lufs\": {}, \"loudness_range_lu\": {}, \"true_peak_dbtp\": {}, "
      "\"sample_peak_dbfs\": {}}}",
      JsonString(name), JsonNumber(f.integratedLufs), JsonNumber(f.loudnessRangeLu),
      JsonNumber(f.truePeakDbtp), JsonNumber(f.samplePeakDbfs));
}

}  // namespace

bool MeasureFiles(const std::string& inputPath, const std::string& outputPath, Report* report,
                  std::string* error) {
  SF_INFO inInfo{}, outInfo{};
  SndfilePtr in(sf_open(inputPath.c_str(), SFM_READ, &inInfo));
  if (!in) {
    *error = "cannot read '" + inputPath + "' for the report: " + sf_strerror(nullptr);
    return false;
  }
  SndfilePtr out(sf_open(outputPath.c_str(), SFM_READ, &outInfo));
  if (!out) {
    *error = "cannot read back '" + outputPath + "' for the report: " + sf_strerror(nullptr);
    return false;
  }
  const int mode = EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_SAMPLE_PEAK;
  MeterPtr inMeter(ebur128_init(static_cast<unsigned>(inInfo.channels),
                                static_cast<unsigned long>(inInfo.samplerate), mode));
  MeterPtr outMeter(ebur128_init(static_cast<unsigned>(outInfo.channels),
                                 static_cast<unsigned long>(outInfo.samplerate), mode));
  if (!inMeter || !outMeter) {
    *error = "the loudness meter cannot measure this channel count or sample rate";
    return false;
  }

  // One hop of 100 ms at a time, so the meters' momentary loudness is a
  // 400 ms window that moves in 100 ms steps for both files alike.
  const auto hop = static_cast<sf_count_t>(std::max(1L, std::lround(inInfo.samplerate * 0.1)));
  std::vector<double> inBuffer(static_cast<std::size_t>(hop * inInfo.channels));
  std::vector<double> outBuffer(static_cast<std::size_t>(hop * outInfo.channels));
  GainReduction& reduction = report->reduction;
  reduction = {};
  long hops = 0;
  for (;;) {
    const sf_count_t inFrames = sf_readf_double(in.get(), inBuffer.data(), hop);
    const sf_count_t outFrames = sf_readf_double(out.get(), outBuffer.data(), hop);
    if (inFrames > 0)
      ebur128_add_frames_double(inMeter.get(), inBuffer.data(), static_cast<std::size_t>(inFrames));
    if (outFrames > 0)
      ebur128_add_frames_double(outMeter.get(), outBuffer.data(), static_cast<std::size_t>(outFrames));
    if (inFrames < hop || outFrames < hop) break;
    if (++hops < 4) continue;  // the first full window ends after four hops
    double inLoudness = 0.0, outLoudness = 0.0;
    ebur128_loudness_momentary(inMeter.get(), &inLoudness);
    ebur128_loudness_momentary(outMeter.get(), &outLoudness);
    if (!(inLoudness >= kGateLufs)) continue;
    const double drop = inLoudness - std::max(outLoudness, kFloorLufs);
    const double start = static_cast<double>((hops - 4) * hop) / inInfo.samplerate;
    if (!reduction.measured || drop > reduction.largestDb) {
      reduction.largestDb = drop;
      reduction.atSeconds = start;
    }
    reduction.smallestDb = reduction.measured ? std::min(reduction.smallestDb, drop) : drop;
    reduction.measured = true;
  }
  report->input = Figures(inMeter.get(), inInfo.channels);
  report->output = Figures(outMeter.get(), outInfo.channels);
  return true;
}

std::string ReportText(const Report& report) {
  const RenderFacts& f = report.facts;
  std::string text;
  text += fmt::format("in:   {}\nout:  {}\n", f.inputName, f.outputName);
  text += fmt::format(
      "      {} Hz, {} channel{}, {} frames; latency {} samples compensated; block {}, {}\n\n", f.sampleRate,
      f.channels, f.channels == 1 ? "" : "s", f.frames, f.latency, f.blockSize, f.precision);
  const auto row = [&text](const char* name, const std::string& a, const std::string& b) {
    text += fmt::format("  {:<24}{:>12}{:>12}\n", name, a, b);
  };
  row("", "IN", "OUT");
  row("integrated loudness", Number(report.input.integratedLufs, "LUFS"),
      Number(report.output.integratedLufs, "LUFS"));
  row("loudness range", Number(report.input.loudnessRangeLu, "LU"),
      Number(report.output.loudnessRangeLu, "LU"));
  row("true peak", Number(report.input.truePeakDbtp, "dBTP", true),
      Number(report.output.truePeakDbtp, "dBTP", true));
  row("sample peak", Number(report.input.samplePeakDbfs, "dBFS", true),
      Number(report.output.samplePeakDbfs, "dBFS", true));
  const GainReduction& r = report.reduction;
  if (r.measured) {
    text += fmt::format("\n  largest gain reduction  {:.1f} dB at {:.1f} s (smallest {:.1f} dB)\n",
                        r.largestDb, r.atSeconds, r.smallestDb);
  } else {
    text += "\n  largest gain reduction  n/a (no 400 ms window above -70 LUFS)\n";
  }
  text += "  (IN minus OUT momentary loudness, 400 ms windows every 100 ms)\n";
  return text;
}

std::string ReportJson(const Report& report) {
  const RenderFacts& f = report.facts;
  const GainReduction& r = report.reduction;
  std::string json = "{\n";
  json += "  \"input\": " + JsonFigures(report.input, f.inputName) + ",\n";
  json += "  \"output\": " + JsonFigures(report.output, f.outputName) + ",\n";
  json += fmt::format(
      "  \"gain_reduction\": {{\"largest_db\": {}, \"at_seconds\": {}, \"smallest_db\": {}, "
      "\"window_ms\": 400, \"hop_ms\": 100}},\n",
      r.measured ? JsonNumber(r.largestDb) : "null", r.measured ? JsonNumber(r.atSeconds, 1) : "null",
      r.measured ? JsonNumber(r.smallestDb) : "null");
  json += fmt::format(
      "  \"render\": {{\"plugin\": {}, \"sample_rate\": {}, \"channels\": {}, \"frames\": {}, "
      "\"latency_samples\": {}, \"block_size\": {}, \"precision\": {}}}\n",
      JsonString(f.pluginPath), f.sampleRate, f.channels, f.frames, f.latency, f.blockSize,
      JsonString(f.precision));
  json += "}\n";
  return json;
}

}  // namespace tessaro::cli
