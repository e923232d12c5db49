#include "editor/Resources.h"

namespace tessaro {

std::span<const std::uint8_t> FindResource(ResourceType type, int id) {
  for (int i = 0; i < resources::kTableSize; ++i) {
    const ResourceEntry& e = resources::kTable[i];
    if (e.type == static_cast<int>(type) && e.id == id) {
      return {reinterpret_cast<const std::uint8_t*>(e.begin), static_cast<std::size_t>(e.end - e.begin)};
    }
  }
  return {};
}

}  // namespace tessaro
