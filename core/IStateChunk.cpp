#include "core/IStateChunk.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tessaro {

void IStateChunk::Resize(int n) {
  if (n < 0) n = 0;
  const auto size = static_cast<std::size_t>(n);
  if (size > bytes_.capacity()) bytes_.reserve((size + kGranularity - 1) / kGranularity * kGranularity);
  bytes_.resize(size, 0);
}

void IStateChunk::Assign(const void* data, int size) {
  Resize(size);
  if (size > 0 && data) std::memcpy(bytes_.data(), data, static_cast<std::size_t>(size));
}

void IStateChunk::PutBytes(const void* data, int size) {
  if (size <= 0) return;
  const std::size_t at = bytes_.size();
  Resize(static_cast<int>(at) + size);
  std::memcpy(bytes_.data() + at, data, static_cast<std::size_t>(size));
}

void IStateChunk::PutString(const std::string& s) {
  PutInt(static_cast<std::int32_t>(s.size()));
  PutBytes(s.data(), static_cast<int>(s.size()));
}

int IStateChunk::GetBytes(void* dst, int size, int position) const {
  if (position < 0 || size < 0) return -1;
  const auto end = static_cast<std::int64_t>(position) + size;
  if (end > static_cast<std::int64_t>(bytes_.size())) return -1;
  std::memcpy(dst, bytes_.data() + position, static_cast<std::size_t>(size));
  return static_cast<int>(end);
}

int IStateChunk::GetString(std::string* s, int position) const {
  std::int32_t count = 0;
  position = GetInt(&count, position);
  if (position < 0) return -1;
  // A negative count would move the reader backwards and a huge one would
  // wrap the position: both end the pass.
  if (count < 0) return -1;
  const std::int64_t end = static_cast<std::int64_t>(position) + count;
  if (end > std::numeric_limits<int>::max()) return -1;
  if (count > 0 && end <= static_cast<std::int64_t>(bytes_.size())) {
    const char* begin = reinterpret_cast<const char*>(bytes_.data() + position);
    s->assign(begin, strnlen(begin, static_cast<std::size_t>(count)));
  }
  return static_cast<int>(end);
}

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

int DecodeBase64(const char* text, std::uint8_t* dst, int capacity) {
  if (!text || !dst) return 0;
  int written = 0;
  std::uint32_t bits = 0;
  int nbits = 0;
  for (const char* p = text; written < capacity; ++p) {
    const int v = Sextet(*p);
    if (v < 0) break;
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    nbits += 6;
    if (nbits >= 8) {
      nbits -= 8;
      dst[written++] = static_cast<std::uint8_t>(bits >> nbits);
      bits &= (1u << nbits) - 1;
    }
  }
  return written;
}

std::string EncodeBase64(const std::uint8_t* data, int size) {
  std::string out;
  if (size <= 0) return out;
  out.reserve(static_cast<std::size_t>((size + 2) / 3 * 4));
  for (int i = 0; i < size; i += 3) {
    const int n = size - i < 3 ? size - i : 3;
    std::uint32_t group = static_cast<std::uint32_t>(data[i]) << 16;
    if (n > 1) group |= static_cast<std::uint32_t>(data[i + 1]) << 8;
    if (n > 2) group |= data[i + 2];
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[group & 63] : '=';
  }
  return out;
}

std::string IStateChunk::ToBase64() const { return EncodeBase64(bytes_.data(), Size()); }

IStateChunk IStateChunk::FromBase64(const std::string& text) {
  IStateChunk chunk;
  chunk.Resize(static_cast<int>(std::min<std::size_t>(text.size(), std::numeric_limits<int>::max())));
  chunk.Resize(DecodeBase64(text.c_str(), chunk.Data(), chunk.Size()));
  return chunk;
}

}  // namespace tessaro
