// Reading a hand, the winning-shape test, waits and the splits into melds.
#include <algorithm>

#include "mahjong/evaluate.h"
#include "mahjong/private/shape.h"

namespace mj::detail {

namespace {

// A called meld group of three slots, or false when the flags and codes do
// not make one.
bool read_called(const int* values, const int* flags, CalledMeld& m) {
  int codes[3];
  for (int k = 0; k < 3; ++k) {
    if (!is_tile_value(values[k])) return false;
    codes[k] = values[k] / 10;
  }
  if (flags[0] == flags[1] && flags[1] == flags[2]) {
    if (codes[0] != codes[1] || codes[1] != codes[2]) return false;
    m.code = codes[0];
    m.type = kTriplet;
    switch (flags[0]) {
      case kFlagPon: m.flag = kFlagPon; return true;
      case kFlagOpenKan: m.flag = kFlagOpenKan; return true;
      case kFlagConcealedKan: m.flag = kSplitConcealedKan; return true;
      default: return false;
    }
  }
  // A called sequence: its slots carry 1, 2 and 3 in some order.
  int seen = 0;
  for (int k = 0; k < 3; ++k) {
    if (flags[k] < 1 || flags[k] > 3) return false;
    seen |= 1 << flags[k];
  }
  if (seen != 0b1110) return false;
  std::sort(codes, codes + 3);
  if (!is_number_code(codes[0]) || tile_number(codes[0]) > 7) return false;
  if (codes[1] != codes[0] + 1 || codes[2] != codes[0] + 2) return false;
  m.code = codes[0];
  m.type = kSequence;
  m.flag = 1;
  return true;
}

// Takes sequences and triplets out of number codes 1-29 scanning upward and
// honour triplets; calls `meld(start, type)` for each. False when tiles
// remain that make no meld, or more than `room` melds would be needed.
template <typename F>
bool scan_melds(Counts c, int room, F&& meld) {
  auto sequences = [&](int code, int n) {
    if (tile_number(code) > 7 || c[code + 1] < n || c[code + 2] < n) return false;
    c[code] -= n;
    c[code + 1] -= n;
    c[code + 2] -= n;
    for (int k = 0; k < n; ++k) meld(code, kSequence);
    room -= n;
    return true;
  };
  for (int code = 1; code <= 29; ++code) {
    int n = c[code];
    if (n == 0) continue;
    if (!is_number_code(code)) return false;
    if (room < (n == 4 ? 2 : n == 3 ? 1 : n)) return false;
    if (n >= 3) {
      meld(code, kTriplet);
      c[code] -= 3;
      --room;
      if (n == 4 && !sequences(code, 1)) return false;
    } else if (!sequences(code, n)) {
      return false;
    }
  }
  for (int code = 31; code <= 37; ++code) {
    if (c[code] == 0) continue;
    if (c[code] != 3 || room < 1) return false;
    meld(code, kTriplet);
    --room;
  }
  return c[0] == 0 && c[10] == 0 && c[20] == 0 && c[30] == 0 && c[38] == 0 && c[39] == 0;
}

int concealed_total(const Counts& c) {
  int n = 0;
  for (int8_t k : c) n += k;
  return n;
}

}  // namespace

bool read_shape(const MjHand& h, int n, Shape& s) {
  s = Shape{};
  n = std::clamp(n, 0, kHandSize);
  int i = 0;
  while (i < n && h.meld_flags[i] != kFlagConcealed) {
    if (i + 3 > n || s.called_count == 4) return false;
    CalledMeld& m = s.called[s.called_count];
    if (!read_called(&h.hand[i], &h.meld_flags[i], m)) return false;
    ++s.called_count;
    if (m.type == kSequence) {
      for (int k = 0; k < 3; ++k) ++s.copies[m.code + k];
    } else {
      s.copies[m.code] += m.flag == kFlagPon ? 3 : 4;
    }
    i += 3;
  }
  for (; i < n; ++i) {
    if (h.meld_flags[i] != kFlagConcealed || !is_tile_value(h.hand[i])) return false;
    int code = h.hand[i] / 10;
    ++s.concealed[code];
    ++s.copies[code];
  }
  s.tiles = n;
  return std::all_of(s.copies.begin(), s.copies.end(), [](int8_t k) { return k <= 4; });
}

int pair_candidates(const Counts& c, std::array<int, 8>& out) {
  int n = 0;
  for (int code = 1; code < kCodeCount && n < static_cast<int>(out.size()); ++code)
    if (c[code] >= 2) out[n++] = code;
  return n;
}

int complete_kind(const Shape& s) {
  int concealed = concealed_total(s.concealed);
  if (concealed + 3 * s.called_count != kHandSize) return 0;
  if (s.called_count == 0) {
    int orphans = 0;
    bool every = true;
    for (int code : kOrphanCodes) {
      orphans += s.concealed[code];
      every = every && s.concealed[code] > 0;
    }
    if (every && orphans == kHandSize) return 3;
  }
  std::array<int, 8> pairs;
  int pair_count = pair_candidates(s.concealed, pairs);
  if (s.called_count == 0 && pair_count == 7) return 2;
  int room = 4 - s.called_count;
  for (int k = 0; k < pair_count; ++k) {
    Counts c = s.concealed;
    c[pairs[k]] -= 2;
    if (scan_melds(c, room, [](int, int) {})) return 1;
  }
  return 0;
}

int split_shape(const Shape& s, std::array<MjSplit, kMaxSplits>& out) {
  out.fill(MjSplit{});
  int kind = complete_kind(s);
  if (kind == 0) return 0;
  if (kind == 3) {
    out[0].kind = kThirteenOrphans;
    return 1;
  }
  std::array<int, 8> pairs;
  int pair_count = pair_candidates(s.concealed, pairs);
  int n = 0;
  for (int k = 0; k < pair_count; ++k) {
    MjSplit sp;
    sp.pair = pairs[k];
    int m = 0;
    for (int j = 0; j < s.called_count; ++j, ++m) {
      const CalledMeld& cm = s.called[j];
      sp.meld_start[m] = cm.code;
      sp.meld_type[m] = cm.type;
      sp.meld_flag[m] = cm.flag;
    }
    Counts c = s.concealed;
    c[sp.pair] -= 2;
    bool ok = scan_melds(c, 4 - s.called_count, [&](int code, int type) {
      sp.meld_start[m] = code;
      sp.meld_type[m] = type;
      sp.meld_flag[m] = 0;
      ++m;
    });
    if (!ok || m != 4) continue;
    // Only three standard readings are kept; a later one replaces the third.
    out[n < 3 ? n++ : 2] = sp;
  }
  if (n < 3 && kind == 2) {
    out[n].kind = kSevenPairs;
    ++n;
  }
  return n;
}

}  // namespace mj::detail

namespace mj {

int MjIsComplete(const MjHand& h) {
  detail::Shape s;
  if (!detail::read_shape(h, kHandSize, s)) return 0;
  return detail::complete_kind(s);
}

int MjWaits(MjHand& h) {
  h.waits.fill(-1);
  detail::Shape s;
  if (!detail::read_shape(h, kHandSize - 1, s)) return 0;
  int n = 0;
  for (int code = 1; code < kCodeCount; ++code) {
    if (!is_tile(code) || s.concealed[code] >= 4 || s.copies[code] >= 4) continue;
    ++s.concealed[code];
    if (detail::complete_kind(s) != 0) h.waits[n++] = code;
    --s.concealed[code];
  }
  return n;
}

}  // namespace mj
