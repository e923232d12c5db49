#include "editor/PlatformPaths.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tessaro::paths {
namespace {

std::string FolderOf(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/tmp";
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string UserDir(const char* key, const char* fallback) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string file = (config && *config ? std::string(config) : Home() + "/.config") + "/user-dirs.dirs";
  std::ifstream in(file);
  if (in) {
    std::stringstream text;
    text << in.rdbuf();
    const std::string dir = UserDirFromText(text.str(), key, Home());
    if (!dir.empty()) return WithSlash(dir);
  }
  return WithSlash(Home() + "/" + fallback);
}

}  // namespace

std::string UserDirFromText(const std::string& text, const std::string& key, const std::string& home) {
  std::istringstream lines(text);
  std::string line;
  std::string found;
  while (std::getline(lines, line)) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    if (line.compare(start, key.size(), key) != 0 || line.size() <= start + key.size() ||
        line[start + key.size()] != '=') {
      continue;
    }
    std::string value = line.substr(start + key.size() + 1);
    // Values are "$HOME/Folder" or "/absolute/path", always quoted.
    if (value.size() < 2 || value.front() != '"') continue;
    const std::size_t close = value.find('"', 1);
    if (close == std::string::npos) continue;
    value = value.substr(1, close - 1);
    if (value.rfind("$HOME", 0) == 0) {
      value = home + value.substr(5);
    } else if (value.empty() || value.front() != '/') {
      continue;
    }
    found = value;  // the last assignment wins, as in a shell
  }
  return found;
}

std::string HostFolder() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? FolderOf(std::string(buffer, static_cast<std::size_t>(n))) : std::string("./");
}

std::string PluginFolder() {
  Dl_info info{};
  static const int anchor = 0;
  return dladdr(&anchor, &info) && info.dli_fname ? FolderOf(info.dli_fname) : std::string("./");
}

std::string DesktopFolder() { return UserDir("XDG_DESKTOP_DIR", "Desktop"); }
std::string DocumentsFolder() { return UserDir("XDG_DOCUMENTS_DIR", "Documents"); }

std::string AppDataFolder(bool allUsers) {
  if (allUsers) return "/usr/local/share/";
  const char* data = std::getenv("XDG_DATA_HOME");
  return WithSlash(data && *data ? data : Home() + "/.local/share");
}

}  // namespace tessaro::paths
