// The graphics core without any window system: nothing is shown, menus,
// dialogs and text fields answer "cancelled", and BlitToWindow only notes
// the rectangle. Tests and off-screen snapshots run the editor on it.
#pragma once

#include <memory>
#include <string>

#include "editor/IGraphics.h"
#include "editor/ycairo.h"

namespace tessaro {

class IGraphicsHeadless : public IGraphics {
 public:
  using IGraphics::IGraphics;

  bool BlitToWindow(const IRect& rect) override;
  void CancelTextEntry() override {}
  const char* DrawingApiName() const override { return "Headless"; }
  int ShowAlert(const char*, const char*, int) override { return kAlertCancel; }
  IMenu* ShowPopupMenu(IMenu&, const IRect&) override { return nullptr; }
  void ShowTextEntry(IControl*, const ITextStyle&, const IRect&, const char*, IParameter*) override {}
  void HostDirectory(std::string& path) override;
  void PluginDirectory(std::string& path) override;
  void DesktopDirectory(std::string& path) override;
  void DocumentsDirectory(std::string& path) override;
  void AppDataDirectory(std::string& path, bool allUsers) override;
  void AskForFile(std::string& path, int, std::string&, const char*) override { path.clear(); }
  void AskForFolder(std::string& path, const char*) override { path.clear(); }
  bool AskForColour(IColour&, const char*) override { return false; }
  bool OpenWebPage(const char*, const char*, const char*, const char*) override { return false; }
  void* CreateEditorWindow(void*) override { return nullptr; }
  void DestroyEditorWindow() override {}
  void* WindowHandle() override { return nullptr; }
  void WindowRect(IRect& rect) override { rect = {}; }
  void TopWindowRect(IRect& rect) override { rect = {}; }
  void WorkArea(IRect& rect) override { rect = {0, 0, Width(), Height()}; }
  bool ClipboardText(std::string& text) override {
    text.clear();
    return false;
  }
  double ScreenScale() override { return 1.0; }
  void ReservedHook3() override {}
  std::unique_ptr<LICE_MemBitmap> LoadResourceBitmap(int resourceId, const char* name) override;

  // The rectangle of the last BlitToWindow and how many there were.
  const IRect& LastBlit() const { return lastBlit_; }
  int BlitCount() const { return blitCount_; }

 private:
  IRect lastBlit_;
  int blitCount_ = 0;
};

// An editor as the plug-in owns one: the graphics core and its canvas, the
// embedded font loaded, the canvas bound to the core.
struct HeadlessEditor {
  std::unique_ptr<IGraphicsHeadless> graphics;
  std::unique_ptr<ycairo_canvas> canvas;
};
HeadlessEditor MakeHeadlessEditor(IPlugBase* plug, int width, int height, int frameRate);

}  // namespace tessaro
