// Pictures compared as a person would: the mean absolute channel difference,
// and the share of pixels off by more than 48 in any channel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "editor/LiceBitmap.h"

namespace tessaro::testing {

struct PictureDifference {
  double mean = 1e9;  // pictures of different sizes are as far apart as can be
  double badShare = 1.0;
};

inline PictureDifference ComparePictures(const LICE_IBitmap& a, const LICE_IBitmap& b) {
  PictureDifference d;
  if (a.Width() != b.Width() || a.Height() != b.Height()) return d;
  double sum = 0;
  long bad = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const std::uint32_t p = a.Pixel(x, y), q = b.Pixel(x, y);
      const int dr = std::abs(lice::R(p) - lice::R(q)), dg = std::abs(lice::G(p) - lice::G(q)),
                db = std::abs(lice::B(p) - lice::B(q));
      sum += dr + dg + db;
      if (std::max({dr, dg, db}) > 48) ++bad;
    }
  }
  const double n = static_cast<double>(a.Width()) * a.Height();
  d.mean = sum / (3 * n);
  d.badShare = bad / n;
  return d;
}

// The buffer as the window shows it: cairo leaves the high byte undefined.
inline LICE_MemBitmap OpaqueCopy(const LICE_IBitmap& b) {
  LICE_MemBitmap out(b.Width(), b.Height());
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) out.SetPixel(x, y, b.Pixel(x, y) | 0xFF000000u);
  }
  return out;
}

}  // namespace tessaro::testing
