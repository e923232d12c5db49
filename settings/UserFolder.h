// The maker's folder for user files (preset library, configuration):
// $APPDATA/Kest-Audio/ when APPDATA is set, else $XDG_CONFIG_HOME/Kest-Audio/,
// else ~/.config/Kest-Audio/. Created when missing.
#pragma once

#include <string>

namespace tessaro {

// The folder with a trailing '/'; empty when no home folder can be found.
// Creates the folder (and its parents) when missing. Any thread; allocates.
std::string UserFolder();

}  // namespace tessaro
