// The reset registry: which members each request clears, membership rules,
// lifetimes in either order, per-instance isolation, status texts, and
// requests racing with joins and leaves.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "meters/MeterBallistics.h"
#include "meters/VU_Envelope.h"
#include "meters/ZeroObject.h"

namespace tessaro {
namespace {

// A readout-like member: its own held value is the reset target.
struct Held : ZeroObject {
  explicit Held(ZeroRegistry* r, int group) : ZeroObject(r) {
    SetResetTarget(&value);
    SetResetGroup(group);
  }
  double value = 1.0;
};

struct MessageLine : ZeroObject {
  explicit MessageLine(ZeroRegistry* r) : ZeroObject(r) {}
  void ReceiveStatusText(const char* text) override { texts.emplace_back(text); }
  std::vector<std::string> texts;
};

// Three members in each of the groups 12, 13 and 14, all at 1.0.
struct Fixture {
  ZeroRegistry registry;
  Held g12a{&registry, 12}, g12b{&registry, 12}, g13{&registry, 13}, g14a{&registry, 14}, g14b{&registry, 14};
  ZeroObject noTarget{&registry};

  std::string Cleared() const {
    std::string s;
    for (const Held* h : {&g12a, &g12b, &g13, &g14a, &g14b}) s += h->value == 0.0 ? '0' : '1';
    return s;
  }
};

struct RequestCase {
  bool allBut;
  int group;
  const char* after;  // 12a 12b 13 14a 14b; 0 = cleared
};

TEST(ZeroRegistry, RequestsClearTheRightGroups) {
  const RequestCase cases[] = {
      {false, 12, "00111"}, {false, 13, "11011"}, {false, 14, "11100"},
      {false, 10, "00000"}, {false, 11, "11111"}, {true, 14, "00011"},
      {true, 12, "11000"},  {true, 10, "00000"},  {true, 99, "00000"},
  };
  for (const RequestCase& c : cases) {
    Fixture f;
    if (c.allBut) {
      f.registry.ResetAllButGroup(c.group);
    } else {
      f.registry.ResetGroup(c.group);
    }
    EXPECT_EQ(f.Cleared(), c.after) << (c.allBut ? "all but " : "group ") << c.group;
  }
}

TEST(ZeroRegistry, MembersSendRequestsThroughTheirRegistry) {
  Fixture f;
  f.g13.ResetGroup(12);
  EXPECT_EQ(f.Cleared(), "00111");
  f.noTarget.ResetAllButGroup(14);
  EXPECT_EQ(f.Cleared(), "00011");
  ZeroObject loner;
  loner.ResetGroup(10);  // no registry: nothing happens
  EXPECT_EQ(f.Cleared(), "00011");
}

TEST(ZeroRegistry, JoiningTwiceHasNoEffectAndLeavingWorks) {
  ZeroRegistry r;
  Held a(&r, 12);
  EXPECT_EQ(r.Count(), 1);
  EXPECT_TRUE(a.JoinRegistry(&r));
  EXPECT_TRUE(r.Join(&a));
  EXPECT_EQ(r.Count(), 1);
  {
    Held b(&r, 12);
    EXPECT_EQ(r.Count(), 2);
    EXPECT_TRUE(r.Contains(&b));
  }
  EXPECT_EQ(r.Count(), 1);
  a.LeaveRegistry();
  EXPECT_EQ(r.Count(), 0);
  EXPECT_EQ(a.Registry(), nullptr);
  r.ResetGroup(10);
  EXPECT_EQ(a.value, 1.0);
  // Given a registry later, it joins then.
  EXPECT_TRUE(a.JoinRegistry(&r));
  r.ResetGroup(10);
  EXPECT_EQ(a.value, 0.0);
}

TEST(ZeroRegistry, JoiningAnotherRegistryMovesTheMember) {
  ZeroRegistry first, second;
  Held a(&first, 12);
  ASSERT_TRUE(a.JoinRegistry(&second));
  EXPECT_FALSE(first.Contains(&a));
  EXPECT_TRUE(second.Contains(&a));
  first.ResetGroup(10);
  EXPECT_EQ(a.value, 1.0);
  second.ResetGroup(10);
  EXPECT_EQ(a.value, 0.0);
}

TEST(ZeroRegistry, EachInstanceHasItsOwn) {
  ZeroRegistry pluginA, pluginB;
  Held a(&pluginA, 12), b(&pluginB, 12);
  pluginA.ResetGroup(10);
  EXPECT_EQ(a.value, 0.0);
  EXPECT_EQ(b.value, 1.0);
}

TEST(ZeroRegistry, RegistryMayDieBeforeItsMembers) {
  auto registry = std::make_unique<ZeroRegistry>();
  auto member = std::make_unique<Held>(registry.get(), 12);
  registry.reset();
  EXPECT_EQ(member->Registry(), nullptr);
  member->ResetGroup(10);  // harmless now
  member.reset();          // leaves nothing behind (the sanitizer build checks)
}

TEST(ZeroRegistry, FullRegistryRefusesMembers) {
  ZeroRegistry r(2);
  Held a(&r, 12), b(&r, 12), c(&r, 12);
  EXPECT_EQ(r.Count(), 2);
  EXPECT_EQ(c.Registry(), nullptr);
  // A freed slot is taken again.
  a.LeaveRegistry();
  EXPECT_TRUE(c.JoinRegistry(&r));
  r.ResetGroup(12);
  EXPECT_EQ(c.value, 0.0);
  EXPECT_EQ(a.value, 1.0);
}

TEST(ZeroRegistry, StatusTextsReachEveryMessageLine) {
  ZeroRegistry r;
  MessageLine top(&r), bottom(&r);
  Held knob(&r, 12);
  knob.PostStatusText("Amount: 3.0 dB");
  r.PostStatusText("Ceiling: -0.3 dB");
  const std::vector<std::string> expected = {"Amount: 3.0 dB", "Ceiling: -0.3 dB"};
  EXPECT_EQ(top.texts, expected);
  EXPECT_EQ(bottom.texts, expected);
  // Texts clear no meter.
  EXPECT_EQ(knob.value, 1.0);
}

// Posts its own text back from inside the receive, or overwrites the buffer
// the text came from, as a control echoing or reusing a text might.
struct Echo : ZeroObject {
  explicit Echo(ZeroRegistry* r) : ZeroObject(r) {}
  void ReceiveStatusText(const char* text) override {
    texts.emplace_back(text);
    if (answers-- > 0) PostStatusText(("re: " + std::string(text)).c_str());
    if (scribble) scribble->assign("overwritten by a receiver, and long enough to move the buffer");
  }
  std::vector<std::string> texts;
  int answers = 0;
  std::string* scribble = nullptr;
};

TEST(ZeroRegistry, TextsPostedWhileOneIsHandedOutFollowItInOrder) {
  ZeroRegistry r;
  Echo echo(&r);
  MessageLine line(&r);
  echo.answers = 2;
  r.PostStatusText("Bypass on");
  const std::vector<std::string> expected = {"Bypass on", "re: Bypass on", "re: re: Bypass on"};
  EXPECT_EQ(line.texts, expected);
  EXPECT_EQ(echo.texts, expected);
}

TEST(ZeroRegistry, MembersAnsweringEachOtherForeverAreCutOff) {
  ZeroRegistry r;
  Echo a(&r), b(&r);
  a.answers = b.answers = 1000000;
  r.PostStatusText("ping");
  // The first text and the chain that followed it, then nothing more.
  EXPECT_LE(a.texts.size(), static_cast<std::size_t>(ZeroRegistry::kMaxChainedTexts + 1));
  EXPECT_GE(a.texts.size(), 2u);
  // The registry takes texts again afterwards.
  a.answers = b.answers = 0;
  a.texts.clear();
  r.PostStatusText("pong");
  EXPECT_EQ(a.texts, std::vector<std::string>{"pong"});
}

TEST(ZeroRegistry, EveryMemberSeesTheTextAsPostedEvenWhenTheSourceChanges) {
  ZeroRegistry r;
  std::string source = "Amount: 3.0 dB";
  Echo first(&r);
  first.scribble = &source;
  MessageLine second(&r);
  r.PostStatusText(source.c_str());
  EXPECT_EQ(second.texts, std::vector<std::string>{"Amount: 3.0 dB"});
}

TEST(ZeroRegistry, RequestsRaceSafelyWithJoinsAndLeaves) {
  ZeroRegistry r(64);
  std::vector<std::unique_ptr<Held>> steady, transient;
  for (int i = 0; i < 8; ++i) steady.push_back(std::make_unique<Held>(&r, 12));
  for (int i = 0; i < 8; ++i) transient.push_back(std::make_unique<Held>(nullptr, 13));
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    for (int round = 0; round < 2000; ++round) {
      for (auto& t : transient) t->JoinRegistry(&r);
      for (auto& t : transient) t->LeaveRegistry();
    }
    stop = true;
  });
  int requests = 0;
  do {
    r.ResetGroup(12);
    r.ResetAllButGroup(14);
    ++requests;
  } while (!stop);
  churn.join();
  EXPECT_GT(requests, 0);
  EXPECT_EQ(r.Count(), 8);
  for (auto& h : steady) EXPECT_EQ(h->value, 0.0);
}

TEST(ZeroRegistry, MeterFollowersAndAutoGain) {
  ZeroRegistry r;
  MeterEnvelopes meters;
  AutoGainEnvelopes autoGain;
  meters.Register(&r);
  autoGain.Register(&r);
  EXPECT_EQ(r.Count(), MeterEnvelopes::kCount + 3);
  for (VU_Envelope* e : meters.All()) e->SetLevel(0.5);
  for (VU_Envelope* e : {&autoGain.agIn, &autoGain.agOut, &autoGain.agRatio}) e->SetLevel(0.5);

  // Group 13 holds only the two fast output peaks.
  r.ResetGroup(13);
  for (VU_Envelope* e : meters.All()) {
    const bool fastOut = e == &meters.outPeakL || e == &meters.outPeakR;
    EXPECT_EQ(e->Value(), fastOut ? 0.0 : 0.5);
  }
  // The end of a learning run: everything but the auto-gain followers.
  r.ResetAllButGroup(14);
  for (VU_Envelope* e : meters.All()) EXPECT_EQ(e->Value(), 0.0);
  EXPECT_EQ(autoGain.agIn.Value(), 0.5);
  EXPECT_EQ(autoGain.agOut.Value(), 0.5);
  EXPECT_EQ(autoGain.agRatio.Value(), 0.5);
  r.ResetGroup(10);
  EXPECT_EQ(autoGain.agRatio.Value(), 0.0);
}

}  // namespace
}  // namespace tessaro
