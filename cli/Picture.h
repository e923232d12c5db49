// Pictures the host takes of an editor: 8-bit RGB, a Lanczos-3 resampler
// for scaled snapshots and a PNG writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::cli {

struct RgbImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel
  std::uint8_t* Pixel(int x, int y) {
    return rgb.data() +
           (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
  }
  const std::uint8_t* Pixel(int x, int y) const {
    return rgb.data() +
           (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
  }
};

// Resamples to width x height with a separable Lanczos-3 filter, widened by
// the reduction when shrinking so it averages rather than aliases.
RgbImage ResampleLanczos3(const RgbImage& source, int width, int height);

// Writes an 8-bit RGB PNG, under a temporary name renamed into place. False
// with *error filled when the file cannot be written.
bool WritePng(const RgbImage& image, const std::string& path, std::string* error);

}  // namespace tessaro::cli
