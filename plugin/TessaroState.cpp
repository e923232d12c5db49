// The plug-in state as hosts, presets and undo snapshots store it, and the
// factory programs built in that same layout.
#include <algorithm>
#include <cmath>

#include "meters/DisplayThemes.h"
#include "plugin/Tessaro_v2.h"

namespace tessaro {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr double kScaleFieldLimit = 3.0;
constexpr double kVersionEpsilon = 2.22045e-13;
constexpr double kNoValueEpsilon = 2.22045e-12;
constexpr int kParamsAppliedOnLoad = kNumHostParams;  // 0..17
constexpr int kParamsReappliedAfterLoad = kLimiterType + 1;  // 0..20

}  // namespace

bool Tessaro_v2::SaveState(IStateChunk& chunk) {
  Lock lock(mutex_);
  chunk.PutInt(NumHostParams());
  chunk.PutInt(NumInternalParams());
  for (double v : resize_.values) chunk.PutDouble(v);
  chunk.PutDouble(resize_.scale);
  chunk.PutDouble(DecimalVersion());
  chunk.PutInt(1);
  for (const KnobRanges& knob : knobs_) {
    chunk.PutInt(knob.ParamIndex());
    chunk.PutInt(knob.SelectedPoint());
  }
  chunk.PutInt(kKnobListEnd);
  chunk.PutInt(kKnobListEnd);
  display_.WriteRecord(chunk);
  chunk.PutInt(blendOperator_);
  chunk.PutDouble(1.0);
  chunk.PutString(presets_.Path());
  chunk.PutInt(presets_.CurrentIndex());
  paramsStart_ = chunk.Size();
  for (int i = 0; i < NumParams(); ++i) {
    chunk.PutDouble(params_[i].Value());
    if (chunk.Empty()) return false;
    if (i == kBypass) param18End_ = chunk.Size();
  }
  return true;
}

int Tessaro_v2::ReadKnobRanges(const IStateChunk& chunk, int position,
                               std::vector<std::pair<KnobRanges*, int>>& remembered) {
  while (position >= 0 && position < chunk.Size()) {
    std::int32_t p = 0, r = 0;
    position = chunk.GetInt(&p, position);
    position = chunk.GetInt(&r, position);
    if (p == kKnobListEnd || r == kKnobListEnd || position < 0) break;
    for (KnobRanges& knob : knobs_) {
      if (knob.ParamIndex() != p) continue;
      knob.WidenToFullRange(params_[p]);
      remembered.emplace_back(&knob, r);
    }
  }
  return position;
}

int Tessaro_v2::LoadState(const IStateChunk& chunk, int position) {
  if (position < 0) return position;
  std::vector<std::pair<KnobRanges*, int>> knobRecords;
  std::vector<double> knobValues;
  {
    Lock lock(mutex_);
    loading_ = true;
    std::int32_t hostCount = 0, internalCount = 0;  // the host count is always 18
    position = chunk.GetInt(&hostCount, position);
    position = chunk.GetInt(&internalCount, position);
    for (int i = 0; i < ResizeState::kNumValues; ++i) {
      double v = 0.0;
      position = chunk.GetDouble(&v, position);
      resize_.SetValueClamped(i, position < 0 ? 0.0 : v);
    }

    // Older states have no scale field and go straight to the version.
    double scale = 1.0;
    const int afterScale = chunk.GetDouble(&scale, position);
    if (afterScale < 0) {
      position = -1;
    } else if (!(scale >= 0.0 && scale <= kScaleFieldLimit)) {
      // taken as absent: the version follows where the scale would be
    } else {
      position = afterScale;
      resize_.scale = std::clamp(scale, resize_.minScale, resize_.maxScale);
    }

    double version = 0.0;
    position = chunk.GetDouble(&version, position);
    if (position < 0 || !(std::fabs(version) > kVersionEpsilon)) {
      loading_ = false;
      return -1;
    }
    std::int32_t reserved = 0;
    position = chunk.GetInt(&reserved, position);
    position = ReadKnobRanges(chunk, position, knobRecords);
    knobValues.assign(knobRecords.size(), 0.0);

    position = display_.ReadRecord(chunk, position);
    if (position < 0) position = -1;
    std::int32_t blend = blendOperator_;
    position = chunk.GetInt(&blend, position);
    if (position >= 0) blendOperator_ = blend;

    if (version >= kPresetFieldsVersion) {
      double ignored = 0.0;
      position = chunk.GetDouble(&ignored, position);
      std::string path;
      position = chunk.GetString(&path, position);
      std::int32_t entry = 0;
      position = chunk.GetInt(&entry, position);
      // The library the state was made with, or the default one.
      if (position >= 0) presets_.RestoreFromState(path, entry);
    }

    for (int i = 0; i < kParamsAppliedOnLoad && position >= 0; ++i) {
      double v = 0.0;
      position = chunk.GetDouble(&v, position);
      if (position < 0) v = 0.0;
      if (std::fabs(v - kNoValue) <= kNoValueEpsilon || std::isnan(v)) continue;
      params_[i].SetClamped(v);
      PushToEditor(i, v, false);
      for (std::size_t k = 0; k < knobRecords.size(); ++k)
        if (knobRecords[k].first->ParamIndex() == i) knobValues[k] = v;
    }

    // The internal values are not restored, but must be there.
    const std::int64_t internalBytes = static_cast<std::int64_t>(internalCount) * 8;
    if (position >= 0) {
      if (internalCount < 0 || internalCount > NumInternalParams() ||
          position + internalBytes > chunk.Size())
        position = -1;
      else
        position += static_cast<int>(internalBytes);
    }
  }

  // A load ends any learning: switched off before the re-apply, so that its
  // reaction cannot move the trim the state just brought.
  params_[kAutoLearnTrim].Set(0.0);
  for (int i = 0; i < kParamsReappliedAfterLoad; ++i) ParameterChanged(i, kSourceRestore);
  PushToEditor(kAutoLearnTrim, 0.0, false);
  for (std::size_t k = 0; k < knobRecords.size(); ++k) {
    KnobRanges& knob = *knobRecords[k].first;
    IParameter& param = params_[knob.ParamIndex()];
    // An unknown range falls back to the first, never leaving the widened one.
    if (!knob.SelectValuePoint(param, knobRecords[k].second, knobValues[k], true))
      knob.SelectValuePoint(param, 0, knobValues[k], true);
  }
  learnOn_ = false;
  StartFade(0.35);
  HostUpdateDisplay();
  loading_ = false;
  return position;
}

bool Tessaro_v2::StateMatches(const IStateChunk& reference, int position) {
  IStateChunk current;
  if (!SaveState(current) || position < 0 || param18End_ <= paramsStart_) return false;
  const std::uint8_t* first = current.Data() + paramsStart_;
  const std::uint8_t* last = current.Data() + param18End_;
  const std::uint8_t* begin = reference.Data() + std::min(position, reference.Size());
  const std::uint8_t* end = reference.Data() + reference.Size();
  return std::search(begin, end, first, last) != end;
}

bool Tessaro_v2::StateMatchesText(const std::string& referenceBase64) {
  return StateMatches(IStateChunk::FromBase64(referenceBase64), 0);
}

IStateChunk Tessaro_v2::FactoryState(int slot) const {
  struct Character {
    int type;
    double limit, transient;
  };
  static constexpr Character kCharacters[] = {
      {1, 0, 60}, {2, 77, 21}, {3, 60, 81}, {4, 24, 24}, {5, 78, 60}, {6, 16, 45}, {7, 55, 80}, {8, 25, 45},
  };
  const Character character = slot >= 2 && slot <= 9 ? kCharacters[slot - 2] : Character{0, 50, 50};

  IStateChunk chunk;
  chunk.PutInt(kNumHostParams);
  chunk.PutInt(kNumParams - kNumHostParams - 1);  // these states hold 27 values
  static constexpr double kOrangeSize[ResizeState::kNumValues] = {0, 1280, 720, 960, 1600, 540, 900};
  for (int i = 0; i < ResizeState::kNumValues; ++i) chunk.PutDouble(slot == 14 ? kOrangeSize[i] : -1.0);
  chunk.PutDouble(20000.0);  // before the scale and preset-file fields existed
  chunk.PutInt(2);
  chunk.PutInt(kMarginLevel);
  chunk.PutInt(0);
  chunk.PutInt(kKnobListEnd);
  chunk.PutInt(kKnobListEnd);
  DisplaySettings display;
  FactoryDisplaySettings(slot, &display);
  display.WriteRecord(chunk, kFactoryDisplayRecordVersion);
  chunk.PutInt(kDefaultBlendOperator);
  const double values[kNumParams - 1] = {
      0, 0, -0.5, 1, 0, 0, 0, 30, -24, 0, 0, 0, 0, 1, 1, static_cast<double>(character.type), character.limit,
      character.transient, 0, 0, static_cast<double>(character.type), 0, 0, 0, 0, 0, 0};
  for (double v : values) chunk.PutDouble(v);
  return chunk;
}

void Tessaro_v2::CreateFactoryPrograms() {
  struct Program {
    int slot;
    const char* name;
  };
  static constexpr Program kPrograms[] = {
      {2, "Traditional"},  {3, "Deep"},       {4, "Aggressive"},  {5, "Smooth"},         {6, "Loud/Punch"},
      {7, "Vintage Bus"},  {8, "Tessaro 2"},  {9, "Clean"},       {10, "Color-Deep"},    {11, "Color-Mute"},
      {12, "Color-Intense"}, {13, "Color-Mono"}, {14, "Color-Orange"},
  };
  constexpr int kFactoryStateSize = 452;  // 440 bytes of state and 12 zero bytes

  FillEmptyPrograms("Default", 1);
  IStateChunk current;
  SaveState(current);
  AddProgramFromBase64("Kest-Basic", current.ToBase64().c_str(), current.Size());
  for (const Program& program : kPrograms)
    AddProgramFromBase64(program.name, FactoryState(program.slot).ToBase64().c_str(), kFactoryStateSize);
}

}  // namespace tessaro
