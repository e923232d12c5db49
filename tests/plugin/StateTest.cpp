// The plug-in state layout: what SaveState writes and LoadState accepts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <future>
#include <filesystem>
#include <cstring>
#include <memory>

#include "plugin/Tessaro_v2.h"
#include "tests/plugin/PluginFixture.h"

namespace tessaro {
namespace {

std::intptr_t SilentHost(AEffect*, std::int32_t, std::int32_t, std::intptr_t, void*, float) { return 0; }

class StateTest : public ::testing::Test {
 protected:
  void SetUp() override { plug = std::make_unique<Tessaro_v2>(&SilentHost); }
  double Value(int i) { return plug->GetParam(i)->Value(); }
  std::unique_ptr<Tessaro_v2> plug;
};

// An older state, written field by field: no scale field, the given version,
// nine internal values; the preset-file fields from version 20010 on.
IStateChunk OlderState(double version, const double (&values)[27]) {
  IStateChunk c;
  c.PutInt(18);
  c.PutInt(9);
  for (int i = 0; i < 7; ++i) c.PutDouble(-1.0);
  c.PutDouble(version);
  c.PutInt(2);
  c.PutInt(Tessaro_v2::kKnobListEnd);
  c.PutInt(Tessaro_v2::kKnobListEnd);
  DisplaySettings display;
  display.curves.resize(6);
  display.WriteRecord(c, 1.0);
  c.PutInt(7);
  if (version >= 20010.0) {
    c.PutDouble(1.0);
    c.PutString("older.xml");
    c.PutInt(4);
  }
  for (double v : values) c.PutDouble(v);
  return c;
}

constexpr double kOlderValues[27] = {3.5, 12, -1.0, 2, 1, 2, 1, 60, -48, 4, 3, 1, 0, 0, 1, 5, 10, 20,
                                     1, 1, 7, 0, 0, 0, 0, 0, 0};

TEST_F(StateTest, SavedStateHasTheDocumentedLayout) {
  IStateChunk c;
  ASSERT_TRUE(plug->SaveState(c));
  std::int32_t i32 = 0;
  double d = 0;
  int pos = c.GetInt(&i32, 0);
  EXPECT_EQ(i32, 18);
  pos = c.GetInt(&i32, pos);
  EXPECT_EQ(i32, 10);
  for (int k = 0; k < 7; ++k) {
    pos = c.GetDouble(&d, pos);
    EXPECT_EQ(d, -1.0);
  }
  pos = c.GetDouble(&d, pos);
  EXPECT_EQ(d, 1.0);  // scale
  pos = c.GetDouble(&d, pos);
  EXPECT_EQ(d, 20110.0);
  pos = c.GetInt(&i32, pos);
  EXPECT_EQ(i32, 1);
  pos = c.GetInt(&i32, pos);
  EXPECT_EQ(i32, kMarginLevel);  // the one knob with switchable ranges
  pos = c.GetInt(&i32, pos);
  EXPECT_EQ(i32, 0);
  pos = c.GetInt(&i32, pos);
  EXPECT_EQ(i32, Tessaro_v2::kKnobListEnd);
  pos = c.GetInt(&i32, pos);
  EXPECT_EQ(i32, Tessaro_v2::kKnobListEnd);
  // The parameters are the last 28 doubles.
  EXPECT_EQ(plug->ParamsStart(), c.Size() - 28 * 8);
  EXPECT_EQ(plug->Param18End(), plug->ParamsStart() + 19 * 8);
  pos = c.GetDouble(&d, plug->ParamsStart() + kMarginLevel * 8);
  EXPECT_EQ(d, -0.5);
  pos = c.GetDouble(&d, plug->ParamsStart() + kHistory * 8);
  EXPECT_EQ(d, 30.0);
}

TEST_F(StateTest, RoundTripKeepsParametersAndEditorFields) {
  plug->GetParam(kInputTrim)->Set(4.2);
  plug->GetParam(kAmount)->Set(9.5);
  plug->GetParam(kOversampleRate)->Set(3);
  plug->GetParam(kTransientCharacter)->Set(12.3);
  for (int i = 0; i < ResizeState::kNumValues; ++i) plug->Resize().values[i] = 100.0 * i;
  plug->Resize().scale = 0.8;
  plug->BlendOperator() = 5;
  plug->Display().fftSize = 8192;
  plug->Display().background = {255, 1, 2, 3};
  IStateChunk saved;
  ASSERT_TRUE(plug->SaveState(saved));
  const DisplaySettings display = plug->Display();

  auto other = std::make_unique<Tessaro_v2>(&SilentHost);
  ASSERT_EQ(other->LoadState(saved, 0), saved.Size());
  for (int i = 0; i < kNumHostParams; ++i) EXPECT_EQ(other->GetParam(i)->Value(), Value(i)) << i;
  EXPECT_EQ(other->Resize().values, plug->Resize().values);
  EXPECT_EQ(other->Resize().scale, 0.8);
  EXPECT_EQ(other->BlendOperator(), 5);
  EXPECT_FALSE(plug->Presets().Path().empty());
  EXPECT_EQ(other->Presets().Path(), plug->Presets().Path());
  EXPECT_EQ(other->Presets().CurrentIndex(), plug->Presets().CurrentIndex());
  EXPECT_EQ(other->Display(), display);
  IStateChunk again;
  ASSERT_TRUE(other->SaveState(again));
  ASSERT_EQ(again.Size(), saved.Size());
  EXPECT_EQ(std::memcmp(again.Data(), saved.Data(), saved.Size()), 0);
}

TEST_F(StateTest, OlderLayoutLoadsEighteenValues) {
  for (double version : {20000.0, 20101.0}) {
    auto fresh = std::make_unique<Tessaro_v2>(&SilentHost);
    const std::string defaultLibrary = fresh->Presets().Path();
    const IStateChunk c = OlderState(version, kOlderValues);
    ASSERT_EQ(fresh->LoadState(c, 0), c.Size()) << version;
    for (int i = 0; i < kNumHostParams; ++i) EXPECT_EQ(fresh->GetParam(i)->Value(), kOlderValues[i]) << i;
    EXPECT_EQ(fresh->GetParam(kBypass)->Value(), 0.0);  // internal values are never restored
    // "Limiter Type" is not restored either: it follows the loaded "Limiter".
    EXPECT_EQ(fresh->GetParam(kLimiterType)->Value(), kOlderValues[kLimiter]);
    EXPECT_EQ(fresh->Resize().scale, 1.0);
    EXPECT_EQ(fresh->BlendOperator(), 7);
    // Below 20010 the state has no preset-file fields; from it on it names
    // "older.xml", which is not here: the default library stays, and no file
    // of that name is made.
    EXPECT_EQ(fresh->Presets().Path(), defaultLibrary);
    EXPECT_FALSE(std::filesystem::exists(fresh->Presets().Folder() + "older.xml"));
  }
}

TEST_F(StateTest, NoValueMarkerAndOutOfRangeValues) {
  double values[27];
  std::copy(std::begin(kOlderValues), std::end(kOlderValues), values);
  values[kInputTrim] = -8675309.0;
  values[kAmount] = 500.0;          // clamped to 36
  values[kHistory] = -3.0;          // clamped to 0.5
  values[kDbScale] = std::nan("");  // not a value at all
  plug->GetParam(kInputTrim)->Set(2.0);
  const IStateChunk c = OlderState(20000.0, values);
  ASSERT_GT(plug->LoadState(c, 0), 0);
  EXPECT_EQ(Value(kInputTrim), 2.0);
  EXPECT_EQ(Value(kAmount), 36.0);
  EXPECT_EQ(Value(kHistory), 0.5);
  EXPECT_EQ(Value(kDbScale), -24.0);
}

TEST_F(StateTest, TruncatedStatesFailAndKeepEveryParameterInRange) {
  plug->GetParam(kAmount)->Set(10.0);
  IStateChunk full;
  ASSERT_TRUE(plug->SaveState(full));
  for (int size = 0; size < full.Size(); ++size) {
    auto fresh = std::make_unique<Tessaro_v2>(&SilentHost);
    IStateChunk cut;
    cut.Assign(full.Data(), size);
    EXPECT_EQ(fresh->LoadState(cut, 0), -1) << size;
    for (int i = 0; i < kNumParams; ++i) {
      const IParameter* p = fresh->GetParam(i);
      EXPECT_TRUE(p->Value() >= p->Min() && p->Value() <= p->Max()) << "size " << size << " param " << i;
    }
  }
}

TEST_F(StateTest, MissingVersionFails) {
  IStateChunk c;
  c.PutInt(18);
  c.PutInt(10);
  for (int i = 0; i < 7; ++i) c.PutDouble(-1.0);
  c.PutDouble(1.0);  // a scale
  c.PutDouble(0.0);  // version zero
  c.PutInt(1);
  EXPECT_EQ(plug->LoadState(c, 0), -1);
  EXPECT_FALSE(plug->IsLoading());
  EXPECT_EQ(plug->LoadState(c, -1), -1);
}

TEST_F(StateTest, PostProductionRangeTravelsWithTheState) {
  auto& knob = plug->Knobs().at(0);
  ASSERT_TRUE(knob.SelectValuePoint(*plug->GetParam(kMarginLevel), 1, -6.0, true));
  EXPECT_EQ(plug->GetParam(kMarginLevel)->Min(), -10.0);
  IStateChunk saved;
  ASSERT_TRUE(plug->SaveState(saved));

  auto other = std::make_unique<Tessaro_v2>(&SilentHost);
  ASSERT_GT(other->LoadState(saved, 0), 0);
  const IParameter* margin = other->GetParam(kMarginLevel);
  EXPECT_EQ(other->Knobs().at(0).SelectedPoint(), 1);
  EXPECT_EQ(margin->Min(), -10.0);
  EXPECT_EQ(margin->Max(), 0.0);
  EXPECT_EQ(margin->Value(), -6.0);  // would have been clamped to -1.5 in the first range
  EXPECT_EQ(margin->Step(), 0.1);
}

struct FactoryCase {
  int slot;
  const char* name;
  double limiter, limit, transient;
};

TEST(FactoryPrograms, SlotsHoldTheirCharacterValues) {
  const FactoryCase cases[] = {
      {2, "Traditional", 1, 0, 60}, {3, "Deep", 2, 77, 21},        {4, "Aggressive", 3, 60, 81},
      {5, "Smooth", 4, 24, 24},     {6, "Loud/Punch", 5, 78, 60},  {7, "Vintage Bus", 6, 16, 45},
      {8, "Tessaro 2", 7, 55, 80},  {9, "Clean", 8, 25, 45},       {10, "Color-Deep", 0, 50, 50},
      {13, "Color-Mono", 0, 50, 50}, {14, "Color-Orange", 0, 50, 50},
  };
  auto plug = std::make_unique<Tessaro_v2>(&SilentHost);
  plug->GetParam(kInputTrim)->Set(5.0);
  plug->GetParam(kMarginLevel)->Set(-1.2);
  for (const FactoryCase& c : cases) {
    const IProgramSlot* slot = plug->GetProgram(c.slot);
    EXPECT_STREQ(slot->name, c.name);
    EXPECT_EQ(slot->state.Size(), 452);
    // The last 12 bytes are padding.
    for (int i = 440; i < 452; ++i) EXPECT_EQ(slot->state.Data()[i], 0) << c.name;
    ASSERT_TRUE(plug->RecallProgram(c.slot)) << c.name;
    EXPECT_EQ(plug->GetParam(kLimiter)->Value(), c.limiter) << c.name;
    EXPECT_EQ(plug->GetParam(kLimitCharacter)->Value(), c.limit) << c.name;
    EXPECT_EQ(plug->GetParam(kTransientCharacter)->Value(), c.transient) << c.name;
    EXPECT_EQ(plug->GetParam(kInputTrim)->Value(), 0.0) << c.name;
    EXPECT_EQ(plug->GetParam(kMarginLevel)->Value(), -0.5) << c.name;
    const double expectedWidth = c.slot == 14 ? 1280.0 : -1.0;
    EXPECT_EQ(plug->Resize().values[1], expectedWidth) << c.name;
    EXPECT_EQ(plug->BlendOperator(), 19);
  }
  EXPECT_STREQ(plug->GetProgram(0)->name, "Default");
  EXPECT_STREQ(plug->GetProgram(1)->name, "Kest-Basic");
}

TEST(FactoryPrograms, Slot14RestoresTheOrangeEditorSize) {
  auto plug = std::make_unique<Tessaro_v2>(&SilentHost);
  ASSERT_TRUE(plug->RecallProgram(14));
  const std::array<double, 7> orange = {0, 1280, 720, 960, 1600, 540, 900};
  EXPECT_EQ(plug->Resize().values, orange);
  ASSERT_TRUE(plug->RecallProgram(3));
  const std::array<double, 7> unset = {-1, -1, -1, -1, -1, -1, -1};
  EXPECT_EQ(plug->Resize().values, unset);
}

TEST(FactoryPrograms, HostSeesAggressiveThroughTheDispatcher) {
  auto plugin = testing::LoadPlugin();
  ASSERT_TRUE(plugin);
  plugin->Start();
  plugin->SetProgram(4);
  EXPECT_EQ(plugin->ProgramName(), "Aggressive");
  EXPECT_EQ(plugin->ParamDisplay(kLimiter), "3");
  EXPECT_EQ(plugin->ParamDisplay(kLimitCharacter), "60.0");
  EXPECT_EQ(plugin->ParamDisplay(kTransientCharacter), "81.0");
  EXPECT_EQ(plugin->ParamDisplay(kInputTrim), "0.0");
  EXPECT_EQ(plugin->ParamDisplay(kMarginLevel), "-0.50");
}

}  // namespace
}  // namespace tessaro

namespace tessaro {
namespace {

TEST_F(StateTest, LoadingWhileLearningKeepsTheLoadedTrimAndStopsLearning) {
  plug->GetParam(kInputTrim)->Set(6.0);
  IStateChunk saved;
  ASSERT_TRUE(plug->SaveState(saved));
  plug->GetParam(kAutoLearnTrim)->Set(1.0);
  plug->ParameterChanged(kAutoLearnTrim, kSourceHost);
  ASSERT_TRUE(plug->LearnOn());
  ASSERT_GT(plug->LoadState(saved, 0), 0);
  EXPECT_EQ(plug->GetParam(kInputTrim)->Value(), 6.0);
  EXPECT_FALSE(plug->LearnOn());
  EXPECT_EQ(plug->GetParam(kAutoLearnTrim)->Value(), 0.0);
}

TEST_F(StateTest, AnUnknownKnobRangeFallsBackToTheFirst) {
  IStateChunk saved;
  ASSERT_TRUE(plug->SaveState(saved));
  // The knob pair follows the version (8 bytes) and the reserved int after
  // the header, the seven resize values and the scale.
  const int pairAt = 8 + 7 * 8 + 8 + 8 + 4;
  std::int32_t p = 0, r = 7;
  ASSERT_GT(saved.GetInt(&p, pairAt), 0);
  ASSERT_EQ(p, kMarginLevel);
  std::memcpy(saved.Data() + pairAt + 4, &r, 4);
  ASSERT_GT(plug->LoadState(saved, 0), 0);
  EXPECT_EQ(plug->Knobs().at(0).SelectedPoint(), 0);
  EXPECT_EQ(plug->GetParam(kMarginLevel)->Min(), -1.5);
  EXPECT_EQ(plug->GetParam(kMarginLevel)->Max(), 0.0);
}

TEST_F(StateTest, APresetPathNamingAFifoDoesNotBlockTheLoad) {
  const std::filesystem::path fifo = std::filesystem::temp_directory_path() /
                                     ("tessaro-fifo-" + std::to_string(::getpid()));
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  IStateChunk c;
  c.PutInt(18);
  c.PutInt(10);
  for (int i = 0; i < 7; ++i) c.PutDouble(-1.0);
  c.PutDouble(1.0);
  c.PutDouble(20110.0);
  c.PutInt(1);
  c.PutInt(Tessaro_v2::kKnobListEnd);
  c.PutInt(Tessaro_v2::kKnobListEnd);
  plug->Display().WriteRecord(c);
  c.PutInt(19);
  c.PutDouble(1.0);
  c.PutString(fifo.string());
  c.PutInt(0);
  for (int i = 0; i < kNumParams; ++i) c.PutDouble(plug->GetParam(i)->Value());
  auto load = std::async(std::launch::async, [&] { return plug->LoadState(c, 0); });
  if (load.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "LoadState blocked on the FIFO";
    std::filesystem::remove(fifo);
    std::quick_exit(1);
  }
  EXPECT_EQ(load.get(), c.Size());
  EXPECT_NE(plug->Presets().Path(), fifo.string());
  std::filesystem::remove(fifo);
}

}  // namespace
}  // namespace tessaro
