// tessaro render and tessaro demo, run as a child process on files written
// here, with the built Tessaro_v2 plug-in. Levels are checked with our own
// libebur128 and libsndfile calls on the files, never with the report alone.
#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "cli/MiniJson.h"
#include "host/RunCommand.h"
#include "host/VstHost.h"

namespace tessaro::testing {
namespace {

namespace fs = std::filesystem;

constexpr double kRate = 44100.0;

struct Audio {
  int channels = 0;
  int rate = 0;
  int format = 0;
  std::vector<double> samples;  // interleaved
  std::int64_t Frames() const {
    return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
  }
  double At(std::int64_t frame, int channel) const {
    return samples[static_cast<std::size_t>(frame * channels + channel)];
  }
};

void WriteAudio(const std::string& path, const Audio& audio) {
  SF_INFO info{};
  info.samplerate = audio.rate;
  info.channels = audio.channels;
  info.format = audio.format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  EXPECT_EQ(sf_writef_double(file, audio.samples.data(), audio.Frames()), audio.Frames());
  sf_close(file);
}

Audio ReadAudio(const std::string& path) {
  Audio audio;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return audio;
  audio.channels = info.channels;
  audio.rate = info.samplerate;
  audio.format = info.format;
  audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  audio.samples.resize(
      static_cast<std::size_t>(sf_readf_double(file, audio.samples.data(), info.frames) * info.channels));
  sf_close(file);
  return audio;
}

// Sines on every channel, each channel a little detuned so they are not equal.
Audio Tone(double seconds, int channels, double frequency, double amplitude,
           int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT, double rate = kRate) {
  Audio audio{channels, static_cast<int>(rate), format, {}};
  const auto frames = static_cast<std::size_t>(seconds * rate);
  for (std::size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < channels; ++c) {
      audio.samples.push_back(amplitude * std::sin(2.0 * std::numbers::pi * frequency * (1.0 + 0.01 * c) *
                                                   static_cast<double>(i) / rate));
    }
  }
  return audio;
}

// Something like music for the meters: a chord whose level swells and falls.
Audio Swell(double seconds) {
  Audio audio{2, static_cast<int>(kRate), SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}};
  const auto frames = static_cast<std::size_t>(seconds * kRate);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double level = 0.15 + 0.35 * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * t / seconds * 2.0));
    const double a =
        std::sin(2.0 * std::numbers::pi * 110.0 * t) + 0.6 * std::sin(2.0 * std::numbers::pi * 277.2 * t);
    const double b =
        std::sin(2.0 * std::numbers::pi * 164.8 * t) + 0.5 * std::sin(2.0 * std::numbers::pi * 880.0 * t);
    audio.samples.push_back(level * (0.8 * a + 0.2 * b));
    audio.samples.push_back(level * (0.3 * a + 0.7 * b));
  }
  return audio;
}

struct Meter {
  double integrated = 0.0, truePeakDb = 0.0, samplePeakDb = 0.0;
};

// The independent measurement: libebur128 straight on the file.
Meter Measure(const std::string& path) {
  const Audio audio = ReadAudio(path);
  Meter meter;
  ebur128_state* state =
      ebur128_init(static_cast<unsigned>(audio.channels), static_cast<unsigned long>(audio.rate),
                   EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
  ebur128_add_frames_double(state, audio.samples.data(), static_cast<std::size_t>(audio.Frames()));
  ebur128_loudness_global(state, &meter.integrated);
  double tp = 0.0, sp = 0.0;
  for (int c = 0; c < audio.channels; ++c) {
    double v = 0.0;
    ebur128_true_peak(state, static_cast<unsigned>(c), &v);
    tp = std::max(tp, v);
    ebur128_sample_peak(state, static_cast<unsigned>(c), &v);
    sp = std::max(sp, v);
  }
  meter.truePeakDb = 20.0 * std::log10(tp);
  meter.samplePeakDb = 20.0 * std::log10(sp);
  ebur128_destroy(&state);
  return meter;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Largest sample difference of two files; infinity when their shapes differ.
// Renders are compared this way, not byte for byte: the plug-in dithers its
// float output at the level of the last bit, differently on every run.
double MaxDifference(const std::string& a, const std::string& b) {
  const Audio x = ReadAudio(a), y = ReadAudio(b);
  if (x.channels != y.channels || x.samples.size() != y.samples.size() || x.samples.empty()) return HUGE_VAL;
  double most = 0.0;
  for (std::size_t i = 0; i < x.samples.size(); ++i)
    most = std::max(most, std::fabs(x.samples[i] - y.samples[i]));
  return most;
}

// Far below anything a setting changes, far above the dither.
constexpr double kSame = 1e-5;
constexpr double kDifferent = 1e-3;

std::string Base64(const std::vector<std::uint8_t>& data) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::uint32_t b0 = data[i], b1 = i + 1 < data.size() ? data[i + 1] : 0,
                        b2 = i + 2 < data.size() ? data[i + 2] : 0;
    const std::uint32_t bits = (b0 << 16) | (b1 << 8) | b2;
    text += kAlphabet[(bits >> 18) & 63];
    text += kAlphabet[(bits >> 12) & 63];
    text += i + 1 < data.size() ? kAlphabet[(bits >> 6) & 63] : '=';
    text += i + 2 < data.size() ? kAlphabet[bits & 63] : '=';
  }
  return text;
}

std::int64_t ArgMaxAbs(const Audio& audio, int channel) {
  std::int64_t best = 0;
  for (std::int64_t i = 1; i < audio.Frames(); ++i) {
    if (std::fabs(audio.At(i, channel)) > std::fabs(audio.At(best, channel))) best = i;
  }
  return best;
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaro-render-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    appdata_ = dir_ + "/appdata";
    fs::create_directories(appdata_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // The plug-in writes its configuration under APPDATA; keep it in our folder.
  CommandResult Run(const std::vector<std::string>& args, const std::string& workingDir = "") const {
    std::string prefix = "APPDATA=" + ShellQuote(appdata_) + " ";
    if (!workingDir.empty()) prefix = "cd " + ShellQuote(workingDir) + " && " + prefix;
    return RunTessaro(args, prefix);
  }

  // Renders and parses the JSON report; fails the test when either fails.
  Json RenderJson(std::vector<std::string> args) const {
    args.insert(args.begin(), "render");
    args.push_back("--json");
    const CommandResult r = Run(args);
    Json json;
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(ParseJson(r.out, &json)) << r.out;
    return json;
  }

  std::string dir_, appdata_;
};

// ---- Errors -----------------------------------------------------------------

struct ErrorCase {
  const char* label;
  std::vector<std::string> args;  // "{dir}" is the test folder, "{out}" this case's OUT
  int exitCode;
  std::string mention;  // expected on stderr
};

TEST_F(Render, EveryErrorHasItsMessageAndCodeAndLeavesNoOut) {
  WriteAudio(Path("in.wav"), Tone(0.3, 2, 1000.0, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  WriteAudio(Path("float.wav"), Tone(0.3, 2, 1000.0, 0.5, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
  WriteAudio(Path("three.wav"), Tone(0.3, 3, 1000.0, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  std::ofstream(Path("text.wav")) << "this is not a RIFF file\n";
  std::ofstream(Path("other.xml"))
      << "<?xml version=\"1.0\"?><Other><preset preset=\"A\">AAAA</preset></Other>\n";
  std::ofstream(Path("lib.xml")) << "<?xml version=\"1.0\"?><Presets>"
                                    "<preset category=\"\" preset=\"Broken\">@@not base64@@</preset>"
                                    "<preset category=\"A\" preset=\"Twice\">AAAA</preset>"
                                    "<preset category=\"B\" preset=\"Twice\">AAAA</preset>"
                                    "</Presets>\n";
  std::ofstream(Path("bad.xml")) << "<Presets><preset>\n";
  fs::create_directories(Path("folder.wav"));
  std::ofstream(Path("garbage.state")) << "not a state at all, only words";
  std::ofstream(Path("empty.state")).flush();
  fs::create_directories(Path("folder.state"));
  const std::string in = "{dir}/in.wav";

  const ErrorCase cases[] = {
      {"no OUT", {"render", in}, 2, "no OUT given"},
      {"bad block", {"render", "--block", "0", in, "{out}"}, 2, "--block wants a whole number"},
      {"bad bits", {"render", "--bits", "12", in, "{out}"}, 2, "--bits wants 8, 16, 24, 32, float or double"},
      {"set without =", {"render", "--set", "Amount", in, "{out}"}, 2, "--set wants \"NAME=VALUE\""},
      {"preset without name",
       {"render", "--preset", "{dir}/lib.xml", in, "{out}"},
       2,
       "--preset wants FILE.xml:NAME"},
      {"unknown option", {"render", "--loud", in, "{out}"}, 2, "unknown option '--loud'"},
      {"missing IN",
       {"render", "{dir}/absent.wav", "{out}"},
       3,
       "cannot read IN '{dir}/absent.wav': No such file"},
      {"IN is a folder", {"render", "{dir}/folder.wav", "{out}"}, 3, "is not a file"},
      {"IN not audio", {"render", "{dir}/text.wav", "{out}"}, 4, "is not an audio file libsndfile can read"},
      {"OUT type unknown", {"render", in, "{dir}/case/out.mp3"}, 4, "cannot tell the file type of"},
      {"FLAC cannot hold float",
       {"render", "{dir}/float.wav", "{dir}/case/out.flac"},
       4,
       "FLAC cannot hold 32-bit float samples (IN's depth"},
      {"three channels", {"render", "{dir}/three.wav", "{out}"}, 5, "has 3 channels; only mono and stereo"},
      {"unknown parameter",
       {"render", in, "{out}", "--set", "Loudness=3"},
       6,
       "unknown parameter 'Loudness'"},
      {"ambiguous parameter",
       {"render", in, "{out}", "--set", "Meter View=0"},
       6,
       "2 parameters are called 'Meter View'; name the one you mean by its number: '#5' or '#12'"},
      {"parameter number too big", {"render", in, "{out}", "--set", "#18=1"}, 6, "no parameter #18"},
      {"unknown program",
       {"render", in, "{out}", "--program", "Brickwall"},
       6,
       "unknown program 'Brickwall'"},
      {"program number too big",
       {"render", in, "{out}", "--program", "20"},
       6,
       "no program 20: the plug-in has 20"},
      {"above range",
       {"render", in, "{out}", "--set", "Amount=36.5"},
       7,
       "'36.5' is out of range: 'Amount' goes from 0.00 to 36.00"},
      {"below range with unit",
       {"render", in, "{out}", "--set", "Margin Level=-1.6 dB"},
       7,
       "'-1.6 dB' is out of range: 'Margin Level' goes from -1.50 dB to 0.00 dB"},
      {"between steps", {"render", in, "{out}", "--set", "Limiter=2.5"}, 7, "'Limiter' cannot take 2.5"},
      {"not a number",
       {"render", in, "{out}", "--set", "Amount=loud"},
       7,
       "'loud' is not a display text of 'Amount'"},
      {"wrong unit",
       {"render", in, "{out}", "--set", "Margin Level=-1 %"},
       7,
       "not a display text of 'Margin Level'"},
      {"not a display text",
       {"render", in, "{out}", "--set", "Oversample Mode=LINEAR"},
       7,
       "'LINEAR' is not a display text of 'Oversample Mode'; it takes 'OFF', 'MINIMAL LQ', 'MINIMAL HQ', "
       "'LINEAR LQ', 'LINEAR HQ'"},
      {"texts are exact", {"render", in, "{out}", "--set", "ISP Protect=On"}, 7, "it takes 'off', 'on'"},
      {"plug-in missing",
       {"render", "--plugin", "{dir}/none.so", in, "{out}"},
       8,
       "the plug-in failed to load"},
      {"plug-in not a library",
       {"render", "--plugin", "{dir}/in.wav", in, "{out}"},
       8,
       "the plug-in failed to load"},
      {"OUT is IN", {"render", in, in}, 9, "is the same file as IN"},
      {"OUT is IN by another path",
       {"render", in, "{dir}/folder.wav/../in.wav"},
       9,
       "is the same file as IN"},
      {"OUT folder missing",
       {"render", in, "{dir}/nowhere/out.wav"},
       10,
       "folder '{dir}/nowhere' does not exist"},
      {"OUT is a folder", {"render", in, "{dir}/folder.wav"}, 10, "is a folder"},
      {"preset library missing",
       {"render", in, "{out}", "--preset", "{dir}/none.xml:A"},
       11,
       "cannot read preset library"},
      {"preset library not XML",
       {"render", in, "{out}", "--preset", "{dir}/bad.xml:A"},
       11,
       "is not valid XML"},
      {"preset library other root",
       {"render", in, "{out}", "--preset", "{dir}/other.xml:A"},
       11,
       "its root element is <Other>, not <Presets>"},
      {"preset absent", {"render", in, "{out}", "--preset", "{dir}/lib.xml:Gone"}, 11, "has no entry 'Gone'"},
      {"preset not base64",
       {"render", in, "{out}", "--preset", "{dir}/lib.xml:Broken"},
       11,
       "holds no valid base64 state"},
      {"preset in two categories",
       {"render", in, "{out}", "--preset", "{dir}/lib.xml:Twice"},
       11,
       "is in more than one category"},
      {"state without a file", {"render", in, "{out}", "--state"}, 2, "--state needs a value"},
      {"state missing",
       {"render", in, "{out}", "--state", "{dir}/none.state"},
       11,
       "--state: cannot read state file '{dir}/none.state'"},
      {"state empty", {"render", in, "{out}", "--state", "{dir}/empty.state"}, 11, "is empty"},
      {"state a folder", {"render", in, "{out}", "--state", "{dir}/folder.state"}, 11, "is not a file"},
      {"state the plug-in refuses",
       {"render", in, "{out}", "--state", "{dir}/garbage.state"},
       11,
       "the plug-in refused the state in '{dir}/garbage.state'"},
  };
  const std::string inBytes = ReadBytes(Path("in.wav"));
  auto expand = [this](std::string text, const std::string& out) {
    for (std::size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir_);
    for (std::size_t at; (at = text.find("{out}")) != std::string::npos;) text.replace(at, 5, out);
    return text;
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.label);
    fs::create_directories(Path("case"));
    const std::string out = Path("case/out.wav");
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(expand(arg, out));
    const CommandResult r = Run(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(expand(c.mention, out)), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    // Nothing at all in OUT's folder: no OUT, no temporary file.
    EXPECT_TRUE(fs::is_empty(Path("case"))) << fs::directory_iterator(Path("case"))->path();
    fs::remove_all(Path("case"));
    EXPECT_EQ(ReadBytes(Path("in.wav")), inBytes);
  }
}

TEST_F(Render, UnreadableInIsAnInputError) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  WriteAudio(Path("in.wav"), Tone(0.1, 2, 1000.0, 0.5));
  chmod(Path("in.wav").c_str(), 0);
  const CommandResult r = Run({"render", Path("in.wav"), Path("out.wav")});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("out.wav")));
}

TEST_F(Render, FailureLeavesAnExistingOutUntouched) {
  WriteAudio(Path("in.wav"), Tone(0.2, 2, 1000.0, 0.5));
  std::ofstream(Path("out.wav")) << "previous render";
  const CommandResult r = Run({"render", Path("in.wav"), Path("out.wav"), "--set", "Amount=99"});
  EXPECT_EQ(r.exitCode, 7) << r.err;
  EXPECT_EQ(ReadBytes(Path("out.wav")), "previous render");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);  // appdata, in, out
}

// ---- Alignment --------------------------------------------------------------

// Impulses near both ends, on different channels: the first checks that the
// latency was dropped, the last that the tail was flushed. Small enough that
// the limiter leaves them alone (Amount 0), so their peaks stay where they are.
TEST_F(Render, OutputLinesUpWithInputSampleForSample) {
  constexpr std::int64_t kFrames = 30000;
  constexpr std::int64_t kFirst = 1000, kLast = kFrames - 40;
  Audio impulses{2, static_cast<int>(kRate), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                 std::vector<double>(static_cast<std::size_t>(kFrames * 2), 0.0)};
  impulses.samples[static_cast<std::size_t>(kFirst * 2)] = 0.25;
  impulses.samples[static_cast<std::size_t>(kLast * 2 + 1)] = -0.25;
  WriteAudio(Path("in.wav"), impulses);

  const Json base = RenderJson({Path("in.wav"), Path("base.wav")});
  const double baseLatency = base["render"]["latency_samples"].number;
  ASSERT_GT(baseLatency, 0.0) << "without latency this test shows nothing";

  struct Case {
    const char* label;
    std::vector<std::string> options;
    // Over the default setting, from the oversampling and ISP formulas; a
    // negative value only asks for more latency than that much.
    double extraLatency;
  };
  const Case cases[] = {
      {"default", {}, 0},
      {"block 1", {"--block", "1"}, 0},
      {"block 7", {"--block", "7"}, 0},
      {"block longer than the latency", {"--block", "4096"}, 0},
      {"32-bit", {"--float"}, 0},
      {"linear HQ 2X", {"--set", "Oversample Mode=LINEAR HQ"}, 52},
      {"ISP at base rate", {"--set", "ISP Protect=on"}, 61},
      {"linear LQ 16X with ISP",
       {"--set", "Oversample Mode=LINEAR LQ", "--set", "Oversample Rate=16X", "--set", "ISP Protect=on"},
       -35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::string> args = {Path("in.wav"), Path("out.wav")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Json report = RenderJson(args);
    if (c.extraLatency >= 0) {
      EXPECT_EQ(report["render"]["latency_samples"].number, baseLatency + c.extraLatency);
    } else {
      EXPECT_GT(report["render"]["latency_samples"].number, baseLatency - c.extraLatency);
    }
    const Audio out = ReadAudio(Path("out.wav"));
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.Frames(), kFrames);
    EXPECT_EQ(ArgMaxAbs(out, 0), kFirst);
    EXPECT_EQ(ArgMaxAbs(out, 1), kLast);
    EXPECT_GT(std::fabs(out.At(kFirst, 0)), 0.2);
    EXPECT_LT(out.At(kLast, 1), -0.2);
  }
}

TEST_F(Render, MonoIsProcessedAsDualMono) {
  const Audio stereo = Swell(1.0);
  Audio mono{1, stereo.rate, stereo.format, {}}, twin{2, stereo.rate, stereo.format, {}};
  for (std::int64_t i = 0; i < stereo.Frames(); ++i) {
    mono.samples.push_back(stereo.At(i, 0));
    twin.samples.push_back(stereo.At(i, 0));
    twin.samples.push_back(stereo.At(i, 0));
  }
  WriteAudio(Path("mono.wav"), mono);
  WriteAudio(Path("twin.wav"), twin);
  const CommandResult r = Run({"render", Path("mono.wav"), Path("mono-out.wav"), "--set", "Amount=12"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("processing it as dual mono"), std::string::npos) << r.err;
  ASSERT_EQ(Run({"render", Path("twin.wav"), Path("twin-out.wav"), "--set", "Amount=12"}).exitCode, 0);

  const Audio monoOut = ReadAudio(Path("mono-out.wav")), twinOut = ReadAudio(Path("twin-out.wav"));
  ASSERT_EQ(monoOut.channels, 1);
  ASSERT_EQ(monoOut.Frames(), mono.Frames());
  ASSERT_EQ(twinOut.Frames(), mono.Frames());
  double most = 0.0;
  for (std::int64_t i = 0; i < monoOut.Frames(); ++i)
    most = std::max(most, std::fabs(monoOut.At(i, 0) - twinOut.At(i, 0)));
  EXPECT_LT(most, kSame);
}

// ---- Report -----------------------------------------------------------------

TEST_F(Render, ReportAgreesWithAnIndependentMeter) {
  WriteAudio(Path("in.wav"), Swell(6.0));
  const Json report = RenderJson({Path("in.wav"), Path("out.wav"), "--set", "Amount=8"});
  const Meter in = Measure(Path("in.wav")), out = Measure(Path("out.wav"));
  EXPECT_NEAR(report["input"]["integrated_lufs"].number, in.integrated, 0.1);
  EXPECT_NEAR(report["output"]["integrated_lufs"].number, out.integrated, 0.1);
  EXPECT_NEAR(report["input"]["true_peak_dbtp"].number, in.truePeakDb, 0.1);
  EXPECT_NEAR(report["output"]["true_peak_dbtp"].number, out.truePeakDb, 0.1);
  EXPECT_NEAR(report["input"]["sample_peak_dbfs"].number, in.samplePeakDb, 0.1);
  EXPECT_NEAR(report["output"]["sample_peak_dbfs"].number, out.samplePeakDb, 0.1);
  // Not the input measured twice: 8 dB of gain into a limiter is louder.
  EXPECT_GT(out.integrated, in.integrated + 2.0);
}

// Two seconds at -30 dBFS, then two at full scale against the -0.5 dB
// ceiling: only the loud half is turned down, so the reduction is about 0 dB
// in the quiet half and positive in the loud one.
TEST_F(Render, GainReductionComparesInAndOutWindows) {
  Audio in = Tone(4.0, 2, 1000.0, 1.0);
  for (std::size_t i = 0; i < in.samples.size() / 2; ++i) in.samples[i] *= std::pow(10.0, -30.0 / 20.0);
  WriteAudio(Path("in.wav"), in);
  const Json report = RenderJson({Path("in.wav"), Path("out.wav")});
  const Json& gr = report["gain_reduction"];
  EXPECT_NEAR(gr["smallest_db"].number, 0.0, 0.05);
  EXPECT_GT(gr["largest_db"].number, 0.2);
  EXPECT_LT(gr["largest_db"].number, 3.0);
  EXPECT_GE(gr["at_seconds"].number, 1.6);  // a window that reaches into the loud half
  EXPECT_EQ(gr["window_ms"].number, 400.0);
}

TEST_F(Render, JsonReportHasTheFiguresOfBothFiles) {
  WriteAudio(Path("in.wav"), Tone(1.5, 2, 440.0, 0.3, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000.0));
  const Json report = RenderJson({Path("in.wav"), Path("out.wav"), "--block", "300"});
  ASSERT_EQ(report.type, Json::Type::Object);
  for (const char* side : {"input", "output"}) {
    SCOPED_TRACE(side);
    ASSERT_TRUE(report.Has(side));
    for (const char* key : {"integrated_lufs", "loudness_range_lu", "true_peak_dbtp", "sample_peak_dbfs"}) {
      ASSERT_TRUE(report[side].Has(key)) << key;
      EXPECT_EQ(report[side][key].type, Json::Type::Number) << key;
    }
  }
  EXPECT_EQ(report["input"]["file"].text, Path("in.wav"));
  EXPECT_EQ(report["output"]["file"].text, Path("out.wav"));
  // A 0.3 sine: sample peak 20·log10(0.3) = -10.46 dBFS.
  EXPECT_NEAR(report["input"]["sample_peak_dbfs"].number, -10.46, 0.02);
  EXPECT_EQ(report["render"]["sample_rate"].number, 48000.0);
  EXPECT_EQ(report["render"]["frames"].number, 72000.0);
  EXPECT_EQ(report["render"]["block_size"].number, 300.0);
  EXPECT_EQ(report["render"]["precision"].text, "64-bit float");
  EXPECT_EQ(ReadAudio(Path("out.wav")).rate, 48000);
}

TEST_F(Render, SilenceReportsNullLoudnessAndStillParses) {
  Audio silence{2, static_cast<int>(kRate), SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                std::vector<double>(88200, 0.0)};
  WriteAudio(Path("in.wav"), silence);
  const Json report = RenderJson({Path("in.wav"), Path("out.wav")});
  EXPECT_EQ(report["input"]["integrated_lufs"].type, Json::Type::Null);
  EXPECT_EQ(report["input"]["sample_peak_dbfs"].type, Json::Type::Null);
  EXPECT_EQ(report["gain_reduction"]["largest_db"].type, Json::Type::Null);
}

// ---- Settings ---------------------------------------------------------------

// A loud tone pushed into the ceiling: the output's sample peak is the
// ceiling, so it shows which "Margin Level" the plug-in really got.
TEST_F(Render, SetTakesNumbersWithOrWithoutUnitAndDisplayTexts) {
  WriteAudio(Path("in.wav"), Tone(1.0, 2, 997.0, 0.9));
  const std::vector<std::string> loud = {"--set", "Amount=12", "--bits", "float"};
  auto render = [&](const std::string& out, std::vector<std::string> sets) {
    std::vector<std::string> args = {"render", Path("in.wav"), Path(out)};
    args.insert(args.end(), loud.begin(), loud.end());
    args.insert(args.end(), sets.begin(), sets.end());
    const CommandResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Path(out);
  };
  const std::string plain = render("plain.wav", {"--set", "Margin Level=-1.2"});
  EXPECT_LT(MaxDifference(render("unit.wav", {"--set", "Margin Level=-1.2 dB"}), plain), kSame);
  EXPECT_LT(MaxDifference(render("unit-tight.wav", {"--set", "Margin Level=-1.2dB"}), plain), kSame);
  EXPECT_LT(MaxDifference(render("folded.wav", {"--set", "margin level=-1.20"}), plain), kSame);
  EXPECT_LT(MaxDifference(render("number.wav", {"--set", "#2=-1.2"}), plain), kSame);
  EXPECT_GT(MaxDifference(render("default.wav", {}), plain), kDifferent);

  const double ceiling = std::pow(10.0, -1.2 / 20.0);
  const Meter set = Measure(Path("plain.wav")), standard = Measure(Path("default.wav"));
  EXPECT_LE(set.samplePeakDb, -1.2 + 0.01);
  EXPECT_GT(set.samplePeakDb, -1.2 - 0.3) << "the limiter should reach its ceiling " << ceiling;
  EXPECT_GT(standard.samplePeakDb, -1.2 + 0.3);  // default -0.5 dB

  // Display texts: the margin choice by its text sets the level it names.
  render("setting.wav", {"--set", "Margin Setting=-1.0dB", "--set", "Margin Level=-1.0"});
  EXPECT_LE(Measure(Path("setting.wav")).samplePeakDb, -1.0 + 0.01);
}

TEST_F(Render, ProgramByNumberOrName) {
  WriteAudio(Path("in.wav"), Swell(1.5));
  auto render = [&](const std::string& out, const std::string& program) {
    const CommandResult r = Run(
        {"render", Path("in.wav"), Path(out), "--bits", "float", "--program", program, "--set", "Amount=10"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Path(out);
  };
  const std::string byNumber = render("6.wav", "6");
  EXPECT_LT(MaxDifference(render("name.wav", "Loud/Punch"), byNumber), kSame);
  EXPECT_LT(MaxDifference(render("folded.wav", "loud/punch"), byNumber), kSame);
  EXPECT_GT(MaxDifference(render("default.wav", "0"), byNumber), kDifferent);
  EXPECT_GT(MaxDifference(render("clean.wav", "Clean"), byNumber), kDifferent);
}

// The preset file holds program 6's state, as the plug-in hands it to a host;
// loading it must sound exactly like choosing the program.
TEST_F(Render, PresetIsLoadedAsAProgramChunk) {
  setenv("APPDATA", appdata_.c_str(), 1);
  std::string error;
  std::unique_ptr<host::Plugin> plugin = host::Plugin::Load(TESSARO_PLUGIN_PATH, host::HostOptions{}, &error);
  ASSERT_NE(plugin, nullptr) << error;
  plugin->Open();
  plugin->SetProgram(6);
  std::vector<std::uint8_t> chunk = plugin->GetChunk(true);
  plugin.reset();
  ASSERT_GT(chunk.size(), 8u);
  // A preset stores the state alone, without the chunk's 'pfft' header.
  if (std::equal(chunk.begin(), chunk.begin() + 4, "pfft")) chunk.erase(chunk.begin(), chunk.begin() + 8);
  std::ofstream(Path("lib.xml")) << "<?xml version=\"1.0\"?>\n<Presets>\n"
                                 << "  <preset category=\"\" preset=\"Other\">AAAAAAAA</preset>\n"
                                 << "  <preset category=\"Factory\" preset=\"Punchy\">" << Base64(chunk)
                                 << "</preset>\n</Presets>\n";

  WriteAudio(Path("in.wav"), Swell(1.5));
  auto render = [&](const std::string& out, const std::vector<std::string>& how) {
    std::vector<std::string> args = {"render", Path("in.wav"), Path(out),  "--bits",
                                     "float",  "--set",        "Amount=10"};
    args.insert(args.end(), how.begin(), how.end());
    const CommandResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Path(out);
  };
  const std::string program = render("program.wav", {"--program", "6"});
  EXPECT_LT(MaxDifference(render("preset.wav", {"--preset", Path("lib.xml") + ":Punchy"}), program), kSame);
  EXPECT_LT(MaxDifference(render("category.wav", {"--preset", Path("lib.xml") + ":Factory/Punchy"}), program),
            kSame);
  EXPECT_GT(MaxDifference(render("plain.wav", {}), program), kDifferent);
}

// A state file holds the program chunk as the plug-in hands it out. It is
// applied after --program (so it wins) and before --set (so they refine it).
TEST_F(Render, StateFileIsAProgramChunkBetweenProgramAndSet) {
  setenv("APPDATA", appdata_.c_str(), 1);
  std::string error;
  std::unique_ptr<host::Plugin> plugin = host::Plugin::Load(TESSARO_PLUGIN_PATH, host::HostOptions{}, &error);
  ASSERT_NE(plugin, nullptr) << error;
  plugin->Open();
  plugin->SetProgram(6);
  const std::vector<std::uint8_t> chunk = plugin->GetChunk(true);
  plugin.reset();
  ASSERT_GT(chunk.size(), 8u);
  std::ofstream(Path("punch.state"), std::ios::binary)
      .write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));

  WriteAudio(Path("in.wav"), Swell(1.5));
  auto render = [&](const std::string& out, const std::vector<std::string>& how) {
    std::vector<std::string> args = {"render", Path("in.wav"), Path(out), "--bits", "float"};
    args.insert(args.end(), how.begin(), how.end());
    const CommandResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Path(out);
  };
  const std::string program = render("program.wav", {"--program", "6", "--set", "Amount=10"});
  const std::string state = Path("punch.state");
  EXPECT_LT(MaxDifference(render("state.wav", {"--state", state, "--set", "Amount=10"}), program), kSame);
  EXPECT_LT(MaxDifference(render("after.wav", {"--program", "Clean", "--state", state, "--set", "Amount=10"}),
                          program),
            kSame);
  EXPECT_GT(MaxDifference(render("unset.wav", {"--state", state}), program), kDifferent);
  EXPECT_GT(MaxDifference(render("plain.wav", {"--set", "Amount=10"}), program), kDifferent);
}

// The state `tessaro edit` saves on its way out is what render then loads:
// a session's program survives into the bounce, and loading and saving it
// again in the editor keeps it.
TEST_F(Render, StateSavedByEditLoadsInRenderAndBackInEdit) {
  auto edit = [&](const std::vector<std::string>& how) {
    std::vector<std::string> args = {"edit", "--seconds", "0.5", "--no-audio", "--virtual-display"};
    args.insert(args.end(), how.begin(), how.end());
    const CommandResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
  };
  edit({"--program", "Loud/Punch", "--set", "Amount=10", "--save-state", Path("session.state")});
  ASSERT_TRUE(fs::exists(Path("session.state")));
  edit({"--state", Path("session.state"), "--save-state", Path("again.state")});

  WriteAudio(Path("in.wav"), Swell(1.5));
  auto render = [&](const std::string& out, const std::vector<std::string>& how) {
    std::vector<std::string> args = {"render", Path("in.wav"), Path(out), "--bits", "float"};
    args.insert(args.end(), how.begin(), how.end());
    const CommandResult r = Run(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return Path(out);
  };
  const std::string program = render("program.wav", {"--program", "Loud/Punch", "--set", "Amount=10"});
  EXPECT_LT(MaxDifference(render("session.wav", {"--state", Path("session.state")}), program), kSame);
  EXPECT_LT(MaxDifference(render("again.wav", {"--state", Path("again.state")}), program), kSame);
  EXPECT_GT(MaxDifference(render("default.wav", {}), program), kDifferent);
}

// ---- Formats ----------------------------------------------------------------

TEST_F(Render, OutFormatFollowsExtensionAndDepthFollowsIn) {
  struct Case {
    int inFormat;
    const char* out;
    std::vector<std::string> options;
    int outFormat;
  };
  const Case cases[] = {
      {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "a.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, "b.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "c.aiff", {}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {SF_FORMAT_WAV | SF_FORMAT_FLOAT, "d.flac", {"--bits", "24"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {SF_FORMAT_FLAC | SF_FORMAT_PCM_24, "e.WAV", {"--bits", "16"}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, "f.ogg", {}, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {SF_FORMAT_OGG | SF_FORMAT_VORBIS, "g.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    const std::string in = Path("in" + std::to_string(n++) +
                                ((c.inFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC  ? ".flac"
                                 : (c.inFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG ? ".ogg"
                                                                                      : ".wav"));
    WriteAudio(in, Tone(0.5, 2, 440.0, 0.3, c.inFormat));
    std::vector<std::string> args = {"render", in, Path(c.out)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CommandResult r = Run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Audio out = ReadAudio(Path(c.out));
    EXPECT_EQ(out.format, c.outFormat);
    EXPECT_EQ(out.Frames(), static_cast<std::int64_t>(0.5 * kRate));
  }
}

// ---- Demo -------------------------------------------------------------------

TEST_F(Render, DemoRendersItsProgrammeThroughLoudPunch) {
  const CommandResult r = Run({"demo", "--json"}, dir_);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  Json report;
  ASSERT_TRUE(ParseJson(r.out, &report)) << r.out;
  const Audio out = ReadAudio(Path("demo-out.wav"));
  EXPECT_EQ(out.channels, 2);
  EXPECT_EQ(out.rate, 44100);
  EXPECT_EQ(out.Frames(), 8 * 44100);
  const Json& in = report["input"];
  // The programme overshoots between samples; the limiter's ISP stage is on.
  EXPECT_GT(in["true_peak_dbtp"].number, 0.0);
  EXPECT_GT(in["true_peak_dbtp"].number, in["sample_peak_dbfs"].number + 0.5);
  const Meter measured = Measure(Path("demo-out.wav"));
  EXPECT_LT(measured.truePeakDb, in["true_peak_dbtp"].number);
  EXPECT_GT(measured.integrated, in["integrated_lufs"].number + 1.0);  // Amount +9 dB
  EXPECT_NEAR(report["output"]["integrated_lufs"].number, measured.integrated, 0.1);

  // The same as asking render for it, with the settings spelled out.
  const CommandResult same = Run({"render", "--demo", Path("spelled.wav"), "--program", "Loud/Punch", "--set",
                                  "Amount=9", "--set", "ISP Protect=on"});
  ASSERT_EQ(same.exitCode, 0) << same.err;
  EXPECT_LT(MaxDifference(Path("spelled.wav"), Path("demo-out.wav")), kSame);
  const CommandResult plain = Run({"render", "--demo", Path("softer.wav"), "--set", "Amount=0"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_GT(MaxDifference(Path("softer.wav"), Path("demo-out.wav")), kDifferent);
}

// ---- Preset libraries --------------------------------------------------------

TEST_F(Render, PresetsListsTheDefaultLibraryAndRefusesOtherFiles) {
  // The first start of the plug-in (any command that loads it) makes the
  // default library, one entry per program.
  ASSERT_EQ(Run({"demo", Path("demo.wav")}).exitCode, 0);
  const CommandResult listed = Run({"presets"});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("Tessaro_v2_preset_DEFAULT.xml: 20 entries"), std::string::npos) << listed.out;
  for (const char* name : {"Default", "Kest-Basic", "Loud/Punch", "Color-Orange"})
    EXPECT_NE(listed.out.find(std::string("  ") + name + "\n"), std::string::npos) << name << "\n" << listed.out;

  std::ofstream(Path("other.xml")) << "<?xml version=\"1.0\"?>\n<Other/>\n";
  const CommandResult refused = Run({"presets", Path("other.xml")});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("not a preset library"), std::string::npos) << refused.err;
  EXPECT_EQ(Run({"presets", "a", "b"}).exitCode, 2);
}

}  // namespace
}  // namespace tessaro::testing
