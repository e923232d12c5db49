// PNG in and out: decoding the embedded pictures into ARGB bitmaps, and
// writing bitmaps out (snapshots, the artwork's checks, test references).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "editor/LiceBitmap.h"

namespace tessaro {

// Decodes PNG bytes: palettes and low-bit grey expanded, tRNS turned into
// alpha, 16-bit samples reduced, grey made RGB, opaque alpha added where the
// picture has none. Null for anything that is not a decodable PNG.
std::unique_ptr<LICE_MemBitmap> DecodePng(std::span<const std::uint8_t> bytes);
std::unique_ptr<LICE_MemBitmap> ReadPngFile(const std::string& path);

// Writes the bitmap as 8-bit RGBA (or RGB with `opaque`, which drops the
// alpha byte, as for the draw buffer whose high byte cairo leaves undefined).
bool WritePngFile(const LICE_IBitmap& bitmap, const std::string& path, bool opaque);

}  // namespace tessaro
