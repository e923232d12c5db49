// The subcommands of the tessaro command-line host. Each one parses its own
// arguments (everything after the command name) and returns the exit code.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tessaro::cli {

// Exit codes shared by every subcommand, so scripts can tell a typo from a
// plug-in that would not load.
enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,  // the work itself failed: plug-in did not load, file unreadable, ...
  kExitUsage = 2,    // bad command line
};

struct Command {
  std::string_view name;
  std::string_view synopsis;  // arguments, for the overview ("PLUGIN.so")
  std::string_view summary;   // one line for the overview
  int (*run)(std::span<const std::string> args);
};

int RunInfo(std::span<const std::string> args);
int RunPresets(std::span<const std::string> args);
int RunSnapshot(std::span<const std::string> args);
int RunEdit(std::span<const std::string> args);

}  // namespace tessaro::cli
