// Loads the built plug-in through the host library, as a DAW would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/VstHost.h"

namespace tessaro::testing {

inline std::unique_ptr<host::Plugin> LoadPlugin(const host::HostOptions& options = {}) {
  std::string error;
  auto plugin = host::Plugin::Load(TESSARO_PLUGIN_PATH, options, &error);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin = LoadPlugin();
    ASSERT_TRUE(plugin);
    plugin->Start();
  }
  // "Bypass" on and its fade over (a suspend and resume resets processing),
  // so the callbacks must pass audio through untouched.
  void Bypass() {
    plugin->SetParameter(18, 1.0f);
    plugin->Suspend();
    plugin->Resume();
  }
  std::intptr_t Dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                         float opt = 0.0f) {
    return plugin->Dispatch(opcode, index, value, ptr, opt);
  }
  std::unique_ptr<host::Plugin> plugin;
};

}  // namespace tessaro::testing
