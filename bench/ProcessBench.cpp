// ProcessBlock on stereo material at 44.1 kHz in 512-frame blocks, for every
// oversampling mode at 2X and 16X, with "ISP Protect" off and on. The counter
// rtf is seconds of audio processed per second of CPU.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plugin/Tessaro_v2.h"

namespace {

using tessaro::Tessaro_v2;

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kBlocks = 86;  // about one second of audio per iteration

std::intptr_t SilentHost(AEffect*, std::int32_t, std::int32_t, std::intptr_t, void*, float) { return 0; }

std::intptr_t Send(Tessaro_v2& plug, std::int32_t opcode, std::intptr_t value = 0, float opt = 0.0f) {
  AEffect* e = plug.Effect();
  return e->dispatcher(e, opcode, 0, value, nullptr, opt);
}

void Set(Tessaro_v2& plug, int index, double value) {
  plug.GetParam(index)->SetClamped(value);
  plug.ParameterChanged(index, tessaro::kSourceHost);
}

void BM_ProcessBlock(benchmark::State& state) {
  // Keep the benchmark's configuration file out of the user's folder.
  const std::string folder = (std::filesystem::temp_directory_path() / "tessaro-bench").string();
  setenv("APPDATA", folder.c_str(), 1);
  auto plug = std::make_unique<Tessaro_v2>(&SilentHost);
  Send(*plug, vst2::effOpen);
  Send(*plug, vst2::effSetSampleRate, 0, static_cast<float>(kRate));
  Send(*plug, vst2::effSetBlockSize, kBlock);
  Send(*plug, vst2::effMainsChanged, 1);
  Set(*plug, tessaro::kOversampleRate, static_cast<double>(state.range(1)));
  Set(*plug, tessaro::kOversampleMode, static_cast<double>(state.range(0)));
  Set(*plug, tessaro::kIspProtect, static_cast<double>(state.range(2)));
  Set(*plug, tessaro::kAmount, 9.0);

  // A mix with transients, so every stage has work to do.
  std::vector<double> left(kBlock * kBlocks), right(kBlock * kBlocks);
  unsigned noise = 12345;
  for (std::size_t n = 0; n < left.size(); ++n) {
    noise = noise * 1664525u + 1013904223u;
    const double burst = (n % 11025) < 800 ? (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) : 0.0;
    left[n] = 0.4 * std::sin(0.0627 * static_cast<double>(n)) + burst;
    right[n] = 0.4 * std::sin(0.0411 * static_cast<double>(n) + 0.5) + 0.8 * burst;
  }
  std::vector<double> outLeft(kBlock), outRight(kBlock);
  for (auto _ : state) {
    for (int b = 0; b < kBlocks; ++b) {
      double* in[] = {left.data() + b * kBlock, right.data() + b * kBlock};
      double* out[] = {outLeft.data(), outRight.data()};
      plug->ProcessBlock(in, out, kBlock);
    }
    benchmark::DoNotOptimize(outLeft.data());
  }
  const double seconds = static_cast<double>(kBlock * kBlocks) / kRate;
  state.counters["rtf"] = benchmark::Counter(seconds * static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate);
  static const char* kModes[] = {"OFF", "MINIMAL LQ", "MINIMAL HQ", "LINEAR LQ", "LINEAR HQ"};
  static const char* kRates[] = {" 2X", " 4X", " 8X", " 16X"};
  state.SetLabel(std::string(kModes[state.range(0)]) + (state.range(0) ? kRates[state.range(1)] : "") +
                 (state.range(2) ? " ISP" : ""));
}

void Cases(benchmark::internal::Benchmark* b) {
  for (int isp : {0, 1}) {
    b->Args({0, 0, isp});
    for (int mode = 1; mode <= 4; ++mode)
      for (int rate : {0, 3}) b->Args({mode, rate, isp});
    b->Args({3, 1, isp});  // LINEAR LQ 4X
  }
}

BENCHMARK(BM_ProcessBlock)->Apply(Cases)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
