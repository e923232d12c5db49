// A plug-in with four parameters of the kinds the editor treats differently,
// a headless editor that records what it was asked to show, and a probe
// control that logs every event it receives.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/IParameter.h"
#include "core/IPlugBase.h"
#include "editor/IGraphicsHeadless.h"

namespace tessaro::testing {

enum TestParam : int { kLevel = 0, kMode = 1, kFlag = 2, kNamedFlag = 3, kNumTestParams };

inline IPlugConfig TestConfig() {
  return IPlugConfig{kNumTestParams, 0,          1,          "2-2",      "Editor Test", "Editor Test",
                     "Tessaro Test", 0x45645474, 0x5473726F, 0x00010000, true,          false,
                     false,          0};
}

// A plug-in base that answers the host side itself and records what the
// editor asked of it: pushed values, edit gestures and resizes.
class RecordingPlug : public IPlugBase {
 public:
  explicit RecordingPlug(const IPlugConfig& config) : IPlugBase(config) {}
  void SetParameterFromEditor(int index, double normalised) override {
    pushes.push_back({index, normalised});
    IPlugBase::SetParameterFromEditor(index, normalised);
  }
  void HostBeginEdit(int index) override { edits.push_back("begin " + std::to_string(index)); }
  void HostAutomate(int, double) override {}
  void HostEndEdit(int index) override { edits.push_back("end " + std::to_string(index)); }
  void HostUpdateDisplay() override {}
  std::int64_t HostSamplePosition() override { return 0; }
  double HostTempo() override { return 120.0; }
  void HostTimeSignature(int* n, int* d) override { *n = *d = 4; }
  void QueryHostTime(HostTimeInfo&) override {}
  void ResizeEditor(int w, int h) override { resized.push_back({w, h}); }
  bool SendMidi(const IMidiMsg&) override { return false; }

  struct Push {
    int index;
    double value;
  };
  std::vector<Push> pushes;
  std::vector<std::string> edits;
  std::vector<std::pair<int, int>> resized;
};

class TestPlug : public RecordingPlug {
 public:
  TestPlug() : RecordingPlug(TestConfig()) {
    GetParam(kLevel)->DefineDouble("Level", 2.0, 0.0, 10.0, 0.1, "dB");
    GetParam(kMode)->DefineEnum("Mode", 0, 3);
    GetParam(kMode)->AddDisplayText(0, "Soft");
    GetParam(kMode)->AddDisplayText(1, "Hard");
    GetParam(kMode)->AddDisplayText(2, "Brick");
    // A boolean without display texts (DefineBool would add "off" and "on").
    GetParam(kFlag)->SetType(IParameter::kTypeBool);
    GetParam(kFlag)->DefineDouble("Flag", 0.0, 0.0, 1.0, 1.0);
    GetParam(kNamedFlag)->DefineBool("Named", false);
    GetParam(kNamedFlag)->AddDisplayText(0, "Off");
    GetParam(kNamedFlag)->AddDisplayText(1, "On");
  }
};

// Answers menus with a chosen item and records text fields it was asked for.
class RecordingGraphics : public IGraphicsHeadless {
 public:
  using IGraphicsHeadless::IGraphicsHeadless;
  IMenu* ShowPopupMenu(IMenu& menu, const IRect& rect) override {
    menus.push_back(rect);
    menuLabels.clear();
    for (int i = 0; i < menu.NumItems(); ++i) menuLabels.push_back(menu.ItemLabel(i));
    menuChecked.clear();
    for (const IMenuItem& item : menu.items) menuChecked.push_back((item.flags & IMenuItem::kChecked) != 0);
    if (answer < 0) return nullptr;
    menu.chosen = answer;
    return &menu;
  }
  void ShowTextEntry(IControl*, const ITextStyle&, const IRect& rect, const char* text,
                     IParameter*) override {
    entries.push_back({rect, text});
  }
  int answer = -1;
  std::vector<IRect> menus;
  std::vector<std::string> menuLabels;
  std::vector<bool> menuChecked;
  struct Entry {
    IRect rect;
    std::string text;
  };
  std::vector<Entry> entries;
};

// Logs "<name> <event>" for every event; paints nothing but the log entry.
class ProbeControl : public IControl {
 public:
  ProbeControl(IPlugBase* plug, const IRect& rect, std::string name, std::vector<std::string>* log,
               int param = -1)
      : IControl(plug, rect, param), name_(std::move(name)), log_(log) {}
  void MouseDown(int x, int y, const IMouseState&) override { Log("down", x, y); }
  void MouseUp(int x, int y, const IMouseState&) override { Log("up", x, y); }
  void MouseDrag(int x, int y, int dX, int dY, const IMouseState&) override {
    log_->push_back(name_ + " drag " + std::to_string(x) + "," + std::to_string(y) + " d" +
                    std::to_string(dX) + "," + std::to_string(dY));
  }
  void DoubleClick(int x, int y, const IMouseState&) override { Log("dblclick", x, y); }
  void Wheel(int, int, const IMouseState&, int steps) override {
    log_->push_back(name_ + " wheel " + std::to_string(steps));
  }
  void MouseOver(int, int, const IMouseState&) override { log_->push_back(name_ + " over"); }
  void MouseLeave() override { log_->push_back(name_ + " leave"); }
  void Paint(IGraphics&) override { log_->push_back(name_ + " paint"); }

 private:
  void Log(const char* what, int x, int y) {
    log_->push_back(name_ + " " + what + " " + std::to_string(x) + "," + std::to_string(y));
  }
  std::string name_;
  std::vector<std::string>* log_;
};

class Recorder : public IUndoRecorder {
 public:
  void RecordCurrentState() override { ++records; }
  int records = 0;
};

class EditorTest : public ::testing::Test {
 protected:
  EditorTest() : graphics(&plug, 400, 300, 30) {}
  ProbeControl* AddProbe(const IRect& r, const std::string& name, int param = -1) {
    auto* probe = new ProbeControl(&plug, r, name, &log, param);
    graphics.AddControl(probe);
    return probe;
  }
  TestPlug plug;
  RecordingGraphics graphics;
  std::vector<std::string> log;
  IMouseState left{true, false, false, false, false};
};

}  // namespace tessaro::testing
