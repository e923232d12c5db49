#include "core/IPlugVST.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/FloatingPointMode.h"
#include "core/HostIds.h"
#include "core/Trace.h"

namespace tessaro {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// Host buffers for names and texts. The published limits are smaller than
// what every current host provides; these keep our longest texts whole while
// never writing more than a parameter's own text field holds.
constexpr std::size_t kParamTextCapacity = 32;
constexpr std::size_t kNameCapacity = vst2::kVstMaxVendorStrLen;
constexpr std::size_t kProgramNameCapacity = vst2::kVstMaxProgNameLen;
constexpr std::intptr_t kVendorSpecificYes = 0xBEEF;
constexpr std::intptr_t kCockosExtensionsYes = static_cast<std::intptr_t>(0xBEEF0000);
constexpr std::int32_t kVstParameterUsesIntStep = 8;
constexpr double kMinSampleRate = 1000.0;
constexpr double kMaxSampleRate = 1536000.0;

std::int32_t SpeakerArrangementFor(int channels) {
  switch (channels) {
    case 0: return vst2::kSpeakerArrEmpty;
    case 1: return vst2::kSpeakerArrMono;
    case 2: return vst2::kSpeakerArrStereo;
    default: return vst2::kSpeakerArrUserDefined;
  }
}

bool IsHostWithExtraChannelQuirk(int hostId) { return hostId == 15 || hostId == 17 || hostId == 18 || hostId == 20; }

}  // namespace

IPlugVST::IPlugVST(audioMasterCallback host, const IPlugConfig& config) : IPlugBase(config), host_(host) {
  effect_.magic = vst2::kEffectMagic;
  effect_.dispatcher = &VSTDispatcher;
  effect_.process = &VSTProcess;
  effect_.setParameter = &VSTSetParameter;
  effect_.getParameter = &VSTGetParameter;
  effect_.processReplacing = &VSTProcessReplacing;
  effect_.processDoubleReplacing = &VSTProcessDoubleReplacing;
  effect_.numPrograms = NumPrograms();
  effect_.numParams = NumHostParams();
  effect_.numInputs = NumInputChannels();
  effect_.numOutputs = NumOutputChannels();
  effect_.initialDelay = Latency();
  effect_.ioRatio = 1.0f;
  effect_.object = this;
  effect_.uniqueID = UniqueId();
  effect_.version = DecimalVersion();
  effect_.flags = vst2::effFlagsCanReplacing | vst2::effFlagsCanDoubleReplacing;
  if (UsesChunks()) effect_.flags |= vst2::effFlagsProgramChunks;
  if (IsInstrument()) effect_.flags |= vst2::effFlagsIsSynth;
  if (LegalIO(1, -1)) effect_.flags |= vst2::effFlagsCanMono;

  inputArrangement_.numChannels = NumInputChannels();
  inputArrangement_.type = SpeakerArrangementFor(NumInputChannels());
  outputArrangement_.numChannels = NumOutputChannels();
  outputArrangement_.type = SpeakerArrangementFor(NumOutputChannels());

  for (IInputChannel& ch : inputs_) ch.connected = true;
  for (IOutputChannel& ch : outputs_) ch.connected = true;
  SetMaxBlockSize(1024);
}

IPlugVST::~IPlugVST() = default;

IPlugVST* IPlugVST::FromEffect(AEffect* effect) {
  return effect ? static_cast<IPlugVST*>(effect->object) : nullptr;
}

std::intptr_t IPlugVST::CallHost(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr, float opt) {
  return host_ ? host_(&effect_, opcode, index, value, ptr, opt) : 0;
}

const VstTimeInfo* IPlugVST::GetTime(std::int32_t flags) {
  return reinterpret_cast<const VstTimeInfo*>(CallHost(vst2::audioMasterGetTime, 0, flags));
}

// --- host-facing operations ---

void IPlugVST::HostBeginEdit(int index) { CallHost(vst2::audioMasterBeginEdit, index); }
void IPlugVST::HostAutomate(int index, double normalised) {
  // The host was told of the first numParams parameters only; an index past
  // them is rejected by some hosts and recorded into nothing by others.
  if (index < 0 || index >= effect_.numParams) return;
  CallHost(vst2::audioMasterAutomate, index, 0, nullptr, static_cast<float>(normalised));
}
void IPlugVST::HostEndEdit(int index) { CallHost(vst2::audioMasterEndEdit, index); }
void IPlugVST::HostUpdateDisplay() { CallHost(vst2::audioMasterUpdateDisplay); }

bool IPlugVST::IsRenderingOffline() {
  return CallHost(vst2::audioMasterGetCurrentProcessLevel) == vst2::kVstProcessLevelOffline;
}

std::int64_t IPlugVST::HostSamplePosition() {
  const VstTimeInfo* t = GetTime(0);
  return t && t->samplePos >= 0.0 ? static_cast<std::int64_t>(t->samplePos + 0.5) : 0;
}

double IPlugVST::HostTempo() {
  const VstTimeInfo* t = GetTime(vst2::kVstTempoValid);
  return t && (t->flags & vst2::kVstTempoValid) && t->tempo >= 0.0 ? t->tempo : 0.0;
}

void IPlugVST::HostTimeSignature(int* numerator, int* denominator) {
  if (!numerator || !denominator) return;
  *numerator = *denominator = 0;
  const VstTimeInfo* t = GetTime(vst2::kVstTimeSigValid);
  if (t && (t->flags & vst2::kVstTimeSigValid) && t->timeSigNumerator >= 0 && t->timeSigDenominator >= 0) {
    *numerator = t->timeSigNumerator;
    *denominator = t->timeSigDenominator;
  }
}

void IPlugVST::QueryHostTime(HostTimeInfo& info) {
  constexpr std::int32_t kWanted = vst2::kVstPpqPosValid | vst2::kVstTempoValid | vst2::kVstBarsValid |
                                   vst2::kVstCyclePosValid | vst2::kVstTimeSigValid;
  const VstTimeInfo* t = GetTime(kWanted);
  if (!t || !(t->flags & kWanted)) return;
  info.samplePos = t->samplePos;
  if ((t->flags & vst2::kVstPpqPosValid) && t->ppqPos >= 0.0) info.ppqPos = t->ppqPos;
  if ((t->flags & vst2::kVstTempoValid) && t->tempo > 0.0) info.tempo = t->tempo;
  if ((t->flags & vst2::kVstBarsValid) && t->barStartPos >= 0.0) info.lastBar = t->barStartPos;
  if ((t->flags & vst2::kVstCyclePosValid) && t->cycleStartPos >= 0.0 && t->cycleEndPos >= 0.0) {
    info.cycleStart = t->cycleStartPos;
    info.cycleEnd = t->cycleEndPos;
  }
  if ((t->flags & vst2::kVstTimeSigValid) && t->timeSigNumerator > 0 && t->timeSigDenominator > 0) {
    info.numerator = t->timeSigNumerator;
    info.denominator = t->timeSigDenominator;
  }
  info.transportIsRunning = (t->flags & vst2::kVstTransportPlaying) != 0;
  info.transportLoopEnabled = (t->flags & vst2::kVstTransportCycleActive) != 0;
}

int IPlugVST::HostId() {
  if (hostId_ != kHostNotIdentified) return hostId_;
  char product[256] = {};
  CallHost(vst2::audioMasterGetProductString, 0, 0, product);
  product[sizeof product - 1] = '\0';
  if (product[0]) {
    // Any number can come back: the arithmetic is done wide and kept in range.
    const std::int64_t v = std::clamp<std::int64_t>(CallHost(vst2::audioMasterGetVendorVersion), 0, 32767 * 10000LL);
    hostVersion_ = static_cast<std::int32_t>((v / 10000) * 65536 + ((v % 10000) / 100) * 256 + v % 100);
  } else {
    hostVersion_ = 0;
  }
  hostId_ = IdentifyHost(product);
  return hostId_;
}

int IPlugVST::PluginApi() { return apiCode_; }

void IPlugVST::ResizeEditor(int width, int height) {
  if (!editor_) return;
  editorRect_ = {0, 0, static_cast<std::int16_t>(height), static_cast<std::int16_t>(width)};
  EditorResized();
  editor_->Resized(width, height);
  CallHost(vst2::audioMasterSizeWindow, width, height);
}

void IPlugVST::InitForHost() {
  if (hostInitDone_) return;
  hostInitDone_ = true;
  if (IsHostWithExtraChannelQuirk(HostId())) {
    for (std::size_t i = 2; i < inputs_.size(); ++i) {
      inputs_[i].connected = false;
      *inputs_[i].entry = inputs_[i].scratch.data();
    }
    for (std::size_t i = 2; i < outputs_.size(); ++i) outputs_[i].connected = true;
  }
  effect_.numInputs = inputArrangement_.numChannels = NumInputChannels();
  effect_.numOutputs = outputArrangement_.numChannels = NumOutputChannels();
  HostIdentified();
}

void IPlugVST::AttachEditor(IEditorLink* editor) {
  IPlugBase::AttachEditor(editor);
  if (!editor) return;
  effect_.flags |= vst2::effFlagsHasEditor;
  editorRect_ = {0, 0, static_cast<std::int16_t>(editor->Height()), static_cast<std::int16_t>(editor->Width())};
}

void IPlugVST::SetReportedLatency(int samples) {
  effect_.initialDelay = samples;
  IPlugBase::SetReportedLatency(samples);
}

bool IPlugVST::SendMidi(const IMidiMsg& message) {
  VstMidiEvent event{};
  event.type = vst2::kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = message.offset;
  event.midiData[0] = static_cast<char>(message.status);
  event.midiData[1] = static_cast<char>(message.data1);
  event.midiData[2] = static_cast<char>(message.data2);
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(vst2::audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IPlugVST::SendSystemExclusive(const ISysEx& message) {
  VstMidiSysexEvent event{};
  event.type = vst2::kVstSysExType;
  event.byteSize = sizeof(VstMidiSysexEvent);
  event.deltaFrames = message.offset;
  event.dumpBytes = message.size;
  event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(message.data));
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(vst2::audioMasterProcessEvents, 0, 0, &events) == 1;
}

void IPlugVST::SetMaxBlockSize(int frames) {
  // A zero, negative or absurd block size would leave the scratch buffers
  // unusable or fail to allocate; host blocks beyond it are split anyway.
  IPlugBase::SetMaxBlockSize(std::clamp(frames, 1, kMaxBlockSize));
}

// --- callbacks ---

std::intptr_t IPlugVST::VSTDispatcher(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                      std::intptr_t value, void* ptr, float opt) {
  IPlugVST* plug = FromEffect(effect);
  if (!plug) return 0;
  if (opcode == vst2::effClose) {
    // The lock lives in the object: wait for anyone inside, then let go of it
    // before the object (and the lock) disappear.
    plug->mutex_.lock();
    plug->mutex_.unlock();
    delete plug;
    return 0;
  }
  if (opcode == vst2::effEditIdle) {
    // Like a window procedure, the editor's event pump runs outside the
    // plug-in lock and takes it only around its own work.
    if (IEditorLink* editor = plug->Editor()) {
      try {
        editor->Idle();
      } catch (...) {
      }
    }
    return 0;
  }
  Lock lock(plug->mutex_);
  // No exception may unwind into the host: a failed allocation for a huge
  // chunk, say, answers 0 like any other failure.
  try {
    return plug->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

std::intptr_t IPlugVST::Dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                 float opt) {
  char* text = static_cast<char*>(ptr);
  switch (opcode) {
    case vst2::effOpen:
      InitForHost();
      ResetAllParameters();
      return 0;
    case vst2::effSetProgram:
      if (!UsesChunks()) ModifyCurrentPreset();
      if (value >= 0 && value < NumPrograms()) RecallProgram(static_cast<int>(value));
      return 0;
    case vst2::effGetProgram:
      return currentProgram_;
    case vst2::effSetProgramName:
      if (text) {
        ModifyCurrentPreset(text);
        ProgramChangedByHost();
      }
      return 0;
    case vst2::effGetProgramName:
      if (text) CopyText(text, IsValidProgram(currentProgram_) ? programs_[currentProgram_].name : "", kProgramNameCapacity);
      return 0;
    case vst2::effGetParamLabel:
      if (text && IsValidParam(index)) CopyText(text, params_[index].LabelText(), kParamTextCapacity);
      return 0;
    case vst2::effGetParamDisplay:
      if (text && IsValidParam(index))
        params_[index].DisplayTextFor(params_[index].Value(), false, text, kParamTextCapacity, true);
      return 0;
    case vst2::effGetParamName:
      if (text && IsValidParam(index)) CopyText(text, params_[index].Name(), kParamTextCapacity);
      return 0;
    case vst2::effSetSampleRate:
      // A rate no audio device runs at would only poison every coefficient.
      if (std::isfinite(opt) && opt >= kMinSampleRate && opt <= kMaxSampleRate) sampleRate_ = opt;
      ResetProcessing();
      return 0;
    case vst2::effSetBlockSize:
      SetMaxBlockSize(static_cast<int>(std::clamp<std::intptr_t>(value, 0, kMaxBlockSize)));
      ResetProcessing();
      return 0;
    case vst2::effMainsChanged:
      if (value != 0) {
        ActivationChanged(true);
      } else {
        ActivationChanged(false);
        ResetProcessing();
      }
      return 0;
    case vst2::effEditGetRect:
      if (ptr && editor_) {
        *static_cast<ERect**>(ptr) = &editorRect_;
        return 1;
      }
      return 0;
    case vst2::effEditOpen:
      if (editor_ && editor_->OpenWindow(ptr)) {
        EditorOpened();
        editor_->WindowOpened();
        return 1;
      }
      return 0;
    case vst2::effEditClose:
      if (editor_) {
        EditorClosed();
        editor_->CloseWindow();
        return 1;
      }
      return 0;
    case vst2::effIdentify:
      return vst2::FourCC('N', 'v', 'E', 'f');
    case vst2::effGetChunk:
      return GetChunk(index, ptr);
    case vst2::effSetChunk:
      return SetChunk(index, value, ptr);
    case vst2::effProcessEvents:
      return ProcessEvents(static_cast<const VstEvents*>(ptr));
    case vst2::effCanBeAutomated:
      return IsValidParam(index) && params_[index].CanAutomate() ? 1 : 0;
    case vst2::effString2Parameter:
      return String2Parameter(index, text);
    case vst2::effGetProgramNameIndexed:
      if (!text) return 0;
      CopyText(text, IsValidProgram(index) ? programs_[index].name : "", kProgramNameCapacity);
      return text[0] != '\0' ? 1 : 0;
    case vst2::effGetInputProperties:
      return PinProperties(true, index, static_cast<VstPinProperties*>(ptr));
    case vst2::effGetOutputProperties:
      return PinProperties(false, index, static_cast<VstPinProperties*>(ptr));
    case vst2::effGetPlugCategory:
      return IsInstrument() ? vst2::kPlugCategSynth : vst2::kPlugCategEffect;
    case vst2::effProcessVarIo:
      return 0;
    case vst2::effSetSpeakerArrangement:
      SetSpeakerArrangement(reinterpret_cast<const VstSpeakerArrangement*>(value),
                            static_cast<const VstSpeakerArrangement*>(ptr));
      return 1;
    case vst2::effGetEffectName:
      if (!text) return 0;
      CopyText(text, EffectName(), kNameCapacity);
      return 1;
    case vst2::effGetVendorString:
      if (!text) return 0;
      CopyText(text, VendorName(), kNameCapacity);
      return 1;
    case vst2::effGetProductString:
      if (!text) return 0;
      CopyText(text, ProductName(), kNameCapacity);
      return 1;
    case vst2::effGetVendorVersion:
      return DecimalVersion();
    case vst2::effVendorSpecific:
      return VendorSpecific(index, value, ptr, opt);
    case vst2::effCanDo:
      return CanDo(text);
    case vst2::effGetTailSize:
      return TailSize();
    case vst2::effIdle:
      return 0;
    case vst2::effGetVstVersion:
      return vst2::kVstVersion;
    case vst2::effGetMidiKeyName: {
      auto* key = static_cast<::MidiKeyName*>(ptr);
      if (!key) return 0;
      key->keyName[0] = '\0';
      return MidiKeyName(key->thisKeyNumber, key->keyName) ? 1 : 0;
    }
    case vst2::effGetSpeakerArrangement:
      if (value != 0) *reinterpret_cast<VstSpeakerArrangement**>(value) = &inputArrangement_;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &outputArrangement_;
      return 1;
    default:
      return 0;
  }
}

std::intptr_t IPlugVST::GetChunk(std::int32_t index, void* ptr) {
  if (!ptr) return 0;
  const bool bank = index == 0;
  IStateChunk& chunk = bank ? bankChunk_ : programChunk_;
  ChunkWithHeader(chunk);
  bool ok;
  if (bank) {
    ModifyCurrentPreset();
    ok = SerializePresets(chunk);
  } else {
    ok = SaveState(chunk);
  }
  if (!ok || chunk.Empty()) return 0;
  *static_cast<void**>(ptr) = chunk.Data();
  return chunk.Size();
}

std::intptr_t IPlugVST::SetChunk(std::int32_t index, std::intptr_t size, void* ptr) {
  if (!ptr || size < 0 || size > std::numeric_limits<int>::max()) return 0;
  const bool bank = index == 0;
  IStateChunk& chunk = bank ? bankChunk_ : programChunk_;
  chunk.Assign(ptr, static_cast<int>(size));
  int position = 0;
  const std::int32_t version = VersionFromChunk(chunk, position);
  int result;
  if (bank && version >= kFrameworkVersion) {
    result = UnserializePresets(chunk, position);
  } else {
    result = LoadState(chunk, position);
    ModifyCurrentPreset();
  }
  if (result < 0) return 0;
  RedrawParameterControls();
  return 1;
}

std::intptr_t IPlugVST::String2Parameter(std::int32_t index, const char* text) {
  if (!IsValidParam(index)) return 0;
  if (!text) return 1;
  IParameter& param = params_[index];
  double v;
  if (!param.DisplayTexts().empty()) {
    const std::optional<int> found = param.TextToValue(text);
    if (!found) return 0;
    v = *found;
  } else {
    v = std::atof(text);
    if (param.NegateDisplay()) v = -v;
  }
  // "nan" and "inf" parse, but no parameter can hold them.
  if (!std::isfinite(v)) return 0;
  PushToEditor(index, v, false);
  param.SetClamped(v);
  ParameterChanged(index, kSourceHost);
  return 1;
}

std::intptr_t IPlugVST::ProcessEvents(const VstEvents* events) {
  if (!events) return 0;
  for (std::int32_t i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = events->events[i];
    if (!event) continue;
    if (event->type == vst2::kVstMidiType) {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
      IMidiMsg message;
      message.offset = midi->deltaFrames;
      message.status = static_cast<std::uint8_t>(midi->midiData[0]);
      message.data1 = static_cast<std::uint8_t>(midi->midiData[1]);
      message.data2 = static_cast<std::uint8_t>(midi->midiData[2]);
      HandleMidiMessage(message);
    } else if (event->type == vst2::kVstSysExType) {
      const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
      ISysEx message;
      message.offset = sysex->deltaFrames;
      message.size = sysex->dumpBytes;
      message.data = reinterpret_cast<const std::uint8_t*>(sysex->sysexDump);
      HandleSysEx(message);
    }
  }
  return 1;
}

std::intptr_t IPlugVST::PinProperties(bool input, std::int32_t index, VstPinProperties* props) {
  const int channels = input ? NumInputChannels() : NumOutputChannels();
  if (!props || index < 0 || index >= channels) return 0;
  props->flags = vst2::kVstPinIsActive;
  if (index % 2 == 0 && index < channels - 1) props->flags |= vst2::kVstPinIsStereo;
  const std::string& label = input ? inputs_[index].label : outputs_[index].label;
  if (!label.empty())
    std::snprintf(props->label, sizeof props->label, "%s", label.c_str());
  else
    std::snprintf(props->label, sizeof props->label, input ? "Input %d" : "Output %d", index + 1);
  return 1;
}

std::intptr_t IPlugVST::VendorSpecific(std::int32_t index, std::intptr_t value, void* ptr, float opt) {
  if (index == vst2::effGetParamDisplay) {
    if (!ptr) return 0;
    if (value >= 0 && value < NumParams()) {
      IParameter& param = params_[value];
      param.DisplayTextFor(std::clamp(static_cast<double>(opt), 0.0, 1.0), true, static_cast<char*>(ptr),
                           kParamTextCapacity, true);
    }
    return kVendorSpecificYes;
  }
  if (index == kVstParameterUsesIntStep)
    return value >= 0 && value < NumParams() && params_[value].GetType() != IParameter::kTypeDouble ? kVendorSpecificYes : 0;
  return 0;
}

std::intptr_t IPlugVST::CanDo(const char* text) {
  if (!text) return 0;
  TESSARO_TRACE("VSTCanDo(%s)", text);
  if (std::strcmp(text, "receiveVstTimeInfo") == 0) return 1;
  if (std::strcmp(text, "sendVstEvents") == 0 || std::strcmp(text, "sendVstMidiEvent") == 0 ||
      std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0)
    return UsesMidi() ? 1 : 0;
  if (std::strcmp(text, "hasCockosExtensions") == 0) {
    hostExtensions_ |= 1;
    return kCockosExtensionsYes;
  }
  if (std::strcmp(text, "hasCockosViewAsConfig") == 0) {
    hostExtensions_ |= 2;
    return kCockosExtensionsYes;
  }
  return 0;
}

void IPlugVST::SetSpeakerArrangement(const VstSpeakerArrangement* in, const VstSpeakerArrangement* out) {
  auto apply = [](auto& channels, const VstSpeakerArrangement* arrangement) {
    if (!arrangement) return;
    const int k = std::max(arrangement->numChannels, 0);
    for (std::size_t i = 0; i < channels.size(); ++i) {
      if (static_cast<int>(i) < k) {
        channels[i].connected = true;
      } else {
        channels[i].connected = false;
        *channels[i].entry = channels[i].scratch.data();
      }
    }
  };
  apply(inputs_, in);
  apply(outputs_, out);
}

void IPlugVST::ProcessDouble(double** inputs, double** outputs, int frames) noexcept {
  for (int done = 0; done < frames;) {
    const int n = std::min(frames - done, BlockSize());
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
      IInputChannel& ch = inputs_[i];
      double* host = ch.connected && inputs ? inputs[i] : nullptr;
      if (host) {
        *ch.entry = host + done;
      } else {
        std::fill_n(ch.scratch.data(), n, 0.0);
        *ch.entry = ch.scratch.data();
      }
    }
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
      IOutputChannel& ch = outputs_[i];
      double* host = ch.connected && outputs ? outputs[i] : nullptr;
      *ch.entry = host ? host + done : ch.scratch.data();
    }
    ProcessBlock(inputPtrs_.data(), outputPtrs_.data(), n);
    done += n;
  }
}

void IPlugVST::ProcessFloat(float** inputs, float** outputs, int frames, bool accumulate) noexcept {
  for (int done = 0; done < frames;) {
    const int n = std::min(frames - done, BlockSize());
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
      IInputChannel& ch = inputs_[i];
      const float* host = ch.connected && inputs ? inputs[i] : nullptr;
      if (host)
        std::copy_n(host + done, n, ch.scratch.data());
      else
        std::fill_n(ch.scratch.data(), n, 0.0);
      *ch.entry = ch.scratch.data();
    }
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
      IOutputChannel& ch = outputs_[i];
      ch.hostFloat = ch.connected && outputs ? outputs[i] : nullptr;
      *ch.entry = ch.scratch.data();
    }
    ProcessBlock(inputPtrs_.data(), outputPtrs_.data(), n);
    for (IOutputChannel& ch : outputs_) {
      if (!ch.hostFloat) continue;
      float* dst = ch.hostFloat + done;
      const double* src = ch.scratch.data();
      if (accumulate)
        for (int s = 0; s < n; ++s) dst[s] += static_cast<float>(src[s]);
      else
        for (int s = 0; s < n; ++s) dst[s] = static_cast<float>(src[s]);
      ch.hostFloat = nullptr;
    }
    done += n;
  }
}

void IPlugVST::VSTProcess(AEffect* effect, float** inputs, float** outputs, std::int32_t frames) {
  IPlugVST* plug = FromEffect(effect);
  if (!plug || frames <= 0) return;
  Lock lock(plug->mutex_);
  const ScopedFloatingPointRestore hostMode;
  plug->ProcessFloat(inputs, outputs, frames, true);
}

void IPlugVST::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs, std::int32_t frames) {
  IPlugVST* plug = FromEffect(effect);
  if (!plug || frames <= 0) return;
  Lock lock(plug->mutex_);
  const ScopedFloatingPointRestore hostMode;
  plug->ProcessFloat(inputs, outputs, frames, false);
}

void IPlugVST::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs, std::int32_t frames) {
  IPlugVST* plug = FromEffect(effect);
  if (!plug || frames <= 0) return;
  Lock lock(plug->mutex_);
  const ScopedFloatingPointRestore hostMode;
  plug->ProcessDouble(inputs, outputs, frames);
}

float IPlugVST::VSTGetParameter(AEffect* effect, std::int32_t index) {
  IPlugVST* plug = FromEffect(effect);
  if (!plug) return 0.0f;
  Lock lock(plug->mutex_);
  const IParameter* param = plug->GetParam(index);
  return param ? static_cast<float>(param->Normalised()) : 0.0f;
}

void IPlugVST::VSTSetParameter(AEffect* effect, std::int32_t index, float value) {
  IPlugVST* plug = FromEffect(effect);
  if (!plug) return;
  Lock lock(plug->mutex_);
  IParameter* param = plug->GetParam(index);
  // A normalised value outside 0..1 (or NaN) would map outside the range.
  if (!param || std::isnan(value)) return;
  const double normalised = std::clamp(static_cast<double>(value), 0.0, 1.0);
  try {
    plug->PushToEditor(index, normalised, true);
    param->Set(param->FromNormalised(normalised));
    plug->ParameterChanged(index, kSourceHost);
  } catch (...) {
    // The value is set; a reaction that could not allocate leaves the engine
    // as it was rather than taking the host down.
  }
}

}  // namespace tessaro
