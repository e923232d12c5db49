// The base of every element of the editor, and the standard controls built
// directly on it. A control holds its rectangles, its binding to a plug-in
// parameter, its normalised value, its text style and its paint and hit
// flags; the graphics core paints it and hands it the mouse through the
// virtual operations below, whose order is fixed. Everything here runs on the
// editor thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editor/EditorTypes.h"

namespace tessaro {

class IGraphics;
class IParameter;
class IPlugBase;

class IControl {
 public:
  struct AuxParam {
    double value = 0.0;
    std::int32_t paramIdx = -1;
  };

  IControl(IPlugBase* plug, const IRect& rect, int paramIdx = -1, IBlend blend = {});
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // --- virtual operations, in their fixed order ---
  virtual ~IControl();
  // Right button: the value prompt.
  virtual void MouseDown(int x, int y, const IMouseState& mouse);
  virtual void MouseUp(int x, int y, const IMouseState& mouse);
  virtual void MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse);
  // Back to the default value, when one is set.
  virtual void DoubleClick(int x, int y, const IMouseState& mouse);
  virtual void Wheel(int x, int y, const IMouseState& mouse, int steps);
  virtual bool KeyDown(int x, int y, int key);
  // The Notice family sees every event anywhere in the editor.
  virtual void NoticeMouseDown(int x, int y, const IMouseState& mouse);
  virtual void NoticeMouseUp(int x, int y, const IMouseState& mouse);
  virtual void NoticeMouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse);
  virtual void NoticeDoubleClick(int x, int y, const IMouseState& mouse);
  virtual void NoticeWheel(int x, int y, const IMouseState& mouse, int steps);
  virtual bool NoticeKeyDown(int x, int y, int key);
  virtual void MouseOver(int x, int y, const IMouseState& mouse);
  virtual void MouseLeave();
  virtual void EventHook1();
  virtual void EventHook2();
  virtual void EventHook3();
  virtual void EventHook4();
  virtual void EventHook5();
  virtual void EventHook6();
  virtual void EventHook7();
  // Paints into the graphics core's draw buffer; the paint pass calls
  // MarkClean first.
  virtual void Paint(IGraphics& graphics) = 0;
  virtual void PaintHook();
  // The resize controller's scale factor.
  virtual void SetScale(double factor);
  virtual void ScaleHook();
  // A value from the plug-in; never pushed back. The first one also becomes
  // the default.
  virtual void SetValueFromHost(double value);
  // A value the user typed or chose; pushed to the plug-in.
  virtual void SetValueFromEntry(double value);
  virtual bool HasValuePoints() const;
  virtual bool SelectValuePointAt(double value);
  virtual void TextEntryResult(const char* text);
  virtual void SetRect(const IRect& rect);
  virtual void SetTargetRect(const IRect& rect);
  virtual void MoveTo(int x, int y);
  virtual void SetHidden(bool hidden);
  // Greyed-out controls take no presses and draw at a quarter weight.
  virtual void SetGreyed(bool greyed);
  virtual bool IsGreyedOut() const;
  virtual bool HitTest(int x, int y) const;
  // Clamps the value into the clamp range, marks the control dirty and, with
  // push, sends the value to the plug-in (which takes the plug-in lock).
  virtual void MarkDirty(bool push = true);
  virtual void MarkClean();
  virtual bool NeedsRedraw() const;
  virtual void StateHook();
  virtual void WindowOpened();
  virtual void WindowClosing();
  virtual void SetAuxValueFromHost(int entry, double value);

  // --- fields, read and set by the graphics core and the layout ---
  int TextEntryLimit() const { return textEntryLimit_; }
  void SetTextEntryLimit(int limit) { textEntryLimit_ = limit; }
  ITextStyle& TextStyle() { return textStyle_; }
  void SetTextStyle(const ITextStyle& style) { textStyle_ = style; }
  IPlugBase* Plug() const { return plug_; }
  const IRect& Rect() const { return rect_; }
  const IRect& TargetRect() const { return targetRect_; }
  const IRectD& DRect() const { return drect_; }
  void SetDRect(const IRectD& r) { drect_ = r; }
  int ParamIdx() const { return paramIdx_; }
  // The bound parameter's record, or null.
  IParameter* Param() const;
  int Index() const { return index_; }
  int& IndexField() { return index_; }
  std::vector<AuxParam>& AuxParams() { return aux_; }
  void AddAuxParam(int paramIdx) { aux_.push_back({0.0, paramIdx}); }
  double Value() const { return value_; }
  void SetValue(double value) { value_ = value; }
  double DefaultValue() const { return default_; }
  void SetDefaultValue(double value) { default_ = value; }
  double ClampLow() const { return clampLo_; }
  double ClampHigh() const { return clampHi_; }
  void SetClamp(double low, double high) {
    clampLo_ = low;
    clampHi_ = high;
  }
  bool IsHidden() const { return hidden_; }
  void RequestRedraw() { redraw_ = true; }
  bool RedrawRequested() const { return redraw_; }
  bool PromptDisabled() const { return promptDisabled_; }
  void DisablePrompt(bool disabled) { promptDisabled_ = disabled; }
  bool DoubleClickAsPress() const { return dblAsPress_; }
  void SetDoubleClickAsPress(bool on) { dblAsPress_ = on; }
  bool HoverWhenGreyed() const { return hoverGreyed_; }
  void SetHoverWhenGreyed(bool on) { hoverGreyed_ = on; }
  const IBlend& Blend() const { return blend_; }
  void SetBlend(const IBlend& blend) { blend_ = blend; }
  bool IsPassThrough() const { return passThrough_; }
  void SetPassThrough(bool on) { passThrough_ = on; }
  int Layer() const { return layer_; }
  void SetLayer(int layer) { layer_ = layer; }
  bool EntryFilterDenies() const { return filterDenies_; }
  const std::string& EntryFilter() const { return filter_; }
  void SetEntryFilter(std::string characters, bool denies) {
    filter_ = std::move(characters);
    filterDenies_ = denies;
  }
  // The graphics core this control was added to (null before).
  IGraphics* Graphics() const { return graphics_; }
  void SetGraphics(IGraphics* graphics) { graphics_ = graphics; }

 protected:
  // The value prompt of a right-button press.
  void PromptUserInput();

  int textEntryLimit_ = 9;
  ITextStyle textStyle_;
  IPlugBase* plug_;
  IRect rect_;
  IRect targetRect_;
  IRectD drect_;
  int paramIdx_;
  int index_ = 0;
  std::vector<AuxParam> aux_;
  double value_ = 0.0;
  double default_ = -1.0;
  double clampLo_ = 0.0, clampHi_ = 1.0;
  bool dirty_ = true;
  bool hidden_ = false;
  bool greyed_ = false;
  bool redraw_ = false;
  bool promptDisabled_ = true;
  bool dblAsPress_ = false;
  bool hoverGreyed_ = false;
  IBlend blend_;
  bool passThrough_ = false;
  int layer_ = 0;
  bool filterDenies_ = false;
  std::string filter_;
  IGraphics* graphics_ = nullptr;
};

// The normalised position of an actual value of a parameter, as the
// parameter maps its own current value.
double NormaliseValue(const IParameter& param, double value);

// A flat colour; the background panel is one.
class IPanelControl : public IControl {
 public:
  IPanelControl(IPlugBase* plug, const IRect& rect, const IColour& colour);
  void Paint(IGraphics& graphics) override;
  const IColour& Colour() const { return colour_; }

 private:
  IColour colour_;
};

// One frame of a picture strip, chosen by the value.
class IBitmapControl : public IControl {
 public:
  IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip, IBlend blend = {});
  void Paint(IGraphics& graphics) override;
  // The frame (1-based) the current value shows.
  int Frame() const;
  IBitmapStrip* Strip() const { return strip_; }
  void SetStrip(IBitmapStrip* strip) { strip_ = strip; }

 protected:
  IBitmapStrip* strip_;  // owned by the graphics core's registry
};

// Steps through its frames on each press and wraps after the last.
class ISwitchControl : public IBitmapControl {
 public:
  using IBitmapControl::IBitmapControl;
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void DoubleClick(int x, int y, const IMouseState& mouse) override;
};

// A switch whose press asks for the value with the parameter's menu.
class ISwitchPopUpControl : public ISwitchControl {
 public:
  ISwitchPopUpControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip, IBlend blend = {});
  void MouseDown(int x, int y, const IMouseState& mouse) override;
};

// Momentary: the press advances it like a switch, the release returns to 0.
class IContactControl : public ISwitchControl {
 public:
  using ISwitchControl::ISwitchControl;
  void MouseUp(int x, int y, const IMouseState& mouse) override;
};

// An area that toggles its parameter and paints nothing; a drag that starts
// on it falls through to the control beneath.
class IInvisibleSwitchControl : public IControl {
 public:
  IInvisibleSwitchControl(IPlugBase* plug, const IRect& rect, int paramIdx);
  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void DoubleClick(int x, int y, const IMouseState& mouse) override;
  void MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse) override;
  void MouseUp(int x, int y, const IMouseState& mouse) override;
};

// Drawn only while on; while off it is hit only in its off-state area.
class IBitmapOverlayControl : public ISwitchControl {
 public:
  IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, IBitmapStrip* strip,
                        const IRect& offTarget, IBlend blend = {});
  void Paint(IGraphics& graphics) override;
  void SetScale(double factor) override;
  const IRect& OffTarget() const { return offTarget_; }

 private:
  IRect offTarget_;
  IRect unscaledOffTarget_;
};

// Dragging, wheel and double-click behaviour of a knob; subclasses paint it.
class IKnobControl : public IControl {
 public:
  enum Direction : int { kVertical = 0, kHorizontal = 1 };
  IKnobControl(IPlugBase* plug, const IRect& rect, int paramIdx, int direction = kVertical,
               double gearing = 4.0);
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  void MouseDrag(int x, int y, int dX, int dY, const IMouseState& mouse) override;
  void DoubleClick(int x, int y, const IMouseState& mouse) override;
  void Wheel(int x, int y, const IMouseState& mouse, int steps) override;
  double Gearing() const { return gearing_; }

 protected:
  // The bound parameter's current value, normalised; the control's own value
  // without a parameter.
  double ParamNormalised() const;

  int direction_;
  double gearing_;
};

// Single-line bitmap text.
class ITextControl : public IControl {
 public:
  ITextControl(IPlugBase* plug, const IRect& rect, const ITextStyle& style, const char* text);
  void Paint(IGraphics& graphics) override;
  void SetScale(double factor) override;
  void SetText(const char* text);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  ITextStyle unscaledStyle_;
};

// Opens a web address when pressed.
class IURLControl : public IControl {
 public:
  static constexpr const char* kFallbackUrl = "https://www.kest-audio.com/";
  IURLControl(IPlugBase* plug, const IRect& rect, const char* url);
  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;
  const std::string& Url() const { return url_; }

 private:
  std::string url_;
  std::string fallback_;
};

// The corner area that tells the resize controller its handle is selected.
class handleSelector : public IControl {
 public:
  handleSelector(IPlugBase* plug, const IRect& rect, IGraphics* graphics);
  void Paint(IGraphics& graphics) override;
  void MouseDown(int x, int y, const IMouseState& mouse) override;

 private:
  void SelectHandle();
  IGraphics* owner_;
};

}  // namespace tessaro
