// Draws the editor's pictures: knob and LED strips, the button strips with
// their labels, the background with the panel areas the layout places its
// controls on, and the about panel. One dark look throughout, orange for
// what is active, blue for what is listening.
//
//   tessaro_artwork FONT.ttf OUT_DIR
//
// Writes every picture into OUT_DIR as the resource names it (about.png,
// knobbig.png, ...). Sizes and frame counts are those the editor loads.
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

struct Rgb {
  double r, g, b;
};
constexpr Rgb rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }
Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// The palette: the editor's own colours.
constexpr Rgb kBlack = rgb(6, 6, 6);
constexpr Rgb kPanel = rgb(22, 22, 25);
constexpr Rgb kPanelLight = rgb(33, 33, 37);
constexpr Rgb kWell = rgb(11, 11, 13);
constexpr Rgb kEdge = rgb(48, 48, 54);
constexpr Rgb kText = rgb(210, 210, 210);
constexpr Rgb kTextDim = rgb(96, 100, 112);
constexpr Rgb kOrange = rgb(255, 130, 0);
constexpr Rgb kOrangeDeep = rgb(191, 104, 0);
constexpr Rgb kAmber = rgb(255, 165, 0);
constexpr Rgb kBlue = rgb(25, 112, 179);
constexpr Rgb kBlueBright = rgb(49, 130, 225);
constexpr Rgb kRed = rgb(193, 76, 71);

cairo_font_face_t* gFace = nullptr;

void Source(cairo_t* cr, Rgb c, double a = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, a); }

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

void VerticalGradient(cairo_t* cr, double y0, double y1, Rgb top, Rgb bottom, double alpha = 1.0) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, alpha);
  cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, alpha);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

enum Align { kLeft, kCentre, kRight };

// Text centred vertically on cy, with letter tracking; `weight` > 0 thickens
// the strokes a little, for labels that must read at small sizes.
double Text(cairo_t* cr, const std::string& text, double size, double x, double cy, Rgb colour, Align align,
            double tracking = 0.0, double weight = 0.0, double alpha = 1.0) {
  cairo_save(cr);
  cairo_set_font_face(cr, gFace);
  cairo_set_font_size(cr, size);
  cairo_font_extents_t fe;
  cairo_font_extents(cr, &fe);
  double width = 0.0;
  std::vector<double> advances;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string ch = text.substr(i, 1);
    cairo_text_extents_t te;
    cairo_text_extents(cr, ch.c_str(), &te);
    advances.push_back(te.x_advance + tracking);
    width += te.x_advance + (i + 1 < text.size() ? tracking : 0.0);
  }
  double pen = align == kLeft ? x : (align == kCentre ? x - width / 2 : x - width);
  const double baseline = cy + (fe.ascent - fe.descent) / 2 - 0.5;
  Source(cr, colour, alpha);
  for (std::size_t i = 0; i < text.size(); ++i) {
    cairo_move_to(cr, pen, baseline);
    const std::string ch = text.substr(i, 1);
    cairo_text_path(cr, ch.c_str());
    pen += advances[i];
  }
  cairo_fill_preserve(cr);
  if (weight > 0.0) {
    cairo_set_line_width(cr, weight);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
  }
  cairo_new_path(cr);
  cairo_restore(cr);
  return width;
}

// --- pictures ---

struct Picture {
  cairo_surface_t* surface;
  cairo_t* cr;
  Picture(int w, int h) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cr = cairo_create(surface);
  }
  ~Picture() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  bool Write(const std::string& path) {
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  }
};

// Every strip is frames stacked vertically; draw(cr, frame, w, h) paints one
// frame at the origin.
using FrameFn = std::function<void(cairo_t*, int, double, double)>;

bool Strip(const std::string& path, int w, int frameH, int frames, const FrameFn& draw) {
  Picture pic(w, frameH * frames);
  for (int k = 0; k < frames; ++k) {
    cairo_save(pic.cr);
    cairo_rectangle(pic.cr, 0, k * frameH, w, frameH);
    cairo_clip(pic.cr);
    cairo_translate(pic.cr, 0, k * frameH);
    draw(pic.cr, k, w, frameH);
    cairo_restore(pic.cr);
  }
  return pic.Write(path);
}

// A button cap: raised dark plastic; lit with the accent when on.
void ButtonCap(cairo_t* cr, double w, double h, bool on, Rgb accent) {
  const double r = 4.0;
  RoundRect(cr, 0.5, 0.5, w - 1, h - 1, r);
  Source(cr, kBlack);
  cairo_fill(cr);
  RoundRect(cr, 1.5, 1.5, w - 3, h - 3, r - 1);
  if (on) {
    VerticalGradient(cr, 1, h - 1, Mix(kPanelLight, accent, 0.22), Mix(kPanel, accent, 0.10));
  } else {
    VerticalGradient(cr, 1, h - 1, rgb(44, 44, 49), rgb(25, 25, 28));
  }
  cairo_fill_preserve(cr);
  Source(cr, on ? accent : kEdge, on ? 0.85 : 1.0);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  // The top edge catches the light.
  cairo_move_to(cr, r + 1, 2.5);
  cairo_line_to(cr, w - r - 1, 2.5);
  Source(cr, rgb(255, 255, 255), on ? 0.10 : 0.07);
  cairo_stroke(cr);
  if (on) {
    // A soft underglow below the label.
    cairo_pattern_t* g = cairo_pattern_create_radial(w / 2, h * 0.9, 1, w / 2, h * 0.9, w * 0.45);
    cairo_pattern_add_color_stop_rgba(g, 0, accent.r, accent.g, accent.b, 0.28);
    cairo_pattern_add_color_stop_rgba(g, 1, accent.r, accent.g, accent.b, 0.0);
    RoundRect(cr, 1.5, 1.5, w - 3, h - 3, r - 1);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
  }
}

// A small status lamp at the left of a button.
void Lamp(cairo_t* cr, double x, double cy, bool on, Rgb accent) {
  cairo_arc(cr, x, cy, 2.6, 0, 2 * kPi);
  Source(cr, on ? accent : rgb(58, 58, 64));
  cairo_fill(cr);
  if (on) {
    cairo_arc(cr, x, cy, 5.0, 0, 2 * kPi);
    Source(cr, accent, 0.25);
    cairo_fill(cr);
  }
}

bool TwoStateButton(const std::string& path, int w, const std::string& label, Rgb accent, bool lamp = true) {
  return Strip(path, w, 26, 2, [&](cairo_t* cr, int k, double fw, double fh) {
    const bool on = k == 1;
    ButtonCap(cr, fw, fh, on, accent);
    const double size = 11.5;
    if (lamp && fw >= 60) {
      Lamp(cr, 10, fh / 2, on, accent);
      Text(cr, label, size, fw / 2 + 5, fh / 2,
           on ? Mix(accent, rgb(255, 255, 255), 0.25) : rgb(150, 152, 160), kCentre, 0.9, 0.25);
    } else {
      Text(cr, label, size, fw / 2, fh / 2, on ? Mix(accent, rgb(255, 255, 255), 0.25) : rgb(150, 152, 160),
           kCentre, 0.9, 0.25);
    }
  });
}

// A switch list: one frame per state, each lit with its state's name, and a
// row of dots showing where in the list it is when there is room.
bool ListSwitch(const std::string& path, int w, const std::vector<std::string>& labels, Rgb accent,
                bool firstIsOff) {
  const int n = static_cast<int>(labels.size());
  return Strip(path, w, 26, n, [&](cairo_t* cr, int k, double fw, double fh) {
    const bool on = !(firstIsOff && k == 0);
    ButtonCap(cr, fw, fh, on, accent);
    const bool dots = fw >= 100;
    const double textCentre = dots ? (fw - 8 * n) / 2 + 2 : fw / 2;
    Text(cr, labels[static_cast<std::size_t>(k)], 11.0, textCentre, fh / 2,
         on ? Mix(accent, rgb(255, 255, 255), 0.25) : rgb(150, 152, 160), kCentre, 0.7, 0.25);
    if (dots) {
      for (int i = 0; i < n; ++i) {
        cairo_arc(cr, fw - 8.0 * (n - i) - 1, fh / 2, 1.8, 0, 2 * kPi);
        Source(cr, i == k && on ? accent : rgb(70, 70, 78));
        cairo_fill(cr);
      }
    }
  });
}

// A knob of the given size at a position 0..1 of its 270-degree sweep.
void Knob(cairo_t* cr, double s, double t, bool big) {
  const double c = s / 2;
  const double start = kPi * 0.75, sweep = kPi * 1.5;  // from lower left, clockwise
  const double angle = start + sweep * t;
  const double ring = s * 0.43, ringWidth = s * (big ? 0.05 : 0.06);
  // The track, then the lit part of it.
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, ringWidth);
  cairo_arc(cr, c, c, ring, start, start + sweep);
  Source(cr, rgb(30, 30, 34));
  cairo_stroke(cr);
  if (t > 0.0) {
    cairo_set_line_width(cr, ringWidth * 2.4);
    cairo_arc(cr, c, c, ring, start, angle);
    Source(cr, kOrange, 0.13);
    cairo_stroke(cr);
    cairo_set_line_width(cr, ringWidth);
    cairo_arc(cr, c, c, ring, start, angle);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, s, s, 0);
    cairo_pattern_add_color_stop_rgb(p, 0, kOrangeDeep.r, kOrangeDeep.g, kOrangeDeep.b);
    cairo_pattern_add_color_stop_rgb(p, 1, kAmber.r, kAmber.g, kAmber.b);
    cairo_set_source(cr, p);
    cairo_stroke(cr);
    cairo_pattern_destroy(p);
  }
  // Scale dots at the ends and the centre of the sweep.
  for (double u : {0.0, 0.5, 1.0}) {
    const double a = start + sweep * u;
    cairo_arc(cr, c + std::cos(a) * (ring + ringWidth * 1.6), c + std::sin(a) * (ring + ringWidth * 1.6),
              s * 0.012 + 0.5, 0, 2 * kPi);
    Source(cr, kTextDim);
    cairo_fill(cr);
  }
  // Body: a shadow, a machined rim, a darker face.
  const double body = s * 0.34;
  cairo_arc(cr, c, c + s * 0.02, body + s * 0.02, 0, 2 * kPi);
  Source(cr, rgb(0, 0, 0), 0.6);
  cairo_fill(cr);
  cairo_arc(cr, c, c, body, 0, 2 * kPi);
  cairo_pattern_t* rim = cairo_pattern_create_linear(0, c - body, 0, c + body);
  cairo_pattern_add_color_stop_rgb(rim, 0, 0.36, 0.36, 0.39);
  cairo_pattern_add_color_stop_rgb(rim, 0.5, 0.16, 0.16, 0.18);
  cairo_pattern_add_color_stop_rgb(rim, 1, 0.08, 0.08, 0.09);
  cairo_set_source(cr, rim);
  cairo_fill(cr);
  cairo_pattern_destroy(rim);
  const double face = body * 0.86;
  cairo_arc(cr, c, c, face, 0, 2 * kPi);
  cairo_pattern_t* f =
      cairo_pattern_create_radial(c - face * 0.3, c - face * 0.4, face * 0.1, c, c, face * 1.1);
  cairo_pattern_add_color_stop_rgb(f, 0, 0.24, 0.24, 0.27);
  cairo_pattern_add_color_stop_rgb(f, 1, 0.10, 0.10, 0.115);
  cairo_set_source(cr, f);
  cairo_fill(cr);
  cairo_pattern_destroy(f);
  // Pointer.
  const double inner = face * 0.42, outer = face * 0.92;
  cairo_set_line_width(cr, s * (big ? 0.035 : 0.045));
  cairo_move_to(cr, c + std::cos(angle) * inner, c + std::sin(angle) * inner);
  cairo_line_to(cr, c + std::cos(angle) * outer, c + std::sin(angle) * outer);
  Source(cr, rgb(245, 245, 245));
  cairo_stroke(cr);
  cairo_arc(cr, c + std::cos(angle) * outer, c + std::sin(angle) * outer, s * 0.018, 0, 2 * kPi);
  Source(cr, kOrange);
  cairo_fill(cr);
}

void Led(cairo_t* cr, double s, double t, Rgb colour) {
  const double c = s / 2;
  // Halo first, so the bezel sits on it.
  if (t > 0.0) {
    cairo_pattern_t* halo = cairo_pattern_create_radial(c, c, s * 0.2, c, c, s * 0.5);
    cairo_pattern_add_color_stop_rgba(halo, 0, colour.r, colour.g, colour.b, 0.55 * t);
    cairo_pattern_add_color_stop_rgba(halo, 1, colour.r, colour.g, colour.b, 0.0);
    cairo_arc(cr, c, c, s * 0.5, 0, 2 * kPi);
    cairo_set_source(cr, halo);
    cairo_fill(cr);
    cairo_pattern_destroy(halo);
  }
  cairo_arc(cr, c, c, s * 0.36, 0, 2 * kPi);
  VerticalGradient(cr, c - s * 0.36, c + s * 0.36, rgb(12, 12, 13), rgb(50, 50, 56));
  cairo_fill(cr);
  const Rgb off = Mix(rgb(24, 24, 27), colour, 0.12);
  const Rgb lit = Mix(off, colour, t);
  cairo_arc(cr, c, c, s * 0.27, 0, 2 * kPi);
  cairo_pattern_t* lens = cairo_pattern_create_radial(c - s * 0.07, c - s * 0.08, s * 0.02, c, c, s * 0.28);
  const Rgb hot = Mix(lit, rgb(255, 255, 255), 0.55 * t);
  cairo_pattern_add_color_stop_rgb(lens, 0, hot.r, hot.g, hot.b);
  cairo_pattern_add_color_stop_rgb(lens, 1, lit.r * 0.8, lit.g * 0.8, lit.b * 0.8);
  cairo_set_source(cr, lens);
  cairo_fill(cr);
  cairo_pattern_destroy(lens);
  cairo_arc(cr, c - s * 0.08, c - s * 0.09, s * 0.06, 0, 2 * kPi);
  Source(cr, rgb(255, 255, 255), 0.18 + 0.3 * t);
  cairo_fill(cr);
}

// A curved arrow for undo (mirrored for redo).
void HistoryArrow(cairo_t* cr, double s, bool redo, bool pressed) {
  ButtonCap(cr, s, s, pressed, kOrange);
  cairo_save(cr);
  if (redo) {
    cairo_translate(cr, s, 0);
    cairo_scale(cr, -1, 1);
  }
  const double c = s / 2;
  cairo_set_line_width(cr, 2.2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_arc(cr, c + 1, c + 2, s * 0.24, kPi * 1.05, kPi * 2.35);
  Source(cr, pressed ? kAmber : rgb(180, 182, 190));
  cairo_stroke(cr);
  const double ax = c + 1 + std::cos(kPi * 1.05) * s * 0.24, ay = c + 2 + std::sin(kPi * 1.05) * s * 0.24;
  cairo_move_to(cr, ax - 4.5, ay - 1);
  cairo_line_to(cr, ax + 1.5, ay - 5.5);
  cairo_line_to(cr, ax + 2.5, ay + 2.5);
  cairo_close_path(cr);
  cairo_fill(cr);
  cairo_restore(cr);
}

// The product's mark: four tiles, two of them lit.
void Mark(cairo_t* cr, double x, double y, double tile) {
  const double gap = tile * 0.18;
  const Rgb colours[4] = {kOrange, rgb(60, 60, 66), rgb(60, 60, 66), kBlueBright};
  for (int i = 0; i < 4; ++i) {
    const double tx = x + (i % 2) * (tile + gap), ty = y + (i / 2) * (tile + gap);
    RoundRect(cr, tx, ty, tile, tile, tile * 0.18);
    Source(cr, colours[i]);
    cairo_fill(cr);
  }
}

void Well(cairo_t* cr, double x, double y, double w, double h, double r, Rgb fill = kWell) {
  RoundRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, r);
  Source(cr, fill);
  cairo_fill_preserve(cr);
  Source(cr, rgb(0, 0, 0), 0.9);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  // Lower lip catches light: the well looks recessed.
  cairo_move_to(cr, x + r, y + h + 0.5);
  cairo_line_to(cr, x + w - r, y + h + 0.5);
  Source(cr, rgb(255, 255, 255), 0.06);
  cairo_stroke(cr);
}

void Panel(cairo_t* cr, double x, double y, double w, double h) {
  RoundRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 6);
  VerticalGradient(cr, y, y + h, rgb(27, 27, 31), rgb(17, 17, 20));
  cairo_fill_preserve(cr);
  Source(cr, kEdge, 0.8);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
}

void Label(cairo_t* cr, const std::string& text, double x, double cy, Align align = kCentre,
           Rgb c = kTextDim) {
  Text(cr, text, 10.5, x, cy, c, align, 1.6, 0.2);
}

void Separator(cairo_t* cr, double x0, double x1, double y) {
  cairo_move_to(cr, x0, y + 0.5);
  cairo_line_to(cr, x1, y + 0.5);
  Source(cr, rgb(0, 0, 0), 0.8);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  cairo_move_to(cr, x0, y + 1.5);
  cairo_line_to(cr, x1, y + 1.5);
  Source(cr, rgb(255, 255, 255), 0.05);
  cairo_stroke(cr);
}

bool Background(const std::string& path) {
  Picture pic(1280, 720);
  cairo_t* cr = pic.cr;
  VerticalGradient(cr, 0, 720, rgb(15, 15, 17), rgb(7, 7, 8));
  cairo_paint(cr);

  // Top bar.
  cairo_rectangle(cr, 0, 0, 1280, 38);
  VerticalGradient(cr, 0, 38, rgb(30, 30, 34), rgb(17, 17, 19));
  cairo_fill(cr);
  Separator(cr, 0, 1280, 37);
  Mark(cr, 14, 9, 10.5);
  Well(cr, 108, 3, 158, 32, 5, rgb(14, 14, 16));  // A/B pair
  Well(cr, 284, 1, 88, 36, 5, rgb(14, 14, 16));   // undo/redo
  Well(cr, 376, 5, 500, 26, 4);                   // preset line
  Label(cr, "PRESET", 382, 18, kLeft, rgb(60, 62, 70));

  // History display.
  Well(cr, 4, 44, 990, 644, 5, rgb(10, 11, 13));
  cairo_save(cr);
  cairo_rectangle(cr, 6, 46, 986, 640);
  cairo_clip(cr);
  cairo_pattern_t* sheen = cairo_pattern_create_radial(500, 300, 50, 500, 360, 700);
  cairo_pattern_add_color_stop_rgba(sheen, 0, kBlue.r, kBlue.g, kBlue.b, 0.07);
  cairo_pattern_add_color_stop_rgba(sheen, 1, kBlue.r, kBlue.g, kBlue.b, 0.0);
  cairo_set_source(cr, sheen);
  cairo_paint(cr);
  cairo_pattern_destroy(sheen);
  cairo_set_line_width(cr, 1.0);
  for (int i = 1; i < 12; ++i) {
    const double x = 5 + i * (988.0 / 12);
    cairo_move_to(cr, std::floor(x) + 0.5, 46);
    cairo_line_to(cr, std::floor(x) + 0.5, 686);
  }
  for (int i = 1; i < 8; ++i) {
    const double y = 45 + i * (642.0 / 8);
    cairo_move_to(cr, 6, std::floor(y) + 0.5);
    cairo_line_to(cr, 992, std::floor(y) + 0.5);
  }
  Source(cr, rgb(255, 255, 255), 0.035);
  cairo_stroke(cr);
  cairo_restore(cr);
  Well(cr, 58, 636, 890, 26, 4, rgb(16, 16, 18));  // history fader
  Well(cr, 4, 90, 26, 500, 4, rgb(16, 16, 18));    // dB scale fader

  // Bottom bar.
  cairo_rectangle(cr, 0, 688, 996, 32);
  VerticalGradient(cr, 688, 720, rgb(24, 24, 27), rgb(14, 14, 16));
  cairo_fill(cr);
  Mark(cr, 12, 696, 8);
  Text(cr, "TESSARO", 14, 36, 700, kText, kLeft, 2.2, 0.4);
  Text(cr, "MASTERING LIMITER", 6.5, 37, 713, kOrange, kLeft, 1.1, 0.05);
  Label(cr, "OVERSAMPLING", 698, 703, kRight);
  Well(cr, 136, 688, 246, 30, 4, rgb(12, 12, 14));
  Well(cr, 700, 688, 226, 30, 4, rgb(12, 12, 14));
  Well(cr, 932, 688, 62, 30, 4, rgb(12, 12, 14));

  // Controls column.
  Panel(cr, 997, 40, 149, 678);
  Label(cr, "ISP", 1096, 56, kRight);
  // The knobs show their values just below them; captions keep clear of those.
  Label(cr, "AMOUNT", 1072, 199, kCentre, rgb(150, 152, 160));
  Separator(cr, 1004, 1140, 204);
  Label(cr, "MARGIN", 1072, 216, kCentre, rgb(150, 152, 160));
  Separator(cr, 1004, 1140, 326);
  Label(cr, "INPUT TRIM", 1064, 342, kCentre, rgb(150, 152, 160));
  Label(cr, "LEARN", 1096, 364, kRight);
  Separator(cr, 1004, 1140, 500);
  Label(cr, "CHARACTER", 1071, 512, kCentre, rgb(150, 152, 160));
  // The XY pad's well with its crosshair grid.
  Well(cr, 1012, 522, 118, 118, 4, rgb(9, 10, 12));
  cairo_set_line_width(cr, 1.0);
  for (int i = 1; i < 4; ++i) {
    const double v = std::floor(1014 + i * 114 / 4.0) + 0.5, h = std::floor(524 + i * 114 / 4.0) + 0.5;
    cairo_move_to(cr, v, 526);
    cairo_line_to(cr, v, 636);
    cairo_move_to(cr, 1016, h);
    cairo_line_to(cr, 1126, h);
  }
  Source(cr, kBlue, 0.18);
  cairo_stroke(cr);
  Text(cr, "TRANSIENT", 7.5, 1071, 647, kTextDim, kCentre, 1.2);
  cairo_save(cr);
  cairo_translate(cr, 1005, 581);
  cairo_rotate(cr, -kPi / 2);
  Text(cr, "LIMIT", 7.5, 0, 0, kTextDim, kCentre, 1.2);
  cairo_restore(cr);
  Separator(cr, 1004, 1140, 664);
  Well(cr, 998, 681, 146, 33, 5, rgb(35, 32, 32));  // limiter type

  // Meters.
  Panel(cr, 1146, 40, 133, 678);
  Label(cr, "VIEW", 1174, 48, kCentre);
  Label(cr, "OUTPUT", 1239, 48, kCentre);
  Well(cr, 1148, 54, 52, 26, 3, rgb(35, 32, 32));
  Well(cr, 1200, 54, 78, 26, 3, rgb(35, 32, 32));
  Well(cr, 1148, 80, 52, 637, 3, rgb(4, 4, 5));
  Well(cr, 1200, 80, 78, 637, 3, rgb(4, 4, 5));
  // Faint segment lines, like an LED ladder under the meter's own drawing.
  for (double y = 84; y < 714; y += 5) {
    cairo_move_to(cr, 1150, y + 0.5);
    cairo_line_to(cr, 1198, y + 0.5);
    cairo_move_to(cr, 1202, y + 0.5);
    cairo_line_to(cr, 1276, y + 0.5);
  }
  Source(cr, rgb(255, 255, 255), 0.025);
  cairo_stroke(cr);
  return pic.Write(path);
}

bool About(const std::string& path) {
  Picture pic(600, 400);
  cairo_t* cr = pic.cr;
  RoundRect(cr, 0.5, 0.5, 599, 399, 10);
  VerticalGradient(cr, 0, 400, rgb(28, 28, 32), rgb(12, 12, 14));
  cairo_fill_preserve(cr);
  Source(cr, kOrangeDeep, 0.9);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  cairo_rectangle(cr, 1, 1, 598, 3);
  cairo_pattern_t* bar = cairo_pattern_create_linear(0, 0, 600, 0);
  cairo_pattern_add_color_stop_rgb(bar, 0, kOrange.r, kOrange.g, kOrange.b);
  cairo_pattern_add_color_stop_rgb(bar, 1, kBlueBright.r, kBlueBright.g, kBlueBright.b);
  cairo_set_source(cr, bar);
  cairo_fill(cr);
  cairo_pattern_destroy(bar);
  Mark(cr, 34, 40, 20);
  Text(cr, "TESSARO", 40, 92, 64, kText, kLeft, 4.0, 0.6);
  Text(cr, "STEREO MASTERING LIMITER", 11, 94, 94, kOrange, kLeft, 2.4, 0.2);
  Separator(cr, 34, 370, 116);
  // The text lines the panel writes go here.
  Well(cr, 34, 132, 336, 200, 6, rgb(14, 14, 16));
  Text(cr, "Kest-Audio", 12, 34, 366, kTextDim, kLeft, 1.0);
  struct Button {
    double y;
    const char* label;
    bool accent;
  };
  const Button buttons[] = {{92, "Save as Default", false},
                            {134, "Reset Default", false},
                            {178, "Edit Config File", false},
                            {222, "Check for Latest Version", true},
                            {346, "Close", false}};
  for (const Button& b : buttons) {
    cairo_save(cr);
    cairo_translate(cr, 405, b.y);
    ButtonCap(cr, 186, 27, b.accent, kBlueBright);
    Text(cr, b.label, 12, 93, 13.5, b.accent ? rgb(200, 225, 255) : rgb(190, 192, 200), kCentre, 0.4, 0.2);
    cairo_restore(cr);
  }
  return pic.Write(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tessaro_artwork FONT.ttf OUT_DIR\n");
    return 2;
  }
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[1], 0, &face) != 0) {
    std::fprintf(stderr, "tessaro_artwork: cannot open the font %s\n", argv[1]);
    return 1;
  }
  gFace = cairo_ft_font_face_create_for_ft_face(face, 0);
  const std::string out = std::string(argv[2]) + "/";

  bool ok = true;
  const auto knobs = [&](const char* name, int size, bool big) {
    ok &= Strip(out + name, size, size, 72,
                [&](cairo_t* cr, int k, double w, double) { Knob(cr, w, k / 71.0, big); });
  };
  const auto leds = [&](const char* name, Rgb colour) {
    ok &= Strip(out + name, 28, 28, 72,
                [&](cairo_t* cr, int k, double w, double) { Led(cr, w, k / 71.0, colour); });
  };
  ok &= About(out + "about.png");
  ok &= TwoStateButton(out + "autogain_button.png", 142, "AUTO GAIN", kOrange);
  ok &= Background(out + "kestbackground.png");
  ok &= Strip(out + "but_AB.png", 70, 26, 2, [](cairo_t* cr, int k, double w, double h) {
    ButtonCap(cr, w, h, true, k == 0 ? kOrange : kBlueBright);
    Text(cr, "A", 13, w * 0.3, h / 2, k == 0 ? kAmber : rgb(110, 112, 120), kCentre, 0, 0.4);
    Text(cr, "B", 13, w * 0.7, h / 2, k == 1 ? rgb(140, 190, 255) : rgb(110, 112, 120), kCentre, 0, 0.4);
    cairo_move_to(cr, w / 2 + 0.5, 6);
    cairo_line_to(cr, w / 2 + 0.5, h - 6);
    Source(cr, rgb(0, 0, 0), 0.6);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  });
  ok &= TwoStateButton(out + "but_ABCopy.png", 70, "COPY", kBlueBright, false);
  ok &= TwoStateButton(out + "bypass_button.png", 102, "BYPASS", kRed);
  ok &= ListSwitch(out + "inmeter_button.png", 112, {"REDUCE", "INPUT", "DISTORT"}, kOrange, false);
  ok &= TwoStateButton(out + "learn_button.png", 100, "LEARN", kBlueBright);
  ok &= ListSwitch(out + "margin_button.png", 58, {"-0.1dB", "-0.5dB", "-1.0dB"}, kOrange, false);
  ok &= TwoStateButton(out + "ISP_button.png", 54, "ISP", kOrange, false);
  leds("LED_Level_indicator.png", kBlueBright);
  knobs("knobbig.png", 100, true);
  knobs("knobsmall.png", 72, false);
  ok &= ListSwitch(out + "orate_button.png", 54, {"2X", "4X", "8X", "16X"}, kOrange, false);
  ok &= ListSwitch(out + "oversample_button.png", 162,
                   {"OVERSAMPLE", "MINIMAL LQ", "MINIMAL HQ", "LINEAR LQ", "LINEAR HQ"}, kOrange, true);
  ok &=
      ListSwitch(out + "vutype_button.png", 66, {"dBFS", "K-20", "K-14", "K-12", "EBU"}, kBlueBright, false);
  ok &= Strip(out + "undo.png", 32, 32, 2,
              [](cairo_t* cr, int k, double w, double) { HistoryArrow(cr, w, false, k == 1); });
  ok &= Strip(out + "redo.png", 32, 32, 2,
              [](cairo_t* cr, int k, double w, double) { HistoryArrow(cr, w, true, k == 1); });
  ok &= TwoStateButton(out + "FFT_button.png", 54, "FFT", kBlueBright, false);
  ok &= TwoStateButton(out + "inwave_button.png", 46, "IN", kBlueBright, false);
  ok &= TwoStateButton(out + "outwave_button.png", 60, "OUT", kOrange, false);
  leds("ISP_indicator.png", kOrange);
  ok &= ListSwitch(out + "oversample_buttonOFF.png", 162,
                   {"OFF", "MINIMAL LQ", "MINIMAL HQ", "LINEAR LQ", "LINEAR HQ"}, kOrange, true);

  cairo_font_face_destroy(gFace);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  if (!ok) {
    std::fprintf(stderr, "tessaro_artwork: could not write every picture into %s\n", argv[2]);
    return 1;
  }
  return 0;
}
