// The rules every text field applies: which characters enter it, and what a
// committed text becomes; and a press that a modal window interrupted.
#include <gtest/gtest.h>

#include "EditorFixture.h"

namespace tessaro::testing {
namespace {

// Remembers what a field handed it.
class EntryProbe : public IControl {
 public:
  EntryProbe(IPlugBase* plug, int param) : IControl(plug, {0, 0, 10, 10}, param) {}
  void Paint(IGraphics&) override {}
  void SetValueFromEntry(double value) override { values.push_back(value); }
  void TextEntryResult(const char* text) override { texts.emplace_back(text); }
  std::vector<double> values;
  std::vector<std::string> texts;
};

TEST_F(EditorTest, FieldsAcceptTheCharactersOfTheirParameterKind) {
  EntryProbe free(&plug, -1);
  EntryProbe allow(&plug, -1);
  allow.SetEntryFilter("abcé", false);
  EntryProbe deny(&plug, -1);
  deny.SetEntryFilter("/\\", true);
  struct Case {
    const IControl* control;
    int param;  // -1: free text
    char32_t c;
    bool accepted;
  };
  const Case cases[] = {
      {&free, kLevel, U'7', true},  {&free, kLevel, U',', true},  {&free, kLevel, U'.', true},
      {&free, kLevel, U'e', false}, {&free, kLevel, U' ', false}, {&free, kMode, U'-', true},
      {&free, kMode, U'.', false},  {&free, kMode, U'3', true},   {&free, kNamedFlag, U',', false},
      {&free, -1, U'%', true},      {&allow, -1, U'b', true},     {&allow, -1, U'é', true},
      {&allow, -1, U'd', false},    {&deny, -1, U'/', false},     {&deny, -1, U'x', true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IGraphics::EntryAccepts(c.control, c.param >= 0 ? plug.GetParam(c.param) : nullptr, c.c), c.accepted)
        << "param " << c.param << " char " << static_cast<unsigned>(c.c);
  }
}

TEST_F(EditorTest, ACommittedTextBecomesTheParametersValue) {
  struct Case {
    int param;
    const char* text;
    double actual;  // the value the control is handed, before normalising
  };
  const Case cases[] = {
      {kLevel, "1,5", 1.5},    {kLevel, "7.25 dB", 7.25}, {kLevel, "abc", 0.0},  {kLevel, "", 0.0},
      {kMode, "Hard", 1.0},    {kMode, "Brick", 2.0},     {kMode, "hard", 0.0},  {kMode, "2", 0.0},
      {kNamedFlag, "On", 1.0}, {kNamedFlag, "1", 0.0},
  };
  for (const Case& c : cases) {
    EntryProbe probe(&plug, c.param);
    graphics.CommitEntryText(&probe, plug.GetParam(c.param), c.text);
    ASSERT_EQ(probe.values.size(), 1u) << c.text;
    EXPECT_DOUBLE_EQ(probe.values[0], NormaliseValue(*plug.GetParam(c.param), c.actual)) << c.text;
  }
  // A parameter shown negated is typed the way it is shown.
  plug.GetParam(kLevel)->SetNegateDisplay(true);
  EntryProbe negated(&plug, kLevel);
  graphics.CommitEntryText(&negated, plug.GetParam(kLevel), "-4");
  ASSERT_EQ(negated.values.size(), 1u);
  EXPECT_DOUBLE_EQ(negated.values[0], NormaliseValue(*plug.GetParam(kLevel), 4.0));
  // Free text goes to the control as it was typed.
  EntryProbe free(&plug, -1);
  graphics.CommitEntryText(&free, nullptr, "Mastering/Loud");
  EXPECT_TRUE(free.values.empty());
  EXPECT_EQ(free.texts, std::vector<std::string>{"Mastering/Loud"});
}

TEST_F(EditorTest, APressAModalWindowInterruptedEndsLikeARelease) {
  Recorder recorder;
  graphics.AttachUndoRecorder(&recorder);
  AddProbe({10, 10, 50, 50}, "bound", kLevel);
  graphics.DispatchMouseDown(20, 20, left);
  ASSERT_TRUE(graphics.PressInProgress());
  graphics.EndInterruptedPress();
  EXPECT_EQ(plug.edits, (std::vector<std::string>{"begin 0", "end 0"}));
  EXPECT_EQ(recorder.records, 1);
  EXPECT_EQ(graphics.CaptureIndex(), -1);
  EXPECT_FALSE(graphics.PressInProgress());
  // Without a press in progress there is nothing to end.
  graphics.EndInterruptedPress();
  EXPECT_EQ(plug.edits.size(), 2u);
  EXPECT_EQ(recorder.records, 1);
}

}  // namespace
}  // namespace tessaro::testing
