#include "settings/Kest_Config.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "settings/UserFolder.h"

extern char** environ;

namespace tessaro {
namespace {

constexpr double kNoValue = -8675309.0;

std::string ReadFile(const std::string& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  *exists = static_cast<bool>(in);
  std::ostringstream text;
  if (*exists) text << in.rdbuf();
  return text.str();
}

// Opens (creating when missing) and parses the file. False when its content
// is neither a document nor our own skeleton: such a file must not be saved over.
bool ParseFile(const std::string& path, pugi::xml_document& doc) {
  bool exists = false;
  std::string text = ReadFile(path, &exists);
  if (!exists) {
    std::ofstream(path, std::ios::binary) << Kest_Config::kSkeleton;
    text = Kest_Config::kSkeleton;
  }
  const pugi::xml_parse_result result = doc.load_buffer(text.data(), text.size());
  if (result) return true;
  if (text == Kest_Config::kSkeleton) {
    // The skeleton's broken closing tag: keep the root parsed before it.
    return doc.child("Config") != nullptr;
  }
  return false;
}

pugi::xml_node Root(pugi::xml_document& doc) {
  pugi::xml_node root = doc.child("Config");
  return root ? root : doc.append_child("Config");
}

bool Contains(const std::string& key, const std::string& name) {
  return !name.empty() && key.find(name) != std::string::npos;
}

bool IsOnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::stringstream dirs(path);
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace

Kest_Config::Kest_Config(const std::string& effectName) : path_(UserFolder() + effectName + "_CONFIG.xml") {}

Kest_Config Kest_Config::AtPath(const std::string& path) { return Kest_Config(Private{}, path); }

std::string Kest_Config::FormatDouble(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

void Kest_Config::AddDefault(const std::string& key, const std::string& value) { defaults_.emplace_back(key, value); }
void Kest_Config::AddDefault(const std::string& key, double value) { AddDefault(key, FormatDouble(value)); }
void Kest_Config::AddDefault(const std::string& key, int value) { AddDefault(key, std::to_string(value)); }
void Kest_Config::AddDefault(const std::string& key, bool value) {
  AddDefault(key, std::string(value ? "true" : "false"));
}

void Kest_Config::Load() {
  pugi::xml_document doc;
  unreadable_ = !ParseFile(path_, doc);
  cache_.clear();
  if (!unreadable_) {
    for (pugi::xml_node child : doc.child("Config").children()) {
      if (child.type() != pugi::node_element) continue;
      cache_.emplace_back(child.name(), child.first_child() ? child.first_child().value() : "");
    }
  }
  loaded_ = true;
}

std::string Kest_Config::GetString(const std::string& key) {
  if (!loaded_) Load();
  for (const auto& [name, text] : cache_)
    if (Contains(key, name)) return text;

  std::string value;
  for (const auto& [defaultKey, text] : defaults_)
    if (Contains(key, defaultKey)) value = text;

  pugi::xml_document doc;
  if (ParseFile(path_, doc)) {
    pugi::xml_node root = Root(doc);
    if (!value.empty()) root.append_child(key.c_str()).append_child(pugi::node_pcdata).set_value(value.c_str());
    doc.save_file(path_.c_str());
    cache_.clear();
    Load();
  } else {
    unreadable_ = true;
  }
  return value;
}

double Kest_Config::GetDouble(const std::string& key) {
  const std::string text = GetString(key);
  if (text.empty()) return kNoValue;
  return std::strtod(text.c_str(), nullptr);
}

bool Kest_Config::GetBool(const std::string& key) { return GetString(key) == "true"; }

void Kest_Config::SetString(const std::string& key, const std::string& text) {
  pugi::xml_document doc;
  if (!ParseFile(path_, doc)) {
    unreadable_ = true;
    return;
  }
  bool changed = false;
  for (pugi::xml_node child : Root(doc).children(key.c_str())) {
    pugi::xml_node value = child.first_child();
    if (value.type() == pugi::node_pcdata && text != value.value()) {
      value.set_value(text.c_str());
      changed = true;
    }
  }
  if (changed) doc.save_file(path_.c_str());
}

void Kest_Config::SetDouble(const std::string& key, double value) { SetString(key, FormatDouble(value)); }
void Kest_Config::SetInt(const std::string& key, int value) { SetString(key, std::to_string(value)); }
void Kest_Config::SetBool(const std::string& key, bool value) { SetString(key, value ? "true" : "false"); }

bool Kest_Config::OpenConfigInEditor(std::string* why) const {
  // The desktop's default application first; without a desktop, a terminal
  // with the user's editor.
  std::vector<std::string> command;
  if (IsOnPath("xdg-open")) {
    command = {"xdg-open", path_};
  } else if (IsOnPath("x-terminal-emulator")) {
    const char* editor = std::getenv("VISUAL") ? std::getenv("VISUAL") : std::getenv("EDITOR");
    command = {"x-terminal-emulator", "-e", editor && *editor ? editor : "vi", path_};
  } else {
    if (why) *why = "neither xdg-open nor a terminal emulator is installed; the file is " + path_;
    return false;
  }
  std::vector<char*> argv;
  for (std::string& arg : command) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  // Spawned through a short-lived intermediate so the editor is never our
  // child: we do not wait for it and leave no zombie behind.
  const pid_t middle = fork();
  if (middle < 0) {
    if (why) *why = "could not start a process to open " + path_;
    return false;
  }
  if (middle == 0) {
    const int rc = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    _exit(rc == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(middle, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (why) *why = std::string("could not run ") + argv[0] + " for " + path_;
    return false;
  }
  return true;
}

}  // namespace tessaro
