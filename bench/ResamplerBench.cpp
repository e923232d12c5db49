// Up-then-down cascades, one channel, per base-rate sample as the processing
// loop calls them. "rtf" is seconds of audio at 44.1 kHz per second of CPU.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "dsp/FIRHalfband.h"
#include "dsp/IIRHalfband.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

std::vector<double> TestBlock() {
  std::vector<double> in(kBlock);
  for (int n = 0; n < kBlock; ++n) in[static_cast<std::size_t>(n)] = 0.8 * std::sin(0.031 * n);
  return in;
}

void ReportRealTime(benchmark::State& state) {
  state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock / kRate,
                                             benchmark::Counter::kIsRate);
}

template <typename Up, typename Down>
void RunRoundTrip(benchmark::State& state, Up& up, Down& down) {
  const std::vector<double> in = TestBlock();
  for (auto _ : state) {
    double sum = 0.0;
    for (double x : in) {
      const double* sub = up.Upsample(x);
      for (int j = 0; j < up.Factor(); ++j) down.Write(sub[j]);
      sum += down.Downsample();
    }
    benchmark::DoNotOptimize(sum);
  }
  ReportRealTime(state);
}

void BM_FIRRoundTrip(benchmark::State& state) {
  const bool hq = state.range(0) != 0;
  const int factor = static_cast<int>(state.range(1));
  tessaro::FIRUpsampler up;
  up.Design(hq ? tessaro::kFIRLinearHqUp : tessaro::kFIRLinearLqUp, factor);
  tessaro::FIRDownsampler down;
  down.Design(hq ? tessaro::kFIRLinearHqDown : tessaro::kFIRLinearLqDown, factor);
  if (state.range(2) != 0) {
    up.UseKernel(tessaro::FIRKernelIsa::kSSE2);
    down.UseKernel(tessaro::FIRKernelIsa::kSSE2);
  }
  RunRoundTrip(state, up, down);
}

void BM_IIRRoundTrip(benchmark::State& state) {
  const bool hq = state.range(0) != 0;
  const int factor = static_cast<int>(state.range(1));
  tessaro::IIRUpsampler up;
  up.Design(hq ? tessaro::kIIRMinimalHqUp : tessaro::kIIRMinimalLqUp, factor);
  tessaro::IIRDownsampler down;
  down.Design(hq ? tessaro::kIIRMinimalHqDown : tessaro::kIIRMinimalLqDown, factor);
  RunRoundTrip(state, up, down);
}

void BM_TruePeakDetector(benchmark::State& state) {
  tessaro::FIRUpsampler up;
  up.Design(tessaro::kFIRTruePeakUp, static_cast<int>(state.range(0)));
  const std::vector<double> in = TestBlock();
  for (auto _ : state) {
    double peak = 0.0;
    for (double x : in) peak = std::max(peak, up.UpsamplePeak(x));
    benchmark::DoNotOptimize(peak);
  }
  ReportRealTime(state);
}

// Arguments: HQ (1) or LQ (0), factor, and for FIR whether to force the SSE2
// kernels (1) instead of the best ones (0), as the baseline in the same run.
BENCHMARK(BM_FIRRoundTrip)->ArgNames({"hq", "factor", "sse2"})->ArgsProduct({{0, 1}, {2, 16}, {0, 1}});
BENCHMARK(BM_IIRRoundTrip)->ArgNames({"hq", "factor"})->ArgsProduct({{0, 1}, {2, 16}});
BENCHMARK(BM_TruePeakDetector)->ArgNames({"factor"})->Arg(2)->Arg(4);

}  // namespace

BENCHMARK_MAIN();
