// Seeded random winning hands with random win situations, for property
// tests and the benchmark. Header-only so that bench/ can use it too.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>

#include "mahjong/evaluate.h"

namespace mj_test {

class RandomHands {
 public:
  explicit RandomHands(uint32_t seed) : rng_(seed) {}

  // A complete hand: mostly a pair and four melds (some called or kans),
  // sometimes seven pairs or thirteen orphans; a random win situation.
  mj::MjHand winning() {
    for (;;) {
      mj::MjHand h;
      bool ok;
      int shape = below(20);
      if (shape == 0) ok = seven_pairs(h);
      else if (shape == 1) ok = orphans(h);
      else ok = standard(h);
      if (!ok) continue;
      situation(h);
      return h;
    }
  }

  // Thirteen random tiles (at most four of a code) and an empty slot.
  mj::MjHand thirteen() {
    mj::MjHand h;
    std::array<int, mj::kCodeCount> used{};
    for (int i = 0; i < 13;) {
      int code = random_code();
      if (used[code] == 4) continue;
      h.hand[i++] = code * 10 + used[code]++;
    }
    std::sort(h.hand.begin(), h.hand.begin() + 13);
    return h;
  }

  int below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  int random_code() {
    for (;;) {
      int c = 1 + below(37);
      if (mj::is_tile(c)) return c;
    }
  }

  int random_value() { return random_code() * 10 + below(4); }

 private:
  // Takes one copy of `code`; the copies are handed out in random order so
  // that red fives appear now and then.
  bool take(int code, int& value) {
    if (used_[code] == 4) return false;
    value = code * 10 + order_[code][used_[code]++];
    return true;
  }

  void reset() {
    used_.fill(0);
    for (auto& o : order_) {
      o = {0, 1, 2, 3};
      std::shuffle(o.begin(), o.end(), rng_);
    }
  }

  bool standard(mj::MjHand& h) {
    reset();
    int called = below(3) == 0 ? 1 + below(4) : 0;
    int kans = below(6) == 0 ? 1 + below(2) : 0;
    int slot = 0;
    std::array<int, 14> concealed{};
    int concealed_count = 0;
    for (int m = 0; m < 4; ++m) {
      bool is_kan = m < kans;
      bool is_called = m < called || is_kan;
      bool sequence = !is_kan && below(2) == 0;
      int code = sequence ? sequence_start() : random_code();
      int values[3];
      if (sequence) {
        for (int k = 0; k < 3; ++k)
          if (!take(code + k, values[k])) return false;
      } else if (is_kan) {
        if (used_[code] != 0) return false;
        used_[code] = 4;
        for (int k = 0; k < 3; ++k) values[k] = code * 10 + k;
      } else {
        for (int k = 0; k < 3; ++k)
          if (!take(code, values[k])) return false;
      }
      if (is_called) {
        int flag = is_kan ? (below(2) ? mj::kFlagOpenKan : mj::kFlagConcealedKan) : sequence ? 0 : mj::kFlagPon;
        for (int k = 0; k < 3; ++k) {
          h.hand[slot] = values[k];
          h.meld_flags[slot++] = flag ? flag : k + 1;
        }
      } else {
        for (int k = 0; k < 3; ++k) concealed[concealed_count++] = values[k];
      }
    }
    int pair = random_code();
    for (int k = 0; k < 2; ++k)
      if (!take(pair, concealed[concealed_count++])) return false;
    std::shuffle(concealed.begin(), concealed.begin() + concealed_count, rng_);
    std::sort(concealed.begin(), concealed.begin() + concealed_count - 1);
    for (int i = 0; i < concealed_count; ++i) h.hand[slot++] = concealed[i];
    return slot == mj::kHandSize;
  }

  bool seven_pairs(mj::MjHand& h) {
    reset();
    std::array<int, 14> v{};
    std::array<bool, mj::kCodeCount> chosen{};
    for (int p = 0; p < 7; ++p) {
      int code = random_code();
      if (chosen[code]) return false;
      chosen[code] = true;
      take(code, v[2 * p]);
      take(code, v[2 * p + 1]);
    }
    std::shuffle(v.begin(), v.end(), rng_);
    std::copy(v.begin(), v.end(), h.hand.begin());
    return true;
  }

  bool orphans(mj::MjHand& h) {
    reset();
    std::array<int, 14> v{};
    for (int i = 0; i < 13; ++i) take(mj::kOrphanCodes[i], v[i]);
    take(mj::kOrphanCodes[below(13)], v[13]);
    std::shuffle(v.begin(), v.end(), rng_);
    std::copy(v.begin(), v.end(), h.hand.begin());
    return true;
  }

  int sequence_start() { return 1 + below(7) + 10 * below(3); }

  void situation(mj::MjHand& h) {
    bool closed = std::none_of(h.meld_flags.begin(), h.meld_flags.end(), [](int f) { return f > 0; });
    h.tsumo = below(2);
    h.reach = closed ? below(3) : 0;
    h.ippatsu = h.reach ? below(4) == 0 : 0;
    h.seat_wind = below(4);
    h.round_wind = below(2);
    h.rinshan = below(10) == 0;
    h.haitei = below(15) == 0;
    h.first_turn = below(40) == 0;
    int indicators = 1 + below(4);
    for (int i = 0; i < indicators; ++i) h.dora[i] = random_value();
    h.rules.players = 2 + below(3);
    h.rules.con_en = below(2);
    h.rules.kuitan = below(2);
    h.rules.tumopin = below(2);
    h.rules.akau = below(2);
  }

  std::mt19937 rng_;
  std::array<int, mj::kCodeCount> used_{};
  std::array<std::array<int, 4>, mj::kCodeCount> order_{};
};

}  // namespace mj_test
