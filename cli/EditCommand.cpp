// tessaro edit: a plug-in's editor in a window of its own, with sound
// running through the plug-in, the way a DAW shows a plug-in: the editor
// opened into our top-level window and idled from the GUI thread, audio
// processed on a thread of its own.
#include <fmt/core.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cli/AudioLoop.h"
#include "cli/Command.h"
#include "cli/HostFiles.h"
#include "cli/HostWindow.h"
#include "cli/PluginSettings.h"
#include "cli/RenderCommand.h"
#include "host/VirtualDisplay.h"
#include "host/VstHost.h"

namespace tessaro::cli {
namespace {

constexpr std::string_view kEditUsage =
    "usage: tessaro edit [options] [IN]\n"
    "\n"
    "Opens the plug-in's editor in a window of its own and plays IN (any file\n"
    "libsndfile reads) through the plug-in in a loop, in real time, the way a\n"
    "DAW runs a plug-in: the editor on this program's main thread, idled 30\n"
    "times a second, the sound on an audio thread in blocks of 512 frames.\n"
    "The plug-in runs at IN's sample rate (44100 Hz without IN). The sound goes\n"
    "to the ALSA device \"default\"; without one, or with --no-audio, it is\n"
    "processed at the same pace and not heard. Without IN the plug-in processes\n"
    "silence, so its meters still run.\n"
    "\n"
    "It ends when the window is closed, on Ctrl-C (SIGINT) or SIGTERM, or after\n"
    "--seconds. It prints the X display and the window id when the window is up.\n"
    "\n"
    "Settings are applied in this order before the editor opens: --program,\n"
    "--state, then every --set in the order given.\n"
    "\n"
    "options:\n"
    "  --plugin PATH         the VST 2.4 effect (default: Tessaro_v2.so next to the\n"
    "                        tessaro executable)\n"
    "  --program N|NAME      choose a program by number or by name\n"
    "  --state FILE          load a program state (the plug-in's program chunk)\n"
    "  --set \"NAME=VALUE\"    type VALUE into parameter NAME, as in 'tessaro render'\n"
    "  --save-state FILE     write the program state to FILE when it ends\n"
    "  --seconds N           end by itself after N seconds\n"
    "  --no-audio            do not open a sound device\n"
    "  --virtual-display     without DISPLAY, start a private Xvfb server to show\n"
    "                        the window on (for tests and scripts)\n"
    "  -h, --help            show this help\n"
    "\n"
    "exit codes:\n"
    "  0 done              1 other failure (no display, no editor, state not saved)\n"
    "  2 bad command line  3 IN missing or unreadable   4 IN is not audio\n"
    "  5 IN has more than two channels                  6 unknown parameter or program\n"
    "  7 value out of range or not a display text       8 plug-in failed to load\n"
    "  11 the --state file unusable\n";

constexpr double kDefaultRate = 44100.0;
constexpr int kIdleHz = 30;

volatile std::sig_atomic_t gStopSignal = 0;

void OnStopSignal(int signal) { gStopSignal = signal; }

struct Options {
  std::string input, pluginPath, state, saveState;
  std::optional<std::string> program;
  std::vector<std::string> sets;
  double seconds = 0.0;  // 0: until closed
  bool noAudio = false;
  bool virtualDisplay = false;
  bool help = false;
};

struct Failure {
  int code = 0;
  std::string message;
};

std::optional<Failure> ParseOptions(std::span<const std::string> args, Options* options) {
  auto usage = [](std::string message) { return Failure{kExitUsage, std::move(message)}; };
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      options->help = true;
    } else if (arg == "--no-audio") {
      options->noAudio = true;
    } else if (arg == "--virtual-display") {
      options->virtualDisplay = true;
    } else if (arg == "--plugin" || arg == "--program" || arg == "--state" || arg == "--save-state" ||
               arg == "--set" || arg == "--seconds") {
      if (i + 1 >= args.size()) return usage(arg + " needs a value");
      const std::string& text = args[++i];
      if (arg == "--plugin") {
        options->pluginPath = text;
      } else if (arg == "--program") {
        options->program = text;
      } else if (arg == "--state") {
        options->state = text;
      } else if (arg == "--save-state") {
        if (text.empty()) return usage("--save-state needs a file name");
        options->saveState = text;
      } else if (arg == "--set") {
        options->sets.push_back(text);
      } else {
        char* end = nullptr;
        errno = 0;
        const double v = std::strtod(text.c_str(), &end);
        // A day is plenty for a script; beyond it the number is a typo.
        if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v <= 0.0 || v > 86400.0) {
          return usage("--seconds wants a positive number of seconds up to 86400, got '" + text + "'");
        }
        options->seconds = v;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage("unknown option '" + arg + "'");
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() > 1) return usage("one IN at most, got '" + positional[1] + "' as well");
  if (!positional.empty()) options->input = positional.front();
  return std::nullopt;
}

// IN as interleaved stereo (mono on both sides) in memory, so the audio
// thread never touches the disk.
std::optional<Failure> ReadInput(const std::string& path, std::vector<float>* stereo, double* rate) {
  std::error_code error;
  if (!std::filesystem::exists(path, error))
    return Failure{kExitInput, "cannot read IN '" + path + "': no such file"};
  if (!std::filesystem::is_regular_file(path, error))
    return Failure{kExitInput, "IN '" + path + "' is not a file"};
  if (access(path.c_str(), R_OK) != 0)
    return Failure{kExitInput, "cannot read IN '" + path + "': " + std::strerror(errno)};
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    return Failure{kExitFormat,
                   "IN '" + path + "' is not an audio file libsndfile can read: " + sf_strerror(nullptr)};
  }
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> closer(file, &sf_close);
  if (info.channels < 1 || info.samplerate < 1) {
    return Failure{kExitFormat, "IN '" + path + "' declares no channels or no sample rate"};
  }
  if (info.channels > 2) {
    return Failure{kExitChannels, fmt::format("IN '{}' has {} channels; a stereo effect plays mono or stereo",
                                              path, info.channels)};
  }
  std::vector<float> frames;
  std::vector<float> block(static_cast<std::size_t>(4096 * info.channels));
  for (;;) {
    const sf_count_t n = sf_readf_float(file, block.data(), 4096);
    if (n <= 0) break;
    for (sf_count_t i = 0; i < n; ++i) {
      const float l = block[static_cast<std::size_t>(i * info.channels)];
      const float r = info.channels == 2 ? block[static_cast<std::size_t>(i * 2 + 1)] : l;
      frames.push_back(l);
      frames.push_back(r);
    }
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    return Failure{kExitInput, std::string("reading IN failed: ") + sf_strerror(file)};
  }
  *stereo = std::move(frames);
  *rate = info.samplerate;
  return std::nullopt;
}

std::optional<Failure> ApplySettings(host::Plugin& plugin, const Options& options) {
  if (options.program) {
    const SettingResult r = SelectProgram(plugin, *options.program);
    if (!r) return Failure{r.exitCode, "--program: " + r.message};
  }
  if (!options.state.empty()) {
    const SettingResult r = ApplyStateFile(plugin, options.state);
    if (!r) return Failure{r.exitCode, "--state: " + r.message};
  }
  for (const std::string& assignment : options.sets) {
    const SettingResult r = SetParameterText(plugin, assignment);
    if (!r) return Failure{r.exitCode, "--set \"" + assignment + "\": " + r.message};
  }
  return std::nullopt;
}

int Fail(const Failure& failure) {
  fmt::print(stderr, "tessaro edit: {}\n", failure.message);
  if (failure.code == kExitUsage) fmt::print(stderr, "Run 'tessaro edit --help' for the options.\n");
  return failure.code;
}

int Edit(Options options) {
  std::vector<float> source;
  double rate = kDefaultRate;
  if (!options.input.empty()) {
    if (std::optional<Failure> f = ReadInput(options.input, &source, &rate)) return Fail(*f);
  }

  std::unique_ptr<host::VirtualDisplay> virtualDisplay;
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    if (!options.virtualDisplay) {
      return Fail({kExitFailure,
                   "no X display: DISPLAY is not set. Run it in an X session (or 'ssh -X'), or pass "
                   "--virtual-display to show the window on a private Xvfb server"});
    }
    std::string error;
    virtualDisplay = host::VirtualDisplay::Ensure(&error);
    if (!virtualDisplay) return Fail({kExitFailure, error});
  }

  if (options.pluginPath.empty()) options.pluginPath = DefaultPluginPath();
  host::HostOptions hostOptions;
  hostOptions.sampleRate = rate;
  hostOptions.blockSize = AudioLoop::kBlock;
  hostOptions.processLevel = vst2::kVstProcessLevelRealtime;
  std::string error;
  std::unique_ptr<host::Plugin> plugin = host::Plugin::Load(options.pluginPath, hostOptions, &error);
  if (!plugin) return Fail({kExitPlugin, "the plug-in failed to load: " + error});
  if (!plugin->HasEditor())
    return Fail({kExitFailure, "the plug-in " + options.pluginPath + " has no editor"});
  if ((plugin->Flags() & vst2::effFlagsCanReplacing) == 0) {
    return Fail(
        {kExitPlugin, "the plug-in cannot process in replacing mode, the only mode a host may rely on"});
  }
  constexpr int kMostChannels = 64;
  if (plugin->NumInputs() > kMostChannels || plugin->NumOutputs() > kMostChannels ||
      plugin->NumOutputs() < 1) {
    return Fail({kExitChannels, fmt::format("the plug-in claims {} inputs and {} outputs",
                                            plugin->NumInputs(), plugin->NumOutputs())});
  }

  plugin->Open();
  plugin->SetSampleRate(rate);
  plugin->SetBlockSize(AudioLoop::kBlock);
  if (std::optional<Failure> f = ApplySettings(*plugin, options)) return Fail(*f);
  plugin->Resume();

  HostWindow::Settings settings;
  const bool sized = plugin->EditorRect(&settings.width, &settings.height);
  if (!sized) {
    // Some editors know their size only once open; the window follows then.
    settings.width = 640;
    settings.height = 480;
  }
  std::unique_ptr<HostWindow> window = HostWindow::Create(settings, &error);
  if (!window) return Fail({kExitFailure, error});

  // The plug-in asks from inside an editor call on this thread; a request
  // from any other thread waits here for the GUI loop, as Xlib wants.
  const std::thread::id guiThread = std::this_thread::get_id();
  std::atomic<long> pendingSize{0};
  HostWindow* windowPointer = window.get();
  plugin->onSizeWindow = [guiThread, &pendingSize, windowPointer](int width, int height) {
    if (std::this_thread::get_id() == guiThread) {
      windowPointer->Resize(width, height);
    } else {
      pendingSize = static_cast<long>(width) << 16 | height;
    }
    return true;
  };

  window->Map();
  if (!plugin->OpenEditor(window->window())) {
    plugin->onSizeWindow = nullptr;
    return Fail({kExitFailure, "the plug-in's editor did not open"});
  }
  int width = 0, height = 0;
  if (plugin->EditorRect(&width, &height) && (width != window->width() || height != window->height())) {
    window->Resize(width, height);
  }
  fmt::print("display: {}\nwindow: {} (0x{:x})\nsize: {} x {}\n", window->DisplayName(), window->window(),
             window->window(), window->width(), window->height());

  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: the wait for X events ends on the signal.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  const bool haveInput = !source.empty();
  AudioLoop audio(*plugin, std::move(source), rate);
  fmt::print("audio: {}\n", audio.Start(!options.noAudio));
  std::fflush(stdout);

  using Clock = std::chrono::steady_clock;
  const auto started = Clock::now();
  const auto tick = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / kIdleHz));
  auto next = started + tick;
  const char* reason = "the window was closed";
  for (;;) {
    window->Pump();
    if (window->CloseRequested()) break;
    if (gStopSignal != 0) {
      reason = gStopSignal == SIGINT ? "interrupted" : "terminated";
      break;
    }
    if (options.seconds > 0.0 && Clock::now() - started >= std::chrono::duration<double>(options.seconds)) {
      reason = "time is up";
      break;
    }
    const auto now = Clock::now();
    if (now >= next) {
      if (const long size = pendingSize.exchange(0); size != 0)
        window->Resize(static_cast<int>(size >> 16), static_cast<int>(size & 0xffff));
      plugin->IdleEditor();
      next += tick;
      if (Clock::now() - next > std::chrono::milliseconds(500)) next = Clock::now() + tick;
      continue;
    }
    window->Wait(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) +
                 1);
  }

  // Sound first, so nothing processes while the editor goes; then the
  // editor, the state and the plug-in, as a DAW closes a project.
  audio.Stop();
  const double played = audio.SecondsPlayed();
  const std::int64_t round = audio.TimesRound();
  plugin->CloseEditor();
  plugin->onSizeWindow = nullptr;
  int code = kExitOk;
  if (!options.saveState.empty()) {
    const SettingResult saved = SaveStateFile(*plugin, options.saveState);
    if (!saved) {
      fmt::print(stderr, "tessaro edit: --save-state: {}\n", saved.message);
      code = kExitFailure;
    } else {
      fmt::print("state: saved to {}\n", options.saveState);
    }
  }
  plugin->Suspend();
  plugin.reset();
  window.reset();
  if (!haveInput) {
    fmt::print("ended ({}): processed {:.1f} s of silence\n", reason, played);
  } else {
    fmt::print("ended ({}): played {:.1f} s, IN {} times round\n", reason, played, round);
  }
  std::fflush(stdout);
  return code;
}

}  // namespace

int RunEdit(std::span<const std::string> args) {
  Options options;
  if (std::optional<Failure> f = ParseOptions(args, &options)) return Fail(*f);
  if (options.help) {
    fmt::print("{}", kEditUsage);
    return kExitOk;
  }
  return Edit(std::move(options));
}

}  // namespace tessaro::cli
