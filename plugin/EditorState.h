// The parts of the plug-in state that belong to editor objects: the resize
// controller's values and scale, the switchable value ranges of knobs (their
// model lives with the knob control, editor/KnobValuePoints.h), the XY trail's
// blend operator and the preset file in use. The plug-in owns them so that the
// state layout does not depend on whether an editor was built; the editor
// controls work on these same objects.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/IParameter.h"
#include "editor/KnobValuePoints.h"

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

}  // namespace tessaro
