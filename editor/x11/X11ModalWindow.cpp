#include "editor/x11/X11ModalWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "editor/Utf8.h"
#include "editor/x11/X11Image.h"

namespace tessaro::x11 {

double SafeScale(double scale) { return std::isfinite(scale) && scale >= 0.25 && scale <= 8.0 ? scale : 1.0; }

int Px(double designPixels, double scale) {
  return std::max(1, static_cast<int>(std::lround(designPixels * SafeScale(scale))));
}

// ---- layout -------------------------------------------------------------

namespace {
constexpr double kMenuPad = 4, kMenuItemHeight = 22, kMenuSeparatorHeight = 9;

int MenuRowHeight(const IMenu& menu, int index, double scale) {
  const bool separator = (menu.items[static_cast<std::size_t>(index)].flags & IMenuItem::kSeparator) != 0;
  return Px(separator ? kMenuSeparatorHeight : kMenuItemHeight, scale);
}
}  // namespace

int PopupMenuHeight(const IMenu& menu, double scale) {
  int height = 2 * Px(kMenuPad, scale);
  for (int i = 0; i < menu.NumItems(); ++i) height += MenuRowHeight(menu, i, scale);
  return height;
}

IRect PopupMenuItemRect(const IMenu& menu, int index, double scale, int windowWidth) {
  if (index < 0 || index >= menu.NumItems()) return {};
  int top = Px(kMenuPad, scale);
  for (int i = 0; i < index; ++i) top += MenuRowHeight(menu, i, scale);
  return {0, top, windowWidth, top + MenuRowHeight(menu, index, scale)};
}

IRect DialogButtonRect(int windowWidth, int windowHeight, int count, int index, double scale) {
  if (count <= 0 || index < 0 || index >= count) return {};
  const int w = Px(84, scale), h = Px(26, scale), margin = Px(12, scale), gap = Px(8, scale);
  const int right = windowWidth - margin - (count - 1 - index) * (w + gap);
  const int bottom = windowHeight - margin;
  return {right - w, bottom - h, right, bottom};
}

IRect PaletteSwatchRect(int index, double scale) {
  const int size = Px(22, scale), gap = Px(4, scale), margin = Px(12, scale);
  if (index >= 0 && index < kPaletteSwatches) {
    const int column = index % kPaletteColumns, row = index / kPaletteColumns;
    const int x = margin + column * (size + gap), y = margin + row * (size + gap);
    return {x, y, x + size, y + size};
  }
  if (index == kPaletteSwatches) {
    // Below the grid, twice as wide: the colour as it is now.
    const int rows = kPaletteSwatches / kPaletteColumns;
    const int y = margin + rows * (size + gap) + gap;
    return {margin, y, margin + 2 * size + gap, y + Px(26, scale)};
  }
  return {};
}

IColour PaletteColour(int index) {
  const int rows = kPaletteSwatches / kPaletteColumns;
  if (index < 0 || index >= kPaletteSwatches) return {255, 0, 0, 0};
  const int column = index % kPaletteColumns, row = index / kPaletteColumns;
  if (row == rows - 1) {
    // The last row runs from black to white.
    const int v = column * 255 / (kPaletteColumns - 1);
    return {255, v, v, v};
  }
  // Hue rows: pale, full, dark.
  static constexpr double kSaturation[] = {0.45, 1.0, 1.0};
  static constexpr double kValue[] = {1.0, 1.0, 0.55};
  const double h = column * 6.0 / kPaletteColumns, s = kSaturation[row], v = kValue[row];
  const int sector = static_cast<int>(h) % 6;
  const double f = h - std::floor(h);
  const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  double r = v, g = t, b = p;
  switch (sector) {
    case 0: r = v, g = t, b = p; break;
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    default: r = v, g = p, b = q; break;
  }
  auto byte = [](double x) { return static_cast<int>(std::lround(std::clamp(x, 0.0, 1.0) * 255)); };
  return {255, byte(r), byte(g), byte(b)};
}

// ---- text ---------------------------------------------------------------

void SetModalFont(cairo_t* cr, const ModalContext& context, double sizePx) {
  if (context.font) {
    cairo_set_font_face(cr, context.font);
  } else {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  }
  cairo_set_font_size(cr, sizePx);
}

double TextAdvance(cairo_t* cr, const std::string& text) {
  if (text.empty()) return 0.0;
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

std::vector<std::string> WrapText(cairo_t* cr, const std::string& text, double width) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string paragraph = text.substr(start, end - start);
    std::string line;
    std::size_t i = 0;
    while (i < paragraph.size()) {
      // The next word with the spaces before it.
      std::size_t wordEnd = paragraph.find(' ', paragraph.find_first_not_of(' ', i));
      if (wordEnd == std::string::npos) wordEnd = paragraph.size();
      const std::string piece = paragraph.substr(i, wordEnd - i);
      if (TextAdvance(cr, line + piece) <= width || line.empty()) {
        line += piece;
        i = wordEnd;
        // A word that alone is too wide is cut where it stops fitting.
        while (TextAdvance(cr, line) > width && line.size() > 1) {
          std::size_t cut = line.size();
          while (cut > 0 && TextAdvance(cr, line.substr(0, cut)) > width) cut = utf8::PreviousStart(line, cut);
          if (cut == 0) cut = utf8::NextStart(line, 0);
          lines.push_back(line.substr(0, cut));
          line.erase(0, cut);
        }
      } else {
        lines.push_back(line);
        line.clear();
        i = paragraph.find_first_not_of(' ', i);
        if (i == std::string::npos) i = paragraph.size();
      }
    }
    lines.push_back(line);
    if (end >= text.size()) break;
    start = end + 1;
  }
  return lines;
}

TextMeasure::TextMeasure(const ModalContext& context, double sizePx) {
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cr_ = cairo_create(surface_);
  SetModalFont(cr_, context, sizePx);
}

TextMeasure::~TextMeasure() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

std::string TypedText(XKeyEvent& event, KeySym* keysym) {
  // No input method here: Latin-1 keysyms and the Unicode keysym range
  // cover what a keyboard types into a path or a name.
  char buffer[32];
  KeySym sym = NoSymbol;
  const int n = XLookupString(&event, buffer, sizeof buffer, &sym, nullptr);
  if (keysym) *keysym = sym;
  if (event.state & (ControlMask | Mod1Mask)) return {};
  std::string out;
  if (sym >= 0x20 && sym <= 0x7E) {
    out += static_cast<char>(sym);
  } else if (sym >= 0xA0 && sym <= 0xFF) {
    utf8::Append(out, static_cast<char32_t>(sym));
  } else if ((sym & 0xFF000000UL) == 0x01000000UL) {
    utf8::Append(out, static_cast<char32_t>(sym & 0x00FFFFFFUL));
  } else if (n == 1 && static_cast<unsigned char>(buffer[0]) >= 0x20 && buffer[0] != 0x7F &&
             sym >= XK_KP_Space && sym <= XK_KP_9) {
    out += buffer[0];  // keypad digits and operators
  }
  return out;
}

// ---- loop ---------------------------------------------------------------

namespace {
constexpr std::chrono::milliseconds kTickPeriod(15);
}

ModalLoop::ModalLoop(ModalContext& context)
    : context_(context), nextTick_(std::chrono::steady_clock::now() + kTickPeriod) {}

void ModalLoop::Drain(const Handler& handler) {
  Display* d = context_.display;
  if (!d || broken_) return;
  while (XPending(d) > 0) {
    XEvent event;
    XNextEvent(d, &event);
    if (handler && handler(event)) continue;
    if (Owns(event.xany.window)) continue;
    if (context_.forward) context_.forward(event);
  }
  XFlush(d);
}

bool ModalLoop::Wait(int extraFd, short* extraEvents) {
  if (extraEvents) *extraEvents = 0;
  if (broken_) return false;
  Display* d = context_.display;
  auto now = std::chrono::steady_clock::now();
  int timeout = static_cast<int>(
      std::clamp<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick_ - now).count(), 0,
                            kTickPeriod.count()));
  // Events a reply brought in are already queued; the socket will not say so.
  if (d && XEventsQueued(d, QueuedAlready) > 0) timeout = 0;
  pollfd fds[2];
  nfds_t n = 0;
  int xIndex = -1, extraIndex = -1;
  if (d) {
    xIndex = static_cast<int>(n);
    fds[n++] = pollfd{ConnectionNumber(d), POLLIN, 0};
  }
  if (extraFd >= 0) {
    extraIndex = static_cast<int>(n);
    fds[n++] = pollfd{extraFd, POLLIN, 0};
  }
  const int r = poll(fds, n, timeout);
  if (r > 0) {
    if (xIndex >= 0 && (fds[xIndex].revents & (POLLHUP | POLLERR | POLLNVAL))) {
      broken_ = true;
      return false;
    }
    if (extraIndex >= 0 && extraEvents) *extraEvents = fds[extraIndex].revents;
  }
  now = std::chrono::steady_clock::now();
  if (now >= nextTick_) {
    nextTick_ = now + kTickPeriod;
    if (context_.tick) context_.tick();
  }
  return true;
}

bool ModalLoop::Step(const Handler& handler) {
  Drain(handler);
  return Wait(-1, nullptr);
}

// ---- windows ------------------------------------------------------------

IRect ScreenRect(Display* display) {
  const int screen = DefaultScreen(display);
  return {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

IRect CentredOverEditor(const ModalContext& context, int width, int height) {
  Display* d = context.display;
  const IRect screen = ScreenRect(d);
  IRect over = screen;
  if (context.editor) {
    XWindowAttributes attributes;
    int x = 0, y = 0;
    Window child = 0;
    if (XGetWindowAttributes(d, context.editor, &attributes) &&
        XTranslateCoordinates(d, context.editor, DefaultRootWindow(d), 0, 0, &x, &y, &child)) {
      over = {x, y, x + attributes.width, y + attributes.height};
    }
  }
  int left = over.L + (over.W() - width) / 2, top = over.T + (over.H() - height) / 2;
  left = std::max(0, std::min(left, screen.R - width));
  top = std::max(0, std::min(top, screen.B - height));
  return {left, top, left + width, top + height};
}

ModalWindow::ModalWindow(ModalLoop& loop, const IRect& rootRect, const Options& options)
    : loop_(loop), rect_(rootRect) {
  Display* d = loop.display();
  const int screen = DefaultScreen(d);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = options.overrideRedirect ? True : False;
  attributes.save_under = options.overrideRedirect ? True : False;
  attributes.background_pixel = WhitePixel(d, screen);
  attributes.border_pixel = BlackPixel(d, screen);
  attributes.event_mask = options.eventMask | ExposureMask | StructureNotifyMask;
  window_ = XCreateWindow(d, RootWindow(d, screen), rect_.L, rect_.T, static_cast<unsigned>(std::max(1, rect_.W())),
                          static_cast<unsigned>(std::max(1, rect_.H())), 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWEventMask,
                          &attributes);
  loop.Own(window_);

  // Names for window managers and for whoever looks for our windows.
  std::string name = options.wmClass;
  XClassHint classHint{name.data(), name.data()};
  XSetClassHint(d, window_, &classHint);
  XStoreName(d, window_, options.title.c_str());
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  XChangeProperty(d, window_, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(options.title.data()), static_cast<int>(options.title.size()));

  if (!options.overrideRedirect) {
    XSizeHints* hints = XAllocSizeHints();
    if (hints) {
      hints->flags = PPosition | USPosition | PMinSize | PMaxSize;
      hints->x = rect_.L;
      hints->y = rect_.T;
      hints->min_width = hints->max_width = rect_.W();
      hints->min_height = hints->max_height = rect_.H();
      XSetWMNormalHints(d, window_, hints);
      XFree(hints);
    }
    Atom deleteWindow = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, window_, &deleteWindow, 1);
    if (options.transientFor) XSetTransientForHint(d, window_, options.transientFor);
    const Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    const Atom dialog = XInternAtom(d, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(d, window_, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&dialog), 1);
    if (options.transientFor) {
      const Atom state = XInternAtom(d, "_NET_WM_STATE", False);
      const Atom modal = XInternAtom(d, "_NET_WM_STATE_MODAL", False);
      XChangeProperty(d, window_, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&modal),
                      1);
    }
  } else {
    const Atom type = XInternAtom(d, "_NET_WM_WINDOW_TYPE", False);
    const Atom popup = XInternAtom(d, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
    XChangeProperty(d, window_, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&popup), 1);
  }
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(1, rect_.W()), std::max(1, rect_.H()));
}

ModalWindow::~ModalWindow() {
  // With the connection gone any request would end in Xlib's fatal handler.
  if (loop_.Broken()) return;
  if (surface_) {
    cairo_surface_finish(surface_);
    cairo_surface_destroy(surface_);
  }
  XDestroyWindow(loop_.display(), window_);
  XFlush(loop_.display());
}

void ModalWindow::Map() {
  XMapRaised(loop_.display(), window_);
  XFlush(loop_.display());
}

cairo_t* ModalWindow::BeginPaint() {
  cairo_t* cr = cairo_create(surface_);
  cairo_push_group(cr);
  return cr;
}

void ModalWindow::EndPaint(cairo_t* cr) {
  cairo_pop_group_to_source(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface_);
  Display* d = loop_.display();
  const int w = cairo_image_surface_get_width(surface_), h = cairo_image_surface_get_height(surface_);
  PutPixels(d, window_, DefaultVisual(d, DefaultScreen(d)), DefaultDepth(d, DefaultScreen(d)),
            reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface_)), w, h,
            cairo_image_surface_get_stride(surface_) / 4, {0, 0, w, h});
  XFlush(d);
}

FocusKeeper::FocusKeeper(ModalLoop& loop) : loop_(loop) {
  XGetInputFocus(loop.display(), &previous_, &revert_);
}

void FocusKeeper::Restore() {
  if (restored_ || loop_.Broken()) return;
  restored_ = true;
  // None would throw the keyboard away; it only comes from a focus that was
  // never set, so PointerRoot is what the user had in effect.
  XSetInputFocus(loop_.display(), previous_ == None ? PointerRoot : previous_, revert_, CurrentTime);
  XFlush(loop_.display());
}

}  // namespace tessaro::x11
