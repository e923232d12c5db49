// tessaro: command-line host for VST 2.4 plug-ins. Dispatches to one
// subcommand per file; add a new one to kCommands.
#include <fmt/core.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/RenderCommand.h"

namespace {

using tessaro::cli::Command;

constexpr Command kCommands[] = {
    {"info", "[options] PLUGIN.so",
     "describe a VST 2.4 plug-in: identity, I/O, flags, parameters, programs",
     &tessaro::cli::RunInfo},
    {"render", "[options] IN OUT",
     "run an audio file through a VST 2.4 effect, latency compensated, and report its loudness",
     &tessaro::cli::RunRender},
    {"demo", "[options] [OUT]",
     "render the built-in demo programme through Tessaro (\"Loud/Punch\", Amount 9, ISP Protect on)",
     &tessaro::cli::RunDemo},
    {"presets", "[FILE]", "list the presets of a Tessaro preset library (the default one without FILE)",
     &tessaro::cli::RunPresets},
    {"edit", "[options] [IN]",
     "open a plug-in's editor in a window and play IN through the plug-in in a loop, in real time",
     &tessaro::cli::RunEdit},
    {"snapshot", "[--scale S] [--program N|NAME] [--plugin PATH] OUT.png",
     "open a plug-in's editor on an X display (Xvfb when there is none) and write its picture as a PNG",
     &tessaro::cli::RunSnapshot},
};

void PrintUsage(std::FILE* out) {
  fmt::print(out, "usage: tessaro <command> [arguments]\n\ncommands:\n");
  for (const Command& command : kCommands) {
    fmt::print(out, "  {} {}\n      {}\n", command.name, command.synopsis, command.summary);
  }
  fmt::print(out, "\nRun 'tessaro <command> --help' for the options of one command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return tessaro::cli::kExitUsage;
  }
  const std::string& name = args.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return tessaro::cli::kExitOk;
  }
  for (const Command& command : kCommands) {
    if (command.name == name) {
      // A misbehaving plug-in can make anything throw (a huge channel count,
      // say); end with a message and the failure code, not a core dump.
      try {
        return command.run(std::span<const std::string>(args).subspan(1));
      } catch (const std::exception& e) {
        fmt::print(stderr, "tessaro {}: {}\n", name, e.what());
        return tessaro::cli::kExitFailure;
      }
    }
  }
  fmt::print(stderr, "tessaro: unknown command '{}'\n\n", name);
  PrintUsage(stderr);
  return tessaro::cli::kExitUsage;
}
