// The three process callbacks and the plug-in lock around them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

#include "core/vst2.h"
#include "tests/plugin/PluginFixture.h"

namespace tessaro::testing {
namespace {

struct StereoBlock {
  explicit StereoBlock(int frames) : left(frames), right(frames) {
    for (int i = 0; i < frames; ++i) {
      left[i] = 0.5f * static_cast<float>(i % 17) / 17.0f;
      right[i] = -0.25f * static_cast<float>(i % 5) / 5.0f;
    }
  }
  float* ptrs[2] = {nullptr, nullptr};
  float** Ptrs() {
    ptrs[0] = left.data();
    ptrs[1] = right.data();
    return ptrs;
  }
  std::vector<float> left, right;
};

TEST_F(PluginTest, PassThroughInAllThreeCallbacks) {
  Bypass();
  constexpr int kFrames = 300;
  StereoBlock in(kFrames);
  StereoBlock replaced(kFrames);
  plugin->ProcessFloat(in.Ptrs(), replaced.Ptrs(), kFrames);
  EXPECT_EQ(replaced.left, in.left);
  EXPECT_EQ(replaced.right, in.right);

  StereoBlock accumulated(kFrames);  // holds a copy of the input already
  plugin->ProcessAccumulate(in.Ptrs(), accumulated.Ptrs(), kFrames);
  for (int i = 0; i < kFrames; ++i) EXPECT_EQ(accumulated.left[i], 2.0f * in.left[i]);

  std::vector<double> l(in.left.begin(), in.left.end()), r(in.right.begin(), in.right.end());
  std::vector<double> ol(kFrames), orr(kFrames);
  double* ins[] = {l.data(), r.data()};
  double* outs[] = {ol.data(), orr.data()};
  plugin->ProcessDouble(ins, outs, kFrames);
  EXPECT_EQ(ol, l);
  EXPECT_EQ(orr, r);
}

#if defined(__x86_64__) || defined(__i386__)
TEST_F(PluginTest, TheHostsFloatingPointModeComesBackExactly) {
  constexpr int kFrames = 256;
  StereoBlock in(kFrames), out(kFrames);
  // Default mode with a sticky flag raised; flush-to-zero with rounding up;
  // an exception unmasked (the host's business, never raised by the block).
  for (const unsigned mode : {0x1F81u, 0xDFA0u, 0x1D80u}) {
    const unsigned before = _mm_getcsr();
    _mm_setcsr(mode);
    plugin->ProcessFloat(in.Ptrs(), out.Ptrs(), kFrames);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(before);
    EXPECT_EQ(after, mode) << std::hex << mode;
  }
}
#endif

TEST_F(PluginTest, InPlaceBuffersAndBlocksLongerThanTheBlockSize) {
  plugin->SetBlockSize(64);
  Bypass();
  constexpr int kFrames = 1000;  // the host breaks its promise: more than 64 frames
  StereoBlock io(kFrames);
  const StereoBlock expected(kFrames);
  plugin->ProcessFloat(io.Ptrs(), io.Ptrs(), kFrames);
  EXPECT_EQ(io.left, expected.left);
  EXPECT_EQ(io.right, expected.right);
}

TEST_F(PluginTest, DegenerateCallsDoNothing) {
  Bypass();
  StereoBlock in(16), out(16);
  const StereoBlock untouched(16);
  plugin->ProcessFloat(in.Ptrs(), out.Ptrs(), 0);
  plugin->ProcessFloat(in.Ptrs(), out.Ptrs(), -8);
  EXPECT_EQ(out.left, untouched.left);
  plugin->Dispatch(vst2::effSetBlockSize, 0, 0);  // nonsense block size keeps working
  plugin->ProcessFloat(in.Ptrs(), out.Ptrs(), 16);
  EXPECT_EQ(out.left, in.left);
}

// A dispatcher call that calls back into the host while it holds the plug-in
// lock; a process call from another thread must wait until it returns.
TEST_F(PluginTest, LockKeepsProcessOutOfARunningDispatcherCall) {
  std::promise<void> entered;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> inCallback{false};
  plugin->onCallback = [&](const host::HostCall& call) {
    if (call.opcode != vst2::audioMasterProcessEvents) return;
    inCallback = true;
    entered.set_value();
    released.wait();
    inCallback = false;
  };
  VstMidiEvent note{};
  note.type = vst2::kVstMidiType;
  note.byteSize = sizeof note;
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&note);
  std::thread gui([&] { plugin->Dispatch(vst2::effProcessEvents, 0, 0, &events); });
  entered.get_future().wait();

  std::atomic<bool> processed{false};
  std::atomic<bool> overlapped{false};
  std::thread audio([&] {
    StereoBlock in(32), out(32);
    plugin->ProcessFloat(in.Ptrs(), out.Ptrs(), 32);
    overlapped = inCallback.load();
    processed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(processed) << "process ran while the dispatcher held the lock";
  release.set_value();
  gui.join();
  audio.join();
  EXPECT_TRUE(processed);
  EXPECT_FALSE(overlapped);
  plugin->onCallback = nullptr;
}

}  // namespace
}  // namespace tessaro::testing
