#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "editor/x11/X11Modal.h"
#include "editor/x11/X11ModalWindow.h"
#include "tests/x11modal/ModalDriver.h"

namespace tessaro::x11::testing {
namespace {

constexpr const char* kDialog = "tessaro-dialog";

void CloseBox(Driver& d, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d.display(), "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d.display(), "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d.display(), w, False, NoEventMask, &e);
  XSync(d.display(), False);
}

void ClickButton(Driver& d, const Found& f, int count, int index) {
  const IRect r = DialogButtonRect(f.rect.W(), f.rect.H(), count, index, 1.0);
  d.Click(CentreX(f, r), CentreY(f, r));
}

enum class Act { kClick0, kClick1, kEnter, kEscape, kClose };

struct BoxCase {
  int type;
  Act act;
  int answer;
};

class MessageBoxTest : public ModalFixture, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(MessageBoxTest, Answers) {
  const BoxCase c = GetParam();
  const int buttons = c.type == kAlertTypeOkCancel || c.type == kAlertTypeYesNo ? 2 : 1;
  int answer = 0;
  Drive(
      [&](Driver& d) {
        Found f;
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &f));
        switch (c.act) {
          case Act::kClick0: ClickButton(d, f, buttons, 0); break;
          case Act::kClick1: ClickButton(d, f, buttons, 1); break;
          case Act::kEnter: d.Key(XK_Return); break;
          case Act::kEscape: d.Key(XK_Escape); break;
          case Act::kClose: CloseBox(d, f.window); break;
        }
      },
      [&] { answer = RunMessageBox(context_, "Replace the preset on disk?", "Presets", c.type); });
  EXPECT_EQ(answer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Types, MessageBoxTest,
    ::testing::Values(BoxCase{kAlertTypeOk, Act::kClick0, kAnswerOk}, BoxCase{kAlertTypeOk, Act::kEscape, kAnswerOk},
                      BoxCase{kAlertTypeOkCancel, Act::kClick1, kAnswerCancel},
                      BoxCase{kAlertTypeOkCancel, Act::kClick0, kAnswerOk},
                      BoxCase{kAlertTypeOkCancel, Act::kEnter, kAnswerOk},
                      BoxCase{kAlertTypeOkCancel, Act::kEscape, kAnswerCancel},
                      BoxCase{kAlertTypeOkCancel, Act::kClose, kAnswerCancel},
                      BoxCase{kAlertTypeYesNo, Act::kClick0, kAnswerYes}, BoxCase{kAlertTypeYesNo, Act::kClick1, kAnswerNo},
                      BoxCase{kAlertTypeYesNo, Act::kEnter, kAnswerYes}, BoxCase{kAlertTypeYesNo, Act::kEscape, kAnswerNo},
                      BoxCase{kAlertTypeYesNo, Act::kClose, kAnswerNo}, BoxCase{3, Act::kClick0, kAnswerOk},
                      BoxCase{3, Act::kClose, kAnswerOk}));

TEST_F(ModalFixture, MessageBoxSitsOverTheEditorAndHandsTheFocusBack) {
  const Window editor = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 100, 120, 400, 300, 0, 0, 0);
  XSelectInput(display_, editor, ExposureMask);
  XMapWindow(display_, editor);
  XSync(display_, False);
  XSetInputFocus(display_, editor, RevertToParent, CurrentTime);
  XSync(display_, False);
  context_.editor = editor;
  context_.owner = editor;
  const std::string long_text(40, 'w');
  Drive(
      [&](Driver& d) {
        Found f;
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &f));
        EXPECT_NEAR((f.rect.L + f.rect.R) / 2.0, 300, 1.0);
        EXPECT_NEAR((f.rect.T + f.rect.B) / 2.0, 270, 1.0);
        Window transient = 0;
        EXPECT_TRUE(XGetTransientForHint(d.display(), f.window, &transient));
        EXPECT_EQ(transient, editor);
        EXPECT_EQ(d.Name(f.window), "Render");
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(d.display(), &focus, &revert);
        EXPECT_EQ(focus, f.window);
        d.Key(XK_Return);
      },
      [&] { RunMessageBox(context_, ("A long word: " + long_text + long_text + long_text).c_str(), "Render", 0); });
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  EXPECT_EQ(focus, editor);
  XDestroyWindow(display_, editor);
  XSync(display_, False);
}

struct Edit {
  unsigned long key = 0;  // or, when 0, text typed
  std::string text;
};

struct PromptCase {
  std::string initial;
  std::vector<Edit> edits;
  std::string expected;
};

class PromptTest : public ModalFixture, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(PromptTest, EditsTheLine) {
  const PromptCase c = GetParam();
  std::string text = c.initial;
  bool ok = false;
  Drive(
      [&](Driver& d) {
        ASSERT_TRUE(d.WaitFor(kDialog, 1, nullptr));
        for (const Edit& e : c.edits) {
          if (e.key) {
            d.Key(e.key);
          } else {
            d.Type(e.text);
          }
        }
        d.Key(XK_Return);
      },
      [&] { ok = RunTextPrompt(context_, "Name", "Preset name:", text); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(text, c.expected);
}

const std::string kE = "\xc3\xa9";  // é, two bytes

INSTANTIATE_TEST_SUITE_P(
    Cases, PromptTest,
    ::testing::Values(PromptCase{"old", {{0, "new"}}, "new"},
                      PromptCase{"abc", {{XK_End, ""}, {XK_BackSpace, ""}, {0, "x"}}, "abx"},
                      PromptCase{"abc", {{XK_Home, ""}, {XK_Delete, ""}}, "bc"},
                      PromptCase{"abc", {{XK_Right, ""}, {0, "d"}}, "abcd"},
                      PromptCase{"abc", {{XK_Left, ""}, {0, "d"}}, "dabc"},
                      PromptCase{"a" + kE + "b", {{XK_End, ""}, {XK_Left, ""}, {XK_Left, ""}, {0, "z"}}, "az" + kE + "b"},
                      PromptCase{"a" + kE, {{XK_End, ""}, {XK_BackSpace, ""}, {0, "o"}}, "ao"},
                      PromptCase{kE + "x", {{XK_Home, ""}, {XK_Delete, ""}}, "x"},
                      PromptCase{"", {{0, "Mixed Case/1.png"}}, "Mixed Case/1.png"}));

TEST_F(ModalFixture, PromptEscapeLeavesTheTextAlone) {
  std::string text = "keep me";
  bool ok = true;
  Drive(
      [&](Driver& d) {
        ASSERT_TRUE(d.WaitFor(kDialog, 1, nullptr));
        d.Type("gone");
        d.Key(XK_Escape);
      },
      [&] { ok = RunTextPrompt(context_, "Name", "Preset name:", text); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(text, "keep me");
}

TEST_F(ModalFixture, DialogLoopForwardsTicksAndSleeps) {
  const Window other = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, 0, 0);
  const Atom hello = XInternAtom(display_, "TESSARO_TEST_HELLO", False);
  timespec cpu0{}, cpu1{};
  const auto wall0 = std::chrono::steady_clock::now();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
  Drive(
      [&](Driver& d) {
        ASSERT_TRUE(d.WaitFor(kDialog, 1, nullptr));
        XEvent message{};
        message.xclient.type = ClientMessage;
        message.xclient.window = other;
        message.xclient.message_type = hello;
        message.xclient.format = 32;
        XSendEvent(d.display(), other, False, NoEventMask, &message);
        XSync(d.display(), False);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        d.Key(XK_Escape);
      },
      [&] {
        RunMessageBox(context_, "Waiting", "Wait", kAlertTypeOk);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
      });
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = (cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) * 1e-9;
  bool seen = false;
  for (const XEvent& e : forwarded_) seen = seen || (e.type == ClientMessage && e.xclient.message_type == hello);
  EXPECT_TRUE(seen);
  EXPECT_GE(ticks_, 15);
  EXPECT_LT(cpu, 0.25 * wall) << "the loop waits in poll instead of spinning";
  XDestroyWindow(display_, other);
}

// ---- the built-in palette ----

class PaletteTest : public ModalFixture {
 protected:
  void SetUp() override {
    ModalFixture::SetUp();
    path_ = std::make_unique<ScopedEnv>("PATH", empty_.Path());
  }
  void TearDown() override {
    path_.reset();
    ModalFixture::TearDown();
  }
  TempFolder empty_;
  std::unique_ptr<ScopedEnv> path_;
};

TEST_F(PaletteTest, AClickedSwatchIsTheColourItShows) {
  for (int swatch : {0, 13, 30, kPaletteSwatches - 1}) {
    IColour colour{77, 1, 2, 3};
    unsigned long shown = 0;
    bool ok = false;
    Drive(
        [&](Driver& d) {
          Found f;
          ASSERT_TRUE(d.WaitFor(kDialog, 1, &f));
          const IRect r = PaletteSwatchRect(swatch, 1.0);
          shown = d.Pixel(f.window, (r.L + r.R) / 2, (r.T + r.B) / 2);
          d.Click(CentreX(f, r), CentreY(f, r));
        },
        [&] { ok = AskForColour(context_, colour, "Colour"); });
    ASSERT_TRUE(ok) << swatch;
    EXPECT_EQ(colour.A, 77);
    EXPECT_EQ((colour.R << 16) | (colour.G << 8) | colour.B, static_cast<int>(shown)) << swatch;
  }
}

TEST_F(PaletteTest, EscapeKeepsTheColourAndTheCurrentSwatchKeepsItToo) {
  for (bool escape : {true, false}) {
    IColour colour{200, 10, 120, 230};
    bool ok = !escape;
    Drive(
        [&](Driver& d) {
          Found f;
          ASSERT_TRUE(d.WaitFor(kDialog, 1, &f));
          const IRect r = PaletteSwatchRect(kPaletteSwatches, 1.0);
          EXPECT_EQ(d.Pixel(f.window, (r.L + r.R) / 2, (r.T + r.B) / 2), 0x0A78E6UL) << "the current colour is shown";
          if (escape) {
            d.Key(XK_Escape);
          } else {
            d.Click(CentreX(f, r), CentreY(f, r));
          }
        },
        [&] { ok = AskForColour(context_, colour, "Colour"); });
    EXPECT_EQ(ok, !escape);
    EXPECT_EQ(colour, (IColour{200, 10, 120, 230}));
  }
}

// ---- the typed-path fallbacks ----

class FallbackTest : public PaletteTest {
 protected:
  TempFolder files_;
};

TEST_F(FallbackTest, OpenInsistsOnAnExistingFile) {
  const std::string there = files_.Write("take.png", "x");
  std::string path, directory = files_.Path() + "/";
  Drive(
      [&](Driver& d) {
        Found prompt, box, again;
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &prompt));
        d.Type(files_.Path() + "/missing.png");
        d.Key(XK_Return);
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &box, 5000, prompt.window)) << "a message says the file is not there";
        d.Key(XK_Return);
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &again, 5000, box.window)) << "and the prompt comes back";
        d.Type(there);
        d.Key(XK_Return);
      },
      [&] { AskForFile(context_, path, 0, directory, "png jpg", "/nonexistent-desktop"); });
  EXPECT_EQ(path, there);
  EXPECT_EQ(directory, files_.Path() + "/");
}

TEST_F(FallbackTest, OpenCancelledLeavesNoPath) {
  std::string path = "old.png", directory = files_.Path() + "/";
  Drive(
      [&](Driver& d) {
        ASSERT_TRUE(d.WaitFor(kDialog, 1, nullptr));
        d.Key(XK_Escape);
      },
      [&] { AskForFile(context_, path, 0, directory, "png", "/nonexistent-desktop"); });
  EXPECT_EQ(path, "");
  EXPECT_EQ(directory, files_.Path() + "/");
}

TEST_F(FallbackTest, SaveTakesANameInTheStartFolderAndAsksBeforeReplacing) {
  const std::string existing = files_.Write("keep.png", "x");
  {
    // A bare name lands in the folder the prompt started in; the empty
    // directory starts in the desktop.
    std::string path, directory;
    Drive(
        [&](Driver& d) {
          ASSERT_TRUE(d.WaitFor(kDialog, 1, nullptr));
          d.Type("new.png");
          d.Key(XK_Return);
        },
        [&] { AskForFile(context_, path, 1, directory, "png", files_.Path()); });
    EXPECT_EQ(path, files_.Path() + "/new.png");
    EXPECT_EQ(directory, files_.Path() + "/");
  }
  std::string path = "keep.png", directory = files_.Path() + "/";
  Drive(
      [&](Driver& d) {
        Found prompt, question, again, second;
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &prompt));
        d.Key(XK_Return);  // the prefilled path is the existing file
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &question, 5000, prompt.window));
        d.Key(XK_Escape);  // No
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &again, 5000, question.window));
        d.Key(XK_Return);
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &second, 5000, again.window));
        ClickButton(d, second, 2, 0);  // Yes
      },
      [&] { AskForFile(context_, path, 1, directory, "png", "/nonexistent-desktop"); });
  EXPECT_EQ(path, existing);
}

TEST_F(FallbackTest, FolderMustExist) {
  std::string path = files_.Path();
  Drive(
      [&](Driver& d) {
        Found prompt, box, again;
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &prompt));
        EXPECT_EQ(d.Name(prompt.window), "Presets folder");
        d.Type(files_.Path() + "/nope");
        d.Key(XK_Return);
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &box, 5000, prompt.window));
        d.Key(XK_Return);
        ASSERT_TRUE(d.WaitFor(kDialog, 1, &again, 5000, box.window));
        d.Type(files_.Path() + "/");
        d.Key(XK_Return);
      },
      [&] { AskForFolder(context_, path, "Presets folder"); });
  EXPECT_EQ(path, files_.Path());
}

// ---- zenity, played by a script that records its arguments ----

class ZenityTest : public ModalFixture {
 protected:
  void SetUp() override {
    ModalFixture::SetUp();
    args_ = bin_.Path() + "/args";
    bin_.Write("zenity", "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$FAKE_ARGS\"\nprintf '%s\\n' \"$FAKE_ANSWER\"\nexit "
                         "${FAKE_STATUS:-0}\n",
               true);
    env_.push_back(std::make_unique<ScopedEnv>("PATH", bin_.Path() + ":/usr/bin:/bin"));
    env_.push_back(std::make_unique<ScopedEnv>("FAKE_ARGS", args_));
  }
  void TearDown() override {
    env_.clear();
    ModalFixture::TearDown();
  }
  std::vector<std::string> Args() const {
    std::ifstream in(args_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  TempFolder bin_;
  std::string args_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

TEST_F(ZenityTest, SaveAsksWithTheStartNameAndFilter) {
  ScopedEnv answer("FAKE_ANSWER", "/some/where/out.png");
  std::string path = "mix.png", directory = "/music/";
  AskForFile(context_, path, 1, directory, "png jpg", "/desk");
  EXPECT_EQ(path, "/some/where/out.png");
  EXPECT_EQ(directory, "/some/where/");
  const std::vector<std::string> expected = {"--file-selection", "--save",  "--confirm-overwrite",
                                             "--filename=/music/mix.png", "--file-filter=*.png *.jpg",
                                             "--title=Save As"};
  EXPECT_EQ(Args(), expected);
}

TEST_F(ZenityTest, OpenStartsOnTheDesktopAndACancelClearsThePath) {
  ScopedEnv answer("FAKE_ANSWER", "/ignored.png");
  ScopedEnv status("FAKE_STATUS", "1");
  std::string path, directory;
  AskForFile(context_, path, 0, directory, "", "/desk/top");
  EXPECT_EQ(path, "");
  EXPECT_EQ(directory, "");
  const std::vector<std::string> expected = {"--file-selection", "--filename=/desk/top/", "--title=Open"};
  EXPECT_EQ(Args(), expected);
}

TEST_F(ZenityTest, Folder) {
  ScopedEnv answer("FAKE_ANSWER", "/a/b c");
  std::string path;
  AskForFolder(context_, path, "Where");
  EXPECT_EQ(path, "/a/b c");
  const std::vector<std::string> args = Args();
  ASSERT_GE(args.size(), 3u);
  EXPECT_EQ(args[0], "--file-selection");
  EXPECT_EQ(args[1], "--directory");
  EXPECT_EQ(args.back(), "--title=Where");
}

struct ColourCase {
  std::string answer;
  bool ok;
  IColour expected;
};

class ZenityColourTest : public ZenityTest, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(ZenityColourTest, ParsesTheAnswer) {
  ScopedEnv answer("FAKE_ANSWER", GetParam().answer);
  IColour colour{99, 1, 2, 3};
  EXPECT_EQ(AskForColour(context_, colour, "Line colour"), GetParam().ok);
  EXPECT_EQ(colour, GetParam().expected);
  const std::vector<std::string> expected = {"--color-selection", "--color=rgb(1,2,3)", "--title=Line colour"};
  EXPECT_EQ(Args(), expected);
}

INSTANTIATE_TEST_SUITE_P(Answers, ZenityColourTest,
                         ::testing::Values(ColourCase{"rgb(10,20,30)", true, {99, 10, 20, 30}},
                                           ColourCase{"rgba(10,20,255,0.5)", true, {99, 10, 20, 255}},
                                           ColourCase{"#0a141e", true, {99, 10, 20, 30}},
                                           ColourCase{"#0a0a14141e1e", true, {99, 10, 20, 30}},
                                           ColourCase{"#fff", true, {99, 255, 255, 255}},
                                           ColourCase{"banana", false, {99, 1, 2, 3}},
                                           ColourCase{"", false, {99, 1, 2, 3}}));

}  // namespace
}  // namespace tessaro::x11::testing
