// The engine inside the plug-in object: latency parts, real-time safety of
// the loop, and the configuration read at construction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/Tessaro_v2.h"
#include "settings/ProcessSettings.h"
#include "tests/common/AllocationCounter.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;

std::intptr_t SilentHost(AEffect*, std::int32_t, std::int32_t, std::intptr_t, void*, float) { return 0; }

// A configuration folder of the test's own, so instances start from a clean file.
class ScopedAppData {
 public:
  ScopedAppData() {
    dir_ = fs::temp_directory_path() /
           ("tessaro-engine-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const char* old = std::getenv("APPDATA");
    if (old) saved_ = old;
    hadOld_ = old != nullptr;
    setenv("APPDATA", dir_.c_str(), 1);
  }
  ~ScopedAppData() {
    if (hadOld_)
      setenv("APPDATA", saved_.c_str(), 1);
    else
      unsetenv("APPDATA");
    fs::remove_all(dir_);
  }
  std::string ConfigPath() const { return (dir_ / "Kest-Audio" / "Tessaro_v2_CONFIG.xml").string(); }
  std::string ConfigText() const {
    std::ifstream in(ConfigPath());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  fs::path dir_;
  std::string saved_;
  bool hadOld_ = false;
};

std::intptr_t Send(Tessaro_v2& plug, std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                   float opt = 0.0f) {
  AEffect* e = plug.Effect();
  return e->dispatcher(e, opcode, index, value, nullptr, opt);
}

// A plug-in object started the way a host starts it.
struct Rig {
  explicit Rig(double rate = 44100.0) : plug(std::make_unique<Tessaro_v2>(&SilentHost)) {
    Send(*plug, vst2::effOpen);
    Send(*plug, vst2::effSetSampleRate, 0, 0, static_cast<float>(rate));
    Send(*plug, vst2::effSetBlockSize, 0, 512);
    Send(*plug, vst2::effMainsChanged, 0, 1);
  }
  void Set(int index, double value) {
    plug->GetParam(index)->SetClamped(value);
    plug->ParameterChanged(index, kSourceHost);
  }
  void Process(int frames, double level = 0.5) {
    left.assign(static_cast<std::size_t>(frames), 0.0);
    right.assign(static_cast<std::size_t>(frames), 0.0);
    for (int n = 0; n < frames; ++n) {
      left[n] = level * std::sin(0.07 * (counter + n));
      right[n] = level * std::sin(0.05 * (counter + n) + 1.0);
    }
    counter += frames;
    double* io[] = {left.data(), right.data()};
    plug->ProcessBlock(io, io, frames);
  }
  std::unique_ptr<Tessaro_v2> plug;
  std::vector<double> left, right;
  long counter = 0;
};


struct LatencyCase {
  double rate;
  int mode;  // "Oversample Mode"
  int osRate;  // "Oversample Rate"
  bool isp;
  int factor;
  int osPart;
  int ispPart;
};

TEST(Engine, LatencyPartsForEveryModeAndRate) {
  ScopedAppData appData;
  const LatencyCase cases[] = {
      {44100, 0, 2, false, 1, 0, 0},  // OFF with a stale rate: factor 1
      {44100, 1, 0, false, 2, 4, 0},   {44100, 1, 3, false, 16, 4, 0},  {44100, 2, 1, false, 4, 8, 0},
      {44100, 4, 0, false, 2, 52, 0},  {44100, 4, 1, false, 4, 56, 0},  {44100, 4, 2, false, 8, 58, 0},
      {44100, 4, 3, false, 16, 59, 0}, {44100, 3, 0, false, 2, 28, 0},  {44100, 3, 1, false, 4, 32, 0},
      {44100, 3, 2, false, 8, 34, 0},  {44100, 3, 3, false, 16, 35, 0}, {44100, 0, 0, true, 1, 0, 61},
      {48000, 0, 0, true, 1, 0, 65},   {96000, 0, 0, true, 1, 0, 111},  {44100, 4, 0, true, 2, 52, 61},
      {44100, 2, 3, true, 16, 8, 61},  {96000, 4, 1, true, 4, 56, 111},
  };
  for (const LatencyCase& c : cases) {
    Rig rig(c.rate);
    rig.Set(kOversampleRate, c.osRate);
    rig.Set(kOversampleMode, c.mode);
    rig.Set(kIspProtect, c.isp ? 1 : 0);
    rig.Process(64);
    const int lookAhead = static_cast<int>(c.rate * 0.001 * 7.0 + 0.5);  // "KEST-BASIC": 7 ms
    EXPECT_EQ(rig.plug->OversamplingFactor(), c.factor) << c.rate << " " << c.mode << " " << c.osRate;
    EXPECT_EQ(rig.plug->OversamplingLatency(), c.osPart) << c.rate << " " << c.mode << " " << c.osRate;
    EXPECT_EQ(rig.plug->IspLatency(), c.ispPart) << c.rate << " " << c.mode << " " << c.osRate;
    EXPECT_EQ(rig.plug->Effect()->initialDelay, c.osPart + c.ispPart + lookAhead);
    rig.Set(kBypass, 1);
    rig.Process(64);
    EXPECT_EQ(rig.plug->Effect()->initialDelay, c.osPart + c.ispPart) << "bypass drops the look-ahead only";
  }
}

TEST(Engine, ProcessBlockNeverAllocatesInAnyMode) {
  ScopedAppData appData;
  if (!alloccount::AllocationCounterIsLive()) GTEST_SKIP() << "allocation counting is off in this build";
  for (int mode = 0; mode <= 4; ++mode) {
    for (int osRate : {0, 3}) {
      for (int isp : {0, 1}) {
        Rig rig;
        rig.Set(kOversampleRate, osRate);
        rig.Set(kOversampleMode, mode);
        rig.Set(kIspProtect, isp);
        rig.Set(kAmount, 18.0);
        rig.Set(kAutoGainCompare, 1);
        rig.Set(kAutoLearnTrim, 1);
        rig.Process(512);  // reports the latency, which may touch the host
        std::vector<double> l(512), r(512);
        for (int n = 0; n < 512; ++n) {
          l[n] = 0.9 * std::sin(0.3 * n);
          r[n] = 0.9f * std::cos(0.2 * n);  // single-precision values: dither runs
        }
        double* io[] = {l.data(), r.data()};
        long allocations = 0;
        {
          alloccount::AllocationScope scope;
          for (int block = 0; block < 8; ++block) rig.plug->ProcessBlock(io, io, 512);
          allocations = scope.Count();
        }
        EXPECT_EQ(allocations, 0) << "mode " << mode << " rate " << osRate << " isp " << isp;
      }
    }
  }
}

TEST(Engine, FirstStartWritesTheConfigurationInReadOrder) {
  ScopedAppData appData;
  // Only the process's first instance reads the tuning pitch.
  const bool first = ProcessSettings::TuningPitch().load() == 0.0;
  Tessaro_v2 plug(&SilentHost);
  const std::string text = appData.ConfigText();
  std::vector<const char*> keys = {"<use_relative_fft_gain>", "<default_setting>", "<UseFloatDither>",
                                   "<display_fps>"};
  if (first) keys.insert(keys.begin(), "<tuning_pitch>");
  std::vector<std::size_t> at;
  for (const char* key : keys) {
    at.push_back(text.find(key));
    EXPECT_NE(at.back(), std::string::npos) << key;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
  EXPECT_EQ(text.find("default_size"), std::string::npos);
  // The stored default is the state of program slot 1.
  EXPECT_NE(text.find(plug.BuiltInPrograms()[1].first), std::string::npos);
  EXPECT_EQ(plug.ConfiguredFrameRate(), 30);
}

TEST(Engine, DisplayRateFromTheConfigurationIsLimited) {
  struct Case {
    const char* text;
    int rate;
  };
  for (const Case c : {Case{"10", 20}, Case{"500", 200}, Case{"30", 30}, Case{"60", 60}, Case{"", 30}}) {
    ScopedAppData appData;
    fs::create_directories(fs::path(appData.ConfigPath()).parent_path());
    std::ofstream(appData.ConfigPath()) << "<?xml version=\"1.0\"?>\n<Config><display_fps>" << c.text
                                        << "</display_fps></Config>\n";
    Tessaro_v2 plug(&SilentHost);
    EXPECT_EQ(plug.ConfiguredFrameRate(), c.rate) << c.text;
  }
}

TEST(Engine, SavedDefaultSettingBecomesTheStartingState) {
  ScopedAppData appData;
  std::string saved;
  {
    Tessaro_v2 plug(&SilentHost);
    plug.GetParam(kAmount)->Set(7.5);
    plug.GetParam(kLimiter)->Set(4);
    IStateChunk state;
    ASSERT_TRUE(plug.SaveState(state));
    saved = state.ToBase64();
    plug.Config().SetString("default_setting", saved);
  }
  Tessaro_v2 again(&SilentHost);
  EXPECT_EQ(again.GetParam(kAmount)->Value(), 7.5);
  EXPECT_EQ(again.GetParam(kLimiter)->Value(), 4.0);
  EXPECT_EQ(again.Core().TypeIndex(), 4);
  EXPECT_NEAR(again.Core().A(), std::pow(10.0, 7.5 / 20.0), 1e-12);
}

TEST(Engine, ResetClearsLearningAndTheFade) {
  ScopedAppData appData;
  Rig rig;
  rig.Set(kAutoLearnTrim, 1);
  EXPECT_TRUE(rig.plug->LearnOn());
  rig.Process(256);
  EXPECT_GT(rig.plug->LearnedPeak(), 0.0);
  Send(*rig.plug, vst2::effMainsChanged, 0, 0);
  EXPECT_FALSE(rig.plug->LearnOn());
  EXPECT_EQ(rig.plug->LearnedPeak(), 0.0);
  EXPECT_EQ(rig.plug->GetParam(kAutoLearnTrim)->Value(), 0.0);
}

TEST(Engine, LearningStartsHalfwayDownFromTheCurrentTrim) {
  ScopedAppData appData;
  Rig rig;
  rig.Set(kInputTrim, 6.0);
  rig.Set(kAutoLearnTrim, 1);
  EXPECT_NEAR(rig.plug->GetParam(kInputTrim)->Value(), -3.0, 1e-9);
  EXPECT_NEAR(rig.plug->Trim(), std::pow(10.0, -3.0 / 20.0), 1e-9);
}

}  // namespace
}  // namespace tessaro
