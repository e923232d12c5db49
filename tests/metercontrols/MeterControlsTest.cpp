// The meter controls' models: what a bar fills, where a marker, band and
// tick sit, how a readout holds, and what the Meter Type, Meter View and
// dB Scale setters change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "meters/ZeroObject.h"
#include "meters/controls/IMeter.h"
#include "meters/controls/ITextVU.h"
#include "meters/controls/MeterFeed.h"
#include "meters/controls/vuLines.h"

namespace tessaro {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const IRect kMeterRect{1149, 100, 1174, 340};
constexpr IColour kGrey{255, 210, 210, 210};

double Db(double db) { return std::pow(10.0, db / 20.0); }

ITextStyle ReadoutStyle() {
  ITextStyle s("Ubuntu", 15, kGrey);
  return s;
}

struct SpanCase {
  double value;
  bool reversed;
  int top, bottom;
};

TEST(IMeter, FilledSpanFollowsTheLevel) {
  const SpanCase cases[] = {
      {0.5, false, 160, 340},   // -6.02 dB on a -24..0 scale
      {0.5, true, 100, 160},    // reversed: the gain 1 - 0.5 fills from the top
      {1.0, false, 100, 340},   // full scale
      {0.0, false, 340, 340},   // silence: empty at the bottom
      {Db(-40), false, 340, 340},  // below minDb collapses to the bottom edge
      {1.0, true, 100, 340},    // all gain removed: a full reduction bar
      {0.0, true, 100, 100},    // no reduction: nothing
      {0.75, true, 100, 220},   // 0.25 left is -12.04 dB
      {kNaN, false, 340, 340},  // broken input draws as the floor
      {kInf, false, 340, 340},
      {-kInf, true, 100, 100},
  };
  for (const SpanCase& c : cases) {
    IMeter meter(nullptr, nullptr, kMeterRect, nullptr, kGrey, c.reversed, 0.0, -24.0);
    meter.SetValueFromHost(0.3);  // the first value only sets the default
    meter.SetValueFromHost(c.value);
    int top = -1, bottom = -1;
    meter.FilledSpan(top, bottom);
    EXPECT_EQ(top, c.top) << c.value << (c.reversed ? " reversed" : "");
    EXPECT_EQ(bottom, c.bottom) << c.value << (c.reversed ? " reversed" : "");
  }
}

TEST(IMeterBar, MarkerIsTruncatedButNotClamped) {
  IMeterBar bar(nullptr, nullptr, kMeterRect, nullptr, kGrey, false, 0.0, -24.0);
  EXPECT_EQ(bar.LineWidth(), 8);
  bar.SetValueFromHost(0.0);
  bar.SetValueFromHost(0.5);
  EXPECT_EQ(bar.MarkerY(), 160);
  bar.SetValueFromHost(Db(-30));
  EXPECT_EQ(bar.MarkerY(), 340 + 60);  // 6 dB below the bottom of a 24 dB scale over 240 pixels
  bar.SetValueFromHost(kNaN);
  EXPECT_GT(bar.MarkerY(), 340);
  bar.SetReversed(true);
  bar.SetValueFromHost(0.0);
  EXPECT_EQ(bar.MarkerY(), 100);  // no reduction: at the top edge
}

TEST(IMeterRange, BandSpansFromBottomLevelToTopLevelInsideTheInset) {
  IMeterRange band(nullptr, nullptr, kMeterRect, nullptr, kGrey, 6, 0.0, -24.0);
  EXPECT_TRUE(band.Band().Empty());  // nothing published yet
  band.SetRange(0.5, Db(-12));
  EXPECT_EQ(band.Band(), (IRect{1155, 160, 1168, 220}));
  band.SetRange(Db(-12), 0.5);  // bottom above top: nothing visible
  EXPECT_TRUE(band.Band().Empty());
  band.SetRange(2.0, Db(-40));  // clamped to the rectangle
  EXPECT_EQ(band.Band(), (IRect{1155, 100, 1168, 340}));
  band.SetRange(kNaN, Db(-12));  // a broken top reads as silence
  EXPECT_TRUE(band.Band().Empty());
  EXPECT_EQ(band.Top(), 0.0);
  band.SetRange(0.5, kInf);
  EXPECT_EQ(band.Bottom(), 0.0);
  EXPECT_EQ(band.Band(), (IRect{1155, 160, 1168, 340}));
}

TEST(IMeterRange, InsetFollowsTheEditorScale) {
  const std::pair<int, double> cases[] = {{6, 1.0}, {6, 1.25}, {10, 1.25}, {10, 0.5}, {6, 0.75}};
  const int expected[] = {6, 7, 12, 5, 4};
  for (int i = 0; i < 5; ++i) {
    IMeterRange band(nullptr, nullptr, kMeterRect, nullptr, kGrey, cases[i].first, 0.0, -24.0);
    band.SetScale(cases[i].second);
    const IRect scaled{static_cast<int>(kMeterRect.L * cases[i].second),
                       static_cast<int>(kMeterRect.T * cases[i].second),
                       static_cast<int>(kMeterRect.R * cases[i].second),
                       static_cast<int>(kMeterRect.B * cases[i].second)};
    band.SetRect(scaled);
    EXPECT_EQ(band.Inset(), expected[i]) << cases[i].first << " at " << cases[i].second;
    band.SetRange(1.0, 0.0);
    EXPECT_EQ(band.Band().L, scaled.L + expected[i]);
    EXPECT_EQ(band.Band().R, scaled.R - expected[i]);
  }
}

TEST(IMeter, DbScaleMovesTheBottom) {
  IMeter meter(nullptr, nullptr, kMeterRect, nullptr, kGrey, false, 0.0, -24.0);
  meter.SetValueFromHost(0.0);
  meter.SetValueFromHost(Db(-12));
  int top = 0, bottom = 0;
  meter.FilledSpan(top, bottom);
  EXPECT_EQ(top, 220);
  meter.SetMinDb(-48.0);
  meter.FilledSpan(top, bottom);
  EXPECT_EQ(top, 160);  // -12 is now a quarter of the way down
  EXPECT_NEAR(meter.Mapping().minGain, Db(-48), 1e-9);
}

vuLines_cairo MakeScale(const IRect& rect, const std::vector<double>& ticks, double maxDb, double minDb,
                        int textSize = 12) {
  ITextStyle style("Ubuntu", textSize, kGrey);
  return vuLines_cairo(nullptr, nullptr, rect, nullptr, {255, 0, 0, 0}, style, ticks.data(),
                       static_cast<int>(ticks.size()), maxDb, minDb);
}

TEST(vuLines, TickPositionsAndLabels) {
  const IRect r{1149, 81, 1199, 716};
  vuLines_cairo scale(nullptr, nullptr, r, nullptr, {255, 0, 0, 0}, ITextStyle("Ubuntu", 18, kGrey),
                      kFineTicks.data(), static_cast<int>(kFineTicks.size()), 0.0, -24.0);
  ASSERT_EQ(scale.TickCount(), 48);
  EXPECT_EQ(scale.TickLengthFraction(), 0.85);
  for (int i = 0; i < scale.TickCount(); ++i) {
    const double v = kFineTicks[static_cast<std::size_t>(i)];
    const double y = std::clamp((v + 24) * (81 - 716) / 24 + 716, 81.0, 716.0);
    EXPECT_NEAR(scale.TickY()[static_cast<std::size_t>(i)], y, 1e-9) << v;
    EXPECT_EQ(scale.Labels()[static_cast<std::size_t>(i)], TickLabel(v));
  }
  EXPECT_EQ(scale.Labels()[9], " 2");
  EXPECT_EQ(scale.Labels()[21], "-1.5");
  // Ticks above the top are pinned to it and never drawn; so are those below the bottom.
  const std::vector<int> drawn = scale.DrawnTicks();
  ASSERT_FALSE(drawn.empty());
  for (int i : drawn) {
    const double v = kFineTicks[static_cast<std::size_t>(i)];
    EXPECT_LT(v, 0.0);
    EXPECT_GT(v, -24.0);
  }
  // Every drawn tick leaves room for a label (18 + 8 pixels) above it.
  double last = r.T;
  for (int i : drawn) {
    EXPECT_GT(scale.TickY()[static_cast<std::size_t>(i)] - last, 26.0);
    last = scale.TickY()[static_cast<std::size_t>(i)];
  }
}

TEST(vuLines, TicksNeedRoomBelowTheLastDrawnOne) {
  // 1 pixel per dB from 0 at the top to -100 at the bottom, labels of 12.
  const IRect r{0, 0, 40, 100};
  const struct {
    std::vector<double> ticks;
    std::vector<int> drawn;
  } cases[] = {
      {{-15}, {}},                       // 15 pixels below the top edge: no room
      {{-21}, {0}},                      // 21 > 12 + 8
      {{-98}, {}},                       // B - 2 is never drawn
      {{-3}, {}},                        // T + 3 is not inside
      {{-15, -21, -40, -45}, {1, 3}},    // 40 is only 19 below 21
      {{-30, -60, -90, -97}, {0, 1, 2}}, // 97 is within 3 of the bottom
  };
  for (const auto& c : cases) {
    vuLines_cairo scale = MakeScale(r, c.ticks, 0.0, -100.0);
    EXPECT_EQ(scale.DrawnTicks(), c.drawn) << c.ticks.size() << " ticks from " << c.ticks[0];
  }
  // At scale 1.25 the labels are 15 pixels, so 21 pixels is no longer enough.
  vuLines_cairo scaled = MakeScale(r, {-21, -24}, 0.0, -100.0);
  scaled.SetScale(1.25);
  EXPECT_EQ(scaled.TextSize(), 15);
  EXPECT_EQ(scaled.DrawnTicks(), (std::vector<int>{1}));
}

TEST(vuLines, SettersRebuildTheTicks) {
  const IRect r{0, 0, 40, 100};
  vuLines_cairo scale = MakeScale(r, {0, -12, -24}, 0.0, -24.0);
  EXPECT_EQ(scale.TickY(), (std::vector<double>{0, 50, 100}));
  scale.SetMinDb(-48.0);
  EXPECT_EQ(scale.TickY(), (std::vector<double>{0, 25, 50}));
  scale.SetMaxDb(12.0);  // K-12: 0 sits a fifth of the way down
  EXPECT_EQ(scale.TickY(), (std::vector<double>{20, 40, 60}));
  scale.SetRect({0, 100, 40, 400});
  EXPECT_EQ(scale.TickY(), (std::vector<double>{160, 220, 280}));
  scale.SetTickLengthFraction(0.4);
  EXPECT_EQ(scale.TickLengthFraction(), 0.4);
}

TEST(ITextVU, HoldTakesPeaksAtOnceAndFallsSlowly) {
  ITextVU readout(nullptr, nullptr, {1201, 55, 1239, 79}, nullptr, ReadoutStyle(), 10.0, 30, true);
  EXPECT_DOUBLE_EQ(readout.HoldCoefficient(), std::exp(-0.4353339357479107 / 300.0));
  readout.SetValueFromHost(0.25);
  EXPECT_EQ(readout.Held(), 0.25);
  readout.SetValueFromHost(1.0);
  EXPECT_EQ(readout.Held(), 1.0);
  // 10 s of silence at 30 frames a second: down by the curve's 3.78 dB.
  for (int i = 0; i < 300; ++i) readout.SetValueFromHost(0.0);
  EXPECT_NEAR(readout.Held(), 0.6470485583525605, 1e-9);
  // Broken levels count as silence; the hold stays finite.
  readout.SetValueFromHost(kNaN);
  readout.SetValueFromHost(kInf);
  EXPECT_TRUE(std::isfinite(readout.Held()));
  EXPECT_LT(readout.Held(), 0.6470485583525605);
  readout.SetValueFromHost(-0.9);  // magnitudes
  EXPECT_EQ(readout.Held(), 0.9);
  EXPECT_EQ(readout.Text().text, "-0.92");
}

TEST(ITextVU, ZeroFrameRateFollowsItsInput) {
  ITextVU readout(nullptr, nullptr, {0, 0, 40, 20}, nullptr, ReadoutStyle(), 10.0, 0, true);
  EXPECT_EQ(readout.HoldCoefficient(), 0.0);
  readout.SetValueFromHost(0.5);
  readout.SetValueFromHost(0.125);
  EXPECT_EQ(readout.Held(), 0.125);
}

TEST(ITextVU, ClickAndResetsClearTheHold) {
  ZeroRegistry registry;
  ITextVU readout(nullptr, nullptr, {0, 0, 40, 20}, &registry, ReadoutStyle(), 10.0, 30, true);
  double follower = 0.7;
  ZeroObject meter(&registry);  // a follower of the default group 12
  meter.SetResetTarget(&follower);
  EXPECT_EQ(readout.GetResetGroup(), kResetGroupOutputPeak);

  readout.SetValueFromHost(0.8);
  readout.MouseDown(5, 5, {true, false, false, false, false});
  EXPECT_EQ(readout.Held(), 0.0);
  EXPECT_EQ(follower, 0.0);  // the click clears every meter follower

  readout.SetValueFromHost(0.8);
  follower = 0.7;
  registry.ResetGroup(kResetGroupMeters);  // group 12 leaves readouts alone
  EXPECT_EQ(readout.Held(), 0.8);
  registry.ResetGroup(kResetGroupOutputPeak);
  EXPECT_EQ(readout.Held(), 0.0);
  readout.SetValueFromHost(0.8);
  registry.ResetAllButGroup(kResetGroupAutoGain);  // the learn-complete reset
  EXPECT_EQ(readout.Held(), 0.0);
}

TEST(ITextVU, TextRescaleFollowsTheEditorScale) {
  ITextVU readout(nullptr, nullptr, {0, 0, 40, 20}, nullptr, ReadoutStyle(), 10.0, 30, false);
  EXPECT_EQ(readout.TextSize(), 15);
  readout.SetScale(1.25);
  EXPECT_EQ(readout.TextSize(), 18);
  readout.SetScale(0.5);
  EXPECT_EQ(readout.TextSize(), 7);
  readout.SetScale(kNaN);
  EXPECT_EQ(readout.TextSize(), 7);
}

// The layout's meter controls, without an editor around them.
struct Bank {
  explicit Bank(ZeroRegistry* registry) {
    const IColour red = AdjustColor({255, 193, 76, 71}, 100, 100, 50);
    for (int c = 0; c < 2; ++c) {
      const int l = 1149 + 25 * c, ol = 1201 + 38 * c;
      own.push_back(std::make_unique<IMeter>(nullptr, nullptr, IRect{l, 81, l + 25, 716}, registry, red, true,
                                             0.0, -24.0));
      set.viewMeter[c] = static_cast<IMeter*>(own.back().get());
      own.push_back(std::make_unique<IMeterBar>(nullptr, nullptr, IRect{l, 81, l + 25, 716}, registry, kGrey,
                                                true, 0.0, -24.0));
      set.viewMarker[c] = static_cast<IMeterBar*>(own.back().get());
      own.push_back(std::make_unique<IMeterRange>(nullptr, nullptr, IRect{l, 81, l + 25, 716}, registry, kGrey,
                                                  6, 0.0, -24.0));
      set.inputBand[c] = static_cast<IMeterRange*>(own.back().get());
      own.push_back(std::make_unique<IMeter>(nullptr, nullptr, IRect{ol, 81, ol + 38, 716}, registry, kGrey,
                                             false, 0.0, -24.0));
      set.outputMeter[c] = static_cast<IMeter*>(own.back().get());
      own.push_back(std::make_unique<IMeterBar>(nullptr, nullptr, IRect{ol, 81, ol + 38, 716}, registry, kGrey,
                                                false, 0.0, -24.0));
      set.outputMarker[c] = static_cast<IMeterBar*>(own.back().get());
      own.push_back(std::make_unique<IMeterRange>(nullptr, nullptr, IRect{ol, 81, ol + 38, 716}, registry,
                                                  kGrey, 10, 0.0, -24.0));
      set.outputBand[c] = static_cast<IMeterRange*>(own.back().get());
      own.push_back(std::make_unique<ITextVU>(nullptr, nullptr, IRect{ol, 55, ol + 38, 79}, registry,
                                              ReadoutStyle(), 10.0, 30, true));
      set.outputReadout[c] = static_cast<ITextVU*>(own.back().get());
      auto* view = new ITextVU(nullptr, nullptr, IRect{l, 55, l + 25, 79}, registry, ReadoutStyle(), 10.0, 30,
                               false);
      view->SetReductionMode(true);
      view->SetIntegerMode(true);
      own.emplace_back(view);
      set.viewReadout[c] = view;
    }
    const ITextStyle style("Ubuntu", 18, kGrey);
    const auto scale = [&](const IRect& r, const auto& ticks) {
      own.push_back(std::make_unique<vuLines_cairo>(nullptr, nullptr, r, registry, IColour{255, 0, 0, 0}, style,
                                                    ticks.data(), static_cast<int>(ticks.size()), 0.0, -24.0));
      return static_cast<vuLines*>(own.back().get());
    };
    set.viewScale = scale({1149, 81, 1199, 716}, kFineTicks);
    set.outputScale = scale({1201, 81, 1277, 716}, kFineTicks);
    set.historyFine = scale({5, 45, 993, 687}, kFineTicks);
    set.historyCoarse = scale({5, 45, 993, 687}, kCoarseTicks);
    set.historyCoarse->SetHidden(true);
    set.registry = registry;
  }
  std::vector<std::unique_ptr<IControl>> own;
  MeterControls set;
};

TEST(MeterControls, MeterViewSetsReversalColourModeBandsAndResetsReadouts) {
  ZeroRegistry registry;
  Bank bank(&registry);
  const MeterControls& m = bank.set;
  const struct {
    int view;
    bool reduction;
  } cases[] = {{kViewInput, false}, {kViewReduce, true}, {kViewDistort, true}};
  for (const auto& c : cases) {
    m.outputReadout[0]->SetValueFromHost(0.5);
    m.viewReadout[1]->SetValueFromHost(0.5);
    m.SetMeterView(c.view, kMeterK14);
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_EQ(m.viewMeter[ch]->Reversed(), c.reduction) << c.view;
      EXPECT_EQ(m.viewMarker[ch]->Reversed(), c.reduction) << c.view;
      EXPECT_EQ(m.viewReadout[ch]->ReductionMode(), c.reduction) << c.view;
      EXPECT_EQ(m.viewMeter[ch]->Colour(), ViewMeterColour(c.view)) << c.view;
      EXPECT_EQ(m.inputBand[ch]->IsHidden(), c.reduction) << c.view;
      EXPECT_FALSE(m.outputBand[ch]->IsHidden());
      EXPECT_FALSE(m.outputMeter[ch]->Reversed());
      EXPECT_TRUE(m.viewReadout[ch]->IntegerMode());
    }
    // The readouts start again from nothing.
    EXPECT_EQ(m.outputReadout[0]->Held(), 0.0) << c.view;
    EXPECT_EQ(m.viewReadout[1]->Held(), 0.0) << c.view;
    // Only INPUT shows the K offset on the view scale.
    EXPECT_EQ(m.viewScale->Mapping().maxDb, c.reduction ? 0.0 : 14.0) << c.view;
  }
}

TEST(MeterControls, MeterTypeSetsScaleTopsAndSwapsTheHistoryScales) {
  ZeroRegistry registry;
  Bank bank(&registry);
  const MeterControls& m = bank.set;
  const struct {
    int type, view;
    bool spectrum;
    double viewTop, otherTop;
    bool fineHidden, coarseHidden;
  } cases[] = {
      {kMeterK14, kViewInput, false, 14, 14, false, true},
      {kMeterK14, kViewReduce, false, 0, 14, false, true},
      {kMeterK20, kViewInput, false, 20, 20, false, true},
      {kMeterK12, kViewDistort, false, 0, 12, false, true},
      {kMeterEbu, kViewInput, false, 0, 0, true, false},
      {kMeterEbu, kViewInput, true, 0, 0, true, true},
      {kMeterDbfs, kViewInput, true, 0, 0, true, true},
      {kMeterDbfs, kViewInput, false, 0, 0, false, true},
  };
  for (const auto& c : cases) {
    m.SetMeterType(c.type, c.view, c.spectrum);
    EXPECT_EQ(m.viewScale->Mapping().maxDb, c.viewTop) << c.type << "/" << c.view;
    for (vuLines* s : {m.outputScale, m.historyFine, m.historyCoarse}) {
      EXPECT_EQ(s->Mapping().maxDb, c.otherTop) << c.type;
    }
    EXPECT_EQ(m.historyFine->IsHidden(), c.fineHidden) << c.type << " spectrum " << c.spectrum;
    EXPECT_EQ(m.historyCoarse->IsHidden(), c.coarseHidden) << c.type << " spectrum " << c.spectrum;
  }
  // The tick positions follow the new top: with K-14, the 14 tick sits at the top edge.
  m.SetMeterType(kMeterK14, kViewInput, false);
  EXPECT_EQ(m.outputScale->TickY()[3], 81.0);
  EXPECT_NEAR(m.outputScale->TickY()[10], 716 - 635.0 * 24 / 38, 1e-9);  // 0 dB
}

TEST(MeterControls, DbScaleReachesEveryMeterMarkerBandAndScale) {
  ZeroRegistry registry;
  Bank bank(&registry);
  const MeterControls& m = bank.set;
  m.SetDbScale(-60.0);
  for (int c = 0; c < 2; ++c) {
    for (const LevelMapping* map :
         {&m.viewMeter[c]->Mapping(), &m.viewMarker[c]->Mapping(), &m.inputBand[c]->Mapping(),
          &m.outputMeter[c]->Mapping(), &m.outputMarker[c]->Mapping(), &m.outputBand[c]->Mapping()}) {
      EXPECT_EQ(map->minDb, -60.0);
      EXPECT_NEAR(map->minGain, 0.001, 1e-12);
    }
  }
  for (vuLines* s : {m.viewScale, m.outputScale, m.historyFine, m.historyCoarse}) {
    EXPECT_EQ(s->Mapping().minDb, -60.0);
    const auto at = std::find(s->Ticks().begin(), s->Ticks().end(), -60.0);
    ASSERT_NE(at, s->Ticks().end());
    // The -60 tick sits on the bottom edge, -24 well above it.
    EXPECT_EQ(s->TickY()[static_cast<std::size_t>(at - s->Ticks().begin())], s->Rect().B);
    const auto mid = std::find(s->Ticks().begin(), s->Ticks().end(), -24.0);
    EXPECT_NEAR(s->TickY()[static_cast<std::size_t>(mid - s->Ticks().begin())],
                s->Rect().B - (s->Rect().B - s->Rect().T) * 36.0 / 60.0, 1e-9);
  }
}

TEST(MeterControls, ShowRoutesEveryPublishedValue) {
  ZeroRegistry registry;
  Bank bank(&registry);
  const MeterControls& m = bank.set;
  m.SetMeterView(kViewInput, kMeterDbfs);
  MeterPublication p{};
  // Distinct levels, so a value sent to the wrong control shows.
  p.reduceMeter[0] = 0.11, p.reduceMeter[1] = 0.12;
  p.reduceBar[0] = 0.21, p.reduceBar[1] = 0.22;
  p.inPeak[0] = 0.31, p.inPeak[1] = 0.32;
  p.inRms[0] = 0.041, p.inRms[1] = 0.042;
  p.outMeter[0] = 0.51, p.outMeter[1] = 0.52;
  p.outBar[0] = 0.61, p.outBar[1] = 0.62;
  p.outPeak[0] = 0.71, p.outPeak[1] = 0.72;
  p.outRms[0] = 0.081, p.outRms[1] = 0.082;
  p.outReadout[0] = 0.91, p.outReadout[1] = 0.92;
  p.viewReadout[0] = 0.93, p.viewReadout[1] = 0.94;
  for (int round = 0; round < 2; ++round) m.Show(p);  // the first value of a bar is its default only
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(m.viewMeter[c]->Value(), p.reduceMeter[c]);
    EXPECT_EQ(m.viewMarker[c]->Value(), p.reduceBar[c]);
    EXPECT_EQ(m.inputBand[c]->Top(), p.inPeak[c]);
    EXPECT_EQ(m.inputBand[c]->Bottom(), p.inRms[c]);
    EXPECT_EQ(m.outputMeter[c]->Value(), p.outMeter[c]);
    EXPECT_EQ(m.outputMarker[c]->Value(), p.outBar[c]);
    EXPECT_EQ(m.outputBand[c]->Top(), p.outPeak[c]);
    EXPECT_EQ(m.outputBand[c]->Bottom(), p.outRms[c]);
    EXPECT_EQ(m.outputReadout[c]->Held(), p.outReadout[c]);
    EXPECT_EQ(m.viewReadout[c]->Held(), p.viewReadout[c]);
  }
}

}  // namespace
}  // namespace tessaro
