#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "meters/DisplaySettings.h"
#include "meters/DisplayThemes.h"

namespace tessaro {
namespace {

// Stands in for the plug-in's state chunk: same calls, same failure rules.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const std::uint8_t* data, int size) : bytes_(data, data + size) {}

  void PutBytes(const void* data, int size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  int GetBytes(void* dst, int size, int position) const {
    if (position < 0 || size < 0 || static_cast<std::size_t>(position) + size > bytes_.size()) return -1;
    std::memcpy(dst, bytes_.data() + position, static_cast<std::size_t>(size));
    return position + size;
  }

  // Little-endian field builders for hand-made records.
  ByteBuffer& Byte(int v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  ByteBuffer& Int(std::int32_t v) {
    for (int i = 0; i < 4; ++i) Byte((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return *this;
  }
  ByteBuffer& Double(double v) {
    const auto u = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) Byte(static_cast<int>((u >> (8 * i)) & 0xFF));
    return *this;
  }
  ByteBuffer& Argb(int a, int r, int g, int b) { return Byte(a).Byte(r).Byte(g).Byte(b); }

  int Size() const { return static_cast<int>(bytes_.size()); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Hand-computed from the record layout with python (struct.pack('<...')).
constexpr std::uint8_t kSlot2Record[128] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00,
    0x01, 0x00, 0x10, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0xFF, 0x31, 0x55, 0xE1, 0xFF, 0x19, 0x70,
    0xB3, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x19, 0x70, 0xB3, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x47,
    0x8C, 0xC2, 0x00, 0x01, 0x00, 0xA5, 0x31, 0x55, 0xE1, 0xA5, 0x00, 0x00, 0x00, 0xD8, 0x31, 0x55,
    0xE1, 0x01, 0x01, 0x00, 0xA5, 0xA9, 0x72, 0x20, 0xA5, 0x00, 0x00, 0x00, 0xA5, 0xDE, 0x91, 0x1F,
    0x01, 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x01,
    0x00, 0x00, 0xE5, 0xC1, 0x4C, 0x47, 0xB2, 0x4D, 0x1E, 0x1C, 0xFF, 0xE2, 0x26, 0x1D, 0x01, 0x01,
    0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00,
};

constexpr std::uint8_t kFixtureRecord106[159] = {
    0xF6, 0x28, 0x5C, 0x8F, 0xC2, 0xF5, 0xF0, 0x3F, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x01, 0x00, 0x08, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F, 0x01, 0x00, 0x00,
    0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x72, 0x40, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xF8, 0x3F, 0x00, 0x01, 0x00, 0x05, 0x06, 0x07, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x6A, 0xD8, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0x3F, 0x00, 0x00, 0x01, 0x09, 0x0A,
    0x0B, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x40, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12,
    0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x01, 0x00,
    0x00, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x00, 0x01, 0x00,
    0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x00, 0x00, 0x01,
};

// The values kFixtureRecord106 was built from.
DisplaySettings Fixture106() {
  DisplaySettings s;
  s.analyserFeedOn = false;
  s.inputWaveOn = true;
  s.outputWaveOn = false;
  s.fftMode = true;
  s.outputRmsOn = true;
  s.fftSize = 2048;
  s.window = 3;
  s.frameCount = 7;
  s.analyser[0] = {50.0, 0.5, true, false, false, {1, 2, 3, 4}};
  s.analyser[1] = {300.0, 1.5, false, true, false, {5, 6, 7, 8}};
  s.analyser[2] = {25000.0, 0.25, false, false, true, {9, 10, 11, 12}};
  s.octaveGainDb = 4.5;
  s.background = {13, 14, 15, 16};
  s.guiColour = {17, 18, 19, 20};
  s.curves = {
      {{21, 22, 23, 24}, {25, 26, 27, 28}, {29, 30, 31, 32}, true, false, false},
      {{33, 34, 35, 36}, {37, 38, 39, 40}, {41, 42, 43, 44}, false, true, false},
      {{45, 46, 47, 48}, {49, 50, 51, 52}, {53, 54, 55, 56}, false, false, true},
  };
  return s;
}

// What a display holds before a load: three curves in a recognisable look.
DisplaySettings Target(int curves = 3) {
  DisplaySettings s;
  s.curves.assign(static_cast<std::size_t>(curves),
                  CurveStyle{{99, 98, 97, 96}, {95, 94, 93, 92}, {91, 90, 89, 88}, false, false, false});
  s.guiColour = {201, 202, 203, 204};
  s.frameCount = 9;
  s.octaveGainDb = 1.5;
  return s;
}

void ExpectUsable(const DisplaySettings& s) {
  EXPECT_TRUE(DisplaySettings::IsValidFftSize(s.fftSize)) << s.fftSize;
  EXPECT_GE(s.window, 0);
  EXPECT_LE(s.window, 8);
  EXPECT_GE(s.frameCount, 2);
  EXPECT_LE(s.frameCount, 10);
  EXPECT_TRUE(std::isfinite(s.octaveGainDb));
  for (const AnalyserCurveStyle& a : s.analyser) {
    EXPECT_TRUE(std::isfinite(a.decayMs) && a.decayMs > 0.0) << a.decayMs;
    EXPECT_TRUE(a.smoothing == -1.0 || (a.smoothing >= 0.15 && a.smoothing <= 3.0)) << a.smoothing;
  }
}

TEST(DisplaySettingsRecord, WritesVersion106FieldByField) {
  ByteBuffer out;
  ASSERT_TRUE(Fixture106().WriteRecord(out));
  ASSERT_EQ(out.Size(), 159);
  EXPECT_EQ(std::memcmp(out.Bytes().data(), kFixtureRecord106, sizeof kFixtureRecord106), 0);
}

TEST(DisplaySettingsRecord, Version106RoundTripsEveryField) {
  ByteBuffer in(kFixtureRecord106, sizeof kFixtureRecord106);
  DisplaySettings s = Target();
  DisplayRecordInfo info;
  EXPECT_EQ(s.ReadRecord(in, 0, &info), 159);
  EXPECT_EQ(s, Fixture106());
  EXPECT_FALSE(info.olderLayout);
  EXPECT_TRUE(info.hasFrameCount && info.hasAnalyserCurves && info.hasGuiColour);
  EXPECT_EQ(info.storedCurves, 3);
  EXPECT_DOUBLE_EQ(info.version, 1.06);
}

// Each flag alone, so a reader that swaps two of them cannot pass.
TEST(DisplaySettingsRecord, EachDisplayFlagTravelsAlone) {
  for (int on = 0; on < 5; ++on) {
    DisplaySettings s = Fixture106();
    bool* flags[5] = {&s.analyserFeedOn, &s.inputWaveOn, &s.outputWaveOn, &s.fftMode, &s.outputRmsOn};
    for (int i = 0; i < 5; ++i) *flags[i] = i == on;
    ByteBuffer out;
    ASSERT_TRUE(s.WriteRecord(out));
    DisplaySettings back = Target();
    EXPECT_EQ(back.ReadRecord(out, 0), out.Size());
    EXPECT_EQ(back, s) << "flag " << on;
  }
}

TEST(DisplaySettingsRecord, ReadsAtAnOffsetAndStopsAtItsEnd) {
  ByteBuffer state;
  state.Int(0x11111111).Int(0x22222222);
  ASSERT_TRUE(Fixture106().WriteRecord(state));
  state.Int(19);  // the next field of the plug-in state
  DisplaySettings s = Target();
  const int end = s.ReadRecord(state, 8);
  ASSERT_EQ(end, 8 + 159);
  std::int32_t next = 0;
  EXPECT_EQ(state.GetBytes(&next, 4, end), state.Size());
  EXPECT_EQ(next, 19);
  EXPECT_EQ(s, Fixture106());
}

TEST(DisplaySettingsRecord, NegativePositionFailsAndTouchesNothing) {
  ByteBuffer in(kFixtureRecord106, sizeof kFixtureRecord106);
  DisplaySettings s = Target();
  EXPECT_EQ(s.ReadRecord(in, -1), -1);
  EXPECT_EQ(s, Target());
}

TEST(DisplaySettingsRecord, FactorySlot2IsTheExact128ByteVersion10Record) {
  DisplaySettings s;
  ASSERT_TRUE(FactoryDisplaySettings(2, &s));
  ByteBuffer out;
  ASSERT_TRUE(s.WriteRecord(out, kFactoryDisplayRecordVersion));
  ASSERT_EQ(out.Size(), 128);
  EXPECT_EQ(std::memcmp(out.Bytes().data(), kSlot2Record, 128), 0);
}

TEST(DisplaySettingsRecord, EveryFactorySlotWrites128Bytes) {
  for (int slot = 2; slot <= 14; ++slot) {
    DisplaySettings s;
    ASSERT_TRUE(FactoryDisplaySettings(slot, &s));
    ByteBuffer out;
    ASSERT_TRUE(s.WriteRecord(out, 1.0));
    EXPECT_EQ(out.Size(), 128) << "slot " << slot;
  }
}

// Record sizes with one curve, added up by hand from the record layout:
// 25 always (version, count, five flags, size, window), +4 frame count after
// 1.02, 69 + 8 for the analyser records and octave gain from 1.06 or else 9
// for the two colours and a glow, +4 background, +4 GUI colour from 1.02,
// +15 per curve.
TEST(DisplaySettingsRecord, WriterGatesFieldsByVersion) {
  struct Case {
    double version;
    int size;
  } cases[] = {{0.9, 53}, {1.0, 53}, {1.01, 53}, {1.02, 57}, {1.03, 61}, {1.05, 61}, {1.06, 129}, {2.0, 129}};
  DisplaySettings s = Fixture106();
  s.curves.resize(1);
  for (const Case& c : cases) {
    ByteBuffer out;
    ASSERT_TRUE(s.WriteRecord(out, c.version));
    EXPECT_EQ(out.Size(), c.size) << c.version;
    DisplaySettings back = Target(1);
    EXPECT_EQ(back.ReadRecord(out, 0), c.size) << c.version;
  }
}

TEST(DisplaySettingsRecord, WriterRefusesVersionsTheReaderWouldNotTake) {
  for (double v : {0.89, 2.01, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    ByteBuffer out;
    EXPECT_FALSE(Fixture106().WriteRecord(out, v)) << v;
    EXPECT_EQ(out.Size(), 0);
  }
}

// A version-1.0 record made by hand: no frame count, two analyser colours and
// a glow, background, then straight to the curves (no GUI colour).
ByteBuffer HandMadeRecord(double version, bool frameCount, bool guiColour) {
  ByteBuffer b;
  b.Double(version).Int(2).Byte(0).Byte(1).Byte(1).Byte(0).Byte(0).Int(512).Int(7);
  if (frameCount) b.Int(6);
  b.Argb(255, 10, 20, 30).Argb(254, 40, 50, 60).Byte(1);
  b.Argb(250, 1, 2, 3);
  if (guiColour) b.Argb(240, 4, 5, 6);
  b.Argb(11, 12, 13, 14).Argb(15, 16, 17, 18).Argb(19, 20, 21, 22).Byte(0).Byte(1).Byte(1);
  b.Argb(31, 32, 33, 34).Argb(35, 36, 37, 38).Argb(39, 40, 41, 42).Byte(1).Byte(0).Byte(0);
  return b;
}

TEST(DisplaySettingsRecord, Version10HasNoFrameCountNoGuiColourAndOnlyTwoAnalyserColours) {
  ByteBuffer in = HandMadeRecord(1.0, false, false);
  DisplaySettings s = Target();
  const DisplaySettings before = s;
  DisplayRecordInfo info;
  ASSERT_EQ(s.ReadRecord(in, 0, &info), in.Size());
  EXPECT_FALSE(info.hasGuiColour);
  EXPECT_FALSE(info.hasFrameCount);
  EXPECT_FALSE(info.hasAnalyserCurves);
  EXPECT_FALSE(s.analyserFeedOn);
  EXPECT_TRUE(s.inputWaveOn);
  EXPECT_TRUE(s.outputWaveOn);
  EXPECT_FALSE(s.fftMode);
  EXPECT_FALSE(s.outputRmsOn);
  EXPECT_EQ(s.fftSize, 512);
  EXPECT_EQ(s.window, 7);
  EXPECT_EQ(s.frameCount, 2);  // absent means two frames, whatever was set
  EXPECT_EQ(s.analyser[0].colour, (IColour{255, 10, 20, 30}));
  EXPECT_EQ(s.analyser[1].colour, (IColour{254, 40, 50, 60}));
  EXPECT_TRUE(s.analyser[1].glow);
  EXPECT_EQ(s.analyser[0].decayMs, before.analyser[0].decayMs);
  EXPECT_EQ(s.analyser[2], before.analyser[2]);
  EXPECT_EQ(s.octaveGainDb, before.octaveGainDb);
  EXPECT_EQ(s.background, (IColour{250, 1, 2, 3}));
  EXPECT_EQ(s.guiColour, before.guiColour);
  EXPECT_EQ(s.curves[0],
            (CurveStyle{{11, 12, 13, 14}, {15, 16, 17, 18}, {19, 20, 21, 22}, false, true, true}));
  EXPECT_EQ(s.curves[1],
            (CurveStyle{{31, 32, 33, 34}, {35, 36, 37, 38}, {39, 40, 41, 42}, true, false, false}));
  EXPECT_EQ(s.curves[2], before.curves[2]);  // the record had two
}

TEST(DisplaySettingsRecord, Version102AddsTheGuiColourButNotTheFrameCount) {
  ByteBuffer in = HandMadeRecord(1.02, false, true);
  DisplaySettings s = Target();
  DisplayRecordInfo info;
  ASSERT_EQ(s.ReadRecord(in, 0, &info), in.Size());
  EXPECT_TRUE(info.hasGuiColour);
  EXPECT_FALSE(info.hasFrameCount);
  EXPECT_EQ(s.guiColour, (IColour{240, 4, 5, 6}));
  EXPECT_EQ(s.frameCount, 2);
  EXPECT_EQ(s.analyser[1].colour, (IColour{254, 40, 50, 60}));
  EXPECT_EQ(s.curves[1].start, (IColour{31, 32, 33, 34}));
}

TEST(DisplaySettingsRecord, Version104HasTheFrameCountButStillTheShortAnalyserColours) {
  ByteBuffer in = HandMadeRecord(1.04, true, true);
  DisplaySettings s = Target();
  const DisplaySettings before = s;
  DisplayRecordInfo info;
  ASSERT_EQ(s.ReadRecord(in, 0, &info), in.Size());
  EXPECT_TRUE(info.hasFrameCount);
  EXPECT_FALSE(info.hasAnalyserCurves);
  EXPECT_EQ(s.frameCount, 6);
  EXPECT_EQ(s.analyser[0].colour, (IColour{255, 10, 20, 30}));
  EXPECT_EQ(s.octaveGainDb, before.octaveGainDb);
  EXPECT_EQ(s.guiColour, (IColour{240, 4, 5, 6}));
  EXPECT_EQ(s.curves[1].line, (IColour{39, 40, 41, 42}));
}

// Before the version field the record began with the flags; a double made of
// flag bytes and an FFT size is tiny, never 0.9..2.
ByteBuffer OlderLayout() {
  ByteBuffer b;
  b.Byte(1).Byte(0).Byte(1).Byte(1).Int(1024).Int(2);
  b.Argb(255, 70, 80, 90);   // analyser
  b.Argb(200, 100, 51, 7);   // Input
  b.Argb(180, 255, 128, 1);  // Output
  return b;
}

TEST(DisplaySettingsRecord, OlderLayoutWithoutVersion) {
  ByteBuffer in;
  in.Int(-5);  // the preceding field of the state
  const ByteBuffer older = OlderLayout();
  for (std::uint8_t byte : older.Bytes()) in.Byte(byte);
  DisplaySettings s = Target();
  const DisplaySettings before = s;
  DisplayRecordInfo info;
  ASSERT_EQ(s.ReadRecord(in, 4, &info), 4 + 24);
  EXPECT_TRUE(info.olderLayout);
  EXPECT_FALSE(info.hasGuiColour);
  EXPECT_TRUE(s.analyserFeedOn);
  EXPECT_FALSE(s.inputWaveOn);
  EXPECT_TRUE(s.outputWaveOn);
  EXPECT_TRUE(s.fftMode);
  EXPECT_EQ(s.outputRmsOn, before.outputRmsOn);
  EXPECT_EQ(s.fftSize, 1024);
  EXPECT_EQ(s.window, 2);
  EXPECT_EQ(s.frameCount, 2);
  EXPECT_EQ(s.analyser[0].colour, (IColour{255, 70, 80, 90}));
  EXPECT_EQ(s.analyser[1], before.analyser[1]);
  // Start as stored, end at half intensity with the same alpha, line opaque.
  EXPECT_EQ(s.curves[DisplaySettings::kCurveInput],
            (CurveStyle{{200, 100, 51, 7}, {200, 50, 25, 3}, {255, 100, 51, 7}, false, false, false}));
  EXPECT_EQ(s.curves[DisplaySettings::kCurveOutput],
            (CurveStyle{{180, 255, 128, 1}, {180, 127, 64, 0}, {255, 255, 128, 1}, false, false, false}));
  EXPECT_EQ(s.curves[DisplaySettings::kCurveOutputRms], before.curves[2]);
  EXPECT_EQ(s.background, before.background);
  EXPECT_EQ(s.guiColour, before.guiColour);
}

TEST(DisplaySettingsRecord, OlderLayoutWithTooFewCurvesOnlyTakesTheFlags) {
  ByteBuffer in = OlderLayout();
  DisplaySettings s = Target(0);
  ASSERT_EQ(s.ReadRecord(in, 0), 24);
  EXPECT_TRUE(s.curves.empty());
  EXPECT_EQ(s.fftSize, 1024);
}

// A version outside 0.9..2 sends the reader to the older layout from the
// record's start, where the version's own bytes become the flags and size.
TEST(DisplaySettingsRecord, VersionsOutsideTheRangeAreReadAsTheOlderLayout) {
  for (double v : {0.89, 2.01, -1.0, 0.0, std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    ByteBuffer in;
    ASSERT_TRUE(Fixture106().WriteRecord(in));
    const auto u = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) in.Bytes()[static_cast<std::size_t>(i)] = (u >> (8 * i)) & 0xFF;
    DisplaySettings s = Target();
    DisplayRecordInfo info;
    EXPECT_EQ(s.ReadRecord(in, 0, &info), 24) << v;
    EXPECT_TRUE(info.olderLayout) << v;
    ExpectUsable(s);
  }
}

TEST(DisplaySettingsRecord, OlderLayoutSizeComesFromTheVersionBytes) {
  // 2.01 = 14 AE 47 E1 7A 14 00 40: flags from the first four, size 0x4000147A.
  ByteBuffer in;
  in.Double(2.01).Int(3).Argb(1, 2, 3, 4).Argb(5, 6, 7, 8).Argb(9, 10, 11, 12);
  DisplaySettings s = Target();
  ASSERT_EQ(s.ReadRecord(in, 0), 24);
  EXPECT_TRUE(s.analyserFeedOn && s.inputWaveOn && s.outputWaveOn && s.fftMode);
  EXPECT_EQ(s.fftSize, 4096);  // 0x4000147A is no size at all
  EXPECT_EQ(s.window, 5);
}

TEST(DisplaySettingsRecord, FftSizeAndWindowAreValidated) {
  struct Case {
    std::int32_t size, window, wantSize, wantWindow;
  } cases[] = {
      {3000, 2, 4096, 5}, {8, 2, 4096, 5},      {65536, 2, 4096, 5}, {0, 2, 4096, 5},     {-4096, 2, 4096, 5},
      {16, 2, 16, 2},     {32768, 8, 32768, 8}, {1024, 9, 1024, 5},  {1024, -1, 1024, 5}, {256, 0, 256, 0},
  };
  for (const Case& c : cases) {
    DisplaySettings w = Fixture106();
    w.fftSize = c.size;
    w.window = c.window;
    ByteBuffer in;
    ASSERT_TRUE(w.WriteRecord(in));
    DisplaySettings s = Target();
    EXPECT_EQ(s.ReadRecord(in, 0), in.Size());
    EXPECT_EQ(s.fftSize, c.wantSize) << c.size << " " << c.window;
    EXPECT_EQ(s.window, c.wantWindow) << c.size << " " << c.window;
  }
}

TEST(DisplaySettingsRecord, FrameCountIsClampedIntoTheEnginesRange) {
  struct Case {
    std::int32_t stored, want;
  } cases[] = {{0, 2}, {1, 2}, {2, 2}, {5, 5}, {10, 10}, {11, 10}, {-7, 2}, {1 << 30, 10}};
  for (const Case& c : cases) {
    DisplaySettings w = Fixture106();
    w.frameCount = c.stored;
    ByteBuffer in;
    ASSERT_TRUE(w.WriteRecord(in));
    DisplaySettings s = Target();
    EXPECT_EQ(s.ReadRecord(in, 0), in.Size());
    EXPECT_EQ(s.frameCount, c.want) << c.stored;
  }
}

TEST(DisplaySettingsRecord, UnusableAnalyserNumbersFallBack) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  DisplaySettings w = Fixture106();
  w.analyser[0].decayMs = nan;
  w.analyser[1].decayMs = -3.0;
  w.analyser[2].decayMs = inf;
  w.analyser[0].smoothing = 0.1;  // under 0.15 octave: off
  w.analyser[1].smoothing = 5.0;
  w.analyser[2].smoothing = nan;
  w.octaveGainDb = nan;
  ByteBuffer in;
  ASSERT_TRUE(w.WriteRecord(in));
  DisplaySettings s = Target();
  ASSERT_EQ(s.ReadRecord(in, 0), in.Size());
  EXPECT_EQ(s.analyser[0].decayMs, 10.0);
  EXPECT_EQ(s.analyser[1].decayMs, 1000.0);
  EXPECT_EQ(s.analyser[2].decayMs, 10000.0);
  EXPECT_EQ(s.analyser[0].smoothing, -1.0);
  EXPECT_EQ(s.analyser[1].smoothing, 3.0);
  EXPECT_EQ(s.analyser[2].smoothing, -1.0);
  EXPECT_EQ(s.octaveGainDb, 0.0);

  w.octaveGainDb = 40.0;
  ByteBuffer loud;
  ASSERT_TRUE(w.WriteRecord(loud));
  ASSERT_EQ(s.ReadRecord(loud, 0), loud.Size());
  EXPECT_EQ(s.octaveGainDb, 6.0);
}

// Every cut of a record fails, keeps what was read before the cut, and leaves
// settings the display can run with.
TEST(DisplaySettingsRecord, TruncatedRecordsFailAndStayUsable) {
  const std::vector<std::uint8_t> records[] = {
      {kFixtureRecord106, kFixtureRecord106 + sizeof kFixtureRecord106},
      {kSlot2Record, kSlot2Record + sizeof kSlot2Record},
      OlderLayout().Bytes(),
  };
  for (const auto& record : records) {
    for (int cut = 0; cut < static_cast<int>(record.size()); ++cut) {
      ByteBuffer in(record.data(), cut);
      DisplaySettings s = Target(6);
      EXPECT_EQ(s.ReadRecord(in, 0), -1) << "cut at " << cut;
      ExpectUsable(s);
      EXPECT_EQ(s.curves.size(), 6u);
    }
  }
}

TEST(DisplaySettingsRecord, TruncatedAfterABadSizeStillRepairsTheSize) {
  DisplaySettings w = Fixture106();
  w.fftSize = 3000;
  w.window = 2;
  ByteBuffer full;
  ASSERT_TRUE(w.WriteRecord(full));
  ByteBuffer cut(full.Bytes().data(), 8 + 4 + 5 + 4 + 4);  // ends after the window
  DisplaySettings s = Target();
  EXPECT_EQ(s.ReadRecord(cut, 0), -1);
  EXPECT_EQ(s.fftSize, 4096);
  EXPECT_EQ(s.window, 5);
  EXPECT_TRUE(s.fftMode);      // read before the cut, so kept
  EXPECT_EQ(s.frameCount, 9);  // the cut fell before it
}

TEST(DisplaySettingsRecord, HugeCurveCountReadsOnlyWhatIsThere) {
  ByteBuffer in(kFixtureRecord106, sizeof kFixtureRecord106);
  const std::int32_t huge = std::numeric_limits<std::int32_t>::max();
  std::memcpy(in.Bytes().data() + 8, &huge, 4);
  DisplaySettings s = Target(4);
  DisplayRecordInfo info;
  EXPECT_EQ(s.ReadRecord(in, 0, &info), -1);
  EXPECT_EQ(info.storedCurves, huge);
  const DisplaySettings want = Fixture106();
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(s.curves[static_cast<std::size_t>(i)], want.curves[static_cast<std::size_t>(i)]);
  EXPECT_EQ(s.curves.size(), 4u);
}

TEST(DisplaySettingsRecord, NegativeCurveCountReadsNoCurves) {
  ByteBuffer in(kFixtureRecord106, sizeof kFixtureRecord106);
  const std::int32_t negative = -2;
  std::memcpy(in.Bytes().data() + 8, &negative, 4);
  DisplaySettings s = Target();
  EXPECT_EQ(s.ReadRecord(in, 0), 159 - 3 * 15);
  EXPECT_EQ(s.curves, Target().curves);
  EXPECT_EQ(s.guiColour, (IColour{17, 18, 19, 20}));
}

TEST(DisplaySettingsRecord, MoreStoredCurvesThanTheListAreSkipped) {
  ByteBuffer in(kFixtureRecord106, sizeof kFixtureRecord106);
  in.Int(77);  // what follows the record
  DisplaySettings s = Target(1);
  ASSERT_EQ(s.ReadRecord(in, 0), 159);
  ASSERT_EQ(s.curves.size(), 1u);
  EXPECT_EQ(s.curves[0], Fixture106().curves[0]);
}

// Random bytes, with and without a plausible version in front: the reader
// must stay inside the data (the sanitizer build checks the reads), return -1
// or a position within it, and leave usable settings.
TEST(DisplaySettingsRecord, HostileBytesNeverEscapeTheData) {
  std::mt19937 rng(20110);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 400);
  const double versions[] = {1.0, 1.02, 1.04, 1.06, 2.0};
  int completed = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    ByteBuffer in;
    const int n = length(rng);
    for (int i = 0; i < n; ++i) in.Byte(byte(rng));
    if (trial % 2 == 0 && n >= 12) {
      const auto u = std::bit_cast<std::uint64_t>(versions[trial / 2 % 5]);
      for (int i = 0; i < 8; ++i) in.Bytes()[static_cast<std::size_t>(i)] = (u >> (8 * i)) & 0xFF;
      // Keep the curve count small now and then so the curve entries get read.
      if (trial % 4 == 0) in.Bytes()[8] &= 0x0F, in.Bytes()[9] = in.Bytes()[10] = in.Bytes()[11] = 0;
    }
    const int start = n > 0 ? trial % std::min(n, 5) : 0;
    DisplaySettings s = Target(6);
    const int end = s.ReadRecord(in, start);
    EXPECT_TRUE(end == -1 || (end > start && end <= n)) << "trial " << trial << " end " << end;
    if (end > 0) ++completed;
    ExpectUsable(s);
    EXPECT_EQ(s.curves.size(), 6u);
  }
  // Enough of them parse to the end that the fields after the flags are exercised too.
  EXPECT_GT(completed, 200);
}

// The adapters let a record go through any chunk that has the two calls.
TEST(DisplaySettingsRecord, ExplicitByteInterfacesGiveTheSameRecord) {
  ByteBuffer viaTemplate;
  ASSERT_TRUE(Fixture106().WriteRecord(viaTemplate));
  ByteBuffer viaSink;
  ChunkSink<ByteBuffer> sink(viaSink);
  ASSERT_TRUE(Fixture106().WriteRecord(static_cast<ByteSink&>(sink)));
  EXPECT_EQ(viaSink.Bytes(), viaTemplate.Bytes());
  ChunkSource<ByteBuffer> source(viaSink);
  DisplaySettings s = Target();
  EXPECT_EQ(s.ReadRecord(static_cast<const ByteSource&>(source), 0), 159);
  EXPECT_EQ(s, Fixture106());
}

TEST(DisplaySettingsColour, PacksAsAarrggbbAndKnowsTransparent) {
  EXPECT_EQ((IColour{0x12, 0x34, 0x56, 0x78}.Packed()), 0x12345678u);
  EXPECT_EQ((IColour{300, -4, 255, 0}.Packed()), 0xFF00FF00u);
  EXPECT_TRUE(IColour{}.IsTransparent());
  EXPECT_FALSE((IColour{0, 0, 0, 1}.IsTransparent()));
}

TEST(DisplayThemes, SlotsMapToTheirThemes) {
  struct Case {
    int slot;
    const char* name;
  } cases[] = {{2, "Default"},     {5, "Default"},        {9, "Default"},     {10, "Color-Deep"},
               {11, "Color-Mute"}, {12, "Color-Intense"}, {13, "Color-Mono"}, {14, "Color-Orange"}};
  for (const Case& c : cases) {
    const DisplayTheme* t = FactoryDisplayTheme(c.slot);
    ASSERT_NE(t, nullptr) << c.slot;
    EXPECT_STREQ(t->name, c.name) << c.slot;
  }
  for (int slot : {-1, 0, 1, 15, 19}) {
    EXPECT_EQ(FactoryDisplayTheme(slot), nullptr) << slot;
    DisplaySettings s = Target();
    EXPECT_FALSE(FactoryDisplaySettings(slot, &s));
    EXPECT_EQ(s, Target());
  }
}

// Spot checks typed from the factory colour table (RRGGBB/AA -> A, R, G, B).
TEST(DisplayThemes, ColoursMatchTheFactoryTable) {
  const DisplayTheme& deep = *FactoryDisplayTheme(10);
  EXPECT_EQ(deep.analyser[0], (IColour{0xFF, 0x1A, 0x46, 0xF9}));
  EXPECT_EQ(deep.analyser[1], (IColour{0xFF, 0x00, 0x75, 0xCC}));
  EXPECT_EQ(
      deep.curves[4],
      (CurveStyle{
          {0xE5, 0xE2, 0x25, 0x25}, {0xB2, 0x80, 0x23, 0x1E}, {0xFF, 0xFD, 0x0F, 0x02}, true, true, true}));
  const DisplayTheme& mute = *FactoryDisplayTheme(11);
  EXPECT_EQ(mute.background, (IColour{0xFF, 0x23, 0x20, 0x20}));
  EXPECT_EQ(
      mute.curves[3],
      (CurveStyle{
          {0xFF, 0xDD, 0xDD, 0x22}, {0xFF, 0xB6, 0xB6, 0x49}, {0xFF, 0xDF, 0xDF, 0x20}, true, false, false}));
  const DisplayTheme& intense = *FactoryDisplayTheme(12);
  EXPECT_EQ(intense.background, (IColour{0xFF, 0, 0, 0}));
  EXPECT_EQ(intense.curves[1].end, (IColour{0xA5, 0x2F, 0x55, 0x51}));
  const DisplayTheme& mono = *FactoryDisplayTheme(13);
  EXPECT_EQ(mono.analyser[1], (IColour{0xFF, 0xA3, 0xA3, 0xA3}));
  EXPECT_EQ(mono.curves[2].line, (IColour{0xA5, 0x84, 0x38, 0x00}));
  const DisplayTheme& orange = *FactoryDisplayTheme(14);
  // Orange keeps the default analyser and background.
  EXPECT_EQ(orange.analyser[0], (IColour{0xFF, 0x31, 0x55, 0xE1}));
  EXPECT_EQ(orange.analyser[1], (IColour{0xFF, 0x19, 0x70, 0xB3}));
  EXPECT_TRUE(orange.background.IsTransparent());
  EXPECT_EQ(
      orange.curves[1],
      (CurveStyle{
          {0xA5, 0x00, 0x4A, 0x7F}, {0xA5, 0x00, 0x34, 0x5A}, {0xD8, 0x2A, 0x2A, 0x2A}, true, false, false}));
  for (int slot = 2; slot <= 14; ++slot) {
    const DisplayTheme& t = *FactoryDisplayTheme(slot);
    EXPECT_TRUE(t.analyserGlow) << slot;
    EXPECT_EQ(
        t.curves[5],
        (CurveStyle{{0xFF, 0xFF, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0}, false, true, false}))
        << slot;
  }
}

TEST(DisplayThemes, ThemedSettingsRoundTripThroughTheFactoryRecord) {
  for (int slot = 2; slot <= 14; ++slot) {
    DisplaySettings factory;
    ASSERT_TRUE(FactoryDisplaySettings(slot, &factory));
    ByteBuffer record;
    ASSERT_TRUE(factory.WriteRecord(record, 1.0));
    DisplaySettings s = Target(6);
    ASSERT_EQ(s.ReadRecord(record, 0), 128);
    EXPECT_EQ(s.curves, factory.curves) << slot;
    EXPECT_EQ(s.analyser[0].colour, factory.analyser[0].colour) << slot;
    EXPECT_EQ(s.analyser[1].colour, factory.analyser[1].colour) << slot;
    EXPECT_TRUE(s.analyser[1].glow);
    EXPECT_EQ(s.background, factory.background) << slot;
    EXPECT_EQ(s.fftSize, 4096);
    EXPECT_EQ(s.window, 5);
    EXPECT_FALSE(s.fftMode);
  }
}

}  // namespace
}  // namespace tessaro
