// What the plug-in core needs from its editor. The graphics core implements
// it; the core never sees the editor's own classes.
#pragma once

namespace tessaro {

class IEditorLink {
 public:
  virtual ~IEditorLink() = default;
  // Every control bound to the parameter (also through a control's list of
  // additional parameters) takes the value. Caller holds the plug-in lock.
  virtual void SetParameterFromPlug(int index, double value, bool normalised) = 0;
  // Called while the editor is attached: prepare the draw buffer, take the
  // resize controller's control, bind the cairo drawing support.
  virtual void PrepareDraw() = 0;
  virtual void BindDrawing() {}
  // Opens the platform window inside the host's parent window.
  virtual bool OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;
  // The host's idle call for the open window: the window's events and its
  // redraw timer run from here. Called without the plug-in lock; the editor
  // takes it around each piece of work and never waits in a modal loop with
  // it held, so audio never stalls behind the window.
  virtual void Idle() {}
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The resize controller learns the window opened.
  virtual void WindowOpened() {}
  // The editor's drawing surface is rebuilt at the new size.
  virtual void Resized(int width, int height) { (void)width; (void)height; }
};

}  // namespace tessaro
