// The platform-neutral heart of the editor: the ordered control list (index 0
// is the background panel), the off-screen draw buffer every control paints
// into, the store of decoded resource pictures, parameter values in and
// gestures out, dirty tracking, the layered paint pass and the routing of
// mouse and key events. Anything that needs a window system is a virtual
// operation a platform class implements; IGraphicsHeadless is the one that
// needs no window at all. Everything runs on the editor thread unless noted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/IEditorLink.h"
#include "editor/EditorTypes.h"
#include "editor/IControl.h"
#include "editor/LiceBitmap.h"

namespace tessaro {

class IParameter;
class IPlugBase;
class ycairo_canvas;

// Records a whole-state snapshot when a gesture ends (the undo history).
class IUndoRecorder {
 public:
  virtual ~IUndoRecorder() = default;
  virtual void RecordCurrentState() = 0;
};

// What the graphics core needs from the editor's resize controller.
class IResizeLink {
 public:
  virtual ~IResizeLink() = default;
  virtual double ScaleFactor() const = 0;
  // Runs when the resize-pending flag is set at the start of a paint pass.
  virtual void ApplyPendingResize() = 0;
  // While it previews a size the controller paints the whole editor itself.
  virtual bool PaintsWholeEditor() const = 0;
  virtual void PaintWholeEditor(IGraphics& graphics, const IRect& rect) = 0;
  virtual void SetHandleSelected(bool selected) = 0;
  // The controller's control (its resize handles), added last on attach;
  // the graphics core takes ownership.
  virtual IControl* TakeHandleControl() = 0;
};

class IGraphics : public IEditorLink {
 public:
  // Key codes of DispatchKeyDown; 100 is added while Control is held.
  enum Key : int {
    kKeySpace = 0,
    kKeyUp,
    kKeyDown,
    kKeyLeft,
    kKeyRight,
    kKeyDigit0 = 5,
    kKeyLetterA = 15,
    kKeyBackspace = 41,
    kKeyDelete,
    kKeyShift,
    kKeyControl
  };
  enum AlertResult : int { kAlertOk = 1, kAlertCancel = 2, kAlertYes = 6, kAlertNo = 7 };
  enum FileAction : int { kFileOpen = 0, kFileSave = 1 };

  IGraphics(IPlugBase* plug, int width, int height, int frameRate);

  // --- operations other parts call ---
  // Appends the control and takes ownership; returns the control's own index
  // field, which stays valid (and current) through later renumbering.
  int& AddControl(IControl* control);
  void AddBackgroundPanel(const IColour& colour);
  // Stores the control at index; returns the control it replaced (now the
  // caller's to delete), or null when refused.
  IControl* ReplaceControl(int index, IControl* control);
  void PushParamToControls(int paramIdx, double value, bool normalised);
  void PushEntryToControls(int paramIdx, double normalised);
  void SetParamControlRange(int paramIdx, double low, double high);
  void HideParamControls(int paramIdx, bool hide);
  void AskUserForValue(IControl* control, IParameter* param, const IRect* rect);
  // Under the bitmap store's and the registry's locks; allocates. Null only
  // for a resource that is missing or not a PNG.
  IBitmapStrip* LoadBitmap(int resourceId, const char* name, int frames, bool horizontal = false);
  void RebuildScaledBitmaps(double scale);
  void CreateDrawBuffer();
  void SetFrameRate(int fps) { frameRate_ = fps; }
  void AttachUndoRecorder(IUndoRecorder* recorder) {
    undo_ = recorder;
    undoOn_ = recorder != nullptr;
  }
  bool CollectDirtyArea(IRect& area);
  bool PaintDirty(const IRect& rect);
  void DispatchMouseDown(int x, int y, const IMouseState& mouse);
  void DispatchMouseUp(int x, int y, const IMouseState& mouse);
  void DispatchMouseDrag(int x, int y, const IMouseState& mouse);
  // True when the window should capture the mouse (a double-click taken as a press).
  bool DispatchDoubleClick(int x, int y, const IMouseState& mouse);
  void DispatchWheel(int x, int y, const IMouseState& mouse, int steps);
  bool DispatchMouseOver(int x, int y, const IMouseState& mouse);
  bool DispatchKeyDown(int x, int y, int key);
  // Every control hears the pointer left the editor.
  void DispatchMouseLeave();
  // Single-line bitmap text; measureOnly adjusts rect instead of drawing.
  bool DrawText(ITextStyle& style, const char* text, IRect& rect, bool measureOnly = false);
  bool BlitBitmap(const IBitmapStrip* strip, const IRect& dest, int srcX, int srcY,
                  const IBlend* blend = nullptr);
  bool BlitBitmapFrame(const IBitmapStrip* strip, const IRect& dest, int frame,
                       const IBlend* blend = nullptr);
  bool FillRect(const IColour& colour, const IRect& rect, const IBlend* blend = nullptr);
  bool OutlineRect(const IColour& colour, const IRect& rect);

  // --- virtual operations, in their fixed order ---
  virtual bool BlitToWindow(const IRect& rect) = 0;
  virtual bool MeasureText(ITextStyle& style, const char* text, IRect& rect);
  virtual void CancelTextEntry() = 0;
  virtual void SetEditorSize(int width, int height);
  virtual bool HasWindow();
  virtual const char* DrawingApiName() const;
  virtual int ShowAlert(const char* text, const char* caption, int type) = 0;
  // The menu that holds the chosen item (its chosen index set), or null.
  virtual IMenu* ShowPopupMenu(IMenu& menu, const IRect& rect) = 0;
  virtual void ShowTextEntry(IControl* control, const ITextStyle& style, const IRect& rect, const char* text,
                             IParameter* param) = 0;
  virtual void HostDirectory(std::string& path) = 0;
  virtual void PluginDirectory(std::string& path) = 0;
  virtual void DesktopDirectory(std::string& path) = 0;
  virtual void DocumentsDirectory(std::string& path) = 0;
  virtual void AppDataDirectory(std::string& path, bool allUsers) = 0;
  virtual void UserAppDataDirectory(std::string& path);
  virtual void AskForFile(std::string& path, int action, std::string& directory, const char* extensions) = 0;
  virtual void AskForFolder(std::string& path, const char* title) = 0;
  virtual bool AskForColour(IColour& colour, const char* title) = 0;
  virtual bool OpenWebPage(const char* url, const char* caption, const char* confirmText,
                           const char* errorText) = 0;
  virtual int ReservedQuery();
  virtual void* CreateEditorWindow(void* parent) = 0;
  virtual void ReservedHook1();
  virtual void ReservedHook2();
  virtual void DestroyEditorWindow() = 0;
  virtual void* WindowHandle() = 0;
  virtual void WindowRect(IRect& rect) = 0;
  virtual void TopWindowRect(IRect& rect) = 0;
  virtual void WorkArea(IRect& rect) = 0;
  virtual bool ClipboardText(std::string& text) = 0;
  ~IGraphics() override;
  virtual double ScreenScale() = 0;
  virtual void SetCursorShape(int kind);
  virtual void HideCursor();
  virtual void ShowCursor();
  virtual void ReservedHook3() = 0;
  // Decodes the embedded picture; null when the name is not a .png, the
  // resource is missing or short, or decoding fails.
  virtual std::unique_ptr<LICE_MemBitmap> LoadResourceBitmap(int resourceId, const char* name) = 0;
  // Offers the text on the clipboard (preset texts); false without a window.
  virtual bool SetClipboardText(const char* text);

  // --- text entry rules every window layer applies ---
  // Whether a typed character may enter a field for the parameter (by its
  // type) or, without one, through the control's own character filter.
  // Editing keys (Backspace, Delete, arrows) are not characters and always pass.
  static bool EntryAccepts(const IControl* control, const IParameter* param, char32_t c);
  // A field's final UTF-8 text: for a parameter, the value its display texts
  // or its number name, normalised into the control's SetValueFromEntry;
  // without one, the control's TextEntryResult.
  void CommitEntryText(IControl* control, IParameter* param, const std::string& text);

  // --- IEditorLink ---
  void SetParameterFromPlug(int index, double value, bool normalised) override;
  void PrepareDraw() override;
  void BindDrawing() override;
  bool OpenWindow(void* parent) override;
  void CloseWindow() override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Resized(int width, int height) override;

  // --- state ---
  IPlugBase* Plug() const { return plug_; }
  int NumControls() const { return static_cast<int>(controls_.size()); }
  IControl* GetControl(int index) const;
  LICE_SysBitmap* DrawBuffer() const { return drawBuffer_.get(); }
  const IRect& ClipRect() const { return clip_; }
  int FrameRate() const { return frameRate_; }
  int CaptureIndex() const { return capture_; }
  int MouseOverIndex() const { return mouseOver_; }
  bool PressInProgress() const { return pressInProgress_; }
  bool SnapshotPending() const { return snapshotPending_; }
  void SetHandleMouseOver(bool on) { handleMouseOver_ = on; }
  void SetResizePending(bool pending) { resizePending_ = pending; }
  double DrawScale() const { return drawScale_; }
  void SetDrawScale(double scale) { drawScale_ = scale; }
  void SetResizeLink(IResizeLink* link) { resize_ = link; }
  IResizeLink* ResizeLink() const { return resize_; }
  // Runs on the editor thread at every tick of the window's redraw timer,
  // before the dirty area is collected: where the plug-in hands the values
  // its audio thread published to the displays.
  void SetTimerHook(std::function<void()> hook) { timerHook_ = std::move(hook); }
  void RunTimerHook() {
    if (timerHook_) timerHook_();
  }
  void SetCanvas(ycairo_canvas* canvas) { canvas_ = canvas; }
  ycairo_canvas* Canvas() const { return canvas_; }
  int NumLoadedBitmaps();
  // Forgets the press and hover state (after a modal menu, for instance).
  void ResetMouseState();
  // A modal window took the release of the press that opened it: the press
  // ends as a release would (undo step, the host's edit gesture closed),
  // then the press and hover state is forgotten.
  void EndInterruptedPress();

 protected:
  // Every control learns the window opened and repaints completely.
  void NotifyWindowOpened();
  void NotifyWindowClosing();

 private:
  struct StoredBitmap {
    int id;
    std::unique_ptr<LICE_MemBitmap> bitmap;
  };
  struct LoadedStrip {
    int id;
    std::string name;
    std::unique_ptr<IBitmapStrip> strip;
  };

  void Renumber();
  int HighestLayer() const;
  // The control on the highest layer that the point hits, or -1.
  int TopLayerHit(int x, int y, bool hoverWhenGreyed = false) const;
  // What a pass-through control at exclude forwards the point to, or -1.
  int ForwardTarget(int exclude, int x, int y) const;
  bool ValidParam(int paramIdx) const;
  bool HostSees(int paramIdx) const;
  void RecordUndo();

  bool resizePending_ = false;
  std::vector<std::unique_ptr<IControl>> controls_;
  IPlugBase* plug_;
  IRect clip_;
  std::unique_ptr<LICE_SysBitmap> drawBuffer_;
  std::unique_ptr<LICE_MemBitmap> scratch_;
  int width_, height_;
  int frameRate_;
  int capture_ = -1;
  int mouseOver_ = -1;
  int lastX_ = -1, lastY_ = -1;
  bool handleMouseOver_ = false;
  int resourceScaleDivisor_ = 1;
  double drawScale_ = 1.0;
  bool undoOn_ = false;
  bool pressInProgress_ = false;
  bool snapshotPending_ = false;
  IUndoRecorder* undo_ = nullptr;
  std::mutex storeMutex_;
  std::vector<StoredBitmap> store_;
  std::mutex registryMutex_;
  std::vector<LoadedStrip> registry_;
  int registryCount_ = 0;
  IResizeLink* resize_ = nullptr;
  ycairo_canvas* canvas_ = nullptr;
  std::function<void()> timerHook_;
};

// The process-wide cache of bitmap fonts: one font per (height, orientation,
// style, face) for every plug-in instance in the process; never shrinks.
// Takes the process-wide font lock.
LICE_CachedFont* CachedFontFor(const ITextStyle& style);

// Decodes picture `id` of the embedded resources as the platforms do.
std::unique_ptr<LICE_MemBitmap> LoadEmbeddedPng(int resourceId, const char* name);

}  // namespace tessaro
