// A dB scale: short tick lines at both edges (or long ones that almost meet
// in the middle) with a numeric label per tick. vuLines keeps the tick model
// (positions, labels, which ticks have room) and draws the lines;
// vuLines_cairo adds the labels through the cairo text helper. The tick
// model is rebuilt by SetRect and by every change of the scale's ends.
// Editor thread only.
#pragma once

#include <string>
#include <vector>

#include "editor/IControl.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"
#include "meters/controls/MeterLevels.h"

namespace tessaro {

class ZeroRegistry;

class vuLines : public IControl, public ZeroObject, public ycairo_gui {
 public:
  static constexpr double kDefaultTickFraction = 0.85;

  // ticks: dB values top to bottom, count of them.
  vuLines(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
          const IColour& tickColour, const ITextStyle& style, const double* ticks, int count, double maxDb,
          double minDb);
  ~vuLines() override;

  void Paint(IGraphics& graphics) override;
  void SetRect(const IRect& rect) override;
  void SetScale(double factor) override;

  // dB Scale: the bottom of the scale; Meter Type: its top. Both rebuild the
  // ticks.
  void SetMinDb(double db);
  void SetMaxDb(double db);
  // How far each tick reaches in from its edge, as a share of half the width.
  void SetTickLengthFraction(double fraction);

  int TickCount() const { return static_cast<int>(ticks_.size()); }
  const std::vector<double>& Ticks() const { return ticks_; }
  const std::vector<double>& TickY() const { return tickY_; }
  const std::vector<std::string>& Labels() const { return labels_; }
  const LevelMapping& Mapping() const { return mapping_; }
  double TickLengthFraction() const { return fraction_; }
  int TextSize() const { return textSize_; }
  const IColour& TickColour() const { return tickColour_; }
  // Indices of the ticks that are drawn: inside the rectangle with 3 pixels
  // to spare and each more than a label's height below the last one drawn.
  std::vector<int> DrawnTicks() const;

 protected:
  // The model: label texts, text size and clamped tick positions.
  void UpdateTicks();
  // The tick lines of the drawn ticks, one stroke.
  void StrokeTicks(cairo_t* cr, const std::vector<int>& drawn) const;

  std::vector<double> ticks_;
  std::vector<double> tickY_;
  std::vector<std::string> labels_;
  LevelMapping mapping_;
  double fraction_ = kDefaultTickFraction;
  IColour tickColour_;
  int unscaledTextSize_;
  int textSize_;
  double scale_ = 1.0;
};

class vuLines_cairo : public vuLines, public ycairo_text {
 public:
  vuLines_cairo(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
                const IColour& tickColour, const ITextStyle& style, const double* ticks, int count,
                double maxDb, double minDb);
  ~vuLines_cairo() override;

  void Paint(IGraphics& graphics) override;
  // Where the label of a tick at y is centred.
  IRect LabelRect(double y) const;
};

}  // namespace tessaro
