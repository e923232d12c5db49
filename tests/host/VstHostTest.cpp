// The host library against the probe plug-in: loading and its failures,
// callback routing and answers, the typed dispatcher wrappers and the
// start/stop sequence a real host sends.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ProbeProtocol.h"
#include "host/VstHost.h"

namespace tessaro::host {
namespace {

HostOptions ProbeOptions() {
  HostOptions options;
  options.sampleRate = 96000.0;
  options.blockSize = 256;
  options.vendorVersion = 777;
  options.processLevel = vst2::kVstProcessLevelOffline;
  return options;
}

std::unique_ptr<Plugin> LoadProbe(const HostOptions& options = ProbeOptions()) {
  std::string error;
  auto plugin = Plugin::Load(TESSARO_PROBE_PATH, options, &error);
  EXPECT_NE(plugin, nullptr) << error;
  return plugin;
}

// Makes the probe call the host callback and returns the host's answer.
std::intptr_t AskHost(Plugin& plugin, std::int32_t opcode, std::int32_t index = 0,
                      std::intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f,
                      bool fromOtherThread = false, bool withNullEffect = false) {
  probe::Request request;
  request.opcode = opcode;
  request.index = index;
  request.value = value;
  request.ptr = ptr;
  request.opt = opt;
  request.fromOtherThread = fromOtherThread;
  request.withNullEffect = withNullEffect;
  EXPECT_EQ(plugin.Dispatch(vst2::effVendorSpecific, probe::kRequestTag, 0, &request), 1);
  return request.result;
}

// Our own handle on the probe library keeps it loaded after a Plugin is
// destroyed, so the dispatcher log can still be read.
class ProbeLog {
 public:
  ProbeLog() {
    handle_ = dlopen(TESSARO_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) return;
    read_ = reinterpret_cast<probe::ReadDispatchLogFn>(dlsym(handle_, probe::kReadDispatchLog));
    clear_ = reinterpret_cast<probe::ClearDispatchLogFn>(dlsym(handle_, probe::kClearDispatchLog));
  }
  ~ProbeLog() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  bool ok() const { return read_ != nullptr && clear_ != nullptr; }
  void Clear() { clear_(); }
  std::vector<probe::DispatchEntry> Entries() {
    std::vector<probe::DispatchEntry> entries(read_(nullptr, 0));
    entries.resize(read_(entries.data(), entries.size()));
    return entries;
  }
  std::vector<std::int32_t> Opcodes() {
    std::vector<std::int32_t> opcodes;
    for (const auto& e : Entries()) opcodes.push_back(e.opcode);
    return opcodes;
  }

 private:
  void* handle_ = nullptr;
  probe::ReadDispatchLogFn read_ = nullptr;
  probe::ClearDispatchLogFn clear_ = nullptr;
};

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(log_.ok()) << dlerror();
    log_.Clear();
    plugin_ = LoadProbe();
    ASSERT_NE(plugin_, nullptr);
  }
  ProbeLog log_;
  std::unique_ptr<Plugin> plugin_;
};

// --- loading -------------------------------------------------------------

struct LoadFailureCase {
  const char* label;
  const char* path;
  std::vector<std::string> errorMentions;
};

TEST(PluginLoad, FailuresReturnNullWithAClearError) {
  const LoadFailureCase cases[] = {
      {"missing file",
       "/nonexistent/nothing-here.so",
       {"cannot load", "/nonexistent/nothing-here.so"}},
      {"no entry point", TESSARO_PROBE_NO_ENTRY_PATH, {"neither VSTPluginMain nor main"}},
      {"entry returns null", TESSARO_PROBE_NULL_EFFECT_PATH, {"returned no effect"}},
      {"wrong magic", TESSARO_PROBE_BAD_MAGIC_PATH, {"VST magic", "'Nope'"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string error;
    EXPECT_EQ(Plugin::Load(c.path, HostOptions{}, &error), nullptr);
    for (const auto& part : c.errorMentions)
      EXPECT_NE(error.find(part), std::string::npos) << error;
    // Callers that do not care about the message may pass no string.
    EXPECT_EQ(Plugin::Load(c.path, HostOptions{}, nullptr), nullptr);
  }
}

TEST(PluginLoad, FallsBackToTheLegacyMainEntryPoint) {
  std::string error;
  auto plugin = Plugin::Load(TESSARO_PROBE_LEGACY_ENTRY_PATH, HostOptions{}, &error);
  ASSERT_NE(plugin, nullptr) << error;
  EXPECT_EQ(plugin->effect()->uniqueID, probe::kUniqueId);
  EXPECT_EQ(plugin->EffectName(), probe::kEffectName);
}

TEST_F(ProbeTest, CallsFromInsideTheEntryPointReachThePluginBeingLoaded) {
  probe::LoadAnswers answers;
  ASSERT_EQ(plugin_->Dispatch(vst2::effVendorSpecific, probe::kLoadAnswersTag, 0, &answers), 1);
  EXPECT_EQ(answers.versionWithNullEffect, 2400);
  // 96000 and 256 come from the options given to Load, not the defaults.
  EXPECT_EQ(answers.sampleRateWithNullEffect, 96000);
  EXPECT_EQ(answers.blockSizeWithPendingEffect, 256);
  // The host claims resvd1 only once the entry point has returned.
  EXPECT_EQ(answers.resvd1DuringEntry, 0);
  EXPECT_EQ(plugin_->effect()->resvd1, reinterpret_cast<std::intptr_t>(plugin_.get()));
}

TEST_F(ProbeTest, LoadSendsNothingAndStartSendsTheHostSequence) {
  EXPECT_TRUE(log_.Entries().empty());
  plugin_->Start();
  const auto entries = log_.Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].opcode, vst2::effOpen);
  EXPECT_EQ(entries[1].opcode, vst2::effSetSampleRate);
  EXPECT_FLOAT_EQ(entries[1].opt, 96000.0f);
  EXPECT_EQ(entries[2].opcode, vst2::effSetBlockSize);
  EXPECT_EQ(entries[2].value, 256);
  EXPECT_EQ(entries[3].opcode, vst2::effMainsChanged);
  EXPECT_EQ(entries[3].value, 1);
}

TEST_F(ProbeTest, DestructionSwitchesOffThenCloses) {
  plugin_->Start();
  log_.Clear();
  plugin_.reset();
  const auto entries = log_.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].opcode, vst2::effMainsChanged);
  EXPECT_EQ(entries[0].value, 0);
  EXPECT_EQ(entries[1].opcode, vst2::effClose);
}

TEST_F(ProbeTest, SuspendAndResumeSwitchMains) {
  plugin_->Suspend();
  plugin_->Resume();
  const auto entries = log_.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].opcode, vst2::effMainsChanged);
  EXPECT_EQ(entries[0].value, 0);
  EXPECT_EQ(entries[1].opcode, vst2::effMainsChanged);
  EXPECT_EQ(entries[1].value, 1);
}

// --- callback answers ----------------------------------------------------

struct CallbackCase {
  const char* label;
  std::int32_t opcode;
  const char* text;  // ptr for canDo
  std::intptr_t expected;
};

const CallbackCase kCallbackCases[] = {
    {"version", vst2::audioMasterVersion, nullptr, 2400},
    {"current id", vst2::audioMasterCurrentId, nullptr, probe::kUniqueId},
    {"sample rate", vst2::audioMasterGetSampleRate, nullptr, 96000},
    {"block size", vst2::audioMasterGetBlockSize, nullptr, 256},
    {"vendor version", vst2::audioMasterGetVendorVersion, nullptr, 777},
    {"process level", vst2::audioMasterGetCurrentProcessLevel, nullptr,
     vst2::kVstProcessLevelOffline},
    {"canDo sendVstEvents", vst2::audioMasterCanDo, "sendVstEvents", 1},
    {"canDo sendVstMidiEvent", vst2::audioMasterCanDo, "sendVstMidiEvent", 1},
    {"canDo sendVstTimeInfo", vst2::audioMasterCanDo, "sendVstTimeInfo", 1},
    {"canDo receiveVstEvents", vst2::audioMasterCanDo, "receiveVstEvents", 1},
    {"canDo receiveVstMidiEvent", vst2::audioMasterCanDo, "receiveVstMidiEvent", 1},
    {"canDo sizeWindow", vst2::audioMasterCanDo, "sizeWindow", 1},
    {"canDo is case sensitive", vst2::audioMasterCanDo, "sizewindow", 0},
    {"canDo unknown", vst2::audioMasterCanDo, "openFileSelector", 0},
    {"canDo empty", vst2::audioMasterCanDo, "", 0},
    {"canDo null", vst2::audioMasterCanDo, nullptr, 0},
    {"automate", vst2::audioMasterAutomate, nullptr, 0},
    {"begin edit", vst2::audioMasterBeginEdit, nullptr, 1},
    {"end edit", vst2::audioMasterEndEdit, nullptr, 1},
    {"size window", vst2::audioMasterSizeWindow, nullptr, 1},
    {"update display", vst2::audioMasterUpdateDisplay, nullptr, 1},
    {"io changed", vst2::audioMasterIOChanged, nullptr, 1},
    {"process events", vst2::audioMasterProcessEvents, nullptr, 1},
    {"idle", vst2::audioMasterIdle, nullptr, 0},
    {"language", vst2::audioMasterGetLanguage, nullptr, 0},
    {"unknown opcode", 9999, nullptr, 0},
};

// Same answers whether the plug-in calls from our thread or one of its own:
// after loading, routing goes through resvd1, not the loading thread.
TEST_F(ProbeTest, CallbackAnswersOnAnyThread) {
  for (bool fromOtherThread : {false, true}) {
    for (const auto& c : kCallbackCases) {
      SCOPED_TRACE(std::string(c.label) + (fromOtherThread ? " (other thread)" : ""));
      EXPECT_EQ(AskHost(*plugin_, c.opcode, 0, 0, const_cast<char*>(c.text), 0.0f, fromOtherThread),
                c.expected);
    }
  }
}

TEST_F(ProbeTest, UnroutableCallsStillGetTheStatelessAnswers) {
  // A null effect from a thread that is not loading anything cannot be tied
  // to a Plugin: version and canDo are still answered, the rest is 0.
  EXPECT_EQ(AskHost(*plugin_, vst2::audioMasterVersion, 0, 0, nullptr, 0, true, true), 2400);
  EXPECT_EQ(AskHost(*plugin_, vst2::audioMasterCanDo, 0, 0, const_cast<char*>("sizeWindow"), 0,
                    true, true),
            1);
  EXPECT_EQ(AskHost(*plugin_, vst2::audioMasterGetSampleRate, 0, 0, nullptr, 0, true, true), 0);
  EXPECT_TRUE(plugin_->RecordedCalls().empty());
  AskHost(*plugin_, vst2::audioMasterBeginEdit, 0, 0, nullptr, 0, true, true);
  EXPECT_TRUE(plugin_->RecordedCalls().empty());
}

TEST_F(ProbeTest, AnswersFollowOptionChangesAndRateOrSizeSentToThePlugin) {
  plugin_->options().sampleRate = 48000.0;
  plugin_->options().processLevel = vst2::kVstProcessLevelRealtime;
  EXPECT_EQ(AskHost(*plugin_, vst2::audioMasterGetSampleRate), 48000);
  EXPECT_EQ(AskHost(*plugin_, vst2::audioMasterGetCurrentProcessLevel),
            vst2::kVstProcessLevelRealtime);

  plugin_->SetSampleRate(88200.0);
  plugin_->SetBlockSize(1024);
  EXPECT_EQ(AskHost(*plugin_, vst2::audioMasterGetSampleRate), 88200);
  EXPECT_EQ(AskHost(*plugin_, vst2::audioMasterGetBlockSize), 1024);
  const auto entries = log_.Entries();
  ASSERT_GE(entries.size(), 2u);
  bool sawRate = false, sawSize = false;
  for (const auto& e : entries) {
    if (e.opcode == vst2::effSetSampleRate) sawRate = e.opt == 88200.0f;
    if (e.opcode == vst2::effSetBlockSize) sawSize = e.value == 1024;
  }
  EXPECT_TRUE(sawRate);
  EXPECT_TRUE(sawSize);
}

TEST_F(ProbeTest, HostStringsAreCopiedAndCutToSixtyFourBytes) {
  const std::string longVendor(100, 'v');
  plugin_->options().productString = "Mastering Desk";
  plugin_->options().vendorString = longVendor;
  struct Case {
    std::int32_t opcode;
    std::string expected;
  };
  const Case cases[] = {
      {vst2::audioMasterGetProductString, "Mastering Desk"},
      {vst2::audioMasterGetVendorString, std::string(63, 'v')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    char buffer[128];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(AskHost(*plugin_, c.opcode, 0, 0, buffer), 1);
    EXPECT_EQ(std::string(buffer), c.expected);
    // Nothing written past the terminator, and never past 64 bytes.
    EXPECT_EQ(buffer[c.expected.size() + 1], 'X');
    EXPECT_EQ(buffer[64], 'X');
    EXPECT_EQ(AskHost(*plugin_, c.opcode, 0, 0, nullptr), 0);
  }
}

TEST_F(ProbeTest, GetTimeHandsOutTheHostTimeInfo) {
  plugin_->options().sampleRate = 48000.0;
  VstTimeInfo& info = plugin_->timeInfo();
  info.samplePos = 1024.0;
  info.tempo = 128.0;
  info.flags = vst2::kVstTempoValid | vst2::kVstTransportPlaying;
  const std::intptr_t answer = AskHost(*plugin_, vst2::audioMasterGetTime, 0, vst2::kVstTempoValid);
  ASSERT_EQ(answer, reinterpret_cast<std::intptr_t>(&info));
  const auto* seen = reinterpret_cast<const VstTimeInfo*>(answer);
  EXPECT_EQ(seen->sampleRate, 48000.0);
  EXPECT_EQ(seen->tempo, 128.0);
  EXPECT_EQ(seen->samplePos, 1024.0);
  EXPECT_EQ(seen->flags, vst2::kVstTempoValid | vst2::kVstTransportPlaying);
}

TEST_F(ProbeTest, RecordsEditCallsInOrderWithTheirArguments) {
  AskHost(*plugin_, vst2::audioMasterBeginEdit, 2);
  AskHost(*plugin_, vst2::audioMasterAutomate, 2, 0, nullptr, 0.75f);
  AskHost(*plugin_, vst2::audioMasterGetSampleRate);  // answered, not recorded
  AskHost(*plugin_, vst2::audioMasterEndEdit, 2);
  AskHost(*plugin_, vst2::audioMasterSizeWindow, 640, 480);
  AskHost(*plugin_, vst2::audioMasterGetTime);  // answered, not recorded
  AskHost(*plugin_, vst2::audioMasterUpdateDisplay);
  AskHost(*plugin_, vst2::audioMasterIOChanged, 0, 0, nullptr, 0.0f, true);
  AskHost(*plugin_, vst2::audioMasterProcessEvents);
  const std::vector<HostCall> expected = {
      {vst2::audioMasterBeginEdit, 2, 0, 0.0f},     {vst2::audioMasterAutomate, 2, 0, 0.75f},
      {vst2::audioMasterEndEdit, 2, 0, 0.0f},       {vst2::audioMasterSizeWindow, 640, 480, 0.0f},
      {vst2::audioMasterUpdateDisplay, 0, 0, 0.0f}, {vst2::audioMasterIOChanged, 0, 0, 0.0f},
      {vst2::audioMasterProcessEvents, 0, 0, 0.0f},
  };
  const auto calls = plugin_->RecordedCalls();
  ASSERT_EQ(calls.size(), expected.size());
  for (std::size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i].opcode, expected[i].opcode);
    EXPECT_EQ(calls[i].index, expected[i].index);
    EXPECT_EQ(calls[i].value, expected[i].value);
    EXPECT_EQ(calls[i].opt, expected[i].opt);
  }
  plugin_->ClearRecordedCalls();
  EXPECT_TRUE(plugin_->RecordedCalls().empty());
}

TEST_F(ProbeTest, RecordingFromManyThreadsLosesNothing) {
  constexpr int kThreads = 4;
  constexpr int kCallsEach = 5000;
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &ready] {
      // Start together so the calls really overlap.
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (int i = 0; i < kCallsEach; ++i) {
        probe::Request request;
        request.opcode = vst2::audioMasterAutomate;
        request.index = t;
        request.value = i;
        plugin_->Dispatch(vst2::effVendorSpecific, probe::kRequestTag, 0, &request);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const auto calls = plugin_->RecordedCalls();
  ASSERT_EQ(calls.size(), static_cast<std::size_t>(kThreads * kCallsEach));
  // Each thread's calls arrive complete and in its own order.
  std::vector<std::intptr_t> next(kThreads, 0);
  for (const auto& call : calls) {
    ASSERT_GE(call.index, 0);
    ASSERT_LT(call.index, kThreads);
    EXPECT_EQ(call.value, next[static_cast<std::size_t>(call.index)]++);
  }
}

TEST_F(ProbeTest, OnCallbackSeesEveryCallBeforeItIsAnswered) {
  std::vector<HostCall> seen;
  std::vector<std::size_t> recordedBefore;
  plugin_->onCallback = [&](const HostCall& call) {
    seen.push_back(call);
    recordedBefore.push_back(plugin_->RecordedCalls().size());
  };
  AskHost(*plugin_, vst2::audioMasterGetSampleRate, 3, 4, nullptr, 0.5f);
  AskHost(*plugin_, vst2::audioMasterAutomate, 1, 0, nullptr, 0.25f);
  AskHost(*plugin_, vst2::audioMasterCanDo, 0, 0, const_cast<char*>("sizeWindow"));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].opcode, vst2::audioMasterGetSampleRate);
  EXPECT_EQ(seen[0].index, 3);
  EXPECT_EQ(seen[0].value, 4);
  EXPECT_EQ(seen[0].opt, 0.5f);
  EXPECT_EQ(seen[1].opcode, vst2::audioMasterAutomate);
  EXPECT_EQ(seen[1].opt, 0.25f);
  EXPECT_EQ(seen[2].opcode, vst2::audioMasterCanDo);
  // Called before the automate call was recorded.
  EXPECT_EQ(recordedBefore[1], 0u);
  EXPECT_EQ(plugin_->RecordedCalls().size(), 1u);
}

TEST(PluginRouting, TwoInstancesAnswerFromTheirOwnState) {
  HostOptions slow = ProbeOptions();
  slow.sampleRate = 44100.0;
  HostOptions fast = ProbeOptions();
  fast.sampleRate = 192000.0;
  auto a = LoadProbe(slow);
  auto b = LoadProbe(fast);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  for (bool fromOtherThread : {false, true}) {
    EXPECT_EQ(AskHost(*a, vst2::audioMasterGetSampleRate, 0, 0, nullptr, 0, fromOtherThread),
              44100);
    EXPECT_EQ(AskHost(*b, vst2::audioMasterGetSampleRate, 0, 0, nullptr, 0, fromOtherThread),
              192000);
  }
  AskHost(*a, vst2::audioMasterAutomate, 1);
  EXPECT_EQ(a->RecordedCalls().size(), 1u);
  EXPECT_TRUE(b->RecordedCalls().empty());
}

// --- typed wrappers ------------------------------------------------------

TEST_F(ProbeTest, IdentityWrappers) {
  EXPECT_EQ(plugin_->EffectName(), probe::kEffectName);  // written unterminated
  EXPECT_EQ(plugin_->VendorString(), probe::kVendor);
  EXPECT_EQ(plugin_->ProductString(), probe::kProduct);
  EXPECT_EQ(plugin_->VendorVersion(), probe::kVendorVersion);
  EXPECT_EQ(plugin_->VstVersion(), 2400);
  EXPECT_EQ(plugin_->Category(), vst2::kPlugCategMastering);
  EXPECT_EQ(plugin_->NumParams(), probe::kNumParams);
  EXPECT_EQ(plugin_->NumPrograms(), probe::kNumPrograms);
  EXPECT_EQ(plugin_->Latency(), probe::kLatency);
  EXPECT_EQ(plugin_->Flags(), probe::kFlags);
  EXPECT_EQ(plugin_->NumInputs(), 2);
  EXPECT_EQ(plugin_->NumOutputs(), 2);
  const std::pair<const char*, std::intptr_t> canDo[] = {
      {"receiveVstTimeInfo", 1}, {"sendVstEvents", -1}, {"bypass", 0}};
  for (const auto& [text, expected] : canDo) EXPECT_EQ(plugin_->CanDo(text), expected) << text;
}

TEST_F(ProbeTest, ParameterWrappers) {
  struct Case {
    std::int32_t index;
    const char* name;
    const char* label;
    bool automatable;
  };
  const Case cases[] = {
      {0, "Gain", "dB", true}, {1, "Mode", "", false}, {2, "Ceiling", "dBTP", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(plugin_->ParamName(c.index), c.name);
    EXPECT_EQ(plugin_->ParamLabel(c.index), c.label);
    EXPECT_EQ(plugin_->CanBeAutomated(c.index), c.automatable);
  }
  plugin_->SetParameter(1, 0.25f);
  EXPECT_EQ(plugin_->GetParameter(1), 0.25f);
  EXPECT_EQ(plugin_->ParamDisplay(1), "0.25");
  EXPECT_TRUE(plugin_->String2Parameter(2, "0.75"));
  EXPECT_EQ(plugin_->GetParameter(2), 0.75f);
  EXPECT_FALSE(plugin_->String2Parameter(2, "loud"));
  EXPECT_EQ(plugin_->GetParameter(2), 0.75f);
  EXPECT_EQ(plugin_->GetParameter(0), 0.5f);  // untouched neighbour
}

TEST_F(ProbeTest, ProgramWrappers) {
  EXPECT_EQ(plugin_->Program(), 0);
  EXPECT_EQ(plugin_->ProgramName(), "Gentle");
  plugin_->SetProgram(1);
  EXPECT_EQ(plugin_->Program(), 1);
  EXPECT_EQ(plugin_->ProgramName(), "Loud");
  plugin_->SetProgramName("Brickwall");
  EXPECT_EQ(plugin_->ProgramName(), "Brickwall");

  std::string name;
  EXPECT_TRUE(plugin_->ProgramNameIndexed(0, &name));
  EXPECT_EQ(name, "Gentle");
  EXPECT_TRUE(plugin_->ProgramNameIndexed(1, &name));
  EXPECT_EQ(name, "Brickwall");
  name = "stale";
  EXPECT_FALSE(plugin_->ProgramNameIndexed(2, &name));
  EXPECT_EQ(name, "");
}

TEST_F(ProbeTest, ChunksUseIndexOneForProgramZeroForBank) {
  struct Case {
    bool isProgram;
    std::int32_t index;
    std::vector<std::uint8_t> initial;
  };
  const Case cases[] = {
      {true, 1, {'p', 'r', 'o', 'g', 0, 1, 2}},
      {false, 0, {'b', 'a', 'n', 'k', 0xff, 0x00, 0x7f, 0x80}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.isProgram ? "program" : "bank");
    log_.Clear();
    // Zero bytes inside a chunk must survive: it is binary, not a string.
    EXPECT_EQ(plugin_->GetChunk(c.isProgram), c.initial);
    const std::vector<std::uint8_t> replacement = {0, 9, 8, 0, 7};
    EXPECT_EQ(plugin_->SetChunk(replacement, c.isProgram), 1);
    EXPECT_EQ(plugin_->GetChunk(c.isProgram), replacement);
    const auto entries = log_.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].opcode, vst2::effGetChunk);
    EXPECT_EQ(entries[0].index, c.index);
    EXPECT_EQ(entries[1].opcode, vst2::effSetChunk);
    EXPECT_EQ(entries[1].index, c.index);
    EXPECT_EQ(entries[1].value, static_cast<std::intptr_t>(replacement.size()));
  }
}

TEST_F(ProbeTest, ProcessWrappersCallTheirOwnEntryPoints) {
  constexpr int kFrames = 8;
  float inL[kFrames], inR[kFrames], outL[kFrames], outR[kFrames];
  double dInL[kFrames], dInR[kFrames], dOutL[kFrames], dOutR[kFrames];
  for (int i = 0; i < kFrames; ++i) {
    inL[i] = static_cast<float>(i + 1);
    inR[i] = -static_cast<float>(i + 1);
    dInL[i] = inL[i];
    dInR[i] = inR[i];
  }
  float* in[] = {inL, inR};
  float* out[] = {outL, outR};
  double* dIn[] = {dInL, dInR};
  double* dOut[] = {dOutL, dOutR};
  auto fill = [&](float value) {
    for (int i = 0; i < kFrames; ++i) outL[i] = outR[i] = value;
  };

  fill(100.0f);
  plugin_->ProcessFloat(in, out, kFrames);
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(outL[i], inL[i] * probe::kReplacingGain);
    EXPECT_EQ(outR[i], inR[i] * probe::kReplacingGain);
  }
  fill(100.0f);
  plugin_->ProcessAccumulate(in, out, kFrames);
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(outL[i], 100.0f + inL[i]);
  plugin_->ProcessDouble(dIn, dOut, kFrames);
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(dOutR[i], dInR[i] * probe::kDoubleGain);

  // A plug-in without a given entry point is skipped, buffers untouched.
  AEffect* effect = plugin_->effect();
  effect->processReplacing = nullptr;
  effect->process = nullptr;
  effect->processDoubleReplacing = nullptr;
  fill(-3.0f);
  dOutL[0] = -3.0;
  plugin_->ProcessFloat(in, out, kFrames);
  plugin_->ProcessAccumulate(in, out, kFrames);
  plugin_->ProcessDouble(dIn, dOut, kFrames);
  EXPECT_EQ(outL[0], -3.0f);
  EXPECT_EQ(outR[kFrames - 1], -3.0f);
  EXPECT_EQ(dOutL[0], -3.0);
}

TEST(FourCCText, PrintableBytesAsIsOthersAsQuestionMarks) {
  const std::pair<std::int32_t, const char*> cases[] = {
      {vst2::FourCC('P', 'r', 'b', 'E'), "PrbE"},
      {vst2::kEffectMagic, "VstP"},
      {vst2::FourCC(' ', '~', '0', 'z'), " ~0z"},
      {vst2::FourCC('a', '\n', 'b', '\0'), "a?b?"},
      {vst2::FourCC('\x7f', '\x80', '\xff', 'Q'), "???Q"},
      {0, "????"},
  };
  for (const auto& [id, text] : cases) EXPECT_EQ(FourCCText(id), text) << text;
}

}  // namespace
}  // namespace tessaro::host
