#include "cli/HostFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/Command.h"
#include "cli/RenderCommand.h"

namespace tessaro::cli {
namespace {

namespace fs = std::filesystem;

// Far beyond any real program state; a bigger file is not one.
constexpr std::uintmax_t kLargestState = std::uintmax_t{64} << 20;

}  // namespace

std::string DefaultPluginPath() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return "Tessaro_v2.so";
  return (self.parent_path() / "Tessaro_v2.so").string();
}

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& data, std::string* error) {
  const fs::path target(path);
  const std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
  std::string pattern = folder + "/." + target.filename().string().substr(0, 200) + ".tessaro-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = "cannot write '" + path + "': " + what;
    return false;
  };
  if (fd < 0) return fail(std::strerror(errno));
  const std::string temp = name.data();
  // mkstemp makes a private file; the state gets what any new file gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = std::strerror(errno);
      close(fd);
      unlink(temp.c_str());
      return fail(why);
    }
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0) {
    const std::string why = std::strerror(errno);
    unlink(temp.c_str());
    return fail(why);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    unlink(temp.c_str());
    return fail(why);
  }
  return true;
}

SettingResult ApplyStateFile(host::Plugin& plugin, const std::string& path) {
  auto fail = [&](const std::string& why) { return SettingResult{kExitPreset, why}; };
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) return fail("cannot read state file '" + path + "': no such file");
  if (!fs::is_regular_file(status)) return fail("state file '" + path + "' is not a file");
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return fail("cannot read state file '" + path + "': " + error.message());
  if (size == 0) return fail("state file '" + path + "' is empty");
  if (size > kLargestState) return fail("state file '" + path + "' is too large to be a program state");
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()))) {
    return fail("cannot read state file '" + path + "'");
  }
  if ((plugin.Flags() & vst2::effFlagsProgramChunks) == 0) {
    return fail("the plug-in does not take state chunks");
  }
  if (plugin.SetChunk(data, true) == 0) {
    return fail("the plug-in refused the state in '" + path + "' (not one of its program states?)");
  }
  return {};
}

SettingResult SaveStateFile(host::Plugin& plugin, const std::string& path) {
  if ((plugin.Flags() & vst2::effFlagsProgramChunks) == 0) {
    return {kExitFailure, "the plug-in does not hand out state chunks"};
  }
  const std::vector<std::uint8_t> chunk = plugin.GetChunk(true);
  if (chunk.empty()) return {kExitFailure, "the plug-in gave no program state"};
  std::string error;
  if (!WriteFileAtomically(path, chunk, &error)) return {kExitFailure, error};
  return {};
}

}  // namespace tessaro::cli
