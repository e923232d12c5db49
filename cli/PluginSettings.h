// Setting up a loaded plug-in from the command line the way a user would in
// a DAW: choose a program, load a state, type values into parameters.
#pragma once

#include <string>

#include "host/VstHost.h"

namespace tessaro::cli {

// exitCode 0 means it worked; otherwise message says what went wrong.
struct SettingResult {
  int exitCode = 0;
  std::string message;
  explicit operator bool() const { return exitCode == 0; }
};

// N (a program number) or NAME (as the plug-in lists it; case is ignored
// when no name matches exactly).
SettingResult SelectProgram(host::Plugin& plugin, const std::string& which);

// "NAME=VALUE" or "#INDEX=VALUE". VALUE goes to the plug-in as typed text
// (effString2Parameter), so it is one of the parameter's display texts or a
// number in its display units, optionally followed by its unit label. The
// value is accepted when the parameter's display afterwards reads it back:
// either the same text, or a number within half a unit of the display's last
// decimal. Anything else was clamped (out of range) or rounded to a value the
// parameter cannot take.
SettingResult SetParameterText(host::Plugin& plugin, const std::string& assignment);

}  // namespace tessaro::cli
