// The floating-point mode of the audio block: denormals flushed to zero on
// input and output, every exception masked, rounding toward zero. The guard
// restores the caller's mode with its sticky exception flags cleared.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace tessaro {

class ScopedBlockFloatingPointMode {
 public:
#if defined(__x86_64__) || defined(__i386__)
  static constexpr unsigned kBlockMode = 0xFFC0;
  static constexpr unsigned kExceptionFlags = 0x3F;
  ScopedBlockFloatingPointMode() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(kBlockMode); }
  ~ScopedBlockFloatingPointMode() { _mm_setcsr(saved_ & ~kExceptionFlags); }

 private:
  unsigned saved_;
#else
  ScopedBlockFloatingPointMode() noexcept {}
#endif
 public:
  ScopedBlockFloatingPointMode(const ScopedBlockFloatingPointMode&) = delete;
  ScopedBlockFloatingPointMode& operator=(const ScopedBlockFloatingPointMode&) = delete;
};

}  // namespace tessaro
