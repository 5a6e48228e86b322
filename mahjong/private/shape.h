// A hand read into tile counts, shared by the completeness test, the
// splitter and the scorer.
#pragma once

#include <array>
#include <cstdint>

#include "mahjong/evaluate.h"

namespace mj::detail {

using Counts = std::array<int8_t, kCodeCount>;

struct CalledMeld {
  int code = 0;  // start code
  int type = kTriplet;
  int flag = 0;  // split flag: 1 sequence, 4 triplet, 5 open kan, -2 concealed kan
};

struct Shape {
  Counts concealed{};  // concealed tiles by code
  Counts copies{};     // every copy the hand holds by code (a kan counts 4)
  std::array<CalledMeld, 4> called{};
  int called_count = 0;
  int tiles = 0;  // hand positions read
};

// Reads the first `n` slots of the hand. False when a slot holds no tile,
// a meld group is malformed, a concealed slot follows no meld rule, or a
// code appears more than four times.
bool read_shape(const MjHand& h, int n, Shape& s);

// Completeness of a shape of fourteen tiles (MjIsComplete's result).
int complete_kind(const Shape& s);

// Pair candidates (codes with two or more concealed copies) in ascending
// order; returns how many.
int pair_candidates(const Counts& c, std::array<int, 8>& out);

// Splits a complete shape; returns the number of splits and ends the list
// with an empty record. Scores are not filled in.
int split_shape(const Shape& s, std::array<MjSplit, kMaxSplits>& out);

}  // namespace mj::detail
