// The C library generator the games were written against (RAND_MAX 32767):
// random numbers, mosaics and mahjong shuffles depend on its exact
// sequence, so a seed replays a game.
#pragma once

#include <cstdint>

namespace base {

class Random {
 public:
  static constexpr int kMax = 32767;
  void seed(uint32_t s) { state_ = s; }
  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_ = 1;
};

}  // namespace base
