#include "meters/DisplayThemes.h"

namespace tessaro {

namespace {

// Colours as the themes were designed: 0xRRGGBB with a separate alpha.
constexpr IColour Hex(int rgb, int alpha) {
  return IColour{alpha, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};
}

constexpr CurveStyle Curve(IColour start, IColour end, IColour line, int lineOn, int fillOn, int glow) {
  return CurveStyle{start, end, line, lineOn != 0, fillOn != 0, glow != 0};
}

// Indexed by DisplayThemeId.
constexpr std::array<DisplayTheme, static_cast<int>(DisplayThemeId::kCount)> kThemes = {
    DisplayTheme{"Default",
                 {Hex(0x3155E1, 0xFF), Hex(0x1970B3, 0xFF)},
                 true,
                 Hex(0x000000, 0x00),
                 {
                     Curve(Hex(0x1970B3, 0xFF), Hex(0x000000, 0xFF), Hex(0x478CC2, 0xFF), 0, 1, 0),
                     Curve(Hex(0x3155E1, 0xA5), Hex(0x000000, 0xA5), Hex(0x3155E1, 0xD8), 1, 1, 0),
                     Curve(Hex(0xA97220, 0xA5), Hex(0x000000, 0xA5), Hex(0xDE911F, 0xA5), 1, 0, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 1, 0, 0),
                     Curve(Hex(0xC14C47, 0xE5), Hex(0x4D1E1C, 0xB2), Hex(0xE2261D, 0xFF), 1, 1, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 0, 1, 0),
                 }},
    DisplayTheme{"Color-Deep",
                 {Hex(0x1A46F9, 0xFF), Hex(0x0075CC, 0xFF)},
                 true,
                 Hex(0x000000, 0x00),
                 {
                     Curve(Hex(0x0675C6, 0xFF), Hex(0x000000, 0xFF), Hex(0x338DD7, 0xFF), 0, 1, 0),
                     Curve(Hex(0x1A46F9, 0xA5), Hex(0x000000, 0xA5), Hex(0x1845FA, 0xD8), 1, 1, 0),
                     Curve(Hex(0xBB760F, 0xA5), Hex(0x000000, 0xA5), Hex(0xFD8500, 0xA5), 1, 0, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 1, 0, 0),
                     Curve(Hex(0xE22525, 0xE5), Hex(0x80231E, 0xB2), Hex(0xFD0F02, 0xFF), 1, 1, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 0, 1, 0),
                 }},
    DisplayTheme{"Color-Mute",
                 {Hex(0x2D439D, 0xFF), Hex(0x205073, 0xFF)},
                 true,
                 Hex(0x232020, 0xFF),
                 {
                     Curve(Hex(0x2F6F9D, 0xFF), Hex(0x000000, 0xFF), Hex(0x5789B3, 0xFF), 0, 1, 0),
                     Curve(Hex(0x4963C9, 0xA5), Hex(0x000000, 0xA5), Hex(0x4963C9, 0xD8), 1, 1, 0),
                     Curve(Hex(0x987032, 0xA5), Hex(0x000000, 0xA5), Hex(0xC2823A, 0xA5), 1, 0, 1),
                     Curve(Hex(0xDDDD22, 0xFF), Hex(0xB6B649, 0xFF), Hex(0xDFDF20, 0xFF), 1, 0, 0),
                     Curve(Hex(0xB15A56, 0xE5), Hex(0x452523, 0xB2), Hex(0xC93E36, 0xFF), 1, 1, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 0, 1, 0),
                 }},
    DisplayTheme{"Color-Intense",
                 {Hex(0x142C87, 0xFF), Hex(0x48A3E6, 0xFF)},
                 true,
                 Hex(0x000000, 0xFF),
                 {
                     Curve(Hex(0x4432E4, 0xFF), Hex(0x2F2C6B, 0xFF), Hex(0x7592DD, 0xFF), 1, 1, 0),
                     Curve(Hex(0x1AA864, 0xA5), Hex(0x2F5551, 0xA5), Hex(0x12C292, 0xD8), 1, 1, 0),
                     Curve(Hex(0xAA7320, 0xA5), Hex(0x000000, 0xA5), Hex(0xFA6C03, 0xA5), 1, 0, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 1, 0, 0),
                     Curve(Hex(0x9A3934, 0xE5), Hex(0x5E1E30, 0xB2), Hex(0x8D1812, 0xFF), 1, 1, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 0, 1, 0),
                 }},
    DisplayTheme{"Color-Mono",
                 {Hex(0x5F5F5F, 0xFF), Hex(0xA3A3A3, 0xFF)},
                 true,
                 Hex(0x191919, 0xFF),
                 {
                     Curve(Hex(0x949494, 0xFF), Hex(0x7D7D7D, 0xFF), Hex(0xE4E4E4, 0xFF), 1, 1, 0),
                     Curve(Hex(0x3E3E3E, 0xA5), Hex(0x494949, 0xA5), Hex(0x585858, 0xD8), 1, 1, 0),
                     Curve(Hex(0xAA7320, 0xA5), Hex(0x000000, 0xA5), Hex(0x843800, 0xA5), 1, 0, 1),
                     Curve(Hex(0x88880D, 0xFF), Hex(0x444406, 0xFF), Hex(0x88880D, 0xFF), 1, 0, 0),
                     Curve(Hex(0x6F0000, 0xE5), Hex(0x332020, 0xB2), Hex(0x351111, 0xFF), 1, 1, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 0, 1, 0),
                 }},
    DisplayTheme{"Color-Orange",
                 {Hex(0x3155E1, 0xFF), Hex(0x1970B3, 0xFF)},
                 true,
                 Hex(0x000000, 0x00),
                 {
                     Curve(Hex(0xBE620E, 0xFF), Hex(0x000000, 0xFF), Hex(0xFFA953, 0xFF), 1, 1, 0),
                     Curve(Hex(0x004A7F, 0xA5), Hex(0x00345A, 0xA5), Hex(0x2A2A2A, 0xD8), 1, 0, 0),
                     Curve(Hex(0xA97220, 0xA5), Hex(0x000000, 0xA5), Hex(0xFFFFFF, 0xA5), 1, 0, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 1, 0, 0),
                     Curve(Hex(0xE93027, 0xE5), Hex(0x3B1310, 0xB2), Hex(0xA71B14, 0xFF), 1, 1, 1),
                     Curve(Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), Hex(0xFFFF00, 0xFF), 0, 1, 0),
                 }},
};

}  // namespace

const DisplayTheme& GetDisplayTheme(DisplayThemeId id) {
  const int i = static_cast<int>(id);
  return kThemes[static_cast<std::size_t>(i >= 0 && i < static_cast<int>(kThemes.size()) ? i : 0)];
}

const DisplayTheme* FactoryDisplayTheme(int slot) {
  if (slot < kFirstThemedSlot || slot > kLastThemedSlot) return nullptr;
  // Slots 2..9 are the limiter presets, all in the default look; the colour
  // programs follow in theme order.
  if (slot <= 9) return &GetDisplayTheme(DisplayThemeId::kDefault);
  return &GetDisplayTheme(static_cast<DisplayThemeId>(slot - 9));
}

void ApplyDisplayTheme(const DisplayTheme& theme, DisplaySettings* settings) {
  if (!settings) return;
  settings->analyser[0].colour = theme.analyser[0];
  settings->analyser[1].colour = theme.analyser[1];
  settings->analyser[1].glow = theme.analyserGlow;
  settings->background = theme.background;
  settings->curves.assign(theme.curves.begin(), theme.curves.end());
}

bool FactoryDisplaySettings(int slot, DisplaySettings* settings) {
  const DisplayTheme* theme = FactoryDisplayTheme(slot);
  if (!theme || !settings) return false;
  DisplaySettings s;
  s.analyserFeedOn = true;
  s.inputWaveOn = true;
  s.outputWaveOn = true;
  s.fftMode = false;
  s.outputRmsOn = true;
  s.fftSize = 4096;
  s.window = 5;
  ApplyDisplayTheme(*theme, &s);
  *settings = s;
  return true;
}

}  // namespace tessaro
