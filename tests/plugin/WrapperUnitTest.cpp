// The wrapper's calls to the host, seen from a plug-in object built directly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/Tessaro_v2.h"

namespace tessaro {
namespace {

struct Recorded {
  std::int32_t opcode, index;
  std::intptr_t value;
  float opt;
};

// One fake host per test: the callback is a plain function, so it answers
// from these globals.
std::vector<Recorded> gCalls;
std::string gProduct;
std::int32_t gVendorVersion = 0;
VstTimeInfo gTime{};
std::intptr_t gProcessLevel = 0;

std::intptr_t FakeHost(AEffect*, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr, float opt) {
  gCalls.push_back({opcode, index, value, opt});
  switch (opcode) {
    case vst2::audioMasterGetProductString:
      std::strcpy(static_cast<char*>(ptr), gProduct.c_str());
      return 1;
    case vst2::audioMasterGetVendorVersion: return gVendorVersion;
    case vst2::audioMasterGetTime: return reinterpret_cast<std::intptr_t>(&gTime);
    case vst2::audioMasterGetCurrentProcessLevel: return gProcessLevel;
    default: return 0;
  }
}

class WrapperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gCalls.clear();
    gProduct = "REAPER";
    gVendorVersion = 6290;
    gTime = {};
    gProcessLevel = vst2::kVstProcessLevelRealtime;
    plug = std::make_unique<Tessaro_v2>(&FakeHost);
  }
  std::unique_ptr<Tessaro_v2> plug;
};

TEST_F(WrapperTest, EditorChangesAreAutomatedForTheParametersTheHostSees) {
  gCalls.clear();
  plug->SetParameterFromEditor(1, 0.5);
  plug->SetParameterFromEditor(17, 1.0);  // the last one the host sees
  plug->SetParameterFromEditor(20, 1.0);  // internal: changed, but not named to the host
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[0].opcode, vst2::audioMasterAutomate);
  EXPECT_EQ(gCalls[0].index, 1);
  EXPECT_EQ(gCalls[0].opt, 0.5f);
  EXPECT_EQ(gCalls[1].index, 17);
  EXPECT_NEAR(plug->GetParam(1)->Value(), 36.0 * std::pow(0.5, 1.5), 1e-12);
  EXPECT_EQ(plug->GetParam(20)->Value(), 8.0);
  plug->HostBeginEdit(3);
  plug->HostEndEdit(3);
  EXPECT_EQ(gCalls[2].opcode, vst2::audioMasterBeginEdit);
  EXPECT_EQ(gCalls[3].opcode, vst2::audioMasterEndEdit);
  EXPECT_EQ(gCalls[3].index, 3);
}

TEST_F(WrapperTest, HostIsIdentifiedOnceWithItsVersion) {
  EXPECT_EQ(plug->HostId(), 1);
  EXPECT_EQ(plug->HostVersion(), (0 << 16) | (62 << 8) | 90);
  gProduct = "Cubase";
  EXPECT_EQ(plug->HostId(), 1);  // stored: asked only once
}

TEST_F(WrapperTest, AnAbsurdVendorVersionStaysInRange) {
  gVendorVersion = 2147483647;  // clamped to 32767.00.00
  EXPECT_EQ(plug->HostId(), 1);
  EXPECT_EQ(plug->HostVersion(), 32767 * 65536);
}

TEST_F(WrapperTest, HostWithoutProductStringHasVersionZero) {
  gProduct = "";
  gVendorVersion = 1234;
  EXPECT_EQ(plug->HostId(), 0);
  EXPECT_EQ(plug->HostVersion(), 0);
}

TEST_F(WrapperTest, TimeQueries) {
  gTime.samplePos = 99.6;
  gTime.tempo = 128.0;
  gTime.flags = vst2::kVstTempoValid | vst2::kVstTransportPlaying | vst2::kVstTimeSigValid;
  gTime.timeSigNumerator = 7;
  gTime.timeSigDenominator = 8;
  gTime.ppqPos = 12.0;  // not flagged valid: keeps the caller's value
  EXPECT_EQ(plug->HostSamplePosition(), 100);
  EXPECT_EQ(plug->HostTempo(), 128.0);
  int num = -1, den = -1;
  plug->HostTimeSignature(&num, &den);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(den, 8);
  HostTimeInfo info;
  info.ppqPos = -3.0;
  plug->QueryHostTime(info);
  EXPECT_EQ(info.samplePos, 99.6);
  EXPECT_EQ(info.tempo, 128.0);
  EXPECT_EQ(info.ppqPos, -3.0);
  EXPECT_EQ(info.numerator, 7);
  EXPECT_TRUE(info.transportIsRunning);
  EXPECT_FALSE(info.transportLoopEnabled);

  gTime.flags = 0;
  EXPECT_EQ(plug->HostTempo(), 0.0);
  gTime.samplePos = -5.0;
  EXPECT_EQ(plug->HostSamplePosition(), 0);
  EXPECT_FALSE(plug->IsRenderingOffline());
  gProcessLevel = vst2::kVstProcessLevelOffline;
  EXPECT_TRUE(plug->IsRenderingOffline());
}

TEST_F(WrapperTest, LatencyReportUpdatesTheRecordWithoutTellingTheHost) {
  gCalls.clear();
  plug->SetReportedLatency(321);
  EXPECT_EQ(plug->Effect()->initialDelay, 321);
  EXPECT_EQ(plug->Latency(), 321);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(WrapperTest, UnusedProgramSlotsAreNamedUserPresetsOnRecall) {
  IPlugBase& base = *plug;
  // Slots 15..19 are still uninitialised: the entry point did not run.
  ASSERT_TRUE(base.RecallProgram(17));
  EXPECT_STREQ(base.GetProgram(17)->name, "user preset 1");
  ASSERT_TRUE(base.RecallProgram(15));
  EXPECT_STREQ(base.GetProgram(15)->name, "user preset 2");
  EXPECT_FALSE(base.RecallProgram(20));
  EXPECT_EQ(base.CurrentProgram(), 15);
}

TEST_F(WrapperTest, ProgramTextsPadWithZeros) {
  IPlugBase& base = *plug;
  base.AddProgramFromBase64("padded", "Zm9v", 8);  // "foo" + five zero bytes
  const IProgramSlot* slot = base.GetProgram(15);
  ASSERT_TRUE(slot->initialized);
  EXPECT_STREQ(slot->name, "padded");
  ASSERT_EQ(slot->state.Size(), 8);
  EXPECT_EQ(std::memcmp(slot->state.Data(), "foo\0\0\0\0\0", 8), 0);
  EXPECT_EQ(base.BuiltInPrograms().back().first, "Zm9v");
}

}  // namespace
}  // namespace tessaro
