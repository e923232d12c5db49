// The maker's folder for user files (preset library, configuration):
// $APPDATA/Kest-Audio/ when APPDATA is set, else $XDG_CONFIG_HOME/Kest-Audio/,
// else ~/.config/Kest-Audio/ (the home folder from the user database when HOME
// is unset, the temporary folder as a last resort). Created when missing.
#pragma once

#include <string>

namespace tessaro {

// The folder with a trailing '/'; empty only when no folder at all can be found.
// Creates the folder (and its parents) when missing. Any thread; allocates.
std::string UserFolder();

}  // namespace tessaro
