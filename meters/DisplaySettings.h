// What the history display remembers across sessions: which curves it shows,
// the analyser's size, window, frame count and curve styles, the background
// and GUI colours, and each history curve's colours and switches. The display
// keeps one of these and travels with the plug-in state as one binary record;
// the reader understands every record earlier versions of the display wrote.
//
// The record goes into the plug-in's state chunk, which this layer cannot see,
// so it is written and read through two narrow byte interfaces; any chunk with
// PutBytes / GetBytes (positions returned, -1 on failure) plugs in directly.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <vector>

namespace tessaro {

// A colour as the editor keeps it; each channel 0..255.
struct IColour {
  std::int32_t A = 0;
  std::int32_t R = 0;
  std::int32_t G = 0;
  std::int32_t B = 0;

  bool operator==(const IColour&) const = default;
  // 0xAARRGGBB, the layout of our bitmaps; channels are clamped to a byte.
  std::uint32_t Packed() const;
  // All four zero: the display's way of saying "no background".
  bool IsTransparent() const { return A == 0 && R == 0 && G == 0 && B == 0; }
};

// Appends raw bytes to whatever holds the state.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void PutBytes(const void* data, int size) = 0;
};

// Reads size bytes at position into dst; returns the position after them, or
// -1 (dst untouched) when the position is negative or the bytes are not there.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int GetBytes(void* dst, int size, int position) const = 0;
};

// Any state chunk with the two calls; the byte interfaces themselves are left
// out so the overloads below never pick each other.
template <class Chunk>
concept WritableChunk =
    !std::derived_from<Chunk, ByteSink> && requires(Chunk & c, const void* data, int size) {
  c.PutBytes(data, size);
};

template <class Chunk>
concept ReadableChunk =
    !std::derived_from<Chunk, ByteSource> && requires(const Chunk& c, void* dst, int size, int position) {
  { c.GetBytes(dst, size, position) } -> std::convertible_to<int>;
};

template <WritableChunk Chunk>
class ChunkSink final : public ByteSink {
 public:
  explicit ChunkSink(Chunk& chunk) : chunk_(chunk) {}
  void PutBytes(const void* data, int size) override { chunk_.PutBytes(data, size); }

 private:
  Chunk& chunk_;
};

template <ReadableChunk Chunk>
class ChunkSource final : public ByteSource {
 public:
  explicit ChunkSource(const Chunk& chunk) : chunk_(chunk) {}
  int GetBytes(void* dst, int size, int position) const override {
    return static_cast<int>(chunk_.GetBytes(dst, size, position));
  }

 private:
  const Chunk& chunk_;
};

// One history curve's look (Output, Input, Output RMS and the overlays).
struct CurveStyle {
  IColour start;  // fill colour away from the edge the curve grows from
  IColour end;    // fill colour at that edge
  IColour line;
  bool lineOn = true;
  bool fillOn = false;
  bool glow = true;

  bool operator==(const CurveStyle&) const = default;
};

// One analyser curve's look ("Instant", "Peak", "Hold").
struct AnalyserCurveStyle {
  double decayMs = 10.0;
  double smoothing = -1.0;  // octaves, 0.15..3; -1 = off
  bool on = true;
  bool fillHidden = true;  // the fill is drawn only while this is false
  bool glow = false;
  IColour colour;

  bool operator==(const AnalyserCurveStyle&) const = default;
};

// What a read found in the record, for the display's follow-up work (the GUI
// colour panel is installed only when the record carried a GUI colour).
struct DisplayRecordInfo {
  double version = 0.0;      // as stored; 0 for the older layout
  bool olderLayout = false;  // no valid version: flags, size, window, three colours
  bool hasFrameCount = false;
  bool hasAnalyserCurves = false;  // full analyser records and octave gain
  bool hasGuiColour = false;
  std::int32_t storedCurves = 0;  // curve entries the record announced
};

struct DisplaySettings {
  static constexpr double kRecordVersion = 1.06;
  static constexpr double kOldestVersion = 0.9;
  static constexpr double kNewestVersion = 2.0;
  static constexpr int kAnalyserCurves = 3;
  static constexpr std::int32_t kDefaultFftSize = 4096;
  static constexpr std::int32_t kDefaultWindow = 5;
  static constexpr std::int32_t kWindowCount = 9;
  static constexpr std::int32_t kMinFrames = 2;
  static constexpr std::int32_t kMaxFrames = 10;
  static constexpr double kMinOctaveGainDb = 0.0;
  static constexpr double kMaxOctaveGainDb = 6.0;
  // Positions in the display's curve list; the plug-in appends its overlays.
  enum CurveIndex : int { kCurveOutput = 0, kCurveInput = 1, kCurveOutputRms = 2 };

  bool analyserFeedOn = true;
  bool inputWaveOn = true;
  bool outputWaveOn = true;
  bool fftMode = false;
  bool outputRmsOn = true;
  std::int32_t fftSize = kDefaultFftSize;
  std::int32_t window = kDefaultWindow;
  std::int32_t frameCount = kMinFrames;
  // "Instant", "Peak", "Hold" as the analyser starts them.
  std::array<AnalyserCurveStyle, kAnalyserCurves> analyser = {
      AnalyserCurveStyle{10.0, -1.0, true, true, false, {}},
      AnalyserCurveStyle{1000.0, -1.0, true, true, false, {}},
      AnalyserCurveStyle{10000.0, -1.0, true, true, false, {}},
  };
  double octaveGainDb = 0.0;
  IColour background;  // transparent
  IColour guiColour;
  // One entry per curve-list entry, in list order; the display sizes it.
  std::vector<CurveStyle> curves;

  bool operator==(const DisplaySettings&) const = default;

  // Powers of two 16..32768, the sizes the frame engine runs.
  static bool IsValidFftSize(std::int32_t size);
  // The decay a curve falls back to when a stored one is unusable.
  static double DefaultDecayMs(int analyserCurve);

  // Brings every field into the range the display runs with: a bad FFT size
  // or window gives 4096 with window 5, the frame count is clamped to 2..10,
  // unusable analyser values fall back, colours are clamped to bytes.
  void Validate();

  // Appends the record in the layout of `version` (0.9..2; 1.06 is what this
  // display writes, older ones rebuild the factory records). Returns false and
  // writes nothing for a version outside that range. Editor thread; allocates
  // only inside the sink.
  bool WriteRecord(ByteSink& sink, double version = kRecordVersion) const;
  template <WritableChunk Chunk>
  bool WriteRecord(Chunk& chunk, double version = kRecordVersion) const {
    ChunkSink<Chunk> sink(chunk);
    return WriteRecord(sink, version);
  }

  // Reads a record at position and returns the position after it, or -1 when
  // the data ran out (or the position was negative). Fields read before the
  // failure are kept, and the result is validated either way, so the settings
  // stay usable. Curve entries beyond `curves.size()` are read and dropped;
  // missing ones keep their style. Editor thread under the plug-in lock; never
  // allocates.
  int ReadRecord(const ByteSource& source, int position, DisplayRecordInfo* info = nullptr);
  template <ReadableChunk Chunk>
  int ReadRecord(const Chunk& chunk, int position, DisplayRecordInfo* info = nullptr) {
    ChunkSource<Chunk> source(chunk);
    return ReadRecord(source, position, info);
  }
};

}  // namespace tessaro
