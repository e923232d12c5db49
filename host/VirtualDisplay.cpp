#include "host/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace tessaro::host {
namespace {

// Reads the display number Xvfb writes to -displayfd; -1 on timeout or exit.
int ReadDisplayNumber(int fd, int timeoutMs) {
  std::string digits;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int r = poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 1)));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    char c = 0;
    const ssize_t n = read(fd, &c, 1);
    if (n <= 0) break;
    if (c == '\n') return digits.empty() ? -1 : std::atoi(digits.c_str());
    if (c >= '0' && c <= '9') digits += c;
  }
  return -1;
}

}  // namespace

std::unique_ptr<VirtualDisplay> VirtualDisplay::Ensure(std::string* error) {
  std::unique_ptr<VirtualDisplay> display(new VirtualDisplay());
  if (const char* existing = std::getenv("DISPLAY"); existing && *existing) {
    display->name_ = existing;
    return display;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    if (error) *error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    if (error) *error = std::string("fork: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return nullptr;
  }
  if (pid == 0) {
    // The child keeps only the write end, under a number Xvfb is told.
    const int keep = dup(fds[1]);
    const std::string fd = std::to_string(keep);
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, STDIN_FILENO);
      dup2(devnull, STDOUT_FILENO);
      dup2(devnull, STDERR_FILENO);
    }
    setsid();
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
           "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  const int number = ReadDisplayNumber(fds[0], 10000);
  close(fds[0]);
  if (number < 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    if (error) *error = "could not start Xvfb (install the Debian package 'xvfb')";
    return nullptr;
  }
  display->pid_ = pid;
  display->name_ = ":" + std::to_string(number);
  setenv("DISPLAY", display->name_.c_str(), 1);
  return display;
}

VirtualDisplay::~VirtualDisplay() {
  if (pid_ <= 0) return;
  unsetenv("DISPLAY");
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

}  // namespace tessaro::host
