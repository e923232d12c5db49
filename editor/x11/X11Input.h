// The small rules that turn X11 input into the graphics core's terms: key
// codes, the mouse state record, double-clicks by time and distance, and the
// redraw timer's interval. Pure functions, so they are tested without a server.
#pragma once

#include <X11/X.h>

#include <cstdint>

#include "editor/EditorTypes.h"

namespace tessaro::x11 {

// The graphics core's key code for a key symbol, or -1 for keys it does not
// know. Control adds 100 (the caller passes the event's modifier state).
int TranslateKey(KeySym symbol, unsigned int state);

// The buttons and modifiers as they are after the event: a press includes
// its button, a release no longer does. Buttons 1 (left) and 3 (right).
IMouseState MouseStateFor(unsigned int state, unsigned int button, bool isPress);

// Whole wheel notches of a button (4 up, 5 down, 6 left, 7 right), positive
// away from the user and to the right; 0 for other buttons.
int WheelSteps(unsigned int button);

// Windows' double-click: a second left press within 500 ms and 2 pixels of
// the first. A third press starts over.
class DoubleClickDetector {
 public:
  static constexpr unsigned long kMaxIntervalMs = 500;
  static constexpr int kMaxDistance = 2;
  // Returns true when this left press completes a double-click.
  bool Press(unsigned long timeMs, int x, int y);
  void Reset() { armed_ = false; }

 private:
  bool armed_ = false;
  unsigned long time_ = 0;
  int x_ = 0, y_ = 0;
};

// The redraw timer: floor(1000 / rate) ms, but 15 ms whenever that is below 20.
int TimerIntervalMs(int framesPerSecond);

}  // namespace tessaro::x11
