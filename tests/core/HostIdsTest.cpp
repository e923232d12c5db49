#include <gtest/gtest.h>

#include <string>

#include "core/HostIds.h"

namespace tessaro {
namespace {

TEST(HostIds, ProductStringsIdentify) {
  struct Case { const char* product; int id; const char* name; };
  const Case cases[] = {
      {"REAPER", 1, "Reaper"},
      {"Cubase Pro 12", 3, "Cubase"},
      {"Ableton Live logic", 9, "Live"},  // "live" is searched before "logic"
      {"Adobe Audition", 17, "Audition"},
      {"Sony Vegas", 38, "VegasPro"},
      {"Pro Tools", 2, "ProTools"},
      {"Avid Media Composer", 37, "AvidMediaComposer"},
      {"VST3PluginTestHost", 27, "VST3PluginTestHost"},
      {"Fruity Wrapper", 7, "FLStudio"},
      {"Bitwig Studio", 41, "Bitwig"},
      {"", 0, "Unknown"},
      {"tessaro", 0, "Unknown"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IdentifyHost(c.product), c.id) << c.product;
    char buffer[19];
    HostDisplayName(IdentifyHost(c.product), buffer, sizeof buffer);
    EXPECT_STREQ(buffer, c.name) << c.product;
  }
  EXPECT_EQ(IdentifyHost(nullptr), 0);
}

TEST(HostIds, IdsWithoutANameShowUnknown) {
  for (int id : {0, 10, 11, 12, 19, 46, -1}) {
    char buffer[19];
    HostDisplayName(id, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Unknown") << id;
  }
  char buffer[19];
  HostDisplayName(6, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Vegas");
}

TEST(HostIds, OnlyTheFirst255CharactersAreSearched) {
  const std::string product = std::string(255, 'x') + "reaper";
  EXPECT_EQ(IdentifyHost(product.c_str()), 0);
  EXPECT_EQ(IdentifyHost((std::string(249, 'x') + "reaper").c_str()), 1);
}

}  // namespace
}  // namespace tessaro
