// The clipboard between two editors of one process, each on its own
// connection and thread, as two plug-in windows in a host would be.
#include "EditorHost.h"

#include <atomic>
#include <thread>

#include "editor/x11/IGraphicsX11.h"

namespace tessaro::testing {
namespace {

TEST(Clipboard, TextOfferedByOneEditorIsReadByAnother) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  auto first = std::make_unique<HostWindow>(display, 200, 100, 0, 0);
  auto second = std::make_unique<HostWindow>(display, 200, 100, 300, 0);
  const std::string text = "Tessaro preset \xC3\xA9 1";
  std::atomic<bool> offered{false}, done{false}, owned{false};
  // The offering editor lives on a thread of its own, which answers requests.
  std::thread server([&] {
    IGraphicsX11 editor(nullptr, 200, 100, 30);
    editor.CreateDrawBuffer();
    if (editor.CreateEditorWindow(first->handle())) {
      owned = editor.SetClipboardText(text.c_str());
      offered = true;
      while (!done) {
        editor.Idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      editor.DestroyEditorWindow();
    }
    offered = true;
  });
  // Joined on every way out, failed assertions included.
  struct Stop {
    std::atomic<bool>& done;
    std::thread& thread;
    ~Stop() {
      done = true;
      if (thread.joinable()) thread.join();
    }
  } stop{done, server};
  while (!offered) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(owned);
  IGraphicsX11 reader(nullptr, 200, 100, 30);
  reader.CreateDrawBuffer();
  ASSERT_NE(reader.CreateEditorWindow(second->handle()), nullptr);
  std::string read;
  EXPECT_TRUE(reader.ClipboardText(read));
  EXPECT_EQ(read, text);
  // Its own offer answers it at once, without a round trip.
  ASSERT_TRUE(reader.SetClipboardText("mine"));
  EXPECT_TRUE(reader.ClipboardText(read));
  EXPECT_EQ(read, "mine");
  done = true;
  server.join();
  reader.DestroyEditorWindow();
  // Without a window there is no clipboard.
  EXPECT_FALSE(reader.ClipboardText(read));
  EXPECT_TRUE(read.empty());
  first.reset();
  second.reset();
  XCloseDisplay(display);
}

}  // namespace
}  // namespace tessaro::testing
