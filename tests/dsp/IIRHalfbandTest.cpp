// Minimum-phase half-band filters and resamplers: coefficients against values
// worked out by hand from the elliptic formulas, and measured gains against
// the bounds that the filters' own design targets promise.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <limits>
#include <new>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/IIRHalfband.h"
#include "tests/common/AllocationCounter.h"

namespace tessaro {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Power fraction that the elliptic design leaves in the stopband at worst:
// |H|^2 <= p there and, the two paths being power complementary, |H|^2 >= 1 - p
// in the passband, so |H| stays within p of 1.
double StopbandPower(double attenuationDb) { return std::pow(10.0, -attenuationDb / 10.0); }
double StopbandGain(double attenuationDb) { return std::pow(10.0, -attenuationDb / 20.0); }

// cos(2*pi*bin*n/length), with the phase reduced exactly so long signals stay precise.
double Cosine(long bin, long n, long length) {
  return std::cos(kTwoPi * static_cast<double>((bin * n) % length) / static_cast<double>(length));
}

// Amplitude of the component at `bin` of `y[start, start + length)`, which must
// hold a whole number of periods of every component.
double BinAmplitude(const std::vector<double>& y, std::size_t start, long length, long bin) {
  std::complex<double> acc = 0.0;
  for (long n = 0; n < length; ++n) {
    const double phase = kTwoPi * static_cast<double>((bin * n) % length) / static_cast<double>(length);
    acc += y[start + static_cast<std::size_t>(n)] * std::polar(1.0, -phase);
  }
  return 2.0 * std::abs(acc) / static_cast<double>(length);
}

int TrailingZeros(int k) {
  int s = 0;
  while ((k & 1) == 0) {
    k >>= 1;
    ++s;
  }
  return s;
}

// ---------------------------------------------------------------------------
// Coefficients

struct CoefficientCase {
  double attenuationDb;
  double transition;
  std::vector<double> expected;
};

TEST(IIRHalfbandDesign, CoefficientsMatchTheEllipticFormula) {
  // Worked out in python from the formulas; the last three need the
  // relaxation (36 dB/0.375 once, to 43.2/0.3; the others twice).
  const std::vector<CoefficientCase> cases = {
      {64.0, 0.25, {0.07022405925320405, 0.2850862804444175, 0.6845413589235864}},
      {86.0,
       0.1,
       {0.05423078087661379, 0.19969957942632752, 0.39879697355297367, 0.6210968451205046,
        0.8629178126505004}},
      {80.0, 0.175, {0.05445255092093253, 0.20892419938153434, 0.44835026866210254, 0.7802735757574059}},
      {124.0,
       0.095,
       {0.023920302375127087, 0.09205535351138397, 0.19493473943941345, 0.3206831301085792,
        0.45879454992033797, 0.6028875176150836, 0.7521544563154481, 0.9121694698563358}},
      {48.0, 0.25, {0.138024994073021, 0.5846832574873193}},
      {36.0, 0.375, {0.12474452570859977, 0.5625849528873237}},
      {36.0, 0.46875, {0.12474452570859977, 0.5625849528873237}},
      {36.0, 0.4, {0.1361504038907289, 0.5816503011941142}},
  };
  for (const CoefficientCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.attenuationDb) + " dB, width " + std::to_string(c.transition));
    const std::vector<double> got = DesignIIRHalfbandCoefficients(c.attenuationDb, c.transition);
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_NEAR(got[i], c.expected[i], 1e-13) << "coefficient " << i;
  }
}

TEST(IIRHalfbandDesign, NonsenseTargetsStillGiveAUsableFilter) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::pair<double, double>> targets = {{nan, 0.25}, {64.0, nan},   {64.0, 0.5},
                                                          {64.0, 0.9}, {-10.0, 0.25}, {64.0, -1.0}};
  for (const auto& [a, t] : targets) {
    const std::vector<double> got = DesignIIRHalfbandCoefficients(a, t);
    EXPECT_GE(got.size(), 2u) << a << " dB, width " << t;
    for (double c : got) EXPECT_TRUE(std::isfinite(c) && c >= 0.0 && c < 1.0) << c;
  }
}

// ---------------------------------------------------------------------------
// One stage, measured

// Runs a cosine at bin/length of the stage rate through a fresh stage and
// returns the steady-state gain.
double StageGain(double attenuationDb, double transition, long bin, long length) {
  IIRHalfbandStage stage;
  stage.Design(attenuationDb, transition);
  const long settle = 4096;  // the slowest pole (radius < 0.96 per sample) is long gone by then
  std::vector<double> y(static_cast<std::size_t>(settle + length));
  for (long n = 0; n < settle + length; ++n)
    y[static_cast<std::size_t>(n)] = stage.Process(Cosine(bin, n, length));
  return BinAmplitude(y, static_cast<std::size_t>(settle), length, bin);
}

struct StageTarget {
  double attenuationDb;
  double transition;
};

const std::vector<StageTarget> kStageTargets = {{64.0, 0.25}, {86.0, 0.1},   {80.0, 0.175}, {124.0, 0.095},
                                                {48.0, 0.25}, {36.0, 0.375}, {52.0, 0.3375}};

TEST(IIRHalfbandStage, UnityGainAtDc) {
  for (const StageTarget& s : kStageTargets) {
    IIRHalfbandStage stage;
    stage.Design(s.attenuationDb, s.transition);
    double y = 0.0;
    for (int n = 0; n < 4096; ++n) y = stage.Process(0.75);
    EXPECT_NEAR(y, 0.75, 1e-12) << s.attenuationDb << " dB";
  }
}

TEST(IIRHalfbandStage, MeetsItsStopbandAndPassband) {
  const long length = 4096;
  for (const StageTarget& s : kStageTargets) {
    SCOPED_TRACE(std::to_string(s.attenuationDb) + " dB, width " + std::to_string(s.transition));
    const double passEdge = 0.25 - s.transition / 2.0;
    const double stopEdge = 0.25 + s.transition / 2.0;
    const long firstStop = static_cast<long>(std::ceil(stopEdge * length));
    const long lastPass = static_cast<long>(std::floor(passEdge * length));
    for (long bin : {firstStop, (firstStop + length / 2) / 2, length / 2 - 1}) {
      const double g = StageGain(s.attenuationDb, s.transition, bin, length);
      EXPECT_LE(g, StopbandGain(s.attenuationDb))
          << "stopband bin " << bin << ": " << 20 * std::log10(g) << " dB";
    }
    for (long bin : {1L, lastPass / 2, lastPass}) {
      const double g = StageGain(s.attenuationDb, s.transition, bin, length);
      EXPECT_NEAR(g, 1.0, StopbandPower(s.attenuationDb) + 1e-12) << "passband bin " << bin;
    }
  }
}

// ---------------------------------------------------------------------------
// Cascade structure

struct StageRow {
  double attenuationDb;
  double transition;
  int coefficients;
};

struct CascadeCase {
  IIRCascadeGrade grade;
  bool up;
  int factor;
  std::vector<StageRow> stages;  // in processing order
};

const IIRCascadeGrade kLqUp = kIIRMinimalLqUp;
const IIRCascadeGrade kLqDown = kIIRMinimalLqDown;
const IIRCascadeGrade kHqUp = kIIRMinimalHqUp;
const IIRCascadeGrade kHqDown = kIIRMinimalHqDown;
const IIRCascadeGrade kLink = kIIRLinkDetectUp;

// Per stage: the requested target (attenuation times growth, clamped to 36..256;
// widths (1 - 0.5^i)/2 + 0.5^i t; reversed for downsampling) and the number
// of coefficients it yields after any relaxation.
const std::vector<CascadeCase> kCascades = {
    {kLqUp, true, 2, {{64.0, 0.25, 3}}},
    {kLqUp, true, 4, {{64.0, 0.25, 3}, {36.0, 0.375, 2}}},
    {kLqUp, true, 8, {{64.0, 0.25, 3}, {36.0, 0.375, 2}, {36.0, 0.4375, 2}}},
    {kLqUp, true, 16, {{64.0, 0.25, 3}, {36.0, 0.375, 2}, {36.0, 0.4375, 2}, {36.0, 0.46875, 2}}},
    {kLqDown, false, 2, {{86.0, 0.1, 5}}},
    {kLqDown, false, 4, {{36.0, 0.3, 2}, {86.0, 0.1, 5}}},
    {kLqDown, false, 8, {{36.0, 0.4, 2}, {36.0, 0.3, 2}, {86.0, 0.1, 5}}},
    {kLqDown, false, 16, {{36.0, 0.45, 2}, {36.0, 0.4, 2}, {36.0, 0.3, 2}, {86.0, 0.1, 5}}},
    {kHqUp, true, 2, {{80.0, 0.175, 4}}},
    {kHqUp, true, 4, {{80.0, 0.175, 4}, {52.0, 0.3375, 2}}},
    {kHqUp, true, 8, {{80.0, 0.175, 4}, {52.0, 0.3375, 2}, {36.0, 0.41875, 2}}},
    {kHqUp, true, 16, {{80.0, 0.175, 4}, {52.0, 0.3375, 2}, {36.0, 0.41875, 2}, {36.0, 0.459375, 2}}},
    {kHqDown, false, 2, {{124.0, 0.095, 8}}},
    {kHqDown, false, 4, {{80.6, 0.2975, 3}, {124.0, 0.095, 8}}},
    {kHqDown, false, 8, {{52.39, 0.39875, 2}, {80.6, 0.2975, 3}, {124.0, 0.095, 8}}},
    {kHqDown, false, 16, {{36.0, 0.449375, 2}, {52.39, 0.39875, 2}, {80.6, 0.2975, 3}, {124.0, 0.095, 8}}},
    {kLink, true, 2, {{48.0, 0.25, 2}}},
    {kLink, true, 4, {{48.0, 0.25, 2}, {36.0, 0.375, 2}}},
    {kLink, true, 8, {{48.0, 0.25, 2}, {36.0, 0.375, 2}, {36.0, 0.4375, 2}}},
    {kLink, true, 16, {{48.0, 0.25, 2}, {36.0, 0.375, 2}, {36.0, 0.4375, 2}, {36.0, 0.46875, 2}}},
};

std::string Name(const CascadeCase& c) {
  return std::string(c.up ? "up " : "down ") + std::to_string(c.grade.attenuationDb) + " dB x" +
         std::to_string(c.factor);
}

void CheckStages(const IIRResamplerBase& r, const CascadeCase& c) {
  ASSERT_EQ(r.Factor(), c.factor);
  ASSERT_EQ(r.NumStages(), static_cast<int>(c.stages.size()));
  for (int i = 0; i < r.NumStages(); ++i) {
    const StageRow& row = c.stages[static_cast<std::size_t>(i)];
    EXPECT_NEAR(r.Stage(i).RequestedAttenuation(), row.attenuationDb, 1e-9) << "stage " << i;
    EXPECT_NEAR(r.Stage(i).RequestedTransition(), row.transition, 1e-12) << "stage " << i;
    EXPECT_EQ(r.Stage(i).NumCoefficients(), row.coefficients) << "stage " << i;
  }
  EXPECT_EQ(r.Stage(-1).NumCoefficients(), 0);
  EXPECT_EQ(r.Stage(r.NumStages()).NumCoefficients(), 0);
}

TEST(IIRResampler, StageTargetsAndCoefficientCountsPerGrade) {
  for (const CascadeCase& c : kCascades) {
    SCOPED_TRACE(Name(c));
    if (c.up) {
      IIRUpsampler up;
      up.Design(c.grade, c.factor);
      CheckStages(up, c);
    } else {
      IIRDownsampler down;
      down.Design(c.grade, c.factor);
      CheckStages(down, c);
    }
  }
}

TEST(IIRResampler, FactorIsRoundedToAPowerOfTwo) {
  const std::vector<std::pair<int, int>> cases = {{-3, 1}, {0, 1}, {1, 1}, {3, 4}, {5, 4}, {6, 8}, {16, 16}};
  for (const auto& [asked, got] : cases) {
    IIRUpsampler up;
    up.Design(kIIRMinimalHqUp, asked);
    IIRDownsampler down;
    down.Design(kIIRMinimalHqDown, asked);
    EXPECT_EQ(up.Factor(), got) << asked;
    EXPECT_EQ(down.Factor(), got) << asked;
    EXPECT_EQ(1 << up.NumStages(), got) << asked;
    // Without stages both sides pass the value straight through.
    if (got == 1) {
      EXPECT_EQ(up.Upsample(0.3)[0], 0.3);
      down.Write(0.3);
      EXPECT_EQ(down.Downsample(), 0.3);
    }
  }
}

TEST(IIRResampler, LatencyPartsByGrade) {
  struct Row {
    IIRCascadeGrade grade;
    int latency;
  };
  for (const Row& row : {Row{kLqUp, 4}, Row{kHqUp, 8}, Row{kLink, 0}}) {
    for (int factor : {2, 4, 8, 16}) {
      IIRUpsampler up;
      up.Design(row.grade, factor);
      EXPECT_EQ(up.LatencySamples(), row.latency) << row.grade.attenuationDb << " x" << factor;
    }
  }
  IIRDownsampler down;
  down.Design(kIIRMinimalHqDown, 8);
  EXPECT_EQ(down.LatencySamples(), 0);
  IIRUpsampler plain;
  plain.Design(64.0, 0.25, 4, 0.4);
  EXPECT_EQ(plain.LatencySamples(), 0);
}

TEST(IIRResampler, LinkDetectionFactorFollowsTheCoreRate) {
  EXPECT_EQ(LinkDetectionFactor(44100.0), 4);
  EXPECT_EQ(LinkDetectionFactor(48999.0), 4);
  EXPECT_EQ(LinkDetectionFactor(49000.0), 2);
  EXPECT_EQ(LinkDetectionFactor(88200.0), 2);
}

// ---------------------------------------------------------------------------
// Sample-exact behaviour

struct ImpulseCase {
  const char* name;
  IIRCascadeGrade grade;
  bool up;
  int factor;
  std::vector<double> input;  // at the base rate (up) or the oversampled rate (down)
  std::vector<double> expected;
};

TEST(IIRResampler, ImpulseResponsesMatchHandComputation) {
  // Stepped through by hand (python) from the section recurrence and the
  // stage order: zero-stuffed input scaled by the factor for upsampling, the
  // first output of every pair kept for downsampling.
  const std::vector<ImpulseCase> cases = {
      {"up LQ x2",
       kIIRMinimalLqUp,
       true,
       2,
       {1.0, 0.0, 0.0, 0.0, 0.0, 0.0},
       {0.048071272950318746, 0.2850862804444175, 0.7184828837461524, 0.918725812702367, 0.455403118513405,
        -0.26191612469159237, -0.378260911998478, 0.07466869377674232, 0.2636064478119811,
        -0.02128702017445469, -0.18077754726979284, 0.006068637403280563}},
      {"up HQ x4",
       kIIRMinimalHqUp,
       true,
       4,
       {1.0, 0.0, 0.0},
       {0.0028726851236173102, 0.013432117836857365, 0.04325753772684364, 0.10671375783894915,
        0.21564666378735586, 0.37418662755318755, 0.5625739017282969, 0.7401762165490687, 0.850319839658835,
        0.8348670615979744, 0.67088229839093, 0.3783979390025529}},
      {"down LQ x2, even impulse",
       kIIRMinimalLqDown,
       false,
       2,
       {1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
       {0.009331192524510718, 0.1939970536664771, 0.3988336112290779, -0.10505149078980647,
        -0.02991832323572849, 0.07526698405426444, -0.08474385491331866, 0.08102504319647617}},
      {"down LQ x2, odd impulse",
       kIIRMinimalLqDown,
       false,
       2,
       {0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
       {0.0, 0.06201638937679182, 0.3594953816096412, 0.1972354110310398, -0.20647933129842605,
        0.1450138407737838, -0.09341663680079978, 0.05868957185038434}},
      {"down HQ x4",
       kIIRMinimalHqDown,
       false,
       4,
       {0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
        0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
       {0.0, 0.0004517575262423729, 0.018134560126975424, 0.11786254285031386, 0.17120358555676723,
        -0.05414453239637962}},
  };
  for (const ImpulseCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> got;
    if (c.up) {
      IIRUpsampler up;
      up.Design(c.grade, c.factor);
      for (double x : c.input) {
        const double* sub = up.Upsample(x);
        got.insert(got.end(), sub, sub + c.factor);
      }
    } else {
      IIRDownsampler down;
      down.Design(c.grade, c.factor);
      for (std::size_t i = 0; i < c.input.size(); i += static_cast<std::size_t>(c.factor)) {
        got.push_back(down.Downsample(&c.input[i]));
      }
    }
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-14) << "output " << i;
  }
}

// ---------------------------------------------------------------------------
// Cascades, measured

TEST(IIRResampler, UnityDcGainUpDownAndRoundTrip) {
  const double level = -0.6;
  for (int factor : {2, 4, 8, 16}) {
    for (const auto& [upGrade, downGrade] : {std::pair{kLqUp, kLqDown}, std::pair{kHqUp, kHqDown}}) {
      SCOPED_TRACE(std::to_string(upGrade.attenuationDb) + " dB x" + std::to_string(factor));
      IIRUpsampler up;
      up.Design(upGrade, factor);
      IIRDownsampler down;
      down.Design(downGrade, factor);
      IIRDownsampler downAlone;
      downAlone.Design(downGrade, factor);
      const std::vector<double> flat(static_cast<std::size_t>(factor), level);
      const double* sub = nullptr;
      double roundTrip = 0.0, alone = 0.0;
      for (int n = 0; n < 4096; ++n) {
        sub = up.Upsample(level);
        for (int j = 0; j < factor; ++j) down.Write(sub[j]);
        roundTrip = down.Downsample();
        alone = downAlone.Downsample(flat.data());
      }
      for (int j = 0; j < factor; ++j) EXPECT_NEAR(sub[j], level, 1e-12) << "sub-sample " << j;
      EXPECT_NEAR(alone, level, 1e-12);
      EXPECT_NEAR(roundTrip, level, 1e-12);
    }
  }
  IIRUpsampler link;
  link.Design(kIIRLinkDetectUp, 4);
  double peak = 0.0;
  for (int n = 0; n < 4096; ++n) peak = link.UpsamplePeak(level);
  EXPECT_NEAR(peak, -level, 1e-12);
}

// Base-rate frame of the tone tests: a window of kLength base samples after
// kSettle, with the tone on bin kToneBin (1/32 of the base rate), low enough
// to sit in every stage's passband and to put every image in the stopband of
// the stage that makes it.
constexpr long kLength = 1024;
constexpr long kSettle = 2048;
constexpr long kToneBin = 32;

// The expected target of the stage working between base rate * 2^s and
// 2^(s+1), counted from the base side. The bounds come from the table, not
// from the object, so a stage built in the wrong place cannot pass.
const StageRow& RowFromBase(const CascadeCase& c, int s) {
  return c.stages[static_cast<std::size_t>(c.up ? s : static_cast<int>(c.stages.size()) - 1 - s)];
}

const CascadeCase& FindCascade(const IIRCascadeGrade& grade, bool up, int factor) {
  for (const CascadeCase& c : kCascades) {
    if (c.grade.attenuationDb == grade.attenuationDb && c.up == up && c.factor == factor) return c;
  }
  ADD_FAILURE() << "no such cascade in the table";
  return kCascades.front();
}

// The tone at f0 must lie in the passband of stage s, whose images (at
// 2^s*fs +- f0) then fall into its stopband.
bool ToneFitsStage(const StageRow& stage, int s) {
  const double stageRateBins = static_cast<double>(kLength) * (2 << s);
  return kToneBin <= stageRateBins * (0.25 - stage.transition / 2.0);
}

TEST(IIRResampler, UpsamplerRejectsImagesAndKeepsTheTone) {
  for (const CascadeCase& c : kCascades) {
    if (!c.up) continue;
    SCOPED_TRACE(Name(c));
    IIRUpsampler up;
    up.Design(c.grade, c.factor);
    const int F = up.Factor();
    std::vector<double> y;
    y.reserve(static_cast<std::size_t>(F * (kSettle + kLength)));
    for (long n = 0; n < kSettle + kLength; ++n) {
      const double* sub = up.Upsample(Cosine(kToneBin, n, kLength));
      y.insert(y.end(), sub, sub + F);
    }
    const std::size_t start = static_cast<std::size_t>(F * kSettle);
    const long length = F * kLength;
    double passTolerance = 1e-12;
    for (int s = 0; s < static_cast<int>(c.stages.size()); ++s) {
      ASSERT_TRUE(ToneFitsStage(RowFromBase(c, s), s));
      passTolerance += StopbandPower(RowFromBase(c, s).attenuationDb);
    }
    EXPECT_NEAR(BinAmplitude(y, start, length, kToneBin), 1.0, passTolerance);
    for (int k = 1; k <= F / 2; ++k) {
      const double bound = StopbandGain(RowFromBase(c, TrailingZeros(k)).attenuationDb);
      for (long bin : {k * kLength - kToneBin, k * kLength + kToneBin}) {
        if (bin >= length / 2) continue;
        const double g = BinAmplitude(y, start, length, bin);
        EXPECT_LE(g, bound) << "image " << k << "*fs" << (bin < k * kLength ? "-" : "+") << "f0 at "
                            << 20 * std::log10(g) << " dB";
      }
    }
  }
}

TEST(IIRResampler, DownsamplerRejectsAliasesAndKeepsTheTone) {
  for (const CascadeCase& c : kCascades) {
    if (c.up) continue;
    SCOPED_TRACE(Name(c));
    const int F = c.factor;
    const long inLength = F * kLength;
    // Tones at k*fs -+ f0 all fold onto f0; k = 0 is the tone itself.
    for (int k = 0; k <= F / 2; ++k) {
      for (int sign : {-1, 1}) {
        const long bin = k * kLength + sign * kToneBin;
        if (bin < 0 || bin >= inLength / 2 || (k == 0 && sign < 0)) continue;
        IIRDownsampler down;
        down.Design(c.grade, F);
        std::vector<double> y;
        for (long n = 0; n < kSettle + kLength; ++n) {
          for (int j = 0; j < F; ++j) down.Write(Cosine(bin, n * F + j, inLength));
          y.push_back(down.Downsample());
        }
        const double g = BinAmplitude(y, static_cast<std::size_t>(kSettle), kLength, kToneBin);
        if (k == 0) {
          double tolerance = 1e-12;
          for (int s = 0; s < static_cast<int>(c.stages.size()); ++s) {
            ASSERT_TRUE(ToneFitsStage(RowFromBase(c, s), s));
            tolerance += StopbandPower(RowFromBase(c, s).attenuationDb);
          }
          EXPECT_NEAR(g, 1.0, tolerance);
        } else {
          const double bound = StopbandGain(RowFromBase(c, TrailingZeros(k)).attenuationDb);
          EXPECT_LE(g, bound) << "alias from " << k << "*fs" << (sign < 0 ? "-" : "+") << "f0 at "
                              << 20 * std::log10(g) << " dB";
        }
      }
    }
  }
}

TEST(IIRResampler, RoundTripIsFlatInThePassband) {
  for (int factor : {2, 4, 8, 16}) {
    for (const auto& [upGrade, downGrade] : {std::pair{kLqUp, kLqDown}, std::pair{kHqUp, kHqDown}}) {
      SCOPED_TRACE(std::to_string(upGrade.attenuationDb) + " dB x" + std::to_string(factor));
      IIRUpsampler up;
      up.Design(upGrade, factor);
      IIRDownsampler down;
      down.Design(downGrade, factor);
      // Passband losses of every stage, plus the images of the upsampler,
      // each rejected by both stages at its rate, folding back onto the tone.
      double tolerance = 1e-12;
      const CascadeCase& upRows = FindCascade(upGrade, true, factor);
      const CascadeCase& downRows = FindCascade(downGrade, false, factor);
      const int stages = static_cast<int>(upRows.stages.size());
      for (int s = 0; s < stages; ++s) {
        const double aUp = RowFromBase(upRows, s).attenuationDb;
        const double aDown = RowFromBase(downRows, s).attenuationDb;
        tolerance += StopbandPower(aUp) + StopbandPower(aDown) +
                     (1 << (stages - s)) * StopbandGain(aUp) * StopbandGain(aDown);
      }
      for (long bin : {1L, kToneBin, 4 * kToneBin}) {
        std::vector<double> y;
        for (long n = 0; n < kSettle + kLength; ++n) {
          const double* sub = up.Upsample(Cosine(bin, n, kLength));
          y.push_back(down.Downsample(sub));
        }
        EXPECT_NEAR(BinAmplitude(y, static_cast<std::size_t>(kSettle), kLength, bin), 1.0, tolerance)
            << "bin " << bin;
      }
    }
  }
}

TEST(IIRResampler, LinkDetectionFindsThePeakBetweenSamples) {
  // A quarter-rate sine at 45 degrees: every base sample sits at 0.707, the
  // wave itself reaches 1. Four sub-samples per sample see the wave every
  // 22.5 degrees, so at least cos(11.25 deg) of it whatever the filter's
  // phase, give or take the passband loss and the images.
  IIRUpsampler link;
  link.Design(kIIRLinkDetectUp, LinkDetectionFactor(44100.0));
  ASSERT_EQ(link.Factor(), 4);
  const double images = 2.0 * StopbandGain(48.0) + 4.0 * StopbandGain(36.0);
  double samplePeak = 0.0, detected = 0.0;
  for (int n = 0; n < 4096; ++n) {
    const double x = std::sin(kTwoPi * n / 4.0 + std::numbers::pi / 4.0);
    const double p = link.UpsamplePeak(x);
    if (n >= 2048) {
      samplePeak = std::max(samplePeak, std::fabs(x));
      detected = std::max(detected, p);
    }
  }
  EXPECT_NEAR(samplePeak, std::sqrt(0.5), 1e-12);
  EXPECT_GE(detected, std::cos(std::numbers::pi / 16.0) * (1.0 - StopbandPower(48.0)) - images);
  EXPECT_LE(detected, 1.0 + images);
}

// ---------------------------------------------------------------------------
// Reset, non-finite input, write count

std::vector<double> UpResponse(IIRUpsampler& up, int frames) {
  std::vector<double> out;
  for (int n = 0; n < frames; ++n) {
    const double* sub = up.Upsample(n == 0 ? 1.0 : 0.5 * std::sin(0.3 * n));
    out.insert(out.end(), sub, sub + up.Factor());
  }
  return out;
}

std::vector<double> DownResponse(IIRDownsampler& down, int frames) {
  std::vector<double> out;
  for (int n = 0; n < frames; ++n) {
    for (int j = 0; j < down.Factor(); ++j)
      down.Write(n == 0 && j == 0 ? 1.0 : 0.5 * std::sin(0.1 * (n + j)));
    out.push_back(down.Downsample());
  }
  return out;
}

TEST(IIRResampler, ResetReturnsToSilenceAndToAFreshState) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double poison : {0.9, nan, inf}) {
    SCOPED_TRACE(poison);
    IIRUpsampler up, freshUp;
    up.Design(kIIRMinimalHqUp, 8);
    freshUp.Design(kIIRMinimalHqUp, 8);
    IIRDownsampler down, freshDown;
    down.Design(kIIRMinimalHqDown, 8);
    freshDown.Design(kIIRMinimalHqDown, 8);
    for (int n = 0; n < 100; ++n) {
      up.Upsample(poison);
      for (int j = 0; j < 8; ++j) down.Write(poison);
      down.Downsample();
    }
    down.Write(poison);
    down.Write(poison);
    up.Reset();
    down.Reset();

    // Silence in, exact silence out: nothing of the old state is left.
    const double* sub = up.Upsample(0.0);
    for (int j = 0; j < 8; ++j) EXPECT_EQ(sub[j], 0.0);
    for (int j = 0; j < 8; ++j) down.Write(0.0);
    EXPECT_EQ(down.Downsample(), 0.0);

    // The same for a half-written frame, which must not shift the next frames.
    for (int j = 0; j < 3; ++j) down.Write(0.25);
    up.Reset();
    down.Reset();
    EXPECT_EQ(UpResponse(up, 64), UpResponse(freshUp, 64));
    EXPECT_EQ(DownResponse(down, 64), DownResponse(freshDown, 64));
  }
}

TEST(IIRResampler, RedesignStartsFromZeroState) {
  IIRUpsampler up, fresh;
  up.Design(kIIRMinimalLqUp, 4);
  UpResponse(up, 50);
  up.Design(kIIRMinimalHqUp, 8);
  fresh.Design(kIIRMinimalHqUp, 8);
  EXPECT_EQ(UpResponse(up, 64), UpResponse(fresh, 64));

  IIRDownsampler down, freshDown;
  down.Design(kIIRMinimalHqDown, 16);
  DownResponse(down, 50);
  down.Write(0.7);  // left half-written on purpose
  down.Design(kIIRMinimalLqDown, 4);
  freshDown.Design(kIIRMinimalLqDown, 4);
  EXPECT_EQ(DownResponse(down, 64), DownResponse(freshDown, 64));
}

TEST(IIRResampler, WriteCountingMatchesArrayInput) {
  IIRDownsampler counted, direct;
  counted.Design(kIIRMinimalLqDown, 4);
  direct.Design(kIIRMinimalLqDown, 4);
  // Extra writes beyond the factor are dropped; missing ones count as zero.
  const double frames[3][4] = {{0.1, -0.2, 0.3, 0.4}, {0.5, 0.0, 0.0, 0.0}, {-0.3, 0.2, 0.9, -0.8}};
  const int writes[3] = {4, 1, 4};
  for (int f = 0; f < 3; ++f) {
    for (int j = 0; j < writes[f]; ++j) counted.Write(frames[f][j]);
    if (f == 2) {
      counted.Write(7.0);
      counted.Write(-7.0);
    }
    EXPECT_EQ(counted.Downsample(), direct.Downsample(frames[f])) << "frame " << f;
  }
}

// ---------------------------------------------------------------------------
// Real time

TEST(IIRResampler, ProcessingNeverAllocates) {
  // The counter must be live, or the check below could not fail.
  if (!alloccount::AllocationCounterIsLive()) GTEST_SKIP() << "allocation counting is off in this build";

  IIRUpsampler ups[3];
  ups[0].Design(kIIRMinimalLqUp, 16);
  ups[1].Design(kIIRMinimalHqUp, 16);
  ups[2].Design(kIIRLinkDetectUp, 4);
  IIRDownsampler downs[2];
  downs[0].Design(kIIRMinimalLqDown, 16);
  downs[1].Design(kIIRMinimalHqDown, 16);
  double in[16] = {};
  double sink = 0.0;

  long allocations = 0;
  {
    alloccount::AllocationScope scope;
    for (int n = 0; n < 2000; ++n) {
      const double x = std::sin(0.01 * n);
      for (int u = 0; u < 2; ++u) {
        const double* sub = ups[u].Upsample(x);
        for (int j = 0; j < 16; ++j) downs[u].Write(sub[j]);
        sink += downs[u].Downsample();
        for (int j = 0; j < 16; ++j) in[j] = sub[j];
        sink += downs[u].Downsample(in);
      }
      sink += ups[2].UpsamplePeak(x);
    }
    for (auto& u : ups) u.Reset();
    for (auto& d : downs) d.Reset();
    allocations = scope.Count();
  }
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

}  // namespace
}  // namespace tessaro
