// tessaro snapshot: builds our plug-in's editor without a window, paints the
// whole draw buffer and writes it as a PNG. The plug-in is linked in, not
// loaded, because its editor objects are what is being pictured.
#include <fmt/core.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string>

#include "cli/Command.h"
#include "core/IParameter.h"
#include "dsp/LimiterStage.h"
#include "editor/EditorPreview.h"
#include "editor/IGraphicsHeadless.h"
#include "editor/PngCodec.h"
#include "plugin/Parameters.h"
#include "plugin/Tessaro_v2.h"

namespace tessaro::cli {
namespace {

constexpr std::string_view kSnapshotUsage =
    "usage: tessaro snapshot [--scale S] [--program N] OUT.png\n"
    "\n"
    "Builds the Tessaro editor without a window, paints all of it and writes\n"
    "the picture to OUT.png (1280 x 720 at scale 1).\n"
    "\n"
    "options:\n"
    "  --scale S     editor scale, 0.5 to 1.25 (default 1)\n"
    "  --program N   recall factory program N (0 to 19) first (default: the\n"
    "                state the plug-in starts with)\n"
    "  -h, --help    show this help\n";

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

}  // namespace

int RunSnapshot(std::span<const std::string> args) {
  std::string out;
  double scale = 1.0;
  int program = -1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      fmt::print("{}", kSnapshotUsage);
      return kExitOk;
    }
    if (a == "--scale" || a == "--program") {
      if (i + 1 >= args.size()) return Usage(a + " needs a value");
      double v = 0.0;
      if (!ParseNumber(args[++i], v)) return Usage("not a number: " + args[i]);
      if (a == "--scale") {
        if (v < 0.5 || v > 1.25) return Usage("the scale must lie between 0.5 and 1.25");
        scale = v;
      } else {
        if (v != std::floor(v) || v < 0 || v >= Tessaro_v2::kNumPrograms)
          return Usage("no such program: " + args[i]);
        program = static_cast<int>(v);
      }
      continue;
    }
    if (!a.empty() && a[0] == '-') return Usage("unknown option " + a);
    if (!out.empty()) return Usage("only one output file");
    out = a;
  }
  if (out.empty()) return Usage("no output file");

  Tessaro_v2 plug(nullptr);
  plug.FillEmptyPrograms("Empty", plug.NumPrograms());
  if (program >= 0 && !plug.RecallProgram(program)) {
    fmt::print(stderr, "tessaro snapshot: program {} could not be recalled\n", program);
    return kExitFailure;
  }
  PreviewTexts texts;
  if (const IProgramSlot* slot = plug.GetProgram(plug.CurrentProgram())) texts.presetName = slot->name;
  const int type = static_cast<int>(plug.GetParam(kLimiterType)->Value());
  if (type >= 0 && type < kLimiterTypeCount)
    texts.limiterTypeName = kLimiterTypes[static_cast<std::size_t>(type)].name;

  HeadlessEditor editor = MakeHeadlessEditor(&plug, 1280, 720, 30);
  BuildPreviewLayout(*editor.graphics, *editor.canvas, plug, texts);
  plug.AttachEditor(editor.graphics.get());
  IGraphicsHeadless& g = *editor.graphics;
  // The rate means nothing while oversampling is off.
  g.HideParamControls(kOversampleRate, plug.GetParam(kOversampleMode)->Value() == 0.0);
  const bool painted = g.PaintDirty({0, 0, g.Width(), g.Height()});
  // No resize controller yet: a scaled snapshot is the painted editor resampled.
  LICE_MemBitmap scaled;
  const LICE_IBitmap* picture = g.DrawBuffer();
  if (scale != 1.0 && picture) {
    scaled.Resize(static_cast<int>(std::floor(g.Width() * scale)),
                  static_cast<int>(std::floor(g.Height() * scale)));
    lice::ResampleLanczos(*picture, {0, 0, g.Width(), g.Height()}, scaled,
                          {0, 0, scaled.Width(), scaled.Height()});
    picture = &scaled;
  }
  const bool written = painted && picture && WritePngFile(*picture, out, true);
  plug.AttachEditor(nullptr);
  if (!written) {
    fmt::print(stderr, "tessaro snapshot: could not write {}\n", out);
    return kExitFailure;
  }
  fmt::print("{}: {} x {}\n", out, picture->Width(), picture->Height());
  return kExitOk;
}

}  // namespace tessaro::cli
