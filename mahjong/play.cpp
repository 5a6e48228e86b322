// Table mechanics for the player and the table itself.
//
// [SECTION] Hand situations
// [SECTION] Wall, seats and dora
// [SECTION] The player's draws
// [SECTION] Riichi, win and kan checks
// [SECTION] Calls and kans
// [SECTION] Settlement
#include "mahjong/play.h"

#include <algorithm>
#include <cstdint>

#include "mahjong/private/hand_ops.h"

namespace mj {

using detail::HandSpan;

namespace {

using CodeCounts = std::array<int, kCodeCount>;

int wrap(int64_t v, int n) { return static_cast<int>(((v % n) + n) % n); }

// Weights compared against a draw of the generator; large script values
// must not overflow.
int64_t weight(int v) { return 4 * static_cast<int64_t>(v); }

}  // namespace

// [SECTION] Hand situations --------------------------------------------------

MjHand situation(const Table& t, int p) {
  MjHand h;
  h.rules = t.rules();
  if (!t.is_seat(p)) return h;
  std::copy_n(t.hand(p).begin(), kHandSize, h.hand.begin());
  std::copy_n(t.flags(p).begin(), kHandSize, h.meld_flags.begin());
  std::copy_n(t.marks(p).begin(), kHandSize, h.called_marks.begin());
  h.tsumo = t.O_is_tumo != 0;
  h.reach = t.reach(p);
  h.seat_wind = t.seat_wind(p);
  h.round_wind = t.ba_kaze;
  h.rinshan = t.O_is_kan_cyokugo != 0;
  h.ippatsu = t.ippatsu(p) != 0;
  h.first_turn = t.O_is_tenho != 0;
  h.haitei = t.O_is_haitei != 0;

  // Dora indicators in force: the first, the kan dora after it, and as
  // many ura indicators for a hand in riichi.
  int shown = 0;
  while (shown < kDoraList && t.dora[shown] != -1) ++shown;
  if (!t.kan_dora_in_force()) shown = std::min(shown, 1);
  int n = 0;
  for (int i = 0; i < shown && n < kMaxDoraIndicators; ++i) h.dora[n++] = t.dora[i];
  if (h.reach > 0 && t.ura_dora_in_force())
    for (int i = 0; i < shown && n < kMaxDoraIndicators && t.dora_ura[i] != -1; ++i) h.dora[n++] = t.dora_ura[i];
  return h;
}

// [SECTION] Wall, seats and dora ----------------------------------------------

void yama_init(State& s, base::Random& rng) {
  Table& t = s.table;
  s.wall.build(t.players(), rng);
  t.pi_tumo_nokori = t.players() == 4 ? 70 : t.players() == 3 ? 55 : 40;
}

void kaze_set(Table& t) {
  const int64_t turns = t.ba_mawari;
  switch (t.players()) {
    case 4:
      for (int i = 0; i < 4; ++i) {
        int seat = wrap(int64_t{t.tatioya} + turns + i, 4);
        (seat == kPlayer ? t.my_kaze : t.com_kaze[seat]) = i;
      }
      break;
    case 3: {
      // Seats 0, 1 and the player, who counts as seat 2.
      int first = t.tatioya == kPlayer ? 2 : t.tatioya;
      for (int i = 0; i < 3; ++i) {
        int seat = wrap(int64_t{first} + turns + i, 3);
        (seat == 2 ? t.my_kaze : t.com_kaze[seat]) = i;
      }
      break;
    }
    default: {
      // The player and opponent 0 take East and West in turn.
      int first = t.tatioya == kPlayer ? 1 : 0;
      for (int i = 0; i < 2; ++i) {
        int seat = wrap(int64_t{first} + turns + i, 2);
        (seat == 1 ? t.my_kaze : t.com_kaze[0]) = 2 * i;
      }
      break;
    }
  }
}

namespace {

// An indicator: a plain draw, or, with an opponent of a dora-rigging style
// at the table, the best of several draws for that opponent's end hand.
int indicator_draw(State& s, base::Random& rng) {
  Table& t = s.table;
  int chosen = -1, extra = 0;
  for (int p = 0; p < t.opponents(); ++p) {
    int style = t.com_lvl[p];
    if (style == 41) chosen = p, extra = 4;
    if (style == 24) chosen = p, extra = 6;
    if (style == 33) {
      chosen = p, extra = 9;
      break;
    }
  }
  int kept = s.wall.draw();
  if (chosen < 0 || kept < 0) return kept;
  auto end = t.end_hand(chosen);
  auto score = [&](int value) {
    int target = tile_code(value) + 1;
    return static_cast<int>(std::count(end.begin(), end.end(), target));
  };
  for (int i = 0; i < extra; ++i) {
    int tile = s.wall.draw();
    if (tile < 0) break;
    if (score(tile) > score(kept)) std::swap(kept, tile);
    s.wall.put_back(tile, rng);
  }
  return kept;
}

}  // namespace

void dora_init(State& s, base::Random& rng) {
  Table& t = s.table;
  int k = 0;
  while (k < kDoraList && t.dora[k] != -1) ++k;
  if (k >= kDoraList - 1) return;  // the list is full
  t.dora[k] = indicator_draw(s, rng);
  t.dora[k + 1] = -1;
  t.dora_ura[k] = indicator_draw(s, rng);
  t.dora_ura[k + 1] = -1;
}

void player_haipai(State& s) {
  Table& t = s.table;
  for (int i = 0; i < kHandSize - 1; ++i) {
    int v = s.wall.draw();
    t.my_pre_te[i] = v < 0 ? kEmptySlot : v;
  }
  t.my_pre_te[kHandSize - 1] = kEmptySlot;
  t.my_naki_flag.fill(0);
  t.my_naki_flag2.fill(0);
  std::sort(t.my_pre_te.begin(), t.my_pre_te.end());
}

int pi_draw(State& s) { return s.wall.draw(); }

int pi_return(State& s, base::Random& rng, int value) { return s.wall.put_back(value, rng) ? 1 : 0; }

void pi_sort(Table& t, int p) {
  if (!t.is_seat(p)) return;
  detail::sort_from(t.hand(p), detail::meld_slots(t.flags(p)));
}

// [SECTION] The player's draws --------------------------------------------------

namespace {

// How much a drawn tile is worth to the player: a win above everything,
// otherwise how well it fits the tiles already held.
int tile_worth(const Table& t, const CodeCounts& c, int value) {
  MjHand h = situation(t, kPlayer);
  h.hand[kHandSize - 1] = value;
  h.tsumo = 1;
  int points = MjEvaluate(h);
  if (points > 0) return 1000 + points;

  int code = tile_code(value);
  if (code == 0) return 0;
  if (is_honour_code(code)) {
    int orphans = 0;
    for (int o : kOrphanCodes) orphans += c[o] > 0;
    return 5 * c[code] + orphans;
  }
  int k = tile_number(code);
  auto at = [&](int offset) {
    int n = k + offset;
    return n >= 1 && n <= 9 ? c[code + offset] : 0;
  };
  int worth = 2 * c[code] + 2 * at(-1) + 2 * at(1);
  if (k > 2) worth += 2 * at(-2);
  if (k < 8) worth += 2 * at(2);
  if (k > 3) worth += at(-3);
  if (k < 7) worth += at(3);
  if (c[code] == 0 && at(-1) > 0 && at(1) > 0) worth += 5;
  int base = code - k;
  for (int n = 1; n <= 9; n += 2) worth += c[base + n] > 0;
  return worth;
}

}  // namespace

int get_player_pi(State& s, base::Random& rng) {
  const Table& t = s.table;
  CodeCounts c{};
  for (int v : t.my_pre_te) ++c[tile_code(v)];
  c[0] = 0;

  int mode = 0;  // 1 keep the best of five, -1 the worst
  if (rng.next() % 460 < weight(t.my_luck)) mode = 1;
  else if (rng.next() % 460 < weight(t.my_unluck)) mode = -1;
  if (mode == 0) return s.wall.draw();

  int drawn[5];
  int n = 0;
  while (n < 5 && (drawn[n] = s.wall.draw()) >= 0) ++n;
  if (n == 0) return -1;
  int keep = 0, keep_worth = tile_worth(t, c, drawn[0]);
  for (int i = 1; i < n; ++i) {
    int w = tile_worth(t, c, drawn[i]);
    if (mode > 0 ? w > keep_worth : w < keep_worth) keep = i, keep_worth = w;
  }
  for (int i = n - 1; i >= 0; --i)
    if (i != keep) s.wall.put_back(drawn[i], rng);
  return drawn[keep];
}

// [SECTION] Riichi, win and kan checks -------------------------------------------

namespace {

bool closed(HandSpan flags) {
  return std::none_of(flags.begin(), flags.end(), [](int f) { return f > 0; });
}

// Waits of a hand situation as a list ended by -1.
std::array<int, 35> waits_of(MjHand h) {
  MjWaits(h);
  return h.waits;
}

}  // namespace

int get_player_can_reach(Table& t) {
  t.reach_sel_stat.fill(0);
  if (!closed(t.flags(kPlayer)) || t.my_is_reach != 0) return 0;
  const MjHand base = situation(t, kPlayer);
  int from = detail::meld_slots(t.flags(kPlayer));
  int any = 0;
  for (int i = from; i < kHandSize; ++i) {
    if (!is_tile_value(base.hand[i])) continue;
    MjHand h = base;
    std::copy(h.hand.begin() + i + 1, h.hand.end(), h.hand.begin() + i);
    h.hand[kHandSize - 1] = kEmptySlot;
    t.reach_sel_stat[i] = MjWaits(h) > 0;
    any |= t.reach_sel_stat[i];
  }
  return any;
}

int get_player_can_agari(State& s) {
  s.last = situation(s.table, kPlayer);
  return MjEvaluate(s.last) > 0 ? 1 : 0;
}

int get_agari_score(State& s, int p) {
  if (!s.table.is_seat(p)) return 0;
  s.last = situation(s.table, p);
  return MjEvaluate(s.last);
}

int get_tenpai(Table& t, int p) {
  if (!t.is_seat(p)) return 0;
  MjHand h = situation(t, p);
  return MjWaits(h);
}

int get_furiten(Table& t, int p) {
  if (!t.is_seat(p)) return 0;
  MjHand h = situation(t, p);
  int n = MjWaits(h);
  for (int i = 0; i < n; ++i)
    if (detail::discarded(t.discards(p), h.waits[i])) return 1;
  return 0;
}

void get_yaku_stat(State& s) {
  Table& t = s.table;
  const MjHand& h = s.last;
  t.yaku_no.fill(-1);
  t.yaku_han.fill(-1);
  for (int i = 0; i < h.yaku.count; ++i) {
    t.yaku_no[i] = h.yaku.entries[i].yaku;
    t.yaku_han[i] = h.yaku.entries[i].han;
  }
  t.yaku_fu_total = h.fu;
  t.yaku_han_total = h.han;
  t.yaku_man_total = limit_class(h.ron_points, h.seat_wind == 0);
  t.yaku_score = h.ron_points;
  t.yaku_score_oya = h.dealer_pays;
  t.yaku_score_ko = h.others_pay;
  t.yaku_is_tumo = h.tsumo;
  t.yaku_is_reach = h.reach;
  t.yaku_my_kaze = h.seat_wind;
}

namespace {

// Moves three concealed copies of `code` into the meld group at slot m,
// numbered as copies 0-2, with `flag`. The caller has checked the copies.
void gather_kan(HandSpan hand, HandSpan flags, HandSpan marks, int m, int code, int flag) {
  for (int k = 0; k < 3; ++k) {
    int j = detail::find_concealed(hand, flags, code, m + k);
    std::swap(hand[m + k], hand[j]);
    hand[m + k] = code * 10 + k;
    flags[m + k] = flag;
    marks[m + k] = 0;
  }
}

}  // namespace

int get_player_can_kan(Table& t, int mode) {
  if (t.kan_kazu < 0 || t.pi_tumo_nokori <= 0) return 0;
  HandSpan hand = t.hand(kPlayer), flags = t.flags(kPlayer);
  // Copies held concealed or in a pon, in slots [0, to).
  auto held = [&](int code, int to) {
    int n = 0;
    for (int i = 0; i < to; ++i) n += tile_code(hand[i]) == code && (flags[i] == 0 || flags[i] == kFlagPon);
    return n;
  };
  const int drawn = tile_code(hand[kHandSize - 1]);
  if (t.my_is_reach != 0) {
    if (drawn == 0 || held(drawn, kHandSize - 1) != 3) return 0;
    // A kan in riichi must not change the waits.
    MjHand before = situation(t, kPlayer);
    MjHand after = before;
    int m = detail::meld_slots(HandSpan(after.meld_flags));
    if (m > 9 || detail::concealed_copies(HandSpan(after.hand), HandSpan(after.meld_flags), drawn, m, kHandSize - 1) != 3)
      return 0;
    after.hand[kHandSize - 1] = kEmptySlot;
    gather_kan(HandSpan(after.hand), HandSpan(after.meld_flags), HandSpan(after.called_marks), m, drawn,
               kFlagConcealedKan);
    detail::sort_from(HandSpan(after.hand), m + 3);
    return waits_of(before) == waits_of(after) ? 1 : 0;
  }
  if (mode != 0) {
    for (int code = 1; code < kCodeCount; ++code)
      if (is_tile(code) && held(code, kHandSize) == 4) return 1;
    return 0;
  }
  return drawn != 0 && held(drawn, kHandSize - 1) == 3 ? 1 : 0;
}

// [SECTION] Calls and kans --------------------------------------------------------

int pi_kan(Table& t, int p, int value) {
  const int code = tile_code(value);
  if (!t.is_seat(p) || code == 0) return 0;
  HandSpan hand = t.hand(p), flags = t.flags(p), marks = t.marks(p);
  const int m = detail::meld_slots(flags);
  int kans = 0, pon_at = -1;
  for (int g = 0; g < m; g += 3) {
    kans += flags[g] == kFlagOpenKan || flags[g] == kFlagConcealedKan;
    if (flags[g] == kFlagPon && tile_code(hand[g]) == code) pon_at = g;
  }
  const bool drawn = is_tile_value(hand[kHandSize - 1]);
  int result = 0;
  if (pon_at >= 0) {
    // Added to a pon: the fourth copy leaves the concealed tiles.
    int j = tile_code(hand[kHandSize - 1]) == code ? kHandSize - 1 : detail::find_concealed(hand, flags, code, m);
    if (j < 0) return 0;
    hand[j] = kEmptySlot;
    for (int k = 0; k < 3; ++k) {
      hand[pon_at + k] = code * 10 + k;
      flags[pon_at + k] = kFlagOpenKan;
    }
    detail::sort_from(hand, m);
  } else if (!drawn) {
    // On a discard: three copies in hand, the fourth is the discard.
    if (m > 9 || detail::concealed_copies(hand, flags, code, m, kHandSize) < 3) return 0;
    gather_kan(hand, flags, marks, m, code, kFlagOpenKan);
    marks[detail::called_place(t, m)] = 1;
    detail::sort_from(hand, m + 3);
  } else {
    if (m > 9 || detail::concealed_copies(hand, flags, code, m, kHandSize) < 4) return 0;
    gather_kan(hand, flags, marks, m, code, kFlagConcealedKan);
    hand[detail::find_concealed(hand, flags, code, m + 3)] = kEmptySlot;
    detail::sort_from(hand, m + 3);
    result = 1;
  }
  if (t.kan_kazu >= 0 && ++t.kan_kazu >= 4 && kans == 3) t.kan_kazu = -1;
  t.O_is_kan_cyokugo = 1;
  return result;
}

int pi_pon(Table& t, int p, int value) {
  const int code = tile_code(value);
  if (!t.is_seat(p) || code == 0) return 0;
  HandSpan hand = t.hand(p), flags = t.flags(p), marks = t.marks(p);
  const int m = detail::meld_slots(flags);
  // The fourteenth slot must be free: it receives the discard.
  if (m > 9 || is_tile_value(hand[kHandSize - 1]) ||
      detail::concealed_copies(hand, flags, code, m, kHandSize - 1) < 2)
    return 0;
  hand[kHandSize - 1] = value;
  for (int k = 0; k < 3; ++k) {
    int j = detail::find_concealed(hand, flags, code, m + k);
    std::swap(hand[m + k], hand[j]);
    flags[m + k] = kFlagPon;
    marks[m + k] = 0;
  }
  marks[detail::called_place(t, m)] = 1;
  detail::sort_from(hand, m + 3);
  return 1;
}

int pi_chi(Table& t, int p, int value, int lowest) {
  const int code = tile_code(value);
  if (!t.is_seat(p) || code == 0 || !is_number_code(lowest) || tile_number(lowest) > 7 || code < lowest ||
      code > lowest + 2)
    return 0;
  HandSpan hand = t.hand(p), flags = t.flags(p), marks = t.marks(p);
  const int m = detail::meld_slots(flags);
  if (m > 9 || is_tile_value(hand[kHandSize - 1])) return 0;
  for (int k = 0; k < 3; ++k)
    if (lowest + k != code && detail::concealed_copies(hand, flags, lowest + k, m, kHandSize - 1) == 0) return 0;
  hand[kHandSize - 1] = hand[m];
  hand[m] = value;
  for (int k = 0; k < 3; ++k) {
    int j = detail::find_concealed(hand, flags, lowest + k, m + k);
    std::swap(hand[m + k], hand[j]);
    flags[m + k] = k + 1;
    marks[m + k] = lowest + k == code;
  }
  detail::sort_from(hand, m + 3);
  return 1;
}

// [SECTION] Settlement -------------------------------------------------------------

int ryukyoku_pay(Table& t) {
  const int n = t.players();
  bool ready[4] = {};
  int a = 0;
  for (int p = 0; p < t.opponents(); ++p) a += ready[p] = t.com_is_tenpai[p] != 0;
  MjHand mine = situation(t, kPlayer);
  a += ready[kPlayer] = MjWaits(mine) > 0;

  int receive = 0, pay = 0;
  if (n == 4 && a >= 1 && a <= 3) {
    static constexpr int kReceive[] = {0, 30, 15, 10}, kPay[] = {0, 10, 15, 30};
    receive = kReceive[a], pay = kPay[a];
  } else if (n == 3 && a >= 1 && a <= 2) {
    receive = a == 1 ? 30 : 15, pay = a == 1 ? 15 : 30;
  } else if (n == 2 && a == 1) {
    receive = pay = 15;
  }
  if (t.in_suv != 0) receive = 0;

  int dealer_ready = 0;
  auto settle = [&](int p, int& score) {
    if (a == 0 || a == n) return;
    score += ready[p] ? receive : -pay;
  };
  for (int p = 0; p < t.opponents(); ++p) {
    settle(p, t.com_score[p]);
    if (ready[p] && t.com_kaze[p] == 0) dealer_ready = 1;
  }
  settle(kPlayer, t.my_score);
  if (ready[kPlayer] && t.my_kaze == 0) dealer_ready = 1;
  return dealer_ready;
}

}  // namespace mj
