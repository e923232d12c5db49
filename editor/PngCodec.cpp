#include "editor/PngCodec.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace tessaro {
namespace {

struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (reader->size - reader->position < count) {
    png_error(png, "truncated");
    return;
  }
  std::memcpy(out, reader->data + reader->position, count);
  reader->position += count;
}

void ErrorExit(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

// The decoding itself, kept free of objects with destructors so the error
// jump out of libpng skips nothing that needs cleaning up.
bool DecodeInto(MemoryReader& reader, LICE_MemBitmap& out, std::vector<png_bytep>& rows,
                std::vector<std::uint8_t>& rgba) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorExit, IgnoreWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, ReadFromMemory);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colourType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_strip_16(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);  // no-op when alpha is already there
  png_read_update_info(png, info);
  // Our pictures are a few megapixels; anything beyond 64 Mpx is refused
  // before it is allocated.
  constexpr std::uint64_t kMostPixels = std::uint64_t{1} << 26;
  if (png_get_rowbytes(png, info) != width * 4 || width > 16384 || height > 65536 ||
      static_cast<std::uint64_t>(width) * height > kMostPixels) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  rgba.resize(static_cast<std::size_t>(width) * height * 4);
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = rgba.data() + static_cast<std::size_t>(y) * width * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);

  out.Resize(static_cast<int>(width), static_cast<int>(height));
  for (png_uint_32 y = 0; y < height; ++y) {
    const std::uint8_t* in = rows[y];
    std::uint32_t* dst = out.Bits() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out.RowSpan());
    for (png_uint_32 x = 0; x < width; ++x, in += 4) dst[x] = lice::Argb(in[3], in[0], in[1], in[2]);
  }
  return true;
}

}  // namespace

std::unique_ptr<LICE_MemBitmap> DecodePng(std::span<const std::uint8_t> bytes) {
  if (bytes.size() <= 7 || png_sig_cmp(bytes.data(), 0, 8) != 0) return nullptr;
  MemoryReader reader{bytes.data(), bytes.size(), 0};
  auto bitmap = std::make_unique<LICE_MemBitmap>();
  std::vector<png_bytep> rows;
  std::vector<std::uint8_t> rgba;
  if (!DecodeInto(reader, *bitmap, rows, rgba)) return nullptr;
  return bitmap;
}

std::unique_ptr<LICE_MemBitmap> ReadPngFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  return DecodePng(bytes);
}

bool WritePngFile(const LICE_IBitmap& bitmap, const std::string& path, bool opaque) {
  const int w = bitmap.Width(), h = bitmap.Height();
  if (w <= 0 || h <= 0) return false;
  const int channels = opaque ? 3 : 4;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) *
                                   static_cast<std::size_t>(channels));
  std::size_t k = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = bitmap.Pixel(x, y);
      pixels[k++] = static_cast<std::uint8_t>(lice::R(p));
      pixels[k++] = static_cast<std::uint8_t>(lice::G(p));
      pixels[k++] = static_cast<std::uint8_t>(lice::B(p));
      if (!opaque) pixels[k++] = static_cast<std::uint8_t>(lice::A(p));
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), w * channels, nullptr);
  png_image_free(&image);
  return ok != 0;
}

}  // namespace tessaro
