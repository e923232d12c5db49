// Event routing and painting of the graphics core: layers, pass-through
// forwarding, capture, undo snapshots and the dirty area.
#include <gtest/gtest.h>

#include <algorithm>

#include "EditorFixture.h"

namespace tessaro::testing {
namespace {

bool Has(const std::vector<std::string>& log, const std::string& entry) {
  return std::find(log.begin(), log.end(), entry) != log.end();
}

TEST_F(EditorTest, PressOnOverlappingControlsGoesToTheHighestIndex) {
  AddProbe({0, 0, 100, 100}, "a");
  AddProbe({50, 50, 150, 150}, "b");
  graphics.DispatchMouseDown(60, 60, left);
  EXPECT_EQ(log, std::vector<std::string>{"b down 60,60"});
  EXPECT_EQ(graphics.CaptureIndex(), 1);
  log.clear();
  graphics.DispatchMouseDown(10, 10, left);
  EXPECT_EQ(log, std::vector<std::string>{"a down 10,10"});
}

TEST_F(EditorTest, ARaisedControlTakesEveryPressAndLayersPaintInOrder) {
  ProbeControl* low = AddProbe({0, 0, 400, 300}, "low");
  ProbeControl* raised = AddProbe({100, 100, 200, 200}, "raised");
  ProbeControl* middle = AddProbe({0, 0, 400, 300}, "middle");
  raised->SetLayer(2);
  middle->SetLayer(1);
  graphics.DispatchMouseDown(10, 10, left);  // outside the raised control: nobody
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(graphics.CaptureIndex(), -1);
  graphics.DispatchMouseDown(150, 150, left);
  EXPECT_EQ(log, std::vector<std::string>{"raised down 150,150"});
  log.clear();
  graphics.CreateDrawBuffer();
  ASSERT_TRUE(graphics.PaintDirty({0, 0, 400, 300}));
  EXPECT_EQ(log, (std::vector<std::string>{"low paint", "middle paint", "raised paint"}));
  (void)low;
}

TEST_F(EditorTest, PassThroughControlsForwardToTheControlBeneath) {
  AddProbe({0, 0, 100, 100}, "beneath");
  ProbeControl* glass = AddProbe({0, 0, 100, 100}, "glass");
  glass->SetPassThrough(true);
  graphics.DispatchMouseDown(5, 5, left);
  graphics.DispatchMouseDrag(8, 9, left);
  graphics.DispatchMouseUp(8, 9, left);
  EXPECT_EQ(log, (std::vector<std::string>{"beneath down 5,5", "beneath drag 8,9 d3,4", "glass up 8,9",
                                           "beneath up 8,9"}));
}

TEST_F(EditorTest, TheBackgroundPanelIsIndexZeroAndPassesThrough) {
  AddProbe({0, 0, 50, 50}, "first");
  graphics.AddBackgroundPanel({255, 6, 6, 6});
  ASSERT_EQ(graphics.NumControls(), 2);
  EXPECT_TRUE(graphics.GetControl(0)->IsPassThrough());
  EXPECT_EQ(graphics.GetControl(0)->Rect(), (IRect{0, 0, 400, 300}));
  EXPECT_EQ(graphics.GetControl(1)->Index(), 1);  // renumbered
  graphics.DispatchMouseDown(10, 10, left);
  EXPECT_EQ(log, std::vector<std::string>{"first down 10,10"});
}

TEST_F(EditorTest, ADragAtTheSamePositionIsNotDelivered) {
  AddProbe({0, 0, 100, 100}, "knob");
  graphics.DispatchMouseDown(20, 20, left);
  graphics.DispatchMouseDrag(20, 20, left);
  graphics.DispatchMouseDrag(20, 25, left);
  graphics.DispatchMouseDrag(20, 25, left);
  EXPECT_EQ(log, (std::vector<std::string>{"knob down 20,20", "knob drag 20,25 d0,5"}));
}

TEST_F(EditorTest, ADragWithoutCaptureReachesNobody) {
  AddProbe({0, 0, 100, 100}, "knob");
  graphics.DispatchMouseDrag(20, 25, left);
  EXPECT_TRUE(log.empty());
}

TEST_F(EditorTest, AReleaseWithoutCaptureGoesToTheTopLayerControl) {
  AddProbe({0, 0, 100, 100}, "a");
  AddProbe({0, 0, 100, 100}, "b");
  graphics.DispatchMouseUp(30, 30, left);
  EXPECT_EQ(log, std::vector<std::string>{"b up 30,30"});
}

TEST_F(EditorTest, AReleaseOnABoundControlEndsTheGestureAndRecordsOneSnapshot) {
  Recorder undo;
  graphics.AttachUndoRecorder(&undo);
  AddProbe({0, 0, 100, 100}, "knob", kLevel);
  graphics.DispatchMouseDown(10, 10, left);
  EXPECT_TRUE(graphics.PressInProgress());
  graphics.DispatchMouseDrag(10, 30, left);
  EXPECT_EQ(undo.records, 0);
  graphics.DispatchMouseUp(10, 30, left);
  EXPECT_EQ(undo.records, 1);
  EXPECT_FALSE(graphics.SnapshotPending());
  EXPECT_FALSE(graphics.PressInProgress());
  EXPECT_EQ(plug.edits, (std::vector<std::string>{"begin 0", "end 0"}));
}

TEST_F(EditorTest, AReleaseOnAnUnboundControlRecordsNothing) {
  Recorder undo;
  graphics.AttachUndoRecorder(&undo);
  AddProbe({0, 0, 100, 100}, "label");
  graphics.DispatchMouseDown(10, 10, left);
  graphics.DispatchMouseUp(10, 10, left);
  EXPECT_EQ(undo.records, 0);
  EXPECT_TRUE(plug.edits.empty());
}

TEST_F(EditorTest, WheelChangesAreRecordedWhenThePointerMovesOn) {
  Recorder undo;
  graphics.AttachUndoRecorder(&undo);
  graphics.SetHandleMouseOver(true);
  AddProbe({0, 0, 100, 100}, "knob", kLevel);
  AddProbe({200, 0, 300, 100}, "other");
  EXPECT_TRUE(graphics.DispatchMouseOver(10, 10, {}));
  graphics.DispatchWheel(10, 10, {}, 3);
  graphics.DispatchWheel(10, 10, {}, -1);
  EXPECT_TRUE(graphics.SnapshotPending());
  EXPECT_TRUE(graphics.DispatchMouseOver(20, 20, {}));  // still the same control
  EXPECT_EQ(undo.records, 0);
  EXPECT_TRUE(graphics.DispatchMouseOver(250, 10, {}));
  EXPECT_EQ(undo.records, 1);
  EXPECT_FALSE(graphics.SnapshotPending());
  EXPECT_TRUE(Has(log, "knob wheel 3"));
  EXPECT_TRUE(Has(log, "knob leave"));
  EXPECT_EQ(graphics.MouseOverIndex(), 1);
}

TEST_F(EditorTest, MouseOverIsIgnoredUntilSwitchedOn) {
  AddProbe({0, 0, 100, 100}, "a");
  EXPECT_FALSE(graphics.DispatchMouseOver(10, 10, {}));
  EXPECT_TRUE(log.empty());
  graphics.SetHandleMouseOver(true);
  EXPECT_TRUE(graphics.DispatchMouseOver(10, 10, {}));
  EXPECT_EQ(log, std::vector<std::string>{"a over"});
}

TEST_F(EditorTest, DoubleClickAsPressCapturesOtherwiseDoubleClick) {
  ProbeControl* pressy = AddProbe({0, 0, 100, 100}, "pressy");
  pressy->SetDoubleClickAsPress(true);
  AddProbe({200, 0, 300, 100}, "plain");
  EXPECT_TRUE(graphics.DispatchDoubleClick(10, 10, left));
  EXPECT_EQ(graphics.CaptureIndex(), 0);
  EXPECT_EQ(log, std::vector<std::string>{"pressy down 10,10"});
  log.clear();
  EXPECT_FALSE(graphics.DispatchDoubleClick(210, 10, left));
  EXPECT_EQ(graphics.CaptureIndex(), -1);
  EXPECT_EQ(log, std::vector<std::string>{"plain dblclick 210,10"});
}

TEST_F(EditorTest, GreyedOutAndHiddenControlsTakeNoPress) {
  AddProbe({0, 0, 100, 100}, "beneath");
  ProbeControl* top = AddProbe({0, 0, 100, 100}, "top");
  top->SetGreyed(true);
  graphics.DispatchMouseDown(10, 10, left);
  EXPECT_EQ(log.back(), "beneath down 10,10");
  top->SetGreyed(false);
  top->SetHidden(true);
  graphics.DispatchMouseDown(11, 11, left);
  EXPECT_EQ(log.back(), "beneath down 11,11");
}

TEST_F(EditorTest, KeysNeverReachTheBackground) {
  graphics.AddBackgroundPanel({255, 0, 0, 0});
  EXPECT_FALSE(graphics.DispatchKeyDown(10, 10, IGraphics::kKeySpace));
}

// --- dirty area ---

TEST_F(EditorTest, NoDirtyControlLeavesTheAreaEmpty) {
  ProbeControl* a = AddProbe({10, 10, 20, 20}, "a");
  a->MarkClean();
  IRect area{1, 2, 3, 4};
  EXPECT_FALSE(graphics.CollectDirtyArea(area));
  EXPECT_TRUE(area.Empty());
}

TEST_F(EditorTest, TheDirtyAreaIsTheUnionOfDirtyControls) {
  AddProbe({10, 20, 30, 40}, "a");
  AddProbe({0, 0, 0, 0}, "empty");  // contributes nothing once the union has area
  ProbeControl* clean = AddProbe({300, 200, 310, 210}, "clean");
  AddProbe({50, 5, 60, 25}, "b");
  clean->MarkClean();
  IRect area;
  EXPECT_TRUE(graphics.CollectDirtyArea(area));
  EXPECT_EQ(area, (IRect{10, 5, 60, 40}));
}

class FixedScale : public IResizeLink {
 public:
  explicit FixedScale(double f) : f_(f) {}
  double ScaleFactor() const override { return f_; }
  void ApplyPendingResize() override {}
  bool PaintsWholeEditor() const override { return false; }
  void PaintWholeEditor(IGraphics&, const IRect&) override {}
  void SetHandleSelected(bool) override {}
  IControl* TakeHandleControl() override { return nullptr; }

 private:
  double f_;
};

TEST_F(EditorTest, WithAResizeControllerTheDirtyAreaIsScaledOutward) {
  FixedScale scale(1.5);
  graphics.SetResizeLink(&scale);
  ProbeControl* a = AddProbe({0, 0, 1, 1}, "a");
  a->SetDRect({10.3, 20.5, 30.1, 40.0});
  ProbeControl* b = AddProbe({0, 0, 1, 1}, "b");
  b->SetDRect({5.0, 30.0, 15.0, 41.0});
  IRect area;
  ASSERT_TRUE(graphics.CollectDirtyArea(area));
  // left trunc(5.0*1.5)=7, top trunc(20.5*1.5)=30, right trunc(30.1*1.5+0.9999999)=46,
  // bottom trunc(41*1.5+0.9999999)=62
  EXPECT_EQ(area, (IRect{7, 30, 46, 62}));
}

TEST_F(EditorTest, ReplaceControlRefusesTheResizeHandlesAndBadIndices) {
  for (int i = 0; i < 5; ++i) AddProbe({0, 0, 10, 10}, "p" + std::to_string(i));
  auto* spare = new ProbeControl(&plug, {0, 0, 10, 10}, "spare", &log);
  EXPECT_EQ(graphics.ReplaceControl(-1, spare), nullptr);
  EXPECT_EQ(graphics.ReplaceControl(5, spare), nullptr);
  FixedScale scale(1.0);
  graphics.SetResizeLink(&scale);
  for (int i = 2; i < 5; ++i) EXPECT_EQ(graphics.ReplaceControl(i, spare), nullptr) << i;
  IControl* old = graphics.ReplaceControl(1, spare);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(graphics.GetControl(1), spare);
  EXPECT_EQ(spare->Index(), 1);
  delete old;
}

TEST_F(EditorTest, PaintingSkipsControlsOutsideTheRectangleAndHiddenOnes) {
  AddProbe({0, 0, 50, 50}, "inside");
  AddProbe({200, 200, 250, 250}, "outside");
  AddProbe({0, 0, 50, 50}, "hidden")->SetHidden(true);
  AddProbe({50, 50, 60, 60}, "touching");  // the clip's right edge reaches its left
  graphics.CreateDrawBuffer();
  graphics.PaintDirty({0, 0, 50, 50});
  EXPECT_EQ(log, (std::vector<std::string>{"inside paint", "touching paint"}));
  EXPECT_EQ(graphics.LastBlit(), (IRect{0, 0, 50, 50}));
}

TEST_F(EditorTest, APaintedControlWithARedrawRequestPaintsOnceMore) {
  ProbeControl* a = AddProbe({0, 0, 50, 50}, "a");
  graphics.CreateDrawBuffer();
  a->SetValueFromHost(0.3);  // first value: becomes the default, nothing else
  a->SetValueFromHost(0.6);  // a change: dirty and a redraw requested
  graphics.PaintDirty({0, 0, 50, 50});
  IRect area;
  EXPECT_TRUE(graphics.CollectDirtyArea(area));
  graphics.PaintDirty(area);
  EXPECT_FALSE(graphics.CollectDirtyArea(area));
}

// --- parameters in and out ---

TEST_F(EditorTest, ValuesFromThePlugInReachBoundControlsAndAuxiliaryEntries) {
  ProbeControl* level = AddProbe({0, 0, 10, 10}, "level", kLevel);
  ProbeControl* pad = AddProbe({0, 0, 10, 10}, "pad");
  pad->AddAuxParam(kMode);
  pad->AddAuxParam(kLevel);
  pad->AddAuxParam(kLevel);
  graphics.PushParamToControls(kLevel, 2.5, false);  // 2.5 of 0..10
  EXPECT_DOUBLE_EQ(level->Value(), 0.25);
  EXPECT_DOUBLE_EQ(level->DefaultValue(), 0.25);
  EXPECT_DOUBLE_EQ(pad->AuxParams()[1].value, 0.25);
  EXPECT_DOUBLE_EQ(pad->AuxParams()[2].value, 0.0);  // only the first matching entry
}

TEST_F(EditorTest, ClampRangesAreNormalisedAndApplyOnTheNextChange) {
  ProbeControl* level = AddProbe({0, 0, 10, 10}, "level", kLevel);
  graphics.SetParamControlRange(kLevel, 2.0, 8.0);
  EXPECT_DOUBLE_EQ(level->ClampLow(), 0.2);
  EXPECT_DOUBLE_EQ(level->ClampHigh(), 0.8);
  level->SetValueFromEntry(0.95);
  EXPECT_DOUBLE_EQ(level->Value(), 0.8);
  ASSERT_FALSE(plug.pushes.empty());
  EXPECT_DOUBLE_EQ(plug.pushes.back().value, 0.8);
  EXPECT_DOUBLE_EQ(plug.GetParam(kLevel)->Value(), 8.0);
}

TEST_F(EditorTest, ABooleanWithoutTextsAsksForTextAndAnEnumShowsAMenu) {
  ProbeControl* flag = AddProbe({0, 0, 10, 10}, "flag", kFlag);
  IRect r{1, 2, 3, 4};
  graphics.AskUserForValue(flag, plug.GetParam(kFlag), &r);
  ASSERT_EQ(graphics.entries.size(), 1u);
  EXPECT_EQ(graphics.entries[0].text, "0");
  EXPECT_TRUE(graphics.menus.empty());

  ProbeControl* mode = AddProbe({0, 0, 10, 10}, "mode", kMode);
  plug.GetParam(kMode)->Set(1.0);
  graphics.answer = 2;
  graphics.AskUserForValue(mode, plug.GetParam(kMode), &r);
  ASSERT_EQ(graphics.menus.size(), 1u);
  EXPECT_EQ(graphics.menuLabels, (std::vector<std::string>{"Soft", "Hard", "Brick"}));
  EXPECT_EQ(graphics.menuChecked, (std::vector<bool>{false, true, false}));
  EXPECT_DOUBLE_EQ(mode->Value(), 1.0);  // item 2 of 0..2
  EXPECT_DOUBLE_EQ(plug.GetParam(kMode)->Value(), 2.0);

  ProbeControl* named = AddProbe({0, 0, 10, 10}, "named", kNamedFlag);
  graphics.answer = -1;
  graphics.AskUserForValue(named, plug.GetParam(kNamedFlag), &r);
  EXPECT_EQ(graphics.menus.size(), 2u);  // a boolean with texts gets a menu
  EXPECT_EQ(graphics.entries.size(), 1u);
}

}  // namespace
}  // namespace tessaro::testing
