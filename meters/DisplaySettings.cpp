#include "meters/DisplaySettings.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace tessaro {

namespace {

// Fields that later versions added: the frame count after 1.02, the GUI
// colour from 1.02, the full analyser records and octave gain from 1.06.
bool HasFrameCount(double version) { return version > 1.02; }
bool HasGuiColour(double version) { return version >= 1.02; }
bool HasAnalyserCurves(double version) { return version >= 1.06; }
bool IsRecordVersion(double version) {
  return version >= DisplaySettings::kOldestVersion && version <= DisplaySettings::kNewestVersion;
}

std::uint8_t ToByte(std::int32_t v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

constexpr int kColourBytes = 4;
constexpr int kCurveBytes = 3 * kColourBytes + 3;
constexpr int kAnalyserCurveBytes = 8 + 8 + 3 + kColourBytes;

// Little-endian whatever the machine, so records move between hosts.
class RecordWriter {
 public:
  explicit RecordWriter(ByteSink& sink) : sink_(sink) {}

  void Byte(std::uint8_t v) { sink_.PutBytes(&v, 1); }
  void Flag(bool v) { Byte(v ? 1 : 0); }
  void Int(std::int32_t v) { Unsigned(static_cast<std::uint32_t>(v), 4); }
  void Double(double v) { Unsigned(std::bit_cast<std::uint64_t>(v), 8); }
  void Colour(const IColour& c) {
    const std::uint8_t b[kColourBytes] = {ToByte(c.A), ToByte(c.R), ToByte(c.G), ToByte(c.B)};
    sink_.PutBytes(b, kColourBytes);
  }

 private:
  void Unsigned(std::uint64_t v, int n) {
    std::uint8_t b[8];
    for (int i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
    sink_.PutBytes(b, n);
  }

  ByteSink& sink_;
};

// Reads whole fields or nothing; once one read fails every later one does
// nothing, and the position stays -1.
class RecordReader {
 public:
  RecordReader(const ByteSource& source, int position) : source_(source), position_(position) {}

  int Position() const { return position_; }
  void Rewind(int position) { position_ = position; }

  bool Bytes(std::uint8_t* dst, int n) {
    std::uint8_t tmp[kAnalyserCurveBytes];
    if (position_ < 0 || n < 0 || n > kAnalyserCurveBytes) {
      position_ = -1;
      return false;
    }
    const int next = source_.GetBytes(tmp, n, position_);
    // A source that claims to have moved anywhere but n bytes on is not trusted.
    if (next < 0 || next - n != position_) {
      position_ = -1;
      return false;
    }
    std::memcpy(dst, tmp, static_cast<std::size_t>(n));
    position_ = next;
    return true;
  }
  bool Int(std::int32_t* v) {
    std::uint8_t b[4];
    if (!Bytes(b, 4)) return false;
    *v = static_cast<std::int32_t>(LittleEndian(b, 4));
    return true;
  }
  bool Double(double* v) {
    std::uint8_t b[8];
    if (!Bytes(b, 8)) return false;
    *v = std::bit_cast<double>(LittleEndian(b, 8));
    return true;
  }
  bool Flag(bool* v) {
    std::uint8_t b = 0;
    if (!Bytes(&b, 1)) return false;
    *v = b != 0;
    return true;
  }
  bool Colour(IColour* c) {
    std::uint8_t b[kColourBytes];
    if (!Bytes(b, kColourBytes)) return false;
    *c = DecodeColour(b);
    return true;
  }

  static std::uint64_t LittleEndian(const std::uint8_t* b, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[i];
    return v;
  }
  static IColour DecodeColour(const std::uint8_t* b) { return IColour{b[0], b[1], b[2], b[3]}; }

 private:
  const ByteSource& source_;
  int position_;
};

IColour HalfIntensity(const IColour& c) { return IColour{c.A, c.R / 2, c.G / 2, c.B / 2}; }
IColour Opaque(const IColour& c) { return IColour{255, c.R, c.G, c.B}; }

void ClampColour(IColour* c) {
  c->A = std::clamp(c->A, 0, 255);
  c->R = std::clamp(c->R, 0, 255);
  c->G = std::clamp(c->G, 0, 255);
  c->B = std::clamp(c->B, 0, 255);
}

}  // namespace

std::uint32_t IColour::Packed() const {
  return (std::uint32_t{ToByte(A)} << 24) | (std::uint32_t{ToByte(R)} << 16) |
         (std::uint32_t{ToByte(G)} << 8) | std::uint32_t{ToByte(B)};
}

bool DisplaySettings::IsValidFftSize(std::int32_t size) {
  return size >= 16 && size <= 32768 && std::has_single_bit(static_cast<std::uint32_t>(size));
}

double DisplaySettings::DefaultDecayMs(int analyserCurve) {
  static constexpr double kDecay[kAnalyserCurves] = {10.0, 1000.0, 10000.0};
  return kDecay[std::clamp(analyserCurve, 0, kAnalyserCurves - 1)];
}

void DisplaySettings::Validate() {
  // A size the engine cannot run means the record is not to be trusted for
  // the window either: both go back to the values the display starts with.
  if (!IsValidFftSize(fftSize)) {
    fftSize = kDefaultFftSize;
    window = kDefaultWindow;
  }
  if (window < 0 || window >= kWindowCount) window = kDefaultWindow;
  frameCount = std::clamp(frameCount, kMinFrames, kMaxFrames);
  for (int i = 0; i < kAnalyserCurves; ++i) {
    AnalyserCurveStyle& a = analyser[static_cast<std::size_t>(i)];
    if (!std::isfinite(a.decayMs) || a.decayMs <= 0.0) a.decayMs = DefaultDecayMs(i);
    // The menu's own rule: anything under 0.15 octave means off.
    if (!(a.smoothing >= 0.15))
      a.smoothing = -1.0;
    else if (a.smoothing > 3.0)
      a.smoothing = 3.0;
    ClampColour(&a.colour);
  }
  if (!std::isfinite(octaveGainDb)) octaveGainDb = 0.0;
  octaveGainDb = std::clamp(octaveGainDb, kMinOctaveGainDb, kMaxOctaveGainDb);
  ClampColour(&background);
  ClampColour(&guiColour);
  for (CurveStyle& c : curves) {
    ClampColour(&c.start);
    ClampColour(&c.end);
    ClampColour(&c.line);
  }
}

bool DisplaySettings::WriteRecord(ByteSink& sink, double version) const {
  if (!IsRecordVersion(version)) return false;
  RecordWriter w(sink);
  w.Double(version);
  w.Int(static_cast<std::int32_t>(curves.size()));
  w.Flag(analyserFeedOn);
  w.Flag(inputWaveOn);
  w.Flag(outputWaveOn);
  w.Flag(fftMode);
  w.Flag(outputRmsOn);
  w.Int(fftSize);
  w.Int(window);
  if (HasFrameCount(version)) w.Int(frameCount);
  if (HasAnalyserCurves(version)) {
    for (const AnalyserCurveStyle& a : analyser) {
      w.Double(a.decayMs);
      w.Double(a.smoothing);
      w.Flag(a.on);
      w.Flag(a.fillHidden);
      w.Flag(a.glow);
      w.Colour(a.colour);
    }
    w.Double(octaveGainDb);
  } else {
    // Before the analyser curves were stored whole, only these three were.
    w.Colour(analyser[0].colour);
    w.Colour(analyser[1].colour);
    w.Flag(analyser[1].glow);
  }
  w.Colour(background);
  if (HasGuiColour(version)) w.Colour(guiColour);
  for (const CurveStyle& c : curves) {
    w.Colour(c.start);
    w.Colour(c.end);
    w.Colour(c.line);
    w.Flag(c.lineOn);
    w.Flag(c.fillOn);
    w.Flag(c.glow);
  }
  return true;
}

int DisplaySettings::ReadRecord(const ByteSource& source, int position, DisplayRecordInfo* info) {
  DisplayRecordInfo found;
  RecordReader r(source, position);
  double version = 0.0;
  if (!r.Double(&version)) {
    Validate();
    if (info) *info = found;
    return -1;
  }

  if (!IsRecordVersion(version)) {
    // Records from before the version field start straight with the flags;
    // a double made of those bytes is never a plausible version.
    found.olderLayout = true;
    r.Rewind(position);
    std::uint8_t flags[4];
    if (r.Bytes(flags, 4)) {
      analyserFeedOn = flags[0] != 0;
      inputWaveOn = flags[1] != 0;
      outputWaveOn = flags[2] != 0;
      fftMode = flags[3] != 0;
    }
    r.Int(&fftSize);
    r.Int(&window);
    frameCount = kMinFrames;
    r.Colour(&analyser[0].colour);
    IColour colour;
    if (r.Colour(&colour) && curves.size() > kCurveInput) {
      curves[kCurveInput].start = colour;
      curves[kCurveInput].end = HalfIntensity(colour);
      curves[kCurveInput].line = Opaque(colour);
    }
    if (r.Colour(&colour) && curves.size() > kCurveOutput) {
      curves[kCurveOutput].start = colour;
      curves[kCurveOutput].end = HalfIntensity(colour);
      curves[kCurveOutput].line = Opaque(colour);
    }
    Validate();
    if (info) *info = found;
    return r.Position();
  }

  found.version = version;
  found.hasFrameCount = HasFrameCount(version);
  found.hasAnalyserCurves = HasAnalyserCurves(version);
  found.hasGuiColour = HasGuiColour(version);
  std::int32_t count = 0;
  r.Int(&count);
  found.storedCurves = count;
  r.Flag(&analyserFeedOn);
  r.Flag(&inputWaveOn);
  r.Flag(&outputWaveOn);
  r.Flag(&fftMode);
  r.Flag(&outputRmsOn);
  r.Int(&fftSize);
  r.Int(&window);
  if (found.hasFrameCount)
    r.Int(&frameCount);
  else
    frameCount = kMinFrames;

  if (found.hasAnalyserCurves) {
    for (AnalyserCurveStyle& a : analyser) {
      std::uint8_t b[kAnalyserCurveBytes];
      if (!r.Bytes(b, kAnalyserCurveBytes)) break;
      a.decayMs = std::bit_cast<double>(RecordReader::LittleEndian(b, 8));
      a.smoothing = std::bit_cast<double>(RecordReader::LittleEndian(b + 8, 8));
      a.on = b[16] != 0;
      a.fillHidden = b[17] != 0;
      a.glow = b[18] != 0;
      a.colour = RecordReader::DecodeColour(b + 19);
    }
    r.Double(&octaveGainDb);
  } else {
    r.Colour(&analyser[0].colour);
    r.Colour(&analyser[1].colour);
    r.Flag(&analyser[1].glow);
  }
  r.Colour(&background);
  if (found.hasGuiColour) r.Colour(&guiColour);

  // A hostile count only costs reads until the data runs out.
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint8_t b[kCurveBytes];
    if (!r.Bytes(b, kCurveBytes)) break;
    if (static_cast<std::size_t>(i) >= curves.size()) continue;
    CurveStyle& c = curves[static_cast<std::size_t>(i)];
    c.start = RecordReader::DecodeColour(b);
    c.end = RecordReader::DecodeColour(b + 4);
    c.line = RecordReader::DecodeColour(b + 8);
    c.lineOn = b[12] != 0;
    c.fillOn = b[13] != 0;
    c.glow = b[14] != 0;
  }

  Validate();
  if (info) *info = found;
  return r.Position();
}

}  // namespace tessaro
