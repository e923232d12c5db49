// tessaro edit and tessaro snapshot as a user runs them: the executable in a
// child process on an X display (a private Xvfb when there is none), its
// window looked at from here through an X connection of our own.
// GoogleTest first: Xlib's macros (None, Bool) would rename its names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/RunCommand.h"
#include "host/VstHost.h"
#include "tests/common/XDisplayEnvironment.h"

extern char** environ;

namespace tessaro::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const auto* const kDisplayEnvironment = ::testing::AddGlobalTestEnvironment(new XDisplayEnvironment);

// The editor's size as the plug-in itself answers effEditGetRect; 0 x 0 when
// it has no editor.
std::pair<int, int> EditorSize(const std::string& path) {
  std::string error;
  auto plugin = host::Plugin::Load(path, host::HostOptions{}, &error);
  if (!plugin) return {0, 0};
  plugin->Open();
  int w = 0, h = 0;
  if (!plugin->HasEditor() || !plugin->EditorRect(&w, &h)) return {0, 0};
  return {w, h};
}

bool HasEditor(const std::string& path) { return EditorSize(path).first > 0; }

// tessaro running in the background, stdout read line by line.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::vector<std::string>& environment = {},
        const std::vector<std::string>& unset = {}) {
    int out[2];
    if (pipe(out) != 0) return;
    errPath_ = ::testing::TempDir() + "tessaro-edit-err-" + std::to_string(getpid()) + "-" +
               std::to_string(reinterpret_cast<std::uintptr_t>(this));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> argv = {TESSARO_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      bool drop = false;
      for (const std::string& name : unset) drop = drop || entry.rfind(name + "=", 0) == 0;
      for (const std::string& set : environment)
        drop = drop || entry.rfind(set.substr(0, set.find('=') + 1), 0) == 0;
      if (!drop) env.push_back(entry);
    }
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    std::remove(errPath_.c_str());
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& Out() const { return stdout_; }
  std::string Err() const {
    std::ifstream file(errPath_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  // Reads stdout until a line matches; the first group of the match.
  std::optional<std::string> WaitForLine(const std::regex& pattern, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      std::smatch m;
      std::istringstream lines(stdout_);
      for (std::string line; std::getline(lines, line);) {
        if (std::regex_search(line, m, pattern)) return m.size() > 1 ? m[1].str() : m[0].str();
      }
      if (Clock::now() >= deadline || !ReadSome(deadline)) return std::nullopt;
    }
  }

  // Exit code, or -1 when it did not exit normally in time (then it is killed).
  int Wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (ReadSome(deadline)) {
    }
    int status = 0;
    while (Clock::now() < deadline) {
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  // False at the end of the output or the deadline.
  bool ReadSome(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || out_ < 0) return false;
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    stdout_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string stdout_, errPath_;
};

const std::regex kWindowLine(R"(^window: (\d+) )");

// Our own look at the child's window.
struct XLook {
  Display* display = XOpenDisplay(nullptr);
  ~XLook() {
    if (display != nullptr) XCloseDisplay(display);
  }
  std::string Property(Window w, const char* name, const char* type) {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, w, XInternAtom(display, name, False), 0, 1024, False,
                           XInternAtom(display, type, False), &actual, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
      value.assign(reinterpret_cast<char*>(data), count);
      XFree(data);
    }
    return value;
  }
  std::vector<Window> Children(Window w, Window* parent) {
    Window root = 0;
    Window* children = nullptr;
    unsigned n = 0;
    std::vector<Window> list;
    if (XQueryTree(display, w, &root, parent, &children, &n) != 0) list.assign(children, children + n);
    if (children != nullptr) XFree(children);
    return list;
  }
};

class Edit : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaro-edit-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ + "/appdata");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<std::string> Env() const { return {"APPDATA=" + dir_ + "/appdata"}; }
  void RequireEditor() {
    if (!HasEditor(TESSARO_PLUGIN_PATH)) GTEST_FAIL() << TESSARO_PLUGIN_PATH << " opens no editor";
  }
  std::string dir_;
};

void WriteTone(const std::string& path, double seconds, int channels) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<double> samples;
  for (int i = 0; i < static_cast<int>(seconds * 44100); ++i) {
    for (int c = 0; c < channels; ++c)
      samples.push_back(0.4 * std::sin(2 * std::numbers::pi * 440.0 * i / 44100.0));
  }
  sf_writef_double(file, samples.data(),
                   static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels)));
  sf_close(file);
}

TEST_F(Edit, ShowsTheEditorInATopLevelWindowNamedTessaroAndEndsByItself) {
  RequireEditor();
  const auto [width, height] = EditorSize(TESSARO_PLUGIN_PATH);
  const auto started = Clock::now();
  Child edit({"edit", "--seconds", "2", "--no-audio"}, Env());
  const auto id = edit.WaitForLine(kWindowLine, std::chrono::seconds(10));
  ASSERT_TRUE(id) << edit.Out() << edit.Err();
  EXPECT_NE(edit.Out().find("display: " + std::string(std::getenv("DISPLAY"))), std::string::npos)
      << edit.Out();
  const Window window = std::stoul(*id);

  XLook look;
  ASSERT_NE(look.display, nullptr);
  Window parent = 0;
  const std::vector<Window> children = look.Children(window, &parent);
  EXPECT_EQ(parent, DefaultRootWindow(look.display));  // top-level (no window manager here)
  EXPECT_GE(children.size(), 1u) << "the editor's window is not inside ours";
  EXPECT_EQ(look.Property(window, "WM_NAME", "STRING"), "Tessaro_v2");
  EXPECT_EQ(look.Property(window, "_NET_WM_NAME", "UTF8_STRING"), "Tessaro_v2");
  XClassHint hint{};
  ASSERT_NE(XGetClassHint(look.display, window, &hint), 0);
  EXPECT_STREQ(hint.res_class, "tessaro");
  XFree(hint.res_name);
  XFree(hint.res_class);
  Atom* protocols = nullptr;
  int count = 0;
  ASSERT_NE(XGetWMProtocols(look.display, window, &protocols, &count), 0);
  const Atom deleteAtom = XInternAtom(look.display, "WM_DELETE_WINDOW", False);
  EXPECT_TRUE(std::find(protocols, protocols + count, deleteAtom) != protocols + count);
  XFree(protocols);
  XWindowAttributes a{};
  ASSERT_NE(XGetWindowAttributes(look.display, window, &a), 0);
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_EQ(a.width, width);
  EXPECT_EQ(a.height, height);
  // A window finder (the way scripts find it) sees the same window.
  const CommandResult found = [] {
    CommandResult r;
    if (FILE* p = popen("xdotool search --name '^Tessaro_v2$' 2>/dev/null", "r")) {
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, p) != nullptr) r.out += buffer;
      r.exitCode = pclose(p);
    }
    return r;
  }();
  EXPECT_TRUE(HasLine(found.out, *id)) << found.out;

  EXPECT_EQ(edit.Wait(std::chrono::seconds(10)), 0) << edit.Err();
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(1900));
  XWindowAttributes gone{};
  XSync(look.display, False);
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  EXPECT_EQ(XGetWindowAttributes(look.display, window, &gone), 0) << "the window outlived the program";
}

// Every way a user or a session ends it shuts down the same clean way: the
// state saved at the end proves the whole shutdown ran.
TEST_F(Edit, EndsCleanlyOnTheWindowsCloseButtonSigintAndSigterm) {
  RequireEditor();
  enum How { kClose, kInterrupt, kTerminate };
  for (const How how : {kClose, kInterrupt, kTerminate}) {
    SCOPED_TRACE(how);
    const std::string state = Path("state-" + std::to_string(how));
    Child edit({"edit", "--seconds", "60", "--no-audio", "--save-state", state}, Env());
    const auto id = edit.WaitForLine(kWindowLine, std::chrono::seconds(10));
    ASSERT_TRUE(id) << edit.Err();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (how == kClose) {
      XLook look;
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = std::stoul(*id);
      event.xclient.message_type = XInternAtom(look.display, "WM_PROTOCOLS", False);
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(XInternAtom(look.display, "WM_DELETE_WINDOW", False));
      event.xclient.data.l[1] = CurrentTime;
      ASSERT_NE(XSendEvent(look.display, event.xclient.window, False, NoEventMask, &event), 0);
      XFlush(look.display);
    } else {
      kill(edit.pid(), how == kInterrupt ? SIGINT : SIGTERM);
    }
    EXPECT_EQ(edit.Wait(std::chrono::seconds(10)), 0) << edit.Err();
    EXPECT_GT(fs::file_size(state), 0u);
    EXPECT_NE(edit.Out().find("ended"), std::string::npos) << edit.Out();
  }
}

// IN plays round and round in real time: about as many seconds as the
// program ran, and the short file many times over.
TEST_F(Edit, PlaysInRoundAndRoundInRealTime) {
  RequireEditor();
  WriteTone(Path("short.wav"), 0.25, 1);
  Child edit({"edit", "--seconds", "2", "--no-audio", Path("short.wav")}, Env());
  ASSERT_EQ(edit.Wait(std::chrono::seconds(15)), 0) << edit.Err();
  std::smatch m;
  const std::string out = edit.Out();
  ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(played ([0-9.]+) s, IN (\d+) times round)"))) << out;
  const double played = std::stod(m[1].str());
  EXPECT_GT(played, 1.5);
  EXPECT_LT(played, 2.6);
  EXPECT_GE(std::stoi(m[2].str()), 6);
}

TEST_F(Edit, WithoutADisplayItSaysSoUnlessAskedForAVirtualOne) {
  Child plain({"edit", "--seconds", "1", "--no-audio"}, Env(), {"DISPLAY"});
  EXPECT_EQ(plain.Wait(std::chrono::seconds(10)), 1);
  EXPECT_NE(plain.Err().find("DISPLAY is not set"), std::string::npos) << plain.Err();
  EXPECT_EQ(plain.Out().find("window:"), std::string::npos);

  RequireEditor();
  Child virtualOne({"edit", "--seconds", "1", "--no-audio", "--virtual-display"}, Env(), {"DISPLAY"});
  const auto display = virtualOne.WaitForLine(std::regex(R"(^display: (\S+))"), std::chrono::seconds(15));
  ASSERT_TRUE(display) << virtualOne.Err();
  EXPECT_NE(*display, std::string(std::getenv("DISPLAY")));
  EXPECT_EQ(virtualOne.Wait(std::chrono::seconds(15)), 0) << virtualOne.Err();
}

TEST_F(Edit, CommandLineAndInputErrorsHaveTheirCodes) {
  WriteTone(Path("three.wav"), 0.1, 3);
  std::ofstream(Path("text.wav")) << "not audio\n";
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string mention;
    bool needsEditor;
  };
  const Case cases[] = {
      {{"--seconds", "0"}, 2, "--seconds wants a positive number", false},
      {{"--seconds", "soon"}, 2, "--seconds wants a positive number", false},
      {{"--frobnicate"}, 2, "unknown option '--frobnicate'", false},
      {{"--state"}, 2, "--state needs a value", false},
      {{Path("a.wav"), Path("b.wav")}, 2, "one IN at most", false},
      {{Path("missing.wav")}, 3, "cannot read IN", false},
      {{Path("text.wav")}, 4, "not an audio file", false},
      {{Path("three.wav")}, 5, "has 3 channels", false},
      {{"--plugin", Path("none.so")}, 8, "the plug-in failed to load", false},
      {{"--program", "No Such Program"}, 6, "--program", true},
      {{"--state", Path("missing.state")}, 11, "--state: cannot read state file", true},
      {{"--set", "Amount=99"}, 7, "out of range", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    if (c.needsEditor && !HasEditor(TESSARO_PLUGIN_PATH)) {
      ADD_FAILURE() << "needs the plug-in's editor";
      continue;
    }
    std::vector<std::string> args = {"edit", "--seconds", "5", "--no-audio"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Child edit(args, Env());
    EXPECT_EQ(edit.Wait(std::chrono::seconds(10)), c.exitCode) << edit.Err();
    EXPECT_NE(edit.Err().find(c.mention), std::string::npos) << edit.Err();
    EXPECT_EQ(edit.Out().find("window:"), std::string::npos) << "a window opened anyway";
  }
}

// ---- snapshot beyond tests/editor/SnapshotTest.cpp ----------------------------

struct Png {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};

std::optional<Png> ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_RGB;
  Png png;
  png.width = static_cast<int>(image.width);
  png.height = static_cast<int>(image.height);
  png.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr)) return std::nullopt;
  return png;
}

// Mean absolute difference per channel between b and a box-filtered a.
double MeanDifferenceToShrunk(const Png& a, const Png& b) {
  const int fx = a.width / b.width, fy = a.height / b.height;
  double sum = 0;
  for (int y = 0; y < b.height; ++y) {
    for (int x = 0; x < b.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double acc = 0;
        for (int j = 0; j < fy; ++j)
          for (int i = 0; i < fx; ++i)
            acc += a.rgb[(static_cast<std::size_t>(y * fy + j) * static_cast<std::size_t>(a.width) +
                          static_cast<std::size_t>(x * fx + i)) *
                             3 +
                         static_cast<std::size_t>(c)];
        sum += std::abs(acc / (fx * fy) -
                        b.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width) +
                               static_cast<std::size_t>(x)) *
                                  3 +
                              static_cast<std::size_t>(c)]);
      }
    }
  }
  return sum / (3.0 * b.width * b.height);
}

// The picture is the editor's as the plug-in paints it through its binary:
// any VST 2.4 editor works, and a half-size picture is the full one shrunk.
TEST_F(Edit, SnapshotPicturesAnyEditorAndScalesThePicture) {
  struct Subject {
    std::string plugin;
    bool optional;  // a peer's plug-in that may not be installed
  };
  for (const Subject& s :
       {Subject{TESSARO_PLUGIN_PATH, false}, Subject{"/usr/lib/vst/lsp-plugins/limiter-stereo.so", true}}) {
    SCOPED_TRACE(s.plugin);
    if (s.optional && !fs::exists(s.plugin)) continue;
    // Some editors tell their size only once open; ours tells it at once.
    const auto [width, height] = EditorSize(s.plugin);
    if (!s.optional) {
      ASSERT_GT(width, 0) << "no editor";
    }
    // The peer's wrapper unloads its own core library with heap blocks still
    // held, which LeakSanitizer would blame on us.
    const std::string env = "APPDATA=" + ShellQuote(Path("appdata")) + " " +
                            (s.optional ? "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 " : "");
    const CommandResult full = RunTessaro({"snapshot", "--plugin", s.plugin, Path("full.png")}, env);
    ASSERT_EQ(full.exitCode, 0) << full.err;
    const CommandResult half = RunTessaro({"snapshot", "--plugin", s.plugin, "--scale", "0.5", Path("half.png")}, env);
    ASSERT_EQ(half.exitCode, 0) << half.err;
    const auto a = ReadPng(Path("full.png"));
    const auto b = ReadPng(Path("half.png"));
    ASSERT_TRUE(a && b);
    if (width > 0) {
      EXPECT_EQ(a->width, width);
      EXPECT_EQ(a->height, height);
    }
    EXPECT_EQ(b->width, a->width / 2);
    EXPECT_EQ(b->height, a->height / 2);
    // Not a blank window: an editor has many colours.
    std::vector<bool> seen(1 << 12, false);
    int colours = 0;
    for (std::size_t i = 0; i + 2 < a->rgb.size(); i += 3) {
      const int key = (a->rgb[i] >> 4) << 8 | (a->rgb[i + 1] >> 4) << 4 | (a->rgb[i + 2] >> 4);
      if (!seen[static_cast<std::size_t>(key)]) ++colours;
      seen[static_cast<std::size_t>(key)] = true;
    }
    EXPECT_GT(colours, 20);
    // Close to the full picture shrunk; and the comparison can fail: the same
    // half picture two pixels off to the side is much further away.
    Png shifted = *b;
    for (int y = 0; y < b->height; ++y) {
      for (int x = 0; x < b->width; ++x) {
        const int from = std::min(x + 2, b->width - 1);
        for (std::size_t c = 0; c < 3; ++c) {
          shifted.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(b->width) +
                       static_cast<std::size_t>(x)) *
                          3 +
                      c] = b->rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(b->width) +
                                   static_cast<std::size_t>(from)) *
                                      3 +
                                  c];
        }
      }
    }
    const double near = MeanDifferenceToShrunk(*a, *b), off = MeanDifferenceToShrunk(*a, shifted);
    EXPECT_LT(near, 4.0);
    EXPECT_LT(near, 0.5 * off) << near << " against " << off;
  }
}

TEST_F(Edit, SnapshotFailsWhenThePluginHasNoEditorAndTakesProgramNames) {
  // The host's probe plug-in has no editor.
  const CommandResult none = RunTessaro({"snapshot", "--plugin", TESSARO_PROBE_PATH, Path("none.png")});
  EXPECT_EQ(none.exitCode, 1) << none.err;
  EXPECT_NE(none.err.find("has no editor"), std::string::npos) << none.err;
  EXPECT_FALSE(fs::exists(Path("none.png")));
  const CommandResult unknown = RunTessaro({"snapshot", "--program", "No Such Program", Path("x.png")},
                                           "APPDATA=" + ShellQuote(Path("appdata")) + " ");
  EXPECT_EQ(unknown.exitCode, 2) << unknown.err;

  RequireEditor();
  const CommandResult named = RunTessaro({"snapshot", "--program", "Loud/Punch", Path("named.png")},
                                         "APPDATA=" + ShellQuote(Path("appdata")) + " ");
  EXPECT_EQ(named.exitCode, 0) << named.err;
  EXPECT_NE(named.out.find("Loud/Punch"), std::string::npos) << named.out;
  EXPECT_TRUE(ReadPng(Path("named.png")).has_value());
}

// The command line is a host: the plug-in, its DSP and its editor reach it
// only through the plug-in's binary.
TEST(CliBinary, LinksNoPluginDspOrEditorCode) {
  std::string symbols;
  if (FILE* p = popen(("nm -C " + ShellQuote(TESSARO_CLI_PATH)).c_str(), "r")) {
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) symbols += buffer;
    pclose(p);
  }
  ASSERT_NE(symbols.find("tessaro::cli::RunRender"), std::string::npos) << "nm read no symbols";
  for (const char* foreign :
       {"Tessaro_v2", "IGraphics", "LimiterCore", "LimiterStage", "LICE_", "IControl", "TruePeak"}) {
    EXPECT_EQ(symbols.find(foreign), std::string::npos) << foreign;
  }
}

}  // namespace
}  // namespace tessaro::testing
