#include "editor/Kest_TextControls.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "editor/IGraphics.h"

namespace tessaro {

namespace {

class SteadyTickClock : public ITickClock {
 public:
  std::uint32_t NowMs() const override {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
  }
};

// ycairo_text numbers its alignments left, right, centre.
int CairoAlign(int styleAlign) {
  switch (styleAlign) {
    case ITextStyle::kLeft:
      return ycairo_text::kLeft;
    case ITextStyle::kRight:
      return ycairo_text::kRight;
    default:
      return ycairo_text::kCentre;
  }
}

// The text as a C string would carry it: nothing from the first zero on.
std::string UpToZero(const std::string& text) {
  const std::size_t zero = text.find('\0');
  return zero == std::string::npos ? text : text.substr(0, zero);
}

bool AllZeros(const IColour& c) { return c.A == 0 && c.R == 0 && c.G == 0 && c.B == 0; }

}  // namespace

const ITickClock& MonotonicTickClock() {
  static const SteadyTickClock clock;
  return clock;
}

// --- Kest_ITextControl ---

Kest_ITextControl::Kest_ITextControl(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect,
                                     const ITextStyle& style, const char* text, ZeroRegistry* registry)
    : ITextControl(plug, rect, style, text),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      ZeroObject(registry),
      textAlign_(CairoAlign(style.align)) {
  passThrough_ = true;
}

void Kest_ITextControl::Paint(IGraphics&) {
  if (Text().empty()) return;
  IColour colour = textStyle_.colour;
  if (IsGreyedOut()) colour.A = static_cast<int>(colour.A * static_cast<double>(blend_.weight));
  BeginPaint(rect_);
  ShowText(ycairo_gui::Context(), Text().c_str(), 0.8 * textStyle_.size, colour, rect_, textAlign_);
  EndPaint();
}

// --- ITextScroll ---

ITextScroll::ITextScroll(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, const ITextStyle& style,
                         const char* text, ZeroRegistry* registry)
    : ITextControl(plug, rect, style, ""),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      ZeroObject(registry),
      clock_(&MonotonicTickClock()) {
  SetScrollText(text ? text : "");
}

void ITextScroll::SetClock(const ITickClock* clock) {
  clock_ = clock ? clock : &MonotonicTickClock();
  lastStep_ = clock_->NowMs();
}

void ITextScroll::SetScrollText(const std::string& text) {
  full_ = UpToZero(text);
  starts_.clear();
  for (std::size_t i = 0; i < full_.size(); ++i) {
    // A character is a whole UTF-8 sequence: never show half of one.
    if ((static_cast<unsigned char>(full_[i]) & 0xC0) != 0x80) starts_.push_back(i);
  }
  position_ = 0;
  delay_ = kRestartMs;
  lastStep_ = clock_->NowMs();
  measured_ = false;
  if (IGraphics* g = Graphics()) Measure(*g);
  ITextControl::SetText(full_.c_str());
  MarkDirty(false);
}

void ITextScroll::Measure(IGraphics& graphics) {
  const int length = TextLength();
  const double avail = 0.95 * rect_.W();
  // Every text is measured from the longest prefix down, so a line that
  // once showed a wide text still shows a narrow one whole.
  int n = std::min(std::max(length, kMinVisible), kMaxVisible);
  for (; n > kMinVisible; --n) {
    const std::string prefix = n < length ? full_.substr(0, starts_[static_cast<std::size_t>(n)]) : full_;
    IRect r;
    if (!graphics.MeasureText(textStyle_, prefix.c_str(), r)) break;  // no font: show what there is
    if (r.W() <= avail) break;
  }
  visible_ = n;
  measured_ = true;
}

void ITextScroll::Step() {
  const int end = TextLength() - visible_;
  if (end <= 0) {
    position_ = 0;
    return;
  }
  const std::uint32_t now = clock_->NowMs();
  if (now - lastStep_ <= delay_) return;
  lastStep_ = now;
  ++position_;
  delay_ = kStepMs;
  if (position_ > end) {
    position_ = 0;
    delay_ = kRestartMs;
  } else if (position_ == end) {
    delay_ = kEndMs;
  }
}

std::string ITextScroll::VisibleText() const {
  const int length = TextLength();
  if (length <= visible_) return full_;
  const int start = std::clamp(position_, 0, length - visible_);
  const std::size_t from = starts_[static_cast<std::size_t>(start)];
  const int stop = start + visible_;
  if (stop >= length) return full_.substr(from);
  return full_.substr(from, starts_[static_cast<std::size_t>(stop)] - from);
}

void ITextScroll::Paint(IGraphics& graphics) {
  if (!measured_) Measure(graphics);
  Step();
  const bool scrolls = TextLength() > visible_;
  const double size = textStyle_.size - 4.0;
  if (!full_.empty() && size > 0.0) {
    const std::string shown = VisibleText();
    BeginPaint(rect_);
    ShowText(ycairo_gui::Context(), shown.c_str(), size, textStyle_.colour, rect_, ycairo_text::kCentre);
    EndPaint();
  }
  // A line on the move paints again on the next frame to take its next step
  // (dirty itself: the pass has already cleaned it).
  if (scrolls) MarkDirty(false);
}

void ITextScroll::SetScale(double factor) {
  ITextControl::SetScale(factor);
  measured_ = false;
}

void ITextScroll::SetRect(const IRect& rect) {
  ITextControl::SetRect(rect);
  measured_ = false;
}

// --- Kest_ITextMSGControl ---

Kest_ITextMSGControl::Kest_ITextMSGControl(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect,
                                           const ITextStyle& style, const char* text,
                                           const IColour& background, ZeroRegistry* registry)
    : ITextControl(plug, rect, style, text),
      ycairo_gui(canvas, &rect_, &drect_),
      ycairo_text(canvas),
      ZeroObject(registry),
      background_(background),
      line_(plug, canvas, rect, style, text) {
  passThrough_ = true;
}

void Kest_ITextMSGControl::ReceiveStatusText(const char* text) {
  if (!text) return;
  if (Text() != text) SetText(text);  // marks the line dirty
  hold_ = kHoldSeconds;
  fade_ = kFadeSeconds;
  frames_ = 0;
  if (IGraphics* g = Graphics()) line_.SetGraphics(g);
  line_.SetScrollText(text);
}

void Kest_ITextMSGControl::Clear() {
  SetText("");
  frames_ = 0;
  line_.SetScrollText("");
  line_.SetTextStyle(textStyle_);
}

void Kest_ITextMSGControl::Paint(IGraphics& graphics) {
  if (Text().empty()) return;
  const double f = std::max(1, graphics.FrameRate());
  if (frames_ >= (hold_ + fade_) * f) {
    Clear();
    return;
  }
  const int n = ++frames_;
  int alpha = textStyle_.colour.A;
  int backgroundAlpha = background_.A;
  if (n > hold_ * f) {
    // Falls linearly towards zero one second past the fade's end, so the
    // text is at half strength when it goes.
    const double e = (hold_ + fade_ + 1.0) * f;
    const double share = (n - e) / (hold_ * f - e);
    const auto faded = [share](int a) {
      return std::clamp(static_cast<int>(std::trunc(a * share + 0.5)), 0, 255);
    };
    alpha = faded(alpha);
    backgroundAlpha = faded(backgroundAlpha);
  }
  shownAlpha_ = alpha;
  if (!AllZeros(background_)) {
    BeginPaint(rect_);
    if (cairo_t* cr = ycairo_gui::Context()) {
      cairo_set_source_rgba(cr, background_.R / 255.0, background_.G / 255.0, background_.B / 255.0,
                            backgroundAlpha / 255.0);
      cairo_rectangle(cr, rect_.L, rect_.T, rect_.W(), rect_.H());
      cairo_fill(cr);
    }
    EndPaint();
  }
  // Set on every paint, so a message that arrives mid-fade shows at full strength.
  line_.TextStyle().colour.A = alpha;
  line_.SetGraphics(&graphics);
  line_.Paint(graphics);
  // Painted on every frame while shown; the pass has already cleaned it.
  MarkDirty(false);
}

void Kest_ITextMSGControl::SetScale(double factor) {
  ITextControl::SetScale(factor);
  line_.SetScale(factor);
}

void Kest_ITextMSGControl::SetRect(const IRect& rect) {
  ITextControl::SetRect(rect);
  line_.SetRect(rect);
}

}  // namespace tessaro
