#include "plugin/EditorState.h"

#include <algorithm>
#include <cmath>

namespace tessaro {

void ResizeState::SetValueClamped(int i, double v) {
  if (i < 0 || i >= kNumValues) return;
  values[static_cast<std::size_t>(i)] = std::isnan(v) ? kMinValue : std::clamp(v, kMinValue, kMaxValue);
}

}  // namespace tessaro
