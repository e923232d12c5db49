#include "dsp/Kest_Filter.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace tessaro {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
// Mid-band gain of the tangent high shelf as a power of its top gain; the
// value that turns the K-weighting shelf inputs into the published
// coefficients (Vb = 1.2587209302325617 for a 3.99984 dB top gain).
constexpr double kTanShelfMidExponent = 0.4996667741545416;

bool Same(double a, double b) { return std::fabs(a - b) <= Kest_Filter::kSameInput; }

using Section = Kest_Filter::Section;

// --- per-sample routines ---

double Biquad(Section& s, double x) noexcept {
  // Transposed direct form II.
  const double y = s.b0 * x + s.s1;
  s.s1 = s.b1 * x + s.s2 - s.a1 * y;
  s.s2 = s.b2 * x - s.a2 * y;
  return y;
}

double OnePoleLow(Section& s, double x) noexcept {
  s.s1 = s.oneMinusP * x + s.p * s.s1;
  return s.s1;
}

double OnePoleHigh(Section& s, double x) noexcept {
  s.s1 = s.oneMinusP * x + s.p * s.s1;
  return x - s.s1;
}

double OnePoleTwiceLowMinusInput(Section& s, double x) noexcept {
  s.s1 = s.oneMinusP * x + s.p * s.s1;
  return 2.0 * s.s1 - x;
}

double OnePoleInputMinusTwiceLow(Section& s, double x) noexcept {
  s.s1 = s.oneMinusP * x + s.p * s.s1;
  return x - 2.0 * s.s1;
}

double OnePoleLowShelf(Section& s, double x) noexcept {
  s.s1 = s.oneMinusP * x + s.p * s.s1;
  return x + (s.gainLin - 1.0) * s.s1;
}

double OnePoleHighShelf(Section& s, double x) noexcept {
  s.s1 = s.oneMinusP * x + s.p * s.s1;
  return s.s1 + s.gainLin * (x - s.s1);
}

// --- magnitude routines ---

double BiquadMagnitude(const Section& s, double frequencyHz) noexcept {
  const double w = kTwoPi * frequencyHz / s.rate;
  const double c1 = std::cos(w), s1 = std::sin(w);
  const double c2 = std::cos(2.0 * w), s2 = std::sin(2.0 * w);
  const double nr = s.b0 + s.b1 * c1 + s.b2 * c2;
  const double ni = s.b1 * s1 + s.b2 * s2;
  const double dr = 1.0 + s.a1 * c1 + s.a2 * c2;
  const double di = s.a1 * s1 + s.a2 * s2;
  return std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di));
}

// |low-pass|^2 of the one-pole: (1 - p)^2 / (1 + p^2 - 2p cos w), with the
// denominator written as (1 - p)^2 + 2p(1 - cos w) so it stays accurate.
double OnePoleLowSquared(const Section& s, double frequencyHz) noexcept {
  const double w = kTwoPi * frequencyHz / s.rate;
  const double half = std::sin(0.5 * w);
  const double num = s.oneMinusP * s.oneMinusP;
  return num / (num + 4.0 * s.p * half * half);
}

double OnePoleLowMagnitude(const Section& s, double frequencyHz) noexcept {
  return std::sqrt(OnePoleLowSquared(s, frequencyHz));
}

// The high-pass is reported as the power complement of the low-pass, which
// is what the displays built on this library expect.
double OnePoleHighMagnitude(const Section& s, double frequencyHz) noexcept {
  return std::sqrt(std::max(0.0, 1.0 - OnePoleLowSquared(s, frequencyHz)));
}

std::complex<double> OnePoleLowResponse(const Section& s, double frequencyHz) noexcept {
  const double w = kTwoPi * frequencyHz / s.rate;
  return s.oneMinusP / (1.0 - s.p * std::polar(1.0, -w));
}

double OnePoleTwiceLowMinusInputMagnitude(const Section& s, double frequencyHz) noexcept {
  return std::abs(2.0 * OnePoleLowResponse(s, frequencyHz) - 1.0);
}

double OnePoleLowShelfMagnitude(const Section& s, double frequencyHz) noexcept {
  return std::abs(1.0 + (s.gainLin - 1.0) * OnePoleLowResponse(s, frequencyHz));
}

double OnePoleHighShelfMagnitude(const Section& s, double frequencyHz) noexcept {
  return std::abs(s.gainLin + (1.0 - s.gainLin) * OnePoleLowResponse(s, frequencyHz));
}

void MakeIdentity(Section& s) {
  s.b0 = 1.0;
  s.b1 = s.b2 = s.a1 = s.a2 = 0.0;
  s.p = 0.0;
  s.oneMinusP = 1.0;
  s.process = &Kest_Filter::PassThrough;
  s.magnitude = &Kest_Filter::UnitMagnitude;
}

}  // namespace

void Kest_Filter::DesignFirstOrder(Section& s, int kind, double frequency, double rate, double gainDb) {
  s.kind = kind;
  s.rate = rate;
  s.q = 0.0;
  s.frequency = std::min(std::max(frequency, 1.0), rate * 0.5);
  s.gainDb = kind == 21 ? 2.0 * gainDb : gainDb;
  s.gainLin = std::pow(10.0, s.gainDb / 20.0);
  double w = kTwoPi * s.frequency / rate;
  if (kind == 21) w /= std::sqrt(s.gainLin);
  // p = o - sqrt(o^2 - 1) with o = 2 - cos w; writing o - 1 as 2 sin^2(w/2)
  // keeps p and 1 - p accurate down to the lowest frequencies.
  const double half = std::sin(0.5 * w);
  const double om1 = 2.0 * half * half;
  s.oneMinusP = std::sqrt(om1 * (om1 + 2.0)) - om1;
  s.p = 1.0 - s.oneMinusP;
  s.b0 = 1.0;
  s.b1 = s.b2 = s.a1 = s.a2 = 0.0;
  if (!(rate > 0.0) || !std::isfinite(s.p) || !std::isfinite(s.gainLin)) {
    MakeIdentity(s);
    return;
  }
  switch (kind) {
    case kLowPass:
      s.process = &OnePoleLow;
      s.magnitude = &OnePoleLowMagnitude;
      break;
    case kHighPass:
      s.process = &OnePoleHigh;
      s.magnitude = &OnePoleHighMagnitude;
      break;
    case 5:
    case 7:
      s.process = &OnePoleTwiceLowMinusInput;
      s.magnitude = &OnePoleTwiceLowMinusInputMagnitude;
      break;
    case 6:
      s.process = &OnePoleInputMinusTwiceLow;
      s.magnitude = &OnePoleTwiceLowMinusInputMagnitude;  // |1 - 2L| = |2L - 1|
      break;
    case kLowShelf:
      s.process = &OnePoleLowShelf;
      s.magnitude = &OnePoleLowShelfMagnitude;
      break;
    case kHighShelf:
      s.process = &OnePoleHighShelf;
      s.magnitude = &OnePoleHighShelfMagnitude;
      break;
    default:
      // No first-order form: the section passes its input on.
      s.process = &Kest_Filter::PassThrough;
      s.magnitude = &Kest_Filter::UnitMagnitude;
      break;
  }
}

void Kest_Filter::DesignBiquad(Section& s, int kind, double frequency, double rate, double q, double gainDb) {
  s.kind = kind;
  s.rate = rate;
  s.q = q;
  s.gainDb = gainDb;
  s.gainLin = std::pow(10.0, gainDb / 20.0);
  s.frequency = std::min(std::max(frequency, 0.1), 0.4999 * rate);
  s.p = 0.0;
  s.oneMinusP = 1.0;
  if (!(rate > 0.0)) {
    MakeIdentity(s);
    return;
  }
  const double w = kTwoPi * s.frequency / rate;
  const double cw = std::cos(w);
  const double sw = std::sin(w);
  const double a = std::pow(10.0, gainDb / 40.0);
  const double alpha = sw / (2.0 * q);
  const double sqrtA2Alpha = 2.0 * std::sqrt(a) * alpha;
  double b0 = 1.0, b1 = 1.0, b2 = 1.0, a0 = 1.0, a1 = 1.0, a2 = 1.0;
  bool known = true;
  switch (kind) {
    case kLowPass:
      b0 = (1.0 - cw) / 2.0, b1 = 1.0 - cw, b2 = (1.0 - cw) / 2.0;
      a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
      break;
    case kHighPass:
      b0 = (1.0 + cw) / 2.0, b1 = -(1.0 + cw), b2 = (1.0 + cw) / 2.0;
      a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
      break;
    case kBandPassSkirt:
      b0 = sw / 2.0, b1 = 0.0, b2 = -sw / 2.0;
      a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
      break;
    case kBandPass:
      b0 = alpha, b1 = 0.0, b2 = -alpha;
      a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
      break;
    case kNotch:
      b0 = 1.0, b1 = -2.0 * cw, b2 = 1.0;
      a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
      break;
    case kAllPass:
      b0 = 1.0 - alpha, b1 = -2.0 * cw, b2 = 1.0 + alpha;
      a0 = 1.0 + alpha, a1 = -2.0 * cw, a2 = 1.0 - alpha;
      break;
    case kTanHighShelf: {
      const double k = std::tan(kPi * s.frequency / rate);
      const double top = std::pow(10.0, gainDb / 20.0);
      const double mid = std::pow(top, kTanShelfMidExponent);
      b0 = top + mid * k / q + k * k, b1 = 2.0 * (k * k - top), b2 = top - mid * k / q + k * k;
      a0 = 1.0 + k / q + k * k, a1 = 2.0 * (k * k - 1.0), a2 = 1.0 - k / q + k * k;
      break;
    }
    case kTanHighPass: {
      const double k = std::tan(kPi * s.frequency / rate);
      a0 = 1.0 + k / q + k * k, a1 = 2.0 * (k * k - 1.0), a2 = 1.0 - k / q + k * k;
      // The numerator stays 1, -2, 1 after normalisation, as in the K-weighting.
      b0 = a0, b1 = -2.0 * a0, b2 = a0;
      break;
    }
    case kPeaking:
      b0 = 1.0 + alpha * a, b1 = -2.0 * cw, b2 = 1.0 - alpha * a;
      a0 = 1.0 + alpha / a, a1 = -2.0 * cw, a2 = 1.0 - alpha / a;
      break;
    case kLowShelf:
      b0 = a * ((a + 1.0) - (a - 1.0) * cw + sqrtA2Alpha);
      b1 = 2.0 * a * ((a - 1.0) - (a + 1.0) * cw);
      b2 = a * ((a + 1.0) - (a - 1.0) * cw - sqrtA2Alpha);
      a0 = (a + 1.0) + (a - 1.0) * cw + sqrtA2Alpha;
      a1 = -2.0 * ((a - 1.0) + (a + 1.0) * cw);
      a2 = (a + 1.0) + (a - 1.0) * cw - sqrtA2Alpha;
      break;
    case kHighShelf:
      b0 = a * ((a + 1.0) + (a - 1.0) * cw + sqrtA2Alpha);
      b1 = -2.0 * a * ((a - 1.0) + (a + 1.0) * cw);
      b2 = a * ((a + 1.0) + (a - 1.0) * cw - sqrtA2Alpha);
      a0 = (a + 1.0) - (a - 1.0) * cw + sqrtA2Alpha;
      a1 = 2.0 * ((a - 1.0) - (a + 1.0) * cw);
      a2 = (a + 1.0) - (a - 1.0) * cw - sqrtA2Alpha;
      break;
    default:
      // Unknown kinds get all-one coefficients, which cancel to an identity.
      known = false;
      break;
  }
  s.b0 = b0 / a0;
  s.b1 = b1 / a0;
  s.b2 = b2 / a0;
  s.a1 = a1 / a0;
  s.a2 = a2 / a0;
  if (!(std::isfinite(s.b0) && std::isfinite(s.b1) && std::isfinite(s.b2) && std::isfinite(s.a1) &&
        std::isfinite(s.a2))) {
    // A zero Q or a NaN input: better a transparent filter than a broken one.
    MakeIdentity(s);
    return;
  }
  s.process = &Biquad;
  s.magnitude = known ? &BiquadMagnitude : &Kest_Filter::UnitMagnitude;
}

bool Kest_Filter::Design(int order, int kind, double frequency, double rate, double q, double gainDb) {
  order = std::clamp(order, 1, kMaxOrder);
  const double f = std::min(std::max(frequency, 0.1), rate * 0.5);
  if (kind == kind_ && order == order_ && !bandwidthMode_ && Same(rate, rate_) && Same(f, frequency_) &&
      Same(q, q_) && Same(gainDb, gainDb_)) {
    return false;
  }
  rate_ = rate;
  kind_ = kind;
  q_ = q;
  gainDb_ = gainDb;
  frequency_ = f;

  if (kind == kOnePoleLowPass || kind == kOnePoleHighPass || order == 1) {
    switch (kind) {
      case 17:
      case 22:
        kind_ = kLowPass;
        break;
      case 18:
      case 23:
        kind_ = kHighPass;
        break;
      case 19:
      case 28:
      case 30:
        kind_ = kLowShelf;
        break;
      case 20:
      case 29:
      case 31:
        kind_ = kHighShelf;
        break;
      case 32:
        kind_ = 7;
        break;
      default:
        break;
    }
    order = 1;
  }

  oddOrder_ = (order & 1) != 0;
  if (order != order_) {
    sections_.resize(static_cast<std::size_t>((order + 1) / 2));
    for (Section& s : sections_) s = Section{};
  }
  order_ = order;

  if (order == 1) {
    DesignFirstOrder(sections_[0], kind_, f, rate, gainDb);
  } else if (order == 2) {
    DesignBiquad(sections_[0], kind_, f, rate, q, gainDb);
  } else {
    // Cascades: Butterworth pole angles spread the Q over the sections and
    // the gain is shared so that the whole filter reaches the requested gain.
    const int count = static_cast<int>(sections_.size());
    const double sectionGain = gainDb / count;
    int first = 0;
    if (oddOrder_) {
      DesignFirstOrder(sections_[0], kind_, f, rate, sectionGain);
      first = 1;
    }
    for (int i = first; i < count; ++i) {
      const int k = i - first;
      const double angle = oddOrder_ ? kPi * (k + 1) / order : kPi * (2 * k + 1) / (2.0 * order);
      DesignBiquad(sections_[static_cast<std::size_t>(i)], kind_, f, rate, 1.0 / (2.0 * std::cos(angle)),
                   sectionGain);
    }
  }

  processMode_ = (order == 1 || (order == 2 && kind_ < 21)) ? 1 : 0;
  return true;
}

void Kest_Filter::Reset() noexcept {
  for (Section& s : sections_) s.s1 = s.s2 = 0.0;
}

double Kest_Filter::Response(double frequencyHz) const noexcept {
  if (!enabled_) return 1.0;
  double magnitude = 1.0;
  for (const Section& s : sections_) magnitude *= s.magnitude(s, frequencyHz);
  return magnitude;
}

double Kest_Filter::Process(double x) noexcept {
  if (!enabled_ || sections_.empty()) return x;
  double y;
  if (processMode_ == 1) {
    Section& s = sections_.front();
    y = s.process(s, x);
  } else {
    y = x;
    for (Section& s : sections_) y = s.process(s, y);
  }
  if (!std::isfinite(y)) [[unlikely]]
    Reset();
  return y;
}

}  // namespace tessaro
