// Small operations on a player's 14 hand slots, shared by the player's and
// the opponents' built-ins.
#pragma once

#include <algorithm>
#include <span>

#include "mahjong/evaluate.h"
#include "mahjong/table.h"

namespace mj::detail {

using HandSpan = std::span<int, kHandSize>;

// Slots taken by called or declared melds: the leading flagged slots, in
// whole groups of three.
inline int meld_slots(HandSpan flags) {
  int n = 0;
  while (n < kHandSize && flags[n] != 0) ++n;
  return std::min(n / 3 * 3, 12);
}

inline int meld_count(HandSpan flags) { return meld_slots(flags) / 3; }

// Sorts the slots from `from` on by value (an empty slot, 600, sorts last).
inline void sort_from(HandSpan hand, int from) { std::sort(hand.begin() + from, hand.end()); }

// Concealed copies of `code` in slots [from, to).
inline int concealed_copies(HandSpan hand, HandSpan flags, int code, int from, int to) {
  int n = 0;
  for (int i = from; i < to; ++i) n += flags[i] == 0 && tile_code(hand[i]) == code;
  return n;
}

// First slot at or after `from` whose concealed tile has `code`, or -1.
inline int find_concealed(HandSpan hand, HandSpan flags, int code, int from) {
  for (int i = from; i < kHandSize; ++i)
    if (flags[i] == 0 && tile_code(hand[i]) == code) return i;
  return -1;
}

// Whether the code is among the player's discards.
inline bool discarded(std::span<const int, kDiscards> discards, int code) {
  for (int v : discards) {
    if (v == -1) break;
    if (tile_code(v) == code) return true;
  }
  return false;
}

// The place in a new meld group at slot m that shows the called tile,
// turned toward the neighbour it came from.
inline int called_place(const Table& t, int m) {
  switch (t.players()) {
    case 2: return m + 1;
    case 3: return t.last_sute_pl != 0 ? m : m + 2;
    default: return m + 2 - std::clamp(t.last_sute_pl, 0, 2);
  }
}

}  // namespace mj::detail
