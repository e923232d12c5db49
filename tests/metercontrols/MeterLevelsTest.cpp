// The arithmetic the meter controls share: colour shades, level mapping,
// tick labels and readout texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "meters/controls/MeterLevels.h"

namespace tessaro {
namespace {

constexpr IColour kRed{255, 193, 76, 71};
constexpr IColour kBlue{255, 25, 112, 179};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct AdjustCase {
  IColour in;
  double alpha, contrast, brightness;
  IColour out;
};

TEST(AdjustColor, LayoutShadesAndRoundingEdges) {
  const AdjustCase cases[] = {
      {kRed, 100, 100, 50, kRed},                              // neutral
      {kBlue, 80, 100, 25, {204, 13, 56, 90}},                 // input band: 12.5 and 89.5 round up
      {kBlue, 100, 90, 30, {255, 21, 68, 104}},                // output meter
      {kBlue, 100, 60, 50, {255, 66, 118, 158}},               // output band
      {{255, 49, 85, 225}, 40, 100, 50, {102, 49, 85, 225}},   // INPUT view meters
      {kRed, 60, 100, 50, {153, 193, 76, 71}},                 // REDUCE view meters
      {kBlue, 100, 100, 60, {255, 71, 141, 194}},              // brighter: toward white
      {kBlue, 100, 100, 0, {255, 0, 0, 0}},                    // brightness 0 is black, alpha kept
      {{255, 0, 0, 0}, 50, 100, 50, {128, 0, 0, 0}},           // alpha 127.5 rounds up
      {{255, 0, 255, 128}, 100, 50, 50, {255, 64, 191, 128}},  // contrast around mid-grey
      {kRed, 140, 100, 50, kRed},                              // alpha clamps at 255
      {{255, 0, 255, 200}, 100, 300, 50, {255, 0, 255, 255}},  // contrast clamps to a byte
      {kBlue, 100, 100, 100, {255, 255, 255, 255}},            // brightness 100 is white
  };
  for (const AdjustCase& c : cases) {
    const IColour got = AdjustColor(c.in, c.alpha, c.contrast, c.brightness);
    EXPECT_EQ(got, c.out) << c.alpha << "/" << c.contrast << "/" << c.brightness << " -> " << got.A << ","
                          << got.R << "," << got.G << "," << got.B;
  }
}

TEST(MeterVocabulary, ScaleOffsetsAndViewColours) {
  const double offsets[] = {0, 20, 14, 12, 0};
  for (int type = 0; type < 5; ++type) EXPECT_EQ(MeterScaleOffset(type), offsets[type]) << type;
  EXPECT_EQ(MeterScaleOffset(-1), 0.0);
  EXPECT_EQ(MeterScaleOffset(9), 0.0);
  EXPECT_EQ(ViewMeterColour(kViewReduce), AdjustColor(kRed, 60, 100, 50));
  EXPECT_EQ(ViewMeterColour(kViewInput), AdjustColor({255, 49, 85, 225}, 40, 100, 50));
  EXPECT_EQ(ViewMeterColour(kViewDistort), (IColour{255, 73, 194, 119}));
  EXPECT_EQ(kFineTicks.front(), 20.0);
  EXPECT_EQ(kFineTicks.back(), -90.0);
  EXPECT_EQ(kCoarseTicks[28], -28.0);
  EXPECT_EQ(kCoarseTicks[29], -30.0);
  for (std::size_t i = 1; i < kFineTicks.size(); ++i) EXPECT_LT(kFineTicks[i], kFineTicks[i - 1]) << i;
  for (std::size_t i = 1; i < kCoarseTicks.size(); ++i) EXPECT_LT(kCoarseTicks[i], kCoarseTicks[i - 1]) << i;
}

struct MapCase {
  double v;
  bool dbMode;
  double y;
};

TEST(LevelMapping, TopIsMaxDbBottomIsMinDb) {
  // dB Scale -24, maxDb 0, rectangle from 100 to 340.
  LevelMapping m(0.0, -24.0);
  const double half = 340 - 240 * (20 * std::log10(0.5) + 24) / 24;  // 160.2
  const MapCase cases[] = {
      {1.0, true, 100.0},
      {0.5, true, half},
      {std::pow(10.0, -24.0 / 20), true, 340.0},
      {std::pow(10.0, -12.0 / 20), true, 220.0},
      {0.0, true, -1.0},  // far below the bottom: checked separately
      {0.5, false, 340 - 240 * (0.5 - std::pow(10.0, -24.0 / 20)) / (1 - std::pow(10.0, -24.0 / 20))},
  };
  for (const MapCase& c : cases) {
    m.dbMode = c.dbMode;
    const double y = m.Y(c.v, 100, 340);
    if (c.y < 0) {
      EXPECT_GT(y, 340.0) << c.v;
    } else {
      EXPECT_NEAR(y, c.y, 0.01) << c.v << (c.dbMode ? " dB" : " linear");
    }
  }
  m.dbMode = true;
  EXPECT_EQ(static_cast<int>(m.Y(0.5, 100, 340)), 160);
  EXPECT_NEAR(m.minGain, 0.0630957, 1e-6);
  EXPECT_EQ(m.maxGain, 1.0);
  m.SetMinDb(-400.0);  // below the silence threshold the gain is exactly 0
  EXPECT_EQ(m.minGain, 0.0);
}

TEST(LevelMapping, BadLevelsAndACollapsedScaleReadAsTheBottom) {
  LevelMapping m(0.0, -24.0);
  for (double bad : {kNaN, kInf, -kInf}) {
    EXPECT_GT(m.Y(bad, 100, 340), 340.0) << bad;
    m.dbMode = false;
    EXPECT_GE(m.Y(bad, 100, 340), 340.0) << bad;
    m.dbMode = true;
  }
  LevelMapping flat(-6.0, -6.0);
  EXPECT_EQ(flat.Y(0.5, 100, 340), 340.0);
  EXPECT_EQ(flat.YOfDb(-6.0, 100, 340), 340.0);
  flat.dbMode = false;
  EXPECT_EQ(flat.Y(0.5, 100, 340), 340.0);
}

TEST(TickLabel, OneDecimalOnlyForFractions) {
  const std::pair<double, const char*> cases[] = {
      {20, "20"}, {-0.1, "-0.1"}, {-1.5, "-1.5"}, {-0.5, "-0.5"}, {-10, "-10"},
      {2, " 2"},  {0, " 0"},      {-90, "-90"},   {14, "14"},     {-2.5, "-2.5"},
  };
  for (const auto& [db, text] : cases) EXPECT_EQ(TickLabel(db), text) << db;
}

struct ReadoutCase {
  double held;
  bool reduction, integer, signedOn;
  const char* text;
  bool warning;
};

TEST(FormatReadout, TextsAndWarningColour) {
  const ReadoutCase cases[] = {
      {1.0, false, false, true, "0.00", true},      // full scale, in red
      {0.9, false, false, true, "-0.92", false},    // -0.915 dB
      {0.9, false, false, false, "0.92", false},    // unsigned drops the sign
      {1.2, false, false, true, "1.6", true},       // readouts are unclamped
      {0.5, false, false, true, "-6.0", false},
      {0.09, false, true, true, "-20", false},      // -20.9: integer mode truncates beyond 9.9 dB
      {0.0001, false, false, true, "-70.0", false}, // below the floor
      {0.0001, false, false, false, "70.0", false},
      {0.75, true, true, false, "12", false},       // 12.04 dB of reduction
      {0.5, true, true, false, "6.0", false},
      {0.05, true, false, false, "0.45", false},    // reduction never warns
      {0.0, true, true, false, "0.0", false},       // no reduction reads 0.0, not -0.0
      {0.0, true, false, false, "0.00", false},
      {1.0, true, true, false, "70", false},        // everything removed
      {-0.5, false, false, true, "-6.0", false},    // the magnitude counts
  };
  for (const ReadoutCase& c : cases) {
    const ReadoutText r = FormatReadout(c.held, c.reduction, c.integer, c.signedOn);
    EXPECT_EQ(r.text, c.text) << c.held << " reduction " << c.reduction << " integer " << c.integer;
    EXPECT_EQ(r.warning, c.warning) << c.held;
  }
}

TEST(FormatReadout, NonFiniteHoldsShowTheFloor) {
  for (double bad : {kNaN, kInf, -kInf}) {
    EXPECT_EQ(FormatReadout(bad, false, false, true).text, "-70.0") << bad;
    EXPECT_EQ(FormatReadout(bad, true, true, false).text, "0.0") << bad;
  }
}

}  // namespace
}  // namespace tessaro
