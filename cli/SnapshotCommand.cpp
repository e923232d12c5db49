// tessaro snapshot: a picture of a plug-in's editor, taken the way a user
// would see it: the plug-in loaded from its binary, its editor opened in a
// window on an X display (a private Xvfb when there is none), idled until
// it has painted, and the window's contents written as a PNG.
#include <fmt/core.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <thread>

#include "cli/Command.h"
#include "cli/HostFiles.h"
#include "cli/HostWindow.h"
#include "cli/Picture.h"
#include "cli/PluginSettings.h"
#include "host/VirtualDisplay.h"
#include "host/VstHost.h"

namespace tessaro::cli {
namespace {

constexpr std::string_view kSnapshotUsage =
    "usage: tessaro snapshot [--scale S] [--program N|NAME] [--plugin PATH] OUT.png\n"
    "\n"
    "Opens the plug-in's editor in a window, lets it paint and writes the\n"
    "window's picture to OUT.png (Tessaro: 1280 x 720 at scale 1). Without\n"
    "DISPLAY it starts a private Xvfb server for it.\n"
    "\n"
    "options:\n"
    "  --scale S          picture scale, 0.5 to 1.25 (default 1); the editor is\n"
    "                     painted at its own size and the picture resampled\n"
    "  --program N|NAME   choose a program first (default: the state the\n"
    "                     plug-in starts with)\n"
    "  --plugin PATH      the VST 2.4 effect (default: Tessaro_v2.so next to the\n"
    "                     tessaro executable)\n"
    "  -h, --help         show this help\n"
    "\n"
    "exit codes: 0 done, 1 failure (no display, no editor, OUT not written),\n"
    "2 bad command line (also an unknown program)\n";

// Painting is done when the editor has had this long and this many idle
// calls since the last exposure or map we saw; it gets at most kLongest.
constexpr auto kShortest = std::chrono::milliseconds(300);
constexpr auto kQuietAfterPaint = std::chrono::milliseconds(100);
constexpr int kIdlesAfterPaint = 5;
constexpr auto kIdleEvery = std::chrono::milliseconds(10);
constexpr auto kLongest = std::chrono::seconds(10);

bool ParseNumber(const std::string& text, double& out) {
  errno = 0;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return errno == 0 && end && *end == '\0' && end != text.c_str() && std::isfinite(out);
}

int Usage(const std::string& problem) {
  fmt::print(stderr, "tessaro snapshot: {}\n\n{}", problem, kSnapshotUsage);
  return kExitUsage;
}

int Failed(const std::string& problem) {
  fmt::print(stderr, "tessaro snapshot: {}\n", problem);
  return kExitFailure;
}

// Idles the editor until it has painted; false when no editor window ever
// appeared in ours.
bool LetItPaint(host::Plugin& plugin, HostWindow& window) {
  using Clock = std::chrono::steady_clock;
  const auto started = Clock::now();
  auto lastPaint = started;
  int idlesSincePaint = 0;
  for (;;) {
    if (window.Pump() > 0) {
      lastPaint = Clock::now();
      idlesSincePaint = 0;
    }
    plugin.IdleEditor();
    ++idlesSincePaint;
    const auto now = Clock::now();
    const bool shown = window.ChildCount() > 0 && window.Viewable();
    if (shown && now - started >= kShortest && now - lastPaint >= kQuietAfterPaint &&
        idlesSincePaint >= kIdlesAfterPaint) {
      return true;
    }
    if (now - started >= kLongest) return shown;
    std::this_thread::sleep_for(kIdleEvery);
  }
}

}  // namespace

int RunSnapshot(std::span<const std::string> args) {
  std::string out, pluginPath, program;
  double scale = 1.0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      fmt::print("{}", kSnapshotUsage);
      return kExitOk;
    }
    if (a == "--scale" || a == "--program" || a == "--plugin") {
      if (i + 1 >= args.size()) return Usage(a + " needs a value");
      const std::string& value = args[++i];
      if (a == "--scale") {
        double v = 0.0;
        if (!ParseNumber(value, v)) return Usage("not a number: " + value);
        if (v < 0.5 || v > 1.25) return Usage("the scale must lie between 0.5 and 1.25");
        scale = v;
      } else if (a == "--program") {
        if (value.empty()) return Usage("--program needs a number or a name");
        program = value;
      } else {
        pluginPath = value;
      }
      continue;
    }
    if (!a.empty() && a[0] == '-') return Usage("unknown option " + a);
    if (!out.empty()) return Usage("only one output file");
    out = a;
  }
  if (out.empty()) return Usage("no output file");
  {
    // Say so before a display is started for nothing.
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(out).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
      return Failed("cannot write " + out + ": folder '" + folder.string() + "' does not exist");
    }
  }
  if (pluginPath.empty()) pluginPath = DefaultPluginPath();

  // Declared first so it goes last: the server outlives every connection to it.
  std::unique_ptr<host::VirtualDisplay> display;
  host::HostOptions hostOptions;
  std::string error;
  std::unique_ptr<host::Plugin> plugin = host::Plugin::Load(pluginPath, hostOptions, &error);
  if (!plugin) return Failed("the plug-in failed to load: " + error);
  plugin->Start();
  if (!program.empty()) {
    double number = 0.0;
    if (ParseNumber(program, number) &&
        (number != std::floor(number) || number < 0 || number >= plugin->NumPrograms())) {
      return Usage(fmt::format("no such program: {} (the plug-in has {})", program, plugin->NumPrograms()));
    }
    const SettingResult chosen = SelectProgram(*plugin, program);
    if (!chosen) return Usage(chosen.message);
  }
  if (!plugin->HasEditor()) return Failed("the plug-in " + pluginPath + " has no editor");

  display = host::VirtualDisplay::Ensure(&error);
  if (!display) return Failed(error);
  HostWindow::Settings settings;
  settings.unmanaged = true;
  if (!plugin->EditorRect(&settings.width, &settings.height)) {
    settings.width = 640;
    settings.height = 480;
  }
  std::unique_ptr<HostWindow> window = HostWindow::Create(settings, &error);
  if (!window) return Failed(error);
  HostWindow* windowPointer = window.get();
  plugin->onSizeWindow = [windowPointer](int width, int height) {
    windowPointer->Resize(width, height);
    return true;
  };
  window->Map();
  if (!plugin->OpenEditor(window->window())) {
    plugin->onSizeWindow = nullptr;
    return Failed("the plug-in's editor did not open");
  }
  int width = 0, height = 0;
  if (plugin->EditorRect(&width, &height) && (width != window->width() || height != window->height())) {
    window->Resize(width, height);
  }
  const bool painted = LetItPaint(*plugin, *window);
  RgbImage picture;
  const bool captured = painted && window->Capture(&picture, &error);
  // The texts the picture shows, as the plug-in names them to any host.
  std::string shows = plugin->ProgramName();
  for (std::int32_t i = 0; i < plugin->NumParams(); ++i) {
    if (plugin->ParamName(i) == "Limiter")
      shows += (shows.empty() ? "" : ", ") + ("Limiter " + plugin->ParamDisplay(i));
  }
  plugin->CloseEditor();
  plugin->onSizeWindow = nullptr;
  plugin->Suspend();
  plugin.reset();
  window.reset();
  if (!painted) return Failed("the editor opened but never showed a window");
  if (!captured) return Failed("could not read the editor's picture: " + error);

  if (scale != 1.0) {
    picture = ResampleLanczos3(picture, static_cast<int>(std::floor(picture.width * scale)),
                               static_cast<int>(std::floor(picture.height * scale)));
  }
  if (!WritePng(picture, out, &error)) return Failed(error);
  fmt::print("{}: {} x {}{}\n", out, picture.width, picture.height, shows.empty() ? "" : " (" + shows + ")");
  return kExitOk;
}

}  // namespace tessaro::cli
