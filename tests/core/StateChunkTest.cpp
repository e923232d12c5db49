#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/IStateChunk.h"

namespace tessaro {
namespace {

TEST(StateChunk, ValuesAreLittleEndianAndUnaligned) {
  IStateChunk c;
  c.PutByte(7);
  c.PutInt(0x01020304);
  c.PutDouble(1.0);
  ASSERT_EQ(c.Size(), 13);
  const std::uint8_t expected[13] = {7, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
  EXPECT_EQ(std::memcmp(c.Data(), expected, 13), 0);
  std::uint8_t b = 0;
  std::int32_t i = 0;
  double d = 0;
  int pos = c.GetByte(&b, 0);
  pos = c.GetInt(&i, pos);
  pos = c.GetDouble(&d, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(i, 0x01020304);
  EXPECT_EQ(d, 1.0);
}

TEST(StateChunk, FailedReadLeavesDestinationAndPoisonsThePass) {
  IStateChunk c;
  c.PutInt(5);
  std::int32_t i = 99;
  double d = 42.0;
  EXPECT_EQ(c.GetDouble(&d, 0), -1);
  EXPECT_EQ(d, 42.0);
  EXPECT_EQ(c.GetInt(&i, -1), -1);
  EXPECT_EQ(i, 99);
  EXPECT_EQ(c.GetInt(&i, 1), -1);
  EXPECT_EQ(c.GetInt(&i, 0x7FFFFFFF), -1);
}

TEST(StateChunk, StringRules) {
  IStateChunk c;
  c.PutString("abc");
  std::string s = "old";
  EXPECT_EQ(c.GetString(&s, 0), 7);
  EXPECT_EQ(s, "abc");

  struct Case {
    const char* what;
    std::int32_t count;
    std::string payload;
    int expectedPos;
    std::string expected;
  };
  const Case cases[] = {
      {"zero count keeps the string", 0, "", 4, "old"},
      {"stops at the first zero byte", 5, std::string("ab\0cd", 5), 9, "ab"},
      {"count past the end still advances", 100, "xy", 104, "old"},
      {"negative count fails", -4, "", -1, "old"},
  };
  for (const Case& k : cases) {
    IStateChunk h;
    h.PutInt(k.count);
    h.PutBytes(k.payload.data(), static_cast<int>(k.payload.size()));
    std::string got = "old";
    EXPECT_EQ(h.GetString(&got, 0), k.expectedPos) << k.what;
    EXPECT_EQ(got, k.expected) << k.what;
  }
  std::string t;
  EXPECT_EQ(c.GetString(&t, 5), -1);  // the count itself cannot be read
}

TEST(Base64, KnownVectorsRoundTrip) {
  struct Case { const char* plain; const char* encoded; };
  for (const Case k : {Case{"", ""}, Case{"f", "Zg=="}, Case{"fo", "Zm8="}, Case{"foo", "Zm9v"},
                       Case{"foob", "Zm9vYg=="}, Case{"fooba", "Zm9vYmE="}, Case{"foobar", "Zm9vYmFy"}}) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(k.plain);
    const int n = static_cast<int>(std::strlen(k.plain));
    EXPECT_EQ(EncodeBase64(bytes, n), k.encoded);
    std::uint8_t out[16] = {};
    EXPECT_EQ(DecodeBase64(k.encoded, out, sizeof out), n) << k.encoded;
    EXPECT_EQ(std::memcmp(out, k.plain, static_cast<std::size_t>(n)), 0);
  }
}

TEST(Base64, DecodingStopsAtTheFirstForeignCharacterAndAtCapacity) {
  std::uint8_t out[8] = {};
  EXPECT_EQ(DecodeBase64("Zm9v YmFy", out, sizeof out), 3);  // a blank ends it
  EXPECT_EQ(DecodeBase64("Zm9vYmFy", out, 4), 4);
  EXPECT_EQ(std::memcmp(out, "foob", 4), 0);
  std::uint8_t all[48];
  std::uint8_t back[48];
  for (int i = 0; i < 48; ++i) all[i] = static_cast<std::uint8_t>(i * 37 + 11);
  EXPECT_EQ(DecodeBase64(EncodeBase64(all, 48).c_str(), back, 48), 48);
  EXPECT_EQ(std::memcmp(all, back, 48), 0);
}

}  // namespace
}  // namespace tessaro
