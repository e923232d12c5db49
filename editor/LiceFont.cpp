#include "editor/LiceFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaro {

char32_t NextCodepoint(const char* text, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  int extra = 0;
  char32_t cp = 0;
  if (c < 0x80) {
    ++i;
    return c;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + static_cast<std::size_t>(k)) & 0xC0) != 0x80) {
      i += static_cast<std::size_t>(k);
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(i + static_cast<std::size_t>(k)) & 0x3F);
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

std::unique_ptr<LICE_CachedFont> LICE_CachedFont::Create(const FontRequest& request,
                                                         const std::uint8_t* fontData, std::size_t fontSize) {
  if (!fontData || fontSize == 0 || request.height <= 0) return nullptr;
  std::unique_ptr<LICE_CachedFont> font(new LICE_CachedFont());
  font->request_ = request;
  if (FT_Init_FreeType(&font->library_) != 0) return nullptr;
  if (FT_New_Memory_Face(font->library_, fontData, static_cast<FT_Long>(fontSize), 0, &font->face_) != 0) {
    return nullptr;
  }
  // The height is the whole cell, ascent plus descent, as desktop fonts take it.
  FT_Size_RequestRec size{};
  size.type = FT_SIZE_REQUEST_TYPE_CELL;
  size.height = static_cast<FT_Long>(request.height) * 64;
  if (FT_Request_Size(font->face_, &size) != 0) return nullptr;
  font->ascent_ = static_cast<int>((font->face_->size->metrics.ascender + 32) >> 6);
  font->descent_ = static_cast<int>((-font->face_->size->metrics.descender + 32) >> 6);
  if (request.italic) {
    FT_Matrix shear{0x10000, 0x3800, 0, 0x10000};  // about 12 degrees of slant
    FT_Set_Transform(font->face_, &shear, nullptr);
  }
  return font;
}

LICE_CachedFont::~LICE_CachedFont() {
  if (face_) FT_Done_Face(face_);
  if (library_) FT_Done_FreeType(library_);
}

const LICE_CachedFont::Glyph& LICE_CachedFont::GlyphFor(char32_t codepoint) {
  auto found = glyphs_.find(codepoint);
  if (found != glyphs_.end()) return found->second;
  Glyph& glyph = glyphs_[codepoint];
  const bool mono = request_.quality == ITextStyle::kNonAntialiased;
  const FT_Int32 loadFlags = FT_LOAD_DEFAULT | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
  if (FT_Load_Char(face_, codepoint, loadFlags) != 0) return glyph;
  FT_GlyphSlot slot = face_->glyph;
  if (request_.weight >= 700 && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Outline_Embolden(&slot->outline, face_->size->metrics.y_ppem * 2);  // 1/32 em
  }
  if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return glyph;
  const FT_Bitmap& bm = slot->bitmap;
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.width = static_cast<int>(bm.width);
  glyph.height = static_cast<int>(bm.rows);
  glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (request_.weight >= 700) glyph.advance += 1;
  glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * static_cast<std::size_t>(glyph.height));
  for (int y = 0; y < glyph.height; ++y) {
    const unsigned char* row = bm.buffer + y * bm.pitch;
    for (int x = 0; x < glyph.width; ++x) {
      const int v = bm.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255 : row[x];
      glyph.coverage[static_cast<std::size_t>(y * glyph.width + x)] = static_cast<std::uint8_t>(v);
    }
  }
  return glyph;
}

int LICE_CachedFont::MeasureWidth(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  return MeasureWidthLocked(text);
}

int LICE_CachedFont::MeasureWidthLocked(const char* text) {
  int width = 0;
  for (std::size_t i = 0; text[i] != '\0';) width += GlyphFor(NextCodepoint(text, i)).advance;
  return width;
}

int LICE_CachedFont::DrawText(LICE_IBitmap* bitmap, const char* text, IRect* rect, int flags,
                              std::uint32_t argb) {
  if (!text || !rect) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  const int width = MeasureWidthLocked(text);
  if (flags & kCalcRect) {
    rect->R = rect->L + width;
    rect->B = rect->T + LineHeight();
    return LineHeight();
  }
  if (!bitmap) return LineHeight();
  int x = rect->L;
  if (flags & kCentre) {
    x = rect->L + (rect->W() - width) / 2;
  } else if (flags & kRight) {
    x = rect->R - width;
  }
  const int baseline =
      (flags & kVCentre) ? rect->T + (rect->H() - LineHeight()) / 2 + ascent_ : rect->T + ascent_;
  const int colourAlpha = lice::A(argb);
  const IRect bounds{0, 0, bitmap->Width(), bitmap->Height()};
  for (std::size_t i = 0; text[i] != '\0';) {
    const Glyph& g = GlyphFor(NextCodepoint(text, i));
    const int gx = x + g.left, gy = baseline - g.top;
    for (int y = 0; y < g.height; ++y) {
      const int py = gy + y;
      if (py < bounds.T || py >= bounds.B) continue;
      if (!(flags & kNoClip) && (py < rect->T || py >= rect->B)) continue;
      for (int c = 0; c < g.width; ++c) {
        const int px = gx + c;
        if (px < bounds.L || px >= bounds.R) continue;
        if (!(flags & kNoClip) && (px < rect->L || px >= rect->R)) continue;
        const int coverage = g.coverage[static_cast<std::size_t>(y * g.width + c)];
        if (coverage == 0) continue;
        const std::uint32_t src =
            (argb & 0x00FFFFFFu) | (static_cast<std::uint32_t>(coverage * colourAlpha / 255) << 24);
        bitmap->SetPixel(px, py, lice::BlendPixel(bitmap->Pixel(px, py), src, 1.0f, lice::kCopyAlpha));
      }
    }
    x += g.advance;
  }
  return LineHeight();
}

}  // namespace tessaro
