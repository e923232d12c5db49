#include "editor/x11/X11Image.h"

#include <X11/Xutil.h>

#include <vector>

namespace tessaro::x11 {

bool PutPixels(Display* display, Drawable drawable, Visual* visual, int depth, const std::uint32_t* pixels,
               int width, int height, int stride, const IRect& area, int dx, int dy) {
  const IRect r = area.Intersection({0, 0, width, height});
  if (!display || !pixels || r.W() <= 0 || r.H() <= 0) return false;
  XImage* image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                               reinterpret_cast<char*>(const_cast<std::uint32_t*>(pixels)),
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 32, stride * 4);
  if (!image) return false;
  image->byte_order = LSBFirst;
  const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                      image->green_mask == 0xFF00 && image->blue_mask == 0xFF;
  std::vector<std::uint32_t> converted;
  int sx = r.L, sy = r.T;
  if (!direct) {
    // An unusual server layout: the pixels go one by one through its masks.
    image->data = nullptr;
    XDestroyImage(image);
    converted.resize(static_cast<std::size_t>(r.W()) * static_cast<std::size_t>(r.H()) * 2);
    image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                         reinterpret_cast<char*>(converted.data()), static_cast<unsigned>(r.W()),
                         static_cast<unsigned>(r.H()), 32, 0);
    if (!image) return false;
    const auto channel = [](std::uint32_t value, unsigned long mask) {
      if (mask == 0) return 0ul;
      int shift = 0;
      while (!((mask >> shift) & 1ul)) ++shift;
      const unsigned long top = mask >> shift;
      return ((value * top + 127) / 255) << shift;
    };
    for (int y = 0; y < r.H(); ++y) {
      for (int x = 0; x < r.W(); ++x) {
        const std::uint32_t p = pixels[static_cast<std::size_t>(r.T + y) * static_cast<std::size_t>(stride) +
                                       static_cast<std::size_t>(r.L + x)];
        XPutPixel(image, x, y,
                  channel((p >> 16) & 255, image->red_mask) | channel((p >> 8) & 255, image->green_mask) |
                      channel(p & 255, image->blue_mask));
      }
    }
    sx = sy = 0;
  }
  GC gc = XCreateGC(display, drawable, 0, nullptr);
  XPutImage(display, drawable, gc, image, sx, sy, r.L + dx, r.T + dy, static_cast<unsigned>(r.W()),
            static_cast<unsigned>(r.H()));
  XFreeGC(display, gc);
  image->data = nullptr;  // the pixels are the caller's (or the vector's)
  XDestroyImage(image);
  return true;
}

}  // namespace tessaro::x11
