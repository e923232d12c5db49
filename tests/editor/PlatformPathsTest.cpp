// The XDG user-dirs file as desktops write it.
#include <gtest/gtest.h>

#include "editor/PlatformPaths.h"

namespace tessaro::paths {
namespace {

TEST(PlatformPaths, UserDirsAreReadLikeTheShellWould) {
  const std::string file =
      "# written by xdg-user-dirs-update\n"
      "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"/data/docs\"\n"
      "  XDG_MUSIC_DIR=\"$HOME/Music\"\n"
      "XDG_DOCUMENTS_DIRX=\"/wrong\"\n"
      "XDG_PICTURES_DIR=relative\n"
      "XDG_VIDEOS_DIR=\"no/slash\"\n"
      "XDG_DOWNLOAD_DIR=\"$HOME/a\"\n"
      "XDG_DOWNLOAD_DIR=\"$HOME/b\"\n"
      "#XDG_TEMPLATES_DIR=\"/commented\"\n";
  const std::pair<const char*, const char*> cases[] = {
      {"XDG_DESKTOP_DIR", "/home/u/Schreibtisch"},
      {"XDG_DOCUMENTS_DIR", "/data/docs"},
      {"XDG_MUSIC_DIR", "/home/u/Music"},
      {"XDG_PICTURES_DIR", ""},  // unquoted
      {"XDG_VIDEOS_DIR", ""},    // neither $HOME nor absolute
      {"XDG_DOWNLOAD_DIR", "/home/u/b"},
      {"XDG_TEMPLATES_DIR", ""},
      {"XDG_PUBLICSHARE_DIR", ""},
  };
  for (const auto& [key, expected] : cases) EXPECT_EQ(UserDirFromText(file, key, "/home/u"), expected) << key;
}

}  // namespace
}  // namespace tessaro::paths
