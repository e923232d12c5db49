#include "dsp/LimiterStage.h"

#include <cmath>

#include "dsp/DbMath.h"

namespace tessaro {

namespace {

// Keeps a 1/ratio from dividing by zero for a ratio of exactly 0.
constexpr double kRatioGuard = 2.22045e-15;
// Threshold or ratio this close to 1 means the stage does nothing.
constexpr double kUnityTolerance = 2.22045e-13;

}  // namespace

double StageCoef(double ms, double rate) noexcept { return std::exp(-2.0 / (ms * rate * 0.001)); }

double StaticCurve(double a, double t, double r, double w) noexcept {
  const double delta = a - t;
  if (2.0 * delta < -w) return a;
  if (2.0 * delta > w) return t + delta / r;
  // Only a level exactly at the threshold reaches here with a hard knee.
  if (!(w > 0.0)) return a;
  const double k = delta + w * 0.5;
  return a + (1.0 / (r + kRatioGuard) - 1.0) * k * k / (2.0 * w);
}

LimiterStage::LimiterStage()
    : attackCoef_(StageCoef(50.0, 44100.0)), releaseCoef_(StageCoef(250.0, 44100.0)) {
  setKnee(0.0);
}

double LimiterStage::curve(double levelDb) const noexcept {
  return StaticCurve(levelDb, thresholdDb_, ratio_, kneeDb_);
}

double LimiterStage::curveGain(double x) const noexcept {
  if (std::fabs(thresholdLin_ - 1.0) <= kUnityTolerance || std::fabs(ratio_ - 1.0) <= kUnityTolerance)
    return x;
  return DbToLin(-curve(LinToDb(x)));
}

void LimiterStage::setThreshold(double linear) noexcept {
  thresholdLin_ = linear;
  thresholdDb_ = LinToDb(linear);
}

void LimiterStage::setKnee(double kneeDb) noexcept {
  kneeDb_ = kneeDb;
  kneeLin_ = DbToLin(kneeDb + 2.22045e-15);
}

void LimiterStage::setAttack(double ms, double rate) noexcept {
  attackMs_ = ms;
  attackCoef_ = StageCoef(ms, rate);
}

void LimiterStage::setRelease(double ms, double rate) noexcept {
  releaseMs_ = ms;
  releaseCoef_ = StageCoef(ms, rate);
}

void LimiterStage::reset() noexcept {
  gain_ = 1.0;
  unityGain_ = 1.0;
  env_ = -120.0;
  env1_ = 0.0;
  slowState_ = 0.0;
  slowState2_ = 0.0;
  output_ = 0.0;
  levelDb_ = 0.0;
  curveDb_ = 0.0;
  detectorInput_ = 0.0;
}

void LimiterStage::runDetector(double t) noexcept {
  const double c = t >= env_ ? attackCoef_ : releaseCoef_;
  env1_ = (1.0 - c) * t + c * env1_;
  if (detectorMode_ != 1) {
    env_ = env1_;
    return;
  }
  const double c2 = env1_ >= slowState2_ ? holdCoef_ : slowCoef_;
  const double f = (1.0 - c2) * env1_ + c2 * slowState_;
  slowState_ = f;
  slowState2_ = f;
  if (env1_ < f) {
    env_ = (env1_ + f) * 0.5;
    slowState_ = f * slowCoef_;
  }
}

double LimiterStage::process(double x, double s) noexcept {
  detectorInput_ = s;
  levelDb_ = LinToDb(s);
  curveDb_ = curve(levelDb_);
  runDetector(levelDb_ - curveDb_);
  double multiplier;
  if (ratio_ > 1.0) {
    // env starts at -120 dB and mode 1 leaves it there until a transient has
    // passed; a negative reduction is no reduction, not a boost.
    // No reduction is a gain of exactly 1 (what the exponential gives at 0),
    // without the exponential.
    gain_ = env_ > 0.0 ? DbToLin(-env_) : 1.0;
    multiplier = gain_;
  } else {
    gain_ = 1.0;
    multiplier = unityGain_;
  }
  output_ = x * multiplier;
  return output_;
}

void LinkTracker::configure(double high, double low, double attackMs, double releaseMs, double fs) noexcept {
  high_ = high;
  low_ = low;
  attackMs_ = attackMs;
  releaseMs_ = releaseMs;
  constexpr double kSame = 2.22045e-12;
  constexpr double kLnOnePercent = -4.605170185988091;  // ln(0.01)
  // A new rate invalidates both coefficients, not only a new time.
  const bool rateChanged = fs != coefRate_;
  if (rateChanged || std::fabs(attackMs - coefAttackMs_) > kSame) {
    coefAttackMs_ = attackMs;
    attackCoef_ = std::exp(kLnOnePercent / (attackMs * fs * 0.001));
  }
  if (rateChanged || std::fabs(releaseMs - coefReleaseMs_) > kSame) {
    coefReleaseMs_ = releaseMs;
    releaseCoef_ = std::exp(kLnOnePercent / (releaseMs * fs * 0.001));
  }
  coefRate_ = fs;
}

double sat(double s) noexcept {
  const double a = std::fabs(s);
  const double s2 = s * s;
  const double num =
      s * ((0.821006666969744 * a + 0.893229853513558) * s2 + 2.45570450702956 * a + 2.45570450702956);
  const double den = (s2 + 2.44494634652299) * std::fabs(0.814642734961073 * s * a + s) + 2.44494634652299;
  return num / den;
}

}  // namespace tessaro
