// Bitmap text: single-line text drawn and measured with FreeType straight
// into an ARGB bitmap. Every face name resolves to the font embedded in the
// plug-in (resource 1001), the only font the editor can rely on everywhere.
#pragma once

#include <atomic>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "editor/EditorTypes.h"
#include "editor/LiceBitmap.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace tessaro {

class LICE_IFont {
 public:
  // Format flags of DrawText.
  enum Flags : int {
    kSingleLine = 1,
    kVCentre = 2,
    kNoClip = 4,
    kLeft = 0,
    kCentre = 8,
    kRight = 16,
    kCalcRect = 32,  // measure: set rect's right and bottom, draw nothing
    kNoAlphaPass = 64,
  };
  virtual ~LICE_IFont() = default;
  virtual void SetTextColour(std::uint32_t argb) = 0;
  // Draws (or with kCalcRect measures) text in rect; returns the line height.
  virtual int DrawText(LICE_IBitmap* bitmap, const char* text, IRect* rect, int flags) = 0;
  virtual int LineHeight() const = 0;
};

// What the font is created with: height in pixels (the cell: ascent plus
// descent), escapement in tenths of a degree, weight 400 or 700, italic and
// the antialiasing quality (ITextStyle::Quality).
struct FontRequest {
  int height = 12;
  int escapement = 0;
  int weight = 400;
  bool italic = false;
  int quality = ITextStyle::kDefault;
};

class LICE_CachedFont : public LICE_IFont {
 public:
  // Null when FreeType cannot open the font bytes.
  static std::unique_ptr<LICE_CachedFont> Create(const FontRequest& request, const std::uint8_t* fontData,
                                                 std::size_t fontSize);
  ~LICE_CachedFont() override;

  void SetTextColour(std::uint32_t argb) override { colour_.store(argb, std::memory_order_relaxed); }
  int DrawText(LICE_IBitmap* bitmap, const char* text, IRect* rect, int flags) override {
    return DrawText(bitmap, text, rect, flags, colour_.load(std::memory_order_relaxed));
  }
  // The same in the given colour: editors of several instances share one
  // font, so the colour travels with the call rather than in the font.
  int DrawText(LICE_IBitmap* bitmap, const char* text, IRect* rect, int flags, std::uint32_t argb);
  int LineHeight() const override { return ascent_ + descent_; }
  // Width of the text's advances in pixels.
  int MeasureWidth(const char* text);

 private:
  struct Glyph {
    int left = 0, top = 0, width = 0, height = 0, advance = 0;
    std::vector<std::uint8_t> coverage;
  };
  LICE_CachedFont() = default;
  const Glyph& GlyphFor(char32_t codepoint);  // with mutex_ held: it fills the cache
  int MeasureWidthLocked(const char* text);

  std::mutex mutex_;  // instances in several hosts' threads share one font
  FT_LibraryRec_* library_ = nullptr;
  FT_FaceRec_* face_ = nullptr;
  FontRequest request_;
  std::atomic<std::uint32_t> colour_{0xFF000000u};
  int ascent_ = 0, descent_ = 0;
  std::map<char32_t, Glyph> glyphs_;
};

// Decodes one UTF-8 sequence at text[i], advancing i; bad bytes give U+FFFD.
char32_t NextCodepoint(const char* text, std::size_t& i);

}  // namespace tessaro
