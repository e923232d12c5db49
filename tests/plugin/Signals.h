// Test material for driving the plug-in end to end: stereo buffers and a few
// generators chosen for what they provoke in a limiter (inter-sample peaks,
// broadband bursts, steady programme-like sound), plus level measurements.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace tessaro::testing {

struct Stereo {
  std::vector<double> l, r;

  Stereo() = default;
  explicit Stereo(std::size_t frames) : l(frames, 0.0), r(frames, 0.0) {}
  std::size_t size() const { return l.size(); }
  void Append(const Stereo& other) {
    l.insert(l.end(), other.l.begin(), other.l.end());
    r.insert(r.end(), other.r.begin(), other.r.end());
  }
  // Scales both channels so that the larger absolute sample equals peak.
  void NormaliseTo(double peak) {
    double m = 0.0;
    for (std::size_t i = 0; i < size(); ++i) m = std::max({m, std::abs(l[i]), std::abs(r[i])});
    if (m <= 0.0) return;
    for (std::size_t i = 0; i < size(); ++i) {
      l[i] *= peak / m;
      r[i] *= peak / m;
    }
  }
};

inline std::size_t Frames(double fs, double seconds) { return static_cast<std::size_t>(fs * seconds + 0.5); }

inline Stereo Silence(std::size_t frames) { return Stereo(frames); }

// Frames [from, to) of s.
inline Stereo Slice(const Stereo& s, std::size_t from, std::size_t to) {
  Stereo part;
  part.l.assign(s.l.begin() + static_cast<std::ptrdiff_t>(from),
                s.l.begin() + static_cast<std::ptrdiff_t>(to));
  part.r.assign(s.r.begin() + static_cast<std::ptrdiff_t>(from),
                s.r.begin() + static_cast<std::ptrdiff_t>(to));
  return part;
}

// One sine per channel. A non-zero phase keeps block starts away from values
// that are exact in single precision (those switch on the float dither).
inline Stereo Sine(std::size_t frames, double fs, double freqL, double freqR, double amplitude,
                   double phase = 0.3) {
  Stereo s(frames);
  for (std::size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / fs;
    s.l[n] = amplitude * std::sin(2.0 * std::numbers::pi * freqL * t + phase);
    s.r[n] = amplitude * std::sin(2.0 * std::numbers::pi * freqR * t + phase + 1.1);
  }
  return s;
}

// A sine at a quarter of the sample rate, 45 degrees off the sample grid: every
// sample has magnitude samplePeak while the waveform between samples peaks
// 3.01 dB higher. The classic inter-sample-peak trap, and a signal whose
// running magnitude never changes.
inline Stereo QuarterRateSine(std::size_t frames, double samplePeak) {
  Stereo s(frames);
  for (std::size_t n = 0; n < frames; ++n) {
    const double v = samplePeak * std::numbers::sqrt2 *
                     std::sin(std::numbers::pi * 0.5 * static_cast<double>(n) + std::numbers::pi * 0.25);
    s.l[n] = v;
    s.r[n] = v;
  }
  return s;
}

// Steady white Gaussian noise, independent per channel.
inline Stereo WhiteNoise(std::size_t frames, double rms, std::uint32_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> gauss(0.0, rms);
  Stereo s(frames);
  for (std::size_t n = 0; n < frames; ++n) {
    s.l[n] = gauss(rng);
    s.r[n] = gauss(rng);
  }
  return s;
}

// White noise switched hard on for 60 ms and off for 90 ms: broadband content
// right up to Nyquist and steep onsets, normalised to the given sample peak.
inline Stereo NoiseBursts(std::size_t frames, double fs, double samplePeak, std::uint32_t seed) {
  Stereo s = WhiteNoise(frames, 0.3, seed);
  const auto on = Frames(fs, 0.060);
  const auto period = Frames(fs, 0.150);
  for (std::size_t n = 0; n < frames; ++n) {
    if (n % period >= on) {
      s.l[n] = 0.0;
      s.r[n] = 0.0;
    }
  }
  s.NormaliseTo(samplePeak);
  return s;
}

// A short programme-like mix at 120 bpm: a kick (decaying 55 Hz sine with a
// pitch drop), a band-limited sawtooth bass, a three-note chord, and
// high-passed noise hats, panned differently per channel, normalised to the
// given sample peak.
inline Stereo Mix(std::size_t frames, double fs, double samplePeak, std::uint32_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  Stereo s(frames);
  const double beat = 0.5;
  const double twoPi = 2.0 * std::numbers::pi;
  double prevNoise = 0.0;
  for (std::size_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / fs;
    const double inBeat = std::fmod(t, beat);
    const double kick = std::exp(-inBeat * 18.0) *
                        std::sin(twoPi * (55.0 * inBeat + 40.0 * (1.0 - std::exp(-inBeat * 30.0)) / 30.0));
    // sin(k x) by the Chebyshev recurrence: one multiply-add per harmonic.
    const double x = twoPi * 110.0 * t;
    const double twoCos = 2.0 * std::cos(x);
    double saw = 0.0, previous = 0.0, current = std::sin(x);
    for (int k = 1; 110.0 * k < 0.45 * fs; ++k) {
      saw += current / k;
      const double next = twoCos * current - previous;
      previous = current;
      current = next;
    }
    const double chord = std::sin(twoPi * 440.0 * t + 0.2) + std::sin(twoPi * 554.37 * t + 0.9) +
                         std::sin(twoPi * 659.25 * t + 1.7);
    const double white = uni(rng);
    const double hat = (white - prevNoise) * std::exp(-std::fmod(t, beat / 4.0) * 60.0);
    prevNoise = white;
    s.l[n] = 0.9 * kick + 0.25 * saw + 0.12 * chord + 0.35 * hat;
    s.r[n] = 0.9 * kick + 0.18 * saw + 0.16 * chord - 0.30 * hat;
  }
  s.NormaliseTo(samplePeak);
  return s;
}

inline double Rms(const std::vector<double>& x, std::size_t from, std::size_t to) {
  double sum = 0.0;
  for (std::size_t i = from; i < to; ++i) sum += x[i] * x[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

// RMS over both channels together.
inline double Rms(const Stereo& s, std::size_t from, std::size_t to) {
  const double a = Rms(s.l, from, to);
  const double b = Rms(s.r, from, to);
  return std::sqrt(0.5 * (a * a + b * b));
}

inline double SamplePeak(const Stereo& s, std::size_t from, std::size_t to) {
  double m = 0.0;
  for (std::size_t i = from; i < to; ++i) m = std::max({m, std::abs(s.l[i]), std::abs(s.r[i])});
  return m;
}

inline double ToDb(double linear) { return 20.0 * std::log10(linear); }
inline double FromDb(double db) { return std::pow(10.0, db / 20.0); }

}  // namespace tessaro::testing
