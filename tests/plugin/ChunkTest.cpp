// Program and bank chunks as hosts store them in projects.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/vst2.h"
#include "tests/plugin/PluginFixture.h"

namespace tessaro::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::int32_t IntAt(const Bytes& b, std::size_t at) {
  std::int32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

TEST_F(PluginTest, ProgramChunkStartsWithTheFrameworkHeaderAndRoundTrips) {
  plugin->SetParameter(0, 0.75f);
  plugin->SetParameter(10, 1.0f);
  const Bytes chunk = plugin->GetChunk(true);
  ASSERT_GT(chunk.size(), 8u);
  EXPECT_EQ(IntAt(chunk, 0), 0x70666674);
  EXPECT_EQ(IntAt(chunk, 4), 0x00010000);

  plugin->SetParameter(0, 0.0f);
  plugin->SetParameter(10, 0.0f);
  EXPECT_EQ(plugin->SetChunk(chunk, true), 1);
  EXPECT_EQ(plugin->ParamDisplay(0), "15.0");
  EXPECT_EQ(plugin->ParamDisplay(10), "16X");
  EXPECT_EQ(plugin->GetChunk(true), chunk);
}

TEST_F(PluginTest, HeaderOnlyChunkAnswersZero) {
  const Bytes header = {0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0};
  EXPECT_EQ(plugin->SetChunk(header, true), 0);
  EXPECT_EQ(plugin->SetChunk(header, false), 0);
  EXPECT_EQ(plugin->SetChunk({}, true), 0);
}

TEST_F(PluginTest, ChunkWithoutHeaderIsReadFromTheStartEvenAsBank) {
  plugin->SetParameter(0, 0.75f);
  const Bytes chunk = plugin->GetChunk(true);
  const Bytes bare(chunk.begin() + 8, chunk.end());
  plugin->SetParameter(0, 0.0f);
  // Index 0 asks for a bank, but without the header it is one program state.
  EXPECT_EQ(plugin->SetChunk(bare, false), 1);
  EXPECT_EQ(plugin->ParamDisplay(0), "15.0");
}

TEST_F(PluginTest, BankChunkRoundTripsSlotBySlot) {
  const char* names[] = {"First", "Second", "Third"};
  const float trims[] = {0.25f, 0.5f, 0.75f};
  for (int i = 0; i < 3; ++i) {
    plugin->SetProgram(15 + i);
    plugin->SetParameter(0, trims[i]);
    plugin->SetProgramName(names[i]);
  }
  plugin->SetProgram(16);
  const Bytes bank = plugin->GetChunk(false);
  ASSERT_GT(bank.size(), 8u);

  auto other = LoadPlugin();
  ASSERT_TRUE(other);
  other->Start();
  ASSERT_EQ(other->SetChunk(bank, false), 1);
  EXPECT_EQ(other->Program(), 0);  // the bank restores slots; the host selects
  const char* displays[] = {"-3.0", "6.0", "15.0"};
  for (int i = 0; i < 3; ++i) {
    std::string name;
    ASSERT_TRUE(other->ProgramNameIndexed(15 + i, &name));
    EXPECT_EQ(name, names[i]);
    other->SetProgram(15 + i);
    EXPECT_EQ(other->ParamDisplay(0), displays[i]) << i;
  }
  // A loaded bank holds every slot as this version writes it, so from the
  // second generation on a bank reloads byte for byte.
  other->SetProgram(16);
  const Bytes second = other->GetChunk(false);
  auto third = LoadPlugin();
  ASSERT_TRUE(third);
  third->Start();
  ASSERT_EQ(third->SetChunk(second, false), 1);
  third->SetProgram(16);
  EXPECT_EQ(third->GetChunk(false), second);
}

TEST_F(PluginTest, GetChunkWithNullPointerWritesNothing) {
  EXPECT_EQ(plugin->Dispatch(vst2::effGetChunk, 1, 0, nullptr), 0);
  EXPECT_EQ(plugin->Dispatch(vst2::effGetChunk, 0, 0, nullptr), 0);
}

TEST_F(PluginTest, SetChunkRejectsNegativeSizes) {
  std::uint8_t bytes[16] = {};
  EXPECT_EQ(plugin->Dispatch(vst2::effSetChunk, 1, -5, bytes), 0);
}

}  // namespace
}  // namespace tessaro::testing
