// UpdateMeterBallistics: every follower's coefficients for each meter type
// against exp(K / (t * fs * 0.001)) worked out by hand, the oversampled rate
// of the distortion pairs, clearing, the view selection and the scale data.
#include <gtest/gtest.h>

#include <vector>

#include "meters/MeterBallistics.h"

namespace tessaro {
namespace {

// Coefficients at 48 kHz (and at 2 * 4 * 48 kHz for the distortion pairs).
constexpr double kI = kInstantCoef;
constexpr double kFast300 = 0.9998611207557263;    // curve -2, 300 ms
constexpr double kFast5000 = 0.9999916667013888;   // curve -2, 5000 ms
constexpr double kFast10000 = 0.9999958333420139;  // curve -2, 10000 ms
constexpr double kFast25000 = 0.9999983333347222;  // curve -2, 25000 ms
constexpr double kMeter5 = 0.9981877527078267;     // meter curve, 5 ms
constexpr double kMeter100 = 0.9999093095426806;   // meter curve, 100 ms
constexpr double kMeter300 = 0.9999697689336521;   // meter curve, 300 ms
constexpr double kMeter600 = 0.9999848843525846;   // meter curve, 600 ms
constexpr double kMeter5000 = 0.9999981861102462;  // meter curve, 5000 ms
constexpr double kMeter25000 = 0.999999637221786;  // meter curve, 25000 ms
constexpr double kDist1 = 0.9988669602504635;      // meter curve, 1 ms at 384 kHz
constexpr double kDist300 = 0.9999962210667257;    // meter curve, 300 ms at 384 kHz
constexpr double kDist1000 = 0.9999988663185183;   // meter curve, 1000 ms at 384 kHz
constexpr double kRms500 = 0.9999818612505196;     // meter curve, 500 ms
constexpr double kRms10000 = 0.9999990930547118;   // meter curve, 10000 ms

using Member = VU_Envelope MeterEnvelopes::*;

struct Row {
  Member left, right;
  double attack, release;
};

struct TypeCase {
  int meterType;
  std::vector<Row> rows;
  double rms;
};

std::vector<Row> CommonRows() {
  return {
      {&MeterEnvelopes::reduceA, &MeterEnvelopes::reduceB, kI, kFast300},
      {&MeterEnvelopes::distA0, &MeterEnvelopes::distA1, kDist1, kDist300},
      {&MeterEnvelopes::distB0, &MeterEnvelopes::distB1, kDist1, kDist1000},
      {&MeterEnvelopes::outHoldL, &MeterEnvelopes::outHoldR, kI, kFast25000},
      {&MeterEnvelopes::ispOver, &MeterEnvelopes::ispOver, kI, kMeter100},
  };
}

std::vector<Row> With(std::vector<Row> rows, std::vector<Row> more) {
  rows.insert(rows.end(), more.begin(), more.end());
  return rows;
}

TEST(MeterBallistics, CoefficientsForEachMeterType) {
  const std::vector<Row> dbfsLike = {
      {&MeterEnvelopes::reduceC, &MeterEnvelopes::reduceD, kI, kFast5000},
      {&MeterEnvelopes::inA0, &MeterEnvelopes::inA1, kI, kMeter300},
      {&MeterEnvelopes::inB0, &MeterEnvelopes::inB1, kMeter5, kMeter5000},
      {&MeterEnvelopes::outPeakL, &MeterEnvelopes::outPeakR, kI, kMeter300},
      {&MeterEnvelopes::outSlowL, &MeterEnvelopes::outSlowR, kMeter5, kMeter5000},
  };
  const std::vector<Row> kScale = {
      {&MeterEnvelopes::reduceC, &MeterEnvelopes::reduceD, kI, kFast25000},
      {&MeterEnvelopes::inA0, &MeterEnvelopes::inA1, kI, kMeter600},
      {&MeterEnvelopes::inB0, &MeterEnvelopes::inB1, kI, kMeter25000},
      {&MeterEnvelopes::outPeakL, &MeterEnvelopes::outPeakR, kI, kMeter600},
      {&MeterEnvelopes::outSlowL, &MeterEnvelopes::outSlowR, kI, kMeter25000},
      {&MeterEnvelopes::outKL, &MeterEnvelopes::outKR, kFast300, kFast10000},
      {&MeterEnvelopes::inPeakL, &MeterEnvelopes::inPeakR, kFast300, kFast10000},
  };
  const TypeCase cases[] = {
      {kMeterDbfs,
       With(With(CommonRows(), dbfsLike),
            {{&MeterEnvelopes::outKL, &MeterEnvelopes::outKR, kI, kFast5000},
             {&MeterEnvelopes::inPeakL, &MeterEnvelopes::inPeakR, kI, kFast5000}}),
       kRms500},
      {kMeterK14, With(CommonRows(), kScale), kRms10000},
      {kMeterEbu,
       With(With(CommonRows(), dbfsLike),
            {{&MeterEnvelopes::outKL, &MeterEnvelopes::outKR, kI, kFast10000},
             {&MeterEnvelopes::inPeakL, &MeterEnvelopes::inPeakR, kI, kFast10000}}),
       kRms500},
      {kMeterK20, With(CommonRows(), kScale), kRms10000},
      {kMeterDbfs,
       With(With(CommonRows(), dbfsLike),
            {{&MeterEnvelopes::outKL, &MeterEnvelopes::outKR, kI, kFast5000},
             {&MeterEnvelopes::inPeakL, &MeterEnvelopes::inPeakR, kI, kFast5000}}),
       kRms500},
  };
  // One set of followers through every type in turn, so each switch has to
  // recompute what it changes.
  MeterEnvelopes m;
  for (const TypeCase& c : cases) {
    UpdateMeterBallistics(m, c.meterType, 48000.0, 4, false);
    for (const Row& row : c.rows) {
      for (Member side : {row.left, row.right}) {
        const VU_Envelope& e = m.*side;
        EXPECT_NEAR(e.AttackCoef(), row.attack, 1e-15) << "type " << c.meterType;
        EXPECT_NEAR(e.ReleaseCoef(), row.release, 1e-15) << "type " << c.meterType;
      }
    }
    for (const VU_Envelope* rms : {&m.outRmsL, &m.outRmsR, &m.inRmsL, &m.inRmsR}) {
      EXPECT_NEAR(rms->RmsCoef(), c.rms, 1e-15) << "type " << c.meterType;
    }
  }
}

TEST(MeterBallistics, DistortionPairsRunAtTwiceTheOversampledRate) {
  MeterEnvelopes m;
  // Factor 1 still means 2 * fs: 1 ms and 300 ms at 96 kHz.
  UpdateMeterBallistics(m, kMeterDbfs, 48000.0, 1, false);
  EXPECT_EQ(m.distA0.SampleRate(), 96000.0);
  EXPECT_NEAR(m.distA0.AttackCoef(), 0.9954755378596553, 1e-15);
  EXPECT_NEAR(m.distA1.ReleaseCoef(), 0.9999848843525846, 1e-15);
  EXPECT_NEAR(m.distB0.ReleaseCoef(), 0.9999954652817845, 1e-15);
  EXPECT_EQ(m.reduceA.SampleRate(), 48000.0);
  UpdateMeterBallistics(m, kMeterDbfs, 48000.0, 16, false);
  EXPECT_EQ(m.distB1.SampleRate(), 2.0 * 16 * 48000.0);
}

TEST(MeterBallistics, ClearsOnlyWhenAsked) {
  MeterEnvelopes m;
  UpdateMeterBallistics(m, kMeterDbfs, 44100.0, 1, false);
  for (VU_Envelope* e : m.All()) {
    e->SetLevel(0.5);
    e->StepRms(0.5);
  }
  UpdateMeterBallistics(m, kMeterK12, 44100.0, 1, false);
  for (VU_Envelope* e : m.All()) EXPECT_EQ(e->Value(), 0.5);
  UpdateMeterBallistics(m, kMeterK12, 44100.0, 1, true);
  for (VU_Envelope* e : m.All()) {
    EXPECT_EQ(e->Value(), 0.0);
    EXPECT_EQ(e->MeanSquare(), 0.0);
  }
}

TEST(MeterBallistics, AllListsEveryFollowerOnce) {
  MeterEnvelopes m;
  const auto all = m.All();
  for (std::size_t i = 0; i < all.size(); ++i) {
    for (std::size_t j = i + 1; j < all.size(); ++j) ASSERT_NE(all[i], all[j]) << i << " " << j;
  }
  // The struct holds nothing else: every member is in the list.
  EXPECT_EQ(sizeof(MeterEnvelopes), all.size() * sizeof(VU_Envelope));
}

TEST(MeterBallistics, ViewSelection) {
  MeterEnvelopes m;
  using V = std::array<VU_Envelope*, 4>;
  EXPECT_EQ(m.View(kViewReduce), (V{&m.reduceA, &m.reduceB, &m.reduceC, &m.reduceD}));
  EXPECT_EQ(m.View(kViewInput), (V{&m.inA0, &m.inA1, &m.inB0, &m.inB1}));
  EXPECT_EQ(m.View(kViewDistort), (V{&m.distA0, &m.distA1, &m.distB0, &m.distB1}));
  EXPECT_EQ(m.View(7), m.View(kViewReduce));
}

TEST(MeterBallistics, AutoGainTimes) {
  AutoGainEnvelopes ag;
  ag.Configure(44100.0);
  // Meter curve: 300 ms up, 600 ms down; 1000 ms both ways.
  EXPECT_NEAR(ag.agIn.AttackCoef(), 0.9999670954819742, 1e-15);
  EXPECT_NEAR(ag.agOut.ReleaseCoef(), 0.9999835476056465, 1e-15);
  EXPECT_NEAR(ag.agRatio.AttackCoef(), 0.9999901285309059, 1e-15);
  EXPECT_NEAR(ag.agRatio.ReleaseCoef(), 0.9999901285309059, 1e-15);
}

TEST(MeterScale, OffsetsAndKScales) {
  const double offsets[] = {0.0, 20.0, 14.0, 12.0, 0.0};
  const bool kScales[] = {false, true, true, true, false};
  for (int type = 0; type < kMeterTypeCount; ++type) {
    EXPECT_EQ(MeterScaleOffset(type), offsets[type]) << type;
    EXPECT_EQ(IsKScale(type), kScales[type]) << type;
  }
}

TEST(MeterScale, TickListsRunFromTopToBottom) {
  for (std::size_t i = 1; i < kFineTicks.size(); ++i) EXPECT_LT(kFineTicks[i], kFineTicks[i - 1]) << i;
  for (std::size_t i = 1; i < kCoarseTicks.size(); ++i) EXPECT_LT(kCoarseTicks[i], kCoarseTicks[i - 1]) << i;
  EXPECT_EQ(kFineTicks.front(), 20.0);
  EXPECT_EQ(kFineTicks[11], -0.1);
  EXPECT_EQ(kFineTicks.back(), -90.0);
  EXPECT_EQ(kCoarseTicks[28], -28.0);
  EXPECT_EQ(kCoarseTicks[29], -30.0);
  EXPECT_EQ(kCoarseTicks.back(), -90.0);
}

}  // namespace
}  // namespace tessaro
