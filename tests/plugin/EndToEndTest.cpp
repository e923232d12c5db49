// The plug-in driven as a host drives it, judged by measuring its audio: true
// peaks against the ceiling with an independent meter, impulse delays against
// the reported latency, bypass nulls, loudness with "Auto Gain Compare", the
// "Auto Learn-Trim" search, limiter-type defaults and garbage input.
#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "plugin/Parameters.h"
#include "tests/plugin/PluginFixture.h"
#include "tests/plugin/Signals.h"

namespace tessaro::testing {
namespace {

constexpr std::int32_t kBlock = 512;

const char* const kModeText[] = {"OFF", "MINIMAL LQ", "MINIMAL HQ", "LINEAR LQ", "LINEAR HQ"};
const char* const kRateText[] = {"2X", "4X", "8X", "16X"};
enum Mode { kOff = 0, kMinimalLq, kMinimalHq, kLinearLq, kLinearHq };

// The float dither adds (d - previous d) with |d| at most a tenth of the
// single-precision step, 5.96e-9 just below full scale: a sample may sit up to
// 1.2e-8 past the value the limiter produced.
constexpr double kDitherAllowance = 2e-8;
// Room for libebur128's own interpolation error (4x below 96 kHz, 2x from
// there, a short polyphase filter): on steady sines it mostly reads low, and
// high by a few hundredths of a dB at most.
constexpr double kMeterAllowanceDb = 0.05;

// Loads the plug-in at a sample rate and pushes audio through it block by
// block into separate output buffers, like a host.
class Driver {
 public:
  explicit Driver(double fs) {
    host::HostOptions options;
    options.sampleRate = fs;
    options.blockSize = kBlock;
    plugin_ = LoadPlugin(options);
    if (plugin_) plugin_->Start();
  }
  bool Loaded() const { return plugin_ != nullptr; }
  host::Plugin& Plugin() { return *plugin_; }

  // A display text or number as a host's text entry would send it.
  bool Set(int index, const std::string& text) {
    const bool ok = plugin_->String2Parameter(index, text);
    EXPECT_TRUE(ok) << "parameter " << index << " refused \"" << text << "\"";
    return ok;
  }
  bool SetOversampling(int mode, int rate) {
    return Set(kOversampleRate, kRateText[rate]) && Set(kOversampleMode, kModeText[mode]);
  }

  Stereo Process(const Stereo& in) {
    Stereo out(in.size());
    std::vector<double> il(kBlock), ir(kBlock), ol(kBlock), orr(kBlock);
    for (std::size_t at = 0; at < in.size(); at += kBlock) {
      const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kBlock, in.size() - at));
      std::copy_n(in.l.begin() + static_cast<std::ptrdiff_t>(at), n, il.begin());
      std::copy_n(in.r.begin() + static_cast<std::ptrdiff_t>(at), n, ir.begin());
      double* ins[] = {il.data(), ir.data()};
      double* outs[] = {ol.data(), orr.data()};
      plugin_->ProcessDouble(ins, outs, n);
      std::copy_n(ol.begin(), n, out.l.begin() + static_cast<std::ptrdiff_t>(at));
      std::copy_n(orr.begin(), n, out.r.begin() + static_cast<std::ptrdiff_t>(at));
      NoteFirstBlock();
    }
    return out;
  }

  // The 32-bit path; the result is widened back for measuring.
  Stereo ProcessFloat(const Stereo& in) {
    Stereo out(in.size());
    std::vector<float> il(kBlock), ir(kBlock), ol(kBlock), orr(kBlock);
    for (std::size_t at = 0; at < in.size(); at += kBlock) {
      const auto n = static_cast<std::int32_t>(std::min<std::size_t>(kBlock, in.size() - at));
      for (std::int32_t i = 0; i < n; ++i) {
        il[i] = static_cast<float>(in.l[at + i]);
        ir[i] = static_cast<float>(in.r[at + i]);
      }
      float* ins[] = {il.data(), ir.data()};
      float* outs[] = {ol.data(), orr.data()};
      plugin_->ProcessFloat(ins, outs, n);
      for (std::int32_t i = 0; i < n; ++i) {
        out.l[at + i] = ol[i];
        out.r[at + i] = orr[i];
      }
      NoteFirstBlock();
    }
    return out;
  }

  // Latency() as read right after the first block this driver processed.
  std::int32_t FirstBlockLatency() const { return firstBlockLatency_; }

 private:
  void NoteFirstBlock() {
    if (firstBlockLatency_ < 0) firstBlockLatency_ = plugin_->Latency();
  }
  std::unique_ptr<host::Plugin> plugin_;
  std::int32_t firstBlockLatency_ = -1;
};

struct OsConfig {
  double fs;
  int mode;
  int rate;  // ignored while the mode is OFF
};

std::string OsName(const OsConfig& c) {
  std::string name = "fs" + std::to_string(static_cast<int>(c.fs)) + "_" + kModeText[c.mode];
  if (c.mode != kOff) name += std::string("_") + kRateText[c.rate];
  for (char& ch : name)
    if (ch == ' ') ch = '_';
  return name;
}

std::string DbName(const char* what, double db) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%s%.1f", what, db < 0 ? "m" : "", std::abs(db));
  std::string s(text);
  std::replace(s.begin(), s.end(), '.', '_');
  return s;
}

// Every sample rate, mode and rate the plug-in offers.
std::vector<OsConfig> FullGrid() {
  std::vector<OsConfig> grid;
  for (double fs : {44100.0, 48000.0, 96000.0}) {
    grid.push_back({fs, kOff, 0});
    for (int mode = kMinimalLq; mode <= kLinearHq; ++mode)
      for (int rate = 0; rate < 4; ++rate) grid.push_back({fs, mode, rate});
  }
  return grid;
}

// Every mode and rate at 44.1 kHz, one rate per mode (a different one at each
// rate) at 48 and 96 kHz.
bool InSparseGrid(const OsConfig& c) {
  return c.fs == 44100.0 || c.mode == kOff || c.rate == (c.mode + (c.fs == 96000.0 ? 1 : 0)) % 4;
}

// Latency parts worked out by hand from the design rules (and checked with a
// separate script): look-ahead l = (int)(fs * 0.001 * 7 + 0.5) for the default
// type; oversampling part by mode and rate; ISP part Lisp - 1 with
// Lisp = round(fs / 1000) + 16 + (2 when the detection runs at 4x, which it
// does while the core rate is below 49 kHz).
int LookAhead(double fs) { return fs == 44100.0 ? 309 : fs == 48000.0 ? 336 : 672; }
int OversamplingPart(int mode, int rate) {
  static constexpr int kLinearLqPart[] = {28, 32, 34, 35};
  static constexpr int kLinearHqPart[] = {52, 56, 58, 59};
  switch (mode) {
    case kMinimalLq:
      return 4;
    case kMinimalHq:
      return 8;
    case kLinearLq:
      return kLinearLqPart[rate];
    case kLinearHq:
      return kLinearHqPart[rate];
    default:
      return 0;
  }
}
// The ISP detector runs at fs and takes its factor from fs (4 below 49 kHz,
// 2 above): Lisp = 1 ms + 16 + its stage count, whatever the oversampling.
int IspPart(const OsConfig& c) {
  if (c.fs == 44100.0) return 61;
  if (c.fs == 48000.0) return 65;
  return 111;
}

// ---------------------------------------------------------------------------
// Ceiling: true peaks with "ISP Protect", sample peaks without.

struct Segment {
  const char* name;
  std::size_t begin, end;  // input frames
};

// One run's programme: a second of the mix to get the limiter going (not
// measured), then the quarter-rate sine, noise bursts and the mix, each at
// 0 dBFS sample peak, then enough silence to flush the latency out.
struct Material {
  Stereo signal;
  std::vector<Segment> segments;
  std::size_t warmUp = 0;
};

Material LimiterMaterial(double fs, double warmUpSeconds) {
  Material m;
  auto add = [&m](const char* name, const Stereo& part) {
    m.segments.push_back({name, m.signal.size(), m.signal.size() + part.size()});
    m.signal.Append(part);
  };
  if (warmUpSeconds > 0) m.signal.Append(Mix(Frames(fs, warmUpSeconds), fs, 1.0, 11));
  m.warmUp = m.signal.size();
  add("sine fs/4", QuarterRateSine(Frames(fs, 0.15), 1.0));
  add("bursts", NoiseBursts(Frames(fs, 0.3), fs, 1.0, 12));
  add("mix", Mix(Frames(fs, 0.3), fs, 1.0, 13));
  m.signal.Append(Silence(Frames(fs, 0.01) + 1024));
  return m;
}

// True peak through libebur128, chunk by chunk so that the meter's
// interpolator is warm when the measured part begins.
class TruePeakMeter {
 public:
  explicit TruePeakMeter(double fs)
      : state_(ebur128_init(2, static_cast<unsigned long>(fs), EBUR128_MODE_TRUE_PEAK)) {}
  ~TruePeakMeter() { ebur128_destroy(&state_); }
  TruePeakMeter(const TruePeakMeter&) = delete;
  TruePeakMeter& operator=(const TruePeakMeter&) = delete;
  bool Ok() const { return state_ != nullptr; }

  // Feeds output frames [from, to); returns their largest true peak.
  double Feed(const Stereo& s, std::size_t from, std::size_t to) {
    interleaved_.resize(2 * (to - from));
    for (std::size_t i = from; i < to; ++i) {
      interleaved_[2 * (i - from)] = s.l[i];
      interleaved_[2 * (i - from) + 1] = s.r[i];
    }
    ebur128_add_frames_double(state_, interleaved_.data(), to - from);
    double a = 0.0, b = 0.0;
    ebur128_prev_true_peak(state_, 0, &a);
    ebur128_prev_true_peak(state_, 1, &b);
    return std::max(a, b);
  }

 private:
  ebur128_state* state_;
  std::vector<double> interleaved_;
};

struct CeilingCase {
  OsConfig os;
  double ceilingDb;
  double amountDb;
};

std::string CeilingCaseName(const ::testing::TestParamInfo<CeilingCase>& info) {
  return OsName(info.param.os) + "_" + DbName("ceil", info.param.ceilingDb) + "_" +
         DbName("amount", info.param.amountDb);
}

constexpr double kCeilings[] = {-0.1, -1.0};
constexpr double kAmounts[] = {0.0, 9.0, 18.0};

// The whole grid, each configuration with one of the six ceiling and amount
// pairs in turn, and every pair on a few configurations.
std::vector<CeilingCase> CeilingCases() {
  std::vector<CeilingCase> cases;
  const auto grid = FullGrid();
  for (std::size_t i = 0; i < grid.size(); ++i) {
    const std::size_t pair = (i + i / 17) % 6;
    cases.push_back({grid[i], kCeilings[pair % 2], kAmounts[pair / 2]});
  }
  for (const OsConfig& os :
       {OsConfig{44100, kOff, 0}, OsConfig{44100, kLinearHq, 1}, OsConfig{48000, kMinimalHq, 0}}) {
    for (double c : kCeilings)
      for (double a : kAmounts) {
        const bool known = std::any_of(cases.begin(), cases.end(), [&](const CeilingCase& k) {
          return k.os.fs == os.fs && k.os.mode == os.mode && k.os.rate == os.rate && k.ceilingDb == c &&
                 k.amountDb == a;
        });
        if (!known) cases.push_back({os, c, a});
      }
  }
  return cases;
}

bool Configure(Driver& d, const CeilingCase& c, bool isp) {
  return d.SetOversampling(c.os.mode, c.os.rate) && d.Set(kIspProtect, isp ? "on" : "off") &&
         d.Set(kMarginLevel, std::to_string(c.ceilingDb)) && d.Set(kAmount, std::to_string(c.amountDb));
}

class IspCeilingTest : public ::testing::TestWithParam<CeilingCase> {};

TEST_P(IspCeilingTest, TruePeakStaysUnderTheCeiling) {
  const CeilingCase& c = GetParam();
  Driver d(c.os.fs);
  ASSERT_TRUE(d.Loaded());
  ASSERT_TRUE(Configure(d, c, true));
  const Material m = LimiterMaterial(c.os.fs, 1.0);
  const Stereo out = d.Process(m.signal);
  const std::size_t latency = static_cast<std::size_t>(std::max(0, d.FirstBlockLatency()));
  ASSERT_LT(latency + m.warmUp, out.size());

  TruePeakMeter meter(c.os.fs);
  ASSERT_TRUE(meter.Ok());
  std::vector<double> worst(m.segments.size(), 0.0);
  for (std::size_t at = 0; at < latency + m.warmUp; at += kBlock)
    meter.Feed(out, at, std::min(at + kBlock, latency + m.warmUp));
  for (std::size_t at = latency + m.warmUp; at < out.size(); at += kBlock) {
    const double tp = meter.Feed(out, at, std::min(at + kBlock, out.size()));
    const std::size_t source = at - latency;  // input frame this chunk came from
    for (std::size_t s = 0; s < m.segments.size(); ++s)
      if (source >= m.segments[s].begin && source < m.segments[s].end) worst[s] = std::max(worst[s], tp);
  }
  const double ceiling = FromDb(c.ceilingDb);
  std::string line;
  for (std::size_t s = 0; s < m.segments.size(); ++s) {
    const double over = ToDb(worst[s] / ceiling);
    char text[64];
    std::snprintf(text, sizeof text, "  %s %+.3f dB", m.segments[s].name, over);
    line += text;
    EXPECT_LE(over, kMeterAllowanceDb) << m.segments[s].name << ": true peak " << ToDb(worst[s])
                                       << " dBTP over the ceiling " << c.ceilingDb << " dB";
  }
  std::printf("[ isp tp ] %-34s ceil %+.1f amount %4.1f latency %4zu:%s (true peak - ceiling)\n",
              OsName(c.os).c_str(), c.ceilingDb, c.amountDb, latency, line.c_str());
}

INSTANTIATE_TEST_SUITE_P(Grid, IspCeilingTest, ::testing::ValuesIn(CeilingCases()), CeilingCaseName);

class SamplePeakTest : public ::testing::TestWithParam<CeilingCase> {};

TEST_P(SamplePeakTest, WithoutIspProtectSamplesNeverPassTheCeiling) {
  const CeilingCase& c = GetParam();
  Driver d(c.os.fs);
  ASSERT_TRUE(d.Loaded());
  ASSERT_TRUE(Configure(d, c, false));
  const Material m = LimiterMaterial(c.os.fs, 0.0);
  const Stereo out = d.Process(m.signal);
  const double peak = SamplePeak(out, 0, out.size());
  const double ceiling = FromDb(c.ceilingDb);
  // The limiter must have had something to do, or the check proves nothing.
  ASSERT_GT(SamplePeak(m.signal, 0, m.signal.size()) * FromDb(c.amountDb), ceiling);
  EXPECT_LE(peak, ceiling + kDitherAllowance) << "sample peak " << ToDb(peak) << " dBFS";
  std::printf("[ sample ] %-34s ceil %+.1f amount %4.1f: sample peak - ceiling %+.6f dB\n",
              OsName(c.os).c_str(), c.ceilingDb, c.amountDb, ToDb(peak / ceiling));
}

std::vector<CeilingCase> SamplePeakCases() {
  std::vector<CeilingCase> cases;
  const auto grid = FullGrid();
  for (std::size_t i = 0; i < grid.size(); ++i) {
    if (!InSparseGrid(grid[i])) continue;
    const std::size_t pair = (i + 3) % 6;  // a different pairing from the ISP runs
    cases.push_back({grid[i], kCeilings[pair % 2], kAmounts[pair / 2]});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Grid, SamplePeakTest, ::testing::ValuesIn(SamplePeakCases()), CeilingCaseName);

// ---------------------------------------------------------------------------
// Latency: what is reported against where an impulse comes out.

struct LatencyCase {
  OsConfig os;
  bool isp;
};

std::string LatencyCaseName(const ::testing::TestParamInfo<LatencyCase>& info) {
  return OsName(info.param.os) + (info.param.isp ? "_isp" : "_noisp");
}

std::vector<LatencyCase> LatencyCases() {
  std::vector<LatencyCase> cases;
  for (const OsConfig& os : FullGrid()) {
    if (!InSparseGrid(os)) continue;
    cases.push_back({os, false});
    cases.push_back({os, true});
  }
  return cases;
}

class LatencyTest : public ::testing::TestWithParam<LatencyCase> {};

TEST_P(LatencyTest, ReportedLatencyIsTheDelayOfAnImpulse) {
  const LatencyCase& c = GetParam();
  Driver d(c.os.fs);
  ASSERT_TRUE(d.Loaded());
  ASSERT_TRUE(d.SetOversampling(c.os.mode, c.os.rate));
  ASSERT_TRUE(d.Set(kIspProtect, c.isp ? "on" : "off"));
  // Long enough silence first for the fade that parameter changes start.
  const std::size_t at = Frames(c.os.fs, 0.3);
  Stereo in(at + Frames(c.os.fs, 0.05) + 2048);
  in.l[at] = 0.1;
  in.r[at] = 0.1;
  const Stereo out = d.Process(in);
  const int latency = d.FirstBlockLatency();
  const int expected =
      OversamplingPart(c.os.mode, c.os.rate) + LookAhead(c.os.fs) + (c.isp ? IspPart(c.os) : 0);
  EXPECT_EQ(latency, expected) << "reported latency";
  EXPECT_EQ(d.Plugin().Latency(), latency) << "latency changed without a parameter change";

  std::size_t peak = 0;
  for (std::size_t i = 0; i < out.size(); ++i)
    if (std::abs(out.l[i]) > std::abs(out.l[peak])) peak = i;
  ASSERT_GT(std::abs(out.l[peak]), 0.03) << "the impulse did not come through";
  EXPECT_LT(std::abs(out.l[peak]), 0.15);
  EXPECT_EQ(out.r[peak], out.l[peak]) << "channels delayed differently";
  // Sub-sample position of the peak, for the record.
  double fraction = 0.0;
  if (peak > 0 && peak + 1 < out.size()) {
    const double a = out.l[peak - 1], b = out.l[peak], e = out.l[peak + 1];
    const double den = a - 2.0 * b + e;
    if (den != 0.0) fraction = 0.5 * (a - e) / den;
  }
  const int delay = static_cast<int>(peak) - static_cast<int>(at);
  std::printf("[ latency] %-34s %-5s reported %4d  impulse peak at %4d (%.2f)  difference %+d\n",
              OsName(c.os).c_str(), c.isp ? "isp" : "", latency, delay, delay + fraction, delay - latency);
  if (c.os.mode == kMinimalLq || c.os.mode == kMinimalHq) {
    // Minimum-phase filters have no single delay; their impulse peaks a few
    // samples before the nominal figure. A separate model of the two all-pass
    // cascades (designed from the same rules) puts the peak of up- then
    // downsampling at 2.9, 3.7, 4.0, 4.2 samples (LQ) and 3.9, 4.9, 5.3, 5.6
    // samples (HQ) for 2X to 16X.
    static constexpr int kModelledOffset[2][4] = {{-1, 0, 0, 0}, {-4, -3, -3, -2}};
    EXPECT_LE(std::abs(delay - latency), 5);
    EXPECT_EQ(delay - latency, kModelledOffset[c.os.mode - kMinimalLq][c.os.rate]);
  } else {
    EXPECT_EQ(delay, latency);
  }
}

INSTANTIATE_TEST_SUITE_P(Grid, LatencyTest, ::testing::ValuesIn(LatencyCases()), LatencyCaseName);

class BypassTest : public ::testing::TestWithParam<LatencyCase> {};

TEST_P(BypassTest, DropsOnlyTheLookAheadFromTheLatencyAndPassesAudioUntouched) {
  const LatencyCase& c = GetParam();
  Driver d(c.os.fs);
  ASSERT_TRUE(d.Loaded());
  ASSERT_TRUE(d.SetOversampling(c.os.mode, c.os.rate));
  ASSERT_TRUE(d.Set(kIspProtect, c.isp ? "on" : "off"));
  // Full-precision noise: never exact in single precision, so no dither.
  const Stereo noise = WhiteNoise(Frames(c.os.fs, 0.8), 0.2, 21);
  auto slice = [&noise](std::size_t from, std::size_t to) { return Slice(noise, from, to); };
  const std::size_t b = kBlock;
  d.Process(slice(0, 4 * b));
  const int active = d.Plugin().Latency();
  EXPECT_EQ(active,
            OversamplingPart(c.os.mode, c.os.rate) + LookAhead(c.os.fs) + (c.isp ? IspPart(c.os) : 0));

  d.Plugin().SetParameter(kBypass, 1.0f);
  d.Process(slice(4 * b, 5 * b));
  const int bypassed = d.Plugin().Latency();
  EXPECT_EQ(active - bypassed, LookAhead(c.os.fs));

  // Past the 0.2 s fade that the switch starts, the output is the input.
  const std::size_t settled = 5 * b + Frames(c.os.fs, 0.25);
  d.Process(slice(5 * b, settled));
  const Stereo in = slice(settled, noise.size());
  const Stereo out = d.Process(in);
  std::size_t differing = 0;
  for (std::size_t i = 0; i < in.size(); ++i) differing += (out.l[i] != in.l[i]) + (out.r[i] != in.r[i]);
  EXPECT_EQ(differing, 0u) << "of " << 2 * in.size() << " bypassed samples";
  std::printf("[ bypass ] %-34s %-5s latency %4d, bypassed %4d, %zu of %zu samples differ\n",
              OsName(c.os).c_str(), c.isp ? "isp" : "", active, bypassed, differing, 2 * in.size());

  d.Plugin().SetParameter(kBypass, 0.0f);
  d.Process(slice(0, b));
  EXPECT_EQ(d.Plugin().Latency(), active);
}

INSTANTIATE_TEST_SUITE_P(Some, BypassTest,
                         ::testing::Values(LatencyCase{{44100, kOff, 0}, false},
                                           LatencyCase{{44100, kLinearHq, 1}, true},
                                           LatencyCase{{48000, kMinimalLq, 0}, true},
                                           LatencyCase{{96000, kLinearLq, 3}, false}),
                         LatencyCaseName);

// ---------------------------------------------------------------------------
// "Auto Gain Compare".

struct AgcCase {
  const char* name;
  double fs;
  int mode, rate;
  double amountDb;
};

Stereo AgcMaterial(const AgcCase& c, std::size_t frames) {
  if (std::string(c.name) == "noise") return WhiteNoise(frames, 0.1, 31);
  if (std::string(c.name) == "sine") return Sine(frames, c.fs, 997.0, 997.0, 0.25);
  Stereo m = Mix(frames, c.fs, 1.0, 32);
  for (std::size_t i = 0; i < frames; ++i) {
    m.l[i] *= 0.3;
    m.r[i] *= 0.3;
  }
  return m;
}

class AutoGainCompareTest : public ::testing::TestWithParam<AgcCase> {};

TEST_P(AutoGainCompareTest, NeverRaisesTheLevel) {
  const AgcCase& c = GetParam();
  // The comparison matches followers of the mean absolute level (rise 300 ms,
  // fall 600 ms) of input and output; its ratio follower (1000 ms, a 2.3 s
  // time constant) starts at 1, so that switching it on never mutes, and
  // comes down to the level ratio. It only ever attenuates: the output with
  // it is never louder than without it. Once settled (20 s is almost nine
  // time constants) the compared output sits at the input's level.
  const std::size_t frames = Frames(c.fs, 22.0);
  const std::size_t from = Frames(c.fs, 20.0);
  const Stereo in = AgcMaterial(c, frames);
  Stereo outs[2];
  for (int on = 0; on < 2; ++on) {
    Driver d(c.fs);
    ASSERT_TRUE(d.Loaded());
    ASSERT_TRUE(d.SetOversampling(c.mode, c.rate));
    ASSERT_TRUE(d.Set(kAmount, std::to_string(c.amountDb)));
    ASSERT_TRUE(d.Set(kAutoGainCompare, on ? "on" : "off"));
    outs[on] = d.Process(in);
  }
  const double rmsIn = Rms(in, from, frames);
  const double rmsOff = Rms(outs[0], from, frames);
  const double rmsOn = Rms(outs[1], from, frames);
  std::printf("[ agc    ] %-6s fs %5.0f amount %4.1f: off %+.2f dB, on %+.2f dB re input\n", c.name, c.fs,
              c.amountDb, ToDb(rmsOff / rmsIn), ToDb(rmsOn / rmsIn));
  ASSERT_GT(rmsOff, rmsIn * FromDb(3.0)) << "Amount should have made the output louder than the input";
  EXPECT_LE(rmsOn, rmsOff * (1.0 + 1e-12));
  // Matched by mean absolute level, the RMS lands on the input's within a
  // hundredth of a dB (either side, depending on the waveform).
  EXPECT_LE(rmsOn, rmsIn * FromDb(0.01)) << "louder than the input by " << ToDb(rmsOn / rmsIn) << " dB";
  // It compares at the input's level rather than just turning the output down.
  EXPECT_GE(ToDb(rmsOn / rmsIn), -0.5);
  // Nowhere louder than without it, not even while it settles.
  for (std::size_t at = 0; at + kBlock <= frames; at += kBlock)
    ASSERT_LE(Rms(outs[1], at, at + kBlock), Rms(outs[0], at, at + kBlock) * (1.0 + 1e-12))
        << "block at " << at;
}

INSTANTIATE_TEST_SUITE_P(Material, AutoGainCompareTest,
                         ::testing::Values(AgcCase{"noise", 44100, kOff, 0, 12.0},
                                           AgcCase{"sine", 48000, kOff, 0, 18.0},
                                           AgcCase{"mix", 44100, kLinearLq, 0, 15.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// "Auto Learn-Trim".

struct LearnCase {
  double fs;
  const char* ceiling;
  double ceilingDb;
  double samplePeak;
};

class AutoLearnTrimTest : public ::testing::TestWithParam<LearnCase> {};

// A quarter-rate sine has the same magnitude at every sample, so the learned
// peak is simply that magnitude. Starting from the lowest trim (which is also
// where the search's halfway start puts it), the trim rises 8e-6 per frame
// until trim * peak is within 0.0008 of the ceiling, then the search waits
// 0.6 s worth of frames in range and switches itself off.
TEST_P(AutoLearnTrimTest, MovesTheTrimUntilThePeakSitsAtTheCeilingThenSwitchesOff) {
  const LearnCase& c = GetParam();
  Driver d(c.fs);
  ASSERT_TRUE(d.Loaded());
  ASSERT_TRUE(d.Set(kMarginLevel, c.ceiling));
  ASSERT_TRUE(d.Set(kInputTrim, "-12"));
  const double ceiling = FromDb(c.ceilingDb);
  const double t0 = FromDb(-12.0);
  const auto rising = static_cast<std::size_t>(std::ceil(((ceiling - 0.0008) / c.samplePeak - t0) / 8e-6));
  const std::size_t inRange = static_cast<std::size_t>(0.6 * static_cast<int>(c.fs)) + 1;
  const std::size_t expectedEnd = rising + inRange;  // frames until it switches off

  d.Plugin().SetParameter(kAutoLearnTrim, 1.0f);
  ASSERT_EQ(d.Plugin().ParamDisplay(kAutoLearnTrim), "on");
  const Stereo block = QuarterRateSine(kBlock, c.samplePeak);
  std::size_t processed = 0;
  const std::size_t limit = expectedEnd + 4 * kBlock;
  while (processed < limit && d.Plugin().ParamDisplay(kAutoLearnTrim) != "off") {
    d.Process(block);
    processed += kBlock;
  }
  const double trimDb = -12.0 + 36.0 * d.Plugin().GetParameter(kInputTrim);
  const double trimmedPeak = c.samplePeak * FromDb(trimDb);
  std::printf(
      "[ learn  ] fs %5.0f ceiling %s peak %.2f: off after %zu frames (%.3f s; bound %zu), trim %+.4f dB, "
      "trim*peak - ceiling %+.6f\n",
      c.fs, c.ceiling, c.samplePeak, processed, processed / c.fs, expectedEnd, trimDb, trimmedPeak - ceiling);
  EXPECT_EQ(d.Plugin().ParamDisplay(kAutoLearnTrim), "off")
      << "still learning after " << processed << " frames";
  EXPECT_LE(processed, expectedEnd + kBlock);
  EXPECT_GE(processed + kBlock, expectedEnd) << "switched off before 0.6 s in range";
  EXPECT_NEAR(trimmedPeak, ceiling, 0.001);

  // Once off, the trim stays where the search left it.
  for (int i = 0; i < 40; ++i) d.Process(block);
  EXPECT_DOUBLE_EQ(-12.0 + 36.0 * d.Plugin().GetParameter(kInputTrim), trimDb);
  EXPECT_EQ(d.Plugin().ParamDisplay(kAutoLearnTrim), "off");
}

INSTANTIATE_TEST_SUITE_P(Cases, AutoLearnTrimTest,
                         ::testing::Values(LearnCase{44100, "-1.0", -1.0, 1.0},
                                           LearnCase{48000, "-0.1", -0.1, 0.9}),
                         [](const auto& info) {
                           return "fs" + std::to_string(static_cast<int>(info.param.fs));
                         });

// ---------------------------------------------------------------------------
// Limiter types: the character defaults a chosen type loads.

double CharacterValue(host::Plugin& p, int index) { return 100.0 * p.GetParameter(index); }

TEST(LimiterTypeTest, ChoosingDeepLoadsItsCharacterDefaults) {
  Driver d(44100);
  ASSERT_TRUE(d.Loaded());
  host::Plugin& p = d.Plugin();
  ASSERT_NEAR(CharacterValue(p, kLimitCharacter), 50.0, 1e-4);
  p.SetParameter(kLimiterType, 2.0f / 8.0f);
  d.Process(Silence(kBlock));
  EXPECT_NEAR(CharacterValue(p, kLimitCharacter), 77.0, 1e-4);
  EXPECT_NEAR(CharacterValue(p, kTransientCharacter), 21.0, 1e-4);
  EXPECT_EQ(p.ParamDisplay(kLimitCharacter), "77.0");
  EXPECT_EQ(p.ParamDisplay(kTransientCharacter), "21.0");
  EXPECT_EQ(p.ParamDisplay(kLimiter), "2");
}

TEST(LimiterTypeTest, LoadedChunkWithDeepKeepsItsOwnCharacterValues) {
  std::vector<std::uint8_t> chunk;
  {
    Driver a(44100);
    ASSERT_TRUE(a.Loaded());
    a.Plugin().SetParameter(kLimiterType, 2.0f / 8.0f);
    ASSERT_TRUE(a.Set(kLimitCharacter, "33"));
    ASSERT_TRUE(a.Set(kTransientCharacter, "66"));
    ASSERT_EQ(a.Plugin().ParamDisplay(kLimiter), "2");
    chunk = a.Plugin().GetChunk(true);
  }
  ASSERT_FALSE(chunk.empty());
  Driver b(44100);
  ASSERT_TRUE(b.Loaded());
  host::Plugin& p = b.Plugin();
  ASSERT_EQ(p.SetChunk(chunk, true), 1);
  for (int pass = 0; pass < 2; ++pass) {  // right after the load, and after audio ran
    SCOPED_TRACE(pass == 0 ? "after loading" : "after a block");
    EXPECT_EQ(p.ParamDisplay(kLimiter), "2");
    EXPECT_EQ(p.ParamDisplay(kLimiterType), "2");
    EXPECT_NEAR(CharacterValue(p, kLimitCharacter), 33.0, 1e-4);
    EXPECT_NEAR(CharacterValue(p, kTransientCharacter), 66.0, 1e-4);
    b.Process(Mix(4 * kBlock, 44100, 0.5, 41));
  }
}

// ---------------------------------------------------------------------------
// "Margin Setting" is a display choice only.

TEST(MarginSettingTest, ChangesNothingInTheAudio) {
  const double fs = 44100;
  // No silence and no single-precision values: the float dither stays off, so
  // two runs of the same settings are bit-identical.
  Stereo in = Mix(Frames(fs, 0.6), fs, 0.8, 51);
  in.Append(WhiteNoise(Frames(fs, 0.4), 0.2, 52));
  auto setUp = [](Driver& d) {
    return d.SetOversampling(kLinearLq, 0) && d.Set(kIspProtect, "on") && d.Set(kAmount, "12");
  };
  Driver reference(fs);
  ASSERT_TRUE(reference.Loaded() && setUp(reference));
  ASSERT_EQ(reference.Plugin().ParamDisplay(kMarginSetting), "-0.5dB");
  const Stereo expected = reference.Process(in);
  ASSERT_GT(SamplePeak(in, 0, in.size()) * FromDb(12.0), 2.0) << "the limiter has work to do";

  for (const char* text : {"-0.1dB", "-1.0dB"}) {
    Driver d(fs);
    ASSERT_TRUE(d.Loaded() && setUp(d));
    ASSERT_TRUE(d.Set(kMarginSetting, text));
    ASSERT_EQ(d.Plugin().ParamDisplay(kMarginSetting), text);
    const Stereo out = d.Process(in);
    EXPECT_TRUE(out.l == expected.l && out.r == expected.r)
        << "Margin Setting " << text << " changed the audio";
  }

  // Switched while audio runs: no fade, no reset, nothing.
  Driver d(fs);
  ASSERT_TRUE(d.Loaded() && setUp(d));
  Stereo out;
  const std::size_t third = (in.size() / 3 / kBlock) * kBlock;
  const char* texts[] = {"-0.5dB", "-0.1dB", "-1.0dB"};
  for (int part = 0; part < 3; ++part) {
    ASSERT_TRUE(d.Set(kMarginSetting, texts[part]));
    const std::size_t from = part * third, to = part == 2 ? in.size() : (part + 1) * third;
    out.Append(d.Process(Slice(in, from, to)));
  }
  EXPECT_TRUE(out.l == expected.l && out.r == expected.r) << "switching Margin Setting changed the audio";
}

// ---------------------------------------------------------------------------
// Garbage input.

struct GarbageCase {
  OsConfig os;
  bool isp;
  bool floatPath;
};

std::string GarbageCaseName(const ::testing::TestParamInfo<GarbageCase>& info) {
  return OsName(info.param.os) + (info.param.isp ? "_isp" : "") +
         (info.param.floatPath ? "_float" : "_double");
}

class GarbageInputTest : public ::testing::TestWithParam<GarbageCase> {};

TEST_P(GarbageInputTest, OutputStaysFiniteAndRecovers) {
  const GarbageCase& c = GetParam();
  const double fs = c.os.fs;
  Driver d(fs);
  ASSERT_TRUE(d.Loaded());
  ASSERT_TRUE(d.SetOversampling(c.os.mode, c.os.rate));
  ASSERT_TRUE(d.Set(kIspProtect, c.isp ? "on" : "off"));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double denormal = 1e-310;

  Stereo in = Sine(Frames(fs, 0.3), fs, 997.0, 1499.0, 0.25);
  auto garbage = [&in, fs](double left, double right, std::size_t frames) {
    Stereo g(frames);
    for (std::size_t i = 0; i < frames; ++i) {
      g.l[i] = (i % 2 ? -1.0 : 1.0) * left;
      g.r[i] = (i % 2 ? -1.0 : 1.0) * right;
    }
    in.Append(g);
    in.Append(Sine(Frames(fs, 0.1), fs, 997.0, 1499.0, 0.25));
  };
  garbage(nan, nan, kBlock);
  garbage(inf, -inf, kBlock);
  garbage(0.5, nan, kBlock);  // one channel only
  garbage(denormal, -denormal, kBlock);
  garbage(inf, inf, 3);  // a few samples inside a block
  const std::size_t recovery = in.size();
  in.Append(Sine(Frames(fs, 1.2), fs, 997.0, 1499.0, 0.25));

  const Stereo out = c.floatPath ? d.ProcessFloat(in) : d.Process(in);
  std::size_t bad = 0, firstBad = out.size();
  for (std::size_t i = 0; i < out.size(); ++i)
    if (!std::isfinite(out.l[i]) || !std::isfinite(out.r[i])) {
      ++bad;
      firstBad = std::min(firstBad, i);
    }
  EXPECT_EQ(bad, 0u) << "non-finite output frames, the first at " << firstBad;

  // The last half second: the output follows the clean sine again.
  const int latency = d.FirstBlockLatency();
  const std::size_t from = out.size() - Frames(fs, 0.5);
  ASSERT_GT(from, recovery + static_cast<std::size_t>(latency));
  double best = -1.0;
  for (int lag = latency - 8; lag <= latency + 8; ++lag) {
    double xy = 0, xx = 0, yy = 0;
    for (std::size_t i = from; i < out.size(); ++i) {
      const double x = in.l[i - lag], y = out.l[i];
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    if (xx > 0 && yy > 0 && std::isfinite(xy)) best = std::max(best, xy / std::sqrt(xx * yy));
  }
  const double level = ToDb(Rms(out.l, from, out.size()) / Rms(in.l, from - latency, out.size() - latency));
  std::printf("[ garbage] %-34s %-5s %-6s: %zu bad frames, recovered level %+.2f dB, correlation %.4f\n",
              OsName(c.os).c_str(), c.isp ? "isp" : "", c.floatPath ? "float" : "double", bad, level, best);
  EXPECT_GT(best, 0.99) << "output does not follow the input";
  EXPECT_NEAR(level, 0.0, 1.0) << "output level after recovery";
}

INSTANTIATE_TEST_SUITE_P(Modes, GarbageInputTest,
                         ::testing::Values(GarbageCase{{44100, kOff, 0}, false, false},
                                           GarbageCase{{44100, kOff, 0}, true, false},
                                           GarbageCase{{44100, kMinimalLq, 0}, false, false},
                                           GarbageCase{{44100, kMinimalHq, 1}, true, false},
                                           GarbageCase{{44100, kLinearLq, 2}, false, false},
                                           GarbageCase{{44100, kLinearHq, 3}, true, false},
                                           GarbageCase{{48000, kOff, 0}, true, true},
                                           GarbageCase{{48000, kLinearHq, 0}, false, true}),
                         GarbageCaseName);

}  // namespace
}  // namespace tessaro::testing
