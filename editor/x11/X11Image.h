// Pixels to a window: 32-bit 0x00RRGGBB rows put with XPutImage, straight
// from the caller's memory when the visual is the usual 24-bit layout and
// converted through the visual's masks otherwise. Drawing happens in memory
// with cairo image surfaces; nothing here uses cairo's Xlib backend, whose
// process-wide locks would tie the editors of one host together.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include "editor/EditorTypes.h"

namespace tessaro::x11 {

// Copies the part r of the picture (stride in pixels) to (r.L + dx, r.T + dy)
// of the drawable. False when nothing could be put.
bool PutPixels(Display* display, Drawable drawable, Visual* visual, int depth, const std::uint32_t* pixels,
               int width, int height, int stride, const IRect& r, int dx = 0, int dy = 0);

}  // namespace tessaro::x11
