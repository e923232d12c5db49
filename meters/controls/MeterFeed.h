// The editor's side of the display feed, and the set of meter controls it
// drives.
//
// The audio thread ends every block with PublishMeters, which stores the
// publication in a single-writer sequence-counted record of relaxed atomics:
// it never waits, locks or allocates. The editor timer calls Poll, which
// takes a consistent copy (retrying while a block is mid-write) and, when a
// new publication arrived since the last poll, hands its values to the
// controls. A publication already shown is not shown again, so a readout
// cleared by a click is not refilled from a stale copy.
//
// The history, spectrum and trail calls of the feed belong to displays that
// are not attached through this class; they are empty here, and
// ShowsWaveforms answers false so the processing loop skips the per-sample
// history work altogether.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "meters/DisplayFeed.h"

namespace tessaro {

class IControl;
class IMeter;
class IMeterBar;
class IMeterRange;
class ITextVU;
class vuLines;
class ZeroRegistry;

// Pointers to the meter controls of the editor layout; any may be null (a
// test or a reduced layout). The graphics core owns the controls. Every
// operation runs on the editor thread (or under the plug-in lock from a
// parameter reaction, which the editor thread also takes).
struct MeterControls {
  std::array<IMeter*, 2> viewMeter{};        // reduction / input / distortion meters
  std::array<IMeterRange*, 2> inputBand{};   // input RMS..peak, shown in INPUT only
  std::array<IMeterBar*, 2> viewMarker{};    // their slow peak markers
  std::array<IMeter*, 2> outputMeter{};
  std::array<IMeterRange*, 2> outputBand{};  // output RMS..peak
  std::array<IMeterBar*, 2> outputMarker{};
  std::array<ITextVU*, 2> outputReadout{};
  std::array<ITextVU*, 2> viewReadout{};
  vuLines* viewScale = nullptr;
  vuLines* outputScale = nullptr;
  vuLines* historyFine = nullptr;
  vuLines* historyCoarse = nullptr;
  IControl* learnLed = nullptr;
  IControl* ispIndicator = nullptr;
  // Where the Meter View change sends its reset of the readouts.
  ZeroRegistry* registry = nullptr;

  // One publication into the controls: levels to the bars, markers and
  // readouts, the two levels of each band. Values must already be finite.
  void Show(const MeterPublication& p) const;
  // dB Scale: the bottom of every meter, marker, band and scale.
  void SetDbScale(double db) const;
  // Meter Type: the scales' tops follow the type's offset (the view scale
  // only while the view is INPUT); the history scales swap for EBU and both
  // hide while the history display shows the spectrum.
  void SetMeterType(int meterType, int meterView, bool spectrumShown) const;
  // Meter View: reversal, colour and reduction mode of the view meters,
  // markers and readouts; the input bands show in INPUT only; the view
  // scale's top follows; then the fast output peaks and readouts reset.
  void SetMeterView(int meterView, int meterType) const;
};

class MeterFeed final : public DisplayFeed {
 public:
  static constexpr int kDefaultFramesPerSecond = 30;

  explicit MeterFeed(int framesPerSecond = kDefaultFramesPerSecond) noexcept;
  ~MeterFeed() override;
  MeterFeed(const MeterFeed&) = delete;
  MeterFeed& operator=(const MeterFeed&) = delete;

  // Audio thread; never allocates.
  int FramesPerSecond() const noexcept override;
  // Audio thread; never allocates. False until a history display takes the
  // per-sample frames.
  bool ShowsWaveforms() const noexcept override;
  // Audio thread; nothing consumes these yet, so they cost one empty call.
  void TrailPoint(double, double, double) noexcept override {}
  void TrailIdle() noexcept override {}
  void HistoryFrame(double, double, double, double, double, double) noexcept override {}
  void SpectrumSample(double) noexcept override {}
  // Audio thread, once per block; never waits, locks or allocates.
  void PublishMeters(const MeterPublication& values) noexcept override;

  // Editor thread: the frame rate the editor redraws at (the configuration
  // may choose 20 to 200); out-of-range rates are clamped.
  void SetFramesPerSecond(int framesPerSecond) noexcept;
  // Editor thread: true once a history display consumes waveform frames.
  void SetShowsWaveforms(bool shows) noexcept;

  // Editor thread: the controls Poll drives (replaces any earlier set).
  void SetControls(const MeterControls& controls) noexcept { controls_ = controls; }
  const MeterControls& Controls() const noexcept { return controls_; }

  // Editor thread: a consistent copy of the latest publication with every
  // non-finite value replaced by 0. False when nothing was published yet or
  // the writer kept the record busy through every retry (the caller keeps
  // its previous frame). Never allocates.
  bool Latest(MeterPublication& out, std::uint32_t* sequence = nullptr) const noexcept;
  // Editor thread, on every timer tick: shows a publication that arrived
  // since the last poll in the controls; true when it did.
  bool Poll();
  // How many publications were written (wraps).
  std::uint32_t Publications() const noexcept { return sequence_.load(std::memory_order_acquire) / 2; }

 private:
  static constexpr int kFields = static_cast<int>(sizeof(MeterPublication) / sizeof(double));
  static_assert(sizeof(MeterPublication) == kFields * sizeof(double), "the publication is a record of doubles");
  static_assert(std::atomic<double>::is_always_lock_free, "the feed needs lock-free doubles");

  // Even while the record is stable, odd while the audio thread writes it.
  std::atomic<std::uint32_t> sequence_{0};
  // The record, written by the audio thread and read by the editor thread.
  std::array<std::atomic<double>, kFields> fields_{};
  std::atomic<int> framesPerSecond_;
  std::atomic<bool> showsWaveforms_{false};
  // Editor thread only.
  std::uint32_t shownSequence_ = 0;
  MeterControls controls_;
};

}  // namespace tessaro
