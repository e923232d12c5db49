// A numeric dB readout with its own peak hold: a higher level is taken at
// once, a lower one is approached with a slow one-pole fall. In reduction
// mode it shows a published gain-reduction depth as a positive number of dB.
// A click clears every meter follower and the hold. Editor thread only; the
// audio thread's numbers reach it through MeterFeed::Poll.
#pragma once

#include "editor/IControl.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"
#include "meters/controls/MeterLevels.h"

namespace tessaro {

class ZeroRegistry;

class ITextVU : public IControl, public ZeroObject, public ycairo_gui, public ycairo_text {
 public:
  static constexpr IColour kWarningColour{255, 255, 0, 0};

  // The style's colour is the normal text colour. The hold falls by 3.78 dB
  // in holdSeconds when the value is handed over framesPerSecond times a
  // second.
  ITextVU(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
          const ITextStyle& style, double holdSeconds, int framesPerSecond, bool signedReadout);
  ~ITextVU() override;

  void Paint(IGraphics& graphics) override;
  // Takes the level into the hold; a non-finite level counts as silence.
  void SetValueFromHost(double value) override;
  // Restores the normal colour, clears every meter follower and the hold.
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  // Text rescale: the label size follows the editor scale.
  void SetScale(double factor) override;

  void SetIntegerMode(bool on);
  void SetReductionMode(bool on);

  double Held() const { return held_; }
  double HoldCoefficient() const { return holdCoef_; }
  bool IntegerMode() const { return integerMode_; }
  bool ReductionMode() const { return reductionMode_; }
  bool Signed() const { return signed_; }
  int TextSize() const { return textStyle_.size; }
  // What the next paint shows.
  ReadoutText Text() const { return FormatReadout(held_, reductionMode_, integerMode_, signed_); }

 private:
  // The hold, a linear level; also this readout's reset target (group 13),
  // so a Meter View change or a learn-complete reset clears it.
  double held_ = 0.0;
  double holdCoef_;
  IColour normalColour_;
  bool signed_;
  bool integerMode_ = false;
  bool reductionMode_ = false;
  int unscaledTextSize_;
};

}  // namespace tessaro
