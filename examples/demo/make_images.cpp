// Draws the demo game's pictures and writes them as PNG files: an evening
// sky with hills, a shaded ball, a star and a title panel, the last three
// with soft edges in their alpha channel. Everything is computed here, so
// the demo's data is the project's own.
//
//   quorel-demo-images OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
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

Picture sky() {
  Picture p(640, 480, false);
  uint32_t seed = 12345;
  auto random = [&seed] {
    seed = seed * 214013 + 2531011;
    return (seed >> 16) & 0x7FFF;
  };
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
      double far = 330 + 30 * std::sin(x / 70.0) + 14 * std::sin(x / 23.0 + 1.0);
      double near = 390 + 26 * std::sin(x / 110.0 + 2.0) + 9 * std::sin(x / 31.0);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorel-demo-images OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  bool ok = save(sky(), out + "/sky.png") && save(ball(), out + "/ball.png") && save(star(), out + "/star.png") &&
            save(panel(), out + "/panel.png");
  if (!ok) std::fprintf(stderr, "quorel-demo-images: cannot write into %s\n", out.c_str());
  return ok ? 0 : 1;
}
