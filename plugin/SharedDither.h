// The float dither's random source: one xorshift128 generator shared by every
// instance in the process. It is seeded once, on first use, from the
// time-stamp counter of an instance's construction. Its words are relaxed
// atomics: instances may draw concurrently, and a lost update only repeats a
// random number.
#pragma once

#include <atomic>
#include <cstdint>

namespace tessaro {

class SharedDither {
 public:
  // Construction thread: remembers a seed candidate; the first one wins.
  static void OfferSeed(std::uint64_t ticks) noexcept {
    std::uint64_t expected = 0;
    Seed().compare_exchange_strong(expected, ticks | 1, std::memory_order_relaxed);
  }
  // Audio thread; never allocates or blocks.
  static std::uint32_t Next() noexcept {
    State& s = Words();
    if (!s.seeded.load(std::memory_order_relaxed)) {
      s.x.store(Hash(Seed().load(std::memory_order_relaxed)), std::memory_order_relaxed);
      s.seeded.store(true, std::memory_order_relaxed);
    }
    const std::uint32_t x = s.x.load(std::memory_order_relaxed);
    const std::uint32_t t = x ^ (x << 11);
    s.x.store(s.y.load(std::memory_order_relaxed), std::memory_order_relaxed);
    s.y.store(s.z.load(std::memory_order_relaxed), std::memory_order_relaxed);
    const std::uint32_t w = s.w.load(std::memory_order_relaxed);
    s.z.store(w, std::memory_order_relaxed);
    const std::uint32_t next = w ^ (w >> 19) ^ t ^ (t >> 8);
    s.w.store(next, std::memory_order_relaxed);
    return next;
  }

 private:
  struct State {
    std::atomic<bool> seeded{false};
    std::atomic<std::uint32_t> x{0}, y{362436069u}, z{521288629u}, w{88675123u};
  };
  static State& Words() {
    static State state;
    return state;
  }
  static std::atomic<std::uint64_t>& Seed() {
    static std::atomic<std::uint64_t> seed{0};
    return seed;
  }
  // A 64-to-32-bit mix, so nearby counter values give unrelated seeds.
  static std::uint32_t Hash(std::uint64_t v) noexcept {
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    v *= 0xc4ceb9fe1a85ec53ULL;
    v ^= v >> 33;
    const auto h = static_cast<std::uint32_t>(v);
    return h != 0 ? h : 0x9E3779B9u;
  }
};

}  // namespace tessaro
