#include <gtest/gtest.h>

#include <cstring>

#include "core/IParameter.h"

namespace tessaro {
namespace {

TEST(Parameter, DefineDoubleRaisesMaxToAtLeastOneStepAboveMin) {
  IParameter p;
  p.DefineDouble("x", 0.0, 2.0, 1.0, 0.5);
  EXPECT_EQ(p.Max(), 2.5);
  EXPECT_EQ(p.GetType(), IParameter::kTypeDouble);
}

TEST(Parameter, DisplayPrecisionFollowsStep) {
  struct Case { double step; int precision; };
  for (const Case c : {Case{1.0, 0}, Case{0.5, 1}, Case{0.1, 1}, Case{0.01, 2}, Case{0.001, 3}, Case{10.0, 0},
                       Case{1e-9, 6}}) {
    IParameter p;
    p.DefineDouble("x", 0.0, 0.0, 100.0, c.step);
    EXPECT_EQ(p.DisplayPrecision(), c.precision) << "step " << c.step;
  }
}

TEST(Parameter, EarlierExplicitTypeSurvivesInit) {
  IParameter p;
  p.SetType(IParameter::kTypeEnum);
  p.DefineInt("x", 1, 0, 4);
  EXPECT_EQ(p.GetType(), IParameter::kTypeEnum);
}

TEST(Parameter, ShapedMappingBothWays) {
  IParameter p;
  p.DefineDouble("Amount", 0.0, 0.0, 36.0, 0.01, "", 1.5);
  p.Set(9.0);
  // ((9 - 0) / 36) ^ (1 / 1.5) = 0.25 ^ 0.6667 = 0.39685
  EXPECT_NEAR(p.Normalised(), 0.3968502630, 1e-9);
  // 0 + 0.5 ^ 1.5 * 36 = 12.7279
  EXPECT_NEAR(p.FromNormalised(0.5), 12.727922061, 1e-8);
  EXPECT_EQ(p.FromNormalised(1.0), 36.0);
}

TEST(Parameter, SteppingAppliesToNonDoubleTypesOnly) {
  IParameter i;
  i.DefineInt("i", 0, 0, 4);
  EXPECT_EQ(i.FromNormalised(1.0), 4.0);
  EXPECT_EQ(i.FromNormalised(0.6), 2.0);  // 2.4 rounds to 2
  EXPECT_EQ(i.FromNormalised(0.65), 3.0);  // 2.6 rounds to 3
  IParameter b;
  b.DefineBool("b", false);
  EXPECT_EQ(b.FromNormalised(0.49), 0.0);
  EXPECT_EQ(b.FromNormalised(0.5), 1.0);
  IParameter d;
  d.DefineDouble("d", 0.0, 0.0, 10.0, 1.0);
  EXPECT_DOUBLE_EQ(d.FromNormalised(0.33), 3.3);
}

TEST(Parameter, FromNormalisedClampsOnlyAtMax) {
  IParameter p;
  p.DefineDouble("d", 0.0, -12.0, 24.0, 0.1);
  EXPECT_EQ(p.FromNormalised(1.5), 24.0);
  EXPECT_DOUBLE_EQ(p.FromNormalised(-0.1), -15.6);
}

TEST(Parameter, NormalisedReflectsAValueAboveMaxWhoseNegationIsInRange) {
  IParameter p;
  p.DefineDouble("d", 0.0, -10.0, 5.0, 0.1);
  p.Set(8.0);  // -8 is inside: reported as -8
  EXPECT_NEAR(p.Normalised(), 2.0 / 15.0, 1e-12);
  p.Set(12.0);  // -12 is not: clamped to max
  EXPECT_EQ(p.Normalised(), 1.0);
}

TEST(Parameter, BoolShowsTextsAndNoLabel) {
  IParameter p;
  p.DefineBool("b", false, "dB");
  EXPECT_EQ(p.DisplayTextFor(0.0, false, true), "off");
  EXPECT_STREQ(p.LabelText(), "");
  p.Set(1.0);
  EXPECT_EQ(p.DisplayTextFor(1.0, false, true), "on");
  EXPECT_STREQ(p.LabelText(), "");
}

TEST(Parameter, PartialDisplayTextsFallBackToNumberAndLabel) {
  IParameter p;
  p.DefineInt("i", 0, 0, 4, "dB");
  p.AddDisplayText(0, "zero");
  p.AddDisplayText(2, "");
  EXPECT_EQ(p.DisplayTextFor(0.0, false, true), "zero");
  EXPECT_EQ(p.DisplayTextFor(2.0, false, true), "2");  // an empty text falls through
  EXPECT_EQ(p.DisplayTextFor(3.0, false, true), "3");
  EXPECT_EQ(p.DisplayTextFor(0.0, false, false), "0");
  p.Set(3.0);
  EXPECT_STREQ(p.LabelText(), "dB");
  p.Set(0.0);
  EXPECT_STREQ(p.LabelText(), "");
}

TEST(Parameter, DisplayTextRoundsToStepAndNegates) {
  IParameter p;
  p.DefineDouble("d", 0.0, -10.0, 10.0, 0.1);
  EXPECT_EQ(p.DisplayTextFor(1.25, false, true), "1.3");  // half away from zero
  EXPECT_EQ(p.DisplayTextFor(-1.25, false, true), "-1.3");
  p.SetNegateDisplay(true);
  EXPECT_EQ(p.DisplayTextFor(-0.5, false, true), "0.5");
  // Normalised input maps through the shape first: 0.75 of -10..10 is 5.
  p.SetNegateDisplay(false);
  EXPECT_EQ(p.DisplayTextFor(0.75, true, true), "5.0");
}

TEST(Parameter, TextToValueMatchesExactly) {
  IParameter p;
  p.DefineInt("Oversample Rate", 0, 0, 3);
  p.AddDisplayText(0, "2X");
  p.AddDisplayText(3, "16X");
  EXPECT_EQ(p.TextToValue("16X"), 3);
  EXPECT_FALSE(p.TextToValue("16x").has_value());
  EXPECT_FALSE(p.TextToValue("16X ").has_value());
  EXPECT_FALSE(p.TextToValue(nullptr).has_value());
}

TEST(Parameter, NamesAreTruncatedToTheirFields) {
  IParameter p;
  p.DefineDouble("a name that is much longer than thirty-one characters", 0, 0, 1, 0.1, "unit");
  EXPECT_EQ(std::strlen(p.Name()), 31u);
  EXPECT_STREQ(p.Label(), "unit");
}

}  // namespace
}  // namespace tessaro
