#include "editor/KnobValuePoints.h"

#include <algorithm>
#include <cmath>

namespace tessaro {

KnobRanges::KnobRanges(int paramIndex, const IParameter& param)
    : paramIndex_(paramIndex), fullMin_(param.Min()), fullMax_(param.Max()) {
  // The first point's name is never shown; it only has to differ from any
  // name a user could give a point.
  points_.push_back({param.Default(), param.Min(), param.Max(), param.Shape(), param.Step(), param.Label(),
                     "\x01primary-range"});
}

void KnobRanges::AddValuePoint(const ValuePoint& point) {
  points_.push_back(point);
  fullMin_ = std::min(fullMin_, point.min);
  fullMax_ = std::max(fullMax_, point.max);
}

bool KnobRanges::SelectValuePoint(IParameter& param, int i, double x, bool useX) {
  if (i < 0 || i >= static_cast<int>(points_.size())) return false;
  const ValuePoint& p = points_[static_cast<std::size_t>(i)];
  param.Rerange(p.defaultValue, p.min, p.max, p.shape, p.step, p.unit.c_str());
  param.SetClamped(useX && std::isfinite(x) ? x : param.Value());
  param.SetLocked(std::fabs(p.max - p.min) <= 2.22045e-9);
  selected_ = i;
  ++selections_;
  return true;
}

void KnobRanges::WidenToFullRange(IParameter& param) const {
  param.SetMax(fullMax_);
  param.SetDefault(std::min(param.Default(), fullMax_));
  param.SetMin(fullMin_);
  param.SetDefault(std::max(param.Default(), fullMin_));
}

}  // namespace tessaro
