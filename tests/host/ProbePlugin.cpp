// A minimal VST 2.4 plug-in for testing the host: fixed, known answers for
// every query, a log of the dispatcher calls, and a way to make it call the
// host callback on request. Built in several variants (see CMakeLists.txt)
// to exercise the loader's failure paths.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ProbeProtocol.h"

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Param {
  const char* name;
  const char* label;
  bool automatable;
};

constexpr Param kParams[probe::kNumParams] = {
    {"Gain", "dB", true},
    {"Mode", "", false},
    {"Ceiling", "dBTP", true},
};

struct Instance {
  AEffect effect{};  // first, so an AEffect* is also the Instance*
  audioMasterCallback host = nullptr;
  probe::LoadAnswers load;
  float params[probe::kNumParams] = {0.5f, 0.0f, 1.0f};
  std::int32_t program = 0;
  char programNames[probe::kNumPrograms][vst2::kVstMaxProgNameLen] = {"Gentle", "Loud"};
  std::vector<std::uint8_t> programChunk{'p', 'r', 'o', 'g', 0, 1, 2};
  std::vector<std::uint8_t> bankChunk{'b', 'a', 'n', 'k', 0xff, 0x00, 0x7f, 0x80};
};

Instance* Self(AEffect* effect) { return reinterpret_cast<Instance*>(effect); }

// The bad-magic variant's effect is never closed (the host must not touch
// it), so the library keeps it and frees it when unloaded.
[[maybe_unused]] std::unique_ptr<Instance> gRejected;

std::mutex gLogMutex;
std::vector<probe::DispatchEntry> gLog;

void WriteString(void* ptr, const char* text) {
  std::snprintf(static_cast<char*>(ptr), vst2::kVstMaxParamStrLen * 4, "%s", text);
}

std::intptr_t HandleRequest(Instance* self, probe::Request* request) {
  AEffect* effect = request->withNullEffect ? nullptr : &self->effect;
  auto call = [&] {
    request->result = self->host(effect, request->opcode, request->index, request->value,
                                 request->ptr, request->opt);
  };
  if (request->fromOtherThread) {
    std::thread worker(call);
    worker.join();
  } else {
    call();
  }
  return 1;
}

std::intptr_t Dispatcher(AEffect* effect, std::int32_t opcode, std::int32_t index,
                         std::intptr_t value, void* ptr, float opt) {
  {
    std::lock_guard<std::mutex> lock(gLogMutex);
    gLog.push_back({opcode, index, value, opt});
  }
  Instance* self = Self(effect);
  const bool validParam = index >= 0 && index < probe::kNumParams;
  switch (opcode) {
    case vst2::effClose:
      delete self;
      return 1;
    case vst2::effGetEffectName:
      std::memcpy(ptr, probe::kEffectName, std::strlen(probe::kEffectName));
      return 1;
    case vst2::effGetVendorString:
      WriteString(ptr, probe::kVendor);
      return 1;
    case vst2::effGetProductString:
      WriteString(ptr, probe::kProduct);
      return 1;
    case vst2::effGetVendorVersion:
      return probe::kVendorVersion;
    case vst2::effGetVstVersion:
      return vst2::kVstVersion;
    case vst2::effGetPlugCategory:
      return vst2::kPlugCategMastering;
    case vst2::effCanDo: {
      const std::string asked(static_cast<const char*>(ptr));
      if (asked == "receiveVstTimeInfo") return 1;
      if (asked == "sendVstEvents") return -1;
      return 0;
    }
    case vst2::effGetParamName:
      if (!validParam) return 0;
      WriteString(ptr, kParams[index].name);
      return 1;
    case vst2::effGetParamLabel:
      if (!validParam) return 0;
      WriteString(ptr, kParams[index].label);
      return 1;
    case vst2::effGetParamDisplay: {
      if (!validParam) return 0;
      char text[32];
      std::snprintf(text, sizeof text, "%.2f", static_cast<double>(self->params[index]));
      WriteString(ptr, text);
      return 1;
    }
    case vst2::effCanBeAutomated:
      return validParam && kParams[index].automatable ? 1 : 0;
    case vst2::effString2Parameter: {
      if (!validParam || ptr == nullptr) return 0;
      char* end = nullptr;
      const float v = std::strtof(static_cast<const char*>(ptr), &end);
      if (end == static_cast<const char*>(ptr) || *end != '\0' || v < 0.0f || v > 1.0f) return 0;
      self->params[index] = v;
      return 1;
    }
    case vst2::effGetProgram:
      return self->program;
    case vst2::effSetProgram:
      if (value >= 0 && value < probe::kNumPrograms)
        self->program = static_cast<std::int32_t>(value);
      return 0;
    case vst2::effGetProgramName:
      std::snprintf(static_cast<char*>(ptr), vst2::kVstMaxProgNameLen, "%s",
                    self->programNames[self->program]);
      return 0;
    case vst2::effSetProgramName:
      std::snprintf(self->programNames[self->program], vst2::kVstMaxProgNameLen, "%s",
                    static_cast<const char*>(ptr));
      return 0;
    case vst2::effGetProgramNameIndexed:
      if (index < 0 || index >= probe::kNumPrograms) return 0;
      std::snprintf(static_cast<char*>(ptr), vst2::kVstMaxProgNameLen, "%s",
                    self->programNames[index]);
      return 1;
    case vst2::effGetChunk: {
      std::vector<std::uint8_t>& chunk = index == 1 ? self->programChunk : self->bankChunk;
      *static_cast<void**>(ptr) = chunk.data();
      return static_cast<std::intptr_t>(chunk.size());
    }
    case vst2::effSetChunk: {
      std::vector<std::uint8_t>& chunk = index == 1 ? self->programChunk : self->bankChunk;
      const auto* bytes = static_cast<const std::uint8_t*>(ptr);
      chunk.assign(bytes, bytes + value);
      return 1;
    }
    case vst2::effVendorSpecific:
      if (index == probe::kRequestTag)
        return HandleRequest(self, static_cast<probe::Request*>(ptr));
      if (index == probe::kLoadAnswersTag) {
        *static_cast<probe::LoadAnswers*>(ptr) = self->load;
        return 1;
      }
      return 0;
    default:
      return 0;
  }
}

void SetParameter(AEffect* effect, std::int32_t index, float value) {
  if (index >= 0 && index < probe::kNumParams) Self(effect)->params[index] = value;
}

float GetParameter(AEffect* effect, std::int32_t index) {
  return index >= 0 && index < probe::kNumParams ? Self(effect)->params[index] : 0.0f;
}

void ProcessAccumulate(AEffect* effect, float** in, float** out, std::int32_t frames) {
  for (std::int32_t c = 0; c < effect->numOutputs; ++c) {
    for (std::int32_t i = 0; i < frames; ++i) out[c][i] += in[c][i];
  }
}

void ProcessReplacing(AEffect* effect, float** in, float** out, std::int32_t frames) {
  for (std::int32_t c = 0; c < effect->numOutputs; ++c) {
    for (std::int32_t i = 0; i < frames; ++i) out[c][i] = in[c][i] * probe::kReplacingGain;
  }
}

void ProcessDouble(AEffect* effect, double** in, double** out, std::int32_t frames) {
  for (std::int32_t c = 0; c < effect->numOutputs; ++c) {
    for (std::int32_t i = 0; i < frames; ++i) out[c][i] = in[c][i] * probe::kDoubleGain;
  }
}

[[maybe_unused]] AEffect* CreateEffect(audioMasterCallback host) {
  auto* self = new Instance;
  self->host = host;
  // Asked before the effect exists and while it is still being built, the
  // way many plug-ins do from their entry point.
  self->load.versionWithNullEffect = host(nullptr, vst2::audioMasterVersion, 0, 0, nullptr, 0.0f);
  self->load.sampleRateWithNullEffect =
      host(nullptr, vst2::audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
  AEffect& e = self->effect;
#if defined(PROBE_BAD_MAGIC)
  e.magic = vst2::FourCC('N', 'o', 'p', 'e');
#else
  e.magic = vst2::kEffectMagic;
#endif
  e.dispatcher = &Dispatcher;
  e.process = &ProcessAccumulate;
  e.setParameter = &SetParameter;
  e.getParameter = &GetParameter;
  e.numPrograms = probe::kNumPrograms;
  e.numParams = probe::kNumParams;
  e.numInputs = 2;
  e.numOutputs = 2;
  e.flags = probe::kFlags;
  e.initialDelay = probe::kLatency;
  e.object = self;
  e.uniqueID = probe::kUniqueId;
  e.version = probe::kVersion;
  e.processReplacing = &ProcessReplacing;
  e.processDoubleReplacing = &ProcessDouble;
  self->load.blockSizeWithPendingEffect =
      host(&e, vst2::audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
  self->load.resvd1DuringEntry = e.resvd1;
#if defined(PROBE_NULL_EFFECT)
  delete self;
  return nullptr;
#elif defined(PROBE_BAD_MAGIC)
  gRejected.reset(self);
  return &e;
#else
  return &e;
#endif
}

}  // namespace

PROBE_EXPORT std::size_t ProbeReadDispatchLog(probe::DispatchEntry* out, std::size_t capacity) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  const std::size_t n = gLog.size() < capacity ? gLog.size() : capacity;
  for (std::size_t i = 0; i < n; ++i) out[i] = gLog[i];
  return gLog.size();
}

PROBE_EXPORT void ProbeClearDispatchLog() {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.clear();
}

#if defined(PROBE_LEGACY_ENTRY)
// Old plug-ins export their entry point under the name "main".
PROBE_EXPORT AEffect* ProbeLegacyMain(audioMasterCallback host) __asm__("main");
PROBE_EXPORT AEffect* ProbeLegacyMain(audioMasterCallback host) { return CreateEffect(host); }
#elif !defined(PROBE_NO_ENTRY)
PROBE_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) { return CreateEffect(host); }
#endif
