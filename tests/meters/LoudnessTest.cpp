// LoudnessFollower: the 0 LUFS reading of a full-scale 997 Hz sine, the
// integrator time constants, the two gates, the maxima, reset and bad input.
//
// What the follower reads: sqrt(momentary) in dB is the loudness, in LUFS,
// of a stereo signal whose two channels both equal the channel fed in:
// -0.691 + 10 log10(2 * ms_K) = 2.3193 + 10 log10(ms_K), and 2.3193 dB is the
// follower's +1.306065620916933 scaling. A full-scale 997 Hz sine (mean
// square -3.0103 dB, +0.691 dB of K-weighting) therefore reads 1.0 = 0 dB.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "meters/LoudnessFollower.h"

namespace tessaro {
namespace {

constexpr double kTwoPi = 6.283185307179586;

double Db(double x) { return 20.0 * std::log10(x); }

// Feeds `seconds` of a sine, continuing the phase from sample `start`.
long Feed(LoudnessFollower& f, double amplitude, double hz, double seconds, long start = 0) {
  const double rate = f.SampleRate();
  const long n = static_cast<long>(seconds * rate);
  for (long i = start; i < start + n; ++i) f.Push(amplitude * std::sin(kTwoPi * hz * i / rate));
  return start + n;
}

struct ReadingCase {
  double rate;
  double reading;  // 1.306065620916933 * |K(997 Hz)| / sqrt(2), worked out from the filter formulas
};

TEST(LoudnessFollower, FullScale997HzSineReadsZeroLufs) {
  const ReadingCase cases[] = {
      {44100.0, 1.0003196982380032},
      {48000.0, 1.0000016228018167},
      {96000.0, 0.998009198995312},
  };
  for (const ReadingCase& c : cases) {
    LoudnessFollower f(c.rate);
    Feed(f, 1.0, 997.0, 6.0);
    EXPECT_NEAR(Db(f.Momentary()), 0.0, 0.05) << c.rate;
    // The ripple of the 350 ms integrator on a 997 Hz sine is about 1e-4.
    EXPECT_NEAR(f.Momentary() / c.reading, 1.0, 3e-4) << c.rate;
    // Three seconds of short-term window have not settled yet after six.
    EXPECT_NEAR(f.ShortTerm() / c.reading, std::sqrt(1.0 - std::exp(-2.0)), 3e-3) << c.rate;
  }
}

TEST(LoudnessFollower, IntegratorCoefficients) {
  // exp(-1 / (fs * t)), t in seconds.
  LoudnessFollower f48(48000.0);
  EXPECT_NEAR(f48.MomentaryIntegrator().Coefficient(), 0.999940477961983, 1e-12);
  EXPECT_NEAR(f48.ShortTermIntegrator().Coefficient(), 0.9999930555796681, 1e-12);
  EXPECT_NEAR(f48.GatedIntegrator().Coefficient(), 0.9999739586724146, 1e-12);
  EXPECT_NEAR(f48.MomentaryIntegrator().Curve(), -1.0, 1e-7);
  LoudnessFollower f44(44100.0);
  EXPECT_NEAR(f44.MomentaryIntegrator().Coefficient(), 0.9999352142787956, 1e-12);
  EXPECT_NEAR(f44.ShortTermIntegrator().Coefficient(), 0.9999924414495789, 1e-12);
  EXPECT_NEAR(f44.GatedIntegrator().Coefficient(), 0.9999716557305046, 1e-12);
}

TEST(LoudnessFollower, MomentaryAndShortTermRiseWithTheirTimeConstants) {
  // After one second the mean squares have covered 1 - exp(-1/0.35) and
  // 1 - exp(-1/3) of their way.
  LoudnessFollower f(48000.0);
  Feed(f, 1.0, 997.0, 1.0);
  const double full = 1.0000016228018167 * 1.0000016228018167;
  EXPECT_NEAR(f.MomentaryMeanSquare() / full, 0.9425673807323827, 2e-3);
  EXPECT_NEAR(f.ShortTermMeanSquare() / full, 0.28346868942621073, 2e-3);
}

TEST(LoudnessFollower, AbsoluteGateKeepsQuietSignalsOut) {
  // -80 dBFS never passes the -70 dB gate; the momentary value still reads it.
  LoudnessFollower f(48000.0);
  Feed(f, 1e-4, 997.0, 2.0);
  EXPECT_EQ(f.GatedMeanSquare(), 0.0);
  EXPECT_EQ(f.GatedMax(), LoudnessFollower::kAbsoluteGate);
  EXPECT_NEAR(Db(f.Momentary()), -80.0, 0.05);
  // The maxima never fall below their -70 dB start.
  EXPECT_EQ(f.MomentaryMax(), LoudnessFollower::kAbsoluteGate);
}

TEST(LoudnessFollower, RelativeGateFreezesTheGatedStateAfterADrop) {
  LoudnessFollower f(48000.0);
  // Whole seconds of 997 Hz end on a zero crossing.
  long at = Feed(f, 1.0, 997.0, 3.0);
  const double loudGated = f.GatedMeanSquare();
  ASSERT_GT(loudGated, 0.1);
  const double loudMomentary = f.Momentary();
  // 20 dB down sits under the -10 dB relative gate.
  at = Feed(f, 0.1, 997.0, 0.1, at);
  const double gatedAfterDrop = f.GatedMeanSquare();
  const double gatedMaxAfterDrop = f.GatedMax();
  EXPECT_NEAR(gatedAfterDrop / loudGated, 1.0, 1e-3);
  Feed(f, 0.1, 997.0, 6.0, at);
  EXPECT_EQ(f.GatedMeanSquare(), gatedAfterDrop);
  EXPECT_EQ(f.GatedMax(), gatedMaxAfterDrop);
  EXPECT_GE(f.GatedMax(), std::sqrt(gatedAfterDrop));
  EXPECT_NEAR(Db(f.Momentary()), -20.0, 0.05);
  EXPECT_GE(f.MomentaryMax(), loudMomentary);
  EXPECT_LT(f.MomentaryMax(), loudMomentary * 1.001);
}

TEST(LoudnessFollower, GatesReadTheSignedSample) {
  // The first half-wave of a negative-going sine stays below zero after the
  // weighting, so nothing reaches the gated integrator yet, however loud.
  LoudnessFollower f(48000.0);
  const double rate = f.SampleRate();
  for (int i = 0; i < 20; ++i) f.Push(-std::sin(kTwoPi * 997.0 * i / rate));
  EXPECT_EQ(f.GatedMeanSquare(), 0.0);
  EXPECT_GT(f.MomentaryMeanSquare(), 0.0);
}

TEST(LoudnessFollower, ResetAndConfigure) {
  LoudnessFollower f(48000.0), fresh(48000.0);
  Feed(f, 1.0, 997.0, 1.0);
  f.Reset();
  EXPECT_EQ(f.MomentaryMeanSquare(), 0.0);
  EXPECT_EQ(f.ShortTermMeanSquare(), 0.0);
  EXPECT_EQ(f.GatedMeanSquare(), 0.0);
  EXPECT_EQ(f.GatedMax(), 0.000316227766016838);
  EXPECT_EQ(f.ShortTermMax(), 0.000316227766016838);
  EXPECT_EQ(f.MomentaryMax(), 0.000316227766016838);
  // The filter states went too: the same input now gives the same result.
  Feed(f, 0.5, 440.0, 0.2);
  Feed(fresh, 0.5, 440.0, 0.2);
  EXPECT_EQ(f.MomentaryMeanSquare(), fresh.MomentaryMeanSquare());

  f.Configure(44100.0);
  EXPECT_EQ(f.SampleRate(), 44100.0);
  EXPECT_EQ(f.MomentaryMeanSquare(), 0.0);
  EXPECT_NEAR(f.MomentaryIntegrator().Coefficient(), 0.9999352142787956, 1e-12);
  EXPECT_EQ(f.Shelf().Rate(), 44100.0);
  EXPECT_EQ(f.HighPass().Rate(), 44100.0);
  Feed(f, 1.0, 997.0, 6.0);
  EXPECT_NEAR(f.Momentary() / 1.0003196982380032, 1.0, 3e-4);
}

TEST(LoudnessFollower, NonFiniteSamplesAreDropped) {
  LoudnessFollower f(48000.0), clean(48000.0);
  f.Push(std::numeric_limits<double>::quiet_NaN());
  f.Push(std::numeric_limits<double>::infinity());
  EXPECT_EQ(f.MomentaryMeanSquare(), 0.0);
  Feed(f, 0.5, 997.0, 0.5);
  Feed(clean, 0.5, 997.0, 0.5);
  EXPECT_EQ(f.MomentaryMeanSquare(), clean.MomentaryMeanSquare());
  EXPECT_EQ(f.GatedMeanSquare(), clean.GatedMeanSquare());

  // In the middle of a signal: one bad sample, and the reading carries on.
  f.Push(-std::numeric_limits<double>::infinity());
  Feed(f, 1.0, 997.0, 6.0);
  EXPECT_TRUE(std::isfinite(f.Momentary()));
  EXPECT_NEAR(Db(f.Momentary()), 0.0, 0.05);
}

}  // namespace
}  // namespace tessaro
