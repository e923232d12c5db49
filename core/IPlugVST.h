// The VST 2.4 wrapper: owns the AEffect record the host talks to, answers
// the dispatcher and the process and parameter callbacks, and implements the
// base's host-facing operations on top of the host callback.
#pragma once

#include "core/IPlugBase.h"
#include "core/vst2.h"

namespace tessaro {

class IPlugVST : public IPlugBase {
 public:
  IPlugVST(audioMasterCallback host, const IPlugConfig& config);
  ~IPlugVST() override;

  AEffect* Effect() { return &effect_; }
  static IPlugVST* FromEffect(AEffect* effect);

  void HostBeginEdit(int index) override;
  void HostAutomate(int index, double normalised) override;
  void HostEndEdit(int index) override;
  void HostUpdateDisplay() override;
  bool IsRenderingOffline() override;
  std::int64_t HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void QueryHostTime(HostTimeInfo& info) override;
  int HostId() override;
  int PluginApi() override;
  void ResizeEditor(int width, int height) override;
  void InitForHost() override;
  void AttachEditor(IEditorLink* editor) override;
  void SetReportedLatency(int samples) override;
  bool SendMidi(const IMidiMsg& message) override;
  bool SendSystemExclusive(const ISysEx& message) override;
  void SetMaxBlockSize(int frames) override;

  // Largest block the scratch buffers are ever sized for; longer host blocks
  // are processed in pieces of at most the block size.
  static constexpr int kMaxBlockSize = 1 << 18;

  std::int32_t HostExtensionFlags() const { return hostExtensions_; }
  const ERect& EditorRect() const { return editorRect_; }

 private:
  static std::intptr_t VSTDispatcher(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                     std::intptr_t value, void* ptr, float opt);
  static void VSTProcess(AEffect* effect, float** inputs, float** outputs, std::int32_t frames);
  static void VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs, std::int32_t frames);
  static void VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                        std::int32_t frames);
  static float VSTGetParameter(AEffect* effect, std::int32_t index);
  static void VSTSetParameter(AEffect* effect, std::int32_t index, float value);

  std::intptr_t Dispatch(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr, float opt);
  std::intptr_t GetChunk(std::int32_t index, void* ptr);
  std::intptr_t SetChunk(std::int32_t index, std::intptr_t size, void* ptr);
  std::intptr_t String2Parameter(std::int32_t index, const char* text);
  std::intptr_t ProcessEvents(const VstEvents* events);
  std::intptr_t PinProperties(bool input, std::int32_t index, VstPinProperties* props);
  std::intptr_t VendorSpecific(std::int32_t index, std::intptr_t value, void* ptr, float opt);
  std::intptr_t CanDo(const char* text);
  void SetSpeakerArrangement(const VstSpeakerArrangement* in, const VstSpeakerArrangement* out);
  // Converts 32-bit host audio, processes, and writes or adds the result.
  void ProcessFloat(float** inputs, float** outputs, int frames, bool accumulate) noexcept;
  void ProcessDouble(double** inputs, double** outputs, int frames) noexcept;
  std::intptr_t CallHost(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f);
  const VstTimeInfo* GetTime(std::int32_t flags);

  audioMasterCallback host_;
  AEffect effect_{};
  ERect editorRect_{};
  VstSpeakerArrangement inputArrangement_{};
  VstSpeakerArrangement outputArrangement_{};
  bool hostInitDone_ = false;
  std::int32_t hostExtensions_ = 0;
  IStateChunk programChunk_;
  IStateChunk bankChunk_;
};

}  // namespace tessaro
