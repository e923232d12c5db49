// The few UTF-8 operations text fields need: encoding a character, decoding
// a string, stepping the caret by whole characters and counting them.
#pragma once

#include <cstddef>
#include <string>

namespace tessaro::utf8 {

void Append(std::string& out, char32_t c);
std::string Encode(char32_t c);
// The characters of s; malformed bytes are skipped.
std::u32string Decode(const std::string& s);
// The start of the character before (after) byte position.
std::size_t PreviousStart(const std::string& s, std::size_t position);
std::size_t NextStart(const std::string& s, std::size_t position);
std::size_t Count(const std::string& s);

}  // namespace tessaro::utf8
