#include "editor/x11/X11Connection.h"

// Xlib's internal header, for the connection flags; it defines min and max
// as macros, so nothing else is included after it here.
#include <X11/Xlibint.h>
#include <poll.h>
#include <sys/socket.h>

namespace tessaro::x11 {

bool ConnectionHungUp(Display* display) {
  if (!display) return true;
  pollfd p{ConnectionNumber(display), POLLIN, 0};
  if (poll(&p, 1, 0) < 0) return false;
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
  if (!(p.revents & POLLIN)) return false;
  // Readable with nothing to read is the server's end of the stream.
  char byte = 0;
  return recv(p.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

void CloseDeadConnection(Display* display) {
  if (!display) return;
  // With this flag set, every request Xlib would still make on the way out
  // (freeing the default GCs, the final sync) is dropped unsent.
  display->flags = display->flags | XlibDisplayIOError;
  XCloseDisplay(display);
}

}  // namespace tessaro::x11
