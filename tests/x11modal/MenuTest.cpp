#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <memory>
#include <thread>

#include "editor/x11/X11Modal.h"
#include "editor/x11/X11ModalWindow.h"
#include "tests/x11modal/ModalDriver.h"

namespace tessaro::x11::testing {
namespace {

constexpr const char* kMenu = "tessaro-menu";

// Three items; the second opens a submenu of two.
std::unique_ptr<IMenu> MenuWithSubmenu() {
  auto menu = std::make_unique<IMenu>();
  menu->AddItem("First");
  auto sub = std::make_unique<IMenu>();
  sub->AddItem("Inner one");
  sub->AddItem("Inner two");
  menu->AddSubmenu("More", std::move(sub));
  menu->AddItem("Third");
  return menu;
}

class MenuTest : public ModalFixture {
 protected:
  // Where item index of menu sits on the screen, given its window.
  static void ItemCentre(const Found& f, const IMenu& menu, int index, int& x, int& y) {
    const IRect r = PopupMenuItemRect(menu, index, 1.0, f.rect.W());
    x = CentreX(f, r);
    y = CentreY(f, r);
  }
  IMenu* Run(IMenu& menu, const std::function<void(Driver&)>& script, int x = 200, int y = 150) {
    IMenu* result = reinterpret_cast<IMenu*>(1);
    Drive(script, [&] { result = RunPopupMenu(context_, menu, x, y); });
    return result;
  }
};

TEST_F(MenuTest, ClickOnATopLevelItemChoosesIt) {
  auto menu = MenuWithSubmenu();
  IMenu* result = Run(*menu, [&](Driver& d) {
    Found f;
    ASSERT_TRUE(d.WaitFor(kMenu, 1, &f));
    EXPECT_EQ(f.rect.L, 200);
    EXPECT_EQ(f.rect.T, 150);
    int x = 0, y = 0;
    ItemCentre(f, *menu, 2, x, y);
    d.Click(x, y);
  });
  EXPECT_EQ(result, menu.get());
  EXPECT_EQ(menu->chosen, 2);
  EXPECT_EQ(menu->items[1].submenu->chosen, -1);
}

TEST_F(MenuTest, HoverOpensTheSubmenuAndAClickThereReturnsIt) {
  auto menu = MenuWithSubmenu();
  IMenu* sub = menu->items[1].submenu.get();
  IMenu* result = Run(*menu, [&](Driver& d) {
    Found top, inner;
    ASSERT_TRUE(d.WaitFor(kMenu, 1, &top));
    int x = 0, y = 0;
    ItemCentre(top, *menu, 1, x, y);
    d.Move(x, y);
    ASSERT_TRUE(d.WaitFor(kMenu, 2, &inner));
    EXPECT_GE(inner.rect.L, top.rect.R - 4) << "the submenu opens to the right";
    ItemCentre(inner, *sub, 1, x, y);
    d.Move(top.rect.R - 2, y);  // along the row, then across
    d.Click(x, y);
  });
  EXPECT_EQ(result, sub);
  EXPECT_EQ(sub->chosen, 1);
  EXPECT_EQ(menu->chosen, -1);
  EXPECT_TRUE(Driver().Windows(kMenu).empty()) << "every menu window is gone";
}

TEST_F(MenuTest, KeyboardWalksIntoTheSubmenu) {
  auto menu = MenuWithSubmenu();
  IMenu* sub = menu->items[1].submenu.get();
  IMenu* result = Run(*menu, [&](Driver& d) {
    ASSERT_TRUE(d.WaitFor(kMenu, 1, nullptr));
    d.Key(XK_Down);
    d.Key(XK_Down);
    d.Key(XK_Right);
    ASSERT_TRUE(d.WaitFor(kMenu, 2, nullptr));
    d.Key(XK_Down);
    d.Key(XK_Return);
  });
  EXPECT_EQ(result, sub);
  EXPECT_EQ(sub->chosen, 1);
  EXPECT_EQ(menu->chosen, -1);
}

enum class Dismiss { kEscape, kClickOutside, kEscapeTwiceFromSubmenu, kLeftThenEscape };

class MenuDismissTest : public MenuTest, public ::testing::WithParamInterface<Dismiss> {};

TEST_P(MenuDismissTest, ClosesWithoutAChoice) {
  auto menu = MenuWithSubmenu();
  menu->chosen = 2;  // left over from an earlier run
  IMenu* result = Run(*menu, [&](Driver& d) {
    Found top;
    ASSERT_TRUE(d.WaitFor(kMenu, 1, &top));
    switch (GetParam()) {
      case Dismiss::kEscape:
        d.Key(XK_Escape);
        break;
      case Dismiss::kClickOutside:
        d.Click(top.rect.R + 40, top.rect.B + 40);
        break;
      case Dismiss::kEscapeTwiceFromSubmenu:
      case Dismiss::kLeftThenEscape: {
        d.Key(XK_Down);
        d.Key(XK_Down);
        d.Key(XK_Right);
        ASSERT_TRUE(d.WaitFor(kMenu, 2, nullptr));
        d.Key(GetParam() == Dismiss::kLeftThenEscape ? XK_Left : XK_Escape);
        ASSERT_TRUE(d.WaitFewer(kMenu, 2)) << "only the submenu closes";
        EXPECT_EQ(d.Windows(kMenu).size(), 1u);
        d.Key(XK_Escape);
        break;
      }
    }
  });
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(menu->chosen, -1);
  EXPECT_EQ(menu->items[1].submenu->chosen, -1);
}

INSTANTIATE_TEST_SUITE_P(Ways, MenuDismissTest,
                         ::testing::Values(Dismiss::kEscape, Dismiss::kClickOutside, Dismiss::kEscapeTwiceFromSubmenu,
                                           Dismiss::kLeftThenEscape));

class UnchoosableTest : public MenuTest, public ::testing::WithParamInterface<int> {};

TEST_P(UnchoosableTest, AClickOnItLeavesTheMenuOpen) {
  IMenu menu;
  menu.AddItem("Plain");
  if (GetParam() == IMenuItem::kSeparator) {
    menu.AddSeparator();
  } else {
    menu.AddItem("Not now", GetParam());
  }
  menu.AddItem("Last");
  IMenu* result = Run(menu, [&](Driver& d) {
    Found f;
    ASSERT_TRUE(d.WaitFor(kMenu, 1, &f));
    int x = 0, y = 0;
    ItemCentre(f, menu, 1, x, y);
    d.Click(x, y);
    d.Key(XK_Return);  // nothing is highlighted: Enter chooses nothing either
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(d.Windows(kMenu).size(), 1u) << "the menu is still open";
    d.Key(XK_Escape);
  });
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(menu.chosen, -1);
}

INSTANTIATE_TEST_SUITE_P(Flags, UnchoosableTest,
                         ::testing::Values(int{IMenuItem::kGreyed}, int{IMenuItem::kDisabled},
                                           int{IMenuItem::kSeparator}));

struct KeyCase {
  std::vector<unsigned long> keys;
  int chosen;
};

class MenuKeysTest : public MenuTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(MenuKeysTest, UpAndDownSkipWhatCannotBeChosen) {
  IMenu menu;
  menu.AddItem("A");
  menu.AddItem("B", IMenuItem::kGreyed);
  menu.AddSeparator();
  menu.AddItem("C", IMenuItem::kDisabled);
  menu.AddItem("D", IMenuItem::kChecked);
  IMenu* result = Run(menu, [&](Driver& d) {
    ASSERT_TRUE(d.WaitFor(kMenu, 1, nullptr));
    for (unsigned long key : GetParam().keys) d.Key(key);
    d.Key(XK_Return);
  });
  EXPECT_EQ(result, &menu);
  EXPECT_EQ(menu.chosen, GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(Cases, MenuKeysTest,
                         ::testing::Values(KeyCase{{XK_Down}, 0}, KeyCase{{XK_Down, XK_Down}, 4},
                                           KeyCase{{XK_Up}, 4}, KeyCase{{XK_Down, XK_Down, XK_Down}, 0},
                                           KeyCase{{XK_Down, XK_Up}, 4}));

// The menu opens under a held button; where that button comes up decides.
class OpeningClickTest : public MenuTest, public ::testing::WithParamInterface<bool> {};

TEST_P(OpeningClickTest, OnlyAReleaseAfterMovingChooses) {
  const bool drag = GetParam();
  IMenu menu;
  menu.AddItem("Under the pointer");
  menu.AddItem("Below");
  const int px = 300, py = 300;
  XTestFakeMotionEvent(display_, -1, px, py, CurrentTime);
  XTestFakeButtonEvent(display_, 3, True, CurrentTime);
  XSync(display_, False);
  // The pointer is over the first row when the menu opens.
  IMenu* result = Run(
      menu,
      [&](Driver& d) {
        Found f;
        ASSERT_TRUE(d.WaitFor(kMenu, 1, &f));
        if (drag) {
          int x = 0, y = 0;
          ItemCentre(f, menu, 1, x, y);
          d.Move(x, y);
          d.Button(3, false);
          return;
        }
        d.Button(3, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(d.Windows(kMenu).size(), 1u) << "the release that ended the opening click chose";
        d.Key(XK_Escape);
      },
      px - 10, py - 10);
  if (drag) {
    EXPECT_EQ(result, &menu);
    EXPECT_EQ(menu.chosen, 1);
  } else {
    EXPECT_EQ(result, nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Drag, OpeningClickTest, ::testing::Values(false, true));

TEST_F(MenuTest, StaysOnTheScreenNearItsEdge) {
  auto menu = MenuWithSubmenu();
  const IRect screen = ScreenRect(display_);
  Run(
      *menu,
      [&](Driver& d) {
        Found f;
        ASSERT_TRUE(d.WaitFor(kMenu, 1, &f));
        EXPECT_EQ(f.rect.R, screen.R);
        EXPECT_EQ(f.rect.B, screen.B);
        EXPECT_GT(f.rect.W(), 10);
        // The submenu has no room on the right, so it opens on the left.
        d.Key(XK_Down);
        d.Key(XK_Down);
        d.Key(XK_Right);
        Found inner;
        ASSERT_TRUE(d.WaitFor(kMenu, 2, &inner));
        EXPECT_LE(inner.rect.R, f.rect.L + 4);
        EXPECT_LE(inner.rect.B, screen.B);
        d.Key(XK_Escape);
        d.Key(XK_Escape);
      },
      screen.R - 5, screen.B - 5);
}

TEST_F(MenuTest, NumberedLabelsAreMeasuredAsShown) {
  // Long enough that the prefix cannot hide inside the minimum width.
  auto longWidth = [&](int numbering) {
    IMenu menu;
    menu.numbering = numbering;
    menu.AddItem("A rather long item label that sets the width");
    int width = 0;
    Run(menu, [&](Driver& d) {
      Found f;
      ASSERT_TRUE(d.WaitFor(kMenu, 1, &f));
      width = f.rect.W();
      d.Key(XK_Escape);
    });
    return width;
  };
  EXPECT_GT(longWidth(IMenu::kNumbers3), longWidth(IMenu::kNoNumbers) + 10);
}

TEST_F(MenuTest, OtherWindowsEventsAreForwardedAndTheTickRuns) {
  IMenu menu;
  menu.AddItem("Only");
  const Window other = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, 0, 0);
  const Atom hello = XInternAtom(display_, "TESSARO_TEST_HELLO", False);
  Run(menu, [&](Driver& d) {
    ASSERT_TRUE(d.WaitFor(kMenu, 1, nullptr));
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = other;
    message.xclient.message_type = hello;
    message.xclient.format = 32;
    XSendEvent(d.display(), other, False, NoEventMask, &message);
    XSync(d.display(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    d.Key(XK_Escape);
  });
  bool seen = false;
  for (const XEvent& e : forwarded_) seen = seen || (e.type == ClientMessage && e.xclient.message_type == hello);
  EXPECT_TRUE(seen);
  EXPECT_GE(ticks_, 8) << "about one tick per 15 ms over 200 ms and more";
  XDestroyWindow(display_, other);
}

TEST_F(MenuTest, AnEmptyMenuReturnsAtOnce) {
  IMenu menu;
  EXPECT_EQ(RunPopupMenu(context_, menu, 10, 10), nullptr);
}

}  // namespace
}  // namespace tessaro::x11::testing
