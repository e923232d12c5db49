// The user's preset library: an XML file of presets in categories, each
// preset holding a whole plug-in state as base64 text.
//
//   <Presets>
//     <preset category="Loud" preset="Punch">base64 state</preset>
//     ...
//   </Presets>
//
// The manager keeps the file's entries in memory (rebuilt from the file after
// every edit that reloads), the entry in use, the file in use, and the state
// text the entry in use was applied with, against which the editor shows
// whether the sound has been changed since. A preset named "empty" is a
// placeholder that keeps an otherwise empty category alive.
//
// The plug-in reaches the manager through `PresetHost`, so this folder knows
// nothing of the plug-in class. Editor thread unless noted; the list is
// rebuilt under the plug-in lock because host calls may read the state
// meanwhile. Every operation that touches the file allocates.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/IStateChunk.h"

namespace tessaro {

// What the manager needs of the plug-in. The names are distinct from the
// plug-in base's own so a plug-in class may implement it directly.
class PresetHost {
 public:
  virtual ~PresetHost() = default;
  // Appends the plug-in state to the chunk (the plug-in's SaveState).
  virtual bool WriteState(IStateChunk& chunk) = 0;
  // Loads a state from position 0 and returns the position after it, -1 on
  // failure (the plug-in's LoadState).
  virtual int ReadState(const IStateChunk& chunk) = 0;
  // True when the current sound settings equal those of the base64 state.
  virtual bool StateMatchesText(const std::string& reference) = 0;
  // (base64 state, second text) per built-in program, in creation order.
  virtual const std::vector<std::pair<std::string, std::string>>& BuiltInProgramTexts() = 0;
  virtual int ProgramCount() = 0;
  virtual std::string ProgramName(int slot) = 0;
  // The plug-in lock (recursive).
  virtual std::recursive_mutex& StateMutex() = 0;
};

struct PresetEntry {
  std::string category;  // empty: no category
  std::string name;
  std::string data;  // base64 state
  bool operator==(const PresetEntry&) const = default;
};

class Kest_PresetXML {
 public:
  static constexpr const char* kPlaceholderName = "empty";
  static constexpr const char* kErrorEntryName = "Error loading file";
  static constexpr const char* kSkeleton = "<?xml version=\"1.0\"?>\n<Presets>\n</Presets>\n";
  static constexpr int kMinDataLength = 101;  // shorter texts cannot hold a state
  static constexpr int kMaxEntryLength = 256;

  // The pending operation of a text entry, and the modes of UpdatePreset.
  enum Mode : int {
    kMoveToCategory = 0,
    kRenameCategory = 1,
    kRenamePreset = 2,
    kSaveData = 3,
    kNewPreset = 4,
    kNewCategory = 5,
    kDeleteCategory = 6,
  };

  // effectName names the default file: <user folder><effectName>_preset_DEFAULT.xml.
  // The folder is read now; nothing touches the disk until a file is opened.
  Kest_PresetXML(PresetHost& host, std::string effectName);
  // For tests: a preset folder given explicitly (with a trailing '/').
  Kest_PresetXML(PresetHost& host, std::string effectName, std::string folder);

  const std::string& Folder() const { return folder_; }
  std::string DefaultPresetPath() const;

  // Loads the default file, creating it with one entry per program slot when
  // missing; a non-empty state text is then saved into its first entry.
  // Returns whether a file has been loaded. Constructor or LoadState.
  bool OpenDefaultPresetFile(const std::string& defaultStateText);
  // Normalises the path, creates the file when missing (with every program
  // slot when recreate is set, else a single entry) and reads it.
  bool LoadPresetFile(const std::string& path, bool recreate);
  // Writes a new library: every program slot, or only slot 0.
  bool CreatePresetFile(const std::string& path, bool allPrograms);

  // Loads entry i into the plug-in. Data that is too short or does not load
  // leaves the plug-in state as it was. Always makes the modification check
  // pending.
  bool ApplyPreset(int index);
  // ApplyPreset, and on success the entry becomes current (menu choice).
  bool SelectPreset(int index);
  // The arrow buttons: direction +1 or -1, wrapping, skipping placeholders.
  bool StepPreset(int direction);

  // Edits of the file in use; see Mode. False when nothing was saved.
  bool UpdatePreset(int mode, const std::string& text);
  // A new preset named text in the current category (kNewPreset), or a new
  // category named text holding a placeholder (kNewCategory), from the current
  // state; it becomes current. Uses the pending text-entry mode.
  bool AddPreset(const std::string& text);
  bool DeletePreset(const std::string& name);
  // Removes a category that holds only its placeholder; otherwise false with
  // the message for the user in *message.
  bool DeleteCategory(const std::string& category, std::string* message = nullptr);
  // Renames the default file with a time stamp and recreates it from the
  // program slots. *message gets the text for the editor's message line.
  bool RecreateDefaultPresetFile(std::string* message = nullptr);

  // The pending text entry: SetEntryMode when the menu opens the entry,
  // CompleteTextEntry with what the user typed.
  void SetEntryMode(int mode) { entryMode_ = mode; }
  int EntryMode() const { return entryMode_; }
  bool CompleteTextEntry(const std::string& text);

  // SaveState of the plug-in, in base64.
  std::string CurrentStateText();

  // Clipboard texts: "<effect>ClipboardPreset:{<name>}<state>".
  std::string ClipboardText();
  // Loads the state of a clipboard text and appends it as an in-memory entry
  // (the file is not changed), which becomes current.
  bool LoadClipboardText(const std::string& text);

  // The state's preset fields, from LoadState (plug-in lock held): switches to
  // the stored file (the default file when it cannot be loaded) and entry.
  // Ignored while a preset is being applied, whose own stored file must not
  // take the library away from under it.
  void RestoreFromState(const std::string& path, int entry);

  // Modification check: pending after a preset was applied or a parameter
  // changed; decided some seconds later, once the user has let go.
  void RequestModificationCheck() { checkPending_ = true; }
  // Once per drawn frame.
  void FrameDrawn(bool mouseButtonHeld, int frameRate);
  bool Modified() const { return modified_; }
  bool CheckPending() const { return checkPending_; }

  // The current entry's name, "*" appended when modified; empty before a
  // file has been loaded.
  std::string DisplayName() const;

  const std::vector<PresetEntry>& Entries() const { return entries_; }
  int CurrentIndex() const { return current_; }
  void SetCurrentIndex(int index) { current_ = index; }
  const std::string& Path() const { return path_; }
  bool Loaded() const { return loaded_; }
  const std::string& ReferenceState() const { return reference_; }
  // Distinct non-empty categories, sorted.
  std::vector<std::string> Categories() const;

 private:
  const PresetEntry* CurrentEntry() const;
  bool Reload() { return LoadPresetFile(path_, false); }
  // Makes entry i current with its data as the reference.
  void MakeCurrent(int index);
  bool LoadStateText(const std::string& data);

  PresetHost& host_;
  std::string effectName_;
  std::string folder_;
  std::vector<PresetEntry> entries_;
  int current_ = 0;
  std::string path_;
  bool loaded_ = false;
  std::string reference_;
  bool modified_ = false;
  bool checkPending_ = false;
  int frameCounter_ = 0;
  int entryMode_ = kNewPreset;
  bool applying_ = false;
};

// The path a preset file is opened at. A path that opens as given is used as
// is. One written on another machine (a '/' or '\' path that does not open
// here) names the file of that name in the preset folder, and so does a bare
// file name. An empty path stays empty unless recreation is allowed.
std::string NormalisePresetPath(const std::string& path, bool recreate, const std::string& folder);

// Preset data with every byte above 126 and every control character removed.
std::string CleanPresetText(const std::string& text);
// The state bytes of a preset's data, zero-padded to the data's length as the
// state reader expects; false when the data is too short to hold a state.
bool PresetDataToState(const std::string& data, IStateChunk* state);

std::string FormatClipboardPreset(const std::string& effectName, const std::string& name,
                                  const std::string& data);
// False when the text is not a preset of this effect.
bool ParseClipboardPreset(const std::string& effectName, const std::string& text, std::string* name,
                          std::string* data);

// Reads a library at exactly this path (no folder rewriting, nothing
// created). False with a reason when it does not parse or is no library.
bool ReadPresetLibrary(const std::string& path, std::vector<PresetEntry>* entries, std::string* error);
// A listing for the command line: the file and its entry count, then each
// category (sorted) with its presets in file order, then the presets without
// category. False with the reason in *text when the file is no library.
bool DescribePresetLibrary(const std::string& path, std::string* text);

}  // namespace tessaro
