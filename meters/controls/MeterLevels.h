// What every meter control shares beyond the scale vocabulary of the
// followers: the level-to-pixel mapping, the colour arithmetic of the meter
// views and the label formats. Pure functions and small value types;
// any thread, nothing here allocates except the label formatter.
#pragma once

#include <string>

#include "editor/EditorTypes.h"
#include "meters/MeterBallistics.h"

namespace tessaro {

// The level below which a readout shows its floor (-70 dB).
inline constexpr double kReadoutFloor = 0.000316227766016838;
inline constexpr double kReadoutFloorDb = -70.0;

// The colour step the layout uses to derive its shades: alpha scaled by a
// percentage, contrast around mid-grey, then brightness toward black (below
// 50) or white (above 50); every step rounds half up and stays in 0..255.
IColour AdjustColor(const IColour& colour, double alphaPercent, double contrastPercent,
                    double brightnessPercent) noexcept;

// The view meters' colour for a Meter View (REDUCE for unknown views).
IColour ViewMeterColour(int meterView) noexcept;

// A published level as the controls accept it: anything not finite (a NaN
// or infinity from a broken block) reads as silence, so it draws as the floor.
double FiniteLevel(double level) noexcept;

// Where a level sits on a meter: minDb maps to the bottom edge, maxDb to the
// top. The gains are kept next to the dB values for the linear mode.
struct LevelMapping {
  double minDb = -24.0;
  double maxDb = 0.0;
  double minGain = 0.0;
  double maxGain = 1.0;
  bool dbMode = true;

  LevelMapping() = default;
  LevelMapping(double maxDbIn, double minDbIn);
  void SetMinDb(double db) noexcept;
  void SetMaxDb(double db) noexcept;
  // y of the level v (linear) in a rectangle of the given top and bottom,
  // unclamped; a non-finite level reads as 0, a collapsed range as the bottom.
  double Y(double v, int top, int bottom) const noexcept;
  // y of a value given in dB (a tick), unclamped.
  double YOfDb(double db, int top, int bottom) const noexcept;
};

// A tick label: one decimal when the value has a fraction, none otherwise,
// in a field of two ("20", "-0.1", " 2"). Editor thread; allocates.
std::string TickLabel(double db);

// A readout's text and whether it shows in the warning colour, from its held
// level. Editor thread; allocates.
struct ReadoutText {
  std::string text;
  bool warning = false;  // at or above full scale (not in reduction mode)
};
ReadoutText FormatReadout(double held, bool reductionMode, bool integerMode, bool signedReadout);

}  // namespace tessaro
