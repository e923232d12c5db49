// True-peak detection and the ISP latency part: readings against a python
// simulation of the detection filters, delays measured on impulses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/FIRHalfband.h"
#include "dsp/TruePeak.h"
#include "tests/common/AllocationCounter.h"

namespace tessaro {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(TruePeak, FactorFollowsTheCoreRate) {
  EXPECT_EQ(TruePeakFactor(44100.0), 4);
  EXPECT_EQ(TruePeakFactor(48000.0), 4);
  EXPECT_EQ(TruePeakFactor(48999.0), 4);
  EXPECT_EQ(TruePeakFactor(49000.0), 2);
  EXPECT_EQ(TruePeakFactor(88200.0), 2);
  TruePeakDetector d;
  d.Design(48000.0);
  EXPECT_EQ(d.Factor(), 4);
  EXPECT_EQ(d.Upsampler().Stage(0).NumTaps(), 65);
  EXPECT_EQ(d.Upsampler().Precision(), FIRPrecision::kSingle);
  d.Design(96000.0);
  EXPECT_EQ(d.Factor(), 2);
}

// Largest detector reading over the second half of `frames` samples of a
// quarter-rate sine starting at `phaseDeg`, and the largest sample magnitude.
std::pair<double, double> QuarterRateSine(TruePeakDetector& d, double phaseDeg, int frames = 400) {
  double reading = 0.0, sample = 0.0;
  for (int n = 0; n < frames; ++n) {
    const double x = std::sin(2.0 * kPi * n / 4.0 + phaseDeg * kPi / 180.0);
    const double r = d.Process(x);
    if (n >= frames / 2) {
      reading = std::max(reading, r);
      sample = std::max(sample, std::fabs(x));
    }
  }
  return {reading, sample};
}

TEST(TruePeak, QuarterRateSineReadsItsTruePeak) {
  // Expected readings: the same filters by zero-stuffing and full convolution
  // in python (double precision); ours run in single precision.
  struct Case {
    double coreRate;
    double phaseDeg;
    double expected;
  };
  const std::vector<Case> cases = {
      {44100.0, 45.0, 0.9985555736081598}, {44100.0, 0.0, 0.9984417389234558},
      {44100.0, 22.5, 0.9940866033220962}, {44100.0, 10.0, 0.9832731654228273},
      {96000.0, 45.0, 1.000084163520851},  {96000.0, 0.0, 0.9999701545778931},
      {96000.0, 22.5, 0.9239572894656022}, {96000.0, 10.0, 0.9847783610091424},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.coreRate) + " Hz, " + std::to_string(c.phaseDeg) + " deg");
    TruePeakDetector d;
    d.Design(c.coreRate);
    const auto [reading, sample] = QuarterRateSine(d, c.phaseDeg);
    EXPECT_NEAR(reading, c.expected, 2e-6);
    // Whatever the phase, F sub-samples per sample see the wave at least every
    // 90/F degrees, so they read at least cos(45/F deg) of it, less the small
    // passband loss of the filters.
    EXPECT_GE(reading, std::cos(kPi / 4.0 / d.Factor()) * 0.995);
    EXPECT_LE(reading, 1.0 + 1e-3);
    if (c.phaseDeg == 45.0) {
      // Every sample sits at 0.707: the true peak is 3 dB above the sample peak.
      EXPECT_NEAR(sample, std::sqrt(0.5), 1e-12);
      EXPECT_NEAR(20.0 * std::log10(reading / sample), 20.0 * std::log10(std::sqrt(2.0)), 0.02);
    }
  }
}

TEST(TruePeak, IspDelayLengthByRate) {
  struct Case {
    double fs;
    int oversampling;
    int length;  // Lisp; the latency part is one less
  };
  // 1 ms rounded + (32 - 1)/2 = 15 -> 16 + the detector's 2 stages when it runs at 4x.
  const std::vector<Case> cases = {
      {44100.0, 1, 62},  {48000.0, 1, 66},  {96000.0, 1, 112}, {44100.0, 2, 60},
      {44100.0, 16, 60}, {88200.0, 1, 104}, {22050.0, 1, 40},
  };
  for (const Case& c : cases) {
    TruePeakDetector d;
    d.Design(c.fs * c.oversampling);
    EXPECT_EQ(IspDelayLength(c.fs, d.Upsampler()), c.length) << c.fs << " x" << c.oversampling;
  }
  EXPECT_EQ(IspDelayLength(44100.0, 32, 2), 62);
  EXPECT_EQ(IspDelayLength(44100.0, 32, 1), 60);
  EXPECT_EQ(IspDelayLength(44100.4, 32, 1), 60);
  EXPECT_EQ(IspDelayLength(44600.0, 32, 1), 61);  // 44.6 rounds up
  EXPECT_EQ(IspDelayLength(44100.0, 30, 1), 58);  // 29/2 = 14, already even
}

TEST(TruePeak, DetectorDelayIsTheIspLengthLessItsMillisecond) {
  // The ISP lines delay the audio by Lisp - 1: one millisecond of hold margin
  // less one sample, plus exactly the detector's own delay, which is what
  // lines the detected peaks up with the audio.
  for (double rate : {44100.0, 96000.0}) {
    FIRUpsampler up;
    up.Design(kFIRTruePeakUp, TruePeakFactor(rate));
    const int F = up.Factor();
    std::vector<double> sub;
    for (int n = 0; n < 64; ++n) {
      const double* s = up.Upsample(n == 0 ? 1.0 : 0.0);
      sub.insert(sub.end(), s, s + F);
    }
    std::size_t peak = 0;
    for (std::size_t i = 0; i < sub.size(); ++i)
      if (std::fabs(sub[i]) > std::fabs(sub[peak])) peak = i;
    const int millisecond = static_cast<int>(std::floor(rate * 0.001 + 0.5));
    const int detectorDelay = IspDelayLength(rate, up) - millisecond;
    EXPECT_EQ(detectorDelay, F == 4 ? 18 : 16);
    EXPECT_EQ(peak, static_cast<std::size_t>(detectorDelay * F)) << rate;
    for (int k = 1; k < detectorDelay * F; ++k)
      EXPECT_NEAR(sub[peak - static_cast<std::size_t>(k)], sub[peak + static_cast<std::size_t>(k)], 1e-6)
          << k;
  }
}

TEST(TruePeak, NonFiniteInputAndReset) {
  TruePeakDetector d, fresh;
  d.Design(44100.0);
  fresh.Design(44100.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int n = 0; n < 10; ++n) d.Process(n % 2 ? nan : std::numeric_limits<double>::infinity());
  d.Reset();
  for (int n = 0; n < 200; ++n) {
    const double x = 0.8 * std::sin(0.05 * n);
    ASSERT_EQ(d.Process(x), fresh.Process(x)) << n;
  }
}

TEST(TruePeak, ProcessingNeverAllocates) {
  if (!alloccount::AllocationCounterIsLive())
    GTEST_SKIP() << "allocation counter not available in this build";
  TruePeakDetector detectors[4];
  for (int i = 0; i < 4; ++i) detectors[i].Design(i < 2 ? 44100.0 : 96000.0);
  double sink = 0.0;
  long count = 0;
  {
    alloccount::AllocationScope scope;
    for (int n = 0; n < 4000; ++n)
      for (TruePeakDetector& d : detectors) sink += d.Process(std::sin(0.3 * n));
    for (TruePeakDetector& d : detectors) d.Reset();
    count = scope.Count();
  }
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(std::isfinite(sink));
}

}  // namespace
}  // namespace tessaro
