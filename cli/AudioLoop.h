// Real-time playback through a plug-in for `tessaro edit`: a thread of its
// own feeds the plug-in in blocks, as a DAW's audio thread does, and plays
// the result through ALSA, or in silence at the same pace when there is no
// sound device.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "host/VstHost.h"

namespace tessaro::cli {

class AudioLoop {
 public:
  static constexpr std::int32_t kBlock = 512;

  // source: interleaved stereo, played round and round; empty plays silence.
  AudioLoop(host::Plugin& plugin, std::vector<float> source, double rate);
  ~AudioLoop();
  AudioLoop(const AudioLoop&) = delete;
  AudioLoop& operator=(const AudioLoop&) = delete;

  // Opens the ALSA "default" device when useDevice (falling back to silent
  // playback when it does not open) and starts the thread. Returns a line
  // saying where the sound goes.
  std::string Start(bool useDevice);
  // Ends the thread; no process call happens after it returns.
  void Stop();

  double SecondsPlayed() const;
  // How often the source has started over.
  std::int64_t TimesRound() const { return timesRound_.load(); }

 private:
  void Run();
  bool OpenDevice(std::string* what);
  void CloseDevice();
  bool WriteToDevice(const float* const* channels);

  host::Plugin& plugin_;
  std::vector<float> source_;
  double rate_;
  std::size_t position_ = 0;  // frame within source_
  void* pcm_ = nullptr;       // snd_pcm_t*, kept out of the header
  bool deviceFloat_ = true;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<std::int64_t> framesPlayed_{0};
  std::atomic<std::int64_t> timesRound_{0};
};

}  // namespace tessaro::cli
