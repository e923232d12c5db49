// Growable little-endian byte buffer holding a plug-in state. Writes append;
// reads take a position and return the position after the value, or -1 once
// a read fails, so a whole pass can be checked once at its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

class IStateChunk {
 public:
  static constexpr std::size_t kGranularity = 4096;

  IStateChunk() = default;

  int Size() const { return static_cast<int>(bytes_.size()); }
  bool Empty() const { return bytes_.empty(); }
  const std::uint8_t* Data() const { return bytes_.data(); }
  std::uint8_t* Data() { return bytes_.data(); }
  void Clear() { bytes_.clear(); }
  // Exactly n bytes, new ones zeroed.
  void Resize(int n);
  void Assign(const void* data, int size);

  void PutBytes(const void* data, int size);
  void PutInt(std::int32_t v) { PutBytes(&v, sizeof v); }
  void PutDouble(double v) { PutBytes(&v, sizeof v); }
  void PutByte(std::uint8_t v) { PutBytes(&v, 1); }
  void PutString(const std::string& s);
  void PutChunk(const IStateChunk& other) { PutBytes(other.Data(), other.Size()); }

  int GetBytes(void* dst, int size, int position) const;
  int GetInt(std::int32_t* v, int position) const { return GetBytes(v, sizeof *v, position); }
  int GetDouble(double* v, int position) const { return GetBytes(v, sizeof *v, position); }
  int GetByte(std::uint8_t* v, int position) const { return GetBytes(v, 1, position); }
  // Fails only when the count cannot be read; returns position + 4 + count,
  // setting *s only when the count is positive and the bytes are there.
  int GetString(std::string* s, int position) const;

  // The whole buffer in standard base64 (with padding).
  std::string ToBase64() const;
  // A chunk holding what the text decodes to (decoding stops at the first
  // character outside the alphabet).
  static IStateChunk FromBase64(const std::string& text);

 private:
  std::vector<std::uint8_t> bytes_;
};

// Decodes standard base64 into dst, at most capacity bytes; decoding stops at
// the first character outside the alphabet (so '=' ends it). Returns the
// number of bytes written.
int DecodeBase64(const char* text, std::uint8_t* dst, int capacity);
std::string EncodeBase64(const std::uint8_t* data, int size);

}  // namespace tessaro
