// Draws the demo game's pictures and writes them as PNG files: an evening
// sky with hills and the same hills at night, a shaded ball, a star, a
// title panel, the two characters and the mahjong table; all but the
// backgrounds with soft edges in their alpha channel. Everything is computed here, so
// the demo's data is the project's own.
//
//   quorel-demo-images OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "graphics/png_codec.h"

namespace {

struct Picture {
  int width, height;
  std::vector<uint8_t> bgr;
  std::vector<uint8_t> opacity;  // empty: opaque

  Picture(int w, int h, bool with_alpha)
      : width(w), height(h), bgr(static_cast<size_t>(w) * h * 3), opacity(with_alpha ? static_cast<size_t>(w) * h : 0) {}

  void set(int x, int y, double r, double g, double b, double a = 1.0) {
    auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5); };
    uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
    p[0] = byte(b), p[1] = byte(g), p[2] = byte(r);
    if (!opacity.empty()) opacity[static_cast<size_t>(y) * width + x] = byte(a * 255);
  }
  void get(int x, int y, double& r, double& g, double& b) const {
    const uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
    b = p[0], g = p[1], r = p[2];
  }
};

bool save(const Picture& pic, const std::string& path) {
  std::vector<uint8_t> png = gfx::encode_png_bgr(pic.bgr.data(), pic.width, pic.height,
                                                 static_cast<size_t>(pic.width) * 3,
                                                 pic.opacity.empty() ? nullptr : pic.opacity.data(),
                                                 static_cast<size_t>(pic.width));
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

double mix(double a, double b, double t) { return a + (b - a) * t; }
double smooth(double e0, double e1, double x) {
  double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Coverage of a shape by 4 × 4 samples per pixel.
template <typename Inside>
double coverage(int x, int y, Inside inside) {
  int n = 0;
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i)
      if (inside(x + (i + 0.5) / 4, y + (j + 0.5) / 4)) ++n;
  return n / 16.0;
}

// A small linear congruential generator: the same stars on every build.
struct Random {
  uint32_t seed;
  uint32_t operator()() {
    seed = seed * 214013 + 2531011;
    return (seed >> 16) & 0x7FFF;
  }
};

// The skyline of the far and the near hills at column x, shared by the
// evening and the night picture.
double far_hills(int x) { return 330 + 30 * std::sin(x / 70.0) + 14 * std::sin(x / 23.0 + 1.0); }
double near_hills(int x) { return 390 + 26 * std::sin(x / 110.0 + 2.0) + 9 * std::sin(x / 31.0); }

Picture sky() {
  Picture p(640, 480, false);
  Random random{12345};
  for (int y = 0; y < 480; ++y) {
    double t = y / 479.0;
    double r = mix(30, 250, t * t), g = mix(20, 150, t * t), b = mix(70, 110, t);
    for (int x = 0; x < 640; ++x) {
      // The sun and its glow.
      double d = std::hypot(x - 470.0, y - 330.0);
      double glow = std::exp(-d / 90.0) * 0.8;
      double disc = 1.0 - smooth(55, 58, d);
      double pr = mix(r, 255, std::max(glow, disc)), pg = mix(g, 230, std::max(glow, disc)),
             pb = mix(b, 160, std::max(glow * 0.7, disc));
      // Far hills, then near hills.
      double far = far_hills(x), near = near_hills(x);
      double f = smooth(far - 0.8, far + 0.8, y), n = smooth(near - 0.8, near + 0.8, y);
      pr = mix(pr, 90, f), pg = mix(pg, 60, f), pb = mix(pb, 110, f);
      double shade = 1.0 - 0.4 * std::clamp((y - near) / 90.0, 0.0, 1.0);
      pr = mix(pr, 40 * shade, n), pg = mix(pg, 105 * shade, n), pb = mix(pb, 70 * shade, n);
      p.set(x, y, pr, pg, pb);
    }
  }
  for (int i = 0; i < 90; ++i) {
    int x = static_cast<int>(random() % 640), y = static_cast<int>(random() % 200);
    double r, g, b;
    p.get(x, y, r, g, b);
    double bright = 0.5 + (random() % 100) / 200.0;
    p.set(x, y, mix(r, 255, bright), mix(g, 255, bright), mix(b, 240, bright));
  }
  return p;
}

Picture ball() {
  Picture p(64, 64, true);
  const double c = 32, radius = 30;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      double a = coverage(x, y, [&](double u, double v) { return std::hypot(u - c, v - c) <= radius; });
      double dx = (x + 0.5 - c) / radius, dy = (y + 0.5 - c) / radius;
      double z = std::sqrt(std::max(0.0, 1 - dx * dx - dy * dy));
      // Light from the upper left.
      double light = std::clamp(0.25 + 0.75 * (-0.5 * dx - 0.6 * dy + 0.62 * z), 0.0, 1.0);
      double spot = std::pow(std::clamp(-0.45 * dx - 0.55 * dy + 0.7 * z, 0.0, 1.0), 24);
      p.set(x, y, mix(230 * light, 255, spot), mix(70 * light, 255, spot), mix(60 * light, 255, spot), a);
    }
  return p;
}

Picture star() {
  Picture p(96, 96, true);
  const double pi = 3.14159265358979;
  // Ten corners, alternately on the outer and the inner circle.
  double cx[10], cy[10];
  for (int i = 0; i < 10; ++i) {
    double a = -pi / 2 + i * pi / 5, r = i % 2 ? 18 : 44;
    cx[i] = 48 + r * std::cos(a), cy[i] = 51 + r * std::sin(a);
  }
  auto inside = [&](double u, double v) {
    bool in = false;
    for (int i = 0, j = 9; i < 10; j = i++)
      if ((cy[i] > v) != (cy[j] > v) && u < (cx[j] - cx[i]) * (v - cy[i]) / (cy[j] - cy[i]) + cx[i]) in = !in;
    return in;
  };
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 96; ++x) {
      double a = coverage(x, y, inside);
      double d = std::hypot(x - 48.0, y - 51.0) / 44.0;
      p.set(x, y, 255, mix(240, 170, d), mix(120, 20, d), a);
    }
  return p;
}

// Capitals of a 5 × 7 font, enough for the title.
const char* glyph(char c) {
  switch (c) {
    case 'Q': return "01110100011000110001101011001001101";
    case 'U': return "10001100011000110001100011000101110";
    case 'O': return "01110100011000110001100011000101110";
    case 'R': return "11110100011000111110101001001010001";
    case 'E': return "11111100001000011110100001000011111";
    case 'L': return "10000100001000010000100001000011111";
    case 'D': return "11100100101000110001100011001011100";
    case 'M': return "10001110111010110101100011000110001";
    default: return "00000000000000000000000000000000000";
  }
}

Picture panel() {
  const int w = 360, h = 90;
  Picture p(w, h, true);
  auto rounded = [&](double u, double v, double inset) {
    double rad = 18 - inset;
    double cx = std::clamp(u, rad + inset, w - rad - inset), cy = std::clamp(v, rad + inset, h - rad - inset);
    return std::hypot(u - cx, v - cy) <= rad;
  };
  const std::string title = "QUOREL DEMO";
  const int scale = 5, advance = 6 * scale;
  const int left = (w - static_cast<int>(title.size()) * advance + scale) / 2, top = (h - 7 * scale) / 2;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double outer = coverage(x, y, [&](double u, double v) { return rounded(u, v, 0); });
      double inner = coverage(x, y, [&](double u, double v) { return rounded(u, v, 3); });
      double r = mix(250, 20, inner), g = mix(220, 24, inner), b = mix(150, 60, inner);
      double a = outer * mix(1.0, 0.72, inner);
      int i = (x - left) / advance, gx = (x - left) % advance / scale, gy = (y - top) / scale;
      if (x >= left && y >= top && i < static_cast<int>(title.size()) && gx < 5 && gy < 7 &&
          glyph(title[static_cast<size_t>(i)])[gy * 5 + gx] == '1') {
        double t = static_cast<double>(y - top) / (7 * scale);
        r = 255, g = mix(250, 190, t), b = mix(230, 90, t), a = 1.0;
      }
      p.set(x, y, r, g, b, a);
    }
  return p;
}


// The same hills under a night sky: a moon and many stars.
Picture night() {
  Picture p(640, 480, false);
  Random random{777};
  for (int y = 0; y < 480; ++y) {
    double t = y / 479.0;
    double r = mix(6, 40, t * t), g = mix(10, 40, t * t), b = mix(40, 90, t);
    for (int x = 0; x < 640; ++x) {
      double d = std::hypot(x - 590.0, y - 62.0);
      double glow = std::exp(-d / 70.0) * 0.35;
      double disc = 1.0 - smooth(30, 32, d);
      // A crescent: the disc without a second, offset one.
      disc *= smooth(27, 30, std::hypot(x - 603.0, y - 54.0));
      double pr = mix(r, 255, std::max(glow, disc)), pg = mix(g, 245, std::max(glow, disc)),
             pb = mix(b, 200, std::max(glow, disc));
      double far = far_hills(x), near = near_hills(x);
      double f = smooth(far - 0.8, far + 0.8, y), n = smooth(near - 0.8, near + 0.8, y);
      pr = mix(pr, 22, f), pg = mix(pg, 26, f), pb = mix(pb, 52, f);
      pr = mix(pr, 10, n), pg = mix(pg, 30, n), pb = mix(pb, 32, n);
      p.set(x, y, pr, pg, pb);
    }
  }
  for (int i = 0; i < 260; ++i) {
    int x = static_cast<int>(random() % 640), y = static_cast<int>(random() % 300);
    double r, g, b;
    p.get(x, y, r, g, b);
    if (r > 60) continue;  // not on the moon or the hills
    double bright = 0.4 + (random() % 100) / 166.0;
    p.set(x, y, mix(r, 255, bright), mix(g, 250, bright), mix(b, 230, bright));
    if (random() % 8 == 0)  // a few brighter ones with a cross of light
      for (int k = -1; k <= 1; k += 2) {
        double nr, ng, nb;
        p.get(x + k < 0 ? x : x + k, y, nr, ng, nb);
        p.set(std::clamp(x + k, 0, 639), y, mix(nr, 255, 0.5), mix(ng, 250, 0.5), mix(nb, 230, 0.5));
        p.get(x, std::clamp(y + k, 0, 479), nr, ng, nb);
        p.set(x, std::clamp(y + k, 0, 479), mix(nr, 255, 0.5), mix(ng, 250, 0.5), mix(nb, 230, 0.5));
      }
  }
  return p;
}

// A character from the waist up, in simple shapes: hair behind and in front
// of a round face with eyes, cheeks and a smile, over a dress or a coat.
struct Look {
  double hair[3], dress[3], trim[3];
  bool long_hair;
};

Picture character(const Look& look) {
  // Tall enough to reach the foot of the screen where she stands in the
  // story, behind the message box.
  const int w = 220, h = 452;
  Picture p(w, h, true);
  const double hx = 110, hy = 110, hr = 58;  // the face
  auto ellipse = [](double u, double v, double cx, double cy, double rx, double ry) {
    const double dx = (u - cx) / rx, dy = (v - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
  };
  // Layers from the back: each a shape and a colour; later ones cover.
  struct Layer {
    std::function<bool(double, double)> inside;
    double r, g, b;
  };
  const double skin[3] = {255, 226, 204};
  std::vector<Layer> layers;
  auto add = [&](std::function<bool(double, double)> f, const double* c, double shade = 1.0) {
    layers.push_back({std::move(f), c[0] * shade, c[1] * shade, c[2] * shade});
  };
  // Hair behind the head: long to the shoulders, or a short round cap.
  if (look.long_hair)
    add([&](double u, double v) { return ellipse(u, v, hx, hy + 40, hr + 16, hr + 78) && v < 250; }, look.hair, 0.85);
  else
    add([&](double u, double v) { return ellipse(u, v, hx, hy - 4, hr + 10, hr + 12); }, look.hair, 0.85);
  // The body: shoulders rounding into a dress that widens to the foot.
  add(
      [&](double u, double v) {
        if (v < 185) return false;
        const double half = std::min(58 + (v - 185) * 0.25, 104.0);
        if (std::abs(u - hx) > half) return false;
        return v > 200 || ellipse(u, v, hx, 215, half, 30);
      },
      look.dress);
  // The collar and a ribbon or buttons in the trim colour.
  add([&](double u, double v) { return ellipse(u, v, hx, 190, 30, 14); }, look.trim);
  add([&](double u, double v) { return ellipse(u, v, hx, 190, 17, 9); }, skin);
  add([&](double u, double v) { return ellipse(u, v, hx - 9, 206, 10, 6) || ellipse(u, v, hx + 9, 206, 10, 6); },
      look.trim);
  // The neck and the face.
  add([&](double u, double v) { return std::abs(u - hx) < 13 && v > hy + 30 && v < 195; }, skin, 0.92);
  add([&](double u, double v) { return ellipse(u, v, hx, hy + 4, hr - 2, hr + 2); }, skin);
  // The fringe: a cap over the top of the head with a scalloped lower edge.
  add(
      [&](double u, double v) {
        if (!ellipse(u, v, hx, hy - 6, hr + 4, hr + 2)) return false;
        const double edge = hy - 22 + 10 * std::abs(std::sin((u - hx) / 13.0)) + std::pow((u - hx) / hr, 2) * 30;
        return v < edge;
      },
      look.hair);
  // Side locks in front of the ears.
  add([&](double u, double v) {
    return (ellipse(u, v, hx - hr + 6, hy + 22, 11, look.long_hair ? 50 : 30) ||
            ellipse(u, v, hx + hr - 6, hy + 22, 11, look.long_hair ? 50 : 30)) &&
           v > hy - 20;
  }, look.hair);
  // Cheeks.
  const double blush[3] = {255, 170, 170};
  add([&](double u, double v) { return ellipse(u, v, hx - 30, hy + 28, 11, 6) || ellipse(u, v, hx + 30, hy + 28, 11, 6); },
      blush);
  // Eyes: dark ovals with a light spot; a small smile.
  const double eye[3] = {50, 40, 60}, white[3] = {255, 255, 255}, mouth[3] = {190, 80, 80};
  add([&](double u, double v) { return ellipse(u, v, hx - 22, hy + 10, 7.5, 11) || ellipse(u, v, hx + 22, hy + 10, 7.5, 11); },
      eye);
  add([&](double u, double v) { return ellipse(u, v, hx - 20, hy + 5, 2.8, 3.5) || ellipse(u, v, hx + 24, hy + 5, 2.8, 3.5); },
      white);
  add(
      [&](double u, double v) {
        const double d = std::hypot(u - hx, v - (hy + 26));
        return d > 10 && d < 13 && v > hy + 30;
      },
      mouth);

  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (const Layer& l : layers) {
        const double c = coverage(x, y, l.inside);
        if (c == 0) continue;
        // Over nothing the shape keeps its own colour (the alpha makes the
        // edge soft); over another shape the two mix.
        const double t = a == 0 ? 1.0 : c;
        r = mix(r, l.r, t), g = mix(g, l.g, t), b = mix(b, l.b, t);
        a = a + (1 - a) * c;
      }
      // Light from the upper left, a little darker towards the foot.
      const double light = 1.0 - 0.18 * std::clamp((y - 200) / 130.0, 0.0, 1.0);
      p.set(x, y, r * light, g * light, b * light, a);
    }
  return p;
}

// The mahjong table: green felt with a faint weave, a wooden rim.
Picture table() {
  Picture p(640, 480, false);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const double edge = std::min({x, y, 639 - x, 479 - y});
      const double weave = (x % 4 == 0 ? 3 : 0) + (y % 4 == 0 ? 3 : 0);
      const double vignette = 1.0 - 0.35 * std::pow(std::hypot(x - 320.0, y - 240.0) / 400.0, 2);
      double r = (20 + weave) * vignette, g = (105 + weave) * vignette, b = (70 + weave) * vignette;
      if (edge < 14) {
        const double grain = 0.85 + 0.15 * std::sin(x * 0.3 + y * 0.05);
        r = 120 * grain, g = 72 * grain, b = 40 * grain;
        if (edge < 2 || (edge > 11 && edge < 14)) r *= 0.7, g *= 0.7, b *= 0.7;
      }
      p.set(x, y, r, g, b);
    }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorel-demo-images OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  bool ok = save(sky(), out + "/sky.png") && save(ball(), out + "/ball.png") && save(star(), out + "/star.png") &&
            save(panel(), out + "/panel.png") && save(night(), out + "/night.png") && save(table(), out + "/table.png") &&
            save(character({{70, 45, 40}, {240, 150, 170}, {255, 250, 245}, true}), out + "/mina.png") &&
            save(character({{40, 50, 90}, {90, 140, 210}, {250, 215, 90}, false}), out + "/sora.png");
  if (!ok) std::fprintf(stderr, "quorel-demo-images: cannot write into %s\n", out.c_str());
  return ok ? 0 : 1;
}
