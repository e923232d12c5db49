// The text controls drawn with cairo in the embedded font: Kest_ITextControl
// for static labels, ITextScroll for a line that scrolls through a text too
// long for it, and Kest_ITextMSGControl, the message line that shows each
// posted status text for a few seconds and then fades it out. Editor thread
// only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/IControl.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"

namespace tessaro {

// Milliseconds from a monotonic clock, wrapping at 2^32 like the tick count
// of the window system; differences of two readings stay right across the
// wrap. Tests hand the controls a clock of their own.
class ITickClock {
 public:
  virtual ~ITickClock() = default;
  virtual std::uint32_t NowMs() const = 0;
};

// The steady clock of the process.
const ITickClock& MonotonicTickClock();

// A label: pass-through, drawn at 0.8 of its style size.
class Kest_ITextControl : public ITextControl, public ycairo_gui, public ycairo_text, public ZeroObject {
 public:
  Kest_ITextControl(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, const ITextStyle& style,
                    const char* text, ZeroRegistry* registry = nullptr);
  void Paint(IGraphics& graphics) override;
  // ycairo_text's alignment for the style's (left, centre, right).
  int TextAlign() const { return textAlign_; }

 private:
  int textAlign_;
};

// A single line that shows as many characters as fit and, when the text is
// longer, steps through it one character at a time, pausing at either end.
class ITextScroll : public ITextControl, public ycairo_gui, public ycairo_text, public ZeroObject {
 public:
  static constexpr int kMaxVisible = 259;
  static constexpr int kMinVisible = 2;
  static constexpr std::uint32_t kStepMs = 500;
  static constexpr std::uint32_t kRestartMs = 1000;
  static constexpr std::uint32_t kEndMs = 1800;

  ITextScroll(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, const ITextStyle& style,
              const char* text, ZeroRegistry* registry = nullptr);

  // Replaces the text (trailing zero characters dropped) and starts again
  // from its beginning. Measures with the graphics core's bitmap font, so a
  // line that is in no editor yet measures at its first paint.
  void SetScrollText(const std::string& text);
  void Paint(IGraphics& graphics) override;
  void SetScale(double factor) override;
  void SetRect(const IRect& rect) override;
  // Null returns to the monotonic clock.
  void SetClock(const ITickClock* clock);

  const std::string& FullText() const { return full_; }
  // In characters (UTF-8 sequences), not bytes.
  int TextLength() const { return static_cast<int>(starts_.size()); }
  int VisibleLength() const { return visible_; }
  int Position() const { return position_; }
  std::uint32_t Delay() const { return delay_; }
  // What the line shows now.
  std::string VisibleText() const;

 private:
  void Measure(IGraphics& graphics);
  void Step();

  std::string full_;
  std::vector<std::size_t> starts_;  // byte offset of each character
  int visible_ = kMaxVisible;
  int position_ = 0;
  std::uint32_t delay_ = kRestartMs;
  std::uint32_t lastStep_ = 0;
  bool measured_ = false;
  const ITickClock* clock_;
};

// The message line. Every status text posted through the registry replaces
// what it shows; it holds the text for 3.5 s worth of frames at the
// editor's frame rate, fades it over one more second, then clears it.
class Kest_ITextMSGControl : public ITextControl, public ycairo_gui, public ycairo_text, public ZeroObject {
 public:
  static constexpr double kHoldSeconds = 3.5;
  static constexpr double kFadeSeconds = 1.0;

  Kest_ITextMSGControl(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, const ITextStyle& style,
                       const char* text, const IColour& background, ZeroRegistry* registry = nullptr);

  // Editor thread: from ZeroObject::PostStatusText of any member.
  void ReceiveStatusText(const char* text) override;
  void Paint(IGraphics& graphics) override;
  void SetScale(double factor) override;
  void SetRect(const IRect& rect) override;
  void SetClock(const ITickClock* clock) { line_.SetClock(clock); }

  int FrameCounter() const { return frames_; }
  const IColour& Background() const { return background_; }
  ITextScroll& Line() { return line_; }
  // The alpha the text had at the last paint.
  int ShownAlpha() const { return shownAlpha_; }

 private:
  void Clear();

  IColour background_;
  ITextScroll line_;
  double hold_ = kHoldSeconds;
  double fade_ = kFadeSeconds;
  int frames_ = 0;
  int shownAlpha_ = 0;
};

}  // namespace tessaro
