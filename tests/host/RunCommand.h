// Runs the tessaro executable in a child process and captures what it says.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tessaro::testing {

struct CommandResult {
  int exitCode = -1;  // -1 when the child did not exit normally
  std::string out;
  std::string err;
};

inline std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// envPrefix goes in front of the command, for variables like ASAN_OPTIONS.
inline CommandResult RunTessaro(const std::vector<std::string>& args,
                                const std::string& envPrefix = "") {
  CommandResult result;
  char errPath[] = "/tmp/tessaro-cli-test-XXXXXX";
  const int fd = mkstemp(errPath);
  if (fd < 0) return result;
  close(fd);

  std::string command = envPrefix + ShellQuote(TESSARO_CLI_PATH);
  for (const auto& arg : args) command += " " + ShellQuote(arg);
  command += " 2>" + ShellQuote(errPath) + " </dev/null";

  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer;
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
      result.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  }
  std::ifstream errFile(errPath);
  std::stringstream err;
  err << errFile.rdbuf();
  result.err = err.str();
  std::remove(errPath);
  return result;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline bool HasLine(const std::string& text, const std::string& line) {
  const auto lines = Lines(text);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace tessaro::testing
