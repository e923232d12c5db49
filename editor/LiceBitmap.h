// The editor's pictures: 32-bit ARGB pixels (0xAARRGGBB, alpha not
// premultiplied), rows top to bottom, and the few raster operations the
// graphics core needs on them: blits in four blend modes, solid fills, one-
// pixel lines and a windowed-sinc resize.
#pragma once

#include <cstdint>
#include <vector>

#include "editor/EditorTypes.h"

namespace tessaro {

class LICE_IBitmap {
 public:
  virtual ~LICE_IBitmap() = default;
  virtual std::uint32_t* Bits() = 0;
  virtual const std::uint32_t* Bits() const = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Pixels from one row to the next.
  virtual int RowSpan() const = 0;
  // Allocates; the content is undefined afterwards (all zeros in practice).
  virtual bool Resize(int width, int height) = 0;

  std::uint32_t Pixel(int x, int y) const { return Bits()[y * RowSpan() + x]; }
  void SetPixel(int x, int y, std::uint32_t argb) { Bits()[y * RowSpan() + x] = argb; }
};

class LICE_MemBitmap : public LICE_IBitmap {
 public:
  LICE_MemBitmap() = default;
  LICE_MemBitmap(int width, int height) { Resize(width, height); }
  std::uint32_t* Bits() override { return pixels_.data(); }
  const std::uint32_t* Bits() const override { return pixels_.data(); }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int RowSpan() const override { return width_; }
  bool Resize(int width, int height) override;

 private:
  std::vector<std::uint32_t> pixels_;
  int width_ = 0;
  int height_ = 0;
};

// The draw buffer. Its rows are exactly as wide as cairo's RGB24 stride, so
// cairo can paint into the same memory; a window layer shows it from there.
class LICE_SysBitmap : public LICE_MemBitmap {
 public:
  LICE_SysBitmap() = default;
  LICE_SysBitmap(int width, int height) : LICE_MemBitmap(width, height) {}
  // The platform's drawing surface for the pixels; none without a window
  // system (the X11 layer keeps its own image over Bits()).
  void* PlatformSurface() const { return nullptr; }
};

namespace lice {

enum BlitMode : int { kCopyAlpha = 0, kCopy = 1, kAddAlpha = 2, kDodgeAlpha = 3 };

constexpr std::uint32_t Argb(int a, int r, int g, int b) {
  return (static_cast<std::uint32_t>(a & 255) << 24) | (static_cast<std::uint32_t>(r & 255) << 16) |
         (static_cast<std::uint32_t>(g & 255) << 8) | static_cast<std::uint32_t>(b & 255);
}
constexpr int A(std::uint32_t p) { return static_cast<int>(p >> 24); }
constexpr int R(std::uint32_t p) { return static_cast<int>((p >> 16) & 255); }
constexpr int G(std::uint32_t p) { return static_cast<int>((p >> 8) & 255); }
constexpr int B(std::uint32_t p) { return static_cast<int>(p & 255); }

// One destination pixel blended with one source pixel at opacity 0..1.
std::uint32_t BlendPixel(std::uint32_t dst, std::uint32_t src, float opacity, BlitMode mode);

// Copies a w x h block from src (sx, sy) to dst (dx, dy), clipped to both
// bitmaps.
void Blit(LICE_IBitmap& dst, const LICE_IBitmap& src, int dx, int dy, int sx, int sy, int w, int h,
          float opacity, BlitMode mode);
// Fills a rectangle, clipped to the bitmap; the colour's own alpha is used by
// the alpha modes.
void FillRect(LICE_IBitmap& dst, const IRect& r, std::uint32_t argb, float opacity, BlitMode mode);
// A one-pixel line with both end points drawn; only rows and columns (what
// outlines need) and general lines by stepping the longer axis.
void Line(LICE_IBitmap& dst, int x1, int y1, int x2, int y2, std::uint32_t argb, float opacity,
          BlitMode mode);
// Resamples srcRect of src into dstRect of dst with a Lanczos (a = 3) filter,
// horizontal pass then vertical pass; nothing outside either rectangle is
// read or written, so neighbouring frames of a strip never mix.
void ResampleLanczos(const LICE_IBitmap& src, const IRect& srcRect, LICE_IBitmap& dst, const IRect& dstRect);
// Copies the whole of src into dst, resizing dst to src's size.
void Copy(LICE_IBitmap& dst, const LICE_IBitmap& src);

}  // namespace lice
}  // namespace tessaro
