// The editor's window on X11: a child of the window the host hands to
// effEditOpen, on a Display connection of its own (the host's connection is
// the host's; nothing here assumes XInitThreads). Every platform operation
// of the graphics core is realised here; nothing else in the editor includes
// an X11 header.
//
// Threads: the window belongs to the thread that opened it (the host's user-
// interface thread). Its events and its redraw timer run from the host's
// idle calls; no thread is started. Operations that need the window answer
// as if cancelled when called from any other thread, so the audio thread
// can never reach Xlib. The pump holds the plug-in lock around each event
// and each paint pass, and lets go of it while a menu or dialog waits for
// the user.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "editor/IGraphics.h"
#include "editor/x11/X11Input.h"
#include "editor/ycairo.h"

namespace tessaro {

namespace x11 {
struct ModalContext;
}

class IGraphicsX11 : public IGraphics {
 public:
  IGraphicsX11(IPlugBase* plug, int width, int height, int frameRate);
  ~IGraphicsX11() override;

  // --- platform operations ---
  bool BlitToWindow(const IRect& rect) override;
  void CancelTextEntry() override;
  void SetEditorSize(int width, int height) override;
  bool HasWindow() override { return window_ != 0; }
  const char* DrawingApiName() const override { return "Xlib"; }
  int ShowAlert(const char* text, const char* caption, int type) override;
  IMenu* ShowPopupMenu(IMenu& menu, const IRect& rect) override;
  void ShowTextEntry(IControl* control, const ITextStyle& style, const IRect& rect, const char* text,
                     IParameter* param) override;
  void HostDirectory(std::string& path) override;
  void PluginDirectory(std::string& path) override;
  void DesktopDirectory(std::string& path) override;
  void DocumentsDirectory(std::string& path) override;
  void AppDataDirectory(std::string& path, bool allUsers) override;
  void AskForFile(std::string& path, int action, std::string& directory, const char* extensions) override;
  void AskForFolder(std::string& path, const char* title) override;
  bool AskForColour(IColour& colour, const char* title) override;
  bool OpenWebPage(const char* url, const char* caption, const char* confirmText,
                   const char* errorText) override;
  // parent: the host's X11 Window id. Null when there is none, it is gone,
  // or no display can be opened.
  void* CreateEditorWindow(void* parent) override;
  void DestroyEditorWindow() override;
  void* WindowHandle() override;
  void WindowRect(IRect& rect) override;
  void TopWindowRect(IRect& rect) override;
  void WorkArea(IRect& rect) override;
  bool ClipboardText(std::string& text) override;
  double ScreenScale() override;
  void SetCursorShape(int kind) override;
  void HideCursor() override;
  void ShowCursor() override;
  void ReservedHook3() override {}
  std::unique_ptr<LICE_MemBitmap> LoadResourceBitmap(int resourceId, const char* name) override;
  bool SetClipboardText(const char* text) override;

  // --- IEditorLink: the host's idle call; editor thread, without the lock ---
  void Idle() override;

  // Entry states: idle, the field has the focus, painted while open,
  // cancel, commit. Applied at the next timer tick.
  enum EntryState : int { kEntryIdle = 0, kEntryFocused = 1, kEntryPainted = 2, kEntryCancel = 3, kEntryCommit = 4 };
  int EntryStateNow() const { return entryState_; }
  bool TextEntryOpen() const { return field_ != 0; }
  // True once the display connection broke; the editor then shows nothing
  // until the host closes and reopens it.
  bool ConnectionLost() const { return ioDead_; }

  // Called by the process-wide error handlers for this editor's display.
  void NoteXError(int code) { lastError_ = code; }
  void NoteConnectionLost() { ioDead_ = true; }

 private:
  class PlugLock;
  class LockSuspension;

  bool OnEditorThread() const;
  void HandleEvent(XEvent& event);
  void HandleFieldEvent(XEvent& event);
  void HandleModalForward(XEvent& event);
  void ServeSelection(const XSelectionRequestEvent& request);
  void Tick();
  void FlushBlits();
  void PaintNow(const IRect& rect);
  void ForwardKeyToHost(XKeyEvent key);
  void CloseField(bool commit);
  void DrawField();
  void FieldKey(XKeyEvent& key);
  void ResetPointerState();
  // Runs fn with the X error handler noting errors; true when none came.
  template <typename Fn>
  bool Trapped(Fn&& fn);
  x11::ModalContext MakeModalContext();
  // A connection for the queries that work without a window; null on failure.
  Display* QueryDisplay(bool& temporary);

  Display* display_ = nullptr;
  Window window_ = 0;
  Window parent_ = 0;
  Visual* visual_ = nullptr;
  Colormap colormap_ = 0;
  bool windowGone_ = false;  // destroyed with the host's window
  bool ioDead_ = false;
  int lastError_ = 0;
  std::thread::id thread_;
  int lockDepth_ = 0;  // how often this editor's pump holds the plug-in lock
  bool inIdle_ = false;
  int modalDepth_ = 0;

  // Redraw timer, run from the idle calls.
  int intervalMs_ = 33;
  std::chrono::steady_clock::time_point nextTick_;

  IRect exposed_;
  bool exposePending_ = false;
  IRect pendingBlit_;
  bool blitPending_ = false;
  bool repaintAll_ = false;

  // Pointer: a press in the window holds the implicit grab (the capture).
  bool captured_ = false;
  bool swallowRelease_ = false;  // the press went to closing a text field
  bool trackingLeave_ = false;
  bool leavePending_ = false;
  int pointerX_ = -1, pointerY_ = -1;
  x11::DoubleClickDetector doubleClick_;

  std::map<int, Cursor> cursors_;
  Cursor blankCursor_ = 0;
  int cursorKind_ = 0;
  bool cursorHidden_ = false;
  int hiddenRootX_ = 0, hiddenRootY_ = 0;

  // The in-place text field.
  Window field_ = 0;
  IRect fieldRect_;
  IControl* entryControl_ = nullptr;
  IParameter* entryParam_ = nullptr;
  ITextStyle entryStyle_;
  int entryState_ = kEntryIdle;
  std::string entryText_;
  std::size_t caret_ = 0;
  bool allSelected_ = false;
  Window previousFocus_ = 0;

  std::string clipboard_;
  bool ownsClipboard_ = false;

  // Atoms of this connection.
  Atom atomClipboard_ = 0, atomUtf8_ = 0, atomTargets_ = 0, atomText_ = 0, atomIncr_ = 0, atomTransfer_ = 0,
       atomWorkArea_ = 0;
};

// The platform factory: the graphics core for this platform and the cairo
// canvas bound to it, with the embedded font loaded.
struct EditorParts {
  std::unique_ptr<IGraphics> graphics;
  std::unique_ptr<ycairo_canvas> canvas;
};
EditorParts MakeEditor(IPlugBase* plug, int width, int height, int frameRate);

// How many editor windows are open in this process.
int OpenEditorWindowCount();

}  // namespace tessaro
