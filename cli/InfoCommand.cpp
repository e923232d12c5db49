// tessaro info: loads a plug-in the way a DAW would and prints what it
// declares. Only uses the generic VST 2.4 interface, so it describes any
// plug-in, not just ours.
#include <fmt/core.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "host/VstHost.h"

namespace tessaro::cli {
namespace {

constexpr std::string_view kInfoUsage =
    "usage: tessaro info [--sample-rate HZ] [--block-size FRAMES] PLUGIN.so\n"
    "\n"
    "Loads PLUGIN.so, starts it (open, sample rate, block size, resume),\n"
    "processes one block of silence so it can settle its latency, and prints\n"
    "its name, vendor, unique ID, I/O, flags, latency, category, every\n"
    "parameter and every program.\n"
    "\n"
    "options:\n"
    "  --sample-rate HZ      sample rate the plug-in is started at (default 44100)\n"
    "  --block-size FRAMES   maximum block size (default 512)\n"
    "  -h, --help            show this help\n";

struct FlagName {
  std::int32_t bit;
  const char* name;
};

constexpr FlagName kFlagNames[] = {
    {vst2::effFlagsHasEditor, "has-editor"},
    {vst2::effFlagsCanMono, "can-mono"},
    {vst2::effFlagsCanReplacing, "can-replacing"},
    {vst2::effFlagsProgramChunks, "program-chunks"},
    {vst2::effFlagsIsSynth, "is-synth"},
    {vst2::effFlagsNoSoundInStop, "no-sound-in-stop"},
    {vst2::effFlagsCanDoubleReplacing, "can-double-replacing"},
};

std::string FlagsText(std::int32_t flags) {
  const auto bits = static_cast<std::uint32_t>(flags);
  std::string names;
  std::uint32_t unnamed = bits;
  for (const FlagName& flag : kFlagNames) {
    const auto bit = static_cast<std::uint32_t>(flag.bit);
    if ((bits & bit) == 0) continue;
    if (!names.empty()) names += ", ";
    names += flag.name;
    unnamed &= ~bit;
  }
  // Deprecated or vendor bits are still worth seeing when a plug-in sets them.
  if (unnamed != 0) {
    if (!names.empty()) names += ", ";
    names += fmt::format("other 0x{:X}", unnamed);
  }
  return fmt::format("0x{:08X} ({})", bits, names.empty() ? "none" : names);
}

std::string CategoryText(std::int32_t category) {
  static constexpr const char* kNames[] = {
      "unknown", "effect",      "synth",       "analysis",        "mastering", "spatializer",
      "room-fx", "surround-fx", "restoration", "offline-process", "shell",     "generator",
  };
  const char* name = category >= 0 && category < static_cast<std::int32_t>(std::size(kNames))
                         ? kNames[category]
                         : "not a known category";
  return fmt::format("{} ({})", category, name);
}

// Plug-in strings land on a terminal; keep control bytes from reaching it.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

bool ParseNumber(const std::string& text, double min, double max, double* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !(value >= min && value <= max)) {
    return false;
  }
  *out = value;
  return true;
}

int UsageError(const std::string& message) {
  fmt::print(stderr, "tessaro info: {}\n\n{}", message, kInfoUsage);
  return kExitUsage;
}

struct ParamRow {
  std::string index, name, display, label, automatable;
};

void PrintParameters(host::Plugin& plugin) {
  std::vector<ParamRow> rows;
  rows.push_back({"index", "name", "display", "label", "automatable"});
  for (std::int32_t i = 0; i < plugin.NumParams(); ++i) {
    rows.push_back({std::to_string(i), Printable(plugin.ParamName(i)),
                    Printable(plugin.ParamDisplay(i)), Printable(plugin.ParamLabel(i)),
                    plugin.CanBeAutomated(i) ? "yes" : "no"});
  }
  std::size_t w[4] = {};
  for (const ParamRow& row : rows) {
    w[0] = std::max(w[0], row.index.size());
    w[1] = std::max(w[1], row.name.size());
    w[2] = std::max(w[2], row.display.size());
    w[3] = std::max(w[3], row.label.size());
  }
  fmt::print("\nparameters:\n");
  if (rows.size() == 1) {
    fmt::print("  (none)\n");
    return;
  }
  for (const ParamRow& row : rows) {
    fmt::print("  {:>{}}  {:<{}}  {:<{}}  {:<{}}  {}\n", row.index, w[0], row.name, w[1],
               row.display, w[2], row.label, w[3], row.automatable);
  }
}

void PrintPrograms(host::Plugin& plugin) {
  const std::string indexHeader = "index";
  const std::size_t width =
      std::max(indexHeader.size(), std::to_string(std::max(plugin.NumPrograms() - 1, 0)).size());
  fmt::print("\nprograms:\n");
  if (plugin.NumPrograms() <= 0) {
    fmt::print("  (none)\n");
    return;
  }
  fmt::print("  {:>{}}  name\n", indexHeader, width);
  for (std::int32_t i = 0; i < plugin.NumPrograms(); ++i) {
    std::string name;
    const bool answered = plugin.ProgramNameIndexed(i, &name);
    fmt::print("  {:>{}}  {}\n", i, width, answered ? Printable(name) : "(no name given)");
  }
}

void ProcessOneSilentBlock(host::Plugin& plugin, std::int32_t frames) {
  const auto length = static_cast<std::size_t>(frames);
  // A broken record may claim any channel count; a plug-in with more than 64
  // is not processed, only described.
  if (plugin.NumInputs() > 64 || plugin.NumOutputs() > 64) return;
  std::vector<std::vector<float>> inputs(static_cast<std::size_t>(std::max(plugin.NumInputs(), 0)),
                                         std::vector<float>(length, 0.0f));
  std::vector<std::vector<float>> outputs(
      static_cast<std::size_t>(std::max(plugin.NumOutputs(), 0)), std::vector<float>(length, 0.0f));
  std::vector<float*> in, out;
  for (auto& channel : inputs) in.push_back(channel.data());
  for (auto& channel : outputs) out.push_back(channel.data());
  plugin.ProcessFloat(in.data(), out.data(), frames);
}

}  // namespace

int RunInfo(std::span<const std::string> args) {
  host::HostOptions options;
  std::string path;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      fmt::print("{}", kInfoUsage);
      return kExitOk;
    }
    if (arg == "--sample-rate" || arg == "--block-size") {
      if (i + 1 >= args.size()) return UsageError(arg + " needs a value");
      const std::string& value = args[++i];
      double number = 0.0;
      if (arg == "--sample-rate") {
        if (!ParseNumber(value, 1.0, 1.0e7, &number)) {
          return UsageError("--sample-rate wants a rate in Hz, got '" + value + "'");
        }
        options.sampleRate = number;
      } else {
        if (!ParseNumber(value, 1.0, 1 << 20, &number) || number != static_cast<int>(number)) {
          return UsageError("--block-size wants a whole number of frames, got '" + value + "'");
        }
        options.blockSize = static_cast<std::int32_t>(number);
      }
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') return UsageError("unknown option '" + arg + "'");
    if (!path.empty()) return UsageError("only one plug-in at a time, got '" + arg + "' as well");
    path = arg;
  }
  if (path.empty()) return UsageError("no plug-in given");

  std::string error;
  std::unique_ptr<host::Plugin> plugin = host::Plugin::Load(path, options, &error);
  if (!plugin) {
    fmt::print(stderr, "tessaro info: {}\n", error);
    return kExitFailure;
  }
  // Started like a DAW would: some plug-ins only settle latency and parameter
  // text once they know the sample rate and are switched on, and some only
  // announce their latency (audioMasterIOChanged) from the first block.
  plugin->Start();
  ProcessOneSilentBlock(*plugin, options.blockSize);

  const AEffect* effect = plugin->effect();
  const auto id = static_cast<std::uint32_t>(effect->uniqueID);
  fmt::print("file:            {}\n", path);
  fmt::print("name:            {}\n", Printable(plugin->EffectName()));
  fmt::print("vendor:          {}\n", Printable(plugin->VendorString()));
  fmt::print("product:         {}\n", Printable(plugin->ProductString()));
  fmt::print("vendor version:  {}\n", plugin->VendorVersion());
  fmt::print("unique id:       '{}' (0x{:08X})\n", host::FourCCText(effect->uniqueID), id);
  fmt::print("io:              {} in / {} out\n", plugin->NumInputs(), plugin->NumOutputs());
  fmt::print("flags:           {}\n", FlagsText(plugin->Flags()));
  fmt::print("latency:         {} samples at {} Hz\n", plugin->Latency(), options.sampleRate);
  fmt::print("category:        {}\n", CategoryText(plugin->Category()));
  fmt::print("vst version:     {}\n", plugin->VstVersion());
  fmt::print("parameters:      {}\n", plugin->NumParams());
  fmt::print("programs:        {}\n", plugin->NumPrograms());
  PrintParameters(*plugin);
  PrintPrograms(*plugin);
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace tessaro::cli
