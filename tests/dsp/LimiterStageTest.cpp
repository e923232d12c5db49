// The limiter stage, the link tracker, the type table and the two shapers.
// Expected numbers were worked out with python3 from the formulas (exact
// logarithms), so the tolerances allow for the single-precision dB table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "dsp/LimiterStage.h"

namespace tessaro {
namespace {

struct CurveCase {
  double level;
  double expected;
};

TEST(StaticCurve, BelowInsideAndAboveTheKnee) {
  // Threshold -10 dB, ratio 4, knee 6 dB: the knee spans -13..-7 dB.
  const CurveCase cases[] = {
      {-20.0, -20.0},  {-13.0, -13.0}, {-12.0, -12.0625}, {-10.0, -10.5625},
      {-8.0, -9.5625}, {-7.0, -9.25},  {0.0, -7.5},
  };
  for (const CurveCase& c : cases) {
    EXPECT_NEAR(StaticCurve(c.level, -10.0, 4.0, 6.0), c.expected, 1e-12) << "level " << c.level;
  }
}

TEST(StaticCurve, HardKneePassesTheThresholdItself) {
  EXPECT_DOUBLE_EQ(StaticCurve(-11.0, -10.0, 4.0, 0.0), -11.0);
  const double atThreshold = StaticCurve(-10.0, -10.0, 4.0, 0.0);
  EXPECT_TRUE(std::isfinite(atThreshold));
  EXPECT_DOUBLE_EQ(atThreshold, -10.0);
  EXPECT_DOUBLE_EQ(StaticCurve(-9.0, -10.0, 4.0, 0.0), -9.75);
}

TEST(LimiterStage, StoresThresholdAndKneeInBothForms) {
  LimiterStage s;
  s.setThreshold(0.5);
  EXPECT_NEAR(s.thresholdDb(), 20.0 * std::log10(0.5), 1e-5);
  s.setKnee(6.0);
  EXPECT_DOUBLE_EQ(s.kneeDb(), 6.0);
  EXPECT_NEAR(s.kneeLin(), std::pow(10.0, 6.0 / 20.0), 1e-12);
}

TEST(LimiterStage, ModeZeroAttacksAndSettlesOnTheCurve) {
  // Threshold 0.5, ratio 4, hard knee, 1 ms attack at 48 kHz, DC at 0 dBFS:
  // the reduction is 0.75 * 6.0206 dB = 4.515 dB.
  LimiterStage s;
  s.setThreshold(0.5);
  s.setRatio(4.0);
  s.setKnee(0.0);
  s.setAttack(1.0, 48000.0);
  s.setRelease(100.0, 48000.0);
  s.reset();
  EXPECT_NEAR(s.process(1.0, 1.0), 0.9790076870355654, 1e-6);
  for (int i = 0; i < 48000; ++i) s.process(1.0, 1.0);
  EXPECT_NEAR(s.env(), 4.515449934959718, 1e-4);
  EXPECT_NEAR(s.gain(), 0.5946035575013605, 1e-5);
  // The audio is scaled by the gain the detector signal asked for.
  EXPECT_NEAR(s.process(0.25, 1.0), 0.25 * 0.5946035575013605, 1e-5);
  EXPECT_NEAR(s.reduction(), 1.0 - 0.5946035575013605, 1e-5);
}

TEST(LimiterStage, ModeOneHoldsOffWhileTheTransientRises) {
  // Five samples at 0 dBFS against a -20 dB threshold, then silence; 1 kHz
  // rate, 1 ms / 10 ms, hold 0.9, slow 0.99, ratio 1000, hard knee.
  LimiterStage s;
  s.setThreshold(0.1);
  s.setRatio(1000.0);
  s.setKnee(0.0);
  s.setAttack(1.0, 1000.0);
  s.setRelease(10.0, 1000.0);
  s.setHoldCoef(0.9);
  s.setSlowCoef(0.99);
  s.setDetectorMode(1);
  s.reset();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s.process(1.0, 1.0), 1.0) << "sample " << i;
    EXPECT_EQ(s.gain(), 1.0);
    EXPECT_GT(s.env1(), 0.0);
  }
  const double envAfter[] = {5.312200107736647, 4.999394825673581, 4.730353870227105, 4.497401574130174};
  const double gainAfter[] = {0.5424878235146042, 0.5623805067137807, 0.5800725394129925, 0.59584036539511};
  for (int i = 0; i < 4; ++i) {
    s.process(0.0, 0.0);
    EXPECT_NEAR(s.env(), envAfter[i], 2e-4) << "sample " << i;
    EXPECT_NEAR(s.gain(), gainAfter[i], 2e-5) << "sample " << i;
  }
}

TEST(LimiterStage, FreshModeOneStageLeavesQuietSignalAlone) {
  // The stage 3 of "SMOOTH" at 44.1 kHz: u = 0, ratio 30 + 1470 e^-2pi, knee
  // 10 dB, threshold at a 0 dB ceiling, 15 / 45 ms. Its env sits at -120 dB
  // until a transient has passed; that must read as no reduction.
  const double rate = 44100.0;
  LimiterStage s;
  s.setRatio(30.0 + 1470.0 * std::exp(-2.0 * std::numbers::pi));
  s.setKnee(10.0);
  s.setThreshold(1.0);
  s.setDetectorMode(1);
  s.setAttack(15.0, rate);
  s.setRelease(45.0, rate);
  s.setHoldCoef(StageCoef(90.0, rate));
  s.setSlowCoef(StageCoef(90.0 + 0.5 * 2.0 * (10000.0 - 90.0), rate));
  s.reset();
  EXPECT_EQ(s.env(), -120.0);
  double inSq = 0.0, outSq = 0.0;
  for (int n = 0; n < 44100; ++n) {
    const double x = 0.1 * std::sin(2.0 * std::numbers::pi * 1000.0 * n / rate);
    const double y = s.process(x, x);
    inSq += x * x;
    outSq += y * y;
    ASSERT_LE(s.gain(), 1.0);
  }
  EXPECT_NEAR(10.0 * std::log10(outSq / inSq), 0.0, 1e-9);
}

TEST(LimiterStage, CurveGainIsTheMakeupForFullScale) {
  LimiterStage s;
  s.setThreshold(0.5);
  s.setRatio(4.0);
  s.setKnee(2.0);
  EXPECT_NEAR(s.curveGain(1.0), 1.681792830507429, 1e-5);
  EXPECT_NEAR(s.curveGain(2.0), 1.4142135623730951, 1e-5);
  // A stage that does nothing gives its input back.
  s.setThreshold(1.0);
  EXPECT_EQ(s.curveGain(0.3), 0.3);
  s.setThreshold(0.5);
  s.setRatio(1.0);
  EXPECT_EQ(s.curveGain(0.3), 0.3);
}

TEST(LimiterStage, RatioOfOneUsesUnityGain) {
  LimiterStage s;
  s.setThreshold(0.01);
  s.setRatio(1.0);
  s.reset();
  for (int i = 0; i < 100; ++i) EXPECT_EQ(s.process(0.7, 1.0), 0.7);
  EXPECT_EQ(s.gain(), 1.0);
}

TEST(LimiterStage, SurvivesNonFiniteInput) {
  LimiterStage s;
  s.setThreshold(0.5);
  s.setRatio(10.0);
  s.setAttack(1.0, 44100.0);
  s.setRelease(10.0, 44100.0);
  s.reset();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  s.process(nan, nan);
  s.process(inf, inf);
  EXPECT_TRUE(std::isfinite(s.env()));
  for (int i = 0; i < 44100; ++i) s.process(0.1, 0.1);
  EXPECT_NEAR(s.gain(), 1.0, 1e-9);
  EXPECT_NEAR(s.process(0.1, 0.1), 0.1, 1e-9);
}

TEST(Saturator, MatchesTheRationalFormula) {
  const CurveCase cases[] = {
      {0.0, 0.0},
      {0.1, 0.10002170273812179},
      {0.5, 0.4617872463565144},
      {1.0, 0.7618930706632047},
      {-1.0, -0.7618930706632047},
      {2.0, 0.9636730575680708},
      {10.0, 1.000098851101494},
  };
  for (const CurveCase& c : cases) EXPECT_NEAR(sat(c.level), c.expected, 1e-14) << "s = " << c.level;
}

TEST(SoftClip, CeilingMapsToFiftyFiftyFirsts) {
  const double ceiling = 0.9;
  EXPECT_NEAR(SoftClip(ceiling, ceiling), 0.8823529411764706, 1e-15);
  EXPECT_NEAR(SoftClip(-ceiling, ceiling), -0.8823529411764706, 1e-15);
  EXPECT_NEAR(SoftClip(1.5 * ceiling, ceiling), 0.8823529411764706, 1e-15);
  EXPECT_NEAR(SoftClip(-40.0, ceiling), -0.8823529411764706, 1e-15);
  EXPECT_NEAR(SoftClip(0.99 * ceiling, ceiling), 0.9782557645790949 * ceiling, 1e-15);
  EXPECT_DOUBLE_EQ(SoftClip(0.25, 1.0), 0.25 - std::pow(0.25, 51) / 51.0);
  EXPECT_EQ(SoftClip(std::numeric_limits<double>::quiet_NaN(), ceiling), 0.0);
  EXPECT_NEAR(Pow51(1.01), 1.6610781400623216, 1e-13);
  EXPECT_DOUBLE_EQ(Pow51(-1.0), -1.0);
}

TEST(LinkTracker, RecoversTowardsHighAndFallsToLowWhileClipping) {
  // 1 kHz frames: the distance to the target falls to 1 % in 100 releases or 10 attacks.
  LinkTracker t(0.9);
  t.configure(1.2, 0.9, 10.0, 100.0, 1000.0);
  EXPECT_NEAR(t.attackCoef(), 0.6309573444801932, 1e-15);
  EXPECT_NEAR(t.releaseCoef(), 0.954992586021436, 1e-15);
  for (int i = 0; i < 100; ++i) t.update(0.0);
  EXPECT_NEAR(t.value(), 1.197, 1e-12);
  for (int i = 0; i < 10; ++i) t.update(0.01);
  EXPECT_NEAR(t.value(), 0.90297, 1e-12);
}

TEST(LinkTracker, RemakesCoefficientsOnlyForNewTimesOrRate) {
  LinkTracker t(1.0);
  t.configure(1.0, 1.0, 10.0, 100.0, 1000.0);
  const double attack = t.attackCoef();
  t.configure(1.0, 1.0, 10.0 + 1e-13, 100.0, 1000.0);
  EXPECT_EQ(t.attackCoef(), attack);
  t.configure(1.0, 1.0, 20.0, 100.0, 1000.0);
  EXPECT_NEAR(t.attackCoef(), std::pow(0.01, 1.0 / 20.0), 1e-15);
  t.configure(1.0, 1.0, 20.0, 100.0, 2000.0);
  EXPECT_NEAR(t.attackCoef(), std::pow(0.01, 1.0 / 40.0), 1e-15);
  EXPECT_NEAR(t.releaseCoef(), std::pow(0.01, 1.0 / 200.0), 1e-15);
}

TEST(LimiterTypes, TableInOrderWithItsValues) {
  const char* names[] = {"KEST-BASIC", "TRADITIONAL", "DEEP",      "AGGRESSIVE", "SMOOTH",
                         "LOUD/PUNCH", "VINTAGE BUS", "TESSARO 2", "CLEAN"};
  for (int i = 0; i < kLimiterTypeCount; ++i) EXPECT_EQ(std::string(kLimiterTypes[i].name), names[i]);
  // Two full rows, checked field by field.
  const LimiterType& agg = kLimiterTypes[3];
  const double aggValues[] = {75, 25, 40, 45, 6.5, 60, 81, 15, 12, 70, 9500, 1};
  const double aggGot[] = {agg.a0, agg.a1, agg.b0, agg.b1, agg.c0, agg.c1,
                           agg.D,  agg.e0, agg.e1, agg.f0, agg.f1, agg.G};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(aggGot[i], aggValues[i]) << "field " << i;
  EXPECT_EQ(agg.followTC, 1);
  EXPECT_EQ(agg.followLC, 1);
  EXPECT_EQ(agg.clipFirst, 1);
  EXPECT_EQ(agg.I, 2);
  const LimiterType& vin = kLimiterTypes[6];
  const double vinValues[] = {30, 1, 575, 80, 0.1, 16, 45, -40, 32, 32, 2200, 1};
  const double vinGot[] = {vin.a0, vin.a1, vin.b0, vin.b1, vin.c0, vin.c1,
                           vin.D,  vin.e0, vin.e1, vin.f0, vin.f1, vin.G};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(vinGot[i], vinValues[i]) << "field " << i;
  EXPECT_EQ(vin.followTC, 0);
  EXPECT_EQ(vin.followLC, 0);
  EXPECT_EQ(vin.clipFirst, 0);
  EXPECT_EQ(vin.I, 0);
  // The columns that steer the core, for every row.
  const int stage1Mode[] = {0, 0, 1, 2, 1, 1, 0, 1, 0};
  const double lowCut[] = {1, 1, 1, 1, 1, 2, 1, 1, 1};
  const double defaults[][2] = {{50, 50}, {0, 60},  {77, 21}, {60, 81}, {24, 24},
                                {78, 60}, {16, 45}, {55, 80}, {25, 45}};
  for (int i = 0; i < kLimiterTypeCount; ++i) {
    EXPECT_EQ(kLimiterTypes[i].I, stage1Mode[i]) << names[i];
    EXPECT_EQ(kLimiterTypes[i].G, lowCut[i]) << names[i];
    EXPECT_EQ(kLimiterTypes[i].c1, defaults[i][0]) << names[i];
    EXPECT_EQ(kLimiterTypes[i].D, defaults[i][1]) << names[i];
  }
}

}  // namespace
}  // namespace tessaro
