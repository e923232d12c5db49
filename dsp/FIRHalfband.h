// Linear-phase polyphase FIR half-band filters and the 2^n resampler cascades
// built from them. A stage is a windowed-sinc low-pass with an odd number of
// taps, run at its higher rate: the upsampler computes its two output phases
// from the even and the odd taps, the downsampler keeps the full convolution
// at the first sample of every input pair. The "HQ" grade runs in double
// precision, the "LQ" grade and the peak detectors in single precision.
#pragma once

#include <cstddef>
#include <vector>

#include "dsp/FIRKernels.h"

namespace tessaro {

// Window numbers as the designer knows them; only these two are requested.
enum class FIRWindow { kHann = 2, kKaiser = 8 };
enum class FIRPrecision { kDouble, kSingle };

// Zeroth-order modified Bessel function by its first ten series terms,
// 1 + sum_{m=1..9} ((x/2)^m / m!)^2, which is what the Kaiser window uses.
double FIRBesselI0(double x);
// Value i (0 <= i < n) of an n-point window; beta is used by Kaiser only.
double FIRWindowValue(FIRWindow window, int i, int n, double beta);

// Taps of one stage: cutoff as a fraction of the stage's higher rate (up to a
// quarter for upsampling, half for downsampling), a tap request clamped to
// 2..254 and rounded up to even, plus the one centre tap. Upsampler taps sum
// to 2 * 0.99999 (each phase then carries about unit gain), downsampler taps
// to 0.99999. Allocates.
std::vector<double> DesignFIRHalfbandTaps(double cutoff, int tapRequest, FIRWindow window, double beta,
                                          bool up);

// One row of the cascade table: taps of the base-rate stage, window, how fast
// the tap count shrinks in the later stages, Kaiser beta and arithmetic.
struct FIRCascadeGrade {
  int taps;
  FIRWindow window;
  double reduction;
  double beta;
  FIRPrecision precision;
};

inline constexpr FIRCascadeGrade kFIRLinearHqUp{80, FIRWindow::kHann, 0.1, 3.0, FIRPrecision::kDouble};
inline constexpr FIRCascadeGrade kFIRLinearHqDown{128, FIRWindow::kHann, 0.1, 3.0, FIRPrecision::kDouble};
inline constexpr FIRCascadeGrade kFIRLinearLqUp{48, FIRWindow::kKaiser, 0.05, 3.0, FIRPrecision::kSingle};
inline constexpr FIRCascadeGrade kFIRLinearLqDown{64, FIRWindow::kKaiser, 0.05, 3.0, FIRPrecision::kSingle};
// Inter-sample peak detection (output meters and the ISP stage).
inline constexpr FIRCascadeGrade kFIRTruePeakUp{64, FIRWindow::kHann, 0.1, 1.0, FIRPrecision::kSingle};

// One half-band stage.
// State: taps_ are the designed taps in design order; kernel{0,1}{D,F}_ hold
// them in the order the dot products read them, in double and in single
// precision: for an upsampling stage the even taps (phase 0) and the odd taps
// (phase 1, led by a zero to the same length), for a downsampling stage all
// taps in kernel0; each reversed so that a forward dot product with the
// oldest-first history gives the convolution; history{D,F}_ is the input history of length window_ stored
// twice over (each value at pos and pos + window_) so that the last window_
// values are always contiguous; pos_ is the next write position.
class FIRHalfbandStage {
 public:
  // Set-up (under the plug-in lock); allocates. Clears the state.
  void Design(double cutoff, int tapRequest, FIRWindow window, double beta, bool up);
  // Set-up; never allocates. Unsupported kernels fall back to the best one.
  void UseKernel(FIRKernelIsa isa) noexcept;
  // Audio thread or set-up; never allocates.
  void Reset() noexcept;

  // One input at the lower rate, two outputs at the higher rate (phase 0
  // first). Audio thread; never allocates.
  void Upsample(double x, double* out) noexcept;
  void Upsample(float x, float* out) noexcept;
  // A pair of inputs at the higher rate, one output aligned with the first of
  // them. Audio thread; never allocates.
  double Downsample(double first, double second) noexcept;
  float Downsample(float first, float second) noexcept;

  // Queries for inspection; never allocate.
  int NumTaps() const { return static_cast<int>(taps_.size()); }
  // (NumTaps() - 1) / 2: the delay of the stage in samples of its higher rate.
  int HalfLength() const { return (NumTaps() - 1) / 2; }
  const std::vector<double>& Taps() const { return taps_; }
  // Taps of phase 0 (even) or 1 (odd) in design order.
  std::vector<double> Phase(int p) const;
  double Cutoff() const { return cutoff_; }
  FIRKernelIsa Kernel() const { return kernel_; }

 private:
  template <typename T>
  void Push(std::vector<T>& history, T x) noexcept {
    history[static_cast<std::size_t>(pos_)] = x;
    history[static_cast<std::size_t>(pos_ + window_)] = x;
  }
  void Advance() noexcept {
    if (++pos_ == window_) pos_ = 0;
  }

  std::vector<double> taps_;
  std::vector<double> kernel0D_, kernel1D_;
  std::vector<float> kernel0F_, kernel1F_;
  std::vector<double> historyD_;
  std::vector<float> historyF_;
  int window_ = 0;
  int pos_ = 0;
  bool up_ = true;
  double cutoff_ = 0.0;
  FIRKernelIsa kernel_ = FIRKernelIsa::kScalar;
  FIRDotDouble dotD_ = nullptr;
  FIRDotFloat dotF_ = nullptr;
};

// What the up- and downsampling cascades share, sized by Design so that
// processing never allocates.
// State: stages_ with stage 0 at the base-rate side (the first stage of
// upsampling, the last of downsampling); factor_ is 2^stages_.size();
// buffer{0,1}D_ / buffer{0,1}F_ are the work buffers of factor_ values of each
// precision (the single-precision grades run in the float ones and hand
// doubles in and out through the double ones); precision_ is the grade's
// arithmetic; latency_ is this side's latency part.
class FIRResamplerBase {
 public:
  // Queries: any thread, under the same lock as Design; never allocate.
  int Factor() const noexcept { return factor_; }
  int NumStages() const noexcept { return static_cast<int>(stages_.size()); }
  // Stage i counted from the base rate; an index out of range gives an empty stage.
  const FIRHalfbandStage& Stage(int i) const noexcept;
  FIRPrecision Precision() const noexcept { return precision_; }
  // Samples at the base rate of this side's part of the latency; an up/down
  // pair of the same factor reports the pair's latency as the sum of both.
  int LatencySamples() const noexcept { return latency_; }
  // Set-up; never allocates. Picks the kernel family of every stage (the
  // design picks the best one); unsupported ones fall back to the best.
  void UseKernel(FIRKernelIsa isa) noexcept;

 protected:
  // Stage 0 gets cutoff 0.245 and grade.taps; each next stage gets
  // max(16, previous * reduction) taps (at most grade.taps) and 1.15 times the
  // previous cutoff, kept within 0.05..0.5. A factor that is not a power of two
  // is rounded down to one; below 2 there are no stages.
  void DesignCascade(const FIRCascadeGrade& grade, int factor, bool up);
  void ResetStages() noexcept;

  std::vector<FIRHalfbandStage> stages_;
  std::vector<double> buffer0D_, buffer1D_;
  std::vector<float> buffer0F_, buffer1F_;
  int factor_ = 1;
  int latency_ = 0;
  FIRPrecision precision_ = FIRPrecision::kDouble;
};

// Upsampler by 1, 2, 4, 8 or 16: one base-rate value in, `factor` values out.
class FIRUpsampler : public FIRResamplerBase {
 public:
  FIRUpsampler() { Design(kFIRLinearLqUp, 1); }

  // Set-up (under the plug-in lock); allocates. States start at zero.
  void Design(const FIRCascadeGrade& grade, int factor);
  // Audio thread or set-up; never allocates.
  void Reset() noexcept;

  // Returns Factor() values, oldest first, valid until the next call.
  // Audio thread; never allocates.
  const double* Upsample(double x) noexcept;
  // Largest magnitude among the values Upsample(x) returns: the inter-sample
  // peak estimate for detection. Audio thread; never allocates.
  double UpsamplePeak(double x) noexcept;
};

// Downsampler by 1, 2, 4, 8 or 16: `factor` values in, one base-rate value out.
// Values come either one by one through Write and then Downsample(), or as a
// whole array through Downsample(in).
// State beyond the base: written_ counts the values Write has put into buffer0D_.
class FIRDownsampler : public FIRResamplerBase {
 public:
  FIRDownsampler() { Design(kFIRLinearLqDown, 1); }

  // Set-up (under the plug-in lock); allocates. States start at zero.
  void Design(const FIRCascadeGrade& grade, int factor);
  // Audio thread or set-up; never allocates. Also drops values written so far.
  void Reset() noexcept;

  // Audio thread; never allocates. Writes beyond Factor() values are ignored.
  void Write(double x) noexcept {
    if (written_ < factor_) buffer0D_[static_cast<std::size_t>(written_++)] = x;
  }
  // Consumes the written values (missing ones count as 0) and returns the
  // base-rate value; the write count returns to 0. Audio thread; never allocates.
  double Downsample() noexcept;
  // Consumes Factor() values from `in`, oldest first. Audio thread; never allocates.
  double Downsample(const double* in) noexcept;

 private:
  double Run(const double* in) noexcept;

  int written_ = 0;
};

}  // namespace tessaro
