// The host against a real third-party VST 2.4 binary: the LSP stereo limiter
// from Debian's lsp-plugins-vst. Built by other people against the original
// interface, it shows our record layouts and calling sequence match it. Never
// opens the editor: tests run without a display.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "RunCommand.h"
#include "host/VstHost.h"

namespace tessaro::host {
namespace {

constexpr const char* kLimiterPath = TESSARO_LSP_LIMITER_PATH;

// LSP's wrapper unloads its core library on effClose while the core's globals
// still point at heap blocks, which LeakSanitizer then reports as our leak.
// Holding an extra reference on every library loaded from the plug-in's
// folder keeps those blocks reachable; it matters only in sanitizer builds.
void PinPluginLibraries() {
  static bool pinned = false;
  if (pinned) return;
  pinned = true;
  struct Found {
    std::string folder;
    std::vector<std::string> names;
  } found{std::filesystem::path(kLimiterPath).parent_path().string() + "/", {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* f = static_cast<Found*>(data);
        if (info->dlpi_name != nullptr && std::string(info->dlpi_name).rfind(f->folder, 0) == 0) {
          f->names.emplace_back(info->dlpi_name);
        }
        return 0;
      },
      &found);
  for (const auto& name : found.names)
    dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);  // never closed
}

class LspLimiterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kLimiterPath)) {
      GTEST_SKIP() << kLimiterPath << " is not installed (Debian package lsp-plugins-vst)";
    }
    HostOptions options;
    options.sampleRate = 48000.0;
    options.blockSize = 512;
    std::string error;
    plugin_ = Plugin::Load(kLimiterPath, options, &error);
    ASSERT_NE(plugin_, nullptr) << error;
    PinPluginLibraries();
  }

  // Runs blocks of silence; returns false when any output sample was left
  // unwritten (the buffers start as NaN) or is not finite.
  bool ProcessSilence(int blocks) {
    constexpr std::int32_t kFrames = 512;
    std::vector<float> inL(kFrames, 0.0f), inR(kFrames, 0.0f), outL(kFrames), outR(kFrames);
    float* in[] = {inL.data(), inR.data()};
    float* out[] = {outL.data(), outR.data()};
    for (int b = 0; b < blocks; ++b) {
      outL.assign(kFrames, std::nanf(""));
      outR.assign(kFrames, std::nanf(""));
      plugin_->ProcessFloat(in, out, kFrames);
      for (std::int32_t i = 0; i < kFrames; ++i) {
        if (!std::isfinite(outL[i]) || !std::isfinite(outR[i])) return false;
        // A limiter fed silence has nothing to add to it.
        if (std::fabs(outL[i]) > 1e-6f || std::fabs(outR[i]) > 1e-6f) return false;
      }
    }
    return true;
  }

  std::unique_ptr<Plugin> plugin_;
};

TEST_F(LspLimiterTest, IdentifiesAsAStereoEffect) {
  const AEffect* effect = plugin_->effect();
  EXPECT_EQ(effect->magic, vst2::kEffectMagic);
  EXPECT_EQ(effect->resvd1, reinterpret_cast<std::intptr_t>(plugin_.get()));
  plugin_->Open();
  EXPECT_FALSE(plugin_->EffectName().empty());
  EXPECT_FALSE(plugin_->VendorString().empty());
  EXPECT_EQ(plugin_->NumInputs(), 2);
  EXPECT_EQ(plugin_->NumOutputs(), 2);
  EXPECT_GT(plugin_->NumParams(), 0);
  EXPECT_EQ(plugin_->VstVersion(), vst2::kVstVersion);
  // Fields past the middle of the record: a layout slip would scramble these.
  EXPECT_NE(effect->uniqueID, 0);
  EXPECT_NE(effect->processReplacing, nullptr);
  EXPECT_TRUE(plugin_->Flags() & vst2::effFlagsCanReplacing);
}

TEST_F(LspLimiterTest, EveryParameterHasANameAndANormalisedValue) {
  plugin_->Start();
  for (std::int32_t i = 0; i < plugin_->NumParams(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(plugin_->ParamName(i).empty());
    const float value = plugin_->GetParameter(i);
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_GE(value, 0.0f);
    EXPECT_LE(value, 1.0f);
  }
}

TEST_F(LspLimiterTest, SetParameterIsReadBackAndChangesTheDisplay) {
  plugin_->Start();
  // Index 1 is the input gain on this limiter; any continuous parameter would do.
  const std::int32_t index = 1;
  const float before = plugin_->GetParameter(index);
  const std::string displayBefore = plugin_->ParamDisplay(index);
  const float target = before < 0.5f ? 0.9f : 0.1f;
  plugin_->SetParameter(index, target);
  EXPECT_NEAR(plugin_->GetParameter(index), target, 1e-3f);
  EXPECT_NE(plugin_->ParamDisplay(index), displayBefore);
}

TEST_F(LspLimiterTest, ProcessingSilenceAfterStartWritesFiniteSilence) {
  plugin_->Start();
  EXPECT_TRUE(ProcessSilence(8));
}

TEST_F(LspLimiterTest, LookaheadLatencyIsAnnouncedThroughIoChanged) {
  plugin_->Start();
  ASSERT_TRUE(ProcessSilence(2));
  EXPECT_GT(plugin_->Latency(), 0);
  bool announced = false;
  for (const HostCall& call : plugin_->RecordedCalls()) {
    announced = announced || call.opcode == vst2::audioMasterIOChanged;
  }
  EXPECT_TRUE(announced);
}

TEST_F(LspLimiterTest, ChunksRestoreParameters) {
  if (!(plugin_->Flags() & vst2::effFlagsProgramChunks)) {
    GTEST_SKIP() << "the plug-in keeps no chunks";
  }
  plugin_->Start();
  const std::int32_t index = 1;
  for (bool isProgram : {false, true}) {
    SCOPED_TRACE(isProgram ? "program chunk" : "bank chunk");
    const float original = plugin_->GetParameter(index);
    const std::vector<std::uint8_t> saved = plugin_->GetChunk(isProgram);
    ASSERT_FALSE(saved.empty());

    plugin_->SetParameter(index, original < 0.5f ? 0.9f : 0.1f);
    ASSERT_GT(std::fabs(plugin_->GetParameter(index) - original), 0.1f);
    EXPECT_NE(plugin_->GetChunk(isProgram), saved);

    EXPECT_NE(plugin_->SetChunk(saved, isProgram), 0);
    EXPECT_NEAR(plugin_->GetParameter(index), original, 1e-4f);
    EXPECT_EQ(plugin_->GetChunk(isProgram), saved);
  }
  EXPECT_TRUE(ProcessSilence(1));
}

TEST_F(LspLimiterTest, InfoCommandDescribesIt) {
  plugin_->Open();
  const std::string name = plugin_->EffectName();
  const std::string firstParam = plugin_->ParamName(0);
  const std::int32_t numParams = plugin_->NumParams();
  const std::int32_t numPrograms = plugin_->NumPrograms();
  plugin_.reset();

  // The child process cannot pin LSP's core library (see above); in sanitizer
  // builds its leak report would be about LSP, not about us.
  const auto r = tessaro::testing::RunTessaro(
      {"info", kLimiterPath}, "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 ");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  using tessaro::testing::HasLine;
  EXPECT_TRUE(HasLine(r.out, "name:            " + name)) << r.out;
  EXPECT_TRUE(HasLine(r.out, "io:              2 in / 2 out")) << r.out;
  EXPECT_TRUE(HasLine(r.out, "parameters:      " + std::to_string(numParams))) << r.out;
  EXPECT_NE(r.out.find("program-chunks"), std::string::npos) << r.out;
  // One table row per parameter, the first one named as the host reads it.
  const auto lines = tessaro::testing::Lines(r.out);
  const auto header = std::find(lines.begin(), lines.end(), "parameters:");
  ASSERT_NE(header, lines.end());
  ASSERT_GT(lines.end() - header, numParams + 2);
  EXPECT_NE(header[2].find(" 0  " + firstParam + " "), std::string::npos) << header[2];
  EXPECT_EQ(header[numParams + 2], "");
  const auto programs = std::find(header, lines.end(), "programs:");
  ASSERT_NE(programs, lines.end());
  if (numPrograms == 0) {
    ASSERT_EQ(lines.end() - programs, 2);
    EXPECT_EQ(programs[1], "  (none)");
  } else {
    EXPECT_EQ(lines.end() - programs, numPrograms + 2);  // heading, column titles, rows
  }
}

}  // namespace
}  // namespace tessaro::host
