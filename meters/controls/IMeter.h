// The level bars of the editor: IMeter fills from the bottom up to a level
// (or, reversed, from the top down to it), IMeterBar draws a thick marker at
// a level and IMeterRange a band between two levels (RMS up to peak). Levels
// arrive as linear magnitudes 0..1 and are mapped in dB between minDb at the
// bottom edge and maxDb at the top. Everything here runs on the editor
// thread; the audio thread reaches these controls only through MeterFeed.
#pragma once

#include "editor/IControl.h"
#include "editor/ycairo.h"
#include "meters/ZeroObject.h"
#include "meters/controls/MeterLevels.h"

namespace tessaro {

class ZeroRegistry;

class IMeter : public IControl, public ZeroObject, public ycairo_gui {
 public:
  // The value (control value) is the level; reversed meters show 1 - level,
  // so a published gain-reduction depth reads as the gain that is left.
  IMeter(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
         const IColour& colour, bool reversed, double maxDb, double minDb);
  ~IMeter() override;

  void Paint(IGraphics& graphics) override;
  // A level from the plug-in; a non-finite one reads as silence (the base
  // clamp would turn NaN into a full bar).
  void SetValueFromHost(double value) override;

  // dB Scale: the bottom of the meter.
  void SetMinDb(double db);
  void SetMaxDb(double db);
  // Meter View: reduction views run reversed and in their own colour.
  void SetReversed(bool reversed);
  void SetColour(const IColour& colour);

  const LevelMapping& Mapping() const { return mapping_; }
  const IColour& Colour() const { return colour_; }
  bool Reversed() const { return reversed_; }
  // The level this meter maps, after reversal (what the bar's y comes from).
  double ShownLevel() const;
  // The filled span [top, bottom) for the current value, in pixels.
  void FilledSpan(int& top, int& bottom) const;

 protected:
  IColour colour_;
  bool reversed_;
  LevelMapping mapping_;
};

class IMeterBar : public IMeter {
 public:
  static constexpr int kLineWidth = 8;
  IMeterBar(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
            const IColour& colour, bool reversed, double maxDb, double minDb);

  void Paint(IGraphics& graphics) override;
  // The marker's centre line; not clamped, so a level far outside the scale
  // puts it outside the rectangle, where the clip hides it.
  int MarkerY() const;
  int LineWidth() const { return lineWidth_; }

 private:
  int lineWidth_ = kLineWidth;
};

class IMeterRange : public IControl, public ZeroObject, public ycairo_gui {
 public:
  // The band is inset from both sides by insetBase pixels at scale 1.
  IMeterRange(IPlugBase* plug, ycairo_canvas* canvas, const IRect& rect, ZeroRegistry* registry,
              const IColour& colour, int insetBase, double maxDb, double minDb);
  ~IMeterRange() override;

  void Paint(IGraphics& graphics) override;
  void SetRect(const IRect& rect) override;
  void SetScale(double factor) override;

  // The two levels of the band (top normally a peak, bottom an RMS), as the
  // display feed copied them for the editor; non-finite ones read as silence.
  void SetRange(double top, double bottom);
  void SetMinDb(double db);
  void SetMaxDb(double db);

  double Top() const { return top_; }
  double Bottom() const { return bottom_; }
  int Inset() const { return inset_; }
  const LevelMapping& Mapping() const { return mapping_; }
  // The filled rectangle for the current levels; empty (all zero) when the
  // band has no height.
  IRect Band() const;

 private:
  void UpdateInset();

  IColour colour_;
  // Editor-owned copies of the published levels: the audio thread never
  // writes here, the feed's Poll does.
  double top_ = 0.0;
  double bottom_ = 0.0;
  int insetBase_;
  int inset_;
  double scale_ = 1.0;
  LevelMapping mapping_;
};

}  // namespace tessaro
