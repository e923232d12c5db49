#include "dsp/FIRHalfband.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "dsp/TruePeak.h"

namespace tessaro {

namespace {

constexpr double kPi = std::numbers::pi;
// Taps below this no longer matter against a unit-sum kernel.
constexpr double kFlush = 0x1p-54;
// A hair under unity, so a full-scale DC input cannot come out above full scale.
constexpr double kGain = 0.99999;

double Flushed(double v) { return (!std::isfinite(v) || std::fabs(v) < kFlush) ? 0.0 : v; }

}  // namespace

double FIRBesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;  // (x/2)^m / m!
  for (int m = 1; m <= 9; ++m) {
    term *= (x / 2.0) / m;
    sum += term * term;
  }
  return sum;
}

double FIRWindowValue(FIRWindow window, int i, int n, double beta) {
  if (n < 2) return 1.0;
  const double span = n - 1;
  switch (window) {
    case FIRWindow::kHann:
      return (1.0 - std::cos(2.0 * kPi * i / span)) / 2.0;
    case FIRWindow::kKaiser: {
      const double r = (2.0 * i - span) / span;
      return FIRBesselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / FIRBesselI0(beta);
    }
  }
  return 1.0;
}

std::vector<double> DesignFIRHalfbandTaps(double cutoff, int tapRequest, FIRWindow window, double beta,
                                          bool up) {
  if (!(cutoff >= 0.0)) cutoff = 0.0;
  cutoff = std::min(cutoff, up ? 0.25 : 0.5);
  int n = std::clamp(tapRequest, 2, 254);
  n += n & 1;
  const int count = n + 1;
  const double centre = (count - 1) / 2.0;

  std::vector<double> h(static_cast<std::size_t>(count));
  double sum = 0.0;
  for (int i = 0; i < count; ++i) {
    const double k = i - centre;
    const double sinc = k == 0.0 ? 2.0 * kPi * cutoff : std::sin(2.0 * kPi * cutoff * k) / k;
    const double v = Flushed(sinc * FIRWindowValue(window, i, count, beta));
    h[static_cast<std::size_t>(i)] = v;
    sum += v;
  }
  // A zero cutoff leaves nothing to normalise; a plain unit centre tap keeps the
  // stage a pure delay rather than a source of NaN.
  if (!(std::fabs(sum) > 0.0)) {
    std::fill(h.begin(), h.end(), 0.0);
    h[static_cast<std::size_t>(count / 2)] = 1.0;
    sum = 1.0;
  }
  double normalised = 0.0;
  for (double& v : h) {
    v = Flushed(v / sum);
    normalised += v;
  }
  const double scale = normalised / (up ? 2.0 * kGain : kGain);
  for (double& v : h) v /= scale;
  return h;
}

void FIRHalfbandStage::Design(double cutoff, int tapRequest, FIRWindow window, double beta, bool up) {
  up_ = up;
  cutoff_ = cutoff;
  taps_ = DesignFIRHalfbandTaps(cutoff, tapRequest, window, beta, up);
  const int count = NumTaps();
  const int half = count / 2;  // count = 2 * half + 1
  if (up) {
    // Phase 0: taps 0, 2, ..., 2*half against x[m - half .. m]; phase 1: taps
    // 1, 3, ..., 2*half - 1 against x[m - half + 1 .. m], led by a zero.
    window_ = half + 1;
    kernel0D_.assign(static_cast<std::size_t>(window_), 0.0);
    kernel1D_.assign(static_cast<std::size_t>(window_), 0.0);
    for (int i = 0; i < window_; ++i) {
      kernel0D_[static_cast<std::size_t>(i)] = taps_[static_cast<std::size_t>(2 * (half - i))];
      if (i > 0) kernel1D_[static_cast<std::size_t>(i)] = taps_[static_cast<std::size_t>(2 * (half - i) + 1)];
    }
  } else {
    window_ = count;
    kernel0D_.assign(taps_.rbegin(), taps_.rend());
    kernel1D_.clear();
  }
  kernel0F_.assign(kernel0D_.begin(), kernel0D_.end());
  kernel1F_.assign(kernel1D_.begin(), kernel1D_.end());
  historyD_.assign(static_cast<std::size_t>(2 * window_), 0.0);
  historyF_.assign(static_cast<std::size_t>(2 * window_), 0.0f);
  UseKernel(FIRBestKernel());
  Reset();
}

void FIRHalfbandStage::UseKernel(FIRKernelIsa isa) noexcept {
  kernel_ = FIRKernelSupported(isa) ? isa : FIRBestKernel();
  dotD_ = FIRDotKernelDouble(kernel_);
  dotF_ = FIRDotKernelFloat(kernel_);
}

void FIRHalfbandStage::Reset() noexcept {
  std::fill(historyD_.begin(), historyD_.end(), 0.0);
  std::fill(historyF_.begin(), historyF_.end(), 0.0f);
  pos_ = 0;
}

std::vector<double> FIRHalfbandStage::Phase(int p) const {
  std::vector<double> phase;
  for (std::size_t i = static_cast<std::size_t>(p & 1); i < taps_.size(); i += 2) phase.push_back(taps_[i]);
  return phase;
}

// After a push and an advance, history[pos_ .. pos_ + window_) holds the last
// window_ inputs, oldest first.
void FIRHalfbandStage::Upsample(double x, double* out) noexcept {
  Push(historyD_, x);
  Advance();
  const double* w = historyD_.data() + pos_;
  out[0] = dotD_(kernel0D_.data(), w, window_);
  out[1] = dotD_(kernel1D_.data(), w, window_);
}

void FIRHalfbandStage::Upsample(float x, float* out) noexcept {
  Push(historyF_, x);
  Advance();
  const float* w = historyF_.data() + pos_;
  out[0] = dotF_(kernel0F_.data(), w, window_);
  out[1] = dotF_(kernel1F_.data(), w, window_);
}

double FIRHalfbandStage::Downsample(double first, double second) noexcept {
  Push(historyD_, first);
  Advance();
  const double y = dotD_(kernel0D_.data(), historyD_.data() + pos_, window_);
  Push(historyD_, second);
  Advance();
  return y;
}

float FIRHalfbandStage::Downsample(float first, float second) noexcept {
  Push(historyF_, first);
  Advance();
  const float y = dotF_(kernel0F_.data(), historyF_.data() + pos_, window_);
  Push(historyF_, second);
  Advance();
  return y;
}

void FIRResamplerBase::DesignCascade(const FIRCascadeGrade& grade, int factor, bool up) {
  int count = 0;
  while (count < 5 && (2 << count) <= factor) ++count;
  precision_ = grade.precision;
  stages_.assign(static_cast<std::size_t>(count), FIRHalfbandStage{});
  const int first = std::clamp(grade.taps, 2, 254);
  double cutoff = 0.49 * 0.5;
  int taps = first;
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      taps = std::min(std::max(16, static_cast<int>(taps * grade.reduction)), first);
      taps += taps & 1;
      cutoff = std::clamp(cutoff * 1.15, 0.05, 0.5);
    }
    stages_[static_cast<std::size_t>(i)].Design(cutoff, taps, grade.window, grade.beta, up);
  }
  factor_ = 1 << count;
  for (auto* b : {&buffer0D_, &buffer1D_}) b->assign(static_cast<std::size_t>(factor_), 0.0);
  for (auto* b : {&buffer0F_, &buffer1F_}) b->assign(static_cast<std::size_t>(factor_), 0.0f);
  const int baseTaps = count > 0 ? stages_[0].NumTaps() : 1;
  latency_ =
      up ? FIRLatencySamples(baseTaps, count, 1, 0, factor_) : FIRLatencySamples(1, 0, baseTaps, count, 1);
}

const FIRHalfbandStage& FIRResamplerBase::Stage(int i) const noexcept {
  static const FIRHalfbandStage kEmpty;
  if (i < 0 || i >= NumStages()) return kEmpty;
  return stages_[static_cast<std::size_t>(i)];
}

void FIRResamplerBase::UseKernel(FIRKernelIsa isa) noexcept {
  for (FIRHalfbandStage& stage : stages_) stage.UseKernel(isa);
}

void FIRResamplerBase::ResetStages() noexcept {
  for (FIRHalfbandStage& stage : stages_) stage.Reset();
  for (auto* b : {&buffer0D_, &buffer1D_}) std::fill(b->begin(), b->end(), 0.0);
  for (auto* b : {&buffer0F_, &buffer1F_}) std::fill(b->begin(), b->end(), 0.0f);
}

void FIRUpsampler::Design(const FIRCascadeGrade& grade, int factor) { DesignCascade(grade, factor, true); }

void FIRUpsampler::Reset() noexcept { ResetStages(); }

namespace {

// Doubles the buffer at every stage; returns the buffer that holds the result.
template <typename T>
T* RunUp(std::vector<FIRHalfbandStage>& stages, T* in, T* out, T x) noexcept {
  in[0] = x;
  int m = 1;
  for (FIRHalfbandStage& stage : stages) {
    for (int i = 0; i < m; ++i) stage.Upsample(in[i], out + 2 * i);
    std::swap(in, out);
    m *= 2;
  }
  return in;
}

// Halves the values at every stage, from the highest rate down to stage 0.
// In place is safe: output i is written after inputs 2i and 2i + 1 were read.
template <typename T>
T RunDown(std::vector<FIRHalfbandStage>& stages, const T* in, T* work, int factor) noexcept {
  const T* src = in;
  int m = factor;
  for (auto stage = stages.rbegin(); stage != stages.rend(); ++stage) {
    for (int i = 0; i < m / 2; ++i) work[i] = stage->Downsample(src[2 * i], src[2 * i + 1]);
    m /= 2;
    src = work;
  }
  return src[0];
}

}  // namespace

const double* FIRUpsampler::Upsample(double x) noexcept {
  if (precision_ == FIRPrecision::kDouble) return RunUp(stages_, buffer0D_.data(), buffer1D_.data(), x);
  if (stages_.empty()) {
    buffer0D_[0] = x;
    return buffer0D_.data();
  }
  const float* y = RunUp(stages_, buffer0F_.data(), buffer1F_.data(), static_cast<float>(x));
  for (int i = 0; i < factor_; ++i) buffer0D_[static_cast<std::size_t>(i)] = y[i];
  return buffer0D_.data();
}

double FIRUpsampler::UpsamplePeak(double x) noexcept {
  const double* values = Upsample(x);
  double peak = 0.0;
  for (int i = 0; i < factor_; ++i) peak = std::max(peak, std::fabs(values[i]));
  return peak;
}

void FIRDownsampler::Design(const FIRCascadeGrade& grade, int factor) {
  DesignCascade(grade, factor, false);
  written_ = 0;
}

void FIRDownsampler::Reset() noexcept {
  ResetStages();
  written_ = 0;
}

double FIRDownsampler::Downsample() noexcept {
  std::fill(buffer0D_.begin() + written_, buffer0D_.end(), 0.0);
  written_ = 0;
  return Run(buffer0D_.data());
}

double FIRDownsampler::Downsample(const double* in) noexcept { return Run(in); }

double FIRDownsampler::Run(const double* in) noexcept {
  if (stages_.empty()) return in[0];
  if (precision_ == FIRPrecision::kDouble) return RunDown(stages_, in, buffer1D_.data(), factor_);
  for (int i = 0; i < factor_; ++i) buffer0F_[static_cast<std::size_t>(i)] = static_cast<float>(in[i]);
  return RunDown(stages_, buffer0F_.data(), buffer1F_.data(), factor_);
}

}  // namespace tessaro
