// The folders the editor's platform operations name, as a Linux desktop has
// them: the host's and the plug-in's folders, the XDG user directories
// (Desktop, Documents) and the application-data folders. Each ends in '/'.
#pragma once

#include <string>

namespace tessaro::paths {

std::string HostFolder();
std::string PluginFolder();
// From $XDG_CONFIG_HOME/user-dirs.dirs (XDG_DESKTOP_DIR, XDG_DOCUMENTS_DIR),
// else ~/Desktop and ~/Documents.
std::string DesktopFolder();
std::string DocumentsFolder();
// $XDG_DATA_HOME (~/.local/share) for the user, /usr/local/share for all.
std::string AppDataFolder(bool allUsers);

// The value of key (say "XDG_DOCUMENTS_DIR") in the text of a user-dirs.dirs
// file, with $HOME expanded; empty when absent or malformed.
std::string UserDirFromText(const std::string& text, const std::string& key, const std::string& home);

}  // namespace tessaro::paths
