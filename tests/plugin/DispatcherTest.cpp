// What a host sees of the plug-in through the dispatcher and the callbacks.
#include <gtest/gtest.h>

#include <cstring>

#include "core/vst2.h"
#include "tests/plugin/PluginFixture.h"

namespace tessaro::testing {
namespace {

using namespace vst2;

TEST_F(PluginTest, IdentityInTheEffectRecord) {
  const AEffect* e = plugin->effect();
  EXPECT_EQ(e->magic, kEffectMagic);
  EXPECT_EQ(e->uniqueID, FourCC('Q', '7', 'm', 'R'));
  EXPECT_EQ(e->version, 20110);
  EXPECT_EQ(e->numParams, 18);
  EXPECT_EQ(e->numPrograms, 20);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  // The look-ahead of "KEST-BASIC", 7 ms at 44.1 kHz, once the host set the rate.
  EXPECT_EQ(e->initialDelay, 309);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanReplacing | effFlagsProgramChunks | effFlagsCanDoubleReplacing |
                          effFlagsCanMono);
  EXPECT_EQ(plugin->EffectName(), "Tessaro_v2");
  EXPECT_EQ(plugin->VendorString(), "Kest-Audio");
  EXPECT_EQ(plugin->ProductString(), "");
  EXPECT_EQ(plugin->VendorVersion(), 20110);
  EXPECT_EQ(plugin->VstVersion(), 2400);
  EXPECT_EQ(plugin->Category(), kPlugCategEffect);
  EXPECT_EQ(Dispatch(effIdentify), FourCC('N', 'v', 'E', 'f'));
  EXPECT_EQ(Dispatch(effGetTailSize), 0);
}

TEST_F(PluginTest, CanDoAnswers) {
  struct Case { const char* text; std::intptr_t answer; };
  for (const Case c : {Case{"receiveVstTimeInfo", 1}, Case{"receiveVstMidiEvent", 0}, Case{"sendVstEvents", 0},
                       Case{"sendVstMidiEvent", 0}, Case{"receiveVstEvents", 0},
                       Case{"hasCockosExtensions", static_cast<std::intptr_t>(0xBEEF0000)},
                       Case{"hasCockosViewAsConfig", static_cast<std::intptr_t>(0xBEEF0000)},
                       Case{"ReceiveVstTimeInfo", 0}, Case{"", 0}, Case{"bypass", 0}}) {
    EXPECT_EQ(plugin->CanDo(c.text), c.answer) << c.text;
  }
  EXPECT_EQ(Dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(PluginTest, UnlistedOpcodesAnswerZero) {
  for (int opcode : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 38, 39, 40, 43, 44, 46, 54, 55, 56, 57, 59, 60,
                     61, 62, 63, 64, 65, 67, 68, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 1000, -1}) {
    EXPECT_EQ(Dispatch(opcode, 0, 0, nullptr), 0) << opcode;
  }
  EXPECT_EQ(Dispatch(effEditIdle), 0);
  EXPECT_EQ(Dispatch(effIdle), 0);
  EXPECT_EQ(Dispatch(effProcessVarIo), 0);
}

TEST_F(PluginTest, NullPointersAnswerZeroAndChangeNothing) {
  for (int opcode : {effGetChunk, effSetChunk, effProcessEvents, effGetEffectName, effGetVendorString,
                     effGetProductString, effGetProgramNameIndexed, effGetInputProperties, effGetOutputProperties,
                     effGetMidiKeyName, effEditGetRect}) {
    EXPECT_EQ(Dispatch(opcode, 0, 0, nullptr), 0) << opcode;
  }
  // These copy nothing without a buffer and must not crash.
  for (int opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName, effSetProgramName})
    EXPECT_EQ(Dispatch(opcode, 0, 0, nullptr), 0) << opcode;
  // String2Parameter answers 1 for a null text and leaves the value.
  const float before = plugin->GetParameter(1);
  EXPECT_EQ(Dispatch(effString2Parameter, 1, 0, nullptr), 1);
  EXPECT_EQ(plugin->GetParameter(1), before);
}

TEST_F(PluginTest, ParameterTextsAndBadIndices) {
  EXPECT_EQ(plugin->ParamName(0), "Input Trim");
  EXPECT_EQ(plugin->ParamLabel(0), "dB");
  EXPECT_EQ(plugin->ParamDisplay(2), "-0.50");
  EXPECT_EQ(plugin->ParamDisplay(3), "-0.5dB");
  EXPECT_EQ(plugin->ParamLabel(3), "");  // shown by name: no unit
  EXPECT_TRUE(plugin->CanBeAutomated(0));
  EXPECT_FALSE(plugin->CanBeAutomated(12));
  char buffer[64];
  for (int bad : {-1, 28, 1000}) {
    std::strcpy(buffer, "untouched");
    Dispatch(effGetParamName, bad, 0, buffer);
    EXPECT_STREQ(buffer, "untouched") << bad;
    Dispatch(effGetParamDisplay, bad, 0, buffer);
    Dispatch(effGetParamLabel, bad, 0, buffer);
    EXPECT_STREQ(buffer, "untouched") << bad;
    EXPECT_EQ(Dispatch(effCanBeAutomated, bad), 0);
    EXPECT_EQ(plugin->GetParameter(bad), 0.0f);
    plugin->SetParameter(bad, 0.5f);  // ignored, must not crash
  }
  // Internal parameters answer getParameter although the host sees 18.
  EXPECT_EQ(plugin->ParamName(18), "Bypass");
  plugin->SetParameter(18, 1.0f);
  EXPECT_EQ(plugin->GetParameter(18), 1.0f);
  EXPECT_EQ(plugin->ParamDisplay(18), "on");
}

TEST_F(PluginTest, SetParameterMapsThroughShapeAndStep) {
  plugin->SetParameter(1, 0.5f);  // Amount, shape 1.5: 36 * 0.5^1.5 = 12.73
  EXPECT_EQ(plugin->ParamDisplay(1), "12.73");
  plugin->SetParameter(10, 0.9f);  // Oversample Rate: 2.7 snaps to 3
  EXPECT_EQ(plugin->ParamDisplay(10), "16X");
  EXPECT_EQ(plugin->GetParameter(10), 1.0f);
  // Out-of-range and non-finite normalised values keep the parameter in range.
  plugin->SetParameter(0, -3.0f);
  EXPECT_EQ(plugin->ParamDisplay(0), "-12.0");
  plugin->SetParameter(0, 7.0f);
  EXPECT_EQ(plugin->ParamDisplay(0), "24.0");
  plugin->SetParameter(0, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(plugin->ParamDisplay(0), "24.0");
}

TEST_F(PluginTest, String2ParameterTable) {
  struct Case { int index; const char* text; std::intptr_t answer; const char* display; };
  const Case cases[] = {
      {10, "16X", 1, "16X"},
      {10, "16x", 0, "16X"},      // display texts match byte for byte
      {9, "LINEAR HQ", 1, "LINEAR HQ"},
      {3, "-0.1dB", 1, "-0.1dB"},
      {1, "9", 1, "9.00"},
      {1, "100", 1, "36.00"},     // clamped to max
      {0, "-40", 1, "-12.0"},     // clamped to min
      {0, "3.14159", 1, "3.1"},
      {0, "nan", 0, "3.1"},
      {0, "inf", 0, "3.1"},
      {0, "garbage", 1, "0.0"},   // atof reads no number as 0
      {28, "1", 0, nullptr},
      {-1, "1", 0, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plugin->String2Parameter(c.index, c.text), c.answer != 0) << c.index << " " << c.text;
    if (c.display) {
      EXPECT_EQ(plugin->ParamDisplay(c.index), c.display) << c.index << " " << c.text;
    }
  }
}

TEST_F(PluginTest, ProgramNamesAndSelection) {
  std::string name;
  EXPECT_TRUE(plugin->ProgramNameIndexed(0, &name));
  EXPECT_EQ(name, "Default");
  EXPECT_TRUE(plugin->ProgramNameIndexed(19, &name));
  EXPECT_EQ(name, "Empty");
  for (int bad : {20, -1, 1 << 20}) {
    EXPECT_FALSE(plugin->ProgramNameIndexed(bad, &name)) << bad;
    EXPECT_EQ(name, "");
  }
  plugin->SetProgram(19);
  EXPECT_EQ(plugin->Program(), 19);
  plugin->SetProgram(20);  // ignored
  plugin->SetProgram(-5);
  EXPECT_EQ(plugin->Program(), 19);
  plugin->SetProgramName("Mine");
  EXPECT_EQ(plugin->ProgramName(), "Mine");
  EXPECT_TRUE(plugin->ProgramNameIndexed(19, &name));
  EXPECT_EQ(name, "Mine");
}

TEST_F(PluginTest, ProgramSlotsKeepTheirOwnState) {
  plugin->SetProgram(15);
  plugin->SetParameter(0, 0.75f);  // Input Trim 15 dB
  plugin->SetProgramName("Loud");  // stores the current state in slot 15
  plugin->SetProgram(16);
  plugin->SetParameter(0, 0.25f);  // -3 dB
  plugin->SetProgramName("Soft");
  plugin->SetProgram(15);
  EXPECT_EQ(plugin->ParamDisplay(0), "15.0");
  plugin->SetProgram(16);
  EXPECT_EQ(plugin->ParamDisplay(0), "-3.0");
}

TEST_F(PluginTest, PinPropertiesAndSpeakers) {
  VstPinProperties pin{};
  ASSERT_EQ(Dispatch(effGetInputProperties, 0, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Input 1");
  EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
  ASSERT_EQ(Dispatch(effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_STREQ(pin.label, "Output 2");
  EXPECT_EQ(pin.flags, kVstPinIsActive);
  EXPECT_EQ(Dispatch(effGetInputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(Dispatch(effGetOutputProperties, -1, 0, &pin), 0);

  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<std::intptr_t>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->numChannels, 2);
  EXPECT_EQ(in->type, kSpeakerArrStereo);
  EXPECT_EQ(out->numChannels, 2);
}

TEST_F(PluginTest, MonoSpeakerArrangementSilencesTheSecondInput) {
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  EXPECT_EQ(Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<std::intptr_t>(&mono), nullptr), 1);
  Bypass();
  double a[8], b[8], oa[8], ob[8];
  for (int i = 0; i < 8; ++i) a[i] = b[i] = 0.25 * i;
  double* ins[] = {a, b};
  double* outs[] = {oa, ob};
  plugin->ProcessDouble(ins, outs, 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(oa[i], a[i]);
    EXPECT_EQ(ob[i], 0.0);  // the disconnected input reads its zeroed scratch buffer
  }
}

TEST_F(PluginTest, VendorSpecificExtensions) {
  char text[64] = "untouched";
  EXPECT_EQ(Dispatch(effVendorSpecific, effGetParamDisplay, 10, text, 1.0f), 0xBEEF);
  EXPECT_STREQ(text, "16X");
  EXPECT_EQ(Dispatch(effVendorSpecific, effGetParamDisplay, 0, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "6.0");  // -12 + 0.5 * 36
  std::strcpy(text, "untouched");
  EXPECT_EQ(Dispatch(effVendorSpecific, effGetParamDisplay, 99, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(Dispatch(effVendorSpecific, effGetParamDisplay, 0, nullptr, 0.5f), 0);
  EXPECT_EQ(Dispatch(effVendorSpecific, 8, 10), 0xBEEF);  // int parameter
  EXPECT_EQ(Dispatch(effVendorSpecific, 8, 0), 0);       // double parameter
  EXPECT_EQ(Dispatch(effVendorSpecific, 8, 28), 0);
  EXPECT_EQ(Dispatch(effVendorSpecific, 3, 0), 0);
}

TEST_F(PluginTest, TheEditorsRectangleAndNoWindowWithoutAParent) {
  ERect* rect = nullptr;
  EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, nullptr), 0);
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 720);
  EXPECT_EQ(rect->right, 1280);
  EXPECT_EQ(Dispatch(effEditOpen), 0);  // no parent window
  EXPECT_EQ(Dispatch(effEditIdle), 0);
  EXPECT_EQ(Dispatch(effEditClose), 1);
  MidiKeyName key{};
  std::strcpy(key.keyName, "x");
  EXPECT_EQ(Dispatch(effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");
}

TEST_F(PluginTest, MidiEventsAreForwardedToTheHost) {
  VstMidiEvent note{};
  note.type = kVstMidiType;
  note.byteSize = sizeof note;
  note.deltaFrames = 17;
  note.midiData[0] = static_cast<char>(0x90);
  note.midiData[1] = 60;
  note.midiData[2] = 100;
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof sysex;
  struct {
    std::int32_t numEvents;
    std::intptr_t reserved;
    VstEvent* events[3];
  } list{3, 0, {reinterpret_cast<VstEvent*>(&note), nullptr, reinterpret_cast<VstEvent*>(&sysex)}};
  plugin->ClearRecordedCalls();
  EXPECT_EQ(Dispatch(effProcessEvents, 0, 0, &list), 1);
  int forwarded = 0;
  for (const host::HostCall& call : plugin->RecordedCalls())
    if (call.opcode == audioMasterProcessEvents) ++forwarded;
  EXPECT_EQ(forwarded, 1);  // the short message goes back out; sysex is dropped
}

}  // namespace
}  // namespace tessaro::testing
