#include "editor/ycairo.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <numbers>

#include "editor/IGraphics.h"
#include "editor/Resources.h"

namespace tessaro {

namespace {

// cairo may keep a face in its caches after we let go of it, so the FreeType
// face and library are released by cairo itself, once the last reference to
// the cairo face that anchors them is gone.
struct FreeTypeHandles {
  FT_Library library;
  FT_Face face;
};
cairo_user_data_key_t kHandlesKey;

void ReleaseHandles(void* data) {
  auto* handles = static_cast<FreeTypeHandles*>(data);
  FT_Done_Face(handles->face);
  FT_Done_FreeType(handles->library);
  delete handles;
}

cairo_font_face_t* AnchorFace(FT_Library library, FT_Face face) {
  cairo_font_face_t* anchor = cairo_ft_font_face_create_for_ft_face(face, 0);
  if (cairo_font_face_set_user_data(anchor, &kHandlesKey, new FreeTypeHandles{library, face},
                                    ReleaseHandles) != CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(anchor);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return nullptr;
  }
  return anchor;
}

}  // namespace

// --- ycairo_canvas ---

ycairo_canvas::ycairo_canvas(IPlugBase* plug) : plug_(plug) {}

ycairo_canvas::~ycairo_canvas() {
  ReleaseSurface();
  ReleaseFont();
}

void ycairo_canvas::ReleaseFont() {
  if (anchor_) cairo_font_face_destroy(anchor_);
  anchor_ = nullptr;
  face_ = nullptr;
  library_ = nullptr;
  fontLoaded_ = false;
}

void ycairo_canvas::ReleaseSurface() {
  if (context_) cairo_destroy(context_);
  if (surface_) cairo_surface_destroy(surface_);
  context_ = nullptr;
  surface_ = nullptr;
}

bool ycairo_canvas::LoadFont(const char*) {
  ReleaseFont();
  const std::span<const std::uint8_t> bytes = FindResource(ResourceType::kFont, kFontResourceId);
  if (bytes.empty()) return false;
  if (FT_Init_FreeType(&library_) != 0) return false;
  if (FT_New_Memory_Face(library_, bytes.data(), static_cast<FT_Long>(bytes.size()), 0, &face_) != 0) {
    FT_Done_FreeType(library_);
    library_ = nullptr;
    face_ = nullptr;
    return false;
  }
  anchor_ = AnchorFace(library_, face_);
  if (!anchor_) {
    library_ = nullptr;
    face_ = nullptr;
    return false;
  }
  fontLoaded_ = true;
  return true;
}

void ycairo_canvas::SetBackground(double red, double green, double blue) {
  background_[0] = red;
  background_[1] = green;
  background_[2] = blue;
}

void ycairo_canvas::CreateSurface(IGraphics& graphics) {
  ReleaseSurface();
  LICE_SysBitmap* buffer = graphics.DrawBuffer();
  if (!buffer) return;
  width_ = buffer->Width();
  height_ = buffer->Height();
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width_);
  // Our rows are whole pixels; cairo's RGB24 stride is the same four bytes a pixel.
  if (stride != buffer->RowSpan() * 4) return;
  surface_ = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(buffer->Bits()),
                                                 CAIRO_FORMAT_RGB24, width_, height_, stride);
  context_ = cairo_create(surface_);
  cairo_set_source_rgb(context_, background_[0], background_[1], background_[2]);
  cairo_paint(context_);
  cairo_surface_flush(surface_);
}

// --- ycairo_gui ---

ycairo_gui::ycairo_gui(ycairo_canvas* canvas, const IRect* rect, const IRectD* drect)
    : intRect_(rect), dblRect_(drect), guiCanvas_(canvas) {}

void ycairo_gui::BeginPaint(const IRect& r) {
  paintState_ = kDirect;
  if (!guiCanvas_ || !guiCanvas_->Context()) return;
  if (!groupRect_.Empty() && !r.Empty() && r.Within(groupRect_)) {
    cairo_t* cr = Context();
    cairo_save(cr);
    cairo_rectangle(cr, r.L, r.T, r.W(), r.H());
    cairo_clip_preserve(cr);
    cairo_new_path(cr);
    paintState_ = kClipped;
  } else if (groupRect_ == r) {
    cairo_new_path(Context());
    paintState_ = kDirect;
  } else {
    // Always the canvas's current context: a resize rebuilds it, and a
    // pointer kept from an earlier paint would then be freed memory.
    cairo_t* cr = guiCanvas_->Context();
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_FAST);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_rectangle(cr, r.L, r.T, r.W(), r.H());
    cairo_clip(cr);
    cairo_push_group(cr);
    paintState_ = kGrouped;
    groupRect_ = r;
  }
}

void ycairo_gui::EndPaint() {
  cairo_t* cr = Context();
  if (!cr) return;
  if (paintState_ == kClipped) {
    cairo_restore(cr);
  } else if (paintState_ == kGrouped) {
    cairo_pop_group_to_source(cr);
    cairo_paint(cr);
    cairo_reset_clip(cr);
  }
  if (guiCanvas_ && guiCanvas_->Surface()) cairo_surface_flush(guiCanvas_->Surface());
}

void ycairo_gui::RoundedRectPath(cairo_t* cr, double x, double y, double w, double h, double r) {
  constexpr double pi = std::numbers::pi;
  cairo_new_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -pi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, pi / 2);
  cairo_arc(cr, x + r, y + h - r, r, pi / 2, pi);
  cairo_arc(cr, x + r, y + r, r, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

// --- ycairo_text ---

ycairo_text::ycairo_text(ycairo_canvas* canvas) : textCanvas_(canvas) {
  sharedFace_ = canvas && canvas->FontLoaded();
}

ycairo_text::~ycairo_text() {
  if (fontFace_) cairo_font_face_destroy(fontFace_);
  if (ownAnchor_) cairo_font_face_destroy(ownAnchor_);
}

bool ycairo_text::LoadOwnFace(const unsigned char* data, long size) {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&library) != 0) return false;
  if (FT_New_Memory_Face(library, data, size, 0, &face) != 0) {
    FT_Done_FreeType(library);
    return false;
  }
  if (ownAnchor_) cairo_font_face_destroy(ownAnchor_);
  ownAnchor_ = AnchorFace(library, face);
  ownFaceHandle_ = ownAnchor_ ? face : nullptr;
  ownFace_ = ownAnchor_ != nullptr;
  return ownFace_;
}

void ycairo_text::SelectFace(cairo_t* cr) {
  if (fontFace_) {
    cairo_font_face_destroy(fontFace_);
    fontFace_ = nullptr;
  }
  if (ownFace_ && ownFaceHandle_) {
    fontFace_ = cairo_ft_font_face_create_for_ft_face(ownFaceHandle_, 0);
  } else if ((sharedFace_ || (textCanvas_ && textCanvas_->FontLoaded())) && textCanvas_ &&
             textCanvas_->Face()) {
    fontFace_ = cairo_ft_font_face_create_for_ft_face(textCanvas_->Face(), 0);
  }
  if (fontFace_) cairo_set_font_face(cr, fontFace_);
}

void ycairo_text::ShowText(cairo_t* cr, const char* text, double size, const IColour& colour,
                           const IRect& rect, int align) {
  if (!cr) return;
  cairo_set_source_rgba(cr, colour.R / 255.0, colour.G / 255.0, colour.B / 255.0, colour.A / 255.0);
  SelectFace(cr);
  cairo_set_font_size(cr, size);
  text_ = text ? text : "";
  PlaceText(cr,
            IRectD{static_cast<double>(rect.L), static_cast<double>(rect.T), static_cast<double>(rect.R),
                   static_cast<double>(rect.B)},
            align);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_get_font_options(cr, options);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_SUBPIXEL);
  cairo_set_font_options(cr, options);
  cairo_show_text(cr, text_.c_str());
  cairo_font_options_destroy(options);
  if (fontFace_) {
    cairo_font_face_destroy(fontFace_);
    fontFace_ = nullptr;
  }
}

void ycairo_text::PlaceText(cairo_t* cr, const IRectD& rect, int align) {
  align_ = align;
  textRect_ = rect;
  cairo_font_extents(cr, &fontExtents_);
  cairo_text_extents(cr, text_.c_str(), &textExtents_);
  double x = rect.L;
  if (align == kRight) {
    x = rect.R - textExtents_.width - textExtents_.x_bearing;
  } else if (align == kCentre) {
    x = rect.L + (rect.R - rect.L - textExtents_.width - textExtents_.x_bearing) * 0.5;
  }
  const double y = rect.B - (rect.B - rect.T - fontExtents_.height) * 0.5 - fontExtents_.descent;
  cairo_move_to(cr, x, y);
}

void ycairo_text::WrapText(cairo_t* cr, const IRectD& box) {
  lineBox_ = box;
  const double avail = box.R - box.L;
  const auto advance = [cr](const std::string& s) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    return e.x_advance;
  };
  lines_.assign(1, std::string());
  std::string wordBuffer;
  double line = 0.0, word = 0.0;
  const double space = advance(" "), tab = advance("    ");
  const auto wordBreak = [&](double gap, const char* filler) {
    if (line + word > avail) {
      lines_.emplace_back();
      line = 0.0;
    }
    lines_.back() += wordBuffer;
    wordBuffer.clear();
    line = line + word + gap;
    word = 0.0;
    if (line <= avail) lines_.back() += filler;
  };
  for (std::size_t i = 0; i < wrapSource_.size();) {
    const char c = wrapSource_[i];
    if (c == ' ') {
      wordBreak(space, " ");
      ++i;
    } else if (c == '\t') {
      wordBreak(tab, "    ");
      ++i;
    } else if (c == '\n') {
      if (line + word > avail) lines_.emplace_back();
      lines_.back() += wordBuffer;
      wordBuffer.clear();
      lines_.emplace_back();
      line = word = 0.0;
      ++i;
    } else {
      if (line > avail) {
        lines_.emplace_back();
        line = 0.0;
      }
      // One whole UTF-8 sequence is one character.
      std::size_t n = 1;
      while (i + n < wrapSource_.size() && (static_cast<unsigned char>(wrapSource_[i + n]) & 0xC0) == 0x80)
        ++n;
      const std::string ch = wrapSource_.substr(i, n);
      word += advance(ch);
      wordBuffer += ch;
      i += n;
    }
  }
  if (line + word > avail) lines_.emplace_back();
  lines_.back() += wordBuffer;
}

void ycairo_text::ShowLines(cairo_t* cr) {
  cairo_font_extents(cr, &fontExtents_);
  const double a = fontExtents_.height;
  const int n = static_cast<int>(lines_.size());
  const IRectD& box = lineBox_;
  for (int i = 0; i < n; ++i) {
    IRectD r;
    int line = i;
    if (linePlacement_ == kFromTop) {
      r = {box.L, box.T + i * a, box.R, box.T + (i + 1) * a};
    } else if (linePlacement_ == kFromBottom) {
      line = n - 1 - i;
      r = {box.L, box.B - (i + 1) * a, box.R, box.B - i * a};
    } else {
      const double f = (box.B - box.T - n * a) * 0.5 + box.T + (i + 1) * a;
      r = {box.L, f - a, box.R, f};
    }
    text_ = lines_[static_cast<std::size_t>(line)];
    PlaceText(cr, r, lineAlign_);
    cairo_show_text(cr, text_.c_str());
  }
}

}  // namespace tessaro
