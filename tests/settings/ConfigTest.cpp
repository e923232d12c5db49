#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/Kest_Config.h"
#include "settings/UserFolder.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tessaro-config-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = (dir / "Tessaro_v2_CONFIG.xml").string();
  }
  void TearDown() override { fs::remove_all(dir); }

  // The defaults and start-up reads the plug-in registers, in its order.
  static Kest_Config StartUp(const std::string& at) {
    Kest_Config config = Kest_Config::AtPath(at);
    config.AddDefault("default_setting", "AAAAEgAAAAo=");
    config.AddDefault("default_size", 1.0);
    config.AddDefault("UseFloatDither", true);
    config.AddDefault("display_fps", 30);
    config.AddDefault("tuning_pitch", 440.0);
    config.AddDefault("use_relative_fft_gain", false);
    config.GetDouble("tuning_pitch");
    config.GetBool("use_relative_fft_gain");
    config.GetString("default_setting");
    config.GetBool("UseFloatDither");
    config.GetDouble("display_fps");
    return config;
  }
  std::string Text() const {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> ElementNames() const {
    std::vector<std::string> names;
    const std::string text = Text();
    for (std::size_t at = text.find("<Config>"); (at = text.find('<', at + 1)) != std::string::npos;) {
      if (text[at + 1] == '/') continue;
      names.push_back(text.substr(at + 1, text.find_first_of(" >/", at + 1) - at - 1));
    }
    return names;
  }
  void Write(const std::string& text) const { std::ofstream(path) << text; }

  fs::path dir;
  std::string path;
};

TEST_F(ConfigTest, SkeletonIsFortyEightCharacters) { EXPECT_EQ(std::string(Kest_Config::kSkeleton).size(), 48u); }

TEST_F(ConfigTest, FirstStartCreatesFiveKeysInReadOrder) {
  Kest_Config config = StartUp(path);
  EXPECT_EQ(ElementNames(), (std::vector<std::string>{"tuning_pitch", "use_relative_fft_gain", "default_setting",
                                                      "UseFloatDither", "display_fps"}));
  EXPECT_NE(Text().find("<tuning_pitch>440</tuning_pitch>"), std::string::npos);
  EXPECT_NE(Text().find("<UseFloatDither>true</UseFloatDither>"), std::string::npos);
  // "false" is not empty, so it is written too.
  EXPECT_NE(Text().find("<use_relative_fft_gain>false</use_relative_fft_gain>"), std::string::npos);
  EXPECT_EQ(config.GetString("default_setting"), "AAAAEgAAAAo=");
  EXPECT_EQ(config.GetDouble("display_fps"), 30.0);
  EXPECT_FALSE(config.FileIsUnreadable());
}

TEST_F(ConfigTest, LookupIsBySubstringInFileOrder) {
  Write("<?xml version=\"1.0\"?>\n<Config><default>first</default><default_setting>second</default_setting></Config>\n");
  Kest_Config config = Kest_Config::AtPath(path);
  EXPECT_EQ(config.GetString("default_setting"), "first");
}

TEST_F(ConfigTest, EmptyElementReadsAsNoValue) {
  Write("<?xml version=\"1.0\"?>\n<Config><display_fps></display_fps><UseFloatDither>TRUE</UseFloatDither></Config>\n");
  Kest_Config config = Kest_Config::AtPath(path);
  config.AddDefault("display_fps", 30);
  EXPECT_EQ(config.GetDouble("display_fps"), -8675309.0);
  EXPECT_FALSE(config.GetBool("UseFloatDither"));  // only "true" is true
}

TEST_F(ConfigTest, SettersChangeOnlyExistingElementsAndKeepTheCache) {
  Kest_Config config = StartUp(path);
  config.SetInt("display_fps", 60);
  config.SetDouble("default_size", 0.75);  // not in the file: nothing is added
  EXPECT_NE(Text().find("<display_fps>60</display_fps>"), std::string::npos);
  EXPECT_EQ(Text().find("default_size"), std::string::npos);
  EXPECT_EQ(config.GetDouble("display_fps"), 30.0);  // the cache is not refreshed
  EXPECT_EQ(Kest_Config::AtPath(path).GetDouble("display_fps"), 60.0);
}

TEST_F(ConfigTest, CorruptFileFallsBackToDefaultsAndIsLeftAlone) {
  const std::string corrupt = "<?xml version=\"1.0\"?>\n<Config><display_fps>45</display_fps><oops\n";
  Write(corrupt);
  Kest_Config config = StartUp(path);
  EXPECT_TRUE(config.FileIsUnreadable());
  EXPECT_EQ(config.GetDouble("display_fps"), 30.0);
  EXPECT_EQ(config.GetString("default_setting"), "AAAAEgAAAAo=");
  config.SetInt("display_fps", 99);
  EXPECT_EQ(Text(), corrupt);
}

TEST_F(ConfigTest, NumbersAreWrittenInShortForm) {
  EXPECT_EQ(Kest_Config::FormatDouble(440.0), "440");
  EXPECT_EQ(Kest_Config::FormatDouble(0.75), "0.75");
  EXPECT_EQ(Kest_Config::FormatDouble(1e-7), "1e-07");
}

TEST(UserFolder, FollowsAppDataThenXdgThenHome) {
  const fs::path base = fs::temp_directory_path() / ("tessaro-folder-" + std::to_string(::getpid()));
  fs::remove_all(base);
  const char* saved[] = {std::getenv("APPDATA"), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")};
  const std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "", saved[2] ? saved[2] : ""};
  setenv("APPDATA", (base / "appdata").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (base / "xdg").c_str(), 1);
  setenv("HOME", (base / "home").c_str(), 1);
  EXPECT_EQ(UserFolder(), (base / "appdata" / "Kest-Audio").string() + "/");
  EXPECT_TRUE(fs::is_directory(base / "appdata" / "Kest-Audio"));
  unsetenv("APPDATA");
  EXPECT_EQ(UserFolder(), (base / "xdg" / "Kest-Audio").string() + "/");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserFolder(), (base / "home" / ".config" / "Kest-Audio").string() + "/");
  const char* names[] = {"APPDATA", "XDG_CONFIG_HOME", "HOME"};
  for (int i = 0; i < 3; ++i) {
    if (saved[i])
      setenv(names[i], keep[i].c_str(), 1);
    else
      unsetenv(names[i]);
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace tessaro
