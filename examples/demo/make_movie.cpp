// Makes the demo game's ending movie: three seconds of an evening sky that
// darkens, over a soft tone, encoded with FFmpeg so that the demo is the
// project's own.
//
//   quorel-demo-movie OUTPUT_FILE
#include <cstdio>

#include "tests/support/movie_files.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorel-demo-movie OUTPUT_FILE\n");
    return 2;
  }
  testing_support::MovieSpec spec;
  spec.width = 320;
  spec.height = 240;
  spec.fps = 15;
  spec.textured = true;
  // From orange through purple to night blue.
  const int pictures = 45;
  for (int i = 0; i < pictures; ++i) {
    const double t = static_cast<double>(i) / (pictures - 1);
    const auto mix = [t](int a, int b) { return static_cast<uint32_t>(a + (b - a) * t); };
    spec.colours.push_back(mix(0xF0, 0x20) << 16 | mix(0x90, 0x20) << 8 | mix(0x40, 0x60));
  }
  spec.sound_ms = 3000;
  spec.tone_hz = 330;
  spec.amplitude = 0.1;
  if (!testing_support::write_movie(argv[1], spec)) {
    std::fprintf(stderr, "quorel-demo-movie: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
