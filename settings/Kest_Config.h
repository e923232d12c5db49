// The user's configuration file: settings that belong to the user rather
// than to a project (the starting state, float dither, the editor frame rate,
// the analyser's tuning pitch and gain mode). An XML document whose root
// `Config` holds one element per key, the element's text being the value.
//
// Reads look keys up by substring in file order and append a missing key with
// its default; setters only change elements that exist. A file that does not
// parse is never written: reads then fall back to the defaults, so a user's
// hand-edited file survives a typo.
//
// Editor or constructor thread; every operation may touch the file.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tessaro {

class Kest_Config {
 public:
  // The skeleton a missing file is created with; its closing tag is broken
  // on purpose and reads as an empty root.
  static constexpr const char* kSkeleton = "<?xml version=\"1.0\"?> \n <Config> \n < / Config> \n";

  // effectName names the file: <user folder><effectName>_CONFIG.xml.
  explicit Kest_Config(const std::string& effectName);
  // For tests: a file at an explicit path.
  static Kest_Config AtPath(const std::string& path);

  const std::string& ConfigPath() const { return path_; }

  void AddDefault(const std::string& key, const std::string& value);
  void AddDefault(const std::string& key, const char* value) { AddDefault(key, std::string(value)); }
  void AddDefault(const std::string& key, double value);
  void AddDefault(const std::string& key, int value);
  void AddDefault(const std::string& key, bool value);

  std::string GetString(const std::string& key);
  // The no-value marker -8675309 for an empty text.
  double GetDouble(const std::string& key);
  bool GetBool(const std::string& key);

  void SetString(const std::string& key, const std::string& text);
  void SetDouble(const std::string& key, double value);
  void SetInt(const std::string& key, int value);
  void SetBool(const std::string& key, bool value);

  // Opens the file in the user's editor without waiting for it. False, with
  // a reason in *why, when no way to open it exists on this machine.
  bool OpenConfigInEditor(std::string* why = nullptr) const;

  // True while the file on disk could not be parsed (it is left alone).
  bool FileIsUnreadable() const { return unreadable_; }

  static std::string FormatDouble(double value);

 private:
  struct Private {};
  Kest_Config(Private, std::string path) : path_(std::move(path)) {}
  void Load();

  std::string path_;
  std::vector<std::pair<std::string, std::string>> cache_;
  bool loaded_ = false;
  bool unreadable_ = false;
  std::vector<std::pair<std::string, std::string>> defaults_;
};

}  // namespace tessaro
