// The movie opener over arbitrary bytes, as the fuzzer and the seed replay
// in the tests drive it: open through FFmpeg's custom I/O, take pictures
// and sound for a while, stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/movie.h"

namespace fuzzing {

inline void exercise_movie(const uint8_t* data, size_t size) {
  auto movie = plat::Movie::open_bytes(std::vector<uint8_t>(data, data + size), "fuzz", 16, 12);
  movie->wait_opened();
  plat::MoviePicture picture;
  int16_t sound[2 * 512];
  for (int64_t ms = 0; ms <= 1000 && !movie->finished_at(ms); ms += 50) {
    movie->picture_at(ms, true, picture);
    movie->read_sound(sound, 512, true);
  }
  movie->stop();
}

}  // namespace fuzzing
