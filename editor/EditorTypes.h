// The small value types the editor passes around: rectangles, text styles,
// mouse state, blends, picture strips and pop-up menus. Colours are the
// display settings' IColour, so a colour read from a state is the same type
// a control paints with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "meters/DisplaySettings.h"

namespace tessaro {

class LICE_MemBitmap;
class LICE_CachedFont;

// Integer rectangle in editor pixels; right and bottom are exclusive.
struct IRect {
  std::int32_t L = 0, T = 0, R = 0, B = 0;

  bool operator==(const IRect&) const = default;
  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  std::int32_t W() const { return R - L; }
  std::int32_t H() const { return B - T; }
  bool Contains(int x, int y) const { return x >= L && x < R && y >= T && y < B; }
  // Paint and clip overlap test; touching edges count as overlapping on the
  // right and bottom, which keeps a control next to a dirty edge repainted.
  bool Intersects(const IRect& r) const { return R >= r.L && L < r.R && B >= r.T && T < r.B; }
  bool Within(const IRect& outer) const {
    return L >= outer.L && R <= outer.R && T >= outer.T && B <= outer.B;
  }
  IRect Union(const IRect& r) const;
  IRect Intersection(const IRect& r) const;
};

// Double-precision rectangle, the form a scaled editor keeps.
struct IRectD {
  double L = 0.0, T = 0.0, R = 0.0, B = 0.0;

  bool operator==(const IRectD&) const = default;
  bool Empty() const { return L == 0.0 && T == 0.0 && R == 0.0 && B == 0.0; }
  IRectD Union(const IRectD& r) const;
};

struct ITextStyle {
  enum Style : std::int32_t { kNormal = 0, kBold = 1, kItalic = 2 };
  enum Align : std::int32_t { kLeft = 0, kCentre = 1, kRight = 2 };
  enum Quality : std::int32_t { kDefault = 0, kNonAntialiased = 1, kAntialiased = 2, kClearType = 3 };

  char face[32] = "Verdana";
  std::int32_t size = 12;
  IColour colour{255, 0, 0, 0};
  IColour entryBackground{255, 255, 255, 255};
  IColour entryForeground{255, 0, 0, 0};
  std::int32_t style = kNormal;
  std::int32_t align = kCentre;
  std::int32_t orientation = 0;  // degrees
  std::int32_t quality = kDefault;
  LICE_CachedFont* cachedFont = nullptr;  // owned by the process-wide font cache

  ITextStyle() = default;
  ITextStyle(const char* faceName, int sizePx, IColour textColour, int align = kCentre);
  void SetFace(const char* faceName);
};

struct IMouseState {
  bool left = false, right = false, shift = false, control = false, alt = false;
};

struct IBlend {
  enum Method : std::int32_t { kSourceAlpha = 0, kCopy = 1, kAdd = 2, kColourDodge = 3 };
  std::int32_t method = kSourceAlpha;
  float weight = 1.0f;
};

// A picture and how it divides into frames; frame k (1-based) is the k-th
// equal slice along the frame axis.
struct IBitmapStrip {
  LICE_MemBitmap* bitmap = nullptr;  // owned by the graphics core's bitmap store
  std::int32_t W = 0, H = 0;         // the whole picture
  std::int32_t frames = 1;
  bool horizontal = false;

  std::int32_t FrameWidth() const { return horizontal && frames > 0 ? W / frames : W; }
  std::int32_t FrameHeight() const { return !horizontal && frames > 0 ? H / frames : H; }
};

class IMenu;

struct IMenuItem {
  enum Flags : std::int32_t { kGreyed = 1, kDisabled = 2, kChecked = 4, kSeparator = 8 };
  std::string text;
  std::unique_ptr<IMenu> submenu;
  std::int32_t flags = 0;
};

class IMenu {
 public:
  enum Numbering : std::int32_t { kNoNumbers = 0, kNumbers1 = 1, kNumbers2 = 2, kNumbers3 = 3 };

  IMenuItem& AddItem(std::string text, std::int32_t flags = 0);
  IMenuItem& AddSubmenu(std::string text, std::unique_ptr<IMenu> submenu);
  IMenuItem& AddSeparator();
  int NumItems() const { return static_cast<int>(items.size()); }
  // The text a menu shows for item i (0-based), with its number prefix.
  std::string ItemLabel(int i) const;

  std::int32_t numbering = kNoNumbers;
  std::int32_t chosen = -1;
  std::vector<IMenuItem> items;
};

}  // namespace tessaro
