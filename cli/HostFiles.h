// Files the commands that load a plug-in share: where the plug-in is, and
// program states saved as the raw chunk the plug-in hands out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/PluginSettings.h"
#include "host/VstHost.h"

namespace tessaro::cli {

// Tessaro_v2.so in the folder of this executable: the build puts both there.
std::string DefaultPluginPath();

// Writes data to path under a temporary name in the same folder, synced,
// then renamed over path, so a reader never sees half a file. False with
// *error filled on failure; nothing is left behind then.
bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& data, std::string* error);

// Loads a program state file (what effGetChunk gives for the program) into
// the plug-in's current program with effSetChunk. Fails with kExitPreset when
// the file cannot be read, is empty or absurdly large, the plug-in takes no
// chunks, or it answers the chunk with 0.
SettingResult ApplyStateFile(host::Plugin& plugin, const std::string& path);

// Saves the current program's chunk to path (atomically).
SettingResult SaveStateFile(host::Plugin& plugin, const std::string& path);

}  // namespace tessaro::cli
