// tessaro: command-line host for VST 2.4 plug-ins. Dispatches to one
// subcommand per file; add a new one to kCommands.
#include <fmt/core.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Command.h"

namespace {

using tessaro::cli::Command;

constexpr Command kCommands[] = {
    {"info", "[options] PLUGIN.so",
     "describe a VST 2.4 plug-in: identity, I/O, flags, parameters, programs",
     &tessaro::cli::RunInfo},
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
      return command.run(std::span<const std::string>(args).subspan(1));
    }
  }
  fmt::print(stderr, "tessaro: unknown command '{}'\n\n", name);
  PrintUsage(stderr);
  return tessaro::cli::kExitUsage;
}
