// Arbitrary bytes as a movie file.
#include "fuzz/movie_open.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::exercise_movie(data, size);
  return 0;
}
