#include "meters/controls/MeterLevels.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "dsp/DbMath.h"

namespace tessaro {
namespace {

// Half up, with a hair of slack so that 12.5 computed as 12.4999999 still
// goes up.
int RoundHalfUp(double x) noexcept { return static_cast<int>(std::floor(x + 0.5 + 1e-9)); }

int ClampByte(int v) noexcept { return std::clamp(v, 0, 255); }

int AdjustChannel(int v, double contrast, double brightness) noexcept {
  int c = ClampByte(RoundHalfUp((v - 127.5) * contrast / 100.0 + 127.5));
  if (brightness < 50.0) {
    c = RoundHalfUp(c * brightness / 50.0);
  } else if (brightness > 50.0) {
    c = RoundHalfUp(c + (255 - c) * (brightness - 50.0) / 50.0);
  }
  return ClampByte(c);
}

}  // namespace

IColour AdjustColor(const IColour& colour, double alphaPercent, double contrastPercent,
                    double brightnessPercent) noexcept {
  IColour out;
  out.A = ClampByte(RoundHalfUp(std::clamp(colour.A * alphaPercent / 100.0, 0.0, 255.0)));
  out.R = AdjustChannel(colour.R, contrastPercent, brightnessPercent);
  out.G = AdjustChannel(colour.G, contrastPercent, brightnessPercent);
  out.B = AdjustChannel(colour.B, contrastPercent, brightnessPercent);
  return out;
}

IColour ViewMeterColour(int meterView) noexcept {
  switch (meterView) {
    case kViewInput: return AdjustColor({255, 49, 85, 225}, 40, 100, 50);
    case kViewDistort: return {255, 73, 194, 119};
    default: return AdjustColor({255, 193, 76, 71}, 60, 100, 50);
  }
}

double FiniteLevel(double level) noexcept { return std::isfinite(level) ? level : 0.0; }

LevelMapping::LevelMapping(double maxDbIn, double minDbIn) {
  SetMaxDb(maxDbIn);
  SetMinDb(minDbIn);
}

void LevelMapping::SetMinDb(double db) noexcept {
  minDb = db;
  minGain = DbToLin(db);
}

void LevelMapping::SetMaxDb(double db) noexcept {
  maxDb = db;
  maxGain = DbToLin(db);
}

double LevelMapping::Y(double v, int top, int bottom) const noexcept {
  v = FiniteLevel(v);
  if (dbMode) return YOfDb(LinToDb(v), top, bottom);
  if (!(maxGain != minGain)) return bottom;
  return static_cast<double>(top - bottom) * (v - minGain) / (maxGain - minGain) + bottom;
}

double LevelMapping::YOfDb(double db, int top, int bottom) const noexcept {
  // A scale with no extent would divide by zero; it shows nothing instead.
  if (!(maxDb != minDb) || !std::isfinite(db)) return bottom;
  return static_cast<double>(top - bottom) * (db - minDb) / (maxDb - minDb) + bottom;
}

std::string TickLabel(double db) {
  const double fraction = std::fabs(db - std::trunc(db));
  if (fraction > 2.22045e-10) return fmt::format("{:2.1f}", db);
  return fmt::format("{:2.0f}", db);
}

ReadoutText FormatReadout(double held, bool reductionMode, bool integerMode, bool signedReadout) {
  held = std::fabs(FiniteLevel(held));
  double d;
  if (!reductionMode) {
    d = held < kReadoutFloor ? kReadoutFloorDb : LinToDb(held);
  } else {
    if (held < kReadoutFloor) {
      d = 0.0;
    } else if (held < 1.0 - kReadoutFloor) {
      d = LinToDb(std::fabs(1.0 - held));
    } else {
      d = kReadoutFloorDb;
    }
    // 0 - d rather than -d: no reduction must read 0.0, never -0.0.
    d = 0.0 - d;
  }
  ReadoutText out;
  out.warning = d >= 0.0 && !reductionMode;
  if (!signedReadout && d < 0.0) d = -d;
  if (integerMode && std::fabs(d) > 9.9) {
    out.text = fmt::format("{}", static_cast<int>(d));
  } else if (!integerMode && d > -1.0 && d < 1.0) {
    out.text = fmt::format("{:0.2f}", d);
  } else {
    out.text = fmt::format("{:0.1f}", d);
  }
  return out;
}

}  // namespace tessaro
