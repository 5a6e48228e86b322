// Makes the demo game's ending movie: three seconds of the hill at dusk, the
// sky darkening and its stars coming out while the red ball rolls home and
// the moon rises, over a soft tone; encoded with FFmpeg so that the demo is
// the project's own.
//
//   quorel-demo-movie OUTPUT_FILE
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/support/movie_files.h"

namespace {

constexpr int kWidth = 320, kHeight = 240, kPictures = 45;

struct Rgb {
  double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

uint32_t pack(Rgb c) {
  auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); };
  return byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

double hill_top(double x) { return 170 + 14 * std::sin(x / 53.0) + 8 * std::sin(x / 23.0 + 1.3); }

// Smooth edge: 1 well inside, 0 well outside.
double coverage(double distance_inside) { return std::fmin(1.0, std::fmax(0.0, distance_inside + 0.5)); }

void paint(int index, std::vector<uint32_t>& rgb) {
  const double t = static_cast<double>(index) / (kPictures - 1);
  const Rgb top = mix({70, 60, 130}, {14, 16, 48}, t);
  const Rgb horizon = mix({250, 160, 90}, {70, 50, 110}, t);
  const Rgb grass = mix({40, 100, 60}, {16, 44, 40}, t);
  const double ball_x = 30 + 200 * t, ball_r = 11;
  const double ball_y = hill_top(ball_x) - ball_r + 1;
  const double moon_x = 255, moon_y = 95 - 45 * t, moon_r = 16;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      Rgb c = mix(top, horizon, std::pow(y / 180.0, 1.6));
      // Stars, fixed in place, fade in as the light goes.
      const uint32_t h = (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u);
      if (y < 150 && h % 397 == 0) c = mix(c, {255, 250, 220}, std::fmin(1.0, t * 1.6) * (0.5 + (h >> 16) % 50 / 100.0));
      const double moon = coverage(moon_r - std::hypot(x - moon_x, y - moon_y));
      c = mix(c, {255, 236, 170}, moon * std::fmin(1.0, 0.4 + t));
      const double ground = coverage(y - hill_top(x));
      c = mix(c, mix(grass, {8, 20, 20}, (y - 170) / 90.0), ground);
      // The ball, lit from the sunset side.
      const double d = std::hypot(x - ball_x, y - ball_y);
      if (d < ball_r + 1) {
        const double light = std::fmax(0.0, 1 - std::hypot(x - (ball_x - 4), y - (ball_y - 4)) / ball_r);
        const Rgb ball = mix({150, 20, 20}, {255, 200, 190}, light * light);
        c = mix(c, mix(ball, {60, 20, 40}, t * 0.5), coverage(ball_r - d));
      }
      rgb[static_cast<size_t>(y * kWidth + x)] = pack(c);
    }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorel-demo-movie OUTPUT_FILE\n");
    return 2;
  }
  testing_support::MovieSpec spec;
  spec.width = kWidth;
  spec.height = kHeight;
  spec.fps = 15;
  spec.colours.assign(kPictures, 0);  // the count; paint draws them
  spec.paint = paint;
  spec.sound_ms = 3000;
  spec.tone_hz = 330;
  spec.amplitude = 0.1;
  if (!testing_support::write_movie(argv[1], spec)) {
    std::fprintf(stderr, "quorel-demo-movie: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
