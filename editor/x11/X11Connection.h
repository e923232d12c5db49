// A connection whose X server went away. Xlib notices a dead server only
// when it next reads or writes, and then runs process-wide handlers that
// expect the program to exit; the editor notices first and closes the
// connection without another request.
#pragma once

#include <X11/Xlib.h>

namespace tessaro::x11 {

// True when the server has closed its end of the connection.
bool ConnectionHungUp(Display* display);

// Frees the connection of a server that is gone: Xlib is told the
// connection failed, so closing it sends nothing and calls no handler.
void CloseDeadConnection(Display* display);

}  // namespace tessaro::x11
