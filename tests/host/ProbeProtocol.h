// What the host tests and the probe plug-in (ProbePlugin.cpp) agree on. The
// probe is a tiny VST 2.4 plug-in whose answers are known exactly, so the
// tests can check every host call and callback answer, which a third-party
// plug-in cannot show us.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/vst2.h"

namespace probe {

constexpr std::int32_t kUniqueId = vst2::FourCC('P', 'r', 'b', 'E');
constexpr std::int32_t kVersion = 1234;
constexpr std::int32_t kVendorVersion = 4321;
constexpr std::int32_t kLatency = 64;
constexpr std::int32_t kFlags = vst2::effFlagsCanReplacing | vst2::effFlagsProgramChunks |
                                vst2::effFlagsNoSoundInStop | vst2::effFlagsCanDoubleReplacing;
constexpr std::int32_t kNumParams = 3;
constexpr std::int32_t kNumPrograms = 2;
// The probe writes its effect name without a terminating NUL: the host must
// hand out a zeroed buffer for the name to come back intact.
constexpr const char* kEffectName = "Host Probe";
constexpr const char* kVendor = "Tessaro Test";
constexpr const char* kProduct = "Probe Product";

// Scale factors of the three process calls, so a test sees which one ran.
constexpr float kReplacingGain = 0.5f;
constexpr double kDoubleGain = 0.25;

// effVendorSpecific with this index and a Request* in ptr makes the probe
// call the host callback and report the answer.
constexpr std::int32_t kRequestTag = vst2::FourCC('p', 'r', 'o', 'b');

struct Request {
  std::int32_t opcode = 0;
  std::int32_t index = 0;
  std::intptr_t value = 0;
  void* ptr = nullptr;
  float opt = 0.0f;
  bool fromOtherThread = false;  // call from a thread the probe starts
  bool withNullEffect = false;   // pass a null effect pointer
  std::intptr_t result = 0;
};

// Answers the probe collected from the host while its entry point ran, read
// back with effVendorSpecific index kLoadAnswersTag, ptr = LoadAnswers*.
constexpr std::int32_t kLoadAnswersTag = vst2::FourCC('l', 'o', 'a', 'd');
struct LoadAnswers {
  std::intptr_t versionWithNullEffect = -1;
  std::intptr_t sampleRateWithNullEffect = -1;
  std::intptr_t blockSizeWithPendingEffect = -1;
  std::intptr_t resvd1DuringEntry = -1;
};

// One dispatcher call as the probe saw it.
struct DispatchEntry {
  std::int32_t opcode;
  std::int32_t index;
  std::intptr_t value;
  float opt;
};

// Exported by the probe so a test can read the calls even after the host
// closed the effect (the test keeps its own dlopen handle on the library).
using ReadDispatchLogFn = std::size_t (*)(DispatchEntry* out, std::size_t capacity);
using ClearDispatchLogFn = void (*)();
constexpr const char* kReadDispatchLog = "ProbeReadDispatchLog";
constexpr const char* kClearDispatchLog = "ProbeClearDispatchLog";

}  // namespace probe
