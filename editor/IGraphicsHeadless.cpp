#include "editor/IGraphicsHeadless.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace tessaro {
namespace {

std::string FolderOf(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/tmp";
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

bool IGraphicsHeadless::BlitToWindow(const IRect& rect) {
  lastBlit_ = rect;
  ++blitCount_;
  return true;
}

void IGraphicsHeadless::HostDirectory(std::string& path) {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  path = n > 0 ? FolderOf(std::string(buffer, static_cast<std::size_t>(n))) : std::string("./");
}

void IGraphicsHeadless::PluginDirectory(std::string& path) {
  Dl_info info{};
  static const int anchor = 0;
  path = dladdr(&anchor, &info) && info.dli_fname ? FolderOf(info.dli_fname) : std::string("./");
}

void IGraphicsHeadless::DesktopDirectory(std::string& path) { path = WithSlash(Home() + "/Desktop"); }

void IGraphicsHeadless::DocumentsDirectory(std::string& path) {
  const char* docs = std::getenv("XDG_DOCUMENTS_DIR");
  path = WithSlash(docs && *docs ? docs : Home() + "/Documents");
}

void IGraphicsHeadless::AppDataDirectory(std::string& path, bool allUsers) {
  if (allUsers) {
    path = "/usr/local/share/";
    return;
  }
  const char* data = std::getenv("XDG_DATA_HOME");
  path = WithSlash(data && *data ? data : Home() + "/.local/share");
}

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
