#include "cli/DemoProgramme.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

namespace tessaro::cli {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kBeat = 0.5;  // 120 beats per minute
constexpr int kBars = 4;

// Same noise on every run, so the demo's report is the same every time.
class Noise {
 public:
  double Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<double>(state_ >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

// A band-limited saw from its first harmonics: no aliasing to explain away.
double Saw(double phase, int harmonics) {
  double sum = 0.0;
  for (int k = 1; k <= harmonics; ++k) sum += std::sin(kTwoPi * k * phase) / k;
  return sum * (2.0 / std::numbers::pi);
}

struct Track {
  std::vector<double> left, right;
  explicit Track(std::size_t frames) : left(frames, 0.0), right(frames, 0.0) {}
};

void AddKick(Track& mix, double fs, double start) {
  const auto first = static_cast<std::size_t>(start * fs);
  double phase = 0.0;
  for (std::size_t i = first, n = 0; i < mix.left.size() && n < static_cast<std::size_t>(0.45 * fs);
       ++i, ++n) {
    const double t = static_cast<double>(n) / fs;
    phase += (48.0 + 110.0 * std::exp(-t / 0.035)) / fs;  // the pitch drop is the thump
    const double v = 0.95 * std::sin(kTwoPi * phase) * std::exp(-t / 0.22);
    mix.left[i] += v;
    mix.right[i] += v;
  }
}

void AddSnare(Track& mix, double fs, double start, Noise& noise) {
  const auto first = static_cast<std::size_t>(start * fs);
  double previous = 0.0;
  for (std::size_t i = first, n = 0; i < mix.left.size() && n < static_cast<std::size_t>(0.3 * fs);
       ++i, ++n) {
    const double t = static_cast<double>(n) / fs;
    const double white = noise.Next();
    const double bright = white - 0.6 * previous;  // tilt the noise up, like snare wires
    previous = white;
    const double body = std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05);
    const double v = 0.45 * bright * std::exp(-t / 0.07) + 0.4 * body;
    mix.left[i] += v * 0.95;
    mix.right[i] += v;
  }
}

void AddHat(Track& mix, double fs, double start, double level, Noise& noise) {
  const auto first = static_cast<std::size_t>(start * fs);
  double previous = 0.0;
  for (std::size_t i = first, n = 0; i < mix.left.size() && n < static_cast<std::size_t>(0.08 * fs);
       ++i, ++n) {
    const double t = static_cast<double>(n) / fs;
    const double white = noise.Next();
    const double v = level * (white - previous) * 0.5 * std::exp(-t / 0.018);
    previous = white;
    mix.left[i] += v * 0.8;
    mix.right[i] += v;
  }
}

void AddNote(Track& mix, double fs, double start, double length, double frequency, int harmonics,
             double level, double pan, double release) {
  const auto first = static_cast<std::size_t>(start * fs);
  const auto count = static_cast<std::size_t>((length + release) * fs);
  const double gainLeft = level * std::cos(pan * std::numbers::pi / 2.0);
  const double gainRight = level * std::sin(pan * std::numbers::pi / 2.0);
  for (std::size_t i = first, n = 0; i < mix.left.size() && n < count; ++i, ++n) {
    const double t = static_cast<double>(n) / fs;
    double envelope = std::min(1.0, t / 0.008);
    if (t > length) envelope *= std::exp(-(t - length) / (release / 4.0));
    const double v = Saw(frequency * t, harmonics) * envelope;
    mix.left[i] += v * gainLeft;
    mix.right[i] += v * gainRight;
  }
}

}  // namespace

std::vector<double> SynthesiseDemoProgramme(double fs) {
  const auto frames = static_cast<std::size_t>(kDemoSeconds * fs);
  Track mix(frames);
  Noise noise;

  // Am, F, C, G: one bar each.
  constexpr double kRoots[kBars] = {55.0, 43.654, 65.406, 48.999};
  constexpr double kChords[kBars][3] = {{220.0, 261.626, 329.628},
                                        {174.614, 220.0, 261.626},
                                        {261.626, 329.628, 391.995},
                                        {195.998, 246.942, 293.665}};

  for (int bar = 0; bar < kBars; ++bar) {
    const double barStart = bar * 4 * kBeat;
    for (int beat = 0; beat < 4; ++beat) {
      const double at = barStart + beat * kBeat;
      if (beat % 2 == 0) AddKick(mix, fs, at);
      if (beat % 2 == 1) AddSnare(mix, fs, at, noise);
      AddHat(mix, fs, at, 0.35, noise);
      AddHat(mix, fs, at + kBeat / 2, 0.2, noise);
    }
    if (bar % 2 == 1) AddKick(mix, fs, barStart + 2.5 * kBeat);
    for (int eighth = 0; eighth < 8; ++eighth) {
      const double frequency = kRoots[bar] * (eighth == 7 ? 2.0 : 1.0);
      AddNote(mix, fs, barStart + eighth * kBeat / 2, kBeat / 2 * 0.8, frequency, 10, 0.45, 0.5, 0.04);
    }
    for (int voice = 0; voice < 3; ++voice) {
      const double f = kChords[bar][voice];
      // Two slightly detuned copies, one to each side, for width.
      AddNote(mix, fs, barStart, 4 * kBeat - 0.05, f * 1.003, 14, 0.12, 0.2, 0.3);
      AddNote(mix, fs, barStart, 4 * kBeat - 0.05, f / 1.003, 14, 0.12, 0.8, 0.3);
    }
  }

  // Normalise, clip the top off like an over-eager mix bus, and bring the
  // sample peak to -0.3 dBFS.
  double peak = 0.0;
  for (std::size_t i = 0; i < frames; ++i)
    peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
  constexpr double kClip = 0.7;
  const double toUnit = peak > 0.0 ? 1.0 / peak : 1.0;
  const double outGain = std::pow(10.0, -0.3 / 20.0) / kClip;
  std::vector<double> interleaved(frames * 2);
  for (std::size_t i = 0; i < frames; ++i) {
    interleaved[2 * i] = std::clamp(mix.left[i] * toUnit, -kClip, kClip) * outGain;
    interleaved[2 * i + 1] = std::clamp(mix.right[i] * toUnit, -kClip, kClip) * outGain;
  }
  return interleaved;
}

}  // namespace tessaro::cli
