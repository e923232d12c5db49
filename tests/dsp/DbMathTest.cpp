// The shared dB conversions: accuracy over their whole range against libm and
// against values worked out by hand, the silence and overflow ends, and
// finite answers for 0, NaN and infinity.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "dsp/DbMath.h"

namespace tessaro {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Distance in units of the last place between two positive normal doubles.
double Ulps(double a, double b) {
  const auto ia = std::bit_cast<std::int64_t>(a);
  const auto ib = std::bit_cast<std::int64_t>(b);
  return std::fabs(static_cast<double>(ia - ib));
}

TEST(FastExp, MatchesLibmWithinTwoUlpsOverTheWholeRange) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> any(-708.0, 709.7);
  double worst = 0.0;
  for (int i = 0; i < 200000; ++i) {
    const double x = any(rng);
    worst = std::max(worst, Ulps(FastExp(x), std::exp(x)));
  }
  // Small arguments are where a sloppy reduction shows first.
  std::uniform_real_distribution<double> small(-1.0, 1.0);
  for (int i = 0; i < 100000; ++i) {
    const double x = small(rng);
    worst = std::max(worst, Ulps(FastExp(x), std::exp(x)));
  }
  EXPECT_LE(worst, 2.0);
  EXPECT_EQ(FastExp(0.0), 1.0);
}

TEST(FastExp, EndsOfTheRange) {
  EXPECT_EQ(FastExp(kFastExpLow), 0.0);
  EXPECT_EQ(FastExp(-1000.0), 0.0);
  EXPECT_EQ(FastExp(-kInf), 0.0);
  EXPECT_EQ(FastExp(kNaN), 0.0);
  EXPECT_EQ(FastExp(kFastExpHigh), kInf);
  EXPECT_EQ(FastExp(kInf), kInf);
  // Just inside: e^-708.39 = 2.2394014988804677e-308 (near the smallest
  // normal double), e^709.78 = 1.7928227943945155e+308 (near the largest).
  EXPECT_NEAR(FastExp(-708.39) / 2.2394014988804677e-308, 1.0, 1e-14);
  EXPECT_NEAR(FastExp(709.78) / 1.7928227943945155e+308, 1.0, 1e-14);
  EXPECT_TRUE(std::isfinite(FastExp(std::nextafter(kFastExpHigh, 0.0))));
  EXPECT_GT(FastExp(std::nextafter(kFastExpLow, 0.0)), 0.0);
}

TEST(FastExp, DoesNotDependOnTheRoundingMode) {
  // The processing loop runs its blocks with round-toward-zero.
  const int saved = std::fegetround();
  std::fesetround(FE_TOWARDZERO);
  double worst = 0.0;
  for (double x = -700.0; x < 700.0; x += 0.0137) {
    const double fast = FastExp(x);
    std::fesetround(FE_TONEAREST);
    const double exact = std::exp(x);
    std::fesetround(FE_TOWARDZERO);
    worst = std::max(worst, Ulps(fast, exact));
  }
  const double lin = LinToDb(0.5);
  std::fesetround(saved);
  EXPECT_LE(worst, 6.0);
  EXPECT_NEAR(lin, -6.020599913279624, 1e-6);
}

struct DbCase {
  double db;
  double linear;  // 10^(db/20), worked out separately
};

TEST(DbToLin, KnownValues) {
  const DbCase cases[] = {
      {-299.99, 1.0011519555381662e-15},
      {-120.0, 1e-06},
      {-60.0, 0.001},
      {-20.0, 0.1},
      {-6.0, 0.5011872336272722},
      {-0.5, 0.9440608762859234},
      {0.0, 1.0},
      {0.08, 1.0092528860766845},
      {3.0, 1.4125375446227544},
      {6.0, 1.9952623149688795},
      {36.0, 63.09573444801933},
      {120.0, 1000000.0},
      {300.0, 1e15},
  };
  for (const DbCase& c : cases) {
    EXPECT_NEAR(DbToLin(c.db) / c.linear, 1.0, 1e-14) << c.db << " dB";
  }
}

TEST(DbToLin, SilenceAtAndBelowMinus300AndForNaN) {
  EXPECT_EQ(DbToLin(-300.0), 0.0);
  EXPECT_EQ(DbToLin(-1e6), 0.0);
  EXPECT_EQ(DbToLin(-kInf), 0.0);
  EXPECT_EQ(DbToLin(kNaN), 0.0);
  // One step above the cut-off is a real (tiny) gain: 10^-15.
  EXPECT_NEAR(DbToLin(std::nextafter(-300.0, 0.0)) / 1e-15, 1.0, 1e-12);
  // The exponential's overflow end stands: +inf dB is an infinite gain.
  EXPECT_EQ(DbToLin(kInf), kInf);
}

struct LinCase {
  double linear;
  double db;  // 20 log10(linear), worked out separately
};

TEST(LinToDb, KnownValuesToSinglePrecision) {
  const LinCase cases[] = {
      {1.0, 0.0},
      {0.5, -6.020599913279624},
      {2.0, 6.020599913279624},
      {0.1, -20.0},
      {1e-06, -120.0},
      {3.0, 9.542425094393248},
      {0.999, -0.008690235480353834},
      {0.7071067811865476, -3.0102999566398116},
      {63.0957344480193, 36.0},
      {1.5e-30, -596.4781748188864},
      {2.5e30, 607.9588001734407},
      {1e-37, -740.0},
  };
  for (const LinCase& c : cases) {
    EXPECT_NEAR(LinToDb(c.linear), c.db, 1e-6) << c.linear;
    EXPECT_NEAR(LinToDb(-c.linear), c.db, 1e-6) << -c.linear;
  }
}

TEST(LinToDb, SweepAgainstLibmOverTheFloatRange) {
  // Error budget: rounding |x| to a float (6e-8 relative, 5.2e-7 dB) plus
  // the table's interpolation (3e-8 nepers, 2.6e-7 dB).
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> exponent(-37.5, 38.2);
  double worstVsFloat = 0.0;
  double worstVsExact = 0.0;
  for (int i = 0; i < 200000; ++i) {
    const double x = std::pow(10.0, exponent(rng));
    const double fast = LinToDb(x);
    worstVsFloat = std::max(worstVsFloat,
                            std::fabs(fast - 20.0 * std::log10(static_cast<double>(static_cast<float>(x)))));
    worstVsExact = std::max(worstVsExact, std::fabs(fast - 20.0 * std::log10(x)));
  }
  EXPECT_LT(worstVsFloat, 3e-7);
  EXPECT_LT(worstVsExact, 8e-7);
}

TEST(LinToDb, FiniteForZeroNaNInfinityAndDenormals) {
  // A zero float reads as -127 * ln 2 nepers = -764.6161889865122 dB.
  EXPECT_NEAR(LinToDb(0.0), -764.6161889865122, 1e-9);
  EXPECT_EQ(LinToDb(0.0), kLinToDbOfZero);
  EXPECT_EQ(LinToDb(-0.0), kLinToDbOfZero);
  EXPECT_EQ(LinToDb(kNaN), kLinToDbOfZero);
  EXPECT_EQ(LinToDb(-kNaN), kLinToDbOfZero);
  // Infinity reads as 128 * ln 2 nepers = 770.6367888997918 dB.
  EXPECT_NEAR(LinToDb(kInf), 770.6367888997918, 1e-9);
  EXPECT_EQ(LinToDb(-kInf), LinToDb(kInf));
  EXPECT_EQ(LinToDb(std::numeric_limits<double>::max()), kLinToDbOfInfinity);
  // Values below the float range stay finite and keep the scale monotonic.
  const double tiny = LinToDb(1e-310);
  const double denormalFloat = LinToDb(1e-40);
  const double smallestNormal = LinToDb(static_cast<double>(std::numeric_limits<float>::min()));
  EXPECT_TRUE(std::isfinite(tiny));
  EXPECT_LE(kLinToDbOfZero, tiny);
  EXPECT_LE(tiny, denormalFloat);
  EXPECT_LT(denormalFloat, smallestNormal);
  EXPECT_NEAR(smallestNormal, -758.5955890732326, 1e-6);  // 20 log10(2^-126)
}

TEST(LinToDb, InvertsDbToLin) {
  for (double db = -299.0; db <= 300.0; db += 0.37) {
    EXPECT_NEAR(LinToDb(DbToLin(db)), db, 1e-6) << db;
  }
}

TEST(LinToDb, IsMonotonicAcrossTableCells) {
  // Consecutive floats around 1 walk through every interpolation cell edge.
  float x = 0.999f;
  double previous = LinToDb(x);
  for (int i = 0; i < 300000; ++i) {
    x = std::nextafter(x, 2.0f);
    const double current = LinToDb(x);
    ASSERT_GE(current, previous) << x;
    previous = current;
  }
}

}  // namespace
}  // namespace tessaro
