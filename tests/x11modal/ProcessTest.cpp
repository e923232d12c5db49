#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>

#include "editor/x11/X11Modal.h"
#include "tests/x11modal/ModalDriver.h"

namespace tessaro::x11::testing {
namespace {

// No child of ours is left unreaped (an Xvfb we started may still run).
void ExpectNoZombie() {
  int status = 0;
  EXPECT_LE(waitpid(-1, &status, WNOHANG), 0);
}

TEST_F(ModalFixture, CapturesOutputAndExitStatus) {
  std::string out = "stale";
  EXPECT_EQ(RunAndCapture(context_, {"sh", "-c", "echo hi; exit 3"}, out), 3);
  EXPECT_EQ(out, "hi\n");
  EXPECT_EQ(RunAndCapture(context_, {"sh", "-c", "printf 'a\\nb'"}, out), 0);
  EXPECT_EQ(out, "a\nb");
  ExpectNoZombie();
}

TEST_F(ModalFixture, AProgramThatCannotStartIsMinusOne) {
  std::string out = "stale";
  EXPECT_EQ(RunAndCapture(context_, {"tessaro-no-such-program-here"}, out), -1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(RunAndCapture(context_, {}, out), -1);
  ExpectNoZombie();
}

TEST_F(ModalFixture, KeepsTheHooksRunningWhileItWaits) {
  const Window other = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, 0, 0);
  const Atom hello = XInternAtom(display_, "TESSARO_TEST_HELLO", False);
  XEvent message{};
  message.xclient.type = ClientMessage;
  message.xclient.window = other;
  message.xclient.message_type = hello;
  message.xclient.format = 32;
  XSendEvent(display_, other, False, NoEventMask, &message);
  XFlush(display_);
  timespec cpu0{}, cpu1{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
  std::string out;
  EXPECT_EQ(RunAndCapture(context_, {"sh", "-c", "sleep 0.3; echo done"}, out), 0);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
  EXPECT_EQ(out, "done\n");
  EXPECT_GE(ticks_, 10);
  bool seen = false;
  for (const XEvent& e : forwarded_) seen = seen || (e.type == ClientMessage && e.xclient.message_type == hello);
  EXPECT_TRUE(seen);
  EXPECT_LT((cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) * 1e-9, 0.1) << "it waits, not spins";
  XDestroyWindow(display_, other);
  ExpectNoZombie();
}

TEST_F(ModalFixture, ReadsOutputLargerThanThePipe) {
  std::string out;
  EXPECT_EQ(RunAndCapture(context_, {"sh", "-c", "head -c 300000 /dev/zero | tr '\\000' a"}, out), 0);
  EXPECT_EQ(out, std::string(300000, 'a'));
}

TEST_F(ModalFixture, DoesNotWaitForWhatTheChildLeftRunning) {
  std::string out;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunAndCapture(context_, {"sh", "-c", "sleep 5 & echo quick"}, out), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(out, "quick\n");
  ExpectNoZombie();
}

TEST(ProgramInPath, LooksThroughPathForExecutables) {
  TempFolder bin;
  bin.Write("tool", "#!/bin/sh\n", true);
  bin.Write("plain", "not a program\n", false);
  ScopedEnv path("PATH", "/nonexistent-folder:" + bin.Path());
  EXPECT_TRUE(ProgramInPath("tool"));
  EXPECT_FALSE(ProgramInPath("plain"));
  EXPECT_FALSE(ProgramInPath("sh")) << "not in this PATH";
  EXPECT_FALSE(ProgramInPath(""));
  EXPECT_FALSE(ProgramInPath(nullptr));
  EXPECT_TRUE(ProgramInPath((bin.Path() + "/tool").c_str()));
  EXPECT_FALSE(ProgramInPath(bin.Path().c_str())) << "a folder is no program";
}

}  // namespace
}  // namespace tessaro::x11::testing
