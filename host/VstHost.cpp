#include "host/VstHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <iterator>
#include <string_view>

namespace tessaro::host {
namespace {

using EntryPoint = AEffect* (*)(audioMasterCallback);

// The entry point runs before we know the effect pointer, and a plug-in may
// call back from inside it. Those calls come on the loading thread, so a
// thread-local tells the callback which Plugin is being created.
thread_local Plugin* tLoading = nullptr;

// The plug-ins this process has loaded: a callback names its host object
// through AEffect::resvd1, which is only trusted when it names one of these.
std::mutex gLiveMutex;
std::set<const void*> gLive;

bool IsLive(const void* plugin) {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  return gLive.count(plugin) != 0;
}

class LoadingScope {
 public:
  explicit LoadingScope(Plugin* plugin) : previous_(tLoading) { tLoading = plugin; }
  ~LoadingScope() { tLoading = previous_; }
  LoadingScope(const LoadingScope&) = delete;
  LoadingScope& operator=(const LoadingScope&) = delete;

 private:
  Plugin* previous_;
};

// Hosts hand out generous string buffers: plug-ins overrun the nominal
// 8/24/32/64-byte limits often enough that a tight buffer would be a crash.
constexpr std::size_t kStringBuffer = 256;

std::string Trimmed(const char* buffer, std::size_t size) {
  return std::string(buffer, strnlen(buffer, size));
}

// Copies into a plug-in supplied buffer whose published size is 64 bytes.
std::intptr_t CopyHostString(const std::string& text, void* ptr) {
  if (ptr == nullptr) return 0;
  const std::size_t n = std::min<std::size_t>(text.size(), vst2::kVstMaxVendorStrLen - 1);
  auto* out = static_cast<char*>(ptr);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return 1;
}

bool HostCanDo(const char* text) {
  if (text == nullptr) return false;
  static constexpr std::string_view kYes[] = {"sendVstEvents",       "sendVstMidiEvent",
                                              "sendVstTimeInfo",     "receiveVstEvents",
                                              "receiveVstMidiEvent", "sizeWindow"};
  // A plug-in may pass a string without its terminating zero.
  const std::string_view asked(text, strnlen(text, 256));
  return std::find(std::begin(kYes), std::end(kYes), asked) != std::end(kYes);
}

bool IsRecorded(std::int32_t opcode) {
  switch (opcode) {
    case vst2::audioMasterAutomate:
    case vst2::audioMasterBeginEdit:
    case vst2::audioMasterEndEdit:
    case vst2::audioMasterSizeWindow:
    case vst2::audioMasterUpdateDisplay:
    case vst2::audioMasterIOChanged:
    case vst2::audioMasterProcessEvents:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::unique_ptr<Plugin> Plugin::Load(const std::string& path, const HostOptions& options,
                                     std::string* error) {
  auto fail = [error](std::string message) -> std::unique_ptr<Plugin> {
    if (error != nullptr) *error = std::move(message);
    return nullptr;
  };

  // Like most hosts, the library stays mapped once loaded: plug-ins and the
  // libraries they bring (cairo, fontconfig) keep process-wide caches that
  // must not vanish under a later load or the exit handlers.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) {
    const char* reason = dlerror();
    std::string why = reason != nullptr ? reason : "unknown dlopen error";
    // dlerror usually starts with the path already; say it only once.
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    return fail("cannot load " + path + ": " + why);
  }
  // From here the Plugin owns the library, so every failure below unloads it.
  std::unique_ptr<Plugin> plugin(new Plugin());
  plugin->library_ = library;
  plugin->options_ = options;
  plugin->timeInfo_.sampleRate = options.sampleRate;

  void* symbol = dlsym(library, "VSTPluginMain");
  if (symbol == nullptr) symbol = dlsym(library, "main");
  if (symbol == nullptr) {
    return fail(path + " is not a VST 2 plug-in: it exports neither VSTPluginMain nor main");
  }
  EntryPoint entry = nullptr;
  static_assert(sizeof(entry) == sizeof(symbol));
  std::memcpy(&entry, &symbol, sizeof(entry));

  AEffect* effect = nullptr;
  {
    LoadingScope scope(plugin.get());
    effect = entry(&Plugin::Callback);
  }
  if (effect == nullptr) {
    return fail(path + ": the plug-in's entry point returned no effect");
  }
  if (effect->magic != vst2::kEffectMagic) {
    // Not an AEffect we understand; calling its dispatcher could do anything.
    return fail(path + ": the entry point returned an object without the VST magic 'VstP' (got '" +
                FourCCText(effect->magic) + "')");
  }
  effect->resvd1 = reinterpret_cast<std::intptr_t>(plugin.get());
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    gLive.insert(plugin.get());
  }
  plugin->effect_ = effect;
  return plugin;
}

Plugin::~Plugin() {
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    gLive.erase(this);
  }
  if (effect_ != nullptr) {
    Dispatch(vst2::effMainsChanged, 0, 0);
    Dispatch(vst2::effClose);
    // The plug-in frees its AEffect on effClose.
    effect_ = nullptr;
  }
  if (library_ != nullptr) dlclose(library_);
}

std::intptr_t Plugin::Callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                               std::intptr_t value, void* ptr, float opt) {
  Plugin* plugin = tLoading;
  if (plugin == nullptr && effect != nullptr && effect->resvd1 != 0) {
    plugin = reinterpret_cast<Plugin*>(effect->resvd1);
    // The field is ours once Load has set it; before that a plug-in thread
    // may call with whatever the plug-in left there.
    if (!IsLive(plugin) || plugin->effect_ != effect) plugin = nullptr;
  }
  if (plugin != nullptr) return plugin->Answer(opcode, index, value, ptr, opt);

  // A call we cannot attribute (say, from a thread the plug-in started before
  // its entry point returned): answer what needs no per-instance state.
  if (opcode == vst2::audioMasterVersion) return vst2::kVstVersion;
  if (opcode == vst2::audioMasterCanDo) return HostCanDo(static_cast<const char*>(ptr)) ? 1 : 0;
  return 0;
}

std::intptr_t Plugin::Answer(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                             void* ptr, float opt) {
  const HostCall call{opcode, index, value, opt};
  if (onCallback) onCallback(call);
  if (IsRecorded(opcode)) {
    // A long render with a chatty plug-in must not grow the log for ever:
    // past the limit the oldest half goes.
    constexpr std::size_t kMostRecorded = 1 << 16;
    std::lock_guard<std::mutex> lock(recordMutex_);
    if (recorded_.size() >= kMostRecorded)
      recorded_.erase(recorded_.begin(), recorded_.begin() + kMostRecorded / 2);
    recorded_.push_back(call);
  }

  switch (opcode) {
    case vst2::audioMasterVersion:
      return vst2::kVstVersion;
    case vst2::audioMasterCurrentId:
      return effect_ != nullptr ? effect_->uniqueID : 0;
    case vst2::audioMasterGetSampleRate:
      return static_cast<std::intptr_t>(options_.sampleRate);
    case vst2::audioMasterGetBlockSize:
      return options_.blockSize;
    case vst2::audioMasterGetProductString:
      return CopyHostString(options_.productString, ptr);
    case vst2::audioMasterGetVendorString:
      return CopyHostString(options_.vendorString, ptr);
    case vst2::audioMasterGetVendorVersion:
      return options_.vendorVersion;
    case vst2::audioMasterGetTime:
      timeInfo_.sampleRate = options_.sampleRate;
      return reinterpret_cast<std::intptr_t>(&timeInfo_);
    case vst2::audioMasterGetCurrentProcessLevel:
      return options_.processLevel;
    case vst2::audioMasterCanDo:
      return HostCanDo(static_cast<const char*>(ptr)) ? 1 : 0;
    case vst2::audioMasterAutomate:
      return 0;
    case vst2::audioMasterSizeWindow:
      if (onSizeWindow) {
        // Sizes outside what a window can be are a broken plug-in, not a request.
        if (index <= 0 || value <= 0 || index > 32767 || value > 32767) return 0;
        return onSizeWindow(index, static_cast<int>(value)) ? 1 : 0;
      }
      return 1;
    case vst2::audioMasterBeginEdit:
    case vst2::audioMasterEndEdit:
    case vst2::audioMasterUpdateDisplay:
    case vst2::audioMasterIOChanged:
    case vst2::audioMasterProcessEvents:
      return 1;
    default:
      return 0;
  }
}

std::intptr_t Plugin::Dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value,
                               void* ptr, float opt) {
  if (effect_ == nullptr || effect_->dispatcher == nullptr) return 0;
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::Start() {
  Open();
  SetSampleRate(options_.sampleRate);
  SetBlockSize(options_.blockSize);
  Resume();
}

void Plugin::Open() { Dispatch(vst2::effOpen); }

void Plugin::SetSampleRate(double rate) {
  // Keep the callback's answer in step with what the plug-in was told.
  options_.sampleRate = rate;
  Dispatch(vst2::effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void Plugin::SetBlockSize(std::int32_t frames) {
  options_.blockSize = frames;
  Dispatch(vst2::effSetBlockSize, 0, frames);
}

void Plugin::Resume() { Dispatch(vst2::effMainsChanged, 0, 1); }

void Plugin::Suspend() { Dispatch(vst2::effMainsChanged, 0, 0); }

std::string Plugin::EffectName() {
  char buffer[kStringBuffer] = {};
  Dispatch(vst2::effGetEffectName, 0, 0, buffer);
  return Trimmed(buffer, sizeof buffer);
}

std::string Plugin::VendorString() {
  char buffer[kStringBuffer] = {};
  Dispatch(vst2::effGetVendorString, 0, 0, buffer);
  return Trimmed(buffer, sizeof buffer);
}

std::string Plugin::ProductString() {
  char buffer[kStringBuffer] = {};
  Dispatch(vst2::effGetProductString, 0, 0, buffer);
  return Trimmed(buffer, sizeof buffer);
}

std::int32_t Plugin::VendorVersion() {
  return static_cast<std::int32_t>(Dispatch(vst2::effGetVendorVersion));
}

std::int32_t Plugin::VstVersion() {
  return static_cast<std::int32_t>(Dispatch(vst2::effGetVstVersion));
}

std::int32_t Plugin::Category() {
  return static_cast<std::int32_t>(Dispatch(vst2::effGetPlugCategory));
}

std::intptr_t Plugin::CanDo(const std::string& text) {
  // The dispatcher takes a mutable pointer; give it a copy it may scribble on.
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return Dispatch(vst2::effCanDo, 0, 0, buffer.data());
}

std::int32_t Plugin::NumParams() const { return effect_ != nullptr ? effect_->numParams : 0; }

std::int32_t Plugin::NumPrograms() const { return effect_ != nullptr ? effect_->numPrograms : 0; }

std::string Plugin::ParamName(std::int32_t index) {
  char buffer[kStringBuffer] = {};
  Dispatch(vst2::effGetParamName, index, 0, buffer);
  return Trimmed(buffer, sizeof buffer);
}

std::string Plugin::ParamDisplay(std::int32_t index) {
  char buffer[kStringBuffer] = {};
  Dispatch(vst2::effGetParamDisplay, index, 0, buffer);
  return Trimmed(buffer, sizeof buffer);
}

std::string Plugin::ParamLabel(std::int32_t index) {
  char buffer[kStringBuffer] = {};
  Dispatch(vst2::effGetParamLabel, index, 0, buffer);
  return Trimmed(buffer, sizeof buffer);
}

bool Plugin::CanBeAutomated(std::int32_t index) {
  return Dispatch(vst2::effCanBeAutomated, index) != 0;
}

float Plugin::GetParameter(std::int32_t index) {
  if (effect_ == nullptr || effect_->getParameter == nullptr) return 0.0f;
  return effect_->getParameter(effect_, index);
}

void Plugin::SetParameter(std::int32_t index, float normalised) {
  if (effect_ == nullptr || effect_->setParameter == nullptr) return;
  effect_->setParameter(effect_, index, normalised);
}

bool Plugin::String2Parameter(std::int32_t index, const std::string& text) {
  std::vector<char> buffer(text.begin(), text.end());
  buffer.push_back('\0');
  return Dispatch(vst2::effString2Parameter, index, 0, buffer.data()) != 0;
}

std::int32_t Plugin::Program() { return static_cast<std::int32_t>(Dispatch(vst2::effGetProgram)); }

void Plugin::SetProgram(std::int32_t index) { Dispatch(vst2::effSetProgram, 0, index); }

std::string Plugin::ProgramName() {
  char buffer[kStringBuffer] = {};
  Dispatch(vst2::effGetProgramName, 0, 0, buffer);
  return Trimmed(buffer, sizeof buffer);
}

void Plugin::SetProgramName(const std::string& name) {
  // Passed through untruncated: limiting the length is the plug-in's job, and
  // tests want to see that it does.
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  Dispatch(vst2::effSetProgramName, 0, 0, buffer.data());
}

bool Plugin::ProgramNameIndexed(std::int32_t index, std::string* name) {
  char buffer[kStringBuffer] = {};
  const bool answered = Dispatch(vst2::effGetProgramNameIndexed, index, 0, buffer) != 0;
  if (name != nullptr) *name = answered ? Trimmed(buffer, sizeof buffer) : std::string();
  return answered;
}

std::vector<std::uint8_t> Plugin::GetChunk(bool isProgram) {
  void* data = nullptr;
  const std::intptr_t size = Dispatch(vst2::effGetChunk, isProgram ? 1 : 0, 0, &data);
  // No state is anywhere near this big; a larger size is a broken plug-in.
  constexpr std::intptr_t kLargestChunk = std::intptr_t{1} << 28;
  if (size <= 0 || size > kLargestChunk || data == nullptr) return {};
  // The plug-in keeps ownership of the memory; take a copy before the next call.
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(bytes, bytes + size);
}

std::intptr_t Plugin::SetChunk(const std::vector<std::uint8_t>& data, bool isProgram) {
  std::vector<std::uint8_t> copy(data);
  return Dispatch(vst2::effSetChunk, isProgram ? 1 : 0, static_cast<std::intptr_t>(copy.size()),
                  copy.empty() ? nullptr : copy.data());
}

std::int32_t Plugin::Latency() const { return effect_ != nullptr ? effect_->initialDelay : 0; }

std::int32_t Plugin::Flags() const { return effect_ != nullptr ? effect_->flags : 0; }

std::int32_t Plugin::NumInputs() const { return effect_ != nullptr ? effect_->numInputs : 0; }

std::int32_t Plugin::NumOutputs() const { return effect_ != nullptr ? effect_->numOutputs : 0; }

void Plugin::ProcessDouble(double** inputs, double** outputs, std::int32_t frames) {
  if (effect_ == nullptr || effect_->processDoubleReplacing == nullptr) return;
  effect_->processDoubleReplacing(effect_, inputs, outputs, frames);
}

void Plugin::ProcessFloat(float** inputs, float** outputs, std::int32_t frames) {
  if (effect_ == nullptr || effect_->processReplacing == nullptr) return;
  effect_->processReplacing(effect_, inputs, outputs, frames);
}

void Plugin::ProcessAccumulate(float** inputs, float** outputs, std::int32_t frames) {
  if (effect_ == nullptr || effect_->process == nullptr) return;
  effect_->process(effect_, inputs, outputs, frames);
}

bool Plugin::HasEditor() const {
  return effect_ != nullptr && (effect_->flags & vst2::effFlagsHasEditor) != 0;
}

bool Plugin::EditorRect(int* width, int* height) {
  ERect* rect = nullptr;
  Dispatch(vst2::effEditGetRect, 0, 0, &rect);
  int w = 0, h = 0;
  if (rect != nullptr) {
    w = rect->right - rect->left;
    h = rect->bottom - rect->top;
  }
  const bool valid = w > 0 && h > 0;
  if (width != nullptr) *width = valid ? w : 0;
  if (height != nullptr) *height = valid ? h : 0;
  return valid;
}

bool Plugin::OpenEditor(unsigned long parentWindow) {
  return Dispatch(vst2::effEditOpen, 0, 0,
                  reinterpret_cast<void*>(static_cast<std::uintptr_t>(parentWindow))) == 1;
}

void Plugin::IdleEditor() { Dispatch(vst2::effEditIdle); }

void Plugin::CloseEditor() { Dispatch(vst2::effEditClose); }

std::vector<HostCall> Plugin::RecordedCalls() const {
  std::lock_guard<std::mutex> lock(recordMutex_);
  return recorded_;
}

void Plugin::ClearRecordedCalls() {
  std::lock_guard<std::mutex> lock(recordMutex_);
  recorded_.clear();
}

std::string FourCCText(std::int32_t id) {
  const auto bits = static_cast<std::uint32_t>(id);
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>((bits >> (24 - 8 * i)) & 0xffu);
    if (c >= 0x20 && c < 0x7f) text[static_cast<std::size_t>(i)] = static_cast<char>(c);
  }
  return text;
}

}  // namespace tessaro::host
