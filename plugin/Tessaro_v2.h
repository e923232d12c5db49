// Tessaro: a stereo mastering limiter.
#pragma once

#include <memory>
#include <vector>

#include "core/IPlugVST.h"
#include "meters/DisplaySettings.h"
#include "plugin/EditorState.h"
#include "plugin/Parameters.h"

namespace tessaro {

class Tessaro_v2 : public IPlugVST {
 public:
  static constexpr int kNumPrograms = 20;
  static constexpr int kNumLimiterTypes = 9;
  static constexpr double kStateVersion = 20110.0;
  // States from this version on carry the preset-file fields.
  static constexpr double kPresetFieldsVersion = 20010.0;
  static constexpr std::int32_t kKnobListEnd = static_cast<std::int32_t>(0xFF7BA013);
  static constexpr int kDefaultBlendOperator = 19;  // colour dodge

  explicit Tessaro_v2(audioMasterCallback host);
  ~Tessaro_v2() override;

  // Any thread; takes the plug-in lock; allocates (the chunk grows).
  bool SaveState(IStateChunk& chunk) override;
  // Any thread; takes the plug-in lock.
  int LoadState(const IStateChunk& chunk, int position) override;

  // The editor-side fields of the state.
  ResizeState& Resize() { return resize_; }
  DisplaySettings& Display() { return display_; }
  std::vector<KnobRanges>& Knobs() { return knobs_; }
  int& BlendOperator() { return blendOperator_; }
  PresetFileRef& PresetFile() { return presetFile_; }
  bool IsLoading() const { return loading_; }

  // Where the last SaveState put the parameter values (field 14) and where
  // the value of parameter 18 ended; the modification check compares them.
  int ParamsStart() const { return paramsStart_; }
  int Param18End() const { return param18End_; }

 protected:
  int ResizeParamCount() const override { return ResizeState::kNumValues; }
  double ResizeParamValue(int i) const override { return resize_.values[static_cast<std::size_t>(i)]; }
  void SetResizeParamClamped(int i, double v) override { resize_.SetValueClamped(i, v); }

 private:
  void DefineParameters();
  void CreateFactoryPrograms();
  // The state as the factory programs of slots 2..14 were stored.
  IStateChunk FactoryState(int slot) const;
  int ReadKnobRanges(const IStateChunk& chunk, int position, std::vector<std::pair<KnobRanges*, int>>& remembered);

  ResizeState resize_;
  DisplaySettings display_;
  std::vector<KnobRanges> knobs_;
  int blendOperator_ = kDefaultBlendOperator;
  PresetFileRef presetFile_;
  bool loading_ = true;  // set until the first reset and while a state loads
  int paramsStart_ = 0;
  int param18End_ = 0;
};

}  // namespace tessaro
