#include "settings/Kest_PresetXML.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <system_error>

#include "settings/UserFolder.h"

namespace tessaro {
namespace {

constexpr const char* kRootName = "Presets";
constexpr const char* kElementName = "preset";
constexpr const char* kCategoryAttribute = "category";
constexpr const char* kNameAttribute = "preset";
constexpr const char* kClipboardTag = "ClipboardPreset:{";

bool Opens(const std::string& path) {
  if (path.empty()) return false;
  // Only plain files: a stored path naming a FIFO or a device would block
  // the plug-in (and with it the host) inside the open.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in);
}

// The element's own value, else that of its first text or CDATA child.
std::string NodeText(const pugi::xml_node& node) {
  if (*node.value()) return node.value();
  for (pugi::xml_node child : node.children())
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return child.value();
  return {};
}

std::vector<PresetEntry> ReadEntries(const pugi::xml_node& root) {
  std::vector<PresetEntry> entries;
  for (pugi::xml_node child : root.children()) {
    if (child.type() != pugi::node_element) continue;
    entries.push_back({child.attribute(kCategoryAttribute).value(), child.attribute(kNameAttribute).value(),
                       NodeText(child)});
  }
  return entries;
}

std::vector<std::string> SortedCategories(const std::vector<PresetEntry>& entries) {
  std::vector<std::string> categories;
  for (const PresetEntry& e : entries)
    if (!e.category.empty()) categories.push_back(e.category);
  std::sort(categories.begin(), categories.end());
  categories.erase(std::unique(categories.begin(), categories.end()), categories.end());
  return categories;
}

bool IsLibrary(const pugi::xml_document& doc) {
  return std::strcmp(doc.document_element().name(), kRootName) == 0;
}

void AppendPreset(pugi::xml_node root, const std::string& category, const std::string& name,
                  const std::string& data) {
  pugi::xml_node node = root.append_child(kElementName);
  node.append_attribute(kCategoryAttribute).set_value(category.c_str());
  node.append_attribute(kNameAttribute).set_value(name.c_str());
  if (!data.empty()) node.append_child(pugi::node_pcdata).set_value(data.c_str());
}

pugi::xml_node FindByName(pugi::xml_node root, const std::string& name) {
  for (pugi::xml_node child : root.children(kElementName))
    if (name == child.attribute(kNameAttribute).value()) return child;
  return {};
}

// The category stays the first attribute even when a hand-written element
// lacked it.
void SetCategory(pugi::xml_node node, const std::string& category) {
  pugi::xml_attribute attribute = node.attribute(kCategoryAttribute);
  if (!attribute) attribute = node.prepend_attribute(kCategoryAttribute);
  attribute.set_value(category.c_str());
}

void SetName(pugi::xml_node node, const std::string& name) {
  pugi::xml_attribute attribute = node.attribute(kNameAttribute);
  if (!attribute) attribute = node.append_attribute(kNameAttribute);
  attribute.set_value(name.c_str());
}

void SetText(pugi::xml_node node, const std::string& text) {
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      child.set_value(text.c_str());
      return;
    }
  }
  node.append_child(pugi::node_pcdata).set_value(text.c_str());
}

// A document of the file in use that is still a library, or false.
bool ParseLibrary(const std::string& path, pugi::xml_document& doc) {
  return doc.load_file(path.c_str()) && IsLibrary(doc);
}

}  // namespace

std::string NormalisePresetPath(const std::string& path, bool recreate, const std::string& folder) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t backslash = path.find_last_of('\\');
  if (slash != std::string::npos) {
    if (Opens(path)) return path;
    const std::size_t last = backslash != std::string::npos && backslash > slash ? backslash : slash;
    return folder + path.substr(last + 1);
  }
  // '\' is no separator here: such a path was written on Windows.
  if (backslash != std::string::npos) return folder + path.substr(backslash + 1);
  // A bare name never means the host's working directory: a stored state
  // must not make us create files wherever the host happens to run.
  if (path.empty()) return recreate ? folder : path;
  return folder + path;
}

std::string CleanPresetText(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 32 && byte <= 126) clean += c;
  }
  return clean;
}

bool PresetDataToState(const std::string& data, IStateChunk* state) {
  const std::string clean = CleanPresetText(data);
  const int size = static_cast<int>(clean.size());
  if (size < Kest_PresetXML::kMinDataLength) return false;
  // As long as the text: the reader must find zeros, not the end, after a
  // state that was stored with padding.
  state->Clear();
  state->Resize(size);
  return DecodeBase64(clean.c_str(), state->Data(), size) > 0;
}

std::string FormatClipboardPreset(const std::string& effectName, const std::string& name,
                                  const std::string& data) {
  return effectName + kClipboardTag + name + "}" + data;
}

bool ParseClipboardPreset(const std::string& effectName, const std::string& text, std::string* name,
                          std::string* data) {
  const std::string clean = CleanPresetText(text);
  if (clean.rfind(effectName + kClipboardTag, 0) != 0) return false;
  const std::size_t open = clean.find('{');
  const std::size_t close = clean.find('}');
  if (close == std::string::npos || close < open) return false;
  *name = clean.substr(open + 1, close - open - 1);
  *data = clean.substr(close + 1);
  return true;
}

bool ReadPresetLibrary(const std::string& path, std::vector<PresetEntry>* entries, std::string* error) {
  pugi::xml_document doc;
  const pugi::xml_parse_result result = doc.load_file(path.c_str());
  if (!result) {
    if (error) *error = "cannot read " + path + ": " + result.description();
    return false;
  }
  if (!IsLibrary(doc)) {
    if (error)
      *error = path + " is not a preset library (root element <" + doc.document_element().name() +
               ">, not <" + kRootName + ">)";
    return false;
  }
  *entries = ReadEntries(doc.document_element());
  return true;
}

bool DescribePresetLibrary(const std::string& path, std::string* text) {
  std::vector<PresetEntry> entries;
  std::string error;
  if (!ReadPresetLibrary(path, &entries, &error)) {
    *text = error;
    return false;
  }
  const auto group = [&](const std::string& category, const std::string& title) {
    std::vector<std::string> names;
    for (const PresetEntry& e : entries)
      if (e.category == category && e.name != Kest_PresetXML::kPlaceholderName) names.push_back(e.name);
    std::string out = title + " (" + std::to_string(names.size()) + "):\n";
    for (const std::string& n : names) out += "  " + n + "\n";
    return out;
  };
  *text = path + ": " + std::to_string(entries.size()) + (entries.size() == 1 ? " entry\n" : " entries\n");
  for (const std::string& c : SortedCategories(entries)) *text += group(c, c);
  const bool uncategorised = std::any_of(entries.begin(), entries.end(), [](const PresetEntry& e) {
    return e.category.empty() && e.name != Kest_PresetXML::kPlaceholderName;
  });
  if (uncategorised) *text += group("", "(no category)");
  return true;
}

Kest_PresetXML::Kest_PresetXML(PresetHost& host, std::string effectName)
    : Kest_PresetXML(host, std::move(effectName), UserFolder()) {}

Kest_PresetXML::Kest_PresetXML(PresetHost& host, std::string effectName, std::string folder)
    : host_(host), effectName_(std::move(effectName)), folder_(std::move(folder)) {}

std::string Kest_PresetXML::DefaultPresetPath() const {
  return folder_ + effectName_ + "_preset_DEFAULT.xml";
}

bool Kest_PresetXML::OpenDefaultPresetFile(const std::string& defaultStateText) {
  LoadPresetFile(DefaultPresetPath(), true);
  if (!defaultStateText.empty()) UpdatePreset(kSaveData, defaultStateText);
  return loaded_;
}

bool Kest_PresetXML::LoadPresetFile(const std::string& path, bool recreate) {
  const std::string file = NormalisePresetPath(path, recreate, folder_);
  if (!Opens(file)) CreatePresetFile(file, recreate);
  path_ = file;
  pugi::xml_document doc;
  if (!doc.load_file(file.c_str())) return false;

  std::lock_guard<std::recursive_mutex> lock(host_.StateMutex());
  current_ = 0;
  if (IsLibrary(doc)) {
    entries_ = ReadEntries(doc.document_element());
    reference_ = entries_.empty() ? std::string() : entries_.front().data;
    loaded_ = true;
    return true;
  }
  const auto& programs = host_.BuiltInProgramTexts();
  entries_.assign(1, {"", kErrorEntryName, programs.empty() ? std::string() : programs.front().first});
  reference_.clear();
  return false;
}

bool Kest_PresetXML::CreatePresetFile(const std::string& path, bool allPrograms) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << kSkeleton;
  }
  pugi::xml_document doc;
  if (!ParseLibrary(path, doc)) return false;
  pugi::xml_node root = doc.document_element();
  const auto& programs = host_.BuiltInProgramTexts();
  const int slots = allPrograms ? host_.ProgramCount() : 1;
  for (int slot = 0; slot < slots; ++slot) {
    const bool listed = slot < static_cast<int>(programs.size());
    const std::string category = allPrograms && listed ? programs[slot].second : std::string();
    AppendPreset(root, category, host_.ProgramName(slot), listed ? programs[slot].first : std::string());
  }
  return doc.save_file(path.c_str());
}

const PresetEntry* Kest_PresetXML::CurrentEntry() const {
  if (current_ < 0 || current_ >= static_cast<int>(entries_.size())) return nullptr;
  return &entries_[current_];
}

void Kest_PresetXML::MakeCurrent(int index) {
  current_ = index;
  const PresetEntry* entry = CurrentEntry();
  reference_ = entry ? entry->data : std::string();
}

std::string Kest_PresetXML::CurrentStateText() {
  IStateChunk chunk;
  host_.WriteState(chunk);
  return chunk.ToBase64();
}

bool Kest_PresetXML::LoadStateText(const std::string& data) {
  IStateChunk state;
  if (!PresetDataToState(data, &state)) return false;
  // The state reader changes some fields before it can tell a state is
  // broken, so a failed load is undone from a copy.
  IStateChunk before;
  const bool saved = host_.WriteState(before);
  applying_ = true;
  const int end = host_.ReadState(state);
  const bool ok = end >= 0 && 2LL * end >= state.Size();
  if (!ok && saved) host_.ReadState(before);
  applying_ = false;
  if (ok) reference_ = CurrentStateText();
  return ok;
}

bool Kest_PresetXML::ApplyPreset(int index) {
  bool ok = false;
  if (index >= 0 && index < static_cast<int>(entries_.size())) {
    const std::string data = entries_[index].data;
    ok = LoadStateText(data);
  }
  checkPending_ = true;
  return ok;
}

bool Kest_PresetXML::SelectPreset(int index) {
  if (!ApplyPreset(index)) return false;
  current_ = index;
  return true;
}

bool Kest_PresetXML::StepPreset(int direction) {
  const int count = static_cast<int>(entries_.size());
  if (count == 0 || direction == 0) return false;
  const int step = direction > 0 ? 1 : count - 1;
  const int start = std::clamp(current_, 0, count - 1);
  for (int k = 1, i = (start + step) % count; k < count; ++k, i = (i + step) % count)
    if (entries_[i].name != kPlaceholderName) return SelectPreset(i);
  return false;
}

bool Kest_PresetXML::UpdatePreset(int mode, const std::string& text) {
  pugi::xml_document doc;
  if (!ParseLibrary(path_, doc)) return false;
  pugi::xml_node root = doc.document_element();
  const PresetEntry* entry = CurrentEntry();
  if (!entry && mode != kDeleteCategory) return false;
  const PresetEntry current = entry ? *entry : PresetEntry{};
  switch (mode) {
    case kMoveToCategory:
      if (text == current.category) return false;
      if (pugi::xml_node node = FindByName(root, current.name)) SetCategory(node, text);
      entries_[current_].category = text;
      return doc.save_file(path_.c_str());
    case kRenamePreset:
      if (text == current.name) return false;
      if (pugi::xml_node node = FindByName(root, current.name)) SetName(node, text);
      entries_[current_].name = text;
      return doc.save_file(path_.c_str());
    case kSaveData:
      if (text == current.data) return false;
      if (pugi::xml_node node = FindByName(root, current.name)) SetText(node, text);
      entries_[current_].data = text;
      reference_ = text;  // the sound now is what the preset holds
      checkPending_ = true;
      return doc.save_file(path_.c_str());
    case kRenameCategory: {
      for (pugi::xml_node node : root.children(kElementName))
        if (current.category == node.attribute(kCategoryAttribute).value()) SetCategory(node, text);
      if (!doc.save_file(path_.c_str())) return false;
      // Renaming keeps the order, so the entry in use and what it was applied
      // with stay as they were.
      const int keep = current_;
      const std::string reference = reference_;
      if (!Reload()) return false;
      if (keep < static_cast<int>(entries_.size())) {
        current_ = keep;
        reference_ = reference;
      }
      return true;
    }
    case kDeleteCategory:
      for (pugi::xml_node node : root.children(kElementName)) {
        if (text == node.attribute(kCategoryAttribute).value()) {
          root.remove_child(node);
          break;
        }
      }
      if (!doc.save_file(path_.c_str())) return false;
      return Reload();
    default:
      return false;
  }
}

bool Kest_PresetXML::AddPreset(const std::string& text) {
  if (entryMode_ != kNewPreset && entryMode_ != kNewCategory) return false;
  pugi::xml_document doc;
  if (!ParseLibrary(path_, doc)) return false;
  const PresetEntry* entry = CurrentEntry();
  const bool newPreset = entryMode_ == kNewPreset;
  const std::string category = newPreset ? (entry ? entry->category : std::string()) : text;
  AppendPreset(doc.document_element(), category, newPreset ? text : std::string(kPlaceholderName),
               CurrentStateText());
  if (!doc.save_file(path_.c_str()) || !Reload()) return false;
  MakeCurrent(static_cast<int>(entries_.size()) - 1);
  checkPending_ = true;
  return true;
}

bool Kest_PresetXML::DeletePreset(const std::string& name) {
  pugi::xml_document doc;
  if (!ParseLibrary(path_, doc)) return false;
  pugi::xml_node root = doc.document_element();
  const pugi::xml_node node = FindByName(root, name);
  const bool removed = node && root.remove_child(node);
  if (!doc.save_file(path_.c_str())) return false;
  Reload();
  checkPending_ = true;
  return removed;
}

bool Kest_PresetXML::DeleteCategory(const std::string& category, std::string* message) {
  const auto presets = std::count_if(entries_.begin(), entries_.end(), [&](const PresetEntry& e) {
    return e.category == category && e.name != kPlaceholderName;
  });
  if (presets == 0) return UpdatePreset(kDeleteCategory, category);
  if (message)
    *message = "Category has " + std::to_string(presets) + " presets.  Must be empty to delete category.";
  return false;
}

bool Kest_PresetXML::RecreateDefaultPresetFile(std::string* message) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char formatted[64] = {};
  std::strftime(formatted, sizeof formatted, "%d-%m-%Y %H:%M:%S", &local);
  std::string stamp;
  for (const char* p = formatted; *p; ++p)
    if (*p != ':' && *p != '-') stamp += *p;

  const std::string backup = folder_ + effectName_ + " " + stamp + "_preset_DEFAULT.xml";
  std::error_code error;
  std::filesystem::rename(DefaultPresetPath(), backup, error);
  const bool ok = !error && LoadPresetFile(DefaultPresetPath(), true);
  if (message) *message = ok ? "Presets recreated." : "File error. Rename manually.";
  return ok;
}

bool Kest_PresetXML::CompleteTextEntry(const std::string& text) {
  const std::string entered = text.substr(0, kMaxEntryLength);
  switch (entryMode_) {
    case kNewPreset:
    case kNewCategory:
      return AddPreset(entered);
    case kRenameCategory:
    case kRenamePreset:
      return UpdatePreset(entryMode_, entered);
    default:
      return false;
  }
}

std::string Kest_PresetXML::ClipboardText() {
  const PresetEntry* entry = CurrentEntry();
  return FormatClipboardPreset(effectName_, entry ? entry->name : std::string(), CurrentStateText());
}

bool Kest_PresetXML::LoadClipboardText(const std::string& text) {
  std::string name, data;
  bool ok = ParseClipboardPreset(effectName_, text, &name, &data) && LoadStateText(data);
  if (ok) {
    std::lock_guard<std::recursive_mutex> lock(host_.StateMutex());
    entries_.push_back({"", name, data});
    current_ = static_cast<int>(entries_.size()) - 1;
  }
  checkPending_ = true;
  return ok;
}

void Kest_PresetXML::RestoreFromState(const std::string& path, int entry) {
  if (applying_) return;
  // A state names a library, it does not ask for one to be made: a project
  // from another machine, or a corrupt chunk, must not leave files behind.
  // A library that is not here gives the default one.
  const std::string file = NormalisePresetPath(path, false, folder_);
  if (file.empty() || !Opens(file) || !LoadPresetFile(file, false)) OpenDefaultPresetFile(std::string());
  MakeCurrent(entry);
}

void Kest_PresetXML::FrameDrawn(bool mouseButtonHeld, int frameRate) {
  if (!checkPending_ || mouseButtonHeld) return;
  if (++frameCounter_ <= 4 * frameRate) return;
  frameCounter_ = 0;
  modified_ = !host_.StateMatchesText(reference_);
  checkPending_ = false;
}

std::string Kest_PresetXML::DisplayName() const {
  if (!loaded_ || entries_.empty()) return {};
  const int index = std::clamp(current_, 0, static_cast<int>(entries_.size()) - 1);
  return entries_[index].name + (modified_ ? "*" : "");
}

std::vector<std::string> Kest_PresetXML::Categories() const { return SortedCategories(entries_); }

}  // namespace tessaro
