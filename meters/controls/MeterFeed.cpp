#include "meters/controls/MeterFeed.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "meters/ZeroObject.h"
#include "meters/controls/IMeter.h"
#include "meters/controls/ITextVU.h"
#include "meters/controls/vuLines.h"

namespace tessaro {
namespace {

constexpr int kMinFramesPerSecond = 20;
constexpr int kMaxFramesPerSecond = 200;
// A block writes the record in well under a microsecond; a reader that hits
// it mid-write this often in a row gives up for this frame.
constexpr int kReadAttempts = 16;

template <class Control, class Fn>
void Each(const std::array<Control*, 2>& controls, Fn fn) {
  for (Control* c : controls) {
    if (c) fn(*c);
  }
}

}  // namespace

// --- MeterControls ---

void MeterControls::Show(const MeterPublication& p) const {
  for (int c = 0; c < 2; ++c) {
    const auto i = static_cast<std::size_t>(c);
    if (viewMeter[i]) viewMeter[i]->SetValueFromHost(p.reduceMeter[c]);
    if (viewMarker[i]) viewMarker[i]->SetValueFromHost(p.reduceBar[c]);
    if (inputBand[i]) inputBand[i]->SetRange(p.inPeak[c], p.inRms[c]);
    if (outputMeter[i]) outputMeter[i]->SetValueFromHost(p.outMeter[c]);
    if (outputMarker[i]) outputMarker[i]->SetValueFromHost(p.outBar[c]);
    if (outputBand[i]) outputBand[i]->SetRange(p.outPeak[c], p.outRms[c]);
    if (outputReadout[i]) outputReadout[i]->SetValueFromHost(p.outReadout[c]);
    if (viewReadout[i]) viewReadout[i]->SetValueFromHost(p.viewReadout[c]);
  }
  if (learnLed) learnLed->SetValueFromHost(std::clamp(p.learnLed, 0.0, 1.0));
  if (ispIndicator) ispIndicator->SetValueFromHost(std::clamp(p.ispIndicator, 0.0, 1.0));
}

void MeterControls::SetDbScale(double db) const {
  for (const auto& meters : {viewMeter, outputMeter}) Each(meters, [db](IMeter& m) { m.SetMinDb(db); });
  for (const auto& markers : {viewMarker, outputMarker}) Each(markers, [db](IMeterBar& m) { m.SetMinDb(db); });
  for (const auto& bands : {inputBand, outputBand}) Each(bands, [db](IMeterRange& b) { b.SetMinDb(db); });
  for (vuLines* scale : {viewScale, outputScale, historyFine, historyCoarse}) {
    if (scale) scale->SetMinDb(db);
  }
}

void MeterControls::SetMeterType(int meterType, int meterView, bool spectrumShown) const {
  const double offset = MeterScaleOffset(meterType);
  if (viewScale) viewScale->SetMaxDb(meterView == kViewInput ? offset : 0.0);
  for (vuLines* scale : {outputScale, historyFine, historyCoarse}) {
    if (scale) scale->SetMaxDb(offset);
  }
  const bool ebu = meterType == kMeterEbu;
  if (historyFine) historyFine->SetHidden(spectrumShown || ebu);
  if (historyCoarse) historyCoarse->SetHidden(spectrumShown || !ebu);
}

void MeterControls::SetMeterView(int meterView, int meterType) const {
  const bool reduction = meterView != kViewInput;
  const IColour colour = ViewMeterColour(meterView);
  Each(viewMeter, [&](IMeter& m) {
    m.SetReversed(reduction);
    m.SetColour(colour);
  });
  Each(viewMarker, [&](IMeterBar& m) { m.SetReversed(reduction); });
  Each(viewReadout, [&](ITextVU& r) { r.SetReductionMode(reduction); });
  Each(inputBand, [&](IMeterRange& b) { b.SetHidden(reduction); });
  if (viewScale) viewScale->SetMaxDb(reduction ? 0.0 : MeterScaleOffset(meterType));
  if (registry) registry->ResetGroup(kResetGroupOutputPeak);
}

// --- MeterFeed ---

MeterFeed::MeterFeed(int framesPerSecond) noexcept
    : framesPerSecond_(std::clamp(framesPerSecond, kMinFramesPerSecond, kMaxFramesPerSecond)) {}

MeterFeed::~MeterFeed() = default;

int MeterFeed::FramesPerSecond() const noexcept { return framesPerSecond_.load(std::memory_order_relaxed); }

bool MeterFeed::ShowsWaveforms() const noexcept { return showsWaveforms_.load(std::memory_order_relaxed); }

void MeterFeed::SetFramesPerSecond(int framesPerSecond) noexcept {
  framesPerSecond_.store(std::clamp(framesPerSecond, kMinFramesPerSecond, kMaxFramesPerSecond),
                         std::memory_order_relaxed);
}

void MeterFeed::SetShowsWaveforms(bool shows) noexcept { showsWaveforms_.store(shows, std::memory_order_relaxed); }

void MeterFeed::PublishMeters(const MeterPublication& values) noexcept {
  double raw[kFields];
  std::memcpy(raw, &values, sizeof raw);
  // Single writer: only this thread changes the counter, so a plain
  // load-and-store pair is enough to make it odd for the duration.
  const std::uint32_t s = sequence_.load(std::memory_order_relaxed);
  sequence_.store(s + 1, std::memory_order_relaxed);
  // Release stores (free on x86): a reader that sees any new field also sees
  // the odd count, without a fence the thread sanitizer cannot follow.
  for (int i = 0; i < kFields; ++i) fields_[static_cast<std::size_t>(i)].store(raw[i], std::memory_order_release);
  sequence_.store(s + 2, std::memory_order_release);
}

bool MeterFeed::Latest(MeterPublication& out, std::uint32_t* sequence) const noexcept {
  double raw[kFields];
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    const std::uint32_t before = sequence_.load(std::memory_order_acquire);
    if (before == 0) return false;
    if (before & 1u) continue;
    // Acquire loads keep the second look at the count after every field.
    for (int i = 0; i < kFields; ++i) raw[i] = fields_[static_cast<std::size_t>(i)].load(std::memory_order_acquire);
    if (sequence_.load(std::memory_order_relaxed) != before) continue;
    // A broken block may publish NaN or infinity; the meters show the floor.
    for (double& v : raw) v = FiniteLevel(v);
    std::memcpy(&out, raw, sizeof raw);
    if (sequence) *sequence = before;
    return true;
  }
  return false;
}

bool MeterFeed::Poll() {
  MeterPublication p;
  std::uint32_t sequence = 0;
  if (!Latest(p, &sequence) || sequence == shownSequence_) return false;
  shownSequence_ = sequence;
  controls_.Show(p);
  return true;
}

}  // namespace tessaro
