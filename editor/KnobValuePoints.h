// The switchable value ranges of a knob. The knob control works on this
// model and the plug-in writes the selected range into its state, so both
// see one object: the plug-in may create it and hand it to the knob, or the
// knob makes its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/IParameter.h"

namespace tessaro {

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
  // Counts selections, so a knob notices one made behind its back (a state load).
  std::uint32_t SelectionCount() const { return selections_; }

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
  std::uint32_t selections_ = 0;
};

}  // namespace tessaro
