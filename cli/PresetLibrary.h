// Reads one entry of an XML preset library (root "Presets", one "preset"
// element per entry with "category" and "preset" attributes and the state as
// base64 text). Only what `render --preset` needs: find an entry by name and
// decode its state. Kept behind this small interface so the plug-in's own
// library reader in settings/ can take its place without touching render.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::cli {

struct PresetLookup {
  bool found = false;
  std::string error;                // why not, when !found
  std::string category, name;       // of the entry found
  std::vector<std::uint8_t> state;  // the decoded plug-in state
};

// name is either the entry's name or "CATEGORY/NAME"; a name used in more
// than one category must be given with its category.
PresetLookup FindPreset(const std::string& file, const std::string& name);

}  // namespace tessaro::cli
