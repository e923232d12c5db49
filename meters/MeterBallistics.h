// The meter followers the engine feeds, their ballistics per meter type, and
// the scale vocabulary the meters share (types, views, offsets, tick lists).
#pragma once

#include <array>

#include "meters/VU_Envelope.h"
#include "meters/ZeroObject.h"

namespace tessaro {

// "Meter Type" values.
enum MeterType : int { kMeterDbfs = 0, kMeterK20 = 1, kMeterK14 = 2, kMeterK12 = 3, kMeterEbu = 4 };
inline constexpr int kMeterTypeCount = 5;
// "Meter View" values: what the view meters show.
enum MeterView : int { kViewReduce = 0, kViewInput = 1, kViewDistort = 2 };
inline constexpr int kMeterViewCount = 3;

// The K scales read their offset as the top of the scale.
constexpr bool IsKScale(int meterType) noexcept { return meterType >= kMeterK20 && meterType <= kMeterK12; }
// Scale offset in dB: 0, 20, 14, 12, 0 (0 for anything out of range).
constexpr double MeterScaleOffset(int meterType) noexcept {
  switch (meterType) {
    case kMeterK20:
      return 20.0;
    case kMeterK14:
      return 14.0;
    case kMeterK12:
      return 12.0;
    default:
      return 0.0;
  }
}

// "dB Scale": the bottom of every meter, range bar, scale line and history.
inline constexpr double kDbScaleMin = -100.0;
inline constexpr double kDbScaleMax = -0.5;
inline constexpr double kDbScaleDefault = -24.0;
inline constexpr double kDbScaleStep = 1.0;
// "History": the time span of the history display in seconds.
inline constexpr double kHistoryMin = 0.5;
inline constexpr double kHistoryMax = 120.0;
inline constexpr double kHistoryDefault = 30.0;
inline constexpr double kHistoryStep = 0.5;

// Scale ticks in dB, top to bottom: the fine list of the level scales and the
// coarse list that replaces it on the history display in EBU.
inline constexpr std::array<double, 48> kFineTicks = {
    20,   18,   16,   14,   12,  10,   8,   6,    4,   2,    0,   -0.1, -0.2, -0.3, -0.4, -0.5,
    -0.6, -0.7, -0.8, -0.9, -1,  -1.5, -2,  -2.5, -3,  -3.5, -4,  -5,   -6,   -7,   -8,   -9,
    -10,  -12,  -14,  -16,  -18, -20,  -24, -28,  -32, -36,  -44, -52,  -60,  -70,  -80,  -90};
inline constexpr std::array<double, 41> kCoarseTicks = {
    0,   -1,  -2,  -3,  -4,  -5,  -6,  -7,  -8,  -9,  -10, -11, -12, -13, -14, -15, -16, -17, -18, -19, -20,
    -21, -22, -23, -24, -25, -26, -27, -28, -30, -32, -34, -36, -38, -40, -44, -52, -60, -70, -80, -90};

// Every follower behind the meters, named by what the processing loop feeds
// them. Pairs are (left, right) or (channel 0, channel 1).
//
// - reduceA/B: gain reduction, fast (view meters in REDUCE, "Reduce" curve);
//   reduceC/D: gain reduction, slow (view peak markers).
// - inA0/1: trimmed input, fast (view meters in INPUT); inB0/1: slow (markers).
// - distA0/1: distortion, fast; distB0/1: slow. Fed inside the oversampled loop.
// - outPeakL/R: output, fast (output meters; group 13); outSlowL/R: output
//   peak markers; outHoldL/R: output peak readouts; outKL/R: top of the
//   output range bars; outRmsL/R: output RMS (bottom of the range bars).
// - inPeakL/R: top of the input range bars; inRmsL/R: input RMS.
// - ispOver: 1 while the output is over full scale (the over indicator).
struct MeterEnvelopes {
  VU_Envelope reduceA, reduceB, reduceC, reduceD;
  VU_Envelope inA0, inA1, inB0, inB1;
  VU_Envelope distA0, distA1, distB0, distB1;
  VU_Envelope outPeakL, outPeakR, outSlowL, outSlowR, outHoldL, outHoldR, outKL, outKR;
  VU_Envelope outRmsL, outRmsR;
  VU_Envelope inPeakL, inPeakR, inRmsL, inRmsR;
  VU_Envelope ispOver;

  static constexpr int kCount = 27;

  // Every follower, in declaration order.
  std::array<VU_Envelope*, kCount> All() noexcept;
  // The four view followers the meter view selects: fast left, fast right,
  // slow left, slow right. Out-of-range views fall back to REDUCE.
  std::array<VU_Envelope*, 4> View(int meterView) noexcept;

  // Joins every follower to the registry and puts the fast output peaks in
  // group 13 (the rest stay in 12). Construction; never allocates.
  void Register(ZeroRegistry* registry) noexcept;
  // Clears every follower. Never allocates.
  void ClearAll() noexcept;
};

// Reconfigures every meter follower for the meter type: the times of the
// ballistics table at fs, the distortion pairs at 2 * factor * fs (factor is
// the oversampling factor, 1 while none applies). Clears every follower
// afterwards when asked. Under the plug-in lock; never allocates.
void UpdateMeterBallistics(MeterEnvelopes& meters, int meterType, double fs, int oversamplingFactor,
                           bool clear, const void* owner = nullptr);

// The three followers of "Auto Gain Compare": input level, output level and
// their ratio. They live in group 14 so that the end of a trim-learning run
// clears every meter but them.
struct AutoGainEnvelopes {
  VU_Envelope agIn, agOut, agRatio;

  // Joins the registry and moves the three into group 14. Construction.
  void Register(ZeroRegistry* registry) noexcept;
  // agIn, agOut: 300 ms up, 600 ms down; agRatio 1000 ms both ways; all
  // with kCurveMeter at fs. Under the plug-in lock; never allocates.
  void Configure(double fs, const void* owner = nullptr);
};

}  // namespace tessaro
