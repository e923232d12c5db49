// A plug-in with the kinds of parameter the custom controls edit, an editor
// whose menus answer with a chosen item, and a listener for status texts.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EditorFixture.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"

namespace tessaro::testing {

enum ControlsParam : int {
  kMargin = 0,
  kAmount,
  kHistory,
  kDbScale,
  kCharX,
  kCharY,
  kType,
  kNumControlsParams
};

inline IPlugConfig ControlsConfig() {
  IPlugConfig config = TestConfig();
  config.hostParams = kNumControlsParams;
  return config;
}

class ControlsPlug : public RecordingPlug {
 public:
  ControlsPlug() : RecordingPlug(ControlsConfig()) {
    GetParam(kMargin)->DefineDouble("Margin Level", -0.5, -1.5, 0.0, 0.01, "dB");
    GetParam(kAmount)->DefineDouble("Amount", 0.0, 0.0, 36.0, 0.1, "dB");
    GetParam(kHistory)->DefineDouble("History", 30.0, 1.0, 120.0, 1.0, "s");
    GetParam(kDbScale)->DefineDouble("dB Scale", -24.0, -48.0, -6.0, 1.0, "dB");
    GetParam(kCharX)->DefineDouble("Character X", 0.5, 0.0, 1.0, 0.001);
    GetParam(kCharY)->DefineDouble("Character Y", 0.5, 0.0, 1.0, 0.001);
    GetParam(kType)->DefineEnum("Type", 0, 5);
  }
};

// Everything posted to the registry.
class StatusListener : public ZeroObject {
 public:
  explicit StatusListener(ZeroRegistry* registry) : ZeroObject(registry) {}
  void ReceiveStatusText(const char* text) override { texts.emplace_back(text); }
  std::vector<std::string> texts;
};

class CustomControlsTest : public ::testing::Test {
 protected:
  CustomControlsTest() : graphics(&plug, 400, 300, 30), canvas(&plug), listener(&registry) {
    canvas.LoadFont("resources/Ubuntu-R.ttf");
    graphics.SetCanvas(&canvas);
    graphics.AddBackgroundPanel({255, 6, 6, 6});
  }
  ~CustomControlsTest() override { plug.AttachEditor(nullptr); }
  template <class C>
  C* Add(C* control) {
    graphics.AddControl(control);
    control->JoinRegistry(&registry);
    return control;
  }
  void Attach() { plug.AttachEditor(&graphics); }
  double ParamNormalised(int i) { return plug.GetParam(i)->Normalised(); }

  ControlsPlug plug;
  RecordingGraphics graphics;
  ycairo_canvas canvas;
  ZeroRegistry registry;
  StatusListener listener;
  Recorder undo;
  IMouseState left{true, false, false, false, false};
  IMouseState right{false, true, false, false, false};
  IMouseState none{};
};

}  // namespace tessaro::testing
