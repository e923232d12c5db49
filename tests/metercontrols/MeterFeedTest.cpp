// The editor's display feed: what the audio thread publishes arrives whole,
// broken numbers arrive as the floor, the audio side never allocates, and the
// plug-in's processing loop drives it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "core/IParameter.h"
#include "meters/ZeroObject.h"
#include "meters/controls/IMeter.h"
#include "meters/controls/ITextVU.h"
#include "meters/controls/MeterFeed.h"
#include "plugin/Parameters.h"
#include "plugin/Tessaro_v2.h"
#include "tests/common/AllocationCounter.h"

namespace tessaro {
namespace {

constexpr int kFields = static_cast<int>(sizeof(MeterPublication) / sizeof(double));

MeterPublication Filled(double v) {
  MeterPublication p;
  double raw[kFields];
  for (double& x : raw) x = v;
  std::memcpy(&p, raw, sizeof p);
  return p;
}

std::vector<double> Fields(const MeterPublication& p) {
  std::vector<double> raw(static_cast<std::size_t>(kFields));
  std::memcpy(raw.data(), &p, sizeof p);
  return raw;
}

TEST(MeterFeed, NothingBeforeTheFirstPublicationThenTheLatestOne) {
  MeterFeed feed;
  MeterPublication p;
  EXPECT_FALSE(feed.Latest(p));
  EXPECT_FALSE(feed.Poll());
  MeterPublication a{};
  a.outMeter[0] = 0.25;
  a.inRms[1] = 0.125;
  a.learnLed = 0.5;
  feed.PublishMeters(a);
  a.outMeter[0] = 0.5;
  feed.PublishMeters(a);
  ASSERT_TRUE(feed.Latest(p));
  EXPECT_EQ(p.outMeter[0], 0.5);
  EXPECT_EQ(p.inRms[1], 0.125);
  EXPECT_EQ(p.learnLed, 0.5);
  EXPECT_EQ(feed.Publications(), 2u);
}

TEST(MeterFeed, FrameRateAndWaveformAnswers) {
  MeterFeed feed;
  EXPECT_EQ(feed.FramesPerSecond(), 30);
  EXPECT_FALSE(feed.ShowsWaveforms());  // nothing takes history frames yet
  feed.SetFramesPerSecond(60);
  EXPECT_EQ(feed.FramesPerSecond(), 60);
  feed.SetFramesPerSecond(0);  // the configuration allows 20..200
  EXPECT_EQ(feed.FramesPerSecond(), 20);
  feed.SetFramesPerSecond(1000);
  EXPECT_EQ(feed.FramesPerSecond(), 200);
  feed.SetShowsWaveforms(true);
  EXPECT_TRUE(feed.ShowsWaveforms());
}

TEST(MeterFeed, NonFiniteLevelsArriveAsTheFloor) {
  MeterFeed feed;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  MeterPublication bad = Filled(nan);
  bad.outMeter[1] = inf;
  bad.outReadout[0] = -inf;
  bad.inPeak[0] = 0.5;  // good values pass untouched
  feed.PublishMeters(bad);
  MeterPublication p;
  ASSERT_TRUE(feed.Latest(p));
  const std::vector<double> got = Fields(p);
  int kept = 0;
  for (double v : got) {
    EXPECT_TRUE(v == 0.0 || v == 0.5) << v;
    kept += v == 0.5;
  }
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(p.inPeak[0], 0.5);

  // Through Poll into real controls: empty bars, floor readouts.
  ZeroRegistry registry;
  IMeter meter(nullptr, nullptr, {0, 100, 20, 340}, &registry, {255, 1, 2, 3}, false, 0.0, -24.0);
  IMeterRange band(nullptr, nullptr, {0, 100, 20, 340}, &registry, {255, 1, 2, 3}, 6, 0.0, -24.0);
  ITextVU readout(nullptr, nullptr, {0, 0, 40, 20}, &registry, ITextStyle(), 10.0, 30, true);
  MeterControls controls;
  controls.outputMeter[1] = &meter;
  controls.outputBand[0] = &band;
  controls.outputReadout[0] = &readout;
  feed.SetControls(controls);
  meter.SetValueFromHost(0.9);  // spend the default-setting first value
  meter.SetValueFromHost(0.9);
  band.SetRange(0.9, 0.5);
  ASSERT_TRUE(feed.Poll());
  int top = 0, bottom = 0;
  meter.FilledSpan(top, bottom);
  EXPECT_EQ(top, bottom);
  EXPECT_TRUE(band.Band().Empty());
  EXPECT_EQ(readout.Text().text, "-70.0");
}

TEST(MeterFeed, APublicationFromAnotherThreadArrivesWhole) {
  MeterFeed feed;
  constexpr int kPublications = 200000;
  std::atomic<bool> done{false};
  std::thread audio([&] {
    for (int k = 1; k <= kPublications; ++k) feed.PublishMeters(Filled(k));
    done = true;
  });
  long reads = 0;
  double last = 0;
  bool torn = false, backwards = false;
  while (!done.load() || reads == 0) {
    MeterPublication p;
    if (!feed.Latest(p)) continue;
    ++reads;
    const std::vector<double> f = Fields(p);
    for (double v : f) torn |= v != f[0];
    backwards |= f[0] < last;
    last = f[0];
  }
  audio.join();
  EXPECT_FALSE(torn);
  EXPECT_FALSE(backwards);
  EXPECT_GT(reads, 0);
  MeterPublication final;
  ASSERT_TRUE(feed.Latest(final));
  EXPECT_EQ(Fields(final), Fields(Filled(kPublications)));
}

TEST(MeterFeed, TheAudioSideNeverAllocates) {
  if (!alloccount::AllocationCounterIsLive()) GTEST_SKIP() << "allocation counting is off in this build";
  MeterFeed feed;
  MeterPublication p = Filled(0.5);
  long count = 0;
  {
    alloccount::AllocationScope scope;
    for (int i = 0; i < 1000; ++i) {
      p.outMeter[0] = i * 0.001;
      feed.PublishMeters(p);
      feed.TrailPoint(0.5, 0.5, 0.5);
      feed.TrailIdle();
      feed.HistoryFrame(0.1, 0.2, 0.3, 0.4, 0.5, 0.6);
      feed.SpectrumSample(0.1);
      (void)feed.FramesPerSecond();
      (void)feed.ShowsWaveforms();
    }
    MeterPublication copy;
    EXPECT_TRUE(feed.Latest(copy));
    count += scope.Count();
  }
  EXPECT_EQ(count, 0);
}

TEST(MeterFeed, PollShowsEachPublicationOnce) {
  ZeroRegistry registry;
  MeterFeed feed;
  ITextVU readout(nullptr, nullptr, {0, 0, 40, 20}, &registry, ITextStyle(), 10.0, 30, true);
  MeterControls controls;
  controls.outputReadout[1] = &readout;
  controls.registry = &registry;
  feed.SetControls(controls);
  MeterPublication p{};
  p.outReadout[1] = 0.8;
  feed.PublishMeters(p);
  EXPECT_TRUE(feed.Poll());
  EXPECT_EQ(readout.Held(), 0.8);
  // A click clears the hold; a timer tick with no new block must not bring
  // the old peak back.
  readout.MouseDown(1, 1, {true, false, false, false, false});
  EXPECT_FALSE(feed.Poll());
  EXPECT_EQ(readout.Held(), 0.0);
  p.outReadout[1] = 0.1;
  feed.PublishMeters(p);
  EXPECT_TRUE(feed.Poll());
  EXPECT_EQ(readout.Held(), 0.1);
}

std::intptr_t SilentHost(AEffect*, std::int32_t, std::int32_t, std::intptr_t, void*, float) { return 0; }

TEST(MeterFeed, ThePluginPublishesEveryBlockIntoIt) {
  Tessaro_v2 plug(&SilentHost);
  AEffect* e = plug.Effect();
  e->dispatcher(e, vst2::effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  e->dispatcher(e, vst2::effSetBlockSize, 0, 512, nullptr, 0.0f);
  e->dispatcher(e, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
  MeterFeed feed;
  plug.AttachDisplay(&feed);
  std::vector<double> left(512), right(512);
  long n = 0;
  for (int block = 0; block < 40; ++block) {
    for (int i = 0; i < 512; ++i, ++n) {
      left[static_cast<std::size_t>(i)] = 0.5 * std::sin(0.05 * n);
      right[static_cast<std::size_t>(i)] = 0.25 * std::sin(0.05 * n);
    }
    double* io[] = {left.data(), right.data()};
    plug.ProcessBlock(io, io, 512);
  }
  EXPECT_EQ(feed.Publications(), 40u);
  MeterPublication p;
  ASSERT_TRUE(feed.Latest(p));
  // The input bands measure the trimmed input: peaks of -6 dB and -12 dB.
  EXPECT_NEAR(20 * std::log10(p.inPeak[0]), -6.02, 0.3);
  EXPECT_NEAR(20 * std::log10(p.inPeak[1]), -12.04, 0.3);
  EXPECT_LT(p.inRms[0], p.inPeak[0]);
  EXPECT_GT(p.outMeter[0], 0.0);
  plug.AttachDisplay(nullptr);
  for (int block = 0; block < 3; ++block) {
    double* io[] = {left.data(), right.data()};
    plug.ProcessBlock(io, io, 512);
  }
  EXPECT_EQ(feed.Publications(), 40u);  // detached: no more publications
}

}  // namespace
}  // namespace tessaro
