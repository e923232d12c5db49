// The plug-in object's base: parameters, the plug-in lock, program slots,
// channel bookkeeping, identity, and the chunk formats hosts persist. The
// host wrapper and the editor drive the concrete plug-in through the virtual
// operations below, whose order is fixed.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/IEditorLink.h"
#include "core/IParameter.h"
#include "core/IStateChunk.h"

namespace tessaro {

class IPlugGUIResize;

// Where a parameter change came from.
enum ParameterSource : int { kSourceHost = 0, kSourceRestore = 1, kSourceEditor = 2 };

constexpr double kNoValue = -8675309.0;
constexpr std::int32_t kFrameworkMagic = 0x70666674;  // 'pfft'
constexpr std::int32_t kFrameworkVersion = 0x00010000;

struct IChannelIOConfig {
  std::int32_t inputs;
  std::int32_t outputs;
};

struct IMidiMsg {
  int offset = 0;
  std::uint8_t status = 0, data1 = 0, data2 = 0;
};

struct ISysEx {
  int offset = 0;
  const std::uint8_t* data = nullptr;
  int size = 0;
};

struct HostTimeInfo {
  double tempo = 0.0;
  double samplePos = 0.0;
  double ppqPos = 0.0;
  double lastBar = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  std::int32_t numerator = 0;
  std::int32_t denominator = 0;
  bool transportIsRunning = false;
  bool transportLoopEnabled = false;
};

struct IProgramSlot {
  bool initialized = false;
  char name[256] = "empty";
  IStateChunk state;
  // How many leading bytes of the state a bank stores; the zero padding of a
  // built-in program would otherwise be read back as the next slots.
  int bankBytes = -1;  // -1: all of them
};

struct IInputChannel {
  bool connected = false;
  double** entry = nullptr;  // this channel's slot in the input pointer array
  std::vector<double> scratch;
  std::string label;
};

struct IOutputChannel {
  bool connected = false;
  double** entry = nullptr;
  std::vector<double> scratch;
  std::string label;
  float* hostFloat = nullptr;  // host buffer during a 32-bit process call
};

struct IPlugConfig {
  int hostParams;
  int internalParams;
  int programs;
  const char* ioString;
  const char* effectName;
  const char* productName;
  const char* vendorName;
  std::int32_t uniqueId;
  std::int32_t manufacturerId;
  std::int32_t version;  // 0xMMMMmmpp
  bool usesChunks;
  bool isInstrument;
  bool usesMidi;
  int latency;
};

class IPlugBase {
 public:
  explicit IPlugBase(const IPlugConfig& config);
  virtual ~IPlugBase();
  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // --- virtual operations, in their fixed order ---
  // Any thread; takes the plug-in lock.
  virtual void ResetProcessing();
  // Any thread; takes the plug-in lock. source: ParameterSource.
  virtual void ParameterChanged(int index, int source);
  // Audio thread, plug-in lock held; never allocates.
  virtual void ProcessBlock(double** inputs, double** outputs, int frames) noexcept;
  virtual void EditorOpened();
  virtual void EditorClosed();
  virtual void ReservedHook1();
  virtual void ActivationChanged(bool active);
  virtual void HandleMidiMessage(const IMidiMsg& message);
  virtual void HandleSysEx(const ISysEx& message);
  virtual bool MidiKeyName(int key, char* name);
  // Writes the whole state; any thread, takes the plug-in lock.
  virtual bool SaveState(IStateChunk& chunk);
  // Reads a state at position; returns the position after it or -1.
  virtual int LoadState(const IStateChunk& chunk, int position);
  // True when the parameter values stored at position match the current ones.
  virtual bool StateMatches(const IStateChunk& reference, int position);
  virtual void EditorResized();
  virtual void EditorLayoutChanged(int viewMode, double width, double height);
  virtual int ReservedHook2();
  virtual void HostIdentified();
  virtual void ReservedHook3();
  // Editor thread: stores the value, tells the host, reacts with source 2.
  virtual void SetParameterFromEditor(int index, double normalised);
  virtual void HostBeginEdit(int index) = 0;
  virtual void HostAutomate(int index, double normalised) = 0;
  virtual void HostEndEdit(int index) = 0;
  virtual void HostUpdateDisplay() = 0;
  virtual bool IsRenderingOffline();
  virtual std::int64_t HostSamplePosition() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSignature(int* numerator, int* denominator) = 0;
  virtual void QueryHostTime(HostTimeInfo& info) = 0;
  virtual int HostId();
  virtual int PluginApi();
  virtual void ResizeEditor(int width, int height) = 0;
  virtual void InitForHost();
  virtual void AttachEditor(IEditorLink* editor);
  virtual void SetReportedLatency(int samples);
  virtual bool SendMidi(const IMidiMsg& message) = 0;
  virtual bool SendSystemExclusive(const ISysEx& message);
  virtual void RedrawParameterControls();
  virtual void ReservedHook4();
  virtual void ProgramChangedByHost();
  virtual void SetMaxBlockSize(int frames);

  // --- non-virtual operations ---
  void ResetAllParameters();
  bool LegalIO(int inputs, int outputs) const;
  bool RecallProgram(int index);
  void ModifyCurrentPreset(const char* name = nullptr);
  void FillEmptyPrograms(const char* name, int count);
  void AddProgramFromBase64(const char* name, const char* text, int size);
  bool SerializePresets(IStateChunk& chunk);
  int UnserializePresets(const IStateChunk& chunk, int position);
  bool SerializeParams(IStateChunk& chunk);
  int UnserializeParams(const IStateChunk& chunk, int position);

  static void ChunkWithHeader(IStateChunk& chunk);
  static std::int32_t VersionFromChunk(const IStateChunk& chunk, int& position);

  std::recursive_mutex& Mutex() { return mutex_; }
  int NumParams() const { return static_cast<int>(params_.size()); }
  int NumHostParams() const { return hostParams_; }
  int NumInternalParams() const { return internalParams_; }
  bool IsValidParam(int index) const { return index >= 0 && index < NumParams(); }
  IParameter* GetParam(int index) { return IsValidParam(index) ? &params_[index] : nullptr; }
  const IParameter* GetParam(int index) const { return IsValidParam(index) ? &params_[index] : nullptr; }
  int NumPrograms() const { return static_cast<int>(programs_.size()); }
  bool IsValidProgram(int index) const { return index >= 0 && index < NumPrograms(); }
  const IProgramSlot* GetProgram(int index) const { return IsValidProgram(index) ? &programs_[index] : nullptr; }
  int CurrentProgram() const { return currentProgram_; }
  const std::vector<std::pair<std::string, std::string>>& BuiltInPrograms() const { return builtInPrograms_; }

  const char* EffectName() const { return effectName_; }
  const char* ProductName() const { return productName_; }
  const char* VendorName() const { return vendorName_; }
  std::int32_t UniqueId() const { return uniqueId_; }
  std::int32_t ManufacturerId() const { return manufacturerId_; }
  std::int32_t Version() const { return version_; }
  // (major * 100 + minor) * 100 + patch
  std::int32_t DecimalVersion() const;
  std::int32_t HostVersion() const { return hostVersion_; }
  bool UsesChunks() const { return usesChunks_; }
  bool IsInstrument() const { return isInstrument_; }
  bool UsesMidi() const { return usesMidi_; }
  double SampleRate() const { return sampleRate_; }
  int BlockSize() const { return blockSize_; }
  int Latency() const { return latency_; }
  int TailSize() const { return tailSize_; }
  IEditorLink* Editor() const { return editor_; }
  IPlugGUIResize* ResizeController() const { return resize_; }
  int NumInputChannels() const { return static_cast<int>(inputs_.size()); }
  int NumOutputChannels() const { return static_cast<int>(outputs_.size()); }

 protected:
  // The values a resize controller stores in every state (none without one).
  virtual int ResizeParamCount() const { return 0; }
  virtual double ResizeParamValue(int) const { return 0.0; }
  virtual void SetResizeParamClamped(int, double) {}

  // Every control bound to the parameter takes the value, when an editor exists.
  void PushToEditor(int index, double value, bool normalised);

  std::vector<IChannelIOConfig> ioConfigs_;
  std::recursive_mutex mutex_;
  std::vector<std::pair<std::string, std::string>> builtInPrograms_;
  char effectName_[128] = {};
  char productName_[128] = {};
  char vendorName_[128] = {};
  std::int32_t uniqueId_ = 0;
  std::int32_t manufacturerId_ = 0;
  std::int32_t version_ = 0;
  std::int32_t apiCode_ = 0;
  std::int32_t hostId_ = -1;
  std::int32_t hostVersion_ = 0;
  bool usesChunks_ = true;
  bool isInstrument_ = false;
  bool usesMidi_ = false;
  int currentProgram_ = 0;
  double sampleRate_ = 44100.0;
  int blockSize_ = 0;
  int latency_ = 2048;
  int tailSize_ = 0;
  int hostParams_ = 0;
  int internalParams_ = 0;
  IEditorLink* editor_ = nullptr;
  IPlugGUIResize* resize_ = nullptr;
  std::vector<IParameter> params_;
  std::vector<IProgramSlot> programs_;
  std::vector<double*> inputPtrs_;
  std::vector<double*> outputPtrs_;
  std::vector<IInputChannel> inputs_;
  std::vector<IOutputChannel> outputs_;
};

}  // namespace tessaro
