// The tessaro executable: `info` on the probe, whose every answer is known,
// and the command line's usage and failure handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RunCommand.h"

namespace tessaro::testing {
namespace {

TEST(CliInfo, DescribesTheProbeCompletely) {
  const CommandResult r = RunTessaro({"info", TESSARO_PROBE_PATH});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> lines = {
      std::string("file:            ") + TESSARO_PROBE_PATH,
      "name:            Host Probe",
      "vendor:          Tessaro Test",
      "product:         Probe Product",
      "vendor version:  4321",
      "unique id:       'PrbE' (0x50726245)",
      "io:              2 in / 2 out",
      "flags:           0x00001230 (can-replacing, program-chunks, no-sound-in-stop, "
      "can-double-replacing)",
      "latency:         64 samples at 44100 Hz",
      "category:        4 (mastering)",
      "vst version:     2400",
      "parameters:      3",
      "programs:        2",
      "parameters:",
      "  index  name     display  label  automatable",
      "      0  Gain     0.50     dB     yes",
      "      1  Mode     0.00            no",
      "      2  Ceiling  1.00     dBTP   yes",
      "programs:",
      "  index  name",
      "      0  Gentle",
      "      1  Loud",
  };
  // Each expected line on a line of its own, in this order.
  const std::vector<std::string> out = Lines(r.out);
  auto next = out.begin();
  for (const auto& line : lines) {
    const auto found = std::find(next, out.end(), line);
    EXPECT_NE(found, out.end()) << "missing or out of order: '" << line << "'\n" << r.out;
    if (found != out.end()) next = found + 1;
  }
}

TEST(CliInfo, SampleRateOptionReachesTheReport) {
  const CommandResult r =
      RunTessaro({"info", "--sample-rate", "48000", "--block-size", "64", TESSARO_PROBE_PATH});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(HasLine(r.out, "latency:         64 samples at 48000 Hz")) << r.out;
}

struct UsageCase {
  const char* label;
  std::vector<std::string> args;
  int exitCode;
  std::string mention;  // on stdout for success, stderr otherwise
};

TEST(CliUsage, ExitCodesAndMessages) {
  const UsageCase cases[] = {
      {"no command", {}, 2, "usage: tessaro <command>"},
      {"help", {"--help"}, 0, "usage: tessaro <command>"},
      {"help lists info", {"-h"}, 0, "  info [options] PLUGIN.so"},
      {"unknown command", {"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {"info help", {"info", "--help"}, 0, "usage: tessaro info"},
      {"info without plug-in", {"info"}, 2, "no plug-in given"},
      {"unknown option", {"info", "--bogus", TESSARO_PROBE_PATH}, 2, "unknown option '--bogus'"},
      {"bad sample rate",
       {"info", "--sample-rate", "fast", TESSARO_PROBE_PATH},
       2,
       "--sample-rate"},
      {"missing value",
       {"info", TESSARO_PROBE_PATH, "--block-size"},
       2,
       "--block-size needs a value"},
      {"fractional block", {"info", "--block-size", "1.5", TESSARO_PROBE_PATH}, 2, "whole number"},
      {"two plug-ins", {"info", TESSARO_PROBE_PATH, TESSARO_PROBE_PATH}, 2, "only one plug-in"},
      {"missing file", {"info", "/nonexistent/x.so"}, 1, "cannot load /nonexistent/x.so"},
      {"not a VST", {"info", TESSARO_PROBE_NO_ENTRY_PATH}, 1, "neither VSTPluginMain nor main"},
      {"wrong magic", {"info", TESSARO_PROBE_BAD_MAGIC_PATH}, 1, "VST magic"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const CommandResult r = RunTessaro(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
    if (c.exitCode == 0) {
      EXPECT_NE(r.out.find(c.mention), std::string::npos) << r.out;
    } else {
      EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
    }
  }
}

}  // namespace
}  // namespace tessaro::testing
