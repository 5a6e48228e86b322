// The computer opponents' throws, calls, ready hands and reveals.
//
// [SECTION] Throws
// [SECTION] Calls
// [SECTION] Ready hands and reveals
#include "mahjong/opponents.h"

#include <algorithm>
#include <cstdint>

#include "mahjong/play.h"
#include "mahjong/private/hand_ops.h"

namespace mj {

using detail::HandSpan;

namespace {

bool favoured(const Table& t, int p) { return p == t.com_yuusen; }

int64_t weight(int v) { return 4 * static_cast<int64_t>(v); }

// Ron points of p's hand with `value` as the fourteenth tile.
int points_with(const Table& t, int p, int value, bool tsumo) {
  MjHand h = situation(t, p);
  h.hand[kHandSize - 1] = value;
  h.tsumo = tsumo;
  return MjEvaluate(h);
}

}  // namespace

// [SECTION] Throws -----------------------------------------------------------------

namespace {

// A ready opponent with luck on its side draws four tiles and keeps the
// one that wins it the most; -1 when the luck draw does not happen or no
// tile wins.
int lucky_win_draw(State& s, base::Random& rng, int p) {
  const Table& t = s.table;
  if (!(rng.next() % 400 > weight(t.com_unluck[p]) && rng.next() % 400 <= weight(t.com_luck[p]))) return -1;
  int drawn[4];
  int n = 0;
  while (n < 4 && (drawn[n] = s.wall.draw()) >= 0) ++n;
  int keep = -1, best = 1;
  for (int i = 0; i < n; ++i) {
    int points = points_with(t, p, drawn[i], true);
    if (points > best) keep = i, best = points;
  }
  for (int i = n - 1; i >= 0; --i)
    if (i != keep) s.wall.put_back(drawn[i], rng);
  return keep < 0 ? -1 : drawn[keep];
}

// How much opponent p wants to keep a tile: its place in the end hand and
// next to the codes it wants, and its own last discards.
struct Wants {
  std::array<int, kCodeCount> w{};
  int players = 4;

  int score(int value) const {
    int code = tile_code(value);
    if (code == 0) return 0;
    if (players == 3 && code <= 9) return 15 * w[code] - 3;
    if (is_honour_code(code)) return 15 * w[code] + (is_dragon_code(code) ? 1 : 0);
    static constexpr int kShape[10] = {0, 0, 1, 2, 3, 3, 3, 2, 1, 0};
    int k = tile_number(code);
    int sc = kShape[k] + 2 * w[code];
    if (k > 1) sc += w[code - 1];
    if (k < 9) sc += w[code + 1];
    int base = code - k;
    for (int n = 1; n <= 9; ++n) sc += w[base + n] > 0;
    return sc;
  }
};

Wants wants_of(const Table& t, int p) {
  Wants wants;
  wants.players = t.players();
  for (int code : t.end_hand(p))
    if (is_tile(code)) wants.w[code] += 2;
  auto discards = t.discards(p);
  int n = static_cast<int>(std::find(discards.begin(), discards.end(), -1) - discards.begin());
  for (int i = std::max(0, n - 3); i < n; ++i) wants.w[tile_code(discards[i])] += 1;
  wants.w[0] = 0;
  return wants;
}

}  // namespace

int think_com_sute(State& s, base::Random& rng, int p) {
  Table& t = s.table;
  if (!t.is_opponent(p)) return -1;
  if (t.com_is_tenpai[p] != 0) {
    int win = lucky_win_draw(s, rng, p);
    return win >= 0 ? win : s.wall.draw();
  }

  const Wants wants = wants_of(t, p);
  int drawn[4];
  int n = 0;
  while (n < 4 && (drawn[n] = s.wall.draw()) >= 0) {
    // This style never hands the player a winning tile (as long as the
    // wall offers another).
    for (int tries = 0; t.com_lvl[p] == 20 && tries < 8 && points_with(t, kPlayer, drawn[n], false) > 0; ++tries) {
      s.wall.put_back(drawn[n], rng);
      drawn[n] = s.wall.draw();
    }
    if (drawn[n] < 0) break;
    ++n;
  }
  if (n == 0) return -1;
  int throw_at = 0, lowest = 0;
  for (int i = 0; i < n; ++i) {
    int sc = wants.score(drawn[i]) + rng.next() % 4;
    if (i == 0 || sc < lowest) throw_at = i, lowest = sc;
  }
  for (int i = n - 1; i >= 0; --i)
    if (i != throw_at) s.wall.put_back(drawn[i], rng);
  return drawn[throw_at];
}

int com_sute_pos(Table& t, base::Random& rng, int p) {
  if (!t.is_opponent(p)) return 13;
  auto discards = t.discards(p);
  int n = static_cast<int>(std::find(discards.begin(), discards.end(), -1) - discards.begin());
  int percent = n <= 3 ? 100 : n <= 6 ? 70 : n <= 13 ? 55 : n <= 17 ? 40 : 30;
  if (rng.next() % 100 < percent) return rng.next() % 13;
  return 13;
}

// [SECTION] Calls -------------------------------------------------------------------

namespace {

// Moves the planned meld at end-hand slots `group` (in place order) to
// the front of the end hand and shows it: the called tile at `called_at`
// (a place 0-2 in the group), two tiles of the wall at the others.
bool make_call(State& s, base::Random& rng, int p, const std::array<int, 3>& group, int value, int called_at, bool pon) {
  Table& t = s.table;
  HandSpan end = t.end_hand(p), plan = t.end_plan(p), hand = t.hand(p), flags = t.flags(p), marks = t.marks(p);
  const int m = detail::meld_slots(flags);
  const bool fav = favoured(t, p);

  int tiles[3];
  for (int k = 0; k < 3; ++k) {
    tiles[k] = k == called_at ? value : s.wall.take(end[group[k]], fav);
    if (tiles[k] >= 0) continue;
    for (int j = k - 1; j >= 0; --j)
      if (j != called_at) s.wall.put_back(tiles[j], rng);
    return false;
  }

  Slots new_end{}, new_plan{};
  std::copy_n(end.begin(), m, new_end.begin());
  std::copy_n(plan.begin(), m, new_plan.begin());
  int n = m;
  for (int k = 0; k < 3; ++k, ++n) new_end[n] = end[group[k]], new_plan[n] = plan[group[k]];
  for (int i = m; i < kHandSize; ++i) {
    if (std::find(group.begin(), group.end(), i) != group.end()) continue;
    new_end[n] = end[i], new_plan[n++] = plan[i];
  }
  std::copy(new_end.begin(), new_end.end(), end.begin());
  std::copy(new_plan.begin(), new_plan.end(), plan.begin());

  for (int k = 0; k < 3; ++k) {
    hand[m + k] = tiles[k];
    flags[m + k] = pon ? kFlagPon : k + 1;
    marks[m + k] = k == called_at;
  }
  if (detail::meld_count(flags) == 4) t.com_te_susunda[p] = 15;
  com_show_hand(t, p);
  return true;
}

// The discard opponent p might call, or 0 when it calls nothing: it is
// ready, or it threw that tile itself.
int callable_code(const Table& t, int p) {
  if (!t.is_opponent(p) || t.com_is_tenpai[p] != 0) return 0;
  int code = tile_code(t.last_sute);
  if (code == 0 || detail::discarded(t.discards(p), code)) return 0;
  return code;
}

}  // namespace

int think_com_pon(State& s, base::Random& rng, int p) {
  const int code = callable_code(s.table, p);
  if (code == 0) return 0;
  Table& t = s.table;
  HandSpan end = t.end_hand(p), plan = t.end_plan(p), flags = t.flags(p);
  const int m = detail::meld_slots(flags);
  std::array<int, 3> group{};
  int found = 0;
  for (int i = m; i < kHandSize && found < 3; ++i)
    if (plan[i] == kFlagPon && end[i] == code) group[found++] = i;
  if (found < 3 || t.com_do_naki[p] == 0 || detail::meld_count(flags) >= 4) return 0;
  if (s.wall.available(code, favoured(t, p)) <= 1) return 0;
  if (rng.next() & 1) ++t.com_te_susunda[p];
  return make_call(s, rng, p, group, t.last_sute, detail::called_place(t, 0), true) ? 1 : 0;
}

int think_com_chi(State& s, base::Random& rng, int p) {
  const int code = callable_code(s.table, p);
  if (code == 0) return 0;
  Table& t = s.table;
  HandSpan end = t.end_hand(p), plan = t.end_plan(p), flags = t.flags(p);
  const int m = detail::meld_slots(flags);
  int slot = -1;
  for (int i = m; i < kHandSize; ++i) {
    if (end[i] != code || plan[i] < 1 || plan[i] > 3) continue;
    if (slot < 0 || (plan[i] == 2 && plan[slot] != 2)) slot = i;
  }
  if (slot < 0 || t.com_do_naki[p] == 0 || detail::meld_count(flags) >= 4) return 0;
  // The planned sequence: the slots placed 1, 2, 3 around this one.
  const int base = slot - (plan[slot] - 1);
  if (base < m || base + 2 >= kHandSize) return 0;
  const int start = end[base];
  if (!is_number_code(start) || tile_number(start) > 7) return 0;
  for (int k = 0; k < 3; ++k)
    if (plan[base + k] != k + 1 || end[base + k] != start + k) return 0;
  for (int k = 0; k < 3; ++k)
    if (start + k != code && s.wall.available(start + k, favoured(t, p)) < 1) return 0;
  if (rng.next() % (t.com_do_naki[p] == 2 ? 2 : 4) != 0) return 0;
  if (rng.next() & 1) ++t.com_te_susunda[p];
  return make_call(s, rng, p, {base, base + 1, base + 2}, t.last_sute, code - start, false) ? 1 : 0;
}

// [SECTION] Ready hands and reveals -------------------------------------------------

namespace {

// Takes real tiles for the end hand's codes at slots [from, 14); false
// (and nothing taken) when the unseen tiles cannot form them.
bool take_concealed(State& s, int p, int from, Slots& out) {
  Table& t = s.table;
  HandSpan end = t.end_hand(p);
  const bool fav = favoured(t, p);
  std::array<int, kCodeCount> need{};
  for (int i = from; i < kHandSize; ++i) {
    if (!is_tile(end[i])) return false;
    ++need[end[i]];
  }
  for (int code = 1; code < kCodeCount; ++code)
    if (need[code] > s.wall.available(code, fav)) return false;
  for (int i = from; i < kHandSize; ++i) out[i] = s.wall.take(end[i], fav);
  return true;
}

// Writes the revealed form of p's hand: its codes and meld flags.
void record_revealed(Table& t, int p) {
  for (int i = 0; i < kHandSize; ++i) {
    t.com_end2[p * kHandSize + i] = tile_code(t.hand(p)[i]);
    t.com_endnaki2[p * kHandSize + i] = t.flags(p)[i];
  }
}

}  // namespace

int com_set_tenpai(State& s, base::Random& rng, int p, int value) {
  Table& t = s.table;
  if (!t.is_opponent(p)) return 0;
  HandSpan hand = t.hand(p), flags = t.flags(p), marks = t.marks(p);
  const int m = detail::meld_slots(flags);
  Slots tiles{};
  if (!take_concealed(s, p, m, tiles)) return 0;

  // Of two random concealed slots, leave out the one whose absence gives
  // the better waits: one point a wait, -10 for a wait on `value`'s code
  // or on a tile p has thrown.
  const int avoid = tile_code(value);
  auto score_without = [&](int out) {
    MjHand h = situation(t, p);
    int n = m;
    for (int i = m; i < kHandSize; ++i)
      if (i != out) h.hand[n++] = tiles[i];
    std::fill(h.meld_flags.begin() + m, h.meld_flags.end(), 0);
    h.hand[kHandSize - 1] = kEmptySlot;
    int waits = MjWaits(h), sc = 0;
    for (int i = 0; i < waits; ++i)
      sc += h.waits[i] == avoid || detail::discarded(t.discards(p), h.waits[i]) ? -10 : 1;
    return sc;
  };
  const int span = kHandSize - m;
  int a = m + rng.next() % span;
  int b = m + rng.next() % span;
  int out = score_without(a) >= score_without(b) ? a : b;
  int left_out = tiles[out];
  s.wall.put_back(left_out, rng);

  int n = m;
  for (int i = m; i < kHandSize; ++i)
    if (i != out) hand[n++] = tiles[i];
  hand[kHandSize - 1] = kEmptySlot;
  std::fill(flags.begin() + m, flags.end(), 0);
  std::fill(marks.begin() + m, marks.end(), 0);
  detail::sort_from(hand, m);
  t.com_is_tenpai[p] = 1;
  record_revealed(t, p);
  t.com_end2[p * kHandSize + kHandSize - 1] = tile_code(left_out);  // the tile it waits for
  return 1;
}

int com_set_agari(State& s, int p) {
  Table& t = s.table;
  if (!t.is_opponent(p)) return 0;
  HandSpan hand = t.hand(p), flags = t.flags(p), marks = t.marks(p);
  const int m = detail::meld_slots(flags);
  if (t.com_is_tenpai[p] != 0) {
    // Ready: thirteen real tiles are shown; the winning tile is the one in
    // the fourteenth slot, or a copy of the tile it waits for.
    if (!is_tile_value(hand[kHandSize - 1])) {
      int v = s.wall.take(t.com_end2[p * kHandSize + kHandSize - 1], favoured(t, p));
      if (v < 0) return 0;
      hand[kHandSize - 1] = v;
    }
  } else {
    Slots tiles{};
    if (!take_concealed(s, p, m, tiles)) return 0;
    std::copy(tiles.begin() + m, tiles.end(), hand.begin() + m);
    std::fill(flags.begin() + m, flags.end(), 0);
    std::fill(marks.begin() + m, marks.end(), 0);
    std::sort(hand.begin() + m, hand.end() - 1);
  }
  record_revealed(t, p);
  return 1;
}

void com_show_hand(Table& t, int p) {
  if (!t.is_opponent(p)) return;
  if (t.com_is_tenpai[p] != 0) return;  // the real tiles are shown already
  HandSpan hand = t.hand(p), flags = t.flags(p), marks = t.marks(p), end = t.end_hand(p);
  const int m = detail::meld_slots(flags);
  for (int i = m; i < kHandSize - 1; ++i) hand[i] = is_tile(end[i]) ? end[i] * 10 : kEmptySlot;
  hand[kHandSize - 1] = kEmptySlot;
  std::fill(flags.begin() + m, flags.end(), 0);
  std::fill(marks.begin() + m, marks.end(), 0);
}

}  // namespace mj
