#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/IStateChunk.h"
#include "settings/Kest_PresetXML.h"

namespace tessaro {
namespace {

namespace fs = std::filesystem;

// A plug-in with a state in the shape that matters here: a display field
// that the reader applies before it can tell the state is broken, a version,
// the preset-file fields (handed back to the manager, as the real reader
// does) and the sound parameters.
class FakePlugin : public PresetHost {
 public:
  static constexpr int kParams = 12;
  double scale = 1.0;
  std::vector<double> params = std::vector<double>(kParams, 0.0);
  Kest_PresetXML* manager = nullptr;
  int reads = 0;
  std::vector<std::pair<std::string, std::string>> programs;
  std::vector<std::string> names;
  std::recursive_mutex mutex;

  bool WriteState(IStateChunk& chunk) override {
    chunk.PutDouble(scale);
    chunk.PutDouble(20110.0);
    chunk.PutString(manager ? manager->Path() : std::string());
    chunk.PutInt(manager ? manager->CurrentIndex() : 0);
    for (double p : params) chunk.PutDouble(p);
    return true;
  }
  int ReadState(const IStateChunk& chunk) override {
    ++reads;
    double s = 0.0, version = 0.0;
    int position = chunk.GetDouble(&s, 0);
    if (position >= 0) scale = s;
    position = chunk.GetDouble(&version, position);
    if (position < 0 || version == 0.0) return -1;
    std::string path;
    std::int32_t entry = 0;
    position = chunk.GetString(&path, position);
    position = chunk.GetInt(&entry, position);
    if (position >= 0 && manager) manager->RestoreFromState(path, entry);
    for (int i = 0; i < kParams && position >= 0; ++i) {
      double v = 0.0;
      position = chunk.GetDouble(&v, position);
      if (position >= 0) params[i] = v;
    }
    return position;
  }
  bool StateMatchesText(const std::string& reference) override {
    FakePlugin other;
    IStateChunk chunk;
    if (!PresetDataToState(reference, &chunk) || other.ReadState(chunk) < 0) return false;
    return other.params == params;
  }
  const std::vector<std::pair<std::string, std::string>>& BuiltInProgramTexts() override { return programs; }
  int ProgramCount() override { return 20; }
  std::string ProgramName(int slot) override {
    return slot < static_cast<int>(names.size()) ? names[slot] : std::string("empty");
  }
  std::recursive_mutex& StateMutex() override { return mutex; }

  // The base64 state with every parameter at value, as a preset holds it.
  static std::string StateText(double value, const std::string& path = "", double displayScale = 1.0) {
    FakePlugin p;
    p.scale = displayScale;
    p.params.assign(kParams, value);
    IStateChunk chunk;
    chunk.PutDouble(p.scale);
    chunk.PutDouble(20110.0);
    chunk.PutString(path);
    chunk.PutInt(0);
    for (double v : p.params) chunk.PutDouble(v);
    return chunk.ToBase64();
  }
};

class PresetXMLTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tessaro-presets-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (const char* old = std::getenv("APPDATA")) oldAppData = old, hadAppData = true;
    setenv("APPDATA", dir.c_str(), 1);
    plugin.names = {"Default", "Kest-Basic", "Traditional"};
    plugin.programs = {
        {FakePlugin::StateText(1.0), ""}, {FakePlugin::StateText(2.0), ""}, {FakePlugin::StateText(3.0), ""}};
    presets = std::make_unique<Kest_PresetXML>(plugin, "Tessaro_v2");
    plugin.manager = presets.get();
    folder = dir.string() + "/Kest-Audio/";
  }
  void TearDown() override {
    if (hadAppData)
      setenv("APPDATA", oldAppData.c_str(), 1);
    else
      unsetenv("APPDATA");
    fs::remove_all(dir);
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // A library of the given entries, written by hand.
  std::string Library(const std::string& name, const std::vector<PresetEntry>& entries) const {
    std::string text = "<?xml version=\"1.0\"?>\n<Presets>\n";
    for (const PresetEntry& e : entries)
      text += "<preset category=\"" + e.category + "\" preset=\"" + e.name + "\">" + e.data + "</preset>\n";
    text += "</Presets>\n";
    Write(folder + name, text);
    return folder + name;
  }
  // (category, preset) attribute pairs of every element, in file order, as
  // written; an element whose attributes come in another order does not match.
  static std::vector<std::pair<std::string, std::string>> AttributesInFile(const std::string& path) {
    const std::string text = Read(path);
    static const std::regex element(R"re(<preset category="([^"]*)" preset="([^"]*)"\s*/?>)re");
    std::vector<std::pair<std::string, std::string>> found;
    for (std::sregex_iterator it(text.begin(), text.end(), element), end; it != end; ++it)
      found.emplace_back((*it)[1], (*it)[2]);
    return found;
  }

  fs::path dir;
  std::string folder;
  std::string oldAppData;
  bool hadAppData = false;
  FakePlugin plugin;
  std::unique_ptr<Kest_PresetXML> presets;
};

TEST_F(PresetXMLTest, FolderIsTheMakersFolderUnderAppData) {
  EXPECT_EQ(presets->Folder(), folder);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(presets->DefaultPresetPath(), folder + "Tessaro_v2_preset_DEFAULT.xml");
}

TEST_F(PresetXMLTest, DefaultFileHasOneEntryPerProgramSlotAndTheDefaultStateFirst) {
  const std::string defaultState = FakePlugin::StateText(7.0);
  ASSERT_TRUE(presets->OpenDefaultPresetFile(defaultState));
  const std::string path = folder + "Tessaro_v2_preset_DEFAULT.xml";
  EXPECT_EQ(presets->Path(), path);

  std::vector<std::pair<std::string, std::string>> expectedAttributes;
  for (int slot = 0; slot < 20; ++slot) expectedAttributes.emplace_back("", plugin.ProgramName(slot));
  EXPECT_EQ(AttributesInFile(path), expectedAttributes);

  // Reading the file back gives the built-in texts; slots past the list are empty.
  std::vector<PresetEntry> entries;
  std::string error;
  ASSERT_TRUE(ReadPresetLibrary(path, &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 20u);
  EXPECT_EQ(entries[0].data, defaultState);
  EXPECT_EQ(entries[1].data, plugin.programs[1].first);
  EXPECT_EQ(entries[2].data, plugin.programs[2].first);
  for (int slot = 3; slot < 20; ++slot) EXPECT_EQ(entries[slot].data, "") << slot;
  EXPECT_EQ(presets->Entries(), entries);
  EXPECT_EQ(presets->ReferenceState(), defaultState);

  // A second start finds the file and only refreshes its first entry.
  Kest_PresetXML again(plugin, "Tessaro_v2");
  ASSERT_TRUE(again.OpenDefaultPresetFile(FakePlugin::StateText(8.0)));
  EXPECT_EQ(again.Entries().size(), 20u);
  EXPECT_EQ(again.Entries()[0].data, FakePlugin::StateText(8.0));
  EXPECT_EQ(again.Entries()[1].data, plugin.programs[1].first);
}

TEST_F(PresetXMLTest, CreatingWithoutAllProgramsWritesSlotZeroOnly) {
  const std::string path = folder + "mine.xml";
  ASSERT_TRUE(presets->CreatePresetFile(path, false));
  EXPECT_EQ(AttributesInFile(path), (std::vector<std::pair<std::string, std::string>>{{"", "Default"}}));
  ASSERT_TRUE(presets->LoadPresetFile(path, false));
  EXPECT_EQ(presets->Entries(), (std::vector<PresetEntry>{{"", "Default", plugin.programs[0].first}}));
}

TEST_F(PresetXMLTest, LibraryRoundTripKeepsTriplesAndAttributeOrder) {
  const std::string path = folder + "trip.xml";
  ASSERT_TRUE(presets->CreatePresetFile(path, false));
  ASSERT_TRUE(presets->LoadPresetFile(path, false));
  // Edits through the manager, with names the file has to escape.
  plugin.params.assign(FakePlugin::kParams, 4.0);
  presets->SetEntryMode(Kest_PresetXML::kNewCategory);
  ASSERT_TRUE(presets->CompleteTextEntry("Loud & \"Wide\""));
  presets->SetEntryMode(Kest_PresetXML::kNewPreset);
  plugin.params.assign(FakePlugin::kParams, 5.0);
  ASSERT_TRUE(presets->CompleteTextEntry("Punch <1>"));
  const std::vector<PresetEntry> written = presets->Entries();
  ASSERT_EQ(written.size(), 3u);
  EXPECT_EQ(written[1].category, "Loud & \"Wide\"");
  EXPECT_EQ(written[1].name, "empty");
  EXPECT_EQ(written[2].category, "Loud & \"Wide\"");
  EXPECT_EQ(written[2].name, "Punch <1>");

  Kest_PresetXML reader(plugin, "Tessaro_v2");
  ASSERT_TRUE(reader.LoadPresetFile(path, false));
  EXPECT_EQ(reader.Entries(), written);
  EXPECT_EQ(AttributesInFile(path), (std::vector<std::pair<std::string, std::string>>{
                                        {"", "Default"},
                                        {"Loud &amp; &quot;Wide&quot;", "empty"},
                                        {"Loud &amp; &quot;Wide&quot;", "Punch &lt;1>"}}));
}

TEST_F(PresetXMLTest, EntryTextComesFromTextOrCdataAndMissingAttributesAreEmpty) {
  const std::string path = folder + "hand.xml";
  Write(path,
        "<Presets><preset preset=\"A\"><![CDATA[abc]]></preset><preset category=\"C\">xyz</preset>"
        "<preset/></Presets>");
  ASSERT_TRUE(presets->LoadPresetFile(path, false));
  EXPECT_EQ(presets->Entries(), (std::vector<PresetEntry>{{"", "A", "abc"}, {"C", "", "xyz"}, {"", "", ""}}));
  EXPECT_EQ(presets->ReferenceState(), "abc");
  EXPECT_EQ(presets->CurrentIndex(), 0);
}

TEST_F(PresetXMLTest, BadFiles) {
  const std::string good = Library("good.xml", {{"", "One", "aaa"}, {"X", "Two", "bbb"}});
  ASSERT_TRUE(presets->LoadPresetFile(good, false));
  const std::vector<PresetEntry> before = presets->Entries();
  presets->SetCurrentIndex(1);

  // Unparsable: false, the list and the entry in use stay, the file becomes the one in use.
  const std::string broken = folder + "broken.xml";
  Write(broken, "<Presets><preset category=\"a\" preset=\"b\">x</pres");
  EXPECT_FALSE(presets->LoadPresetFile(broken, false));
  EXPECT_EQ(presets->Entries(), before);
  EXPECT_EQ(presets->CurrentIndex(), 1);
  EXPECT_EQ(presets->Path(), broken);
  EXPECT_EQ(Read(broken), "<Presets><preset category=\"a\" preset=\"b\">x</pres");  // left alone
  // Edits on it do nothing.
  EXPECT_FALSE(presets->UpdatePreset(Kest_PresetXML::kRenamePreset, "New"));
  EXPECT_FALSE(presets->DeletePreset("b"));
  EXPECT_EQ(Read(broken), "<Presets><preset category=\"a\" preset=\"b\">x</pres");

  // Another root: the single error entry, holding the first built-in program.
  const std::string other = folder + "other.xml";
  Write(other, "<Config><preset category=\"a\" preset=\"b\">x</preset></Config>");
  EXPECT_FALSE(presets->LoadPresetFile(other, false));
  EXPECT_EQ(presets->Entries(),
            (std::vector<PresetEntry>{{"", "Error loading file", plugin.programs[0].first}}));
  EXPECT_EQ(presets->CurrentIndex(), 0);
  EXPECT_EQ(presets->ReferenceState(), "");
  // Nor is a foreign document edited.
  presets->SetEntryMode(Kest_PresetXML::kNewPreset);
  EXPECT_FALSE(presets->AddPreset("P"));
  EXPECT_EQ(Read(other), "<Config><preset category=\"a\" preset=\"b\">x</preset></Config>");

  // Without built-in programs the error entry holds no data.
  plugin.programs.clear();
  EXPECT_FALSE(presets->LoadPresetFile(other, false));
  EXPECT_EQ(presets->Entries(), (std::vector<PresetEntry>{{"", "Error loading file", ""}}));
}

TEST_F(PresetXMLTest, PathNormalisation) {
  const std::string local = folder + "here.xml";
  Write(local, "<Presets/>");
  struct Case {
    std::string path;
    bool recreate;
    std::string expected;
  } cases[] = {
      {local, false, local},                                                     // opens here: as is
      {"/Users/alice/Library/Kest-Audio/mine.xml", false, folder + "mine.xml"},  // another machine
      {"/Users/alice/Library/Kest-Audio/mine.xml", true, folder + "mine.xml"},
      {"C:\\Users\\bob\\AppData\\Roaming\\Kest-Audio\\win.xml", false, folder + "win.xml"},
      {"C:\\Users\\bob\\AppData\\Roaming\\Kest-Audio\\win.xml", true, folder + "win.xml"},
      {"D:/mixed\\dir\\m.xml", false, folder + "m.xml"},
      {"bare.xml", true, folder + "bare.xml"},
      {"bare.xml", false, folder + "bare.xml"},
      {"", false, ""},
      {"", true, folder},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NormalisePresetPath(c.path, c.recreate, folder), c.expected) << c.path << " " << c.recreate;
}

TEST_F(PresetXMLTest, StoredPathOfAnotherMachineLoadsTheLocalFileOfThatName) {
  Library("Shared.xml", {{"", "A", "a"}, {"K", "B", "b"}});
  presets->RestoreFromState("/home/alice/.config/Kest-Audio/Shared.xml", 1);
  EXPECT_EQ(presets->Path(), folder + "Shared.xml");
  EXPECT_EQ(presets->CurrentIndex(), 1);
  EXPECT_EQ(presets->ReferenceState(), "b");

  // A path that can be neither read nor created: the default file.
  presets->RestoreFromState("", 3);
  EXPECT_EQ(presets->Path(), folder + "Tessaro_v2_preset_DEFAULT.xml");
  EXPECT_EQ(presets->Entries().size(), 20u);
  EXPECT_EQ(presets->CurrentIndex(), 3);
}

TEST_F(PresetXMLTest, UpdateModesChangeTheFileAndTheList) {
  const std::string path =
      Library("edit.xml", {{"Bus", "A", "a"}, {"Bus", "B", "b"}, {"Mix", "C", "c"}, {"Old", "empty", "e"}});
  ASSERT_TRUE(presets->LoadPresetFile(path, false));
  presets->SetCurrentIndex(1);

  // Texts equal to the current value change nothing, not even the file's bytes.
  Write(path, Read(path) + "\n<!-- marker -->");
  const std::string marked = Read(path);
  const struct {
    int mode;
    std::string text;
  } unchanged[] = {{Kest_PresetXML::kMoveToCategory, "Bus"},
                   {Kest_PresetXML::kRenamePreset, "B"},
                   {Kest_PresetXML::kSaveData, "b"},
                   {7, "anything"}};
  for (const auto& c : unchanged) {
    EXPECT_FALSE(presets->UpdatePreset(c.mode, c.text)) << c.mode;
    EXPECT_EQ(Read(path), marked) << c.mode;
  }

  EXPECT_TRUE(presets->UpdatePreset(Kest_PresetXML::kMoveToCategory, "Mix"));
  EXPECT_EQ(presets->Entries()[1], (PresetEntry{"Mix", "B", "b"}));
  EXPECT_TRUE(presets->UpdatePreset(Kest_PresetXML::kRenamePreset, "B2"));
  EXPECT_EQ(presets->Entries()[1], (PresetEntry{"Mix", "B2", "b"}));
  EXPECT_TRUE(presets->UpdatePreset(Kest_PresetXML::kSaveData, "b2"));
  EXPECT_EQ(presets->Entries()[1], (PresetEntry{"Mix", "B2", "b2"}));
  EXPECT_EQ(presets->ReferenceState(), "b2");
  std::vector<PresetEntry> onDisk;
  ASSERT_TRUE(ReadPresetLibrary(path, &onDisk, nullptr));
  EXPECT_EQ(onDisk, presets->Entries());

  // Renaming the category renames it on every element and keeps the entry in use.
  EXPECT_TRUE(presets->UpdatePreset(Kest_PresetXML::kRenameCategory, "Master"));
  EXPECT_EQ(presets->Entries(),
            (std::vector<PresetEntry>{
                {"Bus", "A", "a"}, {"Master", "B2", "b2"}, {"Master", "C", "c"}, {"Old", "empty", "e"}}));
  EXPECT_EQ(presets->CurrentIndex(), 1);

  // Deleting a category removes its first element and reloads.
  EXPECT_TRUE(presets->UpdatePreset(Kest_PresetXML::kDeleteCategory, "Old"));
  EXPECT_EQ(presets->Entries().size(), 3u);
  EXPECT_EQ(presets->Categories(), (std::vector<std::string>{"Bus", "Master"}));
  EXPECT_EQ(presets->CurrentIndex(), 0);
}

TEST_F(PresetXMLTest, AddDeleteAndPlaceholders) {
  const std::string path = Library("add.xml", {{"Bus", "A", "a"}});
  ASSERT_TRUE(presets->LoadPresetFile(path, false));
  plugin.params.assign(FakePlugin::kParams, 6.0);

  presets->SetEntryMode(Kest_PresetXML::kNewCategory);
  ASSERT_TRUE(presets->AddPreset("Vocals"));
  EXPECT_EQ(presets->Entries().back().category, "Vocals");
  EXPECT_EQ(presets->Entries().back().name, "empty");
  EXPECT_EQ(presets->CurrentIndex(), 1);

  // A new preset goes into the category of the entry in use, holding the current state.
  presets->SetEntryMode(Kest_PresetXML::kNewPreset);
  ASSERT_TRUE(presets->AddPreset("Lead"));
  ASSERT_EQ(presets->Entries().size(), 3u);
  EXPECT_EQ(presets->Entries()[2].category, "Vocals");
  EXPECT_EQ(presets->Entries()[2].name, "Lead");
  EXPECT_TRUE(plugin.StateMatchesText(presets->Entries()[2].data));
  EXPECT_FALSE(plugin.StateMatchesText(presets->Entries()[0].data));
  EXPECT_EQ(presets->CurrentIndex(), 2);
  EXPECT_TRUE(plugin.StateMatchesText(presets->ReferenceState()));

  // A category with a real preset cannot go.
  std::string message;
  EXPECT_FALSE(presets->DeleteCategory("Vocals", &message));
  EXPECT_EQ(message, "Category has 1 presets.  Must be empty to delete category.");
  EXPECT_EQ(presets->Entries().size(), 3u);

  EXPECT_TRUE(presets->DeletePreset("Lead"));
  EXPECT_EQ(presets->CurrentIndex(), 0);
  ASSERT_EQ(presets->Entries().size(), 2u);
  EXPECT_EQ(presets->Entries()[1].name, "empty");  // the placeholder keeps the category alive
  EXPECT_EQ(presets->Categories(), (std::vector<std::string>{"Bus", "Vocals"}));

  // Only its placeholder left: the category goes with it.
  EXPECT_TRUE(presets->DeleteCategory("Vocals", &message));
  EXPECT_EQ(presets->Entries(), (std::vector<PresetEntry>{{"Bus", "A", "a"}}));
  std::vector<PresetEntry> onDisk;
  ASSERT_TRUE(ReadPresetLibrary(path, &onDisk, nullptr));
  EXPECT_EQ(onDisk, presets->Entries());

  EXPECT_FALSE(presets->DeletePreset("nobody"));
  EXPECT_EQ(presets->Entries().size(), 1u);
}

TEST_F(PresetXMLTest, TextEntryIsLimitedTo256Characters) {
  ASSERT_TRUE(presets->LoadPresetFile(Library("long.xml", {{"", "A", "a"}}), false));
  presets->SetEntryMode(Kest_PresetXML::kRenamePreset);
  ASSERT_TRUE(presets->CompleteTextEntry(std::string(300, 'n')));
  EXPECT_EQ(presets->Entries()[0].name, std::string(256, 'n'));
  presets->SetEntryMode(Kest_PresetXML::kSaveData);
  EXPECT_FALSE(presets->CompleteTextEntry("not an entry mode"));
}

TEST_F(PresetXMLTest, ApplyLoadsTheStateAndKeepsTheLibraryInUse) {
  // The presets were saved while another library was in use; applying one
  // must not switch to it.
  const std::string path =
      Library("apply.xml", {{"", "Low", FakePlugin::StateText(0.25, folder + "else.xml")},
                            {"", "High", FakePlugin::StateText(0.75, folder + "else.xml")}});
  ASSERT_TRUE(presets->LoadPresetFile(path, false));
  ASSERT_TRUE(presets->SelectPreset(1));
  EXPECT_EQ(plugin.params, std::vector<double>(FakePlugin::kParams, 0.75));
  EXPECT_EQ(presets->Path(), path);
  EXPECT_FALSE(fs::exists(folder + "else.xml"));
  EXPECT_EQ(presets->CurrentIndex(), 1);
  // The reference is the plug-in's state after the load (naming this
  // library), not the preset's text.
  EXPECT_NE(presets->ReferenceState(), presets->Entries()[1].data);
  IStateChunk reference;
  ASSERT_TRUE(PresetDataToState(presets->ReferenceState(), &reference));
  std::string storedPath;
  reference.GetString(&storedPath, 16);
  EXPECT_EQ(storedPath, path);
  EXPECT_TRUE(plugin.StateMatchesText(presets->ReferenceState()));
  EXPECT_TRUE(presets->CheckPending());
}

TEST_F(PresetXMLTest, CorruptPresetDataLeavesTheStateUnchanged) {
  const std::string valid = FakePlugin::StateText(0.5, "", 2.0);
  ASSERT_GT(valid.size(), 100u);
  // Broken states that the reader starts on (and changes the display field)
  // before it gives up: no version, and one whose data runs out long before
  // the text does.
  const auto state = [](double version, int params) {
    IStateChunk chunk;
    chunk.PutDouble(2.0);
    chunk.PutDouble(version);
    chunk.PutString("");
    chunk.PutInt(0);
    for (int i = 0; i < params; ++i) chunk.PutDouble(0.5);
    return chunk.ToBase64();
  };
  const std::string noVersion = state(0.0, FakePlugin::kParams);
  // The reader stops at 24 + 12 * 8 = 120 bytes; 244 characters ask for 122.
  const std::string truncated = state(20110.0, 1) + std::string(200, '!');
  ASSERT_EQ(truncated.size(), 244u);
  const struct {
    const char* what;
    std::string data;
    bool readsState;
  } cases[] = {
      {"100 characters", valid.substr(0, 100), false},
      {"100 characters after cleaning", valid.substr(0, 100) + "\x01\x7f\xc3\xa9\n", false},
      {"not base64", std::string(120, '!'), false},
      {"no version", noVersion, true},
      {"loads short of half its length", truncated, true},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(presets->LoadPresetFile(Library("bad.xml", {{"", "Bad", c.data}}), false)) << c.what;
    plugin.scale = 1.0;
    plugin.params.assign(FakePlugin::kParams, 9.0);
    const std::string reference = presets->ReferenceState();
    plugin.reads = 0;
    EXPECT_FALSE(presets->ApplyPreset(0)) << c.what;
    EXPECT_EQ(plugin.reads > 0, c.readsState) << c.what;
    EXPECT_EQ(plugin.scale, 1.0) << c.what;
    EXPECT_EQ(plugin.params, std::vector<double>(FakePlugin::kParams, 9.0)) << c.what;
    EXPECT_EQ(presets->ReferenceState(), reference) << c.what;
    EXPECT_TRUE(presets->CheckPending()) << c.what;
  }
  // The same data, whole, loads.
  ASSERT_TRUE(presets->LoadPresetFile(Library("bad.xml", {{"", "Good", valid}}), false));
  EXPECT_TRUE(presets->ApplyPreset(0));
  EXPECT_EQ(plugin.scale, 2.0);
  EXPECT_EQ(plugin.params, std::vector<double>(FakePlugin::kParams, 0.5));
}

TEST_F(PresetXMLTest, ClipboardRoundTrip) {
  const std::string path = Library("clip.xml", {{"K", "Warm Bus", FakePlugin::StateText(0.3)}});
  ASSERT_TRUE(presets->LoadPresetFile(path, false));
  ASSERT_TRUE(presets->SelectPreset(0));
  const std::string fileBefore = Read(path);
  const std::string clip = presets->ClipboardText();
  EXPECT_EQ(clip, "Tessaro_v2ClipboardPreset:{Warm Bus}" + presets->CurrentStateText());

  std::string name, data;
  ASSERT_TRUE(ParseClipboardPreset("Tessaro_v2", "\r\n" + clip + "\r\n\xc2\xa0", &name, &data));
  EXPECT_EQ(name, "Warm Bus");
  EXPECT_EQ(data, presets->CurrentStateText());
  EXPECT_EQ(FormatClipboardPreset("Tessaro_v2", name, data), clip);
  EXPECT_FALSE(ParseClipboardPreset("Other", clip, &name, &data));
  EXPECT_FALSE(ParseClipboardPreset("Tessaro_v2", "Tessaro_v2ClipboardPreset:{no end", &name, &data));

  // Pasted into another instance: loaded, appended in memory, current.
  plugin.params.assign(FakePlugin::kParams, 0.0);
  ASSERT_TRUE(presets->LoadClipboardText(clip));
  EXPECT_EQ(plugin.params, std::vector<double>(FakePlugin::kParams, 0.3));
  ASSERT_EQ(presets->Entries().size(), 2u);
  EXPECT_EQ(presets->Entries()[1].category, "");
  EXPECT_EQ(presets->Entries()[1].name, "Warm Bus");
  EXPECT_EQ(presets->CurrentIndex(), 1);
  EXPECT_EQ(Read(path), fileBefore);

  // A clipboard text whose state is too short is refused and adds nothing.
  plugin.params.assign(FakePlugin::kParams, 0.0);
  EXPECT_FALSE(presets->LoadClipboardText("Tessaro_v2ClipboardPreset:{X}" + clip.substr(40, 90)));
  EXPECT_EQ(presets->Entries().size(), 2u);
  EXPECT_EQ(plugin.params, std::vector<double>(FakePlugin::kParams, 0.0));
}

TEST_F(PresetXMLTest, ModificationCheckWaitsFourSecondsOfFramesWithoutMouse) {
  ASSERT_TRUE(presets->LoadPresetFile(Library("mod.xml", {{"", "A", FakePlugin::StateText(0.5)}}), false));
  ASSERT_TRUE(presets->SelectPreset(0));
  EXPECT_EQ(presets->DisplayName(), "A");
  plugin.params[3] = 0.6;
  presets->RequestModificationCheck();
  // 30 frames per second: the check runs on the 121st counted frame.
  for (int frame = 0; frame < 50; ++frame) presets->FrameDrawn(true, 30);  // a drag: not counted
  for (int frame = 0; frame < 120; ++frame) presets->FrameDrawn(false, 30);
  EXPECT_TRUE(presets->CheckPending());
  EXPECT_FALSE(presets->Modified());
  presets->FrameDrawn(false, 30);
  EXPECT_FALSE(presets->CheckPending());
  EXPECT_TRUE(presets->Modified());
  EXPECT_EQ(presets->DisplayName(), "A*");

  // Moved back: the next check clears the mark; frames without a request do nothing.
  plugin.params[3] = 0.5;
  for (int frame = 0; frame < 200; ++frame) presets->FrameDrawn(false, 30);
  EXPECT_TRUE(presets->Modified());
  presets->RequestModificationCheck();
  for (int frame = 0; frame < 121; ++frame) presets->FrameDrawn(false, 30);
  EXPECT_FALSE(presets->Modified());
  EXPECT_EQ(presets->DisplayName(), "A");
}

TEST_F(PresetXMLTest, StepSkipsPlaceholdersAndWraps) {
  ASSERT_TRUE(presets->LoadPresetFile(Library("step.xml", {{"", "A", FakePlugin::StateText(0.1)},
                                                           {"X", "empty", FakePlugin::StateText(0.2)},
                                                           {"", "B", FakePlugin::StateText(0.3)}}),
                                      false));
  EXPECT_TRUE(presets->StepPreset(+1));
  EXPECT_EQ(presets->CurrentIndex(), 2);
  EXPECT_TRUE(presets->StepPreset(+1));
  EXPECT_EQ(presets->CurrentIndex(), 0);
  EXPECT_EQ(plugin.params[0], 0.1);
  EXPECT_TRUE(presets->StepPreset(-1));
  EXPECT_EQ(presets->CurrentIndex(), 2);

  // Only placeholders besides the current one: stays.
  ASSERT_TRUE(presets->LoadPresetFile(Library("lone.xml", {{"X", "empty", "e"}, {"", "Only", "o"}}), false));
  presets->SetCurrentIndex(1);
  plugin.reads = 0;
  EXPECT_FALSE(presets->StepPreset(+1));
  EXPECT_FALSE(presets->StepPreset(-1));
  EXPECT_EQ(presets->CurrentIndex(), 1);
  EXPECT_EQ(plugin.reads, 0);
}

TEST_F(PresetXMLTest, RecreateDefaultFileKeepsABackup) {
  ASSERT_TRUE(presets->OpenDefaultPresetFile(FakePlugin::StateText(7.0)));
  const std::string edited = Read(presets->DefaultPresetPath());
  std::string message;
  ASSERT_TRUE(presets->RecreateDefaultPresetFile(&message));
  EXPECT_EQ(message, "Presets recreated.");
  std::vector<std::string> backups;
  for (const auto& f : fs::directory_iterator(folder))
    if (f.path().filename() != "Tessaro_v2_preset_DEFAULT.xml")
      backups.push_back(f.path().filename().string());
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_TRUE(std::regex_match(backups[0], std::regex(R"(Tessaro_v2 \d{8} \d{6}_preset_DEFAULT\.xml)")))
      << backups[0];
  EXPECT_EQ(Read(folder + backups[0]), edited);
  // The new file holds the program slots again, slot 0 first.
  EXPECT_EQ(presets->Entries().size(), 20u);
  EXPECT_EQ(presets->Entries()[0].data, plugin.programs[0].first);

  fs::remove(presets->DefaultPresetPath());
  EXPECT_FALSE(presets->RecreateDefaultPresetFile(&message));
  EXPECT_EQ(message, "File error. Rename manually.");
}

TEST_F(PresetXMLTest, DescribeListsCategoriesSortedThenPresetsWithoutCategory) {
  const std::string path = Library("list.xml", {{"Mix", "M1", "m"},
                                                {"", "Plain", "p"},
                                                {"Bus", "B1", "b"},
                                                {"Mix", "M2", "m"},
                                                {"Empty Cat", "empty", "e"}});
  std::string text;
  ASSERT_TRUE(DescribePresetLibrary(path, &text));
  EXPECT_EQ(text, path +
                      ": 5 entries\n"
                      "Bus (1):\n  B1\n"
                      "Empty Cat (0):\n"
                      "Mix (2):\n  M1\n  M2\n"
                      "(no category) (1):\n  Plain\n");

  Write(folder + "cfg.xml", "<Config/>");
  EXPECT_FALSE(DescribePresetLibrary(folder + "cfg.xml", &text));
  EXPECT_NE(text.find("not a preset library"), std::string::npos) << text;
  EXPECT_FALSE(DescribePresetLibrary(folder + "missing.xml", &text));
  EXPECT_NE(text.find("cannot read"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(folder + "missing.xml"));
}

}  // namespace
}  // namespace tessaro
