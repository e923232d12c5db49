#include "cli/AudioLoop.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>

namespace tessaro::cli {
namespace {

// Without a sound card libasound explains itself at length on stderr; we
// say it in one line instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_t* Pcm(void* p) { return static_cast<snd_pcm_t*>(p); }

}  // namespace

AudioLoop::AudioLoop(host::Plugin& plugin, std::vector<float> source, double rate)
    : plugin_(plugin), source_(std::move(source)), rate_(rate) {}

AudioLoop::~AudioLoop() { Stop(); }

bool AudioLoop::OpenDevice(std::string* what) {
  snd_lib_error_set_handler(&QuietAlsa);
  snd_pcm_t* pcm = nullptr;
  // Non-blocking open: a device held by someone else must not hang us.
  int error = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (error < 0) {
    *what = std::string("no sound device (ALSA \"default\": ") + snd_strerror(error) +
            "); playing silently in real time";
    return false;
  }
  snd_pcm_nonblock(pcm, 0);
  const auto rate = static_cast<unsigned>(std::lround(rate_));
  // About 100 ms of buffer: enough not to starve, little enough to hear a knob.
  error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_FLOAT, SND_PCM_ACCESS_RW_INTERLEAVED, 2, rate, 1, 100000);
  deviceFloat_ = error >= 0;
  if (error < 0)
    error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 2, rate, 1, 100000);
  if (error < 0) {
    snd_pcm_close(pcm);
    *what = std::string("the sound device refused stereo at this rate (") + snd_strerror(error) +
            "); playing silently in real time";
    return false;
  }
  pcm_ = pcm;
  *what = std::string("playing through ALSA \"default\" (") + (deviceFloat_ ? "float" : "16-bit") + ", " +
          std::to_string(rate) + " Hz)";
  return true;
}

void AudioLoop::CloseDevice() {
  if (pcm_ == nullptr) return;
  snd_pcm_drop(Pcm(pcm_));
  snd_pcm_close(Pcm(pcm_));
  pcm_ = nullptr;
}

std::string AudioLoop::Start(bool useDevice) {
  std::string what = "no sound device asked for; playing silently in real time";
  if (useDevice) OpenDevice(&what);
  running_ = true;
  thread_ = std::thread([this] { Run(); });
  return what;
}

void AudioLoop::Stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  CloseDevice();
}

double AudioLoop::SecondsPlayed() const { return static_cast<double>(framesPlayed_.load()) / rate_; }

bool AudioLoop::WriteToDevice(const float* const* channels) {
  static_assert(kBlock > 0);
  float interleavedFloat[kBlock * 2];
  std::int16_t interleaved16[kBlock * 2];
  for (int i = 0; i < kBlock; ++i) {
    for (int c = 0; c < 2; ++c) {
      const float v = channels[c][i];
      interleavedFloat[i * 2 + c] = v;
      interleaved16[i * 2 + c] =
          static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
    }
  }
  snd_pcm_uframes_t done = 0;
  while (done < static_cast<snd_pcm_uframes_t>(kBlock) && running_) {
    const void* from = deviceFloat_ ? static_cast<const void*>(interleavedFloat + done * 2)
                                    : static_cast<const void*>(interleaved16 + done * 2);
    snd_pcm_sframes_t n = snd_pcm_writei(Pcm(pcm_), from, kBlock - done);
    if (n == -EAGAIN) continue;
    if (n < 0) {
      // An underrun (we were late) or a suspend: recover and carry on.
      if (snd_pcm_recover(Pcm(pcm_), static_cast<int>(n), 1) < 0) return false;
      continue;
    }
    done += static_cast<snd_pcm_uframes_t>(n);
  }
  return true;
}

void AudioLoop::Run() {
  const int inputs = std::max(0, plugin_.NumInputs());
  const int outputs = std::max(0, plugin_.NumOutputs());
  std::vector<std::vector<float>> in(static_cast<std::size_t>(inputs), std::vector<float>(kBlock, 0.0f));
  std::vector<std::vector<float>> out(static_cast<std::size_t>(std::max(outputs, 2)),
                                      std::vector<float>(kBlock, 0.0f));
  std::vector<float*> inPointers, outPointers;
  for (auto& c : in) inPointers.push_back(c.data());
  for (auto& c : out) outPointers.push_back(c.data());
  const std::size_t sourceFrames = source_.size() / 2;

  using Clock = std::chrono::steady_clock;
  const auto blockTime =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kBlock / rate_));
  auto next = Clock::now();
  while (running_) {
    for (int i = 0; i < kBlock; ++i) {
      float left = 0.0f, right = 0.0f;
      if (sourceFrames > 0) {
        left = source_[position_ * 2];
        right = source_[position_ * 2 + 1];
        if (++position_ == sourceFrames) {
          position_ = 0;
          timesRound_.fetch_add(1);
        }
      }
      if (inputs > 0) in[0][static_cast<std::size_t>(i)] = left;
      if (inputs > 1) in[1][static_cast<std::size_t>(i)] = right;
    }
    plugin_.ProcessFloat(inPointers.data(), outPointers.data(), kBlock);
    // A plug-in with one output plays on both sides.
    if (outputs == 1) out[1] = out[0];
    if (pcm_ != nullptr) {
      if (!WriteToDevice(outPointers.data())) {
        CloseDevice();
        next = Clock::now();
      }
    }
    if (pcm_ == nullptr) {
      next += blockTime;
      const auto now = Clock::now();
      // Far behind (the machine stalled): start the pace afresh rather than race.
      if (now - next > std::chrono::milliseconds(500)) next = now;
      std::this_thread::sleep_until(next);
    }
    framesPlayed_.fetch_add(kBlock);
  }
}

}  // namespace tessaro::cli
