// tessaro render: an offline bounce. Reads IN, runs it through a VST 2.4
// effect the way a DAW renders a track (offline, in blocks, latency
// compensated), writes OUT and reports loudness before and after.
#include "cli/RenderCommand.h"

#include <fcntl.h>
#include <fmt/core.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "cli/Command.h"
#include "cli/DemoProgramme.h"
#include "cli/HostFiles.h"
#include "cli/LoudnessReport.h"
#include "cli/PluginSettings.h"
#include "cli/PresetLibrary.h"
#include "host/VstHost.h"

namespace tessaro::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRenderUsage =
    "usage: tessaro render [options] IN OUT\n"
    "       tessaro render --demo [options] [OUT]\n"
    "\n"
    "Runs the audio file IN through a VST 2.4 effect the way a DAW bounces a\n"
    "track, writes OUT and prints a loudness report of both.\n"
    "\n"
    "  - The plug-in is started at IN's sample rate and fed in blocks, in 64-bit\n"
    "    floating point (--float: 32-bit), as an offline render.\n"
    "  - Its reported latency is compensated: that many leading output samples are\n"
    "    dropped and the tail is flushed with silence, so OUT lines up with IN\n"
    "    sample for sample and has the same length.\n"
    "  - OUT's type follows its extension: .wav, .flac, .aif/.aiff, .ogg (Vorbis).\n"
    "    Same sample rate as IN; the bit depth of IN unless --bits is given (IN\n"
    "    without one, such as Ogg Vorbis, gives 24-bit). Samples beyond full scale\n"
    "    are clipped, not wrapped. An existing OUT is replaced.\n"
    "  - Mono IN is processed as dual mono: the one channel goes into both inputs\n"
    "    and OUT is mono, taken from the left output. More than two channels are\n"
    "    refused.\n"
    "  - OUT appears only when everything worked: it is written under a temporary\n"
    "    name in OUT's folder and renamed at the end.\n"
    "\n"
    "Settings are applied in this order before processing starts: --program,\n"
    "--preset, --state, then every --set in the order given.\n"
    "\n"
    "options:\n"
    "  --plugin PATH         the VST 2.4 effect (default: Tessaro_v2.so next to the\n"
    "                        tessaro executable)\n"
    "  --block N             block size in frames, 1 to 65536 (default 512)\n"
    "  --float               use the 32-bit process call instead of the 64-bit one\n"
    "  --bits B              OUT's sample format: 8, 16, 24, 32 (integer), float\n"
    "                        or double\n"
    "  --program N|NAME      choose a program by number or by name (\"Loud/Punch\")\n"
    "  --preset FILE.xml:NAME  load an entry of a preset library as a program\n"
    "                        chunk; NAME or CATEGORY/NAME\n"
    "  --state FILE          load a program state, as 'tessaro edit --save-state'\n"
    "                        writes it (the plug-in's program chunk)\n"
    "  --set \"NAME=VALUE\"    type VALUE into parameter NAME (repeatable); NAME as\n"
    "                        the plug-in lists it, or #INDEX; VALUE one of its\n"
    "                        display texts (\"ISP Protect=on\") or a number in its\n"
    "                        display units, the unit optional (\"Margin Level=-1 dB\").\n"
    "                        The value must read back: a number the parameter\n"
    "                        clamps (beyond its range) or rounds to another value\n"
    "                        (within half a unit of the last decimal it shows) is\n"
    "                        an error.\n"
    "  --json                print the report as JSON\n"
    "  --demo                render the built-in demo programme (8 s of drums, bass\n"
    "                        and a chord with inter-sample peaks) instead of IN,\n"
    "                        through program \"Loud/Punch\" with \"Amount\" 9 and\n"
    "                        \"ISP Protect\" on, before your own settings; OUT\n"
    "                        defaults to demo-out.wav\n"
    "  -h, --help            show this help\n"
    "\n"
    "report (libebur128): integrated loudness (LUFS), loudness range (LU), true\n"
    "peak (dBTP) and sample peak (dBFS) of IN and OUT, measured on the files, and\n"
    "the largest gain reduction: a host sees only the two signals, not the\n"
    "plug-in's gain, so it is the largest difference IN minus OUT of momentary\n"
    "loudness over 400 ms windows, every 100 ms, where IN is above -70 LUFS. With\n"
    "make-up gain it can be negative; the smallest difference is shown beside it.\n"
    "A progress bar goes to stderr when stderr is a terminal.\n"
    "\n"
    "exit codes:\n"
    "  0 done              1 other failure         2 bad command line\n"
    "  3 IN missing or unreadable                  4 unsupported file format or depth\n"
    "  5 unsupported channel count                 6 unknown parameter or program\n"
    "  7 value out of range or not a display text  8 plug-in failed to load\n"
    "  9 OUT is IN         10 OUT could not be written\n"
    "  11 preset library or entry, or the --state file, unusable\n";

constexpr std::string_view kDemoUsage =
    "usage: tessaro demo [options] [OUT]\n"
    "\n"
    "Same as 'tessaro render --demo [options] [OUT]': renders the built-in demo\n"
    "programme through program \"Loud/Punch\" with \"Amount\" 9 and \"ISP Protect\"\n"
    "on, writes OUT (default demo-out.wav) and prints the report. Takes the\n"
    "options of 'tessaro render' (see 'tessaro render --help').\n";

constexpr std::int32_t kDefaultBlock = 512;
constexpr std::int32_t kMaxBlock = 65536;
constexpr double kDemoRate = 44100.0;
constexpr const char* kDemoOutput = "demo-out.wav";

// ---- Failure and clean-up --------------------------------------------------

struct Failure {
  int code = 0;
  std::string message;
};

// Temporary files to remove if we are interrupted. Fixed buffers, so the
// signal handler touches nothing but unlink and _exit.
char gTempPaths[2][4096];

void RemoveTempsOnSignal(int signal) {
  for (char* path : gTempPaths) {
    if (path[0] != '\0') unlink(path);
  }
  _exit(128 + signal);
}

// A file that is deleted unless it is kept (renamed into place).
class TempFile {
 public:
  explicit TempFile(int slot) : slot_(slot) {}
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates a unique file from a template ending in XXXXXX plus suffix.
  // Returns the open descriptor, or -1 with errno set.
  int Create(const std::string& pattern, int suffixLength) {
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (name.size() > sizeof gTempPaths[0]) {
      errno = ENAMETOOLONG;
      return -1;
    }
    const int fd = mkstemps(name.data(), suffixLength);
    if (fd < 0) return -1;
    path_ = name.data();
    std::memcpy(gTempPaths[slot_], name.data(), name.size());
    return fd;
  }
  const std::string& path() const { return path_; }
  // Renames the file to target; afterwards it is no longer ours to delete.
  bool MoveTo(const std::string& target) {
    if (std::rename(path_.c_str(), target.c_str()) != 0) return false;
    Forget();
    return true;
  }
  void Remove() {
    if (path_.empty()) return;
    unlink(path_.c_str());
    Forget();
  }

 private:
  void Forget() {
    gTempPaths[slot_][0] = '\0';
    path_.clear();
  }
  int slot_;
  std::string path_;
};

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// ---- Options ----------------------------------------------------------------

struct Options {
  std::string input, output, pluginPath;
  std::int32_t block = kDefaultBlock;
  bool useFloat = false;
  std::string bits;
  std::optional<std::string> program;
  std::optional<std::string> preset;
  std::optional<std::string> state;
  std::vector<std::string> sets;
  bool json = false;
  bool demo = false;
  bool help = false;
};

std::optional<Failure> ParseOptions(std::span<const std::string> args, Options* options) {
  std::vector<std::string> positional;
  auto usage = [](std::string message) { return Failure{kExitUsage, std::move(message)}; };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* out) -> bool {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    std::string text;
    if (arg == "-h" || arg == "--help") {
      options->help = true;
    } else if (arg == "--float") {
      options->useFloat = true;
    } else if (arg == "--json") {
      options->json = true;
    } else if (arg == "--demo") {
      options->demo = true;
    } else if (arg == "--plugin" || arg == "--block" || arg == "--bits" || arg == "--program" ||
               arg == "--preset" || arg == "--state" || arg == "--set") {
      if (!value(&text)) return usage(arg + " needs a value");
      if (arg == "--plugin") {
        options->pluginPath = text;
      } else if (arg == "--block") {
        char* end = nullptr;
        errno = 0;
        const long n = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || errno != 0 || n < 1 || n > kMaxBlock) {
          return usage(
              fmt::format("--block wants a whole number of frames from 1 to {}, got '{}'", kMaxBlock, text));
        }
        options->block = static_cast<std::int32_t>(n);
      } else if (arg == "--bits") {
        options->bits = text;
      } else if (arg == "--program") {
        options->program = text;
      } else if (arg == "--preset") {
        options->preset = text;
      } else if (arg == "--state") {
        options->state = text;
      } else {
        options->sets.push_back(text);
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usage("unknown option '" + arg + "'");
    } else {
      positional.push_back(arg);
    }
  }
  if (options->help) return std::nullopt;
  if (options->demo) {
    if (positional.size() > 1) return usage("--demo takes at most one file, OUT");
    options->output = positional.empty() ? kDemoOutput : positional.front();
  } else {
    if (positional.size() < 2) return usage(positional.empty() ? "no IN and OUT given" : "no OUT given");
    if (positional.size() > 2) return usage("one IN and one OUT, got '" + positional[2] + "' as well");
    options->input = positional[0];
    options->output = positional[1];
  }
  return std::nullopt;
}

// ---- Formats ----------------------------------------------------------------

struct OutputFormat {
  int major = 0;
  const char* name = "";
};

std::optional<OutputFormat> FormatForExtension(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".wav") return OutputFormat{SF_FORMAT_WAV, "WAV"};
  if (extension == ".flac") return OutputFormat{SF_FORMAT_FLAC, "FLAC"};
  if (extension == ".aif" || extension == ".aiff" || extension == ".aifc")
    return OutputFormat{SF_FORMAT_AIFF, "AIFF"};
  if (extension == ".ogg" || extension == ".oga") return OutputFormat{SF_FORMAT_OGG, "Ogg Vorbis"};
  return std::nullopt;
}

const char* DepthName(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return "8-bit";
    case SF_FORMAT_PCM_16:
      return "16-bit";
    case SF_FORMAT_PCM_24:
      return "24-bit";
    case SF_FORMAT_PCM_32:
      return "32-bit integer";
    case SF_FORMAT_FLOAT:
      return "32-bit float";
    case SF_FORMAT_DOUBLE:
      return "64-bit float";
    default:
      return "this";
  }
}

// The subtype for --bits, or IN's depth; 0 when the text means nothing.
int SubtypeFor(const std::string& bits, int inputSubtype) {
  if (bits == "8") return SF_FORMAT_PCM_S8;
  if (bits == "16") return SF_FORMAT_PCM_16;
  if (bits == "24") return SF_FORMAT_PCM_24;
  if (bits == "32") return SF_FORMAT_PCM_32;
  if (bits == "float" || bits == "32f") return SF_FORMAT_FLOAT;
  if (bits == "double" || bits == "64f") return SF_FORMAT_DOUBLE;
  if (!bits.empty()) return 0;
  switch (inputSubtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
      return inputSubtype;
    default:
      return SF_FORMAT_PCM_24;  // a codec without a bit depth of its own
  }
}

std::optional<Failure> ChooseOutputFormat(const Options& options, const SF_INFO& input, SF_INFO* output) {
  const std::optional<OutputFormat> format = FormatForExtension(options.output);
  if (!format) {
    return Failure{kExitFormat, "cannot tell the file type of '" + options.output +
                                    "' from its extension; use .wav, .flac, .aif, .aiff or .ogg"};
  }
  int subtype = 0;
  if (format->major == SF_FORMAT_OGG) {
    subtype = SF_FORMAT_VORBIS;  // lossy: a bit depth does not apply
  } else {
    subtype = SubtypeFor(options.bits, input.format & SF_FORMAT_SUBMASK);
    if (subtype == 0) {
      return Failure{kExitUsage, "--bits wants 8, 16, 24, 32, float or double, got '" + options.bits + "'"};
    }
    // WAV keeps 8-bit samples unsigned, the others signed.
    if (subtype == SF_FORMAT_PCM_S8 || subtype == SF_FORMAT_PCM_U8)
      subtype = format->major == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
  }
  *output = SF_INFO{};
  output->samplerate = input.samplerate;
  output->channels = input.channels;
  output->format = format->major | subtype;
  if (!sf_format_check(output)) {
    const std::string from = options.bits.empty() ? " (IN's depth; choose another with --bits)"
                                                  : " (choose another depth with --bits)";
    return Failure{kExitFormat,
                   fmt::format("{} cannot hold {} samples{}", format->name, DepthName(subtype), from)};
  }
  return std::nullopt;
}

// ---- Checks on IN and OUT ---------------------------------------------------

std::optional<Failure> CheckSameFile(const std::string& input, const std::string& output) {
  std::error_code error;
  const fs::path a = fs::weakly_canonical(input, error);
  if (error) return std::nullopt;  // IN's own check will say what is wrong
  const fs::path b = fs::weakly_canonical(output, error);
  bool same = !error && a == b;
  if (!same && fs::exists(output, error)) same = fs::equivalent(input, output, error) && !error;
  if (same) {
    return Failure{kExitSameFile, "OUT '" + output + "' is the same file as IN; rendering would destroy IN"};
  }
  return std::nullopt;
}

std::optional<Failure> OpenInput(const std::string& path, SndfilePtr* file, SF_INFO* info) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return Failure{kExitInput, "cannot read IN '" + path + "': " + std::strerror(errno)};
  }
  if (!S_ISREG(status.st_mode)) return Failure{kExitInput, "IN '" + path + "' is not a file"};
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return Failure{kExitInput, "cannot read IN '" + path + "': " + std::strerror(errno)};
  close(fd);
  *info = SF_INFO{};
  file->reset(sf_open(path.c_str(), SFM_READ, info));
  if (!*file) {
    return Failure{kExitFormat,
                   "IN '" + path + "' is not an audio file libsndfile can read: " + sf_strerror(nullptr)};
  }
  if (info->channels > 2) {
    return Failure{kExitChannels, fmt::format("IN '{}' has {} channels; only mono and stereo are rendered "
                                              "(a stereo limiter has two inputs)",
                                              path, info->channels)};
  }
  if (info->channels < 1 || info->samplerate < 1) {
    return Failure{kExitFormat, "IN '" + path + "' declares no channels or no sample rate"};
  }
  return std::nullopt;
}

std::optional<Failure> CheckOutputPlace(const std::string& output) {
  std::error_code error;
  if (fs::is_directory(output, error)) return Failure{kExitOutput, "OUT '" + output + "' is a folder"};
  const fs::path folder = fs::path(output).parent_path();
  if (!folder.empty() && !fs::is_directory(folder, error)) {
    return Failure{kExitOutput,
                   "cannot write OUT '" + output + "': folder '" + folder.string() + "' does not exist"};
  }
  return std::nullopt;
}

// ---- The render -----------------------------------------------------------

class ProgressBar {
 public:
  explicit ProgressBar(std::int64_t total)
      : total_(total), enabled_(isatty(STDERR_FILENO) == 1 && total > 0) {}
  void Update(std::int64_t done) {
    if (!enabled_) return;
    const int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / total_));
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    fmt::print(stderr, "\rrendering [{}{}] {:3}%", std::string(static_cast<std::size_t>(filled), '#'),
               std::string(static_cast<std::size_t>(kWidth - filled), '-'), percent);
    std::fflush(stderr);
  }
  void Finish() {
    if (enabled_ && shown_ >= 0) fmt::print(stderr, "\r\033[2K");
  }

 private:
  std::int64_t total_;
  bool enabled_;
  int shown_ = -1;
};

// Channel buffers for one process call, in the plug-in's precision.
template <typename Sample>
struct Buffers {
  std::vector<std::vector<Sample>> in, out;
  std::vector<Sample*> inPointers, outPointers;
  Buffers(int inputs, int outputs, std::int32_t frames) {
    const auto n = static_cast<std::size_t>(frames);
    in.assign(static_cast<std::size_t>(inputs), std::vector<Sample>(n, Sample(0)));
    out.assign(static_cast<std::size_t>(outputs), std::vector<Sample>(n, Sample(0)));
    for (auto& channel : in) inPointers.push_back(channel.data());
    for (auto& channel : out) outPointers.push_back(channel.data());
  }
  void Process(host::Plugin& plugin, std::int32_t frames) {
    if constexpr (std::is_same_v<Sample, double>) {
      plugin.ProcessDouble(inPointers.data(), outPointers.data(), frames);
    } else {
      plugin.ProcessFloat(inPointers.data(), outPointers.data(), frames);
    }
  }
};

struct RenderResult {
  std::int64_t frames = 0;
  std::int32_t latency = 0;
};

// Feeds IN through the plug-in and writes OUT. The plug-in has been resumed;
// one block of silence first lets a plug-in that settles its latency while
// processing report it before we read it. Output frame k + latency belongs to
// input frame k: the first `latency` output frames are dropped and `latency`
// frames of silence after the end flush the last input frames out.
template <typename Sample>
std::optional<Failure> RenderFrames(host::Plugin& plugin, SNDFILE* in, const SF_INFO& inInfo, SNDFILE* out,
                                    std::int32_t block, RenderResult* result) {
  const int fileChannels = inInfo.channels;
  const int inputs = plugin.NumInputs();
  Buffers<Sample> buffers(inputs, plugin.NumOutputs(), block);
  buffers.Process(plugin, block);
  const std::int32_t latency = std::max(0, plugin.Latency());
  result->latency = latency;

  const auto frames = static_cast<std::size_t>(block);
  std::vector<double> interleavedIn(frames * static_cast<std::size_t>(fileChannels));
  std::vector<double> interleavedOut(frames * static_cast<std::size_t>(fileChannels));
  std::int64_t total = inInfo.frames;  // shrinks if the file turns out shorter than announced
  std::int64_t fed = 0, written = 0;
  bool inputEnded = false;
  ProgressBar progress(total);

  while (written < total) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(block, total + latency - fed));
    if (n <= 0) break;  // cannot happen while frames are owed; never spin if it did
    std::int64_t got = 0;
    if (!inputEnded && fed < total) {
      const sf_count_t want = std::min<std::int64_t>(n, total - fed);
      got = sf_readf_double(in, interleavedIn.data(), want);
      if (got < want && sf_error(in) != SF_ERR_NO_ERROR) {
        progress.Finish();
        return Failure{kExitInput, std::string("reading IN failed: ") + sf_strerror(in)};
      }
      if (got < want) {
        inputEnded = true;
        total = fed + std::max<std::int64_t>(got, 0);
        if (got < 0) got = 0;
      }
    }
    for (int c = 0; c < inputs; ++c) {
      // Dual mono: a mono file feeds both inputs; inputs beyond the file's
      // channels get silence.
      const int source = fileChannels == 1 && c < 2 ? 0 : c;
      Sample* channel = buffers.in[static_cast<std::size_t>(c)].data();
      for (std::int32_t i = 0; i < n; ++i) {
        channel[i] =
            source < fileChannels && i < got
                ? static_cast<Sample>(interleavedIn[static_cast<std::size_t>(i * fileChannels + source)])
                : Sample(0);
      }
    }
    buffers.Process(plugin, n);
    // Skip what is still latency, keep at most what IN had.
    const std::int64_t skip = std::clamp<std::int64_t>(latency - fed, 0, n);
    const std::int64_t keep = std::min<std::int64_t>(n - skip, total - written);
    fed += n;
    if (keep <= 0) continue;
    for (std::int64_t i = 0; i < keep; ++i) {
      for (int c = 0; c < fileChannels; ++c) {
        interleavedOut[static_cast<std::size_t>(i * fileChannels + c)] =
            static_cast<double>(buffers.out[static_cast<std::size_t>(c)][static_cast<std::size_t>(skip + i)]);
      }
    }
    if (sf_writef_double(out, interleavedOut.data(), keep) != keep) {
      progress.Finish();
      return Failure{kExitOutput, std::string("writing OUT failed: ") + sf_strerror(out)};
    }
    written += keep;
    progress.Update(written);
  }
  progress.Finish();
  result->frames = written;
  if (plugin.Latency() != latency) {
    fmt::print(
        stderr,
        "tessaro render: warning: the plug-in changed its latency from {} to {} samples while rendering; "
        "OUT may not line up with IN\n",
        latency, plugin.Latency());
  }
  return std::nullopt;
}

std::optional<Failure> ApplySettings(host::Plugin& plugin, const Options& options) {
  if (options.program) {
    const SettingResult r = SelectProgram(plugin, *options.program);
    if (!r) return Failure{r.exitCode, "--program: " + r.message};
  }
  if (options.preset) {
    const std::string& argument = *options.preset;
    const auto colon = argument.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == argument.size()) {
      return Failure{kExitUsage, "--preset wants FILE.xml:NAME, got '" + argument + "'"};
    }
    const PresetLookup preset = FindPreset(argument.substr(0, colon), argument.substr(colon + 1));
    if (!preset.found) return Failure{kExitPreset, "--preset: " + preset.error};
    if ((plugin.Flags() & vst2::effFlagsProgramChunks) == 0) {
      return Failure{kExitPreset, "--preset: the plug-in does not take state chunks"};
    }
    // A preset holds a program state; without the chunk header the plug-in
    // reads it from the first byte.
    if (plugin.SetChunk(preset.state, true) != 1) {
      return Failure{kExitPreset, "--preset: the plug-in refused the state of preset '" + preset.name + "'"};
    }
  }
  if (options.state) {
    const SettingResult r = ApplyStateFile(plugin, *options.state);
    if (!r) return Failure{r.exitCode, "--state: " + r.message};
  }
  for (const std::string& assignment : options.sets) {
    const SettingResult r = SetParameterText(plugin, assignment);
    if (!r) return Failure{r.exitCode, "--set \"" + assignment + "\": " + r.message};
  }
  return std::nullopt;
}

int Fail(const Failure& failure, const char* command) {
  fmt::print(stderr, "tessaro {}: {}\n", command, failure.message);
  if (failure.code == kExitUsage) fmt::print(stderr, "Run 'tessaro {} --help' for the options.\n", command);
  return failure.code;
}

std::optional<Failure> WriteDemoProgramme(TempFile* file) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
  const int fd = file->Create(folder + "/tessaro-demo-XXXXXX.wav", 4);
  if (fd < 0)
    return Failure{kExitFailure, std::string("cannot create the demo programme: ") + std::strerror(errno)};
  SF_INFO info{};
  info.samplerate = static_cast<int>(kDemoRate);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  SndfilePtr sound(sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE));
  if (!sound)
    return Failure{kExitFailure, std::string("cannot write the demo programme: ") + sf_strerror(nullptr)};
  const std::vector<double> programme = SynthesiseDemoProgramme(kDemoRate);
  const auto frames = static_cast<sf_count_t>(programme.size() / 2);
  if (sf_writef_double(sound.get(), programme.data(), frames) != frames) {
    return Failure{kExitFailure, std::string("cannot write the demo programme: ") + sf_strerror(sound.get())};
  }
  return std::nullopt;
}

// From the first temp file on, an interruption or a crash (a plug-in can
// crash the whole process) removes the temp files before the process ends.
void InstallCleanupHandlers() {
  struct sigaction action {};
  action.sa_handler = &RemoveTempsOnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
    sigaction(signal, &action, nullptr);
}

int Render(Options options, const char* command) {
  InstallCleanupHandlers();
  TempFile demoInput(0);
  std::string inputName = options.input;
  if (options.demo) {
    if (std::optional<Failure> f = WriteDemoProgramme(&demoInput)) return Fail(*f, command);
    options.input = demoInput.path();
    inputName = fmt::format("demo programme ({:.0f} s, synthesised)", kDemoSeconds);
    // The demo's settings first, so the user's own can refine them.
    if (!options.program) options.program = "Loud/Punch";
    options.sets.insert(options.sets.begin(), {"Amount=9", "ISP Protect=on"});
  }
  if (options.pluginPath.empty()) options.pluginPath = DefaultPluginPath();

  if (!options.demo) {
    if (std::optional<Failure> f = CheckSameFile(options.input, options.output)) return Fail(*f, command);
  }
  SndfilePtr in;
  SF_INFO inInfo{};
  if (std::optional<Failure> f = OpenInput(options.input, &in, &inInfo)) return Fail(*f, command);
  SF_INFO outInfo{};
  if (std::optional<Failure> f = ChooseOutputFormat(options, inInfo, &outInfo)) return Fail(*f, command);
  if (std::optional<Failure> f = CheckOutputPlace(options.output)) return Fail(*f, command);

  host::HostOptions hostOptions;
  hostOptions.sampleRate = inInfo.samplerate;
  hostOptions.blockSize = options.block;
  hostOptions.processLevel = vst2::kVstProcessLevelOffline;
  std::string error;
  std::unique_ptr<host::Plugin> plugin = host::Plugin::Load(options.pluginPath, hostOptions, &error);
  if (!plugin) return Fail({kExitPlugin, "the plug-in failed to load: " + error}, command);
  const int needed = inInfo.channels;
  // More than this is no audio effect but a broken record; refuse it before
  // sizing buffers by it.
  constexpr int kMostChannels = 64;
  if (plugin->NumInputs() > kMostChannels || plugin->NumOutputs() > kMostChannels) {
    return Fail({kExitChannels, fmt::format("the plug-in claims {} inputs and {} outputs", plugin->NumInputs(),
                                            plugin->NumOutputs())},
                command);
  }
  if (plugin->NumInputs() < 1 || plugin->NumOutputs() < needed || (needed == 2 && plugin->NumInputs() < 2)) {
    return Fail({kExitChannels,
                 fmt::format("the plug-in has {} inputs and {} outputs; a {} file needs {}",
                             plugin->NumInputs(), plugin->NumOutputs(), needed == 1 ? "mono" : "stereo",
                             needed == 1 ? "1 of each" : "2 of each")},
                command);
  }
  if ((plugin->Flags() & vst2::effFlagsCanReplacing) == 0) {
    return Fail(
        {kExitPlugin, "the plug-in cannot process in replacing mode, the only mode a host may rely on"},
        command);
  }
  bool useFloat = options.useFloat;
  if (!useFloat && (plugin->Flags() & vst2::effFlagsCanDoubleReplacing) == 0) {
    fmt::print(stderr, "tessaro {}: note: the plug-in has no 64-bit process call; using the 32-bit one\n",
               command);
    useFloat = true;
  }
  if (inInfo.channels == 1) {
    fmt::print(stderr,
               "tessaro {}: note: IN is mono: processing it as dual mono (the channel into both inputs) and "
               "writing the left output as mono OUT\n",
               command);
  }

  // Configure before playback, as a DAW does when it loads a project; then
  // switch off and on, which resets the processing state (fades a program
  // change starts, filter memories), so the render starts clean.
  plugin->Open();
  plugin->SetSampleRate(inInfo.samplerate);
  plugin->SetBlockSize(options.block);
  if (std::optional<Failure> f = ApplySettings(*plugin, options)) return Fail(*f, command);
  plugin->Suspend();
  plugin->Resume();

  TempFile outFile(1);
  const fs::path outPath(options.output);
  const std::string folder = outPath.parent_path().empty() ? "." : outPath.parent_path().string();
  // A name part short enough that ".NAME.tessaro-XXXXXX" fits any file system.
  const std::string stem = outPath.filename().string().substr(0, 200);
  const int fd = outFile.Create(folder + "/." + stem + ".tessaro-XXXXXX", 0);
  if (fd < 0)
    return Fail({kExitOutput, "cannot write OUT '" + options.output + "': " + std::strerror(errno)}, command);
  // mkstemp makes a private file; OUT should get the permissions any new file gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  SndfilePtr out(sf_open_fd(fd, SFM_WRITE, &outInfo, SF_TRUE));
  if (!out) {
    return Fail({kExitOutput, "cannot write OUT '" + options.output + "': " + sf_strerror(nullptr)}, command);
  }
  sf_command(out.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

  RenderResult rendered;
  std::optional<Failure> failure =
      useFloat ? RenderFrames<float>(*plugin, in.get(), inInfo, out.get(), options.block, &rendered)
               : RenderFrames<double>(*plugin, in.get(), inInfo, out.get(), options.block, &rendered);
  if (failure) return Fail(*failure, command);
  // On disk before the rename, so a crash of the machine cannot leave an
  // empty OUT in place of the old one.
  sf_write_sync(out.get());
  if (sf_close(out.release()) != 0) {
    return Fail({kExitOutput, "writing OUT '" + options.output + "' failed when closing it"}, command);
  }
  plugin->Suspend();
  plugin.reset();
  in.reset();

  Report report;
  report.facts = {inputName,
                  options.output,
                  options.pluginPath,
                  useFloat ? "32-bit float" : "64-bit float",
                  static_cast<double>(inInfo.samplerate),
                  inInfo.channels,
                  rendered.frames,
                  rendered.latency,
                  options.block};
  if (!MeasureFiles(options.input, outFile.path(), &report, &error))
    return Fail({kExitOutput, error}, command);
  if (!outFile.MoveTo(options.output)) {
    return Fail(
        {kExitOutput, "cannot move the finished render to '" + options.output + "': " + std::strerror(errno)},
        command);
  }
  fmt::print("{}", options.json ? ReportJson(report) : ReportText(report));
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace

int RunRender(std::span<const std::string> args) {
  Options options;
  if (std::optional<Failure> f = ParseOptions(args, &options)) return Fail(*f, "render");
  if (options.help) {
    fmt::print("{}", kRenderUsage);
    return kExitOk;
  }
  return Render(std::move(options), "render");
}

int RunDemo(std::span<const std::string> args) {
  Options options;
  std::vector<std::string> withDemo(args.begin(), args.end());
  withDemo.push_back("--demo");
  if (std::optional<Failure> f = ParseOptions(withDemo, &options)) return Fail(*f, "demo");
  if (options.help) {
    fmt::print("{}", kDemoUsage);
    return kExitOk;
  }
  return Render(std::move(options), "demo");
}

}  // namespace tessaro::cli
