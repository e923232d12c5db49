// tessaro render and tessaro demo: offline processing of an audio file through
// any VST 2.4 effect, with a loudness report of what went in and came out.
#pragma once

#include <span>
#include <string>

namespace tessaro::cli {

// Exit codes of render and demo, on top of the shared ones (0 ok, 1 failure,
// 2 usage). Each error has its own code so a batch script can tell them apart.
enum RenderExitCode : int {
  kExitInput = 3,        // IN missing, not a file or unreadable
  kExitFormat = 4,       // IN not an audio file we can decode, or OUT's type/depth not writable
  kExitChannels = 5,     // more than two channels, or a plug-in without enough inputs/outputs
  kExitUnknownName = 6,  // --set names no parameter, --program no program
  kExitValue = 7,        // --set value out of range or not one of the parameter's texts
  kExitPlugin = 8,       // the plug-in did not load or start
  kExitSameFile = 9,     // OUT is IN
  kExitOutput = 10,      // OUT could not be written (folder missing, disk full, rename failed)
  kExitPreset = 11,      // --preset: library unreadable, no such entry, or the plug-in refused it
};

int RunRender(std::span<const std::string> args);
int RunDemo(std::span<const std::string> args);

}  // namespace tessaro::cli
