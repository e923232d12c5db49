#include "cli/Picture.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numbers>

namespace tessaro::cli {
namespace {

double Lanczos3(double x) {
  x = std::abs(x);
  if (x < 1e-9) return 1.0;
  if (x >= 3.0) return 0.0;
  const double px = std::numbers::pi * x;
  return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

// For each output index, the first source index and its normalised weights.
struct Taps {
  std::vector<int> first;
  std::vector<std::vector<float>> weights;
};

Taps MakeTaps(int from, int to) {
  Taps taps;
  const double ratio = static_cast<double>(from) / to;
  const double stretch = std::max(1.0, ratio);  // widen the kernel when shrinking
  const double radius = 3.0 * stretch;
  for (int i = 0; i < to; ++i) {
    const double centre = (i + 0.5) * ratio - 0.5;
    const int lo = static_cast<int>(std::ceil(centre - radius));
    const int hi = static_cast<int>(std::floor(centre + radius));
    std::vector<float> w;
    double sum = 0.0;
    for (int s = lo; s <= hi; ++s) {
      const double v = Lanczos3((s - centre) / stretch);
      w.push_back(static_cast<float>(v));
      sum += v;
    }
    for (float& v : w) v = static_cast<float>(v / sum);
    taps.first.push_back(lo);
    taps.weights.push_back(std::move(w));
  }
  return taps;
}

std::uint8_t ToByte(float v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0l, 255l)); }

}  // namespace

RgbImage ResampleLanczos3(const RgbImage& source, int width, int height) {
  RgbImage out;
  if (source.width <= 0 || source.height <= 0 || width <= 0 || height <= 0) return out;
  const Taps across = MakeTaps(source.width, width);
  const Taps down = MakeTaps(source.height, height);
  // Rows first into floats, edges clamped, then columns.
  std::vector<float> middle(static_cast<std::size_t>(width) * static_cast<std::size_t>(source.height) * 3);
  for (int y = 0; y < source.height; ++y) {
    for (int x = 0; x < width; ++x) {
      float acc[3] = {0, 0, 0};
      const auto& w = across.weights[static_cast<std::size_t>(x)];
      for (std::size_t k = 0; k < w.size(); ++k) {
        const int sx =
            std::clamp(across.first[static_cast<std::size_t>(x)] + static_cast<int>(k), 0, source.width - 1);
        const std::uint8_t* p = source.Pixel(sx, y);
        for (int c = 0; c < 3; ++c) acc[c] += w[k] * p[c];
      }
      float* m = &middle[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                          static_cast<std::size_t>(x)) *
                         3];
      for (int c = 0; c < 3; ++c) m[c] = acc[c];
    }
  }
  out.width = width;
  out.height = height;
  out.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
  for (int y = 0; y < height; ++y) {
    const auto& w = down.weights[static_cast<std::size_t>(y)];
    for (int x = 0; x < width; ++x) {
      float acc[3] = {0, 0, 0};
      for (std::size_t k = 0; k < w.size(); ++k) {
        const int sy =
            std::clamp(down.first[static_cast<std::size_t>(y)] + static_cast<int>(k), 0, source.height - 1);
        const float* m = &middle[(static_cast<std::size_t>(sy) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(x)) *
                                 3];
        for (int c = 0; c < 3; ++c) acc[c] += w[k] * m[c];
      }
      std::uint8_t* p = out.Pixel(x, y);
      for (int c = 0; c < 3; ++c) p[c] = ToByte(acc[c]);
    }
  }
  return out;
}

namespace {

// libpng reports errors by longjmp; nothing with a destructor lives in the
// frame that setjmp guards.
bool EncodePng(const RgbImage& image, std::FILE* file) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) {
    png_write_row(png, const_cast<png_bytep>(image.Pixel(0, y)));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const RgbImage& image, const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = "cannot write '" + path + "': " + why;
    return false;
  };
  if (image.width <= 0 || image.height <= 0) return fail("the picture is empty");
  const std::filesystem::path target(path);
  const std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
  std::string pattern = folder + "/." + target.filename().string().substr(0, 200) + ".tessaro-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return fail(std::strerror(errno));
  const std::string temp = name.data();
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    close(fd);
    unlink(temp.c_str());
    return fail(std::strerror(errno));
  }
  const bool encoded = EncodePng(image, file);
  const bool flushed = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!encoded || !flushed || !closed) {
    unlink(temp.c_str());
    return fail("writing failed");
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string why = std::strerror(errno);
    unlink(temp.c_str());
    return fail(why);
  }
  return true;
}

}  // namespace tessaro::cli
