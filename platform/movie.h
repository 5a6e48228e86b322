// Movies: a file (or bytes in memory) opened and decoded on a worker
// thread. Pictures come out as blue-green-red rows at the size the caller
// asked for; sound comes out as 44.1 kHz 16-bit stereo frames, pulled by
// the mixer. The caller keeps the clock: it asks for the picture due at a
// time and reads the sound it needs.
//
// Headless runs ask for exact results: a picture or a stretch of sound
// then waits until the worker has decoded that far (or has ended), so that
// a frame at a given virtual time is always the same frame. Playback with
// a window never waits: what is not decoded yet is silence or the previous
// picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

// A decoded picture: blue-green-red rows, top-down, 3 bytes per pixel.
struct MoviePicture {
  std::vector<uint8_t> pixels;
  int width = 0, height = 0;
  int64_t time_ms = 0;  // when it is due, from the movie's start
};

class Movie {
 public:
  enum class State { Opening, Playing, Ended, Failed };

  // Starts opening the file at `native_path` on the worker thread.
  // `name` is how reports name the file. Pictures are converted to
  // `width` x `height` (0: the movie's own size), each clamped to
  // 1-kMaxSide.
  static std::shared_ptr<Movie> open_file(const std::string& native_path, const std::string& name, int width,
                                          int height);
  // The same over bytes in memory (tests, the fuzzer).
  static std::shared_ptr<Movie> open_bytes(std::vector<uint8_t> bytes, const std::string& name, int width,
                                           int height);

  // Largest side of a converted picture, and of a movie's own pictures.
  static constexpr int kMaxSide = 4096;

  ~Movie();
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;

  State state() const;
  // After a failure: one line naming the file and what could not be read
  // (the codec, when that was the trouble).
  std::string error() const;
  // Waits until the file is open (or failed, or stopped).
  void wait_opened();
  bool has_video() const;
  bool has_sound() const;

  // The newest picture due at `ms` into `out`; the pictures before it are
  // dropped. False when there is none newer than the last one taken.
  // `exact`: first waits until the worker has decoded past `ms`.
  bool picture_at(int64_t ms, bool exact, MoviePicture& out);
  // Up to `frames` stereo frames into `out`; returns how many there were.
  // `exact`: waits until that many are decoded or the sound has ended.
  size_t read_sound(int16_t* out, size_t frames, bool exact);
  // Sound handed out so far, in milliseconds: the sound clock.
  int64_t sound_ms() const;
  // True once the sound is used up (or there is none).
  bool sound_done() const;
  // Nobody will read the sound: the worker throws it away.
  void drop_sound();
  // True when nothing is left to show or play at `ms`: the worker has
  // ended, and every picture and all the sound have had their time.
  // `exact`: with nothing queued, waits to learn whether more is coming.
  bool finished_at(int64_t ms, bool exact = false) const;

  // Ends the worker (also while it is still opening the file) and waits
  // for it. What was decoded can still be read.
  void stop();

  struct Impl;

 private:
  explicit Movie(std::unique_ptr<Impl> impl);
  static std::shared_ptr<Movie> launch(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace plat
