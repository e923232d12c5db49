#include "settings/UserFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tessaro {

std::string UserFolder() {
  namespace fs = std::filesystem;
  fs::path base;
  if (const char* appData = std::getenv("APPDATA"); appData && *appData) {
    base = appData;
  } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".config";
  } else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir) {
    base = fs::path(user->pw_dir) / ".config";
  } else {
    // Never the host's working directory.
    std::error_code ec;
    base = fs::temp_directory_path(ec);
    if (ec) return {};
  }
  const fs::path folder = base / "Kest-Audio";
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  return folder.string() + "/";
}

}  // namespace tessaro
