// The dB conversions every stage and meter shares, fast enough to run per
// sample. dB to linear goes through a table-driven exponential that keeps
// double accuracy; linear to dB reads |x| as a float and takes its logarithm
// from a 2048-interval table, which is all a gain computer or a display needs.
//
// Both tables are built on first use inside function-local statics (so they
// are made once, thread-safely) and never allocate afterwards. Neither
// conversion depends on the rounding mode, so they behave the same inside a
// block that runs with round-toward-zero and flush-to-zero.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <limits>

namespace tessaro {

namespace dbmath_detail {

// 2^(j/64) for j = 0..63.
using ExpTable = std::array<double, 64>;
// ln(1 + i/2048) for i = 0..2048 (one entry past the end for interpolation).
using LogTable = std::array<double, 2049>;

ExpTable BuildExpTable();
LogTable BuildLogTable();

inline const ExpTable& Exp2Table() noexcept {
  static const ExpTable table = BuildExpTable();
  return table;
}

inline const LogTable& LnTable() noexcept {
  static const LogTable table = BuildLogTable();
  return table;
}

}  // namespace dbmath_detail

// exp() is exactly representable only inside this interval; outside it the
// result is 0 or +infinity.
inline constexpr double kFastExpLow = -708.3964185322641;
inline constexpr double kFastExpHigh = 709.782712893384;
// Any gain at or below this many dB is silence.
inline constexpr double kDbSilence = -300.0;
inline constexpr double kDbPerNeper = 8.685889638065035;    // 20 / ln(10)
inline constexpr double kNeperPerDb = 0.11512925464970229;  // ln(10) / 20
// What LinToDb reports for 0 (and NaN): the table's reading of a zero float,
// -127 * ln 2 nepers. Everything below the smallest normal float reads
// between this and -758.6 dB, so the scale stays monotonic and finite.
inline constexpr double kLn2 = 0.6931471805599453;
inline constexpr double kLinToDbOfZero = kDbPerNeper * (-127.0 * kLn2);  // -764.6161889865122
// What LinToDb reports for infinity and for magnitudes beyond the float range.
inline constexpr double kLinToDbOfInfinity = kDbPerNeper * (128.0 * kLn2);  // 770.6367888997918

// e^x with double accuracy (within a couple of ulps) on (kFastExpLow,
// kFastExpHigh); 0 at or below the low bound and for NaN, +infinity at or
// above the high bound. Any thread; never allocates.
inline double FastExp(double x) noexcept {
  if (!(x > kFastExpLow)) return 0.0;
  if (x >= kFastExpHigh) return std::numeric_limits<double>::infinity();
  // x = n * ln2/64 + r with |r| <= ln2/128. The split of ln2/64 into a short
  // head and a tail keeps n * head exact for every n this range produces.
  constexpr double kSixtyFourOverLn2 = 92.33248261689366;
  constexpr double kLn2Hi = 6.93147180369123816490e-01 / 64.0;
  constexpr double kLn2Lo = 1.90821492927058770002e-10 / 64.0;
  const double t = x * kSixtyFourOverLn2;
  // Truncation after adding a half rounds to nearest whatever the FPU mode.
  const int n = static_cast<int>(t < 0.0 ? t - 0.5 : t + 0.5);
  const double nd = static_cast<double>(n);
  const double r = (x - nd * kLn2Hi) - nd * kLn2Lo;
  // e^r - 1 by its Taylor series; the sixth-order term is below 4e-17.
  const double q = r * (1.0 + r * (0.5 + r * (1.0 / 6.0 + r * (1.0 / 24.0 + r * (1.0 / 120.0)))));
  const double tj = dbmath_detail::Exp2Table()[static_cast<unsigned>(n) & 63u];
  const double m = tj + tj * q;
  const int k = n >> 6;  // floor(n / 64)
  if (k >= -1021 && k <= 1022) {
    return m * std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
  }
  // Near the ends 2^k itself is not a normal double: scale in two steps.
  const int k1 = k / 2;
  const int k2 = k - k1;
  return (m * std::bit_cast<double>(static_cast<std::uint64_t>(k1 + 1023) << 52)) *
         std::bit_cast<double>(static_cast<std::uint64_t>(k2 + 1023) << 52);
}

// Natural logarithm of x rounded to single precision, from the table:
// exponent * ln 2 plus the mantissa's entry, interpolated linearly over the
// low 12 mantissa bits. Absolute error below 1e-7 for normal floats. 0 and
// NaN give -127 * ln 2, infinity (and anything beyond the float range)
// 128 * ln 2. Any thread; never allocates.
inline double FastLn(float x) noexcept {
  if (x != x) return -127.0 * kLn2;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFFu;
  const int exponent = static_cast<int>(bits >> 23) - 127;
  const std::uint32_t index = (bits >> 12) & 0x7FFu;
  const double fraction = static_cast<double>(bits & 0xFFFu) * (1.0 / 4096.0);
  const dbmath_detail::LogTable& table = dbmath_detail::LnTable();
  const double lo = table[index];
  return static_cast<double>(exponent) * kLn2 + lo + (table[index + 1] - lo) * fraction;
}

// 10^(dB/20) as exp(dB * ln10/20); exactly 0 for dB at or below -300 and for
// NaN. Any thread; never allocates.
inline double DbToLin(double db) noexcept {
  if (!(db > kDbSilence)) return 0.0;
  return FastExp(db * kNeperPerDb);
}

// 20 * log10(|x|), with |x| rounded to single precision first. Finite for
// every input: 0 and NaN give kLinToDbOfZero, infinity kLinToDbOfInfinity.
// Any thread; never allocates.
inline double LinToDb(double x) noexcept {
  const double magnitude = x < 0.0 ? -x : x;
  if (!(magnitude <= static_cast<double>(std::numeric_limits<float>::max()))) {
    return magnitude != magnitude ? kLinToDbOfZero : kLinToDbOfInfinity;
  }
  return kDbPerNeper * FastLn(static_cast<float>(magnitude));
}

}  // namespace tessaro
