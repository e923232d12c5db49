// Vector drawing with cairo into the editor's draw buffer. One canvas per
// editor owns the surface over the buffer, the single context every cairo
// control draws with, and the FreeType face of the embedded font. Each cairo
// control embeds a ycairo_gui, which brackets its paint with a group or a
// clip so it touches only its own rectangle, and a ycairo_text, which places
// single-line text and word-wraps. Editor thread only.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "editor/EditorTypes.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;

namespace tessaro {

class IGraphics;
class IPlugBase;

class ycairo_canvas {
 public:
  explicit ycairo_canvas(IPlugBase* plug);
  ~ycairo_canvas();
  ycairo_canvas(const ycairo_canvas&) = delete;
  ycairo_canvas& operator=(const ycairo_canvas&) = delete;

  // Loads the embedded font (the name is informational); allocates.
  bool LoadFont(const char* resourceName);
  // A new surface and context over the graphics core's draw buffer, filled
  // with the background colour; the old ones are destroyed first.
  void CreateSurface(IGraphics& graphics);
  void SetBackground(double red, double green, double blue);

  cairo_surface_t* Surface() const { return surface_; }
  cairo_t* Context() const { return context_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  IPlugBase* Plug() const { return plug_; }
  bool FontLoaded() const { return fontLoaded_; }
  FT_FaceRec_* Face() const { return face_; }
  // The embedded font as a cairo face (null until loaded); the canvas keeps it.
  cairo_font_face_t* FontFace() const { return anchor_; }

 private:
  void ReleaseFont();
  void ReleaseSurface();

  cairo_surface_t* surface_ = nullptr;
  cairo_t* context_ = nullptr;
  int width_ = 0, height_ = 0;
  double background_[3] = {0.024, 0.024, 0.024};
  IPlugBase* plug_;
  bool fontLoaded_ = false;
  FT_LibraryRec_* library_ = nullptr;
  FT_FaceRec_* face_ = nullptr;
  cairo_font_face_t* anchor_ = nullptr;  // keeps library and face alive for cairo
};

class ycairo_helper {
 public:
  virtual ~ycairo_helper() = default;
};

class ycairo_gui : public ycairo_helper {
 public:
  enum State : int { kDirect = 0, kClipped = 1, kGrouped = 2 };

  ycairo_gui(ycairo_canvas* canvas, const IRect* rect, const IRectD* drect = nullptr);
  // Opens the paint of the control's rectangle r.
  void BeginPaint(const IRect& r);
  void EndPaint();
  static void RoundedRectPath(cairo_t* cr, double x, double y, double w, double h, double r);

  cairo_t* Context() const {
    return guiCanvas_ ? guiCanvas_->Context() : nullptr;
  }
  ycairo_canvas* Canvas() const { return guiCanvas_; }
  int PaintState() const { return paintState_; }
  const IRect& GroupRect() const { return groupRect_; }

 protected:
  const IRect* intRect_;
  IRect groupRect_;
  const IRectD* dblRect_;
  ycairo_canvas* guiCanvas_;
  int paintState_ = kDirect;
};

class ycairo_text {
 public:
  enum Align : int { kLeft = 0, kRight = 1, kCentre = 2 };
  enum Placement : int { kCentred = 0, kFromTop = 1, kFromBottom = 2 };

  explicit ycairo_text(ycairo_canvas* canvas);
  virtual ~ycairo_text();
  ycairo_text(const ycairo_text&) = delete;
  ycairo_text& operator=(const ycairo_text&) = delete;

  void ShowText(cairo_t* cr, const char* text, double size, const IColour& colour, const IRect& rect,
                int align);
  void PlaceText(cairo_t* cr, const IRectD& rect, int align);
  void WrapText(cairo_t* cr, const IRectD& box);
  void ShowLines(cairo_t* cr);
  // Sets the embedded face (or the control's own) on the context.
  void SelectFace(cairo_t* cr);
  // Loads a face of the control's own from font bytes that outlive it.
  bool LoadOwnFace(const unsigned char* data, long size);

  void SetWrapSource(std::string text) { wrapSource_ = std::move(text); }
  const std::vector<std::string>& Lines() const { return lines_; }
  void SetLineAlign(int align) { lineAlign_ = align; }
  void SetLinePlacement(int placement) { linePlacement_ = placement; }
  const std::string& CurrentText() const { return text_; }
  const cairo_text_extents_t& TextExtents() const { return textExtents_; }
  const cairo_font_extents_t& FontExtents() const { return fontExtents_; }

 protected:
  std::string text_;
  std::string wrapSource_;
  std::vector<std::string> lines_;
  IRectD textRect_;
  IRectD lineBox_;
  int align_ = kLeft;
  int lineAlign_ = kLeft;
  int linePlacement_ = kCentred;
  cairo_font_face_t* fontFace_ = nullptr;
  cairo_text_extents_t textExtents_{};
  cairo_font_extents_t fontExtents_{};
  bool sharedFace_ = false;
  bool ownFace_ = false;
  FT_FaceRec_* const* shared_ = nullptr;
  ycairo_canvas* textCanvas_;
  FT_FaceRec_* ownFaceHandle_ = nullptr;
  cairo_font_face_t* ownAnchor_ = nullptr;
};

}  // namespace tessaro
