// Heap-allocation counter for the real-time checks of the tests.
//
// It counts at the C allocator rather than by replacing operator new, so it
// stays live whichever test file of the binary brings its own operator new
// (those end in malloc too). Including files get weak, identical definitions.
// Under AddressSanitizer the sanitizer owns malloc, so counting is off there
// and AllocationCounterIsLive() says so.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace tessaro::alloccount {

inline std::atomic<bool> gCountAllocations{false};
inline std::atomic<long> gAllocations{0};

inline void NoteAllocation() noexcept {
  if (gCountAllocations.load(std::memory_order_relaxed)) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

// Counts the allocations made while it lives.
class AllocationScope {
 public:
  AllocationScope() noexcept {
    gAllocations = 0;
    gCountAllocations = true;
  }
  ~AllocationScope() { gCountAllocations = false; }
  AllocationScope(const AllocationScope&) = delete;
  AllocationScope& operator=(const AllocationScope&) = delete;
  long Count() const noexcept { return gAllocations.load(); }
};

// True when a real allocation is seen by the counter, so a count of 0 means something.
inline bool AllocationCounterIsLive() {
  long seen = 0;
  {
    AllocationScope scope;
    // Sized at run time, so the compiler cannot drop the allocation.
    std::vector<int> probe(static_cast<std::size_t>(3 + gAllocations.load()));
    probe[0] = 1;
    seen = scope.Count();
  }
  return seen >= 1;
}

}  // namespace tessaro::alloccount

#if !defined(__SANITIZE_ADDRESS__)
// glibc's own entry points, which the definitions below forward to.
extern "C" void* __libc_malloc(std::size_t size) noexcept;
extern "C" void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
extern "C" void* __libc_realloc(void* p, std::size_t size) noexcept;
extern "C" void* __libc_memalign(std::size_t alignment, std::size_t size) noexcept;

extern "C" __attribute__((weak, visibility("default"))) void* malloc(std::size_t size) noexcept {
  tessaro::alloccount::NoteAllocation();
  return __libc_malloc(size);
}
extern "C" __attribute__((weak, visibility("default"))) void* calloc(std::size_t count,
                                                                     std::size_t size) noexcept {
  tessaro::alloccount::NoteAllocation();
  return __libc_calloc(count, size);
}
extern "C" __attribute__((weak, visibility("default"))) void* realloc(void* p, std::size_t size) noexcept {
  tessaro::alloccount::NoteAllocation();
  return __libc_realloc(p, size);
}
extern "C" __attribute__((weak, visibility("default"))) void* aligned_alloc(std::size_t alignment,
                                                                            std::size_t size) noexcept {
  tessaro::alloccount::NoteAllocation();
  return __libc_memalign(alignment, size);
}
#endif
