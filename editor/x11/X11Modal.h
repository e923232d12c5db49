// The editor's modal services on X11: pop-up menus, message boxes, the file,
// folder and colour choosers. Each draws itself with cairo in a window of its
// own on the editor's Display connection and runs a nested event loop until
// it closes; events for other windows (the editor's own exposures, say) go
// to the context's forward hook meanwhile, and its tick hook runs about
// every 15 ms. Editor thread only; none of this may be called with the
// plug-in lock held.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <functional>
#include <string>
#include <vector>

#include "editor/EditorTypes.h"

namespace tessaro::x11 {

struct ModalContext {
  Display* display = nullptr;
  Window editor = 0;  // the editor's window; menus and dialogs are placed over it
  Window owner = 0;   // its top-level ancestor (transient-for of dialogs), or 0
  cairo_font_face_t* font = nullptr;  // the embedded font; null: cairo's "sans-serif"
  double scale = 1.0;                 // screen scale (1 at 96 dpi)
  // An event for a window that is not the modal one. Input events are
  // passed too; the editor ignores them while a modal window is up.
  std::function<void(XEvent&)> forward;
  // Runs about every 15 ms while the loop waits.
  std::function<void()> tick;
};

// Win32's message box types and answers, which callers use.
enum AlertType : int { kAlertTypeOk = 0, kAlertTypeOkCancel = 1, kAlertTypeYesNo = 4 };
enum AlertAnswer : int { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

// Shows the menu with its top-left corner at the screen point. Returns the
// menu (the top one or a submenu) that holds the chosen item, its chosen
// index set; null when nothing was chosen (Escape, a click outside, a
// greyed, disabled or separator item never chooses).
IMenu* RunPopupMenu(ModalContext& context, IMenu& menu, int screenX, int screenY);

// A message box with the buttons of the type; Enter answers the first
// button, Escape (and closing the window) Cancel, No, or OK for a lone OK.
int RunMessageBox(ModalContext& context, const char* text, const char* caption, int type);

// A one-line prompt (the typed path when no chooser is installed); true
// with text replaced when confirmed.
bool RunTextPrompt(ModalContext& context, const char* caption, const char* label, std::string& text);

// File, folder and colour choosers: zenity when it is installed, otherwise
// the typed path and a small built-in palette.
// action 1 saves (asks before overwriting), anything else opens an existing
// file. extensions: space separated ("png jpg"). On success path is the file
// and directory its folder with a trailing slash; on cancel path is empty.
// An empty directory starts in the desktop folder given.
void AskForFile(ModalContext& context, std::string& path, int action, std::string& directory,
                const char* extensions, const std::string& desktop);
// The chosen folder, or empty text when cancelled.
void AskForFolder(ModalContext& context, std::string& path, const char* title);
// Red, green and blue replaced (alpha kept) and true on OK.
bool AskForColour(ModalContext& context, IColour& colour, const char* title);

// Runs a program (argv[0] looked up in PATH) with its standard output read
// into out, keeping the context's hooks running while it works. Returns its
// exit status, or -1 when it could not be started.
int RunAndCapture(ModalContext& context, const std::vector<std::string>& argv, std::string& out);
// True when the program is found in PATH.
bool ProgramInPath(const char* name);

}  // namespace tessaro::x11
