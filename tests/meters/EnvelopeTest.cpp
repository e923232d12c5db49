// VU_Envelope: its coefficients against exp(K / (t * fs * 0.001)) worked out
// by hand, the instant attack, the release curves, the change detection of
// Configure, publication with floor and clamp, and recovery from bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "meters/VU_Envelope.h"

namespace tessaro {
namespace {

TEST(VUEnvelope, ConstructionDefaults) {
  VU_Envelope e;
  // 1 ms and 300 ms at 44100 Hz with the meter curve.
  EXPECT_NEAR(e.AttackCoef(), 0.9901770456847366, 1e-15);
  EXPECT_NEAR(e.ReleaseCoef(), 0.9999670954819742, 1e-15);
  EXPECT_EQ(e.Value(), 0.0);
  EXPECT_EQ(e.MeanSquare(), 0.0);
  EXPECT_EQ(e.PublishedPeak(), 0.0);
  EXPECT_EQ(e.PublishedRms(), 0.0);
  EXPECT_EQ(e.Floor(), 1e-6);
  EXPECT_EQ(e.AttackMs(), 1.0);
  EXPECT_EQ(e.ReleaseMs(), 300.0);
  EXPECT_EQ(e.RmsWindowMs(), 1.0);
  EXPECT_EQ(e.GetResetGroup(), kResetGroupMeters);
  // The reset target is the peak state itself.
  e.SetLevel(0.5);
  ASSERT_NE(e.ResetTarget(), nullptr);
  *e.ResetTarget() = 0.0;
  EXPECT_EQ(e.Value(), 0.0);
}

struct CoefCase {
  double attackMs, releaseMs, rate, curve;
  double attackCoef, releaseCoef;  // worked out by hand
};

TEST(VUEnvelope, ConfigureCoefficients) {
  const CoefCase cases[] = {
      {1e-10, 300.0, 48000.0, kCurveFast, kInstantCoef, 0.9998611207557263},
      {1e-6, 5000.0, 48000.0, kCurveFast, kInstantCoef, 0.9999916667013888},
      {1e-19, 25000.0, 48000.0, kCurveFast, kInstantCoef, 0.9999983333347222},
      {5.0, 5000.0, 48000.0, kCurveMeter, 0.9981877527078267, 0.9999981861102462},
      {1.0, 300.0, 384000.0, kCurveMeter, 0.9988669602504635, 0.9999962210667257},
      {300.0, 10000.0, 48000.0, kCurveFast, 0.9998611207557263, 0.9999958333420139},
      {1.0, 1000.0, 96000.0, kCurveMeter, 0.9954755378596553, 0.9999954652817845},
  };
  for (const CoefCase& c : cases) {
    VU_Envelope e;
    e.Configure(nullptr, c.attackMs, c.releaseMs, c.rate, c.curve);
    EXPECT_NEAR(e.AttackCoef(), c.attackCoef, 1e-15) << c.attackMs << " ms at " << c.rate;
    EXPECT_NEAR(e.ReleaseCoef(), c.releaseCoef, 1e-15) << c.releaseMs << " ms at " << c.rate;
    EXPECT_EQ(e.SampleRate(), c.rate);
  }
}

TEST(VUEnvelope, InstantAttackJumpsToTheInputAtAnyRate) {
  for (double rate : {22050.0, 44100.0, 48000.0, 192000.0, 768000.0}) {
    for (double attack : {1e-6, 1e-10, 1e-16, 1e-19}) {
      VU_Envelope e;
      e.Configure(nullptr, attack, 300.0, rate, kCurveMeter);
      ASSERT_EQ(e.AttackCoef(), kInstantCoef);
      e.StepPeak(0.5);
      // 0.5 + 2.22045e-15 * (0 - 0.5): the jump misses by 1.1e-15 only.
      EXPECT_NEAR(e.Value(), 0.5 - 0.5 * 2.22045e-15, 1e-16) << attack << " ms at " << rate;
    }
  }
  // Anything from ten sample periods up is a real attack: 1 ms at 48 kHz
  // covers 1 - exp(-0.4353 / 48) = 0.903 % of the step in one sample.
  VU_Envelope slow;
  slow.Configure(nullptr, 1.0, 300.0, 48000.0, kCurveMeter);
  slow.StepPeak(1.0);
  EXPECT_NEAR(slow.Value(), 1.0 - std::exp(kCurveMeter / 48.0), 1e-15);
}

TEST(VUEnvelope, ReleaseCurves) {
  // Curve -2: 300 ms at 48 kHz falls by e^2 in 14400 samples.
  VU_Envelope fast;
  fast.Configure(nullptr, 1e-10, 300.0, 48000.0, kCurveFast);
  fast.StepPeak(1.0);
  for (int i = 0; i < 14400; ++i) fast.StepPeak(0.0);
  EXPECT_NEAR(fast.Value(), 0.1353352832366127, 1e-12);

  // Meter curve: 300 ms at 44.1 kHz falls to 0.6470485583525605 (3.78 dB).
  VU_Envelope meter;
  meter.Configure(nullptr, 1e-10, 300.0, 44100.0, kCurveMeter);
  meter.StepPeak(1.0);
  for (int i = 0; i < 13230; ++i) meter.StepPeak(0.0);
  EXPECT_NEAR(meter.Value(), 0.6470485583525605, 1e-12);

  // Equal input holds the value (the release branch with x == value).
  meter.StepPeak(meter.Value());
  EXPECT_NEAR(meter.Value(), 0.6470485583525605, 1e-12);
}

TEST(VUEnvelope, ConfigureRecomputesOnlyWhatChanged) {
  VU_Envelope e;
  e.Configure(nullptr, 5.0, 500.0, 44100.0, kCurveMeter);
  EXPECT_NEAR(e.AttackCoef(), 0.9980276440918326, 1e-15);
  EXPECT_NEAR(e.ReleaseCoef(), 0.9999802571592576, 1e-15);
  const double attack = e.AttackCoef(), release = e.ReleaseCoef();

  // 44100.4 is the same integer rate: nothing is recomputed (the new rate
  // would give 0.998027661963866 and 0.9999802573383276).
  e.Configure(nullptr, 5.0, 500.0, 44100.4, kCurveMeter);
  EXPECT_EQ(e.AttackCoef(), attack);
  EXPECT_EQ(e.ReleaseCoef(), release);
  EXPECT_EQ(e.SampleRate(), 44100.4);

  // The curve is not part of the test, which shows which coefficient was
  // recomputed: a new release under curve -2 leaves the attack alone.
  e.Configure(nullptr, 5.0 + 1e-13, 600.0, 44100.0, kCurveFast);
  EXPECT_EQ(e.AttackCoef(), attack);
  EXPECT_NEAR(e.ReleaseCoef(), 0.9999244170666624, 1e-15);

  // A new integer rate recomputes both.
  e.Configure(nullptr, 5.0, 600.0, 48000.0, kCurveMeter);
  EXPECT_NEAR(e.AttackCoef(), 0.9981877527078267, 1e-15);
  EXPECT_NEAR(e.ReleaseCoef(), 0.9999848843525846, 1e-15);
}

TEST(VUEnvelope, FirstConfigureAlwaysComputes) {
  // Even with exactly the construction times and rate, a new curve takes hold.
  VU_Envelope e;
  e.Configure(nullptr, 1.0, 300.0, 44100.0, kCurveFast);
  EXPECT_NEAR(e.ReleaseCoef(), std::exp(-2.0 / (300.0 * 44.1)), 1e-15);
}

TEST(VUEnvelope, ConfigureRms) {
  VU_Envelope e;
  int owner = 0;
  e.ConfigureRms(&owner, 500.0, 48000.0);
  EXPECT_NEAR(e.RmsCoef(), 0.9999818612505196, 1e-15);
  EXPECT_EQ(e.Owner(), &owner);
  e.ConfigureRms(nullptr, 500.0, 48000.7);
  EXPECT_NEAR(e.RmsCoef(), 0.9999818612505196, 1e-15);
  e.ConfigureRms(nullptr, 10000.0, 48000.0);
  EXPECT_NEAR(e.RmsCoef(), 0.9999990930547118, 1e-15);

  // A constant 0.5 settles at a mean square of 0.25; a unit sine at 0.5.
  VU_Envelope dc, sine;
  dc.ConfigureRms(nullptr, 50.0, 48000.0);
  sine.ConfigureRms(nullptr, 50.0, 48000.0);
  // The meter curve covers 0.4353 nepers per window: 5 s is 43 of them.
  for (int i = 0; i < 5 * 48000; ++i) {
    dc.StepRms(0.5);
    sine.StepRms(std::sin(2.0 * 3.141592653589793 * 1000.0 * i / 48000.0));
  }
  EXPECT_NEAR(dc.MeanSquare(), 0.25, 1e-12);
  EXPECT_NEAR(dc.PublishRms(), 0.5, 1e-12);
  EXPECT_NEAR(sine.PublishRms(), 0.7071067811865476, 2e-3);
}

TEST(VUEnvelope, PublishPeakFloorsAndClamps) {
  struct Case {
    double state, published, stateAfter;
  } const cases[] = {
      {9e-7, 0.0, 0.0}, {1.000001e-6, 1.000001e-6, 1.000001e-6},
      {0.5, 0.5, 0.5},  {1.0, 1.0, 1.0},
      {1.2, 1.0, 1.2},  {0.0, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    VU_Envelope e;
    e.Configure(nullptr, 1e-10, 300.0, 48000.0, kCurveMeter);
    e.StepPeak(c.state);  // instant attack: the state lands within 3e-15 of it
    ASSERT_NEAR(e.Value(), c.state, 3e-15);
    // A zero must be exactly zero; everything else to rounding.
    const double tolerance = c.published == 0.0 ? 0.0 : 3e-15;
    EXPECT_NEAR(e.PublishPeak(), c.published, tolerance) << c.state;
    EXPECT_NEAR(e.PublishedPeak(), c.published, tolerance) << c.state;
    EXPECT_NEAR(e.Value(), c.stateAfter, c.stateAfter == 0.0 ? 0.0 : 3e-15) << c.state;
  }
}

TEST(VUEnvelope, PublishRmsClamps) {
  VU_Envelope silent;
  // Silence still publishes sqrt(2.22045e-15), not 0.
  EXPECT_NEAR(silent.PublishRms(), 4.712165107463872e-08, 1e-20);
  VU_Envelope loud;
  loud.ConfigureRms(nullptr, 1e-3, 48000.0);
  for (int i = 0; i < 1000; ++i) loud.StepRms(3.0);
  EXPECT_EQ(loud.PublishRms(), 1.0);
}

TEST(VUEnvelope, SetLevelAndClear) {
  VU_Envelope e;
  e.SetLevel(-0.3);
  EXPECT_EQ(e.Value(), 0.3);
  e.SetLevel(9e-7);
  EXPECT_EQ(e.Value(), 0.0);
  e.SetLevel(0.7);
  e.StepRms(0.5);
  e.PublishPeak();
  e.PublishRms();
  e.Clear();
  EXPECT_EQ(e.Value(), 0.0);
  EXPECT_EQ(e.MeanSquare(), 0.0);
  EXPECT_EQ(e.PublishedPeak(), 0.0);
  EXPECT_EQ(e.PublishedRms(), 0.0);
}

TEST(VUEnvelope, DecaysBelowTheFloorToExactlyZero) {
  VU_Envelope e;
  e.Configure(nullptr, 1e-10, 10.0, 48000.0, kCurveFast);
  e.StepPeak(1.0);
  // -2 per 10 ms: 120 dB (13.8 nepers) takes about 69 ms.
  for (int i = 0; i < 4800; ++i) e.StepPeak(0.0);
  EXPECT_GT(e.Value(), 0.0);
  EXPECT_LT(e.Value(), 1e-6);
  EXPECT_EQ(e.PublishPeak(), 0.0);
  EXPECT_EQ(e.Value(), 0.0);
}

TEST(VUEnvelope, RecoversFromNonFiniteInput) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  VU_Envelope e;
  e.Configure(nullptr, 1e-10, 300.0, 48000.0, kCurveFast);
  e.StepPeak(nan);
  e.StepRms(nan);
  EXPECT_EQ(e.PublishPeak(), 0.0);
  EXPECT_EQ(e.PublishRms(), std::sqrt(2.22045e-15));
  e.StepPeak(0.25);
  EXPECT_NEAR(e.Value(), 0.25, 1e-15);

  // An infinite input makes inf - inf inside the step: dropped like a NaN.
  e.StepPeak(inf);
  EXPECT_EQ(e.PublishPeak(), 0.0);
  e.StepPeak(0.25);
  EXPECT_NEAR(e.Value(), 0.25, 1e-15);

  // An infinite state publishes full scale and restarts from there.
  e.SetLevel(-inf);
  EXPECT_EQ(e.PublishPeak(), 1.0);
  e.StepPeak(0.0);
  EXPECT_NEAR(e.Value(), 0.9998611207557263, 1e-15);
}

}  // namespace
}  // namespace tessaro
