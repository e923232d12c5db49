// Minimum-phase polyphase IIR half-band filters and the 2^n resampler cascades
// built from them. Each stage is the classic two-path structure
// H(z) = (A(z^2) + z^-1 B(z^2)) / 2 with A and B chains of first-order
// all-passes in z^2, designed by the elliptic half-band formula. The stage
// runs at its higher rate: the upsampler feeds it zero-stuffed input, the
// downsampler feeds it every input and keeps every other output.
#pragma once

#include <vector>

namespace tessaro {

// Coefficients of an elliptic half-band filter with at least attenuationDb of
// stopband rejection and a transition band of width `transition` (a fraction
// of the rate at which the filter runs, centred on a quarter of it). A target
// that would give fewer than two coefficients is relaxed (attenuation x1.2,
// width x0.8) until it gives two. Coefficients in design order: even ones
// belong to chain A, odd ones to chain B. Allocates.
std::vector<double> DesignIIRHalfbandCoefficients(double attenuationDb, double transition);

// One row of the cascade table: the target of the base-rate stage, how fast the
// attenuation of the next stages shrinks, and the latency part (samples at
// the base rate) that the up/down pair reports. The pair's whole latency is
// booked on the upsampler's row so that summing both never counts it twice.
struct IIRCascadeGrade {
  double attenuationDb;
  double transition;
  double growth;
  int latency;
};

inline constexpr IIRCascadeGrade kIIRMinimalLqUp{64.0, 0.25, 0.4, 4};
inline constexpr IIRCascadeGrade kIIRMinimalLqDown{86.0, 0.1, 0.4, 0};
inline constexpr IIRCascadeGrade kIIRMinimalHqUp{80.0, 0.175, 0.65, 8};
inline constexpr IIRCascadeGrade kIIRMinimalHqDown{124.0, 0.095, 0.65, 0};
// Peak detection only; its delay is never compensated, so it reports none.
inline constexpr IIRCascadeGrade kIIRLinkDetectUp{48.0, 0.25, 0.4, 0};

// Factor of the stereo-link detection upsamplers for a core running at `rate`:
// below 49 kHz there is room for 4x, above that 2x finds the peaks well enough.
inline int LinkDetectionFactor(double rate) { return rate < 49000.0 ? 4 : 2; }

// One half-band stage.
// State: chainA_ and chainB_ hold the all-pass sections of the two paths, each
// with its coefficient c and the last two inputs (x1, x2) and outputs (y1, y2)
// of y = c*(x - y2) + x2; prevB_ is path B's output from the previous sample,
// which is the z^-1 in front of B. requested* keep the target before any
// relaxation, for reporting.
class IIRHalfbandStage {
 public:
  // Set-up (under the plug-in lock); allocates. Clears the state.
  void Design(double attenuationDb, double transition);
  // Audio thread or set-up; never allocates.
  void Reset() noexcept;

  // One sample at the stage's (higher) rate. Audio thread; never allocates.
  double Process(double x) noexcept {
    const double out = (RunChain(chainA_, x) + prevB_) * 0.5;
    prevB_ = RunChain(chainB_, x);
    return out;
  }

  // Queries for inspection; never allocate.
  int NumCoefficients() const { return static_cast<int>(coefficients_.size()); }
  // In design order (A, B, A, B, ...).
  const std::vector<double>& Coefficients() const { return coefficients_; }
  double RequestedAttenuation() const { return requestedAttenuation_; }
  double RequestedTransition() const { return requestedTransition_; }

 private:
  struct Section {
    double c = 0.0;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
  };

  static double RunChain(std::vector<Section>& chain, double x) noexcept {
    for (Section& s : chain) {
      const double y = s.c * (x - s.y2) + s.x2;
      s.x2 = s.x1;
      s.x1 = x;
      s.y2 = s.y1;
      s.y1 = y;
      x = y;
    }
    return x;
  }

  std::vector<Section> chainA_;
  std::vector<Section> chainB_;
  double prevB_ = 0.0;
  std::vector<double> coefficients_;
  double requestedAttenuation_ = 0.0;
  double requestedTransition_ = 0.0;
};

// What the up- and downsampling cascades share: the stages, the factor and
// two work buffers of `factor` values, all sized by Design so that processing
// never allocates.
// State: stages_ in processing order (the upsampler starts at the base rate,
// the downsampler at the highest rate); factor_ is 2^stages_.size(); buffer0_
// and buffer1_ are the work buffers; latency_ is the grade's latency part.
class IIRResamplerBase {
 public:
  // Queries: any thread, under the same lock as Design; never allocate.
  int Factor() const noexcept { return factor_; }
  int NumStages() const noexcept { return static_cast<int>(stages_.size()); }
  // Stage i in processing order; an index out of range gives an empty stage.
  const IIRHalfbandStage& Stage(int i) const noexcept;
  // Samples at the base rate that this object contributes to the reported latency.
  int LatencySamples() const noexcept { return latency_; }

 protected:
  // Stage i of S gets attenuation a, a*growth, ... (each clamped to 36..256 dB)
  // and width (1 - 0.5^i)*0.5 + 0.5^i*t: the further from the base rate, the
  // more room the stage has, so it gets a wider band and less rejection. The
  // downsampler runs the same list from its far end. A factor that is not a
  // power of two is rounded to the nearest one; below 2 there are no stages.
  void DesignCascade(double attenuationDb, double transition, int factor, double growth, bool up);
  void ResetStages() noexcept;

  std::vector<IIRHalfbandStage> stages_;
  std::vector<double> buffer0_;
  std::vector<double> buffer1_;
  int factor_ = 1;
  int latency_ = 0;
};

// Upsampler by 1, 2, 4, 8 or 16: one base-rate value in, `factor` values out.
class IIRUpsampler : public IIRResamplerBase {
 public:
  IIRUpsampler() { Design(kIIRMinimalLqUp, 1); }

  // Set-up (under the plug-in lock); allocates. States start at zero.
  void Design(double attenuationDb, double transition, int factor, double growth);
  void Design(const IIRCascadeGrade& grade, int factor);
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
// State beyond the base: written_ counts the values Write has put into buffer0_.
class IIRDownsampler : public IIRResamplerBase {
 public:
  IIRDownsampler() { Design(kIIRMinimalLqDown, 1); }

  // Set-up (under the plug-in lock); allocates. States start at zero.
  void Design(double attenuationDb, double transition, int factor, double growth);
  void Design(const IIRCascadeGrade& grade, int factor);
  // Audio thread or set-up; never allocates. Also drops values written so far.
  void Reset() noexcept;

  // Audio thread; never allocates. Writes beyond Factor() values are ignored.
  void Write(double x) noexcept {
    if (written_ < factor_) buffer0_[static_cast<std::size_t>(written_++)] = x;
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
