#include "editor/LiceBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace tessaro {

bool LICE_MemBitmap::Resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
  width_ = width;
  height_ = height;
  return true;
}

namespace lice {
namespace {

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
int Mix(int d, int s, int alpha256) { return d + (((s - d) * alpha256) >> 8); }

}  // namespace

std::uint32_t BlendPixel(std::uint32_t dst, std::uint32_t src, float opacity, BlitMode mode) {
  const int weight = static_cast<int>(std::clamp(opacity, 0.0f, 1.0f) * 256.0f + 0.5f);
  if (mode == kCopy) {
    return Argb(Mix(A(dst), A(src), weight), Mix(R(dst), R(src), weight), Mix(G(dst), G(src), weight),
                Mix(B(dst), B(src), weight));
  }
  // The alpha modes: the source's alpha scales the opacity.
  const int sa = A(src);
  const int alpha = (weight * (sa + (sa >> 7))) >> 8;  // 0..256
  if (alpha == 0) return dst;
  const int da = A(dst);
  const int outA = Clamp255(da + (((255 - da) * alpha) >> 8));
  switch (mode) {
    case kAddAlpha:
      return Argb(outA, Clamp255(R(dst) + ((R(src) * alpha) >> 8)),
                  Clamp255(G(dst) + ((G(src) * alpha) >> 8)), Clamp255(B(dst) + ((B(src) * alpha) >> 8)));
    case kDodgeAlpha: {
      const auto dodge = [](int d, int s) {
        return s >= 255 ? (d > 0 ? 255 : 0) : Clamp255(d * 256 / (256 - s));
      };
      return Argb(outA, Mix(R(dst), dodge(R(dst), R(src)), alpha), Mix(G(dst), dodge(G(dst), G(src)), alpha),
                  Mix(B(dst), dodge(B(dst), B(src)), alpha));
    }
    default:
      return Argb(outA, Mix(R(dst), R(src), alpha), Mix(G(dst), G(src), alpha), Mix(B(dst), B(src), alpha));
  }
}

void Blit(LICE_IBitmap& dst, const LICE_IBitmap& src, int dx, int dy, int sx, int sy, int w, int h,
          float opacity, BlitMode mode) {
  // Clip against the source, then the destination, moving both origins.
  if (sx < 0) {
    dx -= sx;
    w += sx;
    sx = 0;
  }
  if (sy < 0) {
    dy -= sy;
    h += sy;
    sy = 0;
  }
  if (dx < 0) {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0) {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  w = std::min({w, src.Width() - sx, dst.Width() - dx});
  h = std::min({h, src.Height() - sy, dst.Height() - dy});
  if (w <= 0 || h <= 0) return;
  const bool plainCopy = mode == kCopy && opacity >= 1.0f;
  for (int y = 0; y < h; ++y) {
    const std::uint32_t* s = src.Bits() + (sy + y) * src.RowSpan() + sx;
    std::uint32_t* d = dst.Bits() + (dy + y) * dst.RowSpan() + dx;
    if (plainCopy) {
      std::memcpy(d, s, static_cast<std::size_t>(w) * sizeof(std::uint32_t));
      continue;
    }
    for (int x = 0; x < w; ++x) d[x] = BlendPixel(d[x], s[x], opacity, mode);
  }
}

void FillRect(LICE_IBitmap& dst, const IRect& r, std::uint32_t argb, float opacity, BlitMode mode) {
  const int l = std::max(r.L, 0), t = std::max(r.T, 0);
  const int rr = std::min(r.R, dst.Width()), b = std::min(r.B, dst.Height());
  for (int y = t; y < b; ++y) {
    std::uint32_t* d = dst.Bits() + y * dst.RowSpan();
    for (int x = l; x < rr; ++x) d[x] = BlendPixel(d[x], argb, opacity, mode);
  }
}

void Line(LICE_IBitmap& dst, int x1, int y1, int x2, int y2, std::uint32_t argb, float opacity,
          BlitMode mode) {
  const int dx = x2 - x1, dy = y2 - y1;
  const int steps = std::max(std::abs(dx), std::abs(dy));
  for (int i = 0; i <= steps; ++i) {
    const int x = steps ? x1 + static_cast<int>(std::lround(static_cast<double>(dx) * i / steps)) : x1;
    const int y = steps ? y1 + static_cast<int>(std::lround(static_cast<double>(dy) * i / steps)) : y1;
    if (x < 0 || y < 0 || x >= dst.Width() || y >= dst.Height()) continue;
    dst.SetPixel(x, y, BlendPixel(dst.Pixel(x, y), argb, opacity, mode));
  }
}

namespace {

constexpr int kLobes = 3;

double Lanczos(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1.0;
  if (x >= kLobes) return 0.0;
  const double px = std::numbers::pi * x;
  return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// Weights of one output sample over the input range [0, inSize).
struct Tap {
  int first = 0;
  std::vector<double> weights;
};

std::vector<Tap> Taps(int inSize, int outSize) {
  std::vector<Tap> taps(static_cast<std::size_t>(outSize));
  const double ratio = static_cast<double>(inSize) / outSize;
  // Shrinking widens the kernel so it also filters.
  const double support = std::max(ratio, 1.0);
  for (int o = 0; o < outSize; ++o) {
    const double centre = (o + 0.5) * ratio - 0.5;
    const int first = std::max(0, static_cast<int>(std::floor(centre - kLobes * support)) + 1);
    const int last = std::min(inSize - 1, static_cast<int>(std::ceil(centre + kLobes * support)) - 1);
    Tap& tap = taps[static_cast<std::size_t>(o)];
    tap.first = first;
    double sum = 0.0;
    for (int i = first; i <= last; ++i) {
      const double w = Lanczos((i - centre) / support);
      tap.weights.push_back(w);
      sum += w;
    }
    if (tap.weights.empty()) {
      tap.first = std::clamp(static_cast<int>(std::lround(centre)), 0, inSize - 1);
      tap.weights.push_back(1.0);
      sum = 1.0;
    }
    for (double& w : tap.weights) w /= sum;
  }
  return taps;
}

// Premultiplied channels in doubles, so transparent pixels add no colour.
struct Px {
  double a = 0, r = 0, g = 0, b = 0;
};

}  // namespace

void ResampleLanczos(const LICE_IBitmap& src, const IRect& srcRect, LICE_IBitmap& dst, const IRect& dstRect) {
  const IRect s = srcRect.Intersection({0, 0, src.Width(), src.Height()});
  const IRect d = dstRect.Intersection({0, 0, dst.Width(), dst.Height()});
  const int sw = s.W(), sh = s.H(), dw = d.W(), dh = d.H();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const std::vector<Tap> hTaps = Taps(sw, dw);
  const std::vector<Tap> vTaps = Taps(sh, dh);

  std::vector<Px> rows(static_cast<std::size_t>(dw) * static_cast<std::size_t>(sh));
  for (int y = 0; y < sh; ++y) {
    const std::uint32_t* in = src.Bits() + (s.T + y) * src.RowSpan() + s.L;
    for (int x = 0; x < dw; ++x) {
      const Tap& tap = hTaps[static_cast<std::size_t>(x)];
      Px acc;
      for (std::size_t k = 0; k < tap.weights.size(); ++k) {
        const std::uint32_t p = in[tap.first + static_cast<int>(k)];
        const double a = A(p) / 255.0, w = tap.weights[k];
        acc.a += w * a;
        acc.r += w * a * R(p);
        acc.g += w * a * G(p);
        acc.b += w * a * B(p);
      }
      rows[static_cast<std::size_t>(y) * static_cast<std::size_t>(dw) + static_cast<std::size_t>(x)] = acc;
    }
  }
  for (int y = 0; y < dh; ++y) {
    const Tap& tap = vTaps[static_cast<std::size_t>(y)];
    std::uint32_t* out = dst.Bits() + (d.T + y) * dst.RowSpan() + d.L;
    for (int x = 0; x < dw; ++x) {
      Px acc;
      for (std::size_t k = 0; k < tap.weights.size(); ++k) {
        const Px& p =
            rows[static_cast<std::size_t>(tap.first + static_cast<int>(k)) * static_cast<std::size_t>(dw) +
                 static_cast<std::size_t>(x)];
        const double w = tap.weights[k];
        acc.a += w * p.a;
        acc.r += w * p.r;
        acc.g += w * p.g;
        acc.b += w * p.b;
      }
      const double a = std::clamp(acc.a, 0.0, 1.0);
      const auto channel = [a](double v) {
        return a > 0.0 ? Clamp255(static_cast<int>(std::lround(v / a))) : 0;
      };
      out[x] = Argb(static_cast<int>(std::lround(a * 255.0)), channel(acc.r), channel(acc.g), channel(acc.b));
    }
  }
}

void Copy(LICE_IBitmap& dst, const LICE_IBitmap& src) {
  dst.Resize(src.Width(), src.Height());
  for (int y = 0; y < src.Height(); ++y) {
    std::memcpy(dst.Bits() + y * dst.RowSpan(), src.Bits() + y * src.RowSpan(),
                static_cast<std::size_t>(src.Width()) * sizeof(std::uint32_t));
  }
}

}  // namespace lice
}  // namespace tessaro
