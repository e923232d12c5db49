// The few settings that are process-wide on purpose: every instance in a host
// shares the float-dither switch read from the configuration and the tuning
// pitch that the first instance reads.
#pragma once

#include <atomic>

namespace tessaro {

struct ProcessSettings {
  static std::atomic<bool>& UseFloatDither() {
    static std::atomic<bool> on{true};
    return on;
  }
  // 0 until the first instance has read the configuration.
  static std::atomic<double>& TuningPitch() {
    static std::atomic<double> pitch{0.0};
    return pitch;
  }
};

}  // namespace tessaro
