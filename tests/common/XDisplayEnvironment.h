// One X display for a whole test program, as a desktop session would have:
// a private Xvfb when DISPLAY is unset, the caller's display otherwise.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/VirtualDisplay.h"

namespace tessaro::testing {

class XDisplayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string error;
    display_ = host::VirtualDisplay::Ensure(&error);
    ASSERT_NE(display_, nullptr) << error;
  }
  void TearDown() override { display_.reset(); }

 private:
  std::unique_ptr<host::VirtualDisplay> display_;
};

}  // namespace tessaro::testing
