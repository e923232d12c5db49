#include "plugin/LimiterCore.h"

#include <algorithm>
#include <cmath>

#include "dsp/DbMath.h"

namespace tessaro {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kEps = 2.22045e-15;
// "Amount" range in dB, for the post-gain's level term.
constexpr double kAmountMinDb = 0.0;
constexpr double kAmountMaxDb = 36.0;

// Clamp to 0..1 that turns NaN into 0.
inline double Clamp01(double x) noexcept { return x > 0.0 ? (x < 1.0 ? x : 1.0) : 0.0; }

inline double Sign(double x) noexcept { return x < 0.0 ? -1.0 : 1.0; }

// Only finite samples enter the core, so no filter or delay keeps a NaN for good.
inline double Finite(double x) noexcept { return std::fabs(x) <= 1.0e300 ? x : 0.0; }

inline void StepPeak(VU_Envelope* e, double x) noexcept {
  if (e != nullptr) e->StepPeak(x);
}

}  // namespace

LimiterCore::LimiterCore(double fs) : fs_(fs) {
  for (int c = 0; c < 2; ++c) {
    LimiterStage& s1 = stage1_[Ch(c)];
    s1.setRatio(2.0);
    s1.setKnee(2.0);
    s1.setThreshold(ceil_);
    stage2_[Ch(c)].setRatio(9000.0);
    stage4_[Ch(c)].setRatio(100000.0);
    stage4_[Ch(c)].setKnee(0.1);
    linkTracker_[Ch(c)].setValue(ceil_);
  }
  ApplyLimiterType(false, true);
  Configure(fs, 1, false);
}

void LimiterCore::SetTypeIndex(int index) noexcept { type_ = std::clamp(index, 0, kLimiterTypeCount - 1); }

CharacterDefaults LimiterCore::ApplyLimiterType(bool loadCharacterDefaults, bool loadingFlag) {
  const LimiterType& p = Type();
  CharacterDefaults result;
  attackMs_ = p.a1;
  releaseMs_ = p.b0;
  u_ = p.a0 / 100.0;
  for (int c = 0; c < 2; ++c) {
    LimiterStage& s2 = stage2_[Ch(c)];
    LimiterStage& s3 = stage3_[Ch(c)];
    s2.setOutputGain(1.0);
    s3.setOutputGain(1.0);
    s3.setRatio(30.0 + 1470.0 * std::exp(-kTwoPi * (1.0 - u_)));
    s3.setKnee(10.0 - 10.0 * u_);
    s3.setThreshold(ceil_);
    s2.setThreshold(ceil_);
    s2.setKnee(6.0 - 6.0 * u_);
    s3.setDetectorMode(u_ < 0.5 ? 1 : 0);
  }
  link_ = p.b1 / 100.0;
  if (loadCharacterDefaults && !loadingFlag) {
    result.load = true;
    result.limitCharacter = std::clamp(p.c1, 0.0, 100.0);
    result.transientCharacter = std::clamp(p.D, 0.0, 100.0);
    lcp_ = 1.0 - p.c1 / 100.0;
    tc_ = p.D / 100.0;
  }
  la_ = p.c0;
  followTC_ = p.followTC != 0;
  followLC_ = p.followLC != 0;
  clipFirst_ = p.clipFirst != 0;
  stage1Mode_ = p.I;
  lowAmount_ = p.e0 / 100.0;
  highAmount_ = p.e1 / 100.0;
  lowFreq_ = p.f0;
  highFreq_ = p.f1;
  lowCutChoice_ = p.G;
  UpdateLowCut();
  for (LimiterStage& s4 : stage4_) s4.setThreshold(0.9998 * ceil_);
  UpdateTimeConstants();
  UpdateColourFilters();
  UpdateCompensationGains();
  return result;
}

void LimiterCore::Configure(double fs, int factor, bool bypass) {
  fs_ = fs;
  factor_ = factor < 1 ? 1 : factor;
  bypass_ = bypass;
  const double r = fs_ * factor_;
  for (int c = 0; c < 2; ++c) {
    IIRUpsampler& up = linkUp_[Ch(c)];
    up.Design(kIIRLinkDetectUp, LinkDetectionFactor(r));
    up.Reset();
    LimiterStage& s4 = stage4_[Ch(c)];
    s4.setAttack(1e-9, fs_);
    s4.setRelease(75.0, fs_);
    s4.setRatio(100000.0);
    s4.setKnee(0.1);
    f1250_[Ch(c)].Design(1, Kest_Filter::kOnePoleHighPass, 1250.0, r, 0.7, 0.0);
    f500_[Ch(c)].Design(1, Kest_Filter::kOnePoleLowPass, 500.0, r, 0.7, 0.0);
  }
  UpdateLowCut();
  UpdateTimeConstants();
  UpdateColourFilters();
}

void LimiterCore::UpdateTimeConstants() {
  const double r = fs_ * factor_;
  const double b0 = releaseMs_;
  for (LimiterStage& s2 : stage2_) {
    s2.setAttack(la_ / 2.0, r);
    s2.setRelease(5.0 * la_, r);
  }
  limitEnv_.Configure(this, la_ / 2.0, la_, r, kCurveMeter);
  transientEnv_.Configure(this, 1.0, 1.0, r, kCurveMeter);
  l_ = static_cast<int>(fs_ * 0.001 * la_ + 0.5);
  latencyChanged_ = true;
  const std::size_t length = static_cast<std::size_t>(l_) * static_cast<std::size_t>(factor_) + 1;
  for (DelayLine& line : lookAhead_) line.Resize(length);
  ring_.assign(static_cast<std::size_t>(r * 0.001 + 1.0), 0.0);
  ringSum_ = 0.0;
  ringPos_ = 0;
  for (LimiterStage& s3 : stage3_) {
    s3.setHoldCoef(StageCoef(2.0 * b0, r));
    s3.setSlowCoef(StageCoef(2.0 * b0 + (0.5 - u_) * 2.0 * (10000.0 - 2.0 * b0), r));
    s3.setAttack(attackMs_, r);
    s3.setRelease(b0, r);
  }
  for (LimiterStage& s1 : stage1_) {
    s1.setAttack(attackMs_, r);
    s1.setRelease(b0, r);
  }
}

void LimiterCore::UpdateColourFilters() {
  const double highQ = (highFreq_ - 1000.0) * 0.4 / 13000.0 + 0.4;
  const double highGain = (highAmount_ * 100.0 + 100.0) * 16.0 / 200.0 - 8.0;
  const double lowGain = (lowAmount_ * 100.0 + 100.0) * 16.0 / 200.0 - 8.0;
  for (int c = 0; c < 2; ++c) {
    highColour_[Ch(c)].Design(2, Kest_Filter::kHighShelf, highFreq_, fs_, highQ, highGain);
    lowColour_[Ch(c)].Design(2, Kest_Filter::kPeaking, lowFreq_, fs_, 0.5, lowGain);
  }
}

void LimiterCore::UpdateLowCut() noexcept {
  if (lowCutChoice_ == 1.0) {
    lowCutCoef_ = 25.0 / fs_;
  } else if (lowCutChoice_ == 2.0) {
    lowCutCoef_ = 56.25 / fs_;
  } else if (lowCutChoice_ == 3.0) {
    lowCutCoef_ = 112.5 / fs_;
  } else {
    lowCutCoef_ = 0.0;
  }
}

void LimiterCore::UpdateCompensationGains() noexcept {
  const double lc = 1.0 - lcp_;
  const double m = std::max(stage3_[1].curveGain(a_), stage3_[0].curveGain(a_));
  p_ = std::pow(a_, 1.0 / 6.0) * (1.0 - lc) + lc;
  const double g = (std::pow(a_, 1.0 / 7.0) * (1.0 - lc) + std::pow(a_, 0.25) * lc) *
                   (0.25 * std::sqrt(m) + 0.75 / (a_ + kEps));
  q_ = std::min(
      1.0, (1.0 - (LinToDb(a_) - kAmountMinDb) * 0.30000000000000004 / (kAmountMaxDb - kAmountMinDb)) * g);
}

void LimiterCore::SetAmount(double db) noexcept {
  a_ = DbToLin(db);
  UpdateCompensationGains();
  const double root = std::sqrt(a_);
  // The ceiling in force now; a later ceiling change leaves stage 1 alone.
  const double t1Db = -8.0 * ceil_ + (root - 1.0) * (-30.0 * ceil_ + 8.0 * ceil_) / 3.0;
  for (LimiterStage& s1 : stage1_) {
    s1.setThreshold(DbToLin(t1Db));
    s1.setRatio(root);
    s1.setKnee(3.0 + 7.0 * (root - 1.0) / 3.0);
  }
  g1_ = stage1_[0].curveGain(1.0);
}

void LimiterCore::SetCeiling(double db) {
  ceil_ = DbToLin(db);
  ApplyLimiterType(false, false);
}

void LimiterCore::SetLimitCharacter(double percent) noexcept {
  lcp_ = 1.0 - percent / 100.0;
  UpdateCompensationGains();
}

void LimiterCore::BindDistortionEnvelopes(VU_Envelope* a0, VU_Envelope* a1, VU_Envelope* b0,
                                          VU_Envelope* b1) noexcept {
  distA_ = {a0, a1};
  distB_ = {b0, b1};
}

void LimiterCore::Reset() noexcept {
  for (int c = 0; c < 2; ++c) {
    stage1_[Ch(c)].reset();
    stage2_[Ch(c)].reset();
    stage3_[Ch(c)].reset();
    lookAhead_[Ch(c)].Clear();
    f500_[Ch(c)].Reset();
    f1250_[Ch(c)].Reset();
    lowColour_[Ch(c)].Reset();
    highColour_[Ch(c)].Reset();
    linkUp_[Ch(c)].Reset();
  }
  std::fill(ring_.begin(), ring_.end(), 0.0);
  ringSum_ = 0.0;
  ringPos_ = 0;
  limitEnv_.Clear();
  transientEnv_.Clear();
}

void LimiterCore::ConfigureLinkTrackers() noexcept {
  const double high = std::max(0.95 * a_, ceil_);
  for (LinkTracker& t : linkTracker_) t.configure(high, ceil_, attackMs_, releaseMs_, fs_);
}

void LimiterCore::UpdateLinkedThresholds(double level0, double level1, double& t0,
                                         double& t1) const noexcept {
  const double k = 1.0 - 0.5 * link_;
  const double l0 = linkTracker_[0].value();
  const double l1 = linkTracker_[1].value();
  if (0.8 * ceil_ > level0) t0 = (1.0 - k) * l1 + k * l0;
  if (0.8 * ceil_ > level1) t1 = (1.0 - k) * l0 + k * l1;
}

void LimiterCore::BeginFrame(CoreFrame& frame, double t0, double t1, double trim) const noexcept {
  frame.threshold[0] = t0;
  frame.threshold[1] = t1;
  frame.prevReduction3[0] = stage3_[0].reduction();
  frame.prevReduction3[1] = stage3_[1].reduction();
  frame.trim = trim;
  for (int c = 0; c < 2; ++c) {
    frame.maxExcess[c] = 0.0;
    frame.grMax[c] = 0.0;
    frame.dist[c] = 0.0;
  }
}

void LimiterCore::Step(double x0, double x1, CoreFrame& frame, double& y0, double& y1) noexcept {
  const double x[2] = {Finite(x0), Finite(x1)};
  const double kOwn = 1.0 - 0.5 * link_;
  const double kOther = 0.5 * link_;

  // Inter-sample peaks for the stereo link.
  const double p0 = linkUp_[0].UpsamplePeak(x[0]);
  const double p1 = linkUp_[1].UpsamplePeak(x[1]);
  const double sc[2] = {kOwn * p0 + kOther * p1, kOwn * p1 + kOther * p0};

  double d[2] = {lookAhead_[0].Push(x[0]), lookAhead_[1].Push(x[1])};

  if (stage1Mode_ == 2) {
    for (int c = 0; c < 2; ++c) {
      LimiterStage& s1 = stage1_[Ch(c)];
      d[c] = s1.process(d[c], sc[c]) * s1.outputGain() * g1_;
    }
  } else if (stage1Mode_ == 1) {
    const double w = Clamp01(std::max(frame.prevReduction3[0], frame.prevReduction3[1]));
    for (int c = 0; c < 2; ++c) {
      LimiterStage& s1 = stage1_[Ch(c)];
      d[c] = w * (s1.process(d[c], sc[c]) * s1.outputGain()) + (1.0 - w) * d[c];
    }
  }

  // Character detectors on the level before "Amount".
  const double a[2] = {std::fabs(x[0]) / a_, std::fabs(x[1]) / a_};
  const double amax = std::min(std::max(a[0], a[1]), 1.0e6);
  limitEnv_.StepPeak(amax < lcp_ * lcp_ ? 1.0 : 0.0);
  ringSum_ += amax - ring_[ringPos_];
  ring_[ringPos_] = amax;
  if (++ringPos_ == ring_.size()) {
    // Re-add once per window so the running sum never drifts.
    ringPos_ = 0;
    ringSum_ = 0.0;
    for (double v : ring_) ringSum_ += v;
  }
  const double avg = ringSum_ / static_cast<double>(ring_.size());
  const double tc2 = tc_ * tc_;
  if (avg >= tc2) {
    transientEnv_.StepPeak(1.0);
  } else if (amax >= tc2) {
    transientEnv_.StepPeak(0.0);
    transientEnv_.StepPeak(0.0);
    transientEnv_.StepPeak(0.0);
  } else {
    transientEnv_.StepPeak(std::fabs(1.0 - tc_));
  }
  // PublishPeak applies the floor, clamps to 0..1 and keeps that as the published value.
  const double lcEnv = limitEnv_.PublishPeak();
  const double tcEnv = transientEnv_.PublishPeak();
  const double mixA = ((1.0 - lcEnv) + tcEnv) * 0.5 * 0.75;
  const double tcv = followTC_ ? tcEnv : tc_;
  const double lcv = followLC_ ? lcEnv : lcp_;
  const double w2 = 0.15 + 0.7 * tcv;
  const double rootA = std::sqrt(a_);

  double clip[2];
  double y[2];
  for (int c = 0; c < 2; ++c) {
    const std::size_t i = Ch(c);
    const double q = (1.0 - w2) * 0.5 * f500_[i].Process(sc[c]) + w2 * f1250_[i].Process(sc[c]);

    // Linked clip.
    const double t = frame.threshold[c];
    double excess = 0.0;
    if (t > std::fabs(d[c])) {
      clip[c] = d[c];
    } else {
      excess = std::fabs(d[c]) - t;
      clip[c] = Sign(d[c]) * t;
    }
    frame.maxExcess[c] = std::max(frame.maxExcess[c], excess);

    // Stage 2 on a blend of the signal and its saturated form, more saturated the louder the input.
    const double s = clipFirst_ ? clip[c] : d[c];
    const double v = Clamp01(a[c] / frame.trim);
    LimiterStage& s2 = stage2_[i];
    const double g2 = s2.process((1.0 - v) * s + v * sat(s), q) * s2.outputGain() * rootA;

    const double m = tcv * clip[c] + (1.0 - tcv) * g2;
    y[c] = lcv * d[c] + (1.0 - lcv) * m;
  }

  const double det3[2] = {kOwn * y[0] + kOther * y[1], kOwn * y[1] + kOther * y[0]};
  const bool ceilingBelowUnity = ceil_ <= 0.9999;
  double out[2];
  for (int c = 0; c < 2; ++c) {
    const std::size_t i = Ch(c);
    LimiterStage& s3 = stage3_[i];
    double z = s3.process(y[c], det3[c]) * s3.outputGain();

    const double ay = std::fabs(y[c]);
    const double t = frame.threshold[c];
    if (ay > t) frame.dist[c] = (ay - t) * (1.0 - tcv) * (1.0 - lcv);
    const double dist = frame.dist[c];
    const double qv = tcv * mixA;
    StepPeak(distA_[i], dist);
    StepPeak(distB_[i], dist);
    StepPeak(distA_[i], qv * ay * (1.0 - lcv));
    StepPeak(distB_[i], qv * ay * (1.0 - lcv));

    z *= q_;

    double r3 = s3.reduction();
    if (stage1Mode_ != 0) r3 = (r3 + stage1_[i].reduction()) / 2.0;

    double over = 0.0;
    const double az = std::fabs(z);
    if (ceilingBelowUnity) {
      if (az >= ceil_) over = az - ceil_;
      z = std::clamp(z, -ceil_, ceil_);
      if (!(over > 2.22045e-12)) over = 0.0;
    } else if (az >= 1.0) {
      over = az - 1.0;
    }
    StepPeak(distA_[i], over);
    StepPeak(distB_[i], over);

    frame.grMax[c] = std::max({frame.grMax[c], r3, stage2_[i].reduction(), dist});
    out[c] = SoftClip(z, ceil_);
  }
  y0 = out[0];
  y1 = out[1];
}

}  // namespace tessaro
