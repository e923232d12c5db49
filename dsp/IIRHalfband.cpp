#include "dsp/IIRHalfband.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <utility>

namespace tessaro {

namespace {

constexpr double kPi = std::numbers::pi;
// Series terms this small no longer move a double.
constexpr double kSeriesEnd = 1e-100;

// x^n for a non-negative integer n by repeated squaring.
double IntPow(double x, int n) {
  double result = 1.0;
  while (n > 0) {
    if (n & 1) result *= x;
    x *= x;
    n >>= 1;
  }
  return result;
}

// The elliptic design for one (attenuation, width) pair, without relaxation.
std::vector<double> DesignOnce(double attenuationDb, double transition) {
  // Selectivity k from the pass-band edge (1 - 2t)/4 of the rate, and the
  // nome q of the matching elliptic modulus by its fast-converging series.
  const double tk = std::tan((1.0 - 2.0 * transition) * kPi / 4.0);
  const double k = tk * tk;
  const double s = std::pow(1.0 - k * k, 0.25);
  const double e = 0.5 * (1.0 - s) / (1.0 + s);
  const double e4 = e * e * e * e;
  const double q = e * (1.0 + e4 * (2.0 + e4 * (15.0 + 150.0 * e4)));

  const double p = std::pow(10.0, -attenuationDb / 10.0);
  const double k1 = p / (1.0 - p);
  int n = static_cast<int>(std::ceil(std::log(k1 * k1 / 16.0) / std::log(q)));
  if ((n & 1) == 0) ++n;
  if (n == 1) n = 3;

  const int count = (n - 1) / 2;
  std::vector<double> coefficients;
  coefficients.reserve(static_cast<std::size_t>(std::max(count, 0)));
  const double q4 = std::pow(q, 0.25);
  for (int i = 0; i < count; ++i) {
    const double c = i + 1;
    double num = 0.0;
    for (int j = 0;; ++j) {
      const double sign = (j & 1) ? -1.0 : 1.0;
      const double term = sign * IntPow(q, j * (j + 1)) * std::sin((2 * j + 1) * c * kPi / n);
      num += term;
      if (!(std::fabs(term) > kSeriesEnd)) break;
    }
    num *= q4;
    double den = 0.5;
    for (int j = 1;; ++j) {
      const double sign = (j & 1) ? -1.0 : 1.0;
      const double term = sign * IntPow(q, j * j) * std::cos(2 * j * c * kPi / n);
      den += term;
      if (!(std::fabs(term) > kSeriesEnd)) break;
    }
    const double ratio = num / den;
    const double w = ratio * ratio;
    const double x = std::sqrt((1.0 - w / k) * (1.0 - w * k)) / (1.0 + w);
    double coefficient = (1.0 - x) / (1.0 + x);
    // A broken coefficient degrades to a plain two-sample delay, which is still stable.
    if (!std::isfinite(coefficient) || std::fabs(coefficient) < 0x1p-54) coefficient = 0.0;
    coefficients.push_back(coefficient);
  }
  return coefficients;
}

}  // namespace

std::vector<double> DesignIIRHalfbandCoefficients(double attenuationDb, double transition) {
  // Keep the formula inside its domain: the width must lie strictly between 0
  // and 0.5, and a NaN target must not spin the relaxation loop.
  if (!(attenuationDb >= 1.0)) attenuationDb = 1.0;
  if (!(attenuationDb <= 1000.0)) attenuationDb = 1000.0;
  if (!(transition >= 1e-4)) transition = 1e-4;
  if (!(transition <= 0.4999)) transition = 0.4999;

  std::vector<double> coefficients = DesignOnce(attenuationDb, transition);
  // Both paths need at least one section; a few rounds always get there.
  for (int round = 0; coefficients.size() < 2 && round < 64; ++round) {
    attenuationDb *= 1.2;
    transition *= 0.8;
    coefficients = DesignOnce(attenuationDb, transition);
  }
  return coefficients;
}

void IIRHalfbandStage::Design(double attenuationDb, double transition) {
  requestedAttenuation_ = attenuationDb;
  requestedTransition_ = transition;
  coefficients_ = DesignIIRHalfbandCoefficients(attenuationDb, transition);
  chainA_.clear();
  chainB_.clear();
  for (std::size_t i = 0; i < coefficients_.size(); ++i) {
    Section s;
    s.c = coefficients_[i];
    ((i & 1) == 0 ? chainA_ : chainB_).push_back(s);
  }
  Reset();
}

void IIRHalfbandStage::Reset() noexcept {
  for (auto* chain : {&chainA_, &chainB_}) {
    for (Section& s : *chain) s.x1 = s.x2 = s.y1 = s.y2 = 0.0;
  }
  prevB_ = 0.0;
}

void IIRResamplerBase::DesignCascade(double attenuationDb, double transition, int factor, double growth,
                                     bool up) {
  const int count =
      factor < 2 ? 0
                 : static_cast<int>(std::lround(std::log10(static_cast<double>(factor)) / std::log10(2.0)));
  std::vector<std::pair<double, double>> targets;
  double a = attenuationDb;
  double half = 1.0;  // 0.5^i
  for (int i = 0; i < count; ++i) {
    if (i > 0) a = std::clamp(a * growth, 36.0, 256.0);
    targets.emplace_back(a, (1.0 - half) * 0.5 + half * transition);
    half *= 0.5;
  }
  if (!up) std::reverse(targets.begin(), targets.end());

  stages_.assign(targets.size(), IIRHalfbandStage{});
  for (std::size_t i = 0; i < targets.size(); ++i) stages_[i].Design(targets[i].first, targets[i].second);
  factor_ = 1 << count;
  buffer0_.assign(static_cast<std::size_t>(factor_), 0.0);
  buffer1_.assign(static_cast<std::size_t>(factor_), 0.0);
}

const IIRHalfbandStage& IIRResamplerBase::Stage(int i) const noexcept {
  static const IIRHalfbandStage kEmpty;
  if (i < 0 || i >= NumStages()) return kEmpty;
  return stages_[static_cast<std::size_t>(i)];
}

void IIRResamplerBase::ResetStages() noexcept {
  for (IIRHalfbandStage& stage : stages_) stage.Reset();
  std::fill(buffer0_.begin(), buffer0_.end(), 0.0);
  std::fill(buffer1_.begin(), buffer1_.end(), 0.0);
}

void IIRUpsampler::Design(double attenuationDb, double transition, int factor, double growth) {
  DesignCascade(attenuationDb, transition, factor, growth, true);
  latency_ = 0;
}

void IIRUpsampler::Design(const IIRCascadeGrade& grade, int factor) {
  DesignCascade(grade.attenuationDb, grade.transition, factor, grade.growth, true);
  latency_ = grade.latency;
}

void IIRUpsampler::Reset() noexcept { ResetStages(); }

const double* IIRUpsampler::Upsample(double x) noexcept {
  double* in = buffer0_.data();
  double* out = buffer1_.data();
  // Zero-stuffing halves the level at every stage; scaling once up front
  // restores unity gain for the whole cascade.
  in[0] = factor_ * x;
  int m = 1;
  for (IIRHalfbandStage& stage : stages_) {
    for (int i = 0; i < m; ++i) {
      out[2 * i] = stage.Process(in[i]);
      out[2 * i + 1] = stage.Process(0.0);
    }
    std::swap(in, out);
    m *= 2;
  }
  return in;
}

double IIRUpsampler::UpsamplePeak(double x) noexcept {
  const double* values = Upsample(x);
  double peak = 0.0;
  for (int i = 0; i < factor_; ++i) peak = std::max(peak, std::fabs(values[i]));
  return peak;
}

void IIRDownsampler::Design(double attenuationDb, double transition, int factor, double growth) {
  DesignCascade(attenuationDb, transition, factor, growth, false);
  latency_ = 0;
  written_ = 0;
}

void IIRDownsampler::Design(const IIRCascadeGrade& grade, int factor) {
  DesignCascade(grade.attenuationDb, grade.transition, factor, grade.growth, false);
  latency_ = grade.latency;
  written_ = 0;
}

void IIRDownsampler::Reset() noexcept {
  ResetStages();
  written_ = 0;
}

double IIRDownsampler::Downsample() noexcept {
  std::fill(buffer0_.begin() + written_, buffer0_.end(), 0.0);
  written_ = 0;
  return Run(buffer0_.data());
}

double IIRDownsampler::Downsample(const double* in) noexcept { return Run(in); }

double IIRDownsampler::Run(const double* in) noexcept {
  // Each stage filters every input at its own rate and keeps the output at
  // the first of each pair; the second output only advances the state.
  const double* src = in;
  double* dst = buffer1_.data();
  int m = factor_;
  for (IIRHalfbandStage& stage : stages_) {
    for (int i = 0; i < m / 2; ++i) {
      dst[i] = stage.Process(src[2 * i]);
      stage.Process(src[2 * i + 1]);
    }
    m /= 2;
    // Decimation in place is safe: output i is written after inputs 2i and 2i + 1 were read.
    src = dst;
  }
  return src[0];
}

}  // namespace tessaro
