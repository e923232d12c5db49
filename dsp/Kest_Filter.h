// The engine's one recursive filter: a designer that turns (order, kind,
// frequency, rate, Q, gain) into first-order and cookbook biquad sections,
// and a per-sample processor that runs them.
//
// State:
// - sections_: one per pair of orders; for an odd order the first one is a
//   first-order section. Each section keeps its normalised coefficients
//   (b0 b1 b2 a1 a2 over a0, or the one-pole p and 1 - p), the inputs it was
//   designed from, its two states s1/s2 (a first-order section uses s1), and
//   the per-sample and magnitude routines its design picked.
// - rate_, frequency_, q_, gainDb_, kind_, order_: the last design inputs
//   (frequency after clamping, kind and order after mapping), compared by
//   the next Design call so that an unchanged design returns at once.
// - oddOrder_, bandwidthMode_ (always off here), enabled_ (a disabled filter
//   passes samples through), processMode_ (1: only the first section runs,
//   the case for every order-1 and order-2 design of the kinds we use;
//   0: every section runs in cascade).
#pragma once

#include <vector>

namespace tessaro {

class Kest_Filter {
 public:
  // Kinds the designer knows. Kinds 17 and 18 (and 22, 23) are the one-pole
  // low- and high-pass whatever the order; any order-1 design is one-pole.
  enum : int {
    kLowPass = 0,
    kHighPass = 1,
    kBandPassSkirt = 2,  // band-pass with skirt gain Q
    kBandPass = 3,       // band-pass with 0 dB peak
    kNotch = 4,
    kAllPass = 5,
    // Prewarped-bilinear (tangent) pair in the form of the BS.1770
    // K-weighting: a high shelf whose mid-band gain sits just under the
    // square root of its top gain, and a high-pass with the plain 1, -2, 1
    // numerator. With the loudness follower's inputs they give the
    // published 48 kHz coefficients.
    kTanHighShelf = 8,
    kTanHighPass = 9,
    kPeaking = 10,
    kLowShelf = 14,
    kHighShelf = 15,
    kOnePoleLowPass = 17,
    kOnePoleHighPass = 18,
  };

  static constexpr int kMaxOrder = 32;
  // Two design inputs closer than this count as the same.
  static constexpr double kSameInput = 2.22045e-12;

  struct Section;
  // The routines a section starts with: it passes samples on and reports 1.
  static double PassThrough(Section&, double x) noexcept { return x; }
  static double UnitMagnitude(const Section&, double) noexcept { return 1.0; }
  using ProcessFn = double (*)(Section&, double) noexcept;
  using MagnitudeFn = double (*)(const Section&, double frequencyHz) noexcept;

  struct Section {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double p = 0.0, oneMinusP = 1.0;
    double rate = 0.0, frequency = 0.0, q = 0.0, gainDb = 0.0, gainLin = 1.0;
    int kind = 0;
    double s1 = 0.0, s2 = 0.0;
    ProcessFn process = &PassThrough;
    MagnitudeFn magnitude = &UnitMagnitude;
  };

  // No sections, order -1, enabled, processMode 0: passes samples through.
  Kest_Filter() = default;
  virtual ~Kest_Filter() = default;

  // Magnitude |H| at frequencyHz: the product of every section's magnitude
  // (1 before the first design). A one-pole high-pass reports the power
  // complement of its low-pass, sqrt(1 - |LP|^2), which is 1/sqrt(2) at the
  // corner like the real one but drifts from it below. Any thread; never
  // allocates.
  virtual double Response(double frequencyHz) const noexcept;
  // One sample through the filter. Audio thread; never allocates. A
  // non-finite result clears the states, so one bad input sample does not
  // poison the filter for good.
  virtual double Process(double x) noexcept;

  // Designs the sections; returns false, touching nothing, when kind, order
  // and (clamped) frequency, rate, Q and gain equal the last design. Keeps the
  // section states unless the order changes. Allocates only when the order
  // changes; called under the plug-in lock.
  bool Design(int order, int kind, double frequency, double rate, double q, double gainDb);
  // Clears every section state. Audio thread or under the plug-in lock.
  void Reset() noexcept;

  void SetEnabled(bool enabled) noexcept { enabled_ = enabled; }
  bool Enabled() const noexcept { return enabled_; }

  int Order() const noexcept { return order_; }
  int Kind() const noexcept { return kind_; }
  double Rate() const noexcept { return rate_; }
  double Frequency() const noexcept { return frequency_; }
  double Q() const noexcept { return q_; }
  double GainDb() const noexcept { return gainDb_; }
  int ProcessMode() const noexcept { return processMode_; }
  bool OddOrder() const noexcept { return oddOrder_; }
  int NumSections() const noexcept { return static_cast<int>(sections_.size()); }
  const Section& GetSection(int i) const { return sections_[static_cast<std::size_t>(i)]; }

 private:
  static void DesignFirstOrder(Section& s, int kind, double frequency, double rate, double gainDb);
  static void DesignBiquad(Section& s, int kind, double frequency, double rate, double q, double gainDb);

  std::vector<Section> sections_;
  double rate_ = 0.0;
  double frequency_ = 0.0;
  double q_ = 0.0;
  double gainDb_ = 0.0;
  int kind_ = 0;
  int order_ = -1;
  bool oddOrder_ = false;
  bool bandwidthMode_ = false;
  bool enabled_ = true;
  int processMode_ = 0;
};

}  // namespace tessaro
