// The plug-in's embedded resources: the pictures and the font, compiled into
// the library as a table from (type, numeric id) to bytes. The table itself
// is generated at build time (resources/CMakeLists.txt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessaro {

enum class ResourceType : int {
  kPng = 0,      // pictures, looked up by their numeric id
  kFont = 1000,  // the TrueType font
};

constexpr int kFontResourceId = 1001;

struct ResourceEntry {
  int type;
  int id;
  const unsigned char* begin;
  const unsigned char* end;
};

// The bytes of a resource; empty when there is none. Any thread.
std::span<const std::uint8_t> FindResource(ResourceType type, int id);

namespace resources {
// Defined by the generated table.
extern const ResourceEntry kTable[];
extern const int kTableSize;
}  // namespace resources

}  // namespace tessaro
