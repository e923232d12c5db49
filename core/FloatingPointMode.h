// The floating-point mode of the audio block: denormals flushed to zero on
// input and output, every exception masked, rounding toward zero. The guard
// gives the caller its mode back exactly as it was, sticky exception flags
// included: they are the host's, and some hosts read them.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace tessaro {

class ScopedBlockFloatingPointMode {
 public:
#if defined(__x86_64__) || defined(__i386__)
  static constexpr unsigned kBlockMode = 0xFFC0;
  ScopedBlockFloatingPointMode() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(kBlockMode); }
  ~ScopedBlockFloatingPointMode() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
#else
  ScopedBlockFloatingPointMode() noexcept {}
#endif
 public:
  ScopedBlockFloatingPointMode(const ScopedBlockFloatingPointMode&) = delete;
  ScopedBlockFloatingPointMode& operator=(const ScopedBlockFloatingPointMode&) = delete;
};

// Whatever a host call does to the floating-point control register (the
// block's own mode, flags raised by the sample conversions around it), the
// host gets its register back exactly as it handed it over.
class ScopedFloatingPointRestore {
 public:
#if defined(__x86_64__) || defined(__i386__)
  ScopedFloatingPointRestore() noexcept : saved_(_mm_getcsr()) {}
  ~ScopedFloatingPointRestore() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
#else
  ScopedFloatingPointRestore() noexcept {}
#endif
 public:
  ScopedFloatingPointRestore(const ScopedFloatingPointRestore&) = delete;
  ScopedFloatingPointRestore& operator=(const ScopedFloatingPointRestore&) = delete;
};

}  // namespace tessaro
