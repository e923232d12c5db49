// What the audio thread hands to the editor's displays. The editor implements
// it; while none is attached the processing loop skips every feed. Every call
// comes from the audio thread with the plug-in lock held and must not
// allocate, lock or block: implementations store plain values that the
// editor thread reads at its own pace.
#pragma once

namespace tessaro {

// The end-of-block values of the meter controls, all linear.
struct MeterPublication {
  double outReadout[2];  // output number readouts (unclamped)
  double outMeter[2];    // blue output meters
  double outBar[2];      // output meter bars
  double outRms[2];
  double outPeak[2];
  double reduceMeter[2];  // first two meter-view followers
  double reduceBar[2];    // the other two
  double viewReadout[2];
  double inPeak[2];
  double inRms[2];
  double learnLed;
  double ispIndicator;
};

class DisplayFeed {
 public:
  virtual ~DisplayFeed() = default;
  // The editor's redraw rate; the XY trail gets a point every fs / rate frames.
  virtual int FramesPerSecond() const noexcept = 0;
  // True while the history display shows waveforms (not the spectrum).
  virtual bool ShowsWaveforms() const noexcept = 0;
  // One XY trail point and the output level behind its smoothed peak.
  virtual void TrailPoint(double x, double y, double level) noexcept = 0;
  // Bypassed frames: the centre point, the smoothed peak decaying.
  virtual void TrailIdle() noexcept = 0;
  // One frame of the history display: its three traces and three curves.
  virtual void HistoryFrame(double output, double second, double input, double reduce, double isp,
                            double ispOver) noexcept = 0;
  // One sample for the spectrum analysers.
  virtual void SpectrumSample(double x) noexcept = 0;
  virtual void PublishMeters(const MeterPublication& values) noexcept = 0;
};

}  // namespace tessaro
