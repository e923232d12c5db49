// Kest_Filter: design identities and change detection, the kind mapping,
// one-pole and cookbook coefficients and magnitudes against values worked out
// from the formulas by hand (python), measured sine gains, clamping and the
// behaviour on bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "dsp/Kest_Filter.h"

namespace tessaro {
namespace {

constexpr double kPi = 3.141592653589793;

std::vector<double> Noise(int n, unsigned seed = 3) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> v(static_cast<std::size_t>(n));
  for (double& x : v) x = u(rng);
  return v;
}

// Steady-state gain at an integer frequency: one second to settle, then the
// sine's amplitude over one second (a whole number of cycles) by correlation.
double MeasuredGain(Kest_Filter& filter, double hz, double rate) {
  const int n = static_cast<int>(rate);
  for (int i = 0; i < n; ++i) filter.Process(std::sin(2.0 * kPi * hz * i / rate));
  std::complex<double> sum = 0.0;
  for (int i = n; i < 2 * n; ++i) {
    const double phase = 2.0 * kPi * hz * i / rate;
    sum += filter.Process(std::sin(phase)) * std::polar(1.0, -phase);
  }
  return 2.0 * std::abs(sum) / n;
}

// --- identities and change detection ---

struct IdentityCase {
  int kind;
  double hz, rate, q;
};

TEST(KestFilter, ZeroDbPeakingAndShelvesAreExactIdentities) {
  const IdentityCase cases[] = {
      {Kest_Filter::kPeaking, 60.0, 44100.0, 0.5},
      {Kest_Filter::kPeaking, 9000.0, 96000.0, 3.0},
      {Kest_Filter::kHighShelf, 6500.0, 44100.0, 0.5692},
      {Kest_Filter::kHighShelf, 2200.0, 48000.0, 0.4369},
      {Kest_Filter::kLowShelf, 200.0, 48000.0, 0.7},
      {Kest_Filter::kTanHighShelf, 1681.97, 48000.0, 0.7071},
  };
  const std::vector<double> input = Noise(4096);
  for (const IdentityCase& c : cases) {
    Kest_Filter f;
    ASSERT_TRUE(f.Design(2, c.kind, c.hz, c.rate, c.q, 0.0));
    for (double x : input) ASSERT_EQ(f.Process(x), x) << "kind " << c.kind << " at " << c.hz;
    for (double hz : {20.0, c.hz, 0.45 * c.rate}) EXPECT_NEAR(f.Response(hz), 1.0, 1e-14) << c.kind;
  }
}

TEST(KestFilter, RepeatedDesignReportsNoChangeAndKeepsState) {
  Kest_Filter f, twin;
  ASSERT_TRUE(f.Design(2, Kest_Filter::kHighShelf, 6500.0, 44100.0, 0.569, 0.8));
  ASSERT_TRUE(twin.Design(2, Kest_Filter::kHighShelf, 6500.0, 44100.0, 0.569, 0.8));
  const std::vector<double> input = Noise(2000);
  for (int i = 0; i < 1000; ++i) {
    f.Process(input[i]);
    twin.Process(input[i]);
  }
  const double s1 = f.GetSection(0).s1, s2 = f.GetSection(0).s2;

  EXPECT_FALSE(f.Design(2, Kest_Filter::kHighShelf, 6500.0, 44100.0, 0.569, 0.8));
  // Differences under 2.22e-12 count as the same input.
  EXPECT_FALSE(f.Design(2, Kest_Filter::kHighShelf, 6500.0 + 1e-12, 44100.0, 0.569 + 1e-12, 0.8 - 1e-12));
  EXPECT_EQ(f.GetSection(0).s1, s1);
  EXPECT_EQ(f.GetSection(0).s2, s2);
  for (int i = 1000; i < 2000; ++i) ASSERT_EQ(f.Process(input[i]), twin.Process(input[i]));
}

TEST(KestFilter, ChangedInputsRedesignButKeepTheStatesOfTheSameOrder) {
  Kest_Filter f;
  f.Design(2, Kest_Filter::kPeaking, 60.0, 44100.0, 0.5, 0.4);
  for (double x : Noise(500)) f.Process(x);
  const double s1 = f.GetSection(0).s1, s2 = f.GetSection(0).s2;
  ASSERT_NE(s1, 0.0);
  EXPECT_TRUE(f.Design(2, Kest_Filter::kPeaking, 60.0, 44100.0, 0.5, 0.4 + 1e-9));
  EXPECT_TRUE(f.Design(2, Kest_Filter::kPeaking, 61.0, 44100.0, 0.5, 0.4));
  EXPECT_EQ(f.GetSection(0).s1, s1);
  EXPECT_EQ(f.GetSection(0).s2, s2);
  // A new order resizes the sections and clears every state.
  EXPECT_TRUE(f.Design(4, Kest_Filter::kPeaking, 61.0, 44100.0, 0.5, 0.4));
  ASSERT_EQ(f.NumSections(), 2);
  EXPECT_EQ(f.GetSection(0).s1, 0.0);
  EXPECT_EQ(f.GetSection(0).s2, 0.0);
}

// --- kind mapping ---

struct MappingCase {
  int order, kind;
  int mappedOrder, mappedKind;
};

TEST(KestFilter, KindAndOrderMapping) {
  const MappingCase cases[] = {
      {1, 17, 1, 0},  {2, 17, 1, 0},  {4, 17, 1, 0},  {1, 18, 1, 1},  {2, 18, 1, 1},
      {1, 22, 1, 0},  {1, 23, 1, 1},  {1, 19, 1, 14}, {1, 28, 1, 14}, {1, 30, 1, 14},
      {1, 20, 1, 15}, {1, 29, 1, 15}, {1, 31, 1, 15}, {1, 32, 1, 7},  {1, 10, 1, 10},
      {1, 0, 1, 0},   {2, 10, 2, 10}, {2, 22, 2, 22}, {2, 15, 2, 15}, {3, 0, 3, 0},
  };
  for (const MappingCase& c : cases) {
    Kest_Filter f;
    f.Design(c.order, c.kind, 1000.0, 48000.0, 0.7, 0.0);
    EXPECT_EQ(f.Order(), c.mappedOrder) << c.order << "/" << c.kind;
    EXPECT_EQ(f.Kind(), c.mappedKind) << c.order << "/" << c.kind;
    EXPECT_EQ(f.NumSections(), (c.mappedOrder + 1) / 2);
    EXPECT_EQ(f.OddOrder(), c.mappedOrder % 2 == 1);
  }
}

TEST(KestFilter, ProcessModeRunsTheFirstSectionForOrdersOneAndTwo) {
  Kest_Filter f;
  EXPECT_EQ(f.ProcessMode(), 0);
  f.Design(1, 17, 500.0, 48000.0, 0.7, 0.0);
  EXPECT_EQ(f.ProcessMode(), 1);
  f.Design(2, Kest_Filter::kPeaking, 500.0, 48000.0, 0.7, 3.0);
  EXPECT_EQ(f.ProcessMode(), 1);
  f.Design(2, 25, 500.0, 48000.0, 0.7, 3.0);
  EXPECT_EQ(f.ProcessMode(), 0);
  f.Design(4, Kest_Filter::kLowPass, 500.0, 48000.0, 0.7, 0.0);
  EXPECT_EQ(f.ProcessMode(), 0);
}

// --- one-pole sections ---

TEST(KestFilter, OnePoleKindsAlwaysRedesignIgnoreQAndKeepTheirState) {
  Kest_Filter f;
  EXPECT_TRUE(f.Design(1, Kest_Filter::kOnePoleLowPass, 500.0, 96000.0, 0.7, 0.0));
  for (int i = 0; i < 100; ++i) f.Process(1.0);
  const double state = f.GetSection(0).s1;
  // The stored kind is the mapped one (0), so 17 never matches it.
  EXPECT_TRUE(f.Design(1, Kest_Filter::kOnePoleLowPass, 500.0, 96000.0, 0.7, 0.0));
  EXPECT_EQ(f.GetSection(0).s1, state);
  const double p = f.GetSection(0).p;
  EXPECT_TRUE(f.Design(1, Kest_Filter::kOnePoleLowPass, 500.0, 96000.0, 5.0, 0.0));
  EXPECT_EQ(f.GetSection(0).p, p);
}

struct OnePoleCase {
  int kind;
  double hz, rate;
  double p, oneMinusP;
  double probeHz[3];
  double magnitude[3];  // low-pass: exact; high-pass: sqrt(1 - |LP|^2)
};

TEST(KestFilter, OnePoleCoefficientsAndResponse) {
  // Worked out to 60 digits, then rounded: the naive o - sqrt(o^2 - 1) in
  // double precision is itself off by 1e-14 at high rates.
  const OnePoleCase cases[] = {
      {17,
       500.0,
       96000.0,
       0.9678075694257585,
       0.032192430574241426,
       {50.0, 500.0, 5000.0},
       {0.9950367549768189, 0.7071067811865476, 0.0999402579430536}},
      {18,
       1250.0,
       96000.0,
       0.921486903366564,
       0.07851309663343603,
       {50.0, 1250.0, 5000.0},
       {0.03997915140701148, 0.7071067811865476, 0.9699026307100691}},
      {17,
       500.0,
       44100.0,
       0.9312683349237276,
       0.06873166507627233,
       {50.0, 500.0, 5000.0},
       {0.9950351273365673, 0.7071067811865476, 0.10159622080317754}},
      {18,
       1250.0,
       768000.0,
       0.9898256628805934,
       0.01017433711940667,
       {50.0, 1250.0, 5000.0},
       {0.03996821195717386, 0.7071067811865476, 0.9701387697379079}},
  };
  for (const OnePoleCase& c : cases) {
    Kest_Filter f;
    f.Design(1, c.kind, c.hz, c.rate, 0.7, 0.0);
    const Kest_Filter::Section& s = f.GetSection(0);
    EXPECT_NEAR(s.p, c.p, 2e-16) << c.hz << " at " << c.rate;
    EXPECT_NEAR(s.oneMinusP / c.oneMinusP, 1.0, 1e-14) << c.hz << " at " << c.rate;
    EXPECT_EQ(s.p + s.oneMinusP, 1.0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(f.Response(c.probeHz[i]), c.magnitude[i], 1e-12) << c.kind << " at " << c.probeHz[i];
    }
  }
}

TEST(KestFilter, OnePoleMeasuredGains) {
  // 1250 Hz at 96 kHz probed at 5000 Hz: |LP| = (1-p)/|1 - p e^-jw| and the
  // true high-pass x - s gives p * 2 sin(w/2) / |1 - p e^-jw|.
  Kest_Filter low, high;
  low.Design(1, Kest_Filter::kOnePoleLowPass, 1250.0, 96000.0, 0.7, 0.0);
  high.Design(1, Kest_Filter::kOnePoleHighPass, 1250.0, 96000.0, 0.7, 0.0);
  EXPECT_NEAR(MeasuredGain(low, 5000.0, 96000.0), 0.24349309423818977, 1e-9);
  EXPECT_NEAR(MeasuredGain(high, 5000.0, 96000.0), 0.9310493921025983, 1e-9);
  EXPECT_NEAR(MeasuredGain(high, 200.0, 96000.0), 0.15170176649071296, 1e-9);
}

// --- cookbook biquads ---

struct BiquadCase {
  int kind;
  double hz, rate, q, gainDb;
  double coef[5];  // b0 b1 b2 a1 a2 over a0
  double probeHz[3];
  double magnitude[3];
};

TEST(KestFilter, CookbookCoefficientsAndResponse) {
  const BiquadCase cases[] = {
      {Kest_Filter::kLowPass,
       1000.0,
       48000.0,
       0.7071067811865476,
       0.0,
       {0.003916126660547383, 0.007832253321094766, 0.003916126660547383, -1.815341082704568,
        0.8310055893467576},
       {100.0, 1000.0, 5000.0},
       {0.999950285916835, 0.7071067811865499, 0.03725586332708091}},
      {Kest_Filter::kPeaking,
       1000.0,
       48000.0,
       1.4,
       6.0,
       {1.0317962611279337, -1.919541117596877, 0.9043085011046693, -1.919541117596877, 0.9361047622326027},
       {50.0, 1000.0, 3000.0},
       {1.000953829508734, 1.9952623149688793, 1.0491136728548789}},
      // The high colour filter of a type with f1 6500 Hz and e1 10 %.
      {Kest_Filter::kHighShelf,
       6500.0,
       44100.0,
       0.5692307692307692,
       0.8,
       {1.0642930342402557, -0.7741376184956797, 0.19351027987818797, -0.6847432299261363,
        0.16840892554890013},
       {20.0, 6500.0, 22000.0},
       {1.0000004075288889, 1.0471285480508996, 1.096478022639718}},
      // The low colour filter of a type with f0 60 Hz and e0 5 %.
      {Kest_Filter::kPeaking,
       60.0,
       44100.0,
       0.5,
       0.4,
       {1.0003904436232613, -1.9833582239891774, 0.9830402522326871, -1.9833582239891774, 0.9834306958559486},
       {20.0, 60.0, 1000.0},
       {1.0167177219393835, 1.0471285480508927, 1.0006566306333597}},
      {Kest_Filter::kLowShelf,
       200.0,
       48000.0,
       0.7,
       -4.5,
       {0.9951565161331638, -1.9576286818317978, 0.9629900641739703, -1.957452906048779, 0.9583223560901528},
       {10.0, 200.0, 5000.0},
       {0.5956800773743467, 0.771791515585025, 0.9999829028933763}},
      {Kest_Filter::kHighPass,
       120.0,
       48000.0,
       0.9,
       0.0,
       {0.9912880518090629, -1.9825761036181258, 0.9912880518090629, -1.9824538033272727, 0.9826984039089786},
       {40.0, 120.0, 360.0},
       {0.11538026035430723, 0.8999999999999478, 1.0384504196540916}},
      {Kest_Filter::kBandPassSkirt,
       2000.0,
       48000.0,
       3.0,
       0.0,
       {0.1240580898268874, 0.0, -0.1240580898268874, -1.85196437729555, 0.9172946067820751},
       {2000.0 / 3.0, 2000.0, 6000.0},
       {0.36977844747608085, 3.000000000000006, 0.35112344158839176}},
      {Kest_Filter::kBandPass,
       2000.0,
       48000.0,
       3.0,
       0.0,
       {0.041352696608962465, 0.0, -0.041352696608962465, -1.85196437729555, 0.9172946067820751},
       {2000.0 / 3.0, 2000.0, 6000.0},
       {0.12325948249202696, 1.000000000000002, 0.11704114719613058}},
      {Kest_Filter::kNotch,
       1000.0,
       48000.0,
       2.0,
       0.0,
       {0.9683996212235864, -1.920229656436938, 0.9683996212235864, -1.920229656436938, 0.9367992424471726},
       {1000.0 / 3.0, 1000.0, 3000.0},
       {0.9829251107854419, 0.0, 0.9833459045640166}},
      {Kest_Filter::kAllPass,
       500.0,
       48000.0,
       0.8,
       0.0,
       {0.921456699483474, -1.9173427131961802, 1.0, -1.9173427131961802, 0.921456699483474},
       {500.0 / 3.0, 500.0, 1500.0},
       {1.0, 1.0, 1.0}},
  };
  for (const BiquadCase& c : cases) {
    Kest_Filter f;
    f.Design(2, c.kind, c.hz, c.rate, c.q, c.gainDb);
    ASSERT_EQ(f.NumSections(), 1);
    const Kest_Filter::Section& s = f.GetSection(0);
    const double got[5] = {s.b0, s.b1, s.b2, s.a1, s.a2};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(got[i], c.coef[i], 1e-13) << "kind " << c.kind << " coef " << i;
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(f.Response(c.probeHz[i]), c.magnitude[i], 1e-11)
          << "kind " << c.kind << " at " << c.probeHz[i];
    }
  }
}

TEST(KestFilter, BiquadMeasuredGainsMatchTheCookbook) {
  Kest_Filter shelf, peak, low;
  shelf.Design(2, Kest_Filter::kHighShelf, 6500.0, 44100.0, 0.5692307692307692, 0.8);
  peak.Design(2, Kest_Filter::kPeaking, 1000.0, 48000.0, 1.4, 6.0);
  low.Design(2, Kest_Filter::kLowPass, 1000.0, 48000.0, 0.7071067811865476, 0.0);
  EXPECT_NEAR(MeasuredGain(shelf, 15000.0, 44100.0), 1.0921678790834002, 1e-8);
  EXPECT_NEAR(MeasuredGain(peak, 1000.0, 48000.0), 1.9952623149688793, 1e-8);
  EXPECT_NEAR(MeasuredGain(peak, 3000.0, 48000.0), 1.0491136728548789, 1e-8);
  EXPECT_NEAR(MeasuredGain(low, 5000.0, 48000.0), 0.03725586332708091, 1e-8);
}

TEST(KestFilter, TangentPairGivesThePublishedKWeightingAt48k) {
  // The two stages of the BS.1770 K-weighting at 48 kHz as the standard
  // prints them.
  Kest_Filter shelf, highPass;
  shelf.Design(2, Kest_Filter::kTanHighShelf, 1681.974450955533, 48000.0, 0.7071752369554196,
               3.999843853973347);
  highPass.Design(2, Kest_Filter::kTanHighPass, 38.13547087602444, 48000.0, 0.5003270373238773, 0.0);
  const Kest_Filter::Section& s = shelf.GetSection(0);
  EXPECT_NEAR(s.b0, 1.53512485958697, 1e-13);
  EXPECT_NEAR(s.b1, -2.69169618940638, 1e-13);
  EXPECT_NEAR(s.b2, 1.19839281085285, 1e-13);
  EXPECT_NEAR(s.a1, -1.69065929318241, 1e-13);
  EXPECT_NEAR(s.a2, 0.73248077421585, 1e-13);
  const Kest_Filter::Section& h = highPass.GetSection(0);
  EXPECT_EQ(h.b0, 1.0);
  EXPECT_EQ(h.b1, -2.0);
  EXPECT_EQ(h.b2, 1.0);
  EXPECT_NEAR(h.a1, -1.99004745483398, 1e-13);
  EXPECT_NEAR(h.a2, 0.99007225036621, 1e-13);
  // Together: +0.691 dB at 997 Hz, the gain the -0.691 dB offset cancels.
  EXPECT_NEAR(20.0 * std::log10(shelf.Response(997.0) * highPass.Response(997.0)), 0.6910140954660178, 1e-9);
}

// --- cascades ---

TEST(KestFilter, ButterworthCascadesAreThreeDecibelsDownAtTheCorner) {
  struct Case {
    int order;
    double at100, at3000;
  } const cases[] = {
      {3, 0.9999785097267622, 0.03631404233035325},
      {4, 0.9999999950562614, 0.011788002211599254},
      {5, 0.9999790054395072, 0.003945338579221242},
  };
  for (const Case& c : cases) {
    Kest_Filter f;
    f.Design(c.order, Kest_Filter::kLowPass, 1000.0, 48000.0, 0.7, 0.0);
    EXPECT_EQ(f.NumSections(), (c.order + 1) / 2);
    EXPECT_NEAR(f.Response(1000.0), 0.7071067811865476, 1e-12) << c.order;
    EXPECT_NEAR(f.Response(100.0), c.at100, 1e-12) << c.order;
    EXPECT_NEAR(f.Response(3000.0), c.at3000, 1e-12) << c.order;
    EXPECT_NEAR(MeasuredGain(f, 3000.0, 48000.0), c.at3000, 1e-8) << c.order;
  }
}

// --- clamping and odd inputs ---

TEST(KestFilter, FrequenciesAreClamped) {
  Kest_Filter f;
  f.Design(2, Kest_Filter::kLowPass, 30000.0, 48000.0, 0.7, 0.0);
  EXPECT_EQ(f.Frequency(), 24000.0);
  EXPECT_EQ(f.GetSection(0).frequency, 0.4999 * 48000.0);
  f.Design(1, Kest_Filter::kLowPass, 0.001, 48000.0, 0.7, 0.0);
  EXPECT_EQ(f.Frequency(), 0.1);
  EXPECT_EQ(f.GetSection(0).frequency, 1.0);
  // At half the rate o = 3 and p = 3 - sqrt(8).
  f.Design(1, Kest_Filter::kHighPass, 1e6, 48000.0, 0.7, 0.0);
  EXPECT_EQ(f.GetSection(0).frequency, 24000.0);
  EXPECT_NEAR(f.GetSection(0).p, 0.1715728752538097, 1e-15);
  // A clamped request repeated is still the same design.
  EXPECT_FALSE(f.Design(1, Kest_Filter::kHighPass, 2e6, 48000.0, 0.7, 0.0));
}

TEST(KestFilter, VeryLowOnePoleCornerIsSlowNotBroken) {
  Kest_Filter f;
  f.Design(1, Kest_Filter::kOnePoleLowPass, 1.0, 768000.0, 0.7, 0.0);
  const double p = f.GetSection(0).p;
  EXPECT_LT(p, 1.0);
  // 1 - p = 8.18119740249979e-06, worked out to 60 digits.
  EXPECT_NEAR(f.GetSection(0).oneMinusP / 8.18119740249979e-06, 1.0, 1e-11);
  EXPECT_NEAR(f.Response(1.0), 0.7071067811865476, 1e-9);
}

TEST(KestFilter, KindsWithoutADesignAreIdentities) {
  for (int kind : {11, 12, 13, 16, 24, 40}) {
    Kest_Filter f;
    f.Design(2, kind, 1000.0, 48000.0, 0.7, 6.0);
    for (double x : Noise(256)) ASSERT_EQ(f.Process(x), x) << kind;
    EXPECT_EQ(f.Response(1000.0), 1.0);
  }
}

TEST(KestFilter, PassesThroughBeforeDesignAndWhenDisabled) {
  Kest_Filter f;
  EXPECT_EQ(f.Order(), -1);
  EXPECT_EQ(f.NumSections(), 0);
  EXPECT_TRUE(f.Enabled());
  EXPECT_EQ(f.Process(0.25), 0.25);
  EXPECT_EQ(f.Response(1000.0), 1.0);
  f.Design(2, Kest_Filter::kLowPass, 100.0, 48000.0, 0.7, 0.0);
  f.SetEnabled(false);
  EXPECT_EQ(f.Process(0.25), 0.25);
  EXPECT_EQ(f.GetSection(0).s1, 0.0);
  EXPECT_EQ(f.Response(10000.0), 1.0);
}

TEST(KestFilter, ResetClearsEveryState) {
  Kest_Filter f, fresh;
  f.Design(5, Kest_Filter::kLowPass, 700.0, 48000.0, 0.7, 0.0);
  fresh.Design(5, Kest_Filter::kLowPass, 700.0, 48000.0, 0.7, 0.0);
  const std::vector<double> input = Noise(600);
  for (double x : input) f.Process(x);
  f.Reset();
  for (double x : input) ASSERT_EQ(f.Process(x), fresh.Process(x));
}

TEST(KestFilter, RecoversFromNonFiniteInput) {
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (double b : bad) {
    for (int order : {1, 2, 3}) {
      Kest_Filter f, fresh;
      f.Design(order, Kest_Filter::kLowPass, 700.0, 48000.0, 0.7, 0.0);
      fresh.Design(order, Kest_Filter::kLowPass, 700.0, 48000.0, 0.7, 0.0);
      f.Process(0.5);
      f.Process(b);
      for (double x : Noise(300)) ASSERT_EQ(f.Process(x), fresh.Process(x)) << b << " order " << order;
    }
  }
}

TEST(KestFilter, DegenerateDesignInputsGiveATransparentFilter) {
  Kest_Filter zeroQ, noRate, nanGain;
  zeroQ.Design(2, Kest_Filter::kLowPass, 1000.0, 48000.0, 0.0, 0.0);
  noRate.Design(2, Kest_Filter::kPeaking, 1000.0, 0.0, 0.7, 3.0);
  nanGain.Design(1, Kest_Filter::kLowShelf, 1000.0, 48000.0, 0.7, std::numeric_limits<double>::quiet_NaN());
  for (double x : Noise(64)) {
    ASSERT_EQ(zeroQ.Process(x), x);
    ASSERT_EQ(noRate.Process(x), x);
    ASSERT_EQ(nanGain.Process(x), x);
  }
}

}  // namespace
}  // namespace tessaro
