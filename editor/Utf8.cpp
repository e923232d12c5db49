#include "editor/Utf8.h"

#include <algorithm>

namespace tessaro::utf8 {

void Append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x110000) {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Encode(char32_t c) {
  std::string out;
  Append(out, c);
  return out;
}

std::u32string Decode(const std::string& s) {
  std::u32string out;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
      ++i;
      continue;
    }
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto n = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((n & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (n & 0x3F);
    }
    if (!ok) {
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    out += c;
  }
  return out;
}

std::size_t PreviousStart(const std::string& s, std::size_t position) {
  if (position == 0) return 0;
  position = std::min(position, s.size()) - 1;
  while (position > 0 && (static_cast<unsigned char>(s[position]) & 0xC0) == 0x80) --position;
  return position;
}

std::size_t NextStart(const std::string& s, std::size_t position) {
  if (position >= s.size()) return s.size();
  ++position;
  while (position < s.size() && (static_cast<unsigned char>(s[position]) & 0xC0) == 0x80) ++position;
  return position;
}

std::size_t Count(const std::string& s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace tessaro::utf8
