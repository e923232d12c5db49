// Host side of the VST 2.4 interface: loads a plug-in library the way a DAW
// does, answers its host callback and wraps the dispatcher in typed calls.
// Used by the command-line host and by the tests that drive a plug-in.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/vst2.h"

namespace tessaro::host {

// One call the plug-in made to the host callback.
struct HostCall {
  std::int32_t opcode = 0;
  std::int32_t index = 0;
  std::intptr_t value = 0;
  float opt = 0.0f;
};

struct HostOptions {
  double sampleRate = 44100.0;
  std::int32_t blockSize = 512;
  std::string productString = "tessaro";
  std::string vendorString = "Kest-Audio";
  std::int32_t vendorVersion = 2110;
  std::int32_t processLevel = vst2::kVstProcessLevelRealtime;
};

// A loaded plug-in library with one effect instance. Not copyable; destroying
// it closes the effect (effClose) and unloads the library.
class Plugin {
 public:
  // Loads the library, finds VSTPluginMain (or the legacy main) and creates
  // one effect. Returns null and fills *error when anything fails. Does not
  // send effOpen: call Open() (or Start()) like a host would.
  static std::unique_ptr<Plugin> Load(const std::string& path, const HostOptions& options,
                                      std::string* error);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  AEffect* effect() const { return effect_; }
  std::intptr_t Dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0,
                         void* ptr = nullptr, float opt = 0.0f);

  // Host start-up sequence: effOpen, sample rate, block size, mains on.
  void Start();
  void Open();
  void SetSampleRate(double rate);
  void SetBlockSize(std::int32_t frames);
  void Resume();   // effMainsChanged 1
  void Suspend();  // effMainsChanged 0

  std::string EffectName();
  std::string VendorString();
  std::string ProductString();
  std::int32_t VendorVersion();
  std::int32_t VstVersion();
  std::int32_t Category();
  std::intptr_t CanDo(const std::string& text);

  std::int32_t NumParams() const;
  std::int32_t NumPrograms() const;
  std::string ParamName(std::int32_t index);
  std::string ParamDisplay(std::int32_t index);
  std::string ParamLabel(std::int32_t index);
  bool CanBeAutomated(std::int32_t index);
  float GetParameter(std::int32_t index);
  void SetParameter(std::int32_t index, float normalised);
  bool String2Parameter(std::int32_t index, const std::string& text);

  std::int32_t Program();
  void SetProgram(std::int32_t index);
  std::string ProgramName();
  void SetProgramName(const std::string& name);
  // Empty string and false when the plug-in answers 0.
  bool ProgramNameIndexed(std::int32_t index, std::string* name);

  // effGetChunk: program chunk when isProgram, bank chunk otherwise. Empty
  // when the plug-in answers 0.
  std::vector<std::uint8_t> GetChunk(bool isProgram);
  // effSetChunk; returns the dispatcher's answer.
  std::intptr_t SetChunk(const std::vector<std::uint8_t>& data, bool isProgram);

  std::int32_t Latency() const;  // AEffect::initialDelay
  std::int32_t Flags() const;
  std::int32_t NumInputs() const;
  std::int32_t NumOutputs() const;

  void ProcessDouble(double** inputs, double** outputs, std::int32_t frames);
  void ProcessFloat(float** inputs, float** outputs, std::int32_t frames);
  void ProcessAccumulate(float** inputs, float** outputs, std::int32_t frames);

  // Host-side state the callback answers from. Safe to change between calls.
  HostOptions& options() { return options_; }
  VstTimeInfo& timeInfo() { return timeInfo_; }

  // The editor, as a host drives it. EditorRect is effEditGetRect: false
  // (and 0 x 0) when the plug-in gives no rectangle or an empty one.
  // OpenEditor passes the parent X11 window id; true when the plug-in
  // answers 1. Idle and close belong on the thread that opened it.
  bool HasEditor() const;
  bool EditorRect(int* width, int* height);
  bool OpenEditor(unsigned long parentWindow);
  void IdleEditor();
  void CloseEditor();

  // audioMasterSizeWindow (index = width, value = height) goes here when
  // set; its answer becomes the callback's (1 resized, 0 refused). Runs on
  // the thread the plug-in calls from, usually inside an editor call on the
  // GUI thread. Without it the host answers 1 and does nothing.
  std::function<bool(int width, int height)> onSizeWindow;

  // Calls the plug-in made that a test may want to assert: automate, begin
  // and end edit, size window, update display, IO changed, process events.
  // The most recent 32768 to 65536 of them.
  std::vector<HostCall> RecordedCalls() const;
  void ClearRecordedCalls();
  // Called (on the plug-in's thread) for every host callback before it is
  // answered; lets a test block or observe. May be empty.
  std::function<void(const HostCall&)> onCallback;

 private:
  Plugin() = default;
  static std::intptr_t Callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                std::intptr_t value, void* ptr, float opt);
  std::intptr_t Answer(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                       float opt);

  void* library_ = nullptr;
  AEffect* effect_ = nullptr;
  HostOptions options_;
  VstTimeInfo timeInfo_{};
  mutable std::mutex recordMutex_;
  std::vector<HostCall> recorded_;
};

// The four characters of a VST unique ID ("Q7mR"); non-printable bytes as '?'.
std::string FourCCText(std::int32_t id);

}  // namespace tessaro::host
