// tessaro presets [FILE]: lists a preset library, the default one without FILE.
#include <fmt/core.h>

#include <cstdio>
#include <string>

#include "cli/Command.h"
#include "settings/Kest_PresetXML.h"
#include "settings/UserFolder.h"

namespace tessaro::cli {

int RunPresets(std::span<const std::string> args) {
  if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
    fmt::print(
        "usage: tessaro presets [FILE]\n\n"
        "Lists the presets of an XML preset library by category. Without FILE it reads the default\n"
        "library, {}Tessaro_v2_preset_DEFAULT.xml.\n",
        UserFolder());
    return kExitOk;
  }
  if (args.size() > 1) {
    fmt::print(stderr, "tessaro presets: at most one FILE\n");
    return kExitUsage;
  }
  const std::string path = args.empty() ? UserFolder() + "Tessaro_v2_preset_DEFAULT.xml" : args[0];
  std::string text;
  if (!DescribePresetLibrary(path, &text)) {
    fmt::print(stderr, "tessaro presets: {}\n", text);
    return kExitFailure;
  }
  fmt::print("{}", text);
  return kExitOk;
}

}  // namespace tessaro::cli
