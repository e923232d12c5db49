// Which host application loaded us, from the product string it reports.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaro {

constexpr std::int32_t kHostNotIdentified = -1;
constexpr std::int32_t kHostUnknown = 0;

std::int32_t IdentifyHost(const char* productString);
// Writes the host's display name; the buffer holds at least 19 bytes.
void HostDisplayName(std::int32_t hostId, char* buffer, std::size_t capacity = 19);

}  // namespace tessaro
