// The limiter core: the engine constants that types, "Amount", the ceiling
// and the character knobs turn into, and the per-sub-sample step measured on
// real signals. Expected numbers were worked out with python3 from the
// formulas (exact logarithms), hence tolerances of about 1e-5 where the
// single-precision dB table is involved.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <string>
#include <vector>

#include "meters/VU_Envelope.h"
#include "plugin/LimiterCore.h"
#include "tests/common/AllocationCounter.h"

namespace tessaro {
namespace {

constexpr double kFs = 44100.0;

int TypeIndex(const char* name) {
  for (int i = 0; i < kLimiterTypeCount; ++i) {
    if (std::string(kLimiterTypes[i].name) == name) return i;
  }
  return -1;
}

// A core at 44.1 kHz with the given type (its character defaults loaded),
// ceiling and "Amount", freshly reset as after ResetProcessing.
struct CoreRig {
  explicit CoreRig(const char* type, double ceilingDb = 0.0, double amountDb = 0.0, int factor = 1)
      : core(kFs) {
    core.SetTypeIndex(TypeIndex(type));
    core.ApplyLimiterType(true, false);
    core.SetCeiling(ceilingDb);
    core.SetAmount(amountDb);
    core.Configure(kFs, factor, false);
    core.Reset();
  }

  // One base-rate frame of `factor` identical sub-samples with fixed thresholds.
  void Frame(double x0, double x1, double t, double& y0, double& y1) {
    core.BeginFrame(frame, t, t, 1.0);
    for (int j = 0; j < core.Factor(); ++j) core.Step(x0, x1, frame, y0, y1);
  }

  LimiterCore core;
  CoreFrame frame;
};

struct StageCase {
  const char* type;
  double ratio3;
  double knee3;
  double knee2;
  int mode3;
};

TEST(LimiterCore, StageRatiosAndKneesPerType) {
  const StageCase cases[] = {
      {"KEST-BASIC", 116.97183160229409, 4.5, 2.7, 0},
      {"TRADITIONAL", 46.97864047927803, 7.1, 4.26, 1},
      {"DEEP", 448.37602870396313, 2.0, 1.2, 0},
      {"AGGRESSIVE", 335.58297723562004, 2.5, 1.5, 0},
      {"SMOOTH", 32.745140815610746, 10.0, 6.0, 1},
      {"LOUD/PUNCH", 253.1986289115538, 3.0, 1.8, 0},
      {"VINTAGE BUS", 48.079667507934694, 7.0, 4.2, 1},
      {"TESSARO 2", 602.8018719417597, 1.5, 0.9, 0},
      {"CLEAN", 1500.0, 0.0, 0.0, 0},
  };
  for (const StageCase& c : cases) {
    CoreRig rig(c.type, -1.0);
    for (int ch = 0; ch < 2; ++ch) {
      const LimiterStage& s3 = rig.core.Stage3(ch);
      EXPECT_NEAR(s3.ratio(), c.ratio3, 1e-9) << c.type;
      EXPECT_NEAR(s3.kneeDb(), c.knee3, 1e-12) << c.type;
      EXPECT_EQ(s3.detectorMode(), c.mode3) << c.type;
      EXPECT_NEAR(s3.thresholdLin(), 0.8912509381337456, 1e-12) << c.type;
      const LimiterStage& s2 = rig.core.Stage2(ch);
      EXPECT_EQ(s2.ratio(), 9000.0) << c.type;
      EXPECT_NEAR(s2.kneeDb(), c.knee2, 1e-12) << c.type;
      EXPECT_NEAR(s2.thresholdLin(), 0.8912509381337456, 1e-12) << c.type;
    }
  }
}

TEST(LimiterCore, StageOneFollowsAmountAndTheCeilingOfThatMoment) {
  LimiterCore core(kFs);
  core.SetCeiling(0.0);
  core.SetAmount(0.0);
  EXPECT_NEAR(core.Stage1(0).thresholdDb(), -8.0, 1e-5);
  EXPECT_EQ(core.Stage1(0).ratio(), 1.0);
  EXPECT_NEAR(core.Stage1(1).kneeDb(), 3.0, 1e-12);
  EXPECT_EQ(core.G1(), 1.0);

  core.SetAmount(12.0);
  EXPECT_NEAR(core.A(), 3.9810717055349722, 1e-12);
  for (int ch = 0; ch < 2; ++ch) {
    EXPECT_NEAR(core.Stage1(ch).thresholdDb(), -15.298590309771782, 1e-5);
    EXPECT_NEAR(core.Stage1(ch).ratio(), std::sqrt(3.9810717055349722), 1e-12);
    EXPECT_NEAR(core.Stage1(ch).kneeDb(), 5.3222787349273855, 1e-12);
  }
  EXPECT_NEAR(core.G1(), 2.4074462948969457, 1e-5);

  core.SetCeiling(-1.0);
  // A ceiling change leaves stage 1 where the last "Amount" change put it.
  EXPECT_NEAR(core.Stage1(0).thresholdDb(), -15.298590309771782, 1e-5);
  core.SetAmount(12.0);
  EXPECT_NEAR(core.Stage1(0).thresholdDb(), -13.63488296570793, 1e-5);
  EXPECT_NEAR(core.G1(), 2.188077420691716, 1e-5);
}

struct GainCase {
  double amountDb;
  double limitCharacter;
  double ceilingDb;
  double p;
  double q;
};

TEST(LimiterCore, CompensationGains) {
  const GainCase cases[] = {
      {0.0, 50.0, 0.0, 1.0, 0.9999999999999983},
      {6.0, 30.0, 0.0, 1.0854129180113743, 0.7820205005165421},
      {20.0, 80.0, 0.0, 1.0935598535244138, 1.0},
      {9.0, 50.0, -1.0, 1.0942511137185091, 0.6014098589290456},
  };
  for (const GainCase& c : cases) {
    CoreRig rig("KEST-BASIC", c.ceilingDb, c.amountDb);
    rig.core.SetLimitCharacter(c.limitCharacter);
    EXPECT_NEAR(rig.core.P(), c.p, 1e-12) << c.amountDb << " dB, " << c.limitCharacter << " %";
    EXPECT_NEAR(rig.core.Q(), c.q, 2e-6) << c.amountDb << " dB, " << c.limitCharacter << " %";
  }
}

TEST(LimiterCore, TypeChangeReportsCharacterDefaultsUnlessLoading) {
  LimiterCore core(kFs);
  core.SetLimitCharacter(10.0);
  core.SetTransientCharacter(90.0);
  core.SetTypeIndex(TypeIndex("DEEP"));
  const CharacterDefaults skipped = core.ApplyLimiterType(true, true);
  EXPECT_FALSE(skipped.load);
  EXPECT_NEAR(core.LCp(), 0.9, 1e-15);
  EXPECT_NEAR(core.TC(), 0.9, 1e-15);
  const CharacterDefaults loaded = core.ApplyLimiterType(true, false);
  EXPECT_TRUE(loaded.load);
  EXPECT_EQ(loaded.limitCharacter, 77.0);
  EXPECT_EQ(loaded.transientCharacter, 21.0);
  EXPECT_NEAR(core.LCp(), 0.23, 1e-15);
  EXPECT_NEAR(core.TC(), 0.21, 1e-15);
  EXPECT_FALSE(core.ApplyLimiterType(false, false).load);
}

TEST(LimiterCore, TypeRowSetsFiltersLowCutAndTimes) {
  LimiterCore core(48000.0);
  core.SetTypeIndex(TypeIndex("LOUD/PUNCH"));
  core.ApplyLimiterType(true, false);
  EXPECT_NEAR(core.LowCutCoef(), 0.001171875, 1e-18);
  EXPECT_NEAR(core.Link(), 0.3, 1e-15);

  core.SetTypeIndex(TypeIndex("KEST-BASIC"));
  core.ApplyLimiterType(true, false);
  core.Configure(kFs, 2, false);
  const Kest_Filter& high = core.HighColourFilter(1);
  EXPECT_EQ(high.Kind(), Kest_Filter::kHighShelf);
  EXPECT_NEAR(high.Frequency(), 6500.0, 1e-9);
  EXPECT_NEAR(high.Q(), 0.5692307692307692, 1e-15);
  EXPECT_NEAR(high.GainDb(), 0.8, 1e-12);
  EXPECT_EQ(high.Rate(), kFs);
  const Kest_Filter& low = core.LowColourFilter(0);
  EXPECT_EQ(low.Kind(), Kest_Filter::kPeaking);
  EXPECT_NEAR(low.Frequency(), 60.0, 1e-9);
  EXPECT_NEAR(low.Q(), 0.5, 1e-15);
  EXPECT_NEAR(low.GainDb(), 0.4, 1e-12);

  // 7 ms at 44.1 kHz, twice oversampled.
  EXPECT_EQ(core.LookAheadSamples(), 309);
  EXPECT_EQ(core.LookAheadLength(), 619);
  EXPECT_EQ(core.TransientWindow(), 89);
  EXPECT_EQ(core.LinkDetectFactor(), 2);
  EXPECT_NEAR(core.Stage3(0).holdCoef(), 0.9998380435666347, 1e-15);
  EXPECT_NEAR(core.Stage3(1).slowCoef(), 1.000026803830802, 1e-15);
  EXPECT_TRUE(core.LatencyChanged());
  core.Configure(kFs, 1, true);
  EXPECT_EQ(core.LinkDetectFactor(), 4);
  EXPECT_EQ(core.LookAheadLatency(), 0);
  EXPECT_EQ(core.LookAheadLength(), 310);
}

TEST(LimiterCore, IspStageConfiguration) {
  CoreRig rig("CLEAN", -1.0);
  const LimiterStage& s4 = rig.core.Stage4(1);
  EXPECT_EQ(s4.ratio(), 100000.0);
  EXPECT_NEAR(s4.thresholdLin(), 0.8910726879461188, 1e-12);
  EXPECT_NEAR(s4.kneeDb(), 0.1, 1e-15);
  EXPECT_LT(s4.attackCoef(), 1e-300);
  EXPECT_NEAR(s4.releaseCoef(), 0.9993954964669556, 1e-15);
}

TEST(LimiterCore, SmoothTypeKeepsAQuietSineAfterReset) {
  // "SMOOTH" runs stage 3 in detector mode 1, whose env rests at -120 dB.
  CoreRig rig("SMOOTH");
  EXPECT_EQ(rig.core.Stage3(0).detectorMode(), 1);
  const int delay = rig.core.LookAheadSamples();
  std::vector<double> in, out;
  for (int n = 0; n < 44100; ++n) {
    const double x = 0.1 * std::sin(2.0 * std::numbers::pi * 997.0 * n / kFs);
    double y0 = 0.0, y1 = 0.0;
    rig.Frame(x, x, 1.0, y0, y1);
    ASSERT_EQ(y0, y1);
    in.push_back(x);
    out.push_back(y0);
  }
  double inSq = 0.0, outSq = 0.0;
  for (std::size_t n = static_cast<std::size_t>(delay); n < out.size(); ++n) {
    inSq += in[n - static_cast<std::size_t>(delay)] * in[n - static_cast<std::size_t>(delay)];
    outSq += out[n] * out[n];
  }
  EXPECT_NEAR(10.0 * std::log10(outSq / inSq), 0.0, 0.01);
  EXPECT_LE(rig.core.Stage3(0).gain(), 1.0);
  EXPECT_EQ(rig.frame.grMax[0], 0.0);
}

TEST(LimiterCore, OutputIsTheInputDelayedByTheLookAhead) {
  CoreRig rig("KEST-BASIC");
  const int delay = rig.core.LookAheadSamples();
  ASSERT_EQ(delay, 309);
  int peakAt = -1;
  double peak = 0.0;
  for (int n = 0; n < 1000; ++n) {
    double y0 = 0.0, y1 = 0.0;
    rig.Frame(n == 0 ? 0.1 : 0.0, 0.0, 1.0, y0, y1);
    if (std::fabs(y0) > peak) {
      peak = std::fabs(y0);
      peakAt = n;
    }
  }
  EXPECT_EQ(peakAt, delay);
  EXPECT_NEAR(peak, 0.1, 0.002);
}

TEST(LimiterCore, LoudInputStaysUnderTheCeiling) {
  CoreRig rig("AGGRESSIVE", -1.0, 24.0, 4);
  VU_Envelope distA0, distA1, distB0, distB1;
  distA0.Configure(nullptr, 0.0, 100.0, 4 * kFs, kCurveMeter);
  rig.core.BindDistortionEnvelopes(&distA0, &distA1, &distB0, &distB1);
  const double ceiling = rig.core.Ceil();
  double largest = 0.0, largestGr = 0.0;
  for (int n = 0; n < 20000; ++n) {
    const double x = 0.5 * std::sin(2.0 * std::numbers::pi * 220.0 * n / kFs) * rig.core.A() * rig.core.P();
    double y0 = 0.0, y1 = 0.0;
    rig.Frame(x, -x, ceiling, y0, y1);
    largest = std::max({largest, std::fabs(y0), std::fabs(y1)});
    largestGr = std::max(largestGr, rig.frame.grMax[0]);
  }
  EXPECT_LE(largest, ceiling * 50.0 / 51.0 + 1e-12);
  EXPECT_GT(largest, 0.5 * ceiling);
  EXPECT_GT(largestGr, 0.1);
  EXPECT_GT(distA0.Value(), 0.0);
  EXPECT_GT(distB1.Value(), 0.0);
}

TEST(LimiterCore, ClipExcessIsMeasuredAgainstTheLinkedThreshold) {
  CoreRig rig("CLEAN");
  double y0 = 0.0, y1 = 0.0;
  for (int n = 0; n <= rig.core.LookAheadSamples(); ++n) rig.Frame(1.5, -0.5, 1.2, y0, y1);
  EXPECT_NEAR(rig.frame.maxExcess[0], 0.3, 1e-12);
  EXPECT_EQ(rig.frame.maxExcess[1], 0.0);
}

TEST(LimiterCore, LinkTrackersRecoverAndFallToTheCeiling) {
  CoreRig rig("KEST-BASIC", 0.0, 12.0);
  rig.core.ConfigureLinkTrackers();
  EXPECT_NEAR(rig.core.Tracker(0).high(), 3.7820181202582233, 1e-12);
  EXPECT_EQ(rig.core.Tracker(1).low(), 1.0);
  EXPECT_EQ(rig.core.Tracker(0).value(), 1.0);
  for (int n = 0; n < 2000; ++n) rig.core.UpdateLinkTrackers(0.0, 0.0);
  EXPECT_NEAR(rig.core.Tracker(0).value(), 3.6412178278991973, 1e-9);
  for (int n = 0; n < 300; ++n) rig.core.UpdateLinkTrackers(0.2, 0.0);
  EXPECT_NEAR(rig.core.Tracker(0).value(), 1.0050201394902025, 1e-9);
  // The other channel never clipped and kept recovering.
  EXPECT_NEAR(rig.core.Tracker(1).value(), 3.6920186202115937, 1e-9);

  // Link 0.5: each threshold is three quarters own tracker, one quarter the other.
  double t0 = 9.0, t1 = 9.0;
  rig.core.UpdateLinkedThresholds(0.1, 0.1, t0, t1);
  const double l0 = rig.core.Tracker(0).value(), l1 = rig.core.Tracker(1).value();
  EXPECT_NEAR(t0, 0.75 * l0 + 0.25 * l1, 1e-15);
  EXPECT_NEAR(t1, 0.75 * l1 + 0.25 * l0, 1e-15);
  // A channel at or above 80 % of the ceiling holds its threshold.
  t0 = 9.0;
  t1 = 9.0;
  rig.core.UpdateLinkedThresholds(0.8, 0.1, t0, t1);
  EXPECT_EQ(t0, 9.0);
  EXPECT_NE(t1, 9.0);
}

TEST(LimiterCore, SurvivesNonFiniteInput) {
  CoreRig rig("TESSARO 2", -0.5, 6.0, 2);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  double y0 = 0.0, y1 = 0.0;
  rig.Frame(nan, inf, 1.0, y0, y1);
  rig.Frame(-inf, nan, 1.0, y0, y1);
  double last = 0.0;
  for (int n = 0; n < 4410; ++n) {
    const double x = 0.2 * std::sin(2.0 * std::numbers::pi * 440.0 * n / kFs);
    rig.Frame(x, x, 1.0, y0, y1);
    ASSERT_TRUE(std::isfinite(y0) && std::isfinite(y1)) << "frame " << n;
    last = std::max(last, std::fabs(y0));
  }
  EXPECT_GT(last, 0.05);
  EXPECT_LE(last, rig.core.Ceil());
}

TEST(LimiterCore, StepNeverAllocates) {
  if (!alloccount::AllocationCounterIsLive()) GTEST_SKIP() << "allocation counting is off in this build";

  CoreRig rig("DEEP", -1.0, 18.0, 4);
  VU_Envelope d[4];
  rig.core.BindDistortionEnvelopes(&d[0], &d[1], &d[2], &d[3]);
  double sink = 0.0, t0 = 1.0, t1 = 1.0;
  long allocations = 0;
  {
    alloccount::AllocationScope scope;
    for (int block = 0; block < 10; ++block) {
      rig.core.ConfigureLinkTrackers();
      for (int n = 0; n < 500; ++n) {
        const double x = std::sin(0.05 * (block * 500 + n)) * rig.core.A();
        rig.core.UpdateLinkedThresholds(std::fabs(x), std::fabs(x), t0, t1);
        rig.core.BeginFrame(rig.frame, t0, t1, 1.0);
        for (int j = 0; j < 4; ++j) {
          double y0 = 0.0, y1 = 0.0;
          rig.core.Step(x, 0.5 * x, rig.frame, y0, y1);
          sink += y0 + y1;
        }
        rig.core.UpdateLinkTrackers(rig.frame.maxExcess[0], rig.frame.maxExcess[1]);
      }
    }
    rig.core.Reset();
    allocations = scope.Count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

}  // namespace
}  // namespace tessaro
