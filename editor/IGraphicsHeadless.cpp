#include "editor/IGraphicsHeadless.h"

#include "editor/PlatformPaths.h"

namespace tessaro {

bool IGraphicsHeadless::BlitToWindow(const IRect& rect) {
  lastBlit_ = rect;
  ++blitCount_;
  return true;
}

void IGraphicsHeadless::HostDirectory(std::string& path) { path = paths::HostFolder(); }
void IGraphicsHeadless::PluginDirectory(std::string& path) { path = paths::PluginFolder(); }
void IGraphicsHeadless::DesktopDirectory(std::string& path) { path = paths::DesktopFolder(); }
void IGraphicsHeadless::DocumentsDirectory(std::string& path) { path = paths::DocumentsFolder(); }
void IGraphicsHeadless::AppDataDirectory(std::string& path, bool allUsers) { path = paths::AppDataFolder(allUsers); }

std::unique_ptr<LICE_MemBitmap> IGraphicsHeadless::LoadResourceBitmap(int resourceId, const char* name) {
  return LoadEmbeddedPng(resourceId, name);
}

HeadlessEditor MakeHeadlessEditor(IPlugBase* plug, int width, int height, int frameRate) {
  HeadlessEditor editor;
  editor.graphics = std::make_unique<IGraphicsHeadless>(plug, width, height, frameRate);
  editor.canvas = std::make_unique<ycairo_canvas>(plug);
  editor.canvas->LoadFont("resources/Ubuntu-R.ttf");
  editor.graphics->SetCanvas(editor.canvas.get());
  return editor;
}

}  // namespace tessaro
