// Whole pictures: a small control set painted off-screen against a stored
// reference, and the tessaro snapshot command.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "EditorFixture.h"
#include "editor/EditorPreview.h"
#include "editor/PngCodec.h"
#include "tests/common/PictureCompare.h"

namespace tessaro::testing {
namespace {

const std::string kReference = std::string(TESSARO_SOURCE_DIR) + "/tests/editor/reference/controls.png";

TEST(Snapshot, ASmallControlSetMatchesItsReference) {
  TestPlug plug;
  plug.GetParam(kLevel)->Set(7.5);
  plug.GetParam(kFlag)->Set(1.0);
  HeadlessEditor editor = MakeHeadlessEditor(&plug, 240, 120, 30);
  IGraphics& g = *editor.graphics;
  g.AddBackgroundPanel({255, 6, 6, 6});
  g.AddControl(new IKnobStripControl(&plug, {8, 8, 80, 80}, kLevel, g.LoadBitmap(114, "knobsmall.png", 72)));
  g.AddControl(
      new IParamValueText(&plug, editor.canvas.get(), {8, 80, 80, 100}, kLevel, 12, {255, 210, 210, 210}));
  g.AddControl(new ISwitchControl(&plug, 100, 10, kFlag, g.LoadBitmap(106, "bypass_button.png", 2)));
  g.AddControl(new ISwitchControl(&plug, 100, 44, kMode, g.LoadBitmap(117, "vutype_button.png", 5)));
  ITextStyle style("Ubuntu", 18, {255, 255, 130, 0});
  g.AddControl(new ITextControl(&plug, {96, 80, 236, 110}, style, "Tessaro"));
  auto* dim = new IPanelControl(&plug, {200, 40, 230, 70}, {255, 25, 112, 179});
  g.AddControl(dim);
  dim->SetGreyed(true);
  plug.AttachEditor(&g);
  ASSERT_TRUE(g.PaintDirty({0, 0, 240, 120}));
  const LICE_MemBitmap picture = OpaqueCopy(*g.DrawBuffer());
  plug.AttachEditor(nullptr);

  if (std::getenv("TESSARO_UPDATE_REFERENCES")) {
    ASSERT_TRUE(WritePngFile(picture, kReference, true));
    GTEST_SKIP() << "wrote " << kReference;
  }
  auto reference = ReadPngFile(kReference);
  ASSERT_NE(reference, nullptr) << kReference;
  const PictureDifference d = ComparePictures(picture, *reference);
  EXPECT_LT(d.mean, 1.5);
  EXPECT_LT(d.badShare, 0.01);
  // The comparison itself must be able to fail: the knob turned elsewhere is far off.
  LICE_MemBitmap moved = picture;
  lice::FillRect(moved, {8, 8, 80, 80}, 0xFF000000u, 1.0f, lice::kCopy);
  EXPECT_GT(ComparePictures(moved, *reference).badShare, 0.01);
}

int RunCli(const std::string& args) {
  const std::string command = std::string(TESSARO_CLI_PATH) + " " + args + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Snapshot, TheCommandPaintsTheWholeEditorWithTheArtwork) {
  const std::string out = ::testing::TempDir() + "tessaro-snapshot.png";
  std::remove(out.c_str());
  ASSERT_EQ(RunCli("snapshot " + out), 0);
  auto shot = ReadPngFile(out);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->Width(), 1280);
  EXPECT_EQ(shot->Height(), 720);
  // Where no control lies, the picture is the background artwork itself.
  auto background = LoadEmbeddedPng(103, "kestbackground.png");
  ASSERT_NE(background, nullptr);
  for (const auto& [x, y] : {std::pair{500, 300}, {1145, 36}, {20, 20}, {1071, 660}}) {
    EXPECT_EQ(shot->Pixel(x, y) & 0xFFFFFFu, background->Pixel(x, y) & 0xFFFFFFu) << x << "," << y;
  }
  // A knob strip is drawn at the Amount knob's place: the picture differs there.
  int changed = 0;
  for (int y = 68; y < 168; ++y) {
    for (int x = 1022; x < 1122; ++x)
      changed += (shot->Pixel(x, y) & 0xFFFFFFu) != (background->Pixel(x, y) & 0xFFFFFFu);
  }
  EXPECT_GT(changed, 2000);
  std::remove(out.c_str());
}

TEST(Snapshot, ScaleAndProgramOptions) {
  const std::string out = ::testing::TempDir() + "tessaro-snapshot-half.png";
  ASSERT_EQ(RunCli("snapshot --scale 0.5 --program 3 " + out), 0);
  auto shot = ReadPngFile(out);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->Width(), 640);
  EXPECT_EQ(shot->Height(), 360);
  std::remove(out.c_str());
  EXPECT_EQ(RunCli("snapshot"), 2);
  EXPECT_EQ(RunCli("snapshot --scale 3 " + out), 2);
  EXPECT_EQ(RunCli("snapshot --program 20 " + out), 2);
  EXPECT_EQ(RunCli("snapshot --frobnicate " + out), 2);
  EXPECT_EQ(RunCli("snapshot /nonexistent-folder/x.png"), 1);
}

}  // namespace
}  // namespace tessaro::testing
