// Linear-phase half-band filters and resamplers: windows and taps against
// values worked out by hand (python) from the design formulas, the kernels
// against an exact reference, and delays and gains measured on the cascades.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/FIRHalfband.h"
#include "dsp/FIRKernels.h"
#include "dsp/TruePeak.h"
#include "tests/common/AllocationCounter.h"

namespace tessaro {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::string Isa(FIRKernelIsa isa) {
  switch (isa) {
    case FIRKernelIsa::kScalar:
      return "scalar";
    case FIRKernelIsa::kSSE2:
      return "SSE2";
    case FIRKernelIsa::kAVX2:
      return "AVX2";
  }
  return "?";
}

std::vector<FIRKernelIsa> SupportedKernels() {
  std::vector<FIRKernelIsa> out;
  for (FIRKernelIsa isa : {FIRKernelIsa::kScalar, FIRKernelIsa::kSSE2, FIRKernelIsa::kAVX2})
    if (FIRKernelSupported(isa)) out.push_back(isa);
  return out;
}

// ---------------------------------------------------------------------------
// Windows and taps

TEST(FIRDesign, BesselSeriesMatchesHandValues) {
  // 1 + sum_{m=1..9} ((x/2)^m/m!)^2 in python.
  EXPECT_NEAR(FIRBesselI0(0.0), 1.0, 1e-15);
  EXPECT_NEAR(FIRBesselI0(0.5), 1.0634833707413236, 1e-15);
  EXPECT_NEAR(FIRBesselI0(1.0), 1.2660658777520082, 1e-15);
  EXPECT_NEAR(FIRBesselI0(3.0), 4.8807925856077325, 1e-14);
}

struct WindowCase {
  FIRWindow window;
  int n;
  double beta;
  std::vector<double> expected;
};

TEST(FIRDesign, WindowsMatchHandValues) {
  const std::vector<WindowCase> cases = {
      {FIRWindow::kHann,
       9,
       0.0,
       {0.0, 0.1464466094067262, 0.5, 0.8535533905932737, 1.0, 0.8535533905932738, 0.5, 0.14644660940672632,
        0.0}},
      {FIRWindow::kKaiser,
       9,
       3.0,
       {0.20488475641205411, 0.4619773380972976, 0.7269255303230018, 0.9260586155935175, 1.0,
        0.9260586155935175, 0.7269255303230018, 0.4619773380972976, 0.20488475641205411}},
      {FIRWindow::kKaiser,
       7,
       1.0,
       {0.7898483148251121, 0.9034178325552761, 0.9753655209842454, 1.0, 0.9753655209842454,
        0.9034178325552761, 0.7898483148251121}},
  };
  for (const WindowCase& c : cases) {
    for (int i = 0; i < c.n; ++i)
      EXPECT_NEAR(FIRWindowValue(c.window, i, c.n, c.beta), c.expected[static_cast<std::size_t>(i)], 1e-15)
          << static_cast<int>(c.window) << " n=" << c.n << " i=" << i;
  }
}

struct TapCase {
  const char* name;
  double cutoff;
  int request;
  FIRWindow window;
  bool up;
  std::vector<double> expected;
};

TEST(FIRDesign, TapsMatchHandComputation) {
  const std::vector<TapCase> cases = {
      {"up Hann 0.245, 8 taps",
       0.245,
       8,
       FIRWindow::kHann,
       true,
       {0.0, -0.03056655063413066, 0.009873114075424802, 0.5365823840061844, 0.9682021051050435,
        0.5365823840061845, 0.009873114075424808, -0.03056655063413068, 0.0}},
      {"down Kaiser 0.28175, 16 taps",
       0.28175,
       16,
       FIRWindow::kKaiser,
       false,
       {0.008119153495890789, -0.002578055862403862, -0.02273076048939636, 0.020576780232871416,
        0.04126032954508907, -0.07328101973306059, -0.05704351101414007, 0.30497230840752143,
        0.5613995508352563, 0.30497230840752143, -0.05704351101414007, -0.07328101973306059,
        0.04126032954508907, 0.020576780232871416, -0.02273076048939636, -0.002578055862403862,
        0.008119153495890789}},
      // An odd request rounds up to even, a cutoff beyond a quarter is clamped for upsampling.
      {"up Kaiser 0.4 (clamped), 7 taps (rounded up)",
       0.4,
       7,
       FIRWindow::kKaiser,
       true,
       {0.0, -0.0988728299257124, 0.0, 0.594587840896654, 1.0085499780581169, 0.594587840896654, 0.0,
        -0.0988728299257124, 0.0}},
  };
  for (const TapCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<double> got = DesignFIRHalfbandTaps(c.cutoff, c.request, c.window, 3.0, c.up);
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-15) << "tap " << i;
  }
}

TEST(FIRDesign, TapCountsAreClampedAndOdd) {
  const std::vector<std::pair<int, int>> cases = {{-5, 3},  {0, 3},     {2, 3},     {3, 5},
                                                  {80, 81}, {253, 255}, {254, 255}, {1000, 255}};
  for (const auto& [request, count] : cases)
    EXPECT_EQ(DesignFIRHalfbandTaps(0.245, request, FIRWindow::kHann, 3.0, true).size(),
              static_cast<std::size_t>(count))
        << request;
}

struct ShapeCase {
  double cutoff;
  int request;
  FIRWindow window;
  double beta;
  bool up;
};

TEST(FIRDesign, SymmetricWithTheGainOfItsSide) {
  const std::vector<ShapeCase> cases = {
      {0.245, 80, FIRWindow::kHann, 3.0, true},   {0.245, 128, FIRWindow::kHann, 3.0, false},
      {0.245, 48, FIRWindow::kKaiser, 3.0, true}, {0.245, 64, FIRWindow::kKaiser, 3.0, false},
      {0.245, 64, FIRWindow::kHann, 1.0, true},   {0.3240125, 16, FIRWindow::kHann, 3.0, false},
      {0.25, 254, FIRWindow::kKaiser, 3.0, true}, {0.0, 16, FIRWindow::kHann, 3.0, true},
      {-1.0, 16, FIRWindow::kHann, 3.0, false},
  };
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.cutoff) + (c.up ? " up " : " down ") + std::to_string(c.request));
    const std::vector<double> h = DesignFIRHalfbandTaps(c.cutoff, c.request, c.window, c.beta, c.up);
    double sum = 0.0;
    for (std::size_t i = 0; i < h.size(); ++i) {
      ASSERT_TRUE(std::isfinite(h[i]));
      EXPECT_NEAR(h[i], h[h.size() - 1 - i], 1e-15) << "tap " << i;
      sum += h[i];
    }
    // Unit gain after the zero-stuffing halves the level; a hair under it.
    EXPECT_NEAR(sum, c.up ? 2.0 * 0.99999 : 0.99999, 1e-14);
  }
}

TEST(FIRDesign, QuarterCutoffIsHalfBand) {
  // At a quarter of the rate every other tap away from the centre is zero,
  // so phase 0 is nearly a pure delay and the input samples pass through.
  for (FIRWindow w : {FIRWindow::kHann, FIRWindow::kKaiser}) {
    for (int request : {16, 48, 80, 254}) {
      const std::vector<double> h = DesignFIRHalfbandTaps(0.25, request, w, 3.0, true);
      const int centre = static_cast<int>(h.size()) / 2;
      for (int i = 0; i < static_cast<int>(h.size()); ++i) {
        const int offset = i - centre;
        if (offset == 0) {
          EXPECT_GT(h[static_cast<std::size_t>(i)], 0.99);
        } else if (offset % 2 == 0) {
          // sin(pi * m) in floating point: zero up to rounding.
          EXPECT_LE(std::fabs(h[static_cast<std::size_t>(i)]), 1e-15) << "tap " << i << " of " << h.size();
        } else if (std::abs(offset) < centre) {
          EXPECT_GT(std::fabs(h[static_cast<std::size_t>(i)]), 1e-6) << "tap " << i << " of " << h.size();
        }
      }
    }
  }
  // Just below a quarter (the base-rate stages) the even offsets are no longer zero.
  const std::vector<double> h = DesignFIRHalfbandTaps(0.245, 80, FIRWindow::kHann, 3.0, true);
  EXPECT_GT(std::fabs(h[40 + 2]), 1e-3);
}

// ---------------------------------------------------------------------------
// Cascade structure

struct StageRow {
  double cutoff;
  int taps;
  double energy;  // sum of squared taps
  double centre;
  double next;  // the tap after the centre
};

struct GradeCase {
  const char* name;
  FIRCascadeGrade grade;
  bool up;
  std::vector<StageRow> stages;  // from the base rate, for factor 16
};

// From the design formulas in python (cutoff 0.245, then x1.15; taps
// max(16, previous * reduction) rounded up to even).
const std::vector<GradeCase> kGrades = {
    {"HQ up",
     kFIRLinearHqUp,
     true,
     {{0.245, 81, 1.9191887540597876, 0.9799868615240371, 0.635316362423948},
      {0.28175, 17, 1.7907149892397598, 0.9984715387279909, 0.611453860817646},
      {0.3240125, 17, 1.7907149892397598, 0.9984715387279909, 0.611453860817646},
      {0.372614375, 17, 1.7907149892397598, 0.9984715387279909, 0.611453860817646}}},
    {"HQ down",
     kFIRLinearHqDown,
     false,
     {{0.245, 129, 0.4836230139117921, 0.48999581071367115, 0.31795848653806724},
      {0.28175, 17, 0.5123225298518704, 0.5633749142433861, 0.3000557196682154},
      {0.3240125, 17, 0.5978059352350832, 0.6484208101769655, 0.27384609684724026},
      {0.372614375, 17, 0.6937583683956035, 0.7449476696891182, 0.21965057129422508}}},
    {"LQ up",
     kFIRLinearLqUp,
     true,
     {{0.245, 49, 1.9255220073522141, 0.9833685600248293, 0.6371470154579272},
      {0.28175, 17, 1.883785683530857, 1.0071664590438583, 0.6290906022543292},
      {0.3240125, 17, 1.883785683530857, 1.0071664590438583, 0.6290906022543292},
      {0.372614375, 17, 1.883785683530857, 1.0071664590438583, 0.6290906022543292}}},
    {"LQ down",
     kFIRLinearLqDown,
     false,
     {{0.245, 65, 0.48350359840815654, 0.49123967207250635, 0.3185794414060647},
      {0.28175, 17, 0.5238639598264614, 0.5613995508352563, 0.30497230840752143},
      {0.3240125, 17, 0.610510201542394, 0.6470713251667642, 0.27873127849580126},
      {0.372614375, 17, 0.71484447769731, 0.7480270589869155, 0.2249613040885789}}},
    {"true peak",
     kFIRTruePeakUp,
     true,
     {{0.245, 65, 1.9089651143551956, 0.9799781430823831, 0.6347594888120452},
      {0.28175, 17, 1.7907149892397598, 0.9984715387279909, 0.611453860817646},
      {0.3240125, 17, 1.7907149892397598, 0.9984715387279909, 0.611453860817646},
      {0.372614375, 17, 1.7907149892397598, 0.9984715387279909, 0.611453860817646}}},
};

void CheckStages(const FIRResamplerBase& r, const GradeCase& c, int factor) {
  int stages = 0;
  while ((2 << stages) <= factor) ++stages;
  ASSERT_EQ(r.Factor(), 1 << stages);
  ASSERT_EQ(r.NumStages(), stages);
  EXPECT_EQ(r.Precision(), c.grade.precision);
  for (int i = 0; i < stages; ++i) {
    const StageRow& row = c.stages[static_cast<std::size_t>(i)];
    const FIRHalfbandStage& s = r.Stage(i);
    EXPECT_NEAR(s.Cutoff(), row.cutoff, 1e-15) << "stage " << i;
    ASSERT_EQ(s.NumTaps(), row.taps) << "stage " << i;
    double energy = 0.0;
    for (double v : s.Taps()) energy += v * v;
    EXPECT_NEAR(energy, row.energy, 1e-13) << "stage " << i;
    EXPECT_NEAR(s.Taps()[static_cast<std::size_t>(row.taps / 2)], row.centre, 1e-14) << "stage " << i;
    EXPECT_NEAR(s.Taps()[static_cast<std::size_t>(row.taps / 2 + 1)], row.next, 1e-14) << "stage " << i;
    // The phases are the even and the odd taps.
    const std::vector<double> p0 = s.Phase(0), p1 = s.Phase(1);
    ASSERT_EQ(p0.size(), static_cast<std::size_t>(row.taps / 2 + 1));
    ASSERT_EQ(p1.size(), static_cast<std::size_t>(row.taps / 2));
    EXPECT_EQ(p0[1], s.Taps()[2]);
    EXPECT_EQ(p1[1], s.Taps()[3]);
  }
  EXPECT_EQ(r.Stage(-1).NumTaps(), 0);
  EXPECT_EQ(r.Stage(stages).NumTaps(), 0);
}

TEST(FIRResampler, StageDesignsPerGradeAndFactor) {
  for (const GradeCase& c : kGrades) {
    for (int factor : {1, 2, 3, 4, 8, 16}) {
      SCOPED_TRACE(std::string(c.name) + " x" + std::to_string(factor));
      if (c.up) {
        FIRUpsampler up;
        up.Design(c.grade, factor);
        CheckStages(up, c, factor);
      } else {
        FIRDownsampler down;
        down.Design(c.grade, factor);
        CheckStages(down, c, factor);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Latency

struct LatencyCase {
  FIRCascadeGrade up, down;
  int factor;
  int latency;
};

// 2X: Cu = (40 - 1)/2 = 19 -> 20 and D = (64 - 1)/2 = 31 -> 32 for HQ; 11 -> 12
// and 15 -> 16 for LQ; then + 2 stages each side at 4X, 3 at 8X, 4 at 16X less 1.
const std::vector<LatencyCase> kLatencies = {
    {kFIRLinearHqUp, kFIRLinearHqDown, 2, 52}, {kFIRLinearHqUp, kFIRLinearHqDown, 4, 56},
    {kFIRLinearHqUp, kFIRLinearHqDown, 8, 58}, {kFIRLinearHqUp, kFIRLinearHqDown, 16, 59},
    {kFIRLinearLqUp, kFIRLinearLqDown, 2, 28}, {kFIRLinearLqUp, kFIRLinearLqDown, 4, 32},
    {kFIRLinearLqUp, kFIRLinearLqDown, 8, 34}, {kFIRLinearLqUp, kFIRLinearLqDown, 16, 35},
};

TEST(FIRResampler, LatencyPartByGradeAndRate) {
  for (const LatencyCase& c : kLatencies) {
    FIRUpsampler up;
    up.Design(c.up, c.factor);
    FIRDownsampler down;
    down.Design(c.down, c.factor);
    EXPECT_EQ(FIRLatencySamples(up, down), c.latency) << "x" << c.factor;
    EXPECT_EQ(up.LatencySamples() + down.LatencySamples(), c.latency) << "x" << c.factor;
  }
  FIRUpsampler up;
  up.Design(kFIRLinearHqUp, 1);
  FIRDownsampler down;
  down.Design(kFIRLinearHqDown, 1);
  EXPECT_EQ(FIRLatencySamples(up, down), 0);
  EXPECT_EQ(up.LatencySamples() + down.LatencySamples(), 0);
}

// Base-rate response of up-then-down to `input`.
std::vector<double> RoundTrip(FIRUpsampler& up, FIRDownsampler& down, const std::vector<double>& input) {
  std::vector<double> y;
  for (double x : input) {
    const double* sub = up.Upsample(x);
    for (int j = 0; j < up.Factor(); ++j) down.Write(sub[j]);
    y.push_back(down.Downsample());
  }
  return y;
}

TEST(FIRResampler, MeasuredDelayEqualsTheLatencyPart) {
  for (const LatencyCase& c : kLatencies) {
    for (FIRKernelIsa isa : SupportedKernels()) {
      SCOPED_TRACE(std::string(c.up.precision == FIRPrecision::kDouble ? "HQ" : "LQ") + " x" +
                   std::to_string(c.factor) + " " + Isa(isa));
      FIRUpsampler up;
      up.Design(c.up, c.factor);
      up.UseKernel(isa);
      FIRDownsampler down;
      down.Design(c.down, c.factor);
      down.UseKernel(isa);
      const int L = c.latency;
      std::vector<double> impulse(256, 0.0);
      impulse[0] = 1.0;
      const std::vector<double> h = RoundTrip(up, down, impulse);

      // Linear phase: the response is symmetric about its delay, and peaks there.
      const double tolerance = c.up.precision == FIRPrecision::kDouble ? 1e-15 : 1e-6;
      for (int k = 1; k <= L; ++k)
        EXPECT_NEAR(h[static_cast<std::size_t>(L - k)], h[static_cast<std::size_t>(L + k)], tolerance)
            << "lag " << k;
      int peak = 0;
      for (int n = 0; n < static_cast<int>(h.size()); ++n)
        if (std::fabs(h[static_cast<std::size_t>(n)]) > std::fabs(h[static_cast<std::size_t>(peak)]))
          peak = n;
      EXPECT_EQ(peak, L);
      for (int n = 2 * L + 1; n < static_cast<int>(h.size()); ++n)
        EXPECT_EQ(h[static_cast<std::size_t>(n)], 0.0) << "beyond the filters, at " << n;

      // A band-limited pulse comes out with its centroid moved by exactly L.
      up.Reset();
      down.Reset();
      std::vector<double> pulse(400, 0.0);
      const double centre = 40.0;
      for (int n = 24; n <= 56; ++n)
        pulse[static_cast<std::size_t>(n)] = 0.5 + 0.5 * std::cos(kTwoPi * (n - centre) / 32.0);
      const std::vector<double> y = RoundTrip(up, down, pulse);
      double moment = 0.0, mass = 0.0;
      for (std::size_t n = 0; n < y.size(); ++n) {
        moment += static_cast<double>(n) * y[n];
        mass += y[n];
      }
      EXPECT_NEAR(moment / mass - centre, L, 1e-6);
    }
  }
}

// ---------------------------------------------------------------------------
// Gains

TEST(FIRResampler, DcGainIsUnityUpToThePhaseRipple) {
  // Steady-state outputs for a unit constant, from zero-stuffing and full
  // convolution in python. The sub-samples differ because the phases of a
  // stage do not sum to exactly 1 each: a little of the DC leaks into the
  // images at multiples of fs.
  struct Case {
    FIRCascadeGrade grade;
    int factor;
    std::vector<double> expected;
  };
  const std::vector<Case> cases = {
      {kFIRLinearHqUp, 2, {0.9999858994398665, 0.9999941005601333}},
      {kFIRLinearHqUp, 4, {0.9984574597200174, 1.0014984461873968, 0.9984656483051895, 1.001498446187397}},
      {kFIRLinearHqUp,
       8,
       {0.9969313561610867, 1.0014855027960106, 0.999967694598422, 1.0014913596098596, 0.9969395322303235,
        1.0014913596098598, 0.9999676945984223, 1.001485502796011}},
      {kFIRLinearHqUp,
       16,
       {0.9954157487647746, 1.0003977916515783, 0.9999606188524444, 1.0025643969320366, 0.9984392827039683,
        1.0025612262567685, 0.9999547709905088, 1.0003902504341111, 0.995407585192343, 1.000390250434111,
        0.9999547709905083, 1.0025612262567682, 0.9984392827039681, 1.0025643969320361, 0.9999606188524441,
        1.0003977916515783}},
      {kFIRLinearLqUp, 2, {1.0004360906768524, 0.9995439093231473}},
      {kFIRLinearLqUp, 4, {1.0076056749466857, 0.9928036128207325, 1.0067070998118497, 0.9928036128207324}},
      {kFIRLinearLqUp,
       8,
       {1.0148266397485504, 0.9931089408199635, 0.9999184992506068, 0.9924784287492456, 1.0139216250118126,
        0.9924784287492457, 0.9999184992506067, 0.9931089408199635}},
      {kFIRLinearLqUp,
       16,
       {1.021187852811142, 0.9974300232652424, 0.99959098476079, 0.9875394868621091, 1.0070843742226825,
        0.9878848002686828, 1.0002260153704392, 0.9982807169949937, 1.0220993532989247, 0.9982807169949935,
        1.0002260153704392, 0.9878848002686828, 1.0070843742226825, 0.987539486862109, 0.9995909847607899,
        0.9974300232652422}},
      {kFIRTruePeakUp, 2, {0.9999767746453841, 1.0000032253546167}},
      {kFIRTruePeakUp, 4, {0.9984483488724301, 1.0014984461873975, 0.998474759152778, 1.0014984461873977}},
      {kFIRTruePeakUp,
       8,
       {0.9969222592390771, 1.0014789863420446, 0.9999676945984227, 1.0014978760638271, 0.9969486291523343,
        1.0014978760638273, 0.9999676945984229, 1.0014789863420448}},
      {kFIRTruePeakUp,
       16,
       {0.9954248317824924, 1.0004061822198551, 0.9999671253462644, 1.0025679247135173, 0.998439282703969,
        1.002557698475289, 0.99994826449669, 1.0003818598658358, 0.9953985021746263, 1.0003818598658356,
        0.9999482644966898, 1.0025576984752889, 0.9984392827039688, 1.0025679247135173, 0.9999671253462642,
        1.000406182219855}},
  };
  const double level = -0.6;
  for (const Case& c : cases) {
    FIRUpsampler up;
    up.Design(c.grade, c.factor);
    const double* sub = nullptr;
    for (int n = 0; n < 200; ++n) sub = up.Upsample(level);
    const double tolerance = c.grade.precision == FIRPrecision::kDouble ? 1e-12 : 2e-6;
    double mean = 0.0;
    for (int j = 0; j < c.factor; ++j) {
      EXPECT_NEAR(sub[j], level * c.expected[static_cast<std::size_t>(j)], tolerance)
          << "x" << c.factor << " sub-sample " << j;
      mean += sub[j] / c.factor;
    }
    // On average over a frame the gain is 0.99999 per stage.
    EXPECT_NEAR(mean, level * std::pow(0.99999, up.NumStages()), 10.0 * tolerance) << "x" << c.factor;
  }
  // Downsampling keeps the full tap sum, 0.99999 per stage.
  for (const FIRCascadeGrade& grade : {kFIRLinearHqDown, kFIRLinearLqDown}) {
    for (int factor : {2, 4, 8, 16}) {
      FIRDownsampler down;
      down.Design(grade, factor);
      const std::vector<double> flat(static_cast<std::size_t>(factor), level);
      double y = 0.0;
      for (int n = 0; n < 200; ++n) y = down.Downsample(flat.data());
      const double tolerance = grade.precision == FIRPrecision::kDouble ? 1e-12 : 2e-6;
      EXPECT_NEAR(y, level * std::pow(0.99999, down.NumStages()), tolerance) << "x" << factor;
    }
  }
}

// Amplitude of the component at `bin` of `y[start, start + length)`.
double BinAmplitude(const std::vector<double>& y, std::size_t start, long length, long bin) {
  double re = 0.0, im = 0.0;
  for (long n = 0; n < length; ++n) {
    const double phase = kTwoPi * static_cast<double>((bin * n) % length) / static_cast<double>(length);
    re += y[start + static_cast<std::size_t>(n)] * std::cos(phase);
    im -= y[start + static_cast<std::size_t>(n)] * std::sin(phase);
  }
  return 2.0 * std::hypot(re, im) / static_cast<double>(length);
}

TEST(FIRResampler, ToneGainsMatchTheFrequencyResponse) {
  // A tone at fs/16, inside every passband. Expected gains: the product of the
  // stages' responses at the tone, |sum h[k] e^(-i 2 pi f k)| (halved for the
  // upsampler's zero-stuffing), in python. The image at fs - f0 must stay
  // below -40 dB: both windows reach about -44 dB in the stopband.
  struct Case {
    LatencyCase pair;
    double upGain, downGain;
  };
  const std::vector<Case> cases = {
      {kLatencies[0], 0.9999812494688542, 0.9999898426628668},
      {kLatencies[1], 0.9994856017971924, 1.0000569697858894},
      {kLatencies[2], 0.9993506774400734, 1.0000843581605172},
      {kLatencies[3], 0.9993092308103905, 1.0000666070357467},
      {kLatencies[4], 1.0029681582612926, 0.9999807215519995},
      {kLatencies[5], 1.0054223663107769, 0.9984718326295418},
      {kLatencies[6], 1.0060569684941951, 0.998369246960761},
      {kLatencies[7], 1.006209901372392, 0.9984400539100977},
  };
  const long length = 1024, bin = 64, settle = 256;
  for (const Case& k : cases) {
    const LatencyCase& c = k.pair;
    SCOPED_TRACE(std::string(c.up.precision == FIRPrecision::kDouble ? "HQ" : "LQ") + " x" +
                 std::to_string(c.factor));
    const double tolerance = c.up.precision == FIRPrecision::kDouble ? 1e-9 : 2e-6;
    FIRUpsampler up;
    up.Design(c.up, c.factor);
    FIRDownsampler down, downAlone;
    down.Design(c.down, c.factor);
    downAlone.Design(c.down, c.factor);
    std::vector<double> y, alone, sub;
    std::vector<double> frame(static_cast<std::size_t>(c.factor));
    const long subLength = length * c.factor;
    for (long n = 0; n < settle + length; ++n) {
      const double x = std::cos(kTwoPi * static_cast<double>((bin * n) % length) / length);
      const double* s = up.Upsample(x);
      if (n >= settle) sub.insert(sub.end(), s, s + c.factor);
      y.push_back(down.Downsample(s));
      for (int j = 0; j < c.factor; ++j) {
        const long m = n * c.factor + j;
        frame[static_cast<std::size_t>(j)] =
            std::cos(kTwoPi * static_cast<double>((bin * m) % subLength) / subLength);
      }
      alone.push_back(downAlone.Downsample(frame.data()));
    }
    EXPECT_NEAR(BinAmplitude(sub, 0, subLength, bin), k.upGain, tolerance);
    EXPECT_LT(BinAmplitude(sub, 0, subLength, length - bin), 0.01);
    EXPECT_NEAR(BinAmplitude(alone, static_cast<std::size_t>(settle), length, bin), k.downGain, tolerance);
    EXPECT_NEAR(BinAmplitude(y, static_cast<std::size_t>(settle), length, bin), k.upGain * k.downGain,
                tolerance + 0.01 * 0.01);
  }
}

// ---------------------------------------------------------------------------
// Kernels

// n-term dot products in floating point with unit roundoff u stay within
// gamma_n * sum |a_i b_i| of the exact value, gamma_n = n u / (1 - n u), in any
// summation order and with or without fused multiply-adds. So every kernel is
// checked against a reference of higher precision with that bound, and any two
// kernels agree within twice it.
template <typename T>
double Gamma(int n) {
  const double u = std::numeric_limits<T>::epsilon() / 2.0;
  return n * u / (1.0 - n * u);
}

TEST(FIRKernels, AgreeWithTheExactSumWithinTheRoundingBound) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  const auto kernels = SupportedKernels();
  ASSERT_TRUE(FIRKernelSupported(FIRKernelIsa::kSSE2));
  for (int n : {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 41, 49, 65, 81, 129, 255}) {
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<double> a(static_cast<std::size_t>(n)), b(static_cast<std::size_t>(n));
      std::vector<float> af(static_cast<std::size_t>(n)), bf(static_cast<std::size_t>(n));
      long double exact = 0.0L;
      double exactF = 0.0, absSum = 0.0, absSumF = 0.0;
      for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = dist(rng);
        b[i] = dist(rng) * (trial % 2 ? 1e3 : 1.0);
        af[i] = static_cast<float>(a[i]);
        bf[i] = static_cast<float>(b[i]);
        exact += static_cast<long double>(a[i]) * b[i];
        absSum += std::fabs(a[i] * b[i]);
        // float * float is exact in double; the sum of up to 255 of them rounds far below float's bound.
        exactF += static_cast<double>(af[i]) * bf[i];
        absSumF += std::fabs(static_cast<double>(af[i]) * bf[i]);
      }
      const double boundD = Gamma<double>(n) * absSum + std::numeric_limits<double>::denorm_min();
      const double boundF = Gamma<float>(n) * absSumF + 1e-300;
      std::vector<double> gotD;
      std::vector<double> gotF;
      for (FIRKernelIsa isa : kernels) {
        const double d = FIRDotKernelDouble(isa)(a.data(), b.data(), n);
        const double f = FIRDotKernelFloat(isa)(af.data(), bf.data(), n);
        EXPECT_LE(std::fabs(d - static_cast<double>(exact)), boundD) << Isa(isa) << " n=" << n;
        EXPECT_LE(std::fabs(f - exactF), boundF) << Isa(isa) << " n=" << n;
        gotD.push_back(d);
        gotF.push_back(f);
      }
      for (std::size_t k = 1; k < gotD.size(); ++k) {
        EXPECT_LE(std::fabs(gotD[k] - gotD[0]), 2.0 * boundD) << Isa(kernels[k]) << " n=" << n;
        EXPECT_LE(std::fabs(gotF[k] - gotF[0]), 2.0 * boundF) << Isa(kernels[k]) << " n=" << n;
      }
    }
  }
}

TEST(FIRKernels, UnalignedWindowsAndExactSums) {
  // Small integers multiply and add exactly, so every kernel must give the exact
  // sum whatever the alignment of its pointers and the length of its tail.
  std::vector<double> a(300), b(300);
  std::vector<float> af(300), bf(300);
  for (int i = 0; i < 300; ++i) {
    a[static_cast<std::size_t>(i)] = af[static_cast<std::size_t>(i)] = static_cast<float>((i * 7) % 13 - 6);
    b[static_cast<std::size_t>(i)] = bf[static_cast<std::size_t>(i)] = static_cast<float>((i * 5) % 11 - 5);
  }
  for (FIRKernelIsa isa : SupportedKernels()) {
    for (int offset = 0; offset < 9; ++offset) {
      for (int n : {0, 1, 6, 17, 65, 255}) {
        double expected = 0.0;
        for (int i = 0; i < n; ++i)
          expected += a[static_cast<std::size_t>(offset + i)] * b[static_cast<std::size_t>(i + 3)];
        EXPECT_EQ(FIRDotKernelDouble(isa)(a.data() + offset, b.data() + 3, n), expected) << Isa(isa);
        EXPECT_EQ(FIRDotKernelFloat(isa)(af.data() + offset, bf.data() + 3, n), static_cast<float>(expected))
            << Isa(isa);
      }
    }
  }
}

TEST(FIRKernels, SelectionFollowsTheProcessor) {
  EXPECT_TRUE(FIRKernelSupported(FIRKernelIsa::kScalar));
  EXPECT_TRUE(FIRKernelSupported(FIRKernelIsa::kSSE2));
  const bool avx = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  EXPECT_EQ(FIRKernelSupported(FIRKernelIsa::kAVX2), avx);
  EXPECT_EQ(FIRBestKernel(), avx ? FIRKernelIsa::kAVX2 : FIRKernelIsa::kSSE2);
  FIRUpsampler up;
  up.Design(kFIRLinearHqUp, 4);
  for (int i = 0; i < up.NumStages(); ++i) EXPECT_EQ(up.Stage(i).Kernel(), FIRBestKernel());
  up.UseKernel(FIRKernelIsa::kScalar);
  for (int i = 0; i < up.NumStages(); ++i) EXPECT_EQ(up.Stage(i).Kernel(), FIRKernelIsa::kScalar);
}

TEST(FIRKernels, CascadesAgreeAcrossKernels) {
  // Whole cascades differ between kernels by rounding only: a few units of
  // the rounding bound of the longest stage per stage and sample.
  const std::vector<FIRKernelIsa> kernels = SupportedKernels();
  for (const LatencyCase& c : kLatencies) {
    std::vector<std::vector<double>> outs;
    for (FIRKernelIsa isa : kernels) {
      FIRUpsampler up;
      up.Design(c.up, c.factor);
      up.UseKernel(isa);
      FIRDownsampler down;
      down.Design(c.down, c.factor);
      down.UseKernel(isa);
      std::vector<double> in(300);
      for (std::size_t n = 0; n < in.size(); ++n) in[n] = 0.9 * std::sin(0.37 * n) * std::cos(0.011 * n);
      outs.push_back(RoundTrip(up, down, in));
    }
    const bool single = c.up.precision == FIRPrecision::kSingle;
    const double bound = 16.0 * (single ? Gamma<float>(129) : Gamma<double>(129));
    for (std::size_t k = 1; k < outs.size(); ++k)
      for (std::size_t n = 0; n < outs[0].size(); ++n)
        ASSERT_NEAR(outs[k][n], outs[0][n], bound) << Isa(kernels[k]) << " x" << c.factor << " at " << n;
  }
}

// ---------------------------------------------------------------------------
// Reset, non-finite input, write count

TEST(FIRResampler, ResetAndRedesignStartFromSilence) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> probe(120, 0.0);
  probe[0] = 1.0;
  for (std::size_t n = 1; n < probe.size(); ++n) probe[n] = 0.5 * std::sin(0.3 * n);
  for (const LatencyCase& c : kLatencies) {
    for (double poison : {0.9, nan, inf, 1e-310}) {
      SCOPED_TRACE("x" + std::to_string(c.factor) + " poison " + std::to_string(poison));
      FIRUpsampler up, freshUp;
      FIRDownsampler down, freshDown;
      up.Design(c.up, c.factor);
      down.Design(c.down, c.factor);
      freshUp.Design(c.up, c.factor);
      freshDown.Design(c.down, c.factor);
      for (int n = 0; n < 50; ++n) {
        up.Upsample(poison);
        for (int j = 0; j < c.factor; ++j) down.Write(poison);
        down.Downsample();
      }
      down.Write(poison);  // left half-written on purpose
      up.Reset();
      down.Reset();
      EXPECT_EQ(RoundTrip(up, down, probe), RoundTrip(freshUp, freshDown, probe));
    }
  }
  FIRUpsampler up, fresh;
  up.Design(kFIRLinearLqUp, 4);
  for (int n = 0; n < 30; ++n) up.Upsample(0.7);
  up.Design(kFIRLinearHqUp, 8);
  fresh.Design(kFIRLinearHqUp, 8);
  for (int n = 0; n < 100; ++n) {
    const double x = std::sin(0.2 * n);
    const double* a = up.Upsample(x);
    const double* b = fresh.Upsample(x);
    for (int j = 0; j < 8; ++j) ASSERT_EQ(a[j], b[j]);
  }
}

TEST(FIRResampler, WriteCountingMatchesArrayInput) {
  FIRDownsampler counted, direct;
  counted.Design(kFIRLinearHqDown, 4);
  direct.Design(kFIRLinearHqDown, 4);
  // Extra writes beyond the factor are dropped; missing ones count as zero.
  const double frames[3][4] = {{0.1, -0.2, 0.3, 0.4}, {0.5, 0.0, 0.0, 0.0}, {-0.3, 0.2, 0.9, -0.8}};
  const int writes[3] = {4, 1, 4};
  for (int n = 0; n < 40; ++n) {
    const int f = n % 3;
    for (int j = 0; j < writes[f]; ++j) counted.Write(frames[f][j]);
    if (f == 2) {
      counted.Write(7.0);
      counted.Write(-7.0);
    }
    EXPECT_EQ(counted.Downsample(), direct.Downsample(frames[f])) << "frame " << n;
  }
}

TEST(FIRResampler, FactorOnePassesThrough) {
  for (const FIRCascadeGrade& g : {kFIRLinearHqUp, kFIRLinearLqUp}) {
    FIRUpsampler up;
    up.Design(g, 1);
    EXPECT_EQ(up.Upsample(0.1)[0], 0.1);  // not even rounded to single precision
  }
  for (const FIRCascadeGrade& g : {kFIRLinearHqDown, kFIRLinearLqDown}) {
    FIRDownsampler down;
    down.Design(g, 0);
    down.Write(0.1);
    EXPECT_EQ(down.Downsample(), 0.1);
  }
}

// ---------------------------------------------------------------------------
// Real time

TEST(FIRResampler, ProcessingNeverAllocates) {
  if (!alloccount::AllocationCounterIsLive())
    GTEST_SKIP() << "allocation counter not available in this build";
  FIRUpsampler ups[3];
  ups[0].Design(kFIRLinearHqUp, 16);
  ups[1].Design(kFIRLinearLqUp, 16);
  ups[2].Design(kFIRTruePeakUp, 4);
  FIRDownsampler downs[2];
  downs[0].Design(kFIRLinearHqDown, 16);
  downs[1].Design(kFIRLinearLqDown, 16);
  double sink = 0.0;
  long count = 0;
  {
    alloccount::AllocationScope scope;
    for (int n = 0; n < 2000; ++n) {
      const double x = std::sin(0.01 * n);
      for (int u = 0; u < 2; ++u) {
        const double* sub = ups[u].Upsample(x);
        for (int j = 0; j < 16; ++j) downs[u].Write(sub[j]);
        sink += downs[u].Downsample();
        sink += downs[u].Downsample(sub);
      }
      sink += ups[2].UpsamplePeak(x);
    }
    for (auto& u : ups) u.Reset();
    for (auto& d : downs) d.Reset();
    for (auto& u : ups) u.UseKernel(FIRKernelIsa::kScalar);
    count = scope.Count();
  }
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

}  // namespace
}  // namespace tessaro
