#include "editor/x11/X11Input.h"

#include <X11/keysym.h>

#include <cstdlib>

#include "editor/IGraphics.h"

namespace tessaro::x11 {

int TranslateKey(KeySym symbol, unsigned int state) {
  int code = -1;
  if (symbol >= XK_0 && symbol <= XK_9) {
    code = IGraphics::kKeyDigit0 + static_cast<int>(symbol - XK_0);
  } else if (symbol >= XK_KP_0 && symbol <= XK_KP_9) {
    code = IGraphics::kKeyDigit0 + static_cast<int>(symbol - XK_KP_0);
  } else if (symbol >= XK_a && symbol <= XK_z) {
    code = IGraphics::kKeyLetterA + static_cast<int>(symbol - XK_a);
  } else if (symbol >= XK_A && symbol <= XK_Z) {
    code = IGraphics::kKeyLetterA + static_cast<int>(symbol - XK_A);
  } else {
    switch (symbol) {
      case XK_space: code = IGraphics::kKeySpace; break;
      case XK_Up: case XK_KP_Up: code = IGraphics::kKeyUp; break;
      case XK_Down: case XK_KP_Down: code = IGraphics::kKeyDown; break;
      case XK_Left: case XK_KP_Left: code = IGraphics::kKeyLeft; break;
      case XK_Right: case XK_KP_Right: code = IGraphics::kKeyRight; break;
      case XK_BackSpace: code = IGraphics::kKeyBackspace; break;
      case XK_Delete: case XK_KP_Delete: code = IGraphics::kKeyDelete; break;
      case XK_Shift_L: case XK_Shift_R: code = IGraphics::kKeyShift; break;
      case XK_Control_L: case XK_Control_R: code = IGraphics::kKeyControl; break;
      default: return -1;
    }
  }
  return (state & ControlMask) ? code + 100 : code;
}

IMouseState MouseStateFor(unsigned int state, unsigned int button, bool isPress) {
  IMouseState m;
  m.left = (state & Button1Mask) != 0;
  m.right = (state & Button3Mask) != 0;
  if (button == Button1) m.left = isPress;
  if (button == Button3) m.right = isPress;
  m.shift = (state & ShiftMask) != 0;
  m.control = (state & ControlMask) != 0;
  m.alt = (state & Mod1Mask) != 0;
  return m;
}

int WheelSteps(unsigned int button) {
  switch (button) {
    case 4: return 1;
    case 5: return -1;
    case 6: return -1;
    case 7: return 1;
    default: return 0;
  }
}

bool DoubleClickDetector::Press(unsigned long timeMs, int x, int y) {
  const bool near = std::abs(x - x_) <= kMaxDistance && std::abs(y - y_) <= kMaxDistance;
  // Server time is 32 bits wide and wraps after 49 days.
  const auto elapsed = static_cast<std::uint32_t>(timeMs - time_);
  if (armed_ && near && elapsed <= kMaxIntervalMs) {
    armed_ = false;
    return true;
  }
  armed_ = true;
  time_ = timeMs;
  x_ = x;
  y_ = y;
  return false;
}

int TimerIntervalMs(int framesPerSecond) {
  const int rate = framesPerSecond > 0 ? framesPerSecond : 60;
  const int ms = 1000 / rate;
  return ms < 20 ? 15 : ms;
}

}  // namespace tessaro::x11
