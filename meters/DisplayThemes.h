// The colour themes of the history display that ship in the factory programs,
// as plain data, and the display settings those programs store (written as
// version-1.0 records, the format the factory states were made in).
#pragma once

#include <array>

#include "meters/DisplaySettings.h"

namespace tessaro {

struct DisplayTheme {
  const char* name;
  // Colours of analyser curve records 0 and 1; record 1 glows in every theme.
  std::array<IColour, 2> analyser;
  bool analyserGlow;
  IColour background;
  // Output, Input, Output RMS, ISP, Reduce, ISP Over: the curve-list order.
  std::array<CurveStyle, 6> curves;
};

enum class DisplayThemeId : int { kDefault, kDeep, kMute, kIntense, kMono, kOrange, kCount };

inline constexpr int kFirstThemedSlot = 2;
inline constexpr int kLastThemedSlot = 14;
inline constexpr double kFactoryDisplayRecordVersion = 1.0;

const DisplayTheme& GetDisplayTheme(DisplayThemeId id);

// The theme of factory program slot 2..14, or nullptr for any other slot.
const DisplayTheme* FactoryDisplayTheme(int slot);

// Sets the analyser colours and glow, the background and the six curves
// (resizing the curve list to six); leaves every other field alone.
void ApplyDisplayTheme(const DisplayTheme& theme, DisplaySettings* settings);

// The display settings of factory slot 2..14: the display's defaults with the
// analyser feed, both waves and Output RMS on, waveform mode, FFT size 4096,
// window 5 and the slot's theme. False (settings untouched) for other slots.
bool FactoryDisplaySettings(int slot, DisplaySettings* settings);

}  // namespace tessaro
