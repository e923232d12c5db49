// The VST 2.4 binary interface as hosts and plug-ins exchange it on x86-64:
// record layouts, dispatcher and host-callback opcodes, flags and constants.
// Written from the published opcode and field lists; field order and sizes are
// what a host built against the original interface expects, so never reorder.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vst2 {

constexpr std::int32_t FourCC(char a, char b, char c, char d) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                   (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                   static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

}  // namespace vst2

extern "C" {

struct AEffect;

using audioMasterCallback = std::intptr_t (*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                              std::intptr_t value, void* ptr, float opt);
using AEffectDispatcherProc = std::intptr_t (*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                                std::intptr_t value, void* ptr, float opt);
using AEffectProcessProc = void (*)(AEffect* effect, float** inputs, float** outputs, std::int32_t frames);
using AEffectProcessDoubleProc = void (*)(AEffect* effect, double** inputs, double** outputs,
                                          std::int32_t frames);
using AEffectSetParameterProc = void (*)(AEffect* effect, std::int32_t index, float value);
using AEffectGetParameterProc = float (*)(AEffect* effect, std::int32_t index);

struct AEffect {
  std::int32_t magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;  // deprecated accumulating call
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  std::int32_t numPrograms;
  std::int32_t numParams;
  std::int32_t numInputs;
  std::int32_t numOutputs;
  std::int32_t flags;
  std::intptr_t resvd1;
  std::intptr_t resvd2;
  std::int32_t initialDelay;
  std::int32_t realQualities;  // deprecated
  std::int32_t offQualities;   // deprecated
  float ioRatio;               // deprecated
  void* object;
  void* user;
  std::int32_t uniqueID;
  std::int32_t version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

struct ERect {
  std::int16_t top;
  std::int16_t left;
  std::int16_t bottom;
  std::int16_t right;
};

struct VstEvent {
  std::int32_t type;
  std::int32_t byteSize;
  std::int32_t deltaFrames;
  std::int32_t flags;
  char data[16];
};

struct VstEvents {
  std::int32_t numEvents;
  std::intptr_t reserved;
  VstEvent* events[2];  // variable length in practice: numEvents entries
};

struct VstMidiEvent {
  std::int32_t type;
  std::int32_t byteSize;
  std::int32_t deltaFrames;
  std::int32_t flags;
  std::int32_t noteLength;
  std::int32_t noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent {
  std::int32_t type;
  std::int32_t byteSize;
  std::int32_t deltaFrames;
  std::int32_t flags;
  std::int32_t dumpBytes;
  std::intptr_t resvd1;
  char* sysexDump;
  std::intptr_t resvd2;
};

struct VstPinProperties {
  char label[64];
  std::int32_t flags;
  std::int32_t arrangementType;
  char shortLabel[8];
  char future[48];
};

struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[64];
  std::int32_t type;
  char future[28];
};

struct VstSpeakerArrangement {
  std::int32_t type;
  std::int32_t numChannels;
  VstSpeakerProperties speakers[8];  // variable length in practice
};

struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  std::int32_t timeSigNumerator;
  std::int32_t timeSigDenominator;
  std::int32_t smpteOffset;
  std::int32_t smpteFrameRate;
  std::int32_t samplesToNextClock;
  std::int32_t flags;
};

struct MidiKeyName {
  std::int32_t thisProgramIndex;
  std::int32_t thisKeyNumber;
  char keyName[64];
  std::int32_t reserved;
  std::int32_t flags;
};

}  // extern "C"

static_assert(sizeof(AEffect) == 192, "AEffect layout");
static_assert(offsetof(AEffect, flags) == 56 && offsetof(AEffect, initialDelay) == 80 &&
                  offsetof(AEffect, object) == 96 && offsetof(AEffect, uniqueID) == 112 &&
                  offsetof(AEffect, processReplacing) == 120,
              "AEffect field offsets");
static_assert(sizeof(ERect) == 8, "ERect layout");
static_assert(sizeof(VstEvent) == 32 && sizeof(VstMidiEvent) == 32, "event layout");
static_assert(sizeof(VstMidiSysexEvent) == 48, "sysex event layout");
static_assert(offsetof(VstEvents, events) == 16, "VstEvents layout");
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties layout");
static_assert(sizeof(VstSpeakerProperties) == 112 && sizeof(VstSpeakerArrangement) == 904,
              "speaker arrangement layout");
static_assert(sizeof(VstTimeInfo) == 88, "VstTimeInfo layout");
static_assert(sizeof(MidiKeyName) == 80, "MidiKeyName layout");

namespace vst2 {

constexpr std::int32_t kEffectMagic = FourCC('V', 's', 't', 'P');
constexpr std::int32_t kVstVersion = 2400;

// AEffect::flags
enum EffectFlags : std::int32_t {
  effFlagsHasEditor = 1 << 0,
  effFlagsHasClip = 1 << 1,   // deprecated
  effFlagsHasVu = 1 << 2,     // deprecated
  effFlagsCanMono = 1 << 3,   // deprecated
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsExtIsAsync = 1 << 10,   // deprecated
  effFlagsExtHasBuffer = 1 << 11, // deprecated
  effFlagsCanDoubleReplacing = 1 << 12,
};

// Dispatcher opcodes (host to plug-in).
enum EffectOpcodes : std::int32_t {
  effOpen = 0,
  effClose,
  effSetProgram,
  effGetProgram,
  effSetProgramName,
  effGetProgramName,
  effGetParamLabel,
  effGetParamDisplay,
  effGetParamName,
  effGetVu,  // deprecated
  effSetSampleRate,
  effSetBlockSize,
  effMainsChanged,
  effEditGetRect,
  effEditOpen,
  effEditClose,
  effEditDraw,   // deprecated
  effEditMouse,  // deprecated
  effEditKey,    // deprecated
  effEditIdle,
  effEditTop,    // deprecated
  effEditSleep,  // deprecated
  effIdentify,   // deprecated
  effGetChunk,
  effSetChunk,
  effProcessEvents,
  effCanBeAutomated,
  effString2Parameter,
  effGetNumProgramCategories,  // deprecated
  effGetProgramNameIndexed,
  effCopyProgram,    // deprecated
  effConnectInput,   // deprecated
  effConnectOutput,  // deprecated
  effGetInputProperties,
  effGetOutputProperties,
  effGetPlugCategory,
  effGetCurrentPosition,    // deprecated
  effGetDestinationBuffer,  // deprecated
  effOfflineNotify,
  effOfflinePrepare,
  effOfflineRun,
  effProcessVarIo,
  effSetSpeakerArrangement,
  effSetBlockSizeAndSampleRate,  // deprecated
  effSetBypass,
  effGetEffectName,
  effGetErrorText,  // deprecated
  effGetVendorString,
  effGetProductString,
  effGetVendorVersion,
  effVendorSpecific,
  effCanDo,
  effGetTailSize,
  effIdle,  // deprecated
  effGetIcon,
  effSetViewPosition,
  effGetParameterProperties,
  effKeysRequired,  // deprecated
  effGetVstVersion,
  effEditKeyDown,
  effEditKeyUp,
  effSetEditKnobMode,
  effGetMidiProgramName,
  effGetCurrentMidiProgram,
  effGetMidiProgramCategory,
  effHasMidiProgramsChanged,
  effGetMidiKeyName,
  effBeginSetProgram,
  effEndSetProgram,
  effGetSpeakerArrangement,
  effShellGetNextPlugin,
  effStartProcess,
  effStopProcess,
  effSetTotalSampleToProcess,
  effSetPanLaw,
  effBeginLoadBank,
  effBeginLoadProgram,
  effSetProcessPrecision,
  effGetNumMidiInputChannels,
  effGetNumMidiOutputChannels,
};

// Host-callback opcodes (plug-in to host).
enum HostOpcodes : std::int32_t {
  audioMasterAutomate = 0,
  audioMasterVersion,
  audioMasterCurrentId,
  audioMasterIdle,
  audioMasterPinConnected,  // deprecated
  audioMasterUnused5,
  audioMasterWantMidi,  // deprecated
  audioMasterGetTime,
  audioMasterProcessEvents,
  audioMasterSetTime,                       // deprecated
  audioMasterTempoAt,                       // deprecated
  audioMasterGetNumAutomatableParameters,   // deprecated
  audioMasterGetParameterQuantization,      // deprecated
  audioMasterIOChanged,
  audioMasterNeedIdle,  // deprecated
  audioMasterSizeWindow,
  audioMasterGetSampleRate,
  audioMasterGetBlockSize,
  audioMasterGetInputLatency,
  audioMasterGetOutputLatency,
  audioMasterGetPreviousPlug,          // deprecated
  audioMasterGetNextPlug,              // deprecated
  audioMasterWillReplaceOrAccumulate,  // deprecated
  audioMasterGetCurrentProcessLevel,
  audioMasterGetAutomationState,
  audioMasterOfflineStart,
  audioMasterOfflineRead,
  audioMasterOfflineWrite,
  audioMasterOfflineGetCurrentPass,
  audioMasterOfflineGetCurrentMetaPass,
  audioMasterSetOutputSampleRate,          // deprecated
  audioMasterGetOutputSpeakerArrangement,  // deprecated
  audioMasterGetVendorString,
  audioMasterGetProductString,
  audioMasterGetVendorVersion,
  audioMasterVendorSpecific,
  audioMasterSetIcon,  // deprecated
  audioMasterCanDo,
  audioMasterGetLanguage,
  audioMasterOpenWindow,   // deprecated
  audioMasterCloseWindow,  // deprecated
  audioMasterGetDirectory,
  audioMasterUpdateDisplay,
  audioMasterBeginEdit,
  audioMasterEndEdit,
  audioMasterOpenFileSelector,
  audioMasterCloseFileSelector,
  audioMasterEditFile,                    // deprecated
  audioMasterGetChunkFile,                // deprecated
  audioMasterGetInputSpeakerArrangement,  // deprecated
};

enum ProcessLevels : std::int32_t {
  kVstProcessLevelUnknown = 0,
  kVstProcessLevelUser,
  kVstProcessLevelRealtime,
  kVstProcessLevelPrefetch,
  kVstProcessLevelOffline,
};

// VstTimeInfo::flags, also the request mask of audioMasterGetTime.
enum TimeInfoFlags : std::int32_t {
  kVstTransportChanged = 1,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstAutomationWriting = 1 << 6,
  kVstAutomationReading = 1 << 7,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15,
};

enum EventTypes : std::int32_t {
  kVstMidiType = 1,
  kVstSysExType = 6,
};

enum PinFlags : std::int32_t {
  kVstPinIsActive = 1 << 0,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2,
};

enum PlugCategory : std::int32_t {
  kPlugCategUnknown = 0,
  kPlugCategEffect,
  kPlugCategSynth,
  kPlugCategAnalysis,
  kPlugCategMastering,
  kPlugCategSpacializer,
  kPlugCategRoomFx,
  kPlugSurroundFx,
  kPlugCategRestoration,
  kPlugCategOfflineProcess,
  kPlugCategShell,
  kPlugCategGenerator,
};

enum SpeakerArrangementType : std::int32_t {
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1,
};

// Buffer sizes the published interface promises for host-provided strings.
constexpr int kVstMaxProgNameLen = 24;
constexpr int kVstMaxParamStrLen = 8;
constexpr int kVstMaxVendorStrLen = 64;
constexpr int kVstMaxProductStrLen = 64;
constexpr int kVstMaxEffectNameLen = 32;

}  // namespace vst2
