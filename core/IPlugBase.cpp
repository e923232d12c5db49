#include "core/IPlugBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/Trace.h"

namespace tessaro {

using Lock = std::lock_guard<std::recursive_mutex>;

IPlugBase::IPlugBase(const IPlugConfig& config)
    : uniqueId_(config.uniqueId),
      manufacturerId_(config.manufacturerId),
      version_(config.version),
      usesChunks_(config.usesChunks),
      isInstrument_(config.isInstrument),
      usesMidi_(config.usesMidi),
      latency_(config.latency),
      hostParams_(config.hostParams),
      internalParams_(config.internalParams),
      params_(static_cast<std::size_t>(config.hostParams + config.internalParams)),
      programs_(static_cast<std::size_t>(config.programs)) {
  CopyText(effectName_, config.effectName, sizeof effectName_);
  CopyText(productName_, config.productName, sizeof productName_);
  CopyText(vendorName_, config.vendorName, sizeof vendorName_);
  TESSARO_TRACE("%s:%s", effectName_, vendorName_);

  // "1-1 2-2": pairs of input-output counts separated by blanks.
  int maxIn = 0, maxOut = 0;
  for (const char* p = config.ioString; p && *p;) {
    int in = 0, out = 0;
    if (std::sscanf(p, "%d-%d", &in, &out) == 2) {
      ioConfigs_.push_back({in, out});
      maxIn = std::max(maxIn, in);
      maxOut = std::max(maxOut, out);
    }
    p = std::strchr(p, ' ');
    if (p) ++p;
  }
  inputPtrs_.assign(static_cast<std::size_t>(maxIn), nullptr);
  outputPtrs_.assign(static_cast<std::size_t>(maxOut), nullptr);
  inputs_.resize(inputPtrs_.size());
  outputs_.resize(outputPtrs_.size());
  for (std::size_t i = 0; i < inputs_.size(); ++i) inputs_[i].entry = &inputPtrs_[i];
  for (std::size_t i = 0; i < outputs_.size(); ++i) outputs_[i].entry = &outputPtrs_[i];
}

IPlugBase::~IPlugBase() = default;

void IPlugBase::ResetProcessing() { Lock lock(mutex_); }

void IPlugBase::ParameterChanged(int, int) { Lock lock(mutex_); }

void IPlugBase::ProcessBlock(double** inputs, double** outputs, int frames) noexcept {
  const int nIn = NumInputChannels();
  for (int o = 0; o < NumOutputChannels(); ++o) {
    if (o < nIn)
      std::copy_n(inputs[o], frames, outputs[o]);
    else
      std::fill_n(outputs[o], frames, 0.0);
  }
}

void IPlugBase::EditorOpened() {}
void IPlugBase::EditorClosed() {}
void IPlugBase::ReservedHook1() {}
void IPlugBase::ActivationChanged(bool) { Lock lock(mutex_); }
void IPlugBase::HandleMidiMessage(const IMidiMsg& message) { SendMidi(message); }
void IPlugBase::HandleSysEx(const ISysEx&) {}

bool IPlugBase::MidiKeyName(int, char* name) {
  if (name) name[0] = '\0';
  return false;
}

bool IPlugBase::SaveState(IStateChunk& chunk) { return SerializeParams(chunk); }

int IPlugBase::LoadState(const IStateChunk& chunk, int position) { return UnserializeParams(chunk, position); }

bool IPlugBase::StateMatches(const IStateChunk& reference, int position) {
  for (const IParameter& param : params_) {
    double stored = 0.0;
    position = reference.GetDouble(&stored, position);
    if (position < 0) return false;
    if (std::fabs(static_cast<float>(param.Value()) - static_cast<float>(stored)) >= 1e-5f) return false;
  }
  return true;
}

void IPlugBase::EditorResized() {}
void IPlugBase::EditorLayoutChanged(int, double, double) {}
int IPlugBase::ReservedHook2() { return 0; }
void IPlugBase::HostIdentified() {}
void IPlugBase::ReservedHook3() {}

void IPlugBase::SetParameterFromEditor(int index, double normalised) {
  IParameter* param = GetParam(index);
  if (!param) return;
  param->Set(param->FromNormalised(normalised));
  HostAutomate(index, normalised);
  ParameterChanged(index, kSourceEditor);
}

bool IPlugBase::IsRenderingOffline() { return false; }
int IPlugBase::HostId() { return hostId_; }
int IPlugBase::PluginApi() { return apiCode_; }
void IPlugBase::InitForHost() {}

void IPlugBase::AttachEditor(IEditorLink* editor) {
  Lock lock(mutex_);
  editor_ = editor;
  if (!editor_) return;
  editor_->PrepareDraw();
  for (int i = 0; i < NumParams(); ++i) editor_->SetParameterFromPlug(i, params_[i].Normalised(), true);
  editor_->BindDrawing();
}

void IPlugBase::SetReportedLatency(int samples) { latency_ = samples; }
bool IPlugBase::SendSystemExclusive(const ISysEx&) { return false; }

void IPlugBase::PushToEditor(int index, double value, bool normalised) {
  if (editor_) editor_->SetParameterFromPlug(index, value, normalised);
}

void IPlugBase::RedrawParameterControls() {
  if (!editor_) return;
  for (int i = 0; i < NumParams(); ++i) editor_->SetParameterFromPlug(i, params_[i].Value(), false);
}

void IPlugBase::ReservedHook4() {}
void IPlugBase::ProgramChangedByHost() {}

void IPlugBase::SetMaxBlockSize(int frames) {
  if (frames == blockSize_) return;
  const auto n = static_cast<std::size_t>(std::max(frames, 0));
  for (IInputChannel& ch : inputs_) ch.scratch.assign(n, 0.0);
  for (IOutputChannel& ch : outputs_) ch.scratch.assign(n, 0.0);
  // The scratch buffers moved: disconnected channels must point at the new ones.
  for (IInputChannel& ch : inputs_)
    if (!ch.connected) *ch.entry = ch.scratch.data();
  for (IOutputChannel& ch : outputs_)
    if (!ch.connected) *ch.entry = ch.scratch.data();
  blockSize_ = frames;
}

std::int32_t IPlugBase::DecimalVersion() const {
  const std::int32_t major = (version_ >> 16) & 0xFFFF, minor = (version_ >> 8) & 0xFF, patch = version_ & 0xFF;
  return (major * 100 + minor) * 100 + patch;
}

void IPlugBase::ResetAllParameters() {
  for (int i = 0; i < NumParams(); ++i) ParameterChanged(i, kSourceRestore);
}

bool IPlugBase::LegalIO(int inputs, int outputs) const {
  bool legal = false;
  for (const IChannelIOConfig& config : ioConfigs_) {
    if ((inputs < 0 || inputs == config.inputs) && (outputs < 0 || outputs == config.outputs)) {
      legal = true;
      break;
    }
  }
  TESSARO_TRACE("%d:%d:%s", inputs, outputs, legal ? "legal" : "illegal");
  return legal;
}

bool IPlugBase::RecallProgram(int index) {
  if (!IsValidProgram(index)) return false;
  IProgramSlot& slot = programs_[index];
  bool ok;
  if (slot.initialized) {
    ok = LoadState(slot.state, 0) > 0;
  } else {
    slot.initialized = true;
    const int userSlots = static_cast<int>(std::count_if(programs_.begin(), programs_.end(), [](const IProgramSlot& s) {
      return std::strstr(s.name, "user preset") != nullptr;
    }));
    std::snprintf(slot.name, sizeof slot.name, "%s %d", "user preset", userSlots + 1);
    slot.state.Clear();
    slot.bankBytes = -1;
    ok = SaveState(slot.state);
  }
  if (ok) {
    currentProgram_ = index;
    ProgramChangedByHost();
    RedrawParameterControls();
  }
  return ok;
}

void IPlugBase::ModifyCurrentPreset(const char* name) {
  if (!IsValidProgram(currentProgram_)) return;
  IProgramSlot& slot = programs_[currentProgram_];
  TESSARO_TRACE("%d %s", currentProgram_, slot.name);
  slot.state.Clear();
  slot.bankBytes = -1;
  SaveState(slot.state);
  if (name && name[0]) CopyText(slot.name, name, sizeof slot.name);
}

void IPlugBase::FillEmptyPrograms(const char* name, int count) {
  for (int n = 0; n < count; ++n) {
    auto slot = std::find_if(programs_.begin(), programs_.end(), [](const IProgramSlot& s) { return !s.initialized; });
    if (slot == programs_.end()) return;
    slot->initialized = true;
    CopyText(slot->name, name ? name : "Empty", sizeof slot->name);
    slot->state.Clear();
    slot->bankBytes = -1;
    SaveState(slot->state);
    builtInPrograms_.emplace_back(slot->state.ToBase64(), "");
  }
}

void IPlugBase::AddProgramFromBase64(const char* name, const char* text, int size) {
  IStateChunk buffer;
  buffer.Resize(size);
  const int decoded = DecodeBase64(text, buffer.Data(), buffer.Size());
  auto slot = std::find_if(programs_.begin(), programs_.end(), [](const IProgramSlot& s) { return !s.initialized; });
  if (slot != programs_.end()) {
    slot->initialized = true;
    CopyText(slot->name, name, sizeof slot->name);
    slot->state = buffer;
    slot->bankBytes = decoded;
  }
  builtInPrograms_.emplace_back(text ? text : "", "");
}

bool IPlugBase::SerializePresets(IStateChunk& chunk) {
  for (const IProgramSlot& slot : programs_) {
    TESSARO_TRACE("%d %s", slot.initialized, slot.name);
    chunk.PutString(slot.name);
    chunk.PutByte(slot.initialized ? 1 : 0);
    if (slot.initialized)
      chunk.PutBytes(slot.state.Data(), slot.bankBytes < 0 ? slot.state.Size() : std::min(slot.bankBytes, slot.state.Size()));
  }
  return !chunk.Empty();
}

int IPlugBase::UnserializePresets(const IStateChunk& chunk, int position) {
  for (IProgramSlot& slot : programs_) {
    if (position < 0) break;
    std::string name;
    position = chunk.GetString(&name, position);
    CopyText(slot.name, name.c_str(), sizeof slot.name);
    std::uint8_t flag = 0;
    position = chunk.GetByte(&flag, position);
    if (position < 0) break;
    slot.initialized = flag != 0;
    TESSARO_TRACE("%d %s", slot.initialized, slot.name);
    if (slot.initialized) {
      position = LoadState(chunk, position);
      if (position > 0) {
        slot.state.Clear();
        slot.bankBytes = -1;
        SaveState(slot.state);
      }
    }
  }
  RecallProgram(currentProgram_);
  return position;
}

bool IPlugBase::SerializeParams(IStateChunk& chunk) {
  Lock lock(mutex_);
  chunk.PutInt(hostParams_);
  chunk.PutInt(internalParams_);
  chunk.PutInt(ResizeParamCount());
  for (int i = 0; i < ResizeParamCount(); ++i) chunk.PutDouble(ResizeParamValue(i));
  for (const IParameter& param : params_) {
    TESSARO_TRACE("%d %s %f", static_cast<int>(&param - params_.data()), param.Name(), param.Value());
    chunk.PutDouble(param.Value());
  }
  return !chunk.Empty();
}

int IPlugBase::UnserializeParams(const IStateChunk& chunk, int position) {
  {
    Lock lock(mutex_);
    std::int32_t host = 0, internal = 0, resize = 0;
    position = chunk.GetInt(&host, position);
    position = chunk.GetInt(&internal, position);
    position = chunk.GetInt(&resize, position);
    host = std::clamp(host, 0, hostParams_);
    internal = std::clamp(internal, 0, internalParams_);
    // Reads one value per entry; a failed read gives 0 clamped and ends the group.
    auto readGroup = [&](int count, auto&& apply) {
      for (int i = 0; i < count && position >= 0; ++i) {
        double v = 0.0;
        position = chunk.GetDouble(&v, position);
        if (position < 0) v = 0.0;
        apply(i, v);
      }
    };
    if (position >= 0) {
      readGroup(std::max(resize, 0), [&](int i, double v) {
        if (i < ResizeParamCount()) SetResizeParamClamped(i, v);
      });
      readGroup(host, [&](int i, double v) {
        params_[i].SetClamped(v);
        TESSARO_TRACE("%d %s %f", i, params_[i].Name(), params_[i].Value());
      });
      readGroup(internal, [&](int i, double v) { params_[hostParams_ + i].SetClamped(v); });
    }
  }
  ResetAllParameters();
  return position;
}

void IPlugBase::ChunkWithHeader(IStateChunk& chunk) {
  chunk.Clear();
  chunk.PutInt(kFrameworkMagic);
  chunk.PutInt(kFrameworkVersion);
}

std::int32_t IPlugBase::VersionFromChunk(const IStateChunk& chunk, int& position) {
  std::int32_t magic = 0;
  if (chunk.GetInt(&magic, position) < 0 || magic != kFrameworkMagic) return 0;
  std::int32_t version = 0;
  const int next = chunk.GetInt(&version, position + 4);
  position = next < 0 ? -1 : next;
  return version;
}

}  // namespace tessaro
