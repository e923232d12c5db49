// The parts of the plug-in state that belong to editor objects: the resize
// controller's values and scale, the switchable value ranges of knobs, the XY
// trail's blend operator and the preset file in use. The plug-in owns them so
// that the state layout does not depend on whether an editor was built; the
// editor controls work on these same objects.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/IParameter.h"

namespace tessaro {

// The resize controller's hidden values (view mode, window size and the
// per-mode size limits; -1 means unset) and its scale factor.
struct ResizeState {
  static constexpr int kNumValues = 7;
  static constexpr double kMinValue = -1.0;
  static constexpr double kMaxValue = 1000000.0;

  std::array<double, kNumValues> values = {-1, -1, -1, -1, -1, -1, -1};
  double scale = 1.0;
  double minScale = 0.5;
  double maxScale = 1.25;

  void SetValueClamped(int i, double v);
};

// One selectable value range of a knob.
struct ValuePoint {
  double defaultValue = 0.0;
  double min = 0.0;
  double max = 1.0;
  double shape = 1.0;
  double step = 1.0;
  std::string unit;
  std::string name;
};

// A knob whose parameter can be re-ranged to one of several value points.
// Editor thread (or a state load), plug-in lock held.
class KnobRanges {
 public:
  // The first point is the parameter's own range.
  KnobRanges(int paramIndex, const IParameter& param);

  int ParamIndex() const { return paramIndex_; }
  int SelectedPoint() const { return selected_; }
  const std::vector<ValuePoint>& Points() const { return points_; }
  bool HasValuePoints() const { return points_.size() > 1; }
  double FullMin() const { return fullMin_; }
  double FullMax() const { return fullMax_; }

  void AddValuePoint(const ValuePoint& point);
  // Re-ranges the parameter to point i; its value becomes x (or stays, when
  // useX is false) clamped to the new range. False for an index past the list.
  bool SelectValuePoint(IParameter& param, int i, double x, bool useX);
  // Widens the parameter to the range of all points, as a state load does
  // before it restores the value.
  void WidenToFullRange(IParameter& param) const;

 private:
  int paramIndex_;
  std::vector<ValuePoint> points_;
  int selected_ = 0;
  double fullMin_;
  double fullMax_;
};

}  // namespace tessaro
