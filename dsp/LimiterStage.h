// The compressor unit the limiter core is built from, the adaptive clip
// threshold that follows clipping per channel, the table of limiter types,
// and the two waveshapers of the core (the tanh-like saturator and the
// polynomial soft clip).
#pragma once

#include <array>
#include <cstdint>

namespace tessaro {

// One-pole smoothing coefficient of a limiter stage: exp(-2 / (ms * rate * 0.001)).
double StageCoef(double ms, double rate) noexcept;

// Static curve, input level a dB, threshold T dB, ratio r, knee width W dB.
// A knee of 0 is a hard knee; a level exactly at the threshold passes.
double StaticCurve(double levelDb, double thresholdDb, double ratio, double kneeDb) noexcept;

// Compressor stage: static curve, gain-reduction detector in two modes, gain.
//
// State:
// - thresholdLin_/thresholdDb_, ratio_, kneeLin_/kneeDb_: the static curve
//   (the curve reads kneeDb_; kneeLin_ is kept for display and comparison).
// - unityGain_: the multiplier while ratio <= 1; outputGain_: what the core
//   multiplies the stage's output with (1 for every stage here).
// - attackMs_/releaseMs_ and attackCoef_/releaseCoef_: times of the first
//   smoother; the coefficient is chosen by comparing the new reduction with
//   env_, the working value.
// - holdCoef_/slowCoef_, slowState_/slowState2_: the slow smoother of
//   detector mode 1, which lets reduction through only once the fast
//   smoother has fallen below it, i.e. after a transient has passed.
// - env1_: fast smoother of the reduction in dB; env_: the reduction in dB
//   the gain is made from (starts at -120, which reads as "none").
// - gain_: linear gain 0..1 applied last; 1 - gain_ is the reduction amount
//   the meters and the core read.
// - levelDb_, curveDb_, detectorInput_, output_: last detector level, curve
//   output, detector signal and output sample, for inspection.
// - detectorMode_: 0 plain, 1 dual release.
// The detector filters, saturation units, RMS window and feedback detection
// of the original unit stay switched off in this system and are not built.
class LimiterStage {
 public:
  LimiterStage();

  // Runs one sample: x is the audio, s the detector signal. Returns x times
  // the gain (or unityGain when ratio <= 1). Audio thread; never allocates.
  double process(double x, double s) noexcept;
  // Curve output for a level in dB with this stage's settings. Any thread.
  double curve(double levelDb) const noexcept;
  // Makeup gain for an input of linear level x: brings x = 1 back to 1 after
  // the curve; x itself when threshold or ratio is (nearly) 1. Any thread.
  double curveGain(double x) const noexcept;

  // Set-up, under the plug-in lock; none of them allocates.
  void setThreshold(double linear) noexcept;
  void setRatio(double ratio) noexcept { ratio_ = ratio; }
  void setKnee(double kneeDb) noexcept;
  void setAttack(double ms, double rate) noexcept;
  void setRelease(double ms, double rate) noexcept;
  void setHoldCoef(double c) noexcept { holdCoef_ = c; }
  void setSlowCoef(double c) noexcept { slowCoef_ = c; }
  void setDetectorMode(int mode) noexcept { detectorMode_ = mode; }
  void setOutputGain(double g) noexcept { outputGain_ = g; }
  // Back to no reduction: gain 1, env -120 dB, smoothers and levels 0.
  // Audio thread or set-up; never allocates.
  void reset() noexcept;

  double thresholdLin() const noexcept { return thresholdLin_; }
  double thresholdDb() const noexcept { return thresholdDb_; }
  double ratio() const noexcept { return ratio_; }
  double kneeDb() const noexcept { return kneeDb_; }
  double kneeLin() const noexcept { return kneeLin_; }
  double attackMs() const noexcept { return attackMs_; }
  double releaseMs() const noexcept { return releaseMs_; }
  double attackCoef() const noexcept { return attackCoef_; }
  double releaseCoef() const noexcept { return releaseCoef_; }
  double holdCoef() const noexcept { return holdCoef_; }
  double slowCoef() const noexcept { return slowCoef_; }
  int detectorMode() const noexcept { return detectorMode_; }
  double outputGain() const noexcept { return outputGain_; }
  double unityGain() const noexcept { return unityGain_; }
  double env() const noexcept { return env_; }
  double env1() const noexcept { return env1_; }
  double gain() const noexcept { return gain_; }
  // 1 - gain: the fraction of the signal this stage takes away.
  double reduction() const noexcept { return 1.0 - gain_; }
  double output() const noexcept { return output_; }
  double levelDb() const noexcept { return levelDb_; }
  double curveDb() const noexcept { return curveDb_; }
  double detectorInput() const noexcept { return detectorInput_; }

 private:
  void runDetector(double t) noexcept;

  double thresholdLin_ = 1.0;
  double thresholdDb_ = 0.0;
  double ratio_ = 1.0;
  double kneeLin_ = 1.0;
  double kneeDb_ = 0.0;
  double unityGain_ = 1.0;
  double outputGain_ = 1.0;
  double attackMs_ = 50.0;
  double releaseMs_ = 250.0;
  double slowCoef_ = 0.999;
  double attackCoef_;
  double releaseCoef_;
  double levelDb_ = 0.0;
  double output_ = 0.0;
  double detectorInput_ = 0.0;
  double curveDb_ = 0.0;
  double holdCoef_ = 0.995;
  double slowState_ = 0.0;
  double slowState2_ = 0.0;
  double env_ = -120.0;
  double env1_ = 0.0;
  double gain_ = 1.0;
  int detectorMode_ = 0;
};

// Per-channel clip threshold that sinks towards `low` (the ceiling) while the
// signal clips and recovers towards `high` otherwise.
// State: value_ (L), high_/low_ and the two times with their coefficients;
// coefMs*/coefRate_ remember what the coefficients were made from, so a
// per-block configure with unchanged times costs two comparisons.
class LinkTracker {
 public:
  explicit LinkTracker(double initial = 1.0) noexcept : value_(initial) {}

  // Once per block, audio thread; never allocates. Coefficients
  // exp(ln(0.01) / (ms * fs * 0.001)) are remade only when a time (or fs) changed.
  void configure(double high, double low, double attackMs, double releaseMs, double fs) noexcept;
  // Once per base-rate frame with the frame's largest clip excess. Audio thread.
  void update(double excess) noexcept {
    if (excess > 0.0) {
      value_ = (value_ - low_) * attackCoef_ + low_;
    } else {
      value_ = (value_ - high_) * releaseCoef_ + high_;
    }
  }
  // Set-up: puts L at v (the ceiling at construction).
  void setValue(double v) noexcept { value_ = v; }

  double value() const noexcept { return value_; }
  double high() const noexcept { return high_; }
  double low() const noexcept { return low_; }
  double attackCoef() const noexcept { return attackCoef_; }
  double releaseCoef() const noexcept { return releaseCoef_; }

 private:
  double value_;
  double high_ = 1.0;
  double low_ = 1.0;
  double attackMs_ = 0.0;
  double releaseMs_ = 0.0;
  double attackCoef_ = 0.9;
  double releaseCoef_ = 0.9;
  double coefAttackMs_ = 0.0;
  double coefReleaseMs_ = 0.0;
  double coefRate_ = 0.0;
};

// One row of the limiter-type table.
struct LimiterType {
  const char* name;
  double a0;               // character amount u = a0/100
  double a1;               // attack ms of stages 1, 3 and the link trackers
  double b0;               // release ms of the same
  double b1;               // stereo link in %
  double c0;               // look-ahead in ms
  double c1;               // default "Limit Character" in %
  double D;                // default "Transient Character" in %
  std::uint8_t followTC;   // transient character follows its envelope
  std::uint8_t followLC;   // limit character follows its envelope
  double e0, e1;           // low and high colour amounts in %
  double f0, f1;           // low and high colour frequencies in Hz
  double G;                // output low-cut choice
  std::uint8_t clipFirst;  // stage 2 hears the clipped signal
  int I;                   // stage 1 mode: 0 off, 1 blended, 2 in series
};

inline constexpr int kLimiterTypeCount = 9;

// The nine types, indexed by "Limiter Type".
inline constexpr std::array<LimiterType, kLimiterTypeCount> kLimiterTypes = {{
    {"KEST-BASIC", 55, 5, 70, 50, 7, 50, 50, 1, 1, 5, 10, 60, 6500, 1, 1, 0},
    {"TRADITIONAL", 29, 10, 150, 75, 5, 0, 60, 0, 0, -15, -10, 90, 3500, 1, 0, 0},
    {"DEEP", 80, 5, 75, 50, 5, 77, 21, 1, 1, 0, 0, 60, 6500, 1, 1, 1},
    {"AGGRESSIVE", 75, 25, 40, 45, 6.5, 60, 81, 1, 1, 15, 12, 70, 9500, 1, 1, 2},
    {"SMOOTH", 0, 15, 45, 60, 7.5, 24, 24, 0, 1, 12, -21, 70, 9500, 1, 0, 1},
    {"LOUD/PUNCH", 70, 10, 50, 30, 6, 78, 60, 1, 0, 10, 25, 80, 6500, 2, 1, 1},
    {"VINTAGE BUS", 30, 1, 575, 80, 0.1, 16, 45, 0, 0, -40, 32, 32, 2200, 1, 0, 0},
    {"TESSARO 2", 85, 3.5, 700, 35, 5, 55, 80, 1, 1, 40, 29, 85, 6000, 1, 1, 1},
    {"CLEAN", 100, 10, 750, 65, 5, 25, 45, 0, 1, 0, 0, 85, 6000, 1, 1, 0},
}};

// Tanh-like saturator of stage 2's input: about 1.0044·s near 0, levelling
// off near ±1.0078 for large |s|. Any thread.
double sat(double s) noexcept;

// u^51 by repeated squaring (eight multiplications). Any thread.
inline double Pow51(double u) noexcept {
  const double u2 = u * u;
  const double u4 = u2 * u2;
  const double u8 = u4 * u4;
  const double u16 = u8 * u8;
  const double u32 = u16 * u16;
  return u32 * u16 * u2 * u;
}

// Polynomial soft clip against `ceiling`: z/ceiling inside ±1 becomes
// u - u^51/51 (so the ceiling itself maps to 50/51 of it), anything beyond
// is held at ±50/51 of the ceiling. A NaN gives 0. Any thread.
inline double SoftClip(double z, double ceiling) noexcept {
  constexpr double kTop = 50.0 / 51.0;
  double u = z / ceiling;
  if (u > 1.0) {
    u = kTop;
  } else if (u < -1.0) {
    u = -kTop;
  } else if (u == u) {
    u -= Pow51(u) / 51.0;
    u = u > 1.0 ? 1.0 : (u < -1.0 ? -1.0 : u);
  } else {
    u = 0.0;
  }
  return u * ceiling;
}

}  // namespace tessaro
