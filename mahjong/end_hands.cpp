// End hands from style recipes.
//
// [SECTION] Tile classes
// [SECTION] Pieces
// [SECTION] Building blocks
// [SECTION] Recipes by style
// [SECTION] Per match
#include "mahjong/end_hands.h"

#include <algorithm>
#include <cstdint>

namespace mj {

namespace {

// [SECTION] Tile classes -------------------------------------------------------

// Class k of a piece is bit k of these masks: 0 any tile, 1 simples,
// 2 characters, 3 circles, 4 bamboo, 5 honours, 6 terminals (pairs),
// dragons (pons), or sequences from 1 and 7 (chis).
template <typename F>
constexpr std::array<uint8_t, kCodeCount> class_table(F f) {
  std::array<uint8_t, kCodeCount> t{};
  for (int c = 0; c < kCodeCount; ++c) t[c] = f(c);
  return t;
}

constexpr uint8_t number_bits(int c) {
  int n = tile_number(c);
  return static_cast<uint8_t>(1 | (n >= 2 && n <= 8 ? 2 : 0) | (4 << tile_suit(c)));
}

constexpr auto kPairClass = class_table([](int c) -> uint8_t {
  if (is_number_code(c)) return number_bits(c) | ((tile_number(c) == 1 || tile_number(c) == 9) ? 64 : 0);
  return is_honour_code(c) ? 1 | 32 : 0;
});
constexpr auto kPonClass = class_table([](int c) -> uint8_t {
  if (is_number_code(c)) return number_bits(c);
  return is_honour_code(c) ? 1 | 32 | (is_dragon_code(c) ? 64 : 0) : 0;
});
constexpr auto kChiClass = class_table([](int c) -> uint8_t {
  if (!is_number_code(c) || tile_number(c) > 7) return 0;
  int n = tile_number(c);
  return static_cast<uint8_t>(1 | (n >= 2 && n <= 6 ? 2 : 0) | (4 << tile_suit(c)) | (n == 1 || n == 7 ? 64 : 0));
});

// Random choices are retried until they fit; after this many attempts a
// piece checks that anything fits at all, so a recipe never loops for ever.
// Fixed shapes check first that some choice fits (with three players no
// three-colour shape does), and fall back to ordinary pieces otherwise.
constexpr int kAttempts = 100;

// [SECTION] Pieces ---------------------------------------------------------------

class Builder {
 public:
  Builder(int players, base::Random& rng) : players_(players), rng_(rng) {
    for (int c = 0; c < kCodeCount; ++c) {
      bool absent = !is_tile(c) || (players == 3 && c >= 2 && c <= 8);
      avail_[c] = absent ? 0 : 4;
    }
  }

  EndHand hand;
  int rand() { return rng_.next(); }
  int random_suit() { return 2 + rand() % 3; }
  void flags(int reach, int call) { hand.may_reach = reach, hand.may_call = call; }

  void pair(int k) {
    k = cls(k);
    for (int attempt = 0;; ++attempt) {
      if (attempt == kAttempts && !any_fits(k, [&](int c, int kk) { return pair_fits(c, kk); })) {
        if (k == 0) return;
        k = 0, attempt = 0;
      }
      int c = rand() % kCodeCount;
      if (pair_fits(c, k)) return place_run(c, 0, 2);
    }
  }

  void pon(int k) {
    k = cls(k);
    for (int attempt = 0;; ++attempt) {
      if (attempt == kAttempts) {
        k = 0;
        if (!any_fits(0, [&](int c, int kk) { return pon_fits(c, kk); })) return;
      }
      int c = rand() % kCodeCount;
      if (pon_fits(c, k)) return place_run(c, kFlagPon, 3);
    }
  }

  void chi(int k) {
    k = cls(k);
    for (int attempt = 0;; ++attempt) {
      if (attempt == kAttempts) {
        k = 0;
        if (!any_fits(0, [&](int c, int kk) { return chi_fits(c, kk); })) return;
      }
      int start = rand() % 27;
      if (chi_fits(start, k)) return sequence(start);
    }
  }

  void dragon_pon() {
    if (avail_[kWhite] < 3 && avail_[kGreen] < 3 && avail_[kRed] < 3) return pon(0);
    for (;;) {
      int c = kWhite + rand() % 3;
      if (avail_[c] >= 3) return place_run(c, kFlagPon, 3);
    }
  }

  void mix(int k) { rand() & 1 ? chi(k) : pon(k); }
  void mix3(int k) { rand() % 3 != 0 ? chi(k) : pon(k); }

  // A sequence from `start`, planned as a chi.
  void sequence(int start) {
    for (int k = 0; k < 3; ++k) place(start + k, k + 1);
  }
  bool sequences_free(std::initializer_list<int> starts, int copies) const {
    std::array<int, kCodeCount> need{};
    for (int s : starts)
      for (int k = 0; k < 3; ++k) need[s + k] += copies;
    for (int c = 0; c < kCodeCount; ++c)
      if (need[c] > avail_[c]) return false;
    return true;
  }
  // The sequence when its tiles are free, else any chi.
  void sequence_or_chi(int start) { sequences_free({start}, 1) ? sequence(start) : chi(0); }

  void place(int code, int plan) {
    if (slots_ == kHandSize || !is_tile(code)) return;
    hand.codes[slots_] = code;
    hand.plan[slots_++] = plan;
    if (avail_[code] > 0) --avail_[code];
  }
  void place_run(int code, int plan, int n) {
    for (int i = 0; i < n; ++i) place(code, plan);
  }

  bool free(int code, int copies) const { return is_tile(code) && avail_[code] >= copies; }
  bool banned(int code) const { return players_ == 3 && code == 34; }
  int players() const { return players_; }

 private:
  // With three players the characters class is read as "any tile".
  int cls(int k) const { return players_ == 3 && k == 2 ? 0 : k; }
  bool pair_fits(int c, int k) const { return (kPairClass[c] >> k & 1) && avail_[c] >= 3 && !banned(c); }
  bool pon_fits(int c, int k) const { return (kPonClass[c] >> k & 1) && avail_[c] >= 3 && !banned(c); }
  bool chi_fits(int s, int k) const {
    return (kChiClass[s] >> k & 1) && avail_[s] >= 1 && avail_[s + 1] >= 1 && avail_[s + 2] >= 1;
  }
  template <typename F>
  bool any_fits(int k, F fits) const {
    for (int c = 0; c < kCodeCount; ++c)
      if (fits(c, k)) return true;
    return false;
  }

  int players_;
  base::Random& rng_;
  std::array<int, kCodeCount> avail_{};
  int slots_ = 0;
};

// [SECTION] Building blocks --------------------------------------------------------

void basic(Builder& b) {
  b.flags(1, 0);
  b.pair(0), b.chi(0), b.chi(6), b.mix(0), b.mix(0);
}

void honour_pons(Builder& b) {
  b.flags(0, 1);
  b.pair(0), b.pon(6), b.pon(5), b.chi(0), b.chi(0);
}

void all_simples(Builder& b) {
  b.flags(0, b.rand() % 3 == 0);
  b.pair(1), b.chi(1), b.chi(1), b.mix3(1), b.mix3(1);
}

void flush_flags(Builder& b) {
  int reach = b.rand() & 1;
  b.flags(reach, reach ? 0 : b.rand() % 3 == 0);
}

// The pieces of a half flush in suit class s.
void half_flush_pieces(Builder& b, int s) {
  b.pair(5);
  b.rand() % 3 == 0 ? b.pon(s) : b.pon(5);
  b.chi(s);
  for (int i = 0; i < 2; ++i) b.rand() % 3 != 0 ? b.chi(s) : b.pon(s);
}

void half_flush(Builder& b, int s) {
  flush_flags(b);
  half_flush_pieces(b, s);
}

void full_flush(Builder& b, int s) {
  flush_flags(b);
  b.pair(s), b.pon(s), b.chi(s);
  for (int i = 0; i < 2; ++i) b.rand() % 3 != 0 ? b.chi(s) : b.pon(s);
}

void thirteen_orphans(Builder& b) {
  b.flags(1, 0);
  for (int code : kOrphanCodes) b.place(code, 0);
  for (;;) {
    int code = kOrphanCodes[b.rand() % 13];
    if (!b.banned(code)) return b.place(code, 0);
  }
}

// Whether fits(x) holds for some x in [0, n).
template <typename F>
bool some(int n, F fits) {
  for (int x = 0; x < n; ++x)
    if (fits(x)) return true;
  return false;
}

void twin_sequences(Builder& b) {
  b.flags(1, 0);
  b.pair(0);
  auto fits = [&](int start) { return tile_number(start) >= 1 && tile_number(start) <= 7 && b.sequences_free({start}, 2); };
  if (!some(28, fits)) return b.chi(0), b.chi(0), b.chi(0), b.pon(0);
  for (;;) {
    int start = b.rand() % 7 + 1;
    start += 10 * (b.rand() % 3);
    if (!fits(start)) continue;
    b.sequence(start), b.sequence(start);
    return b.chi(0), b.pon(0);
  }
}

bool three_colour_free(const Builder& b, int c) { return b.sequences_free({c + 1, c + 11, c + 21}, 1); }

void three_colour(Builder& b) {
  b.flags(0, 1);
  b.pair(0);
  if (!some(7, [&](int c) { return three_colour_free(b, c); })) return b.chi(0), b.chi(0), b.chi(0), b.pon(0);
  for (;;) {
    int c = b.rand() % 7;
    if (!three_colour_free(b, c)) continue;
    b.sequence(c + 1), b.sequence(c + 11), b.sequence(c + 21);
    return b.pon(0);
  }
}

void seven_pairs(Builder& b) {
  b.flags(1, 0);
  for (int pair = 0; pair < 7; ++pair) {
    for (;;) {
      int code;
      if (b.rand() % 4 == 0) {
        code = b.rand() % 9 + 1;
        code += 10 * (b.rand() % 3);
      } else {
        code = kEast + b.rand() % 7;
      }
      if (b.free(code, 3) && !b.banned(code)) {
        b.place_run(code, 0, 2);
        break;
      }
    }
  }
}

void four_pons(Builder& b) {
  b.flags(0, 1);
  b.pair(0), b.pon(0), b.pon(0), b.pon(0), b.pon(0);
}

void three_colour_pair_last(Builder& b) {
  b.flags(0, 1);
  int c = b.rand() % 7;
  if (some(7, [&](int x) { return three_colour_free(b, x); }))
    while (!three_colour_free(b, c)) c = b.rand() % 7;
  b.sequence_or_chi(c + 1), b.sequence_or_chi(c + 11), b.sequence_or_chi(c + 21);
  b.pon(0), b.pair(0);
}

void dragon_opening(Builder& b) {
  b.flags(1, 1);
  b.dragon_pon(), b.pair(0), b.chi(0), b.chi(0), b.pon(0);
}

void pure_straight(Builder& b, int pon_class) {
  b.flags(0, 1);
  b.pair(0);
  auto fits = [&](int suit) { return b.sequences_free({10 * suit + 1, 10 * suit + 4, 10 * suit + 7}, 1); };
  if (!some(3, fits)) return b.chi(0), b.chi(0), b.chi(0), b.pon(pon_class);
  for (;;) {
    int suit = b.rand() % 3;
    if (!fits(suit)) continue;
    b.sequence(10 * suit + 1), b.sequence(10 * suit + 4), b.sequence(10 * suit + 7);
    return b.pon(pon_class);
  }
}

// Basic, all simples or a half flush, a third each.
void basic_simples_or_flush(Builder& b) {
  switch (b.rand() % 3) {
    case 0: return basic(b);
    case 1: return all_simples(b);
    default: return half_flush(b, b.random_suit());
  }
}

// [SECTION] Recipes by style -----------------------------------------------------------

// A sequence of three colours from the 1s or the 7s, the middle one maybe
// shifted a step toward the centre.
void outside_three_colour(Builder& b) {
  b.pair(0);
  int f = b.rand() & 1 ? 1 : 7;
  int shift = 0;
  if (!(b.rand() & 1)) shift = b.rand() & 1 ? (f == 1 ? 1 : -1) : 0;
  b.sequence_or_chi(f), b.sequence_or_chi(f + 10 + shift), b.sequence_or_chi(f + 20);
  b.pon(5);
  b.flags(0, 1);
}

void fixed_sets(Builder& b) {
  static constexpr int kTriplets[] = {11, 12, 13, 14, 16, 17, 18, 21, 22, 23, 24, 26, 28, 31, 32, 33, 34, 35, 36};
  static constexpr int kStarts[] = {11, 12, 13, 14, 16, 21, 22, 23, 24, 25, 26};
  constexpr int kTripletCount = sizeof kTriplets / sizeof kTriplets[0];
  constexpr int kStartCount = sizeof kStarts / sizeof kStarts[0];
  b.flags(0, 0);
  for (;;) {
    int code = kTriplets[b.rand() % kTripletCount];
    if (!b.banned(code)) {
      b.place_run(code, 0, 2);
      break;
    }
  }
  auto pon_fits = [&](int i) { return b.free(kTriplets[i], 3) && !b.banned(kTriplets[i]); };
  for (int pon = 0; pon < 2; ++pon) {
    if (!some(kTripletCount, pon_fits)) {
      b.pon(0);
      continue;
    }
    for (;;) {
      int i = b.rand() % kTripletCount;
      if (!pon_fits(i)) continue;
      b.place_run(kTriplets[i], kFlagPon, 3);
      break;
    }
  }
  auto chi_fits = [&](int i) { return b.sequences_free({kStarts[i]}, 1); };
  for (int chi = 0; chi < 2; ++chi) {
    if (!some(kStartCount, chi_fits)) {
      b.chi(0);
      continue;
    }
    for (;;) {
      int i = b.rand() % kStartCount;
      if (!chi_fits(i)) continue;
      b.sequence(kStarts[i]);
      break;
    }
  }
}

void style_recipe(Builder& b, int style) {
  switch (style) {
    case 1:
    case 4: return basic(b);
    case 2: return honour_pons(b);
    case 3: return three_colour(b);
    case 5: return b.rand() % 3 != 0 ? basic(b) : half_flush(b, 3);
    case 6: return seven_pairs(b);
    case 7:
      b.pair(0), b.pon(0), b.pon(0), b.pon(0), b.pon(0);
      return b.flags(0, 1);
    case 8:
      b.pair(0), b.chi(0), b.chi(0), b.chi(0), b.chi(0);
      return b.flags(0, 0);
    case 9:
    case 11:
      b.pair(1), b.chi(1), b.chi(1), b.chi(1), b.chi(1);
      return style == 9 ? b.flags(0, 1) : b.flags(1, 0);
    case 10:
      b.pair(4), b.chi(6), b.chi(6), b.chi(6), b.pon(5);
      return b.flags(0, 1);
    case 12:
      if (b.rand() & 1) four_pons(b);
      else b.pair(0), b.pon(0), b.pon(0), b.pon(0), b.chi(0);
      return b.flags(0, 1);
    case 13: return half_flush(b, b.random_suit());
    case 14: return outside_three_colour(b);
    case 15:
      switch (b.rand() % 3) {
        case 0: all_simples(b); break;
        case 1: basic(b); break;
        default: twin_sequences(b); break;
      }
      b.hand.may_call = 0;
      return;
    case 16: return pure_straight(b, 0);
    case 17: return b.rand() & 1 ? twin_sequences(b) : three_colour_pair_last(b);
    case 18:
      if (b.rand() % 3 == 0) return full_flush(b, b.random_suit());
      b.pair(6), b.chi(6), b.chi(6), b.chi(6), b.chi(6);
      return b.flags(0, 1);
    case 19:
    case 30: {
      int i = b.random_suit(), j = b.random_suit();
      while (j == i) j = b.random_suit();
      if (style == 19) {
        b.pair(j), b.chi(i), b.chi(i), b.chi(i), b.pon(j);
        return b.flags(1, 0);
      }
      b.pair(i), b.pon(5), b.pon(5), b.chi(j), b.chi(j);
      return b.flags(0, 0);
    }
    case 20:
    case 24:
    case 33:
    case 41: return basic_simples_or_flush(b);
    case 21:
      b.dragon_pon(), b.pair(0), b.pon(0), b.pon(0);
      switch (b.rand() % 3) {
        case 0: b.pon(0); break;
        case 1: b.chi(0); break;
        default: b.pon(5); break;
      }
      return b.flags(0, 1);
    case 22: return three_colour_pair_last(b);
    case 23: return b.rand() & 1 ? full_flush(b, 2) : half_flush(b, 2);
    case 25:
    case 32: return b.rand() & 1 ? basic(b) : all_simples(b);
    case 26:
    case 28:
    case 53:
      b.rand() & 1 ? all_simples(b) : half_flush(b, b.random_suit());
      b.hand.may_call = 1;
      b.hand.may_reach = b.rand() & 1;
      return;
    case 27: return thirteen_orphans(b);
    case 29: return fixed_sets(b);
    case 31:
      half_flush(b, b.random_suit());
      return b.flags(0, 1);
    case 34:
    case 35:
    case 38:
      if (style == 34) {
        switch (b.rand() % 3) {
          case 0: full_flush(b, b.random_suit()); break;
          case 1: all_simples(b); break;
          default: half_flush(b, b.random_suit()); break;
        }
      } else {
        basic_simples_or_flush(b);
      }
      return style == 38 ? b.flags(1, 0) : b.flags(0, 0);
    case 39:
      switch (b.rand() % 3) {
        case 0: return thirteen_orphans(b);
        case 1:
          four_pons(b);
          b.hand.may_call = 0;
          return;
        default:
          b.pair(0);
          for (int d = kWhite; d <= kRed; ++d) b.free(d, 3) ? b.place_run(d, kFlagPon, 3) : b.pon(0);
          return b.pon(0);
      }
    case 40:
      switch (b.rand() % 3) {
        case 0: return twin_sequences(b);
        case 1:
          b.pair(1), b.chi(1), b.chi(1), b.chi(1), b.chi(1);
          return;
        default: return three_colour_pair_last(b);
      }
    case 42: return b.rand() & 1 ? four_pons(b) : seven_pairs(b);
    case 43:
      b.pair(1), b.pon(1), b.pon(1), b.pon(1), b.pon(1);
      return b.flags(0, 1);
    case 44:
      switch (b.rand() % 6) {
        case 0: return full_flush(b, b.random_suit());
        case 1:
        case 2: return all_simples(b);
        case 3: return half_flush(b, b.random_suit());
        default: return basic(b);
      }
    case 45:
    case 46:
    case 52:
      switch (b.rand() % 7) {
        case 0: return dragon_opening(b);
        case 1:
        case 2: return all_simples(b);
        case 3: return half_flush(b, b.random_suit());
        case 4: return style == 46 ? twin_sequences(b) : three_colour_pair_last(b);
        default: return basic(b);
      }
    case 47:
      pure_straight(b, 5);
      return b.flags(0, 0);
    case 48: return b.rand() & 1 ? full_flush(b, 3) : half_flush(b, 3);
    case 49:
      b.pair(0), b.chi(0), b.chi(6), b.mix(0), b.mix(0);
      return b.flags(0, 1);
    case 50:
      half_flush_pieces(b, 4);
      return b.flags(0, 1);
    case 51:
      b.pair(0), b.chi(0), b.chi(0), b.pon(6), b.pon(6);
      return b.flags(0, 1);
    default:
      b.pair(0), b.pon(0), b.pon(0), b.pon(0);
      b.rand() & 1 ? b.chi(0) : b.pon(0);
      return b.flags(1, 0);
  }
}

}  // namespace

EndHand build_end_hand(int style, int players, base::Random& rng) {
  Builder b(players, rng);
  // These styles always play their own recipe; the thirteen-orphans style
  // always aims at thirteen orphans.
  const bool own_recipe_only =
      style == 27 || style == 35 || style == 39 || style == 48 || style == 49 || style == 50 || style == 51;
  if (!own_recipe_only && (b.rand() & 1)) {
    switch (b.rand() % 4) {
      case 0: honour_pons(b); break;
      case 1: three_colour(b); break;
      case 2: basic(b); break;
      default: twin_sequences(b); break;
    }
  } else {
    style_recipe(b, style);
  }
  return b.hand;
}

// [SECTION] Per match ------------------------------------------------------------------

void set_com_end(State& s, base::Random& rng, int difficulty) {
  Table& t = s.table;
  const int n = t.opponents();
  std::array<int, kOpponents> order = {0, 1, 2};
  if (t.players() >= 3) {
    // The favoured opponent: the highest draw weighted by strength.
    std::array<int, kOpponents> draw{};
    for (int p = 0; p < n; ++p) draw[p] = rng.next() % (4 * std::clamp(t.com_tuyosa[p], 1, 1 << 20));
    std::stable_sort(order.begin(), order.begin() + n, [&](int a, int b) { return draw[a] > draw[b]; });
  }
  t.com_yuusen = order[0];
  static constexpr int kDifficultyBonus[5] = {0, 1, 2, 3, 5};
  for (int i = 0; i < n; ++i) {
    const int p = order[i];
    int progress = rng.next() % 3 + 4;
    if (t.in_suv == 0 && t.players() != 2) progress += kDifficultyBonus[std::clamp(difficulty, 0, 4)];
    t.com_te_susunda[p] = progress;
    EndHand h = build_end_hand(t.com_lvl[p], t.players(), rng);
    if (p == t.com_yuusen)
      for (int code : h.codes) s.wall.set_aside(code);
    std::copy(h.codes.begin(), h.codes.end(), t.end_hand(p).begin());
    std::copy(h.plan.begin(), h.plan.end(), t.end_plan(p).begin());
    t.com_do_reach[p] = h.may_reach;
    t.com_do_naki[p] = h.may_call;
    t.com_is_tenpai[p] = 0;
  }
}

}  // namespace mj
