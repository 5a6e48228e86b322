// End hands from every style recipe, and the per-match choices.
#include "mahjong/end_hands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "mahjong/play.h"

namespace {

using namespace mj;

// A hand of real tile values for the codes (copies numbered in order).
MjHand as_hand(const std::array<int, kHandSize>& codes) {
  MjHand h;
  std::map<int, int> copies;
  for (int i = 0; i < kHandSize; ++i) h.hand[i] = codes[i] * 10 + copies[codes[i]]++;
  return h;
}

// Pairs are planned 0, pons as three 4s of one code, chis as 1-2-3 in
// consecutive slots and codes.
void expect_plan_fits(const EndHand& h) {
  for (int i = 0; i < kHandSize;) {
    int plan = h.plan[i];
    if (plan == 0) {
      ++i;
      continue;
    }
    ASSERT_LE(i + 3, kHandSize);
    for (int k = 0; k < 3; ++k) {
      if (plan == kFlagPon) {
        ASSERT_EQ(h.plan[i + k], kFlagPon);
        ASSERT_EQ(h.codes[i + k], h.codes[i]);
      } else {
        ASSERT_EQ(h.plan[i + k], k + 1);
        ASSERT_EQ(h.codes[i + k], h.codes[i] + k);
      }
    }
    i += 3;
  }
}

TEST(EndHands, EveryStyleBuildsACompleteHand) {
  base::Random rng;
  rng.seed(2024);
  for (int players : {2, 3, 4}) {
    for (int style = -1; style <= 56; ++style) {
      for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(testing::Message() << players << " players, style " << style << ", round " << round);
        EndHand h = build_end_hand(style, players, rng);
        std::array<int, kCodeCount> count{};
        for (int c : h.codes) {
          ASSERT_TRUE(is_tile(c)) << c;
          ++count[c];
        }
        for (int c = 1; c < kCodeCount; ++c) ASSERT_LE(count[c], 4) << "code " << c;
        if (players == 3) {
          for (int c = 2; c <= 8; ++c) ASSERT_EQ(count[c], 0) << "no characters 2-8 with three players";
          ASSERT_LE(count[34], 1) << "no North pair or pon with three players";
        }
        expect_plan_fits(h);
        ASSERT_GT(MjIsComplete(as_hand(h.codes)), 0);
        ASSERT_TRUE(h.may_reach == 0 || h.may_reach == 1);
        ASSERT_TRUE(h.may_call == 0 || h.may_call == 1);
      }
    }
  }
}

TEST(EndHands, RecipesKeepTheirShape) {
  base::Random rng;
  rng.seed(99);
  int two_dragon_pons = 0, all_simples = 0;
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(MjIsComplete(as_hand(build_end_hand(27, 4, rng).codes)), 3) << "thirteen orphans, always";

    EndHand bamboo = build_end_hand(50, 4, rng);
    for (int c : bamboo.codes) EXPECT_TRUE(tile_suit(c) == 2 || is_honour_code(c)) << c;
    EXPECT_EQ(bamboo.may_reach, 0);
    EXPECT_EQ(bamboo.may_call, 1);

    EndHand circles = build_end_hand(48, 4, rng);
    for (int c : circles.codes) EXPECT_TRUE(tile_suit(c) == 1 || is_honour_code(c)) << c;

    EndHand two_dragons = build_end_hand(51, 4, rng);
    int dragon_pons = 0;
    for (int i = 0; i < kHandSize; ++i) dragon_pons += two_dragons.plan[i] == kFlagPon && is_dragon_code(two_dragons.codes[i]);
    EXPECT_GE(dragon_pons, 3);
    two_dragon_pons += dragon_pons == 6;  // a pon that finds no dragon in 100 tries takes any tile

    EndHand quiet = build_end_hand(35, 4, rng);
    EXPECT_EQ(quiet.may_reach + quiet.may_call, 0);

    // Style 9 is a pair and four chis of simples, which may call but not
    // reach; of the common recipes it may be replaced by, those that may
    // call also hold a pon. So a hand of four chis from it holds only 2-8.
    EndHand simples = build_end_hand(9, 4, rng);
    if (std::count(simples.plan.begin(), simples.plan.end(), kFlagPon) == 0 && simples.may_call == 1) {
      ++all_simples;
      for (int c : simples.codes)
        EXPECT_TRUE(is_number_code(c) && tile_number(c) >= 2 && tile_number(c) <= 8) << c;
    }
  }
  EXPECT_GT(two_dragon_pons, 180);
  EXPECT_GT(all_simples, 60);
}

TEST(EndHands, HalfTheHandsTakeTheCommonRecipes) {
  base::Random rng;
  rng.seed(5);
  int seven_pairs = 0;
  for (int round = 0; round < 400; ++round) seven_pairs += MjIsComplete(as_hand(build_end_hand(6, 4, rng).codes)) == 2;
  EXPECT_GT(seven_pairs, 150);
  EXPECT_LT(seven_pairs, 250);
}

State match(int players, uint32_t seed) {
  State s;
  s.table.maj_mode = players;
  base::Random rng;
  rng.seed(seed);
  yama_init(s, rng);
  return s;
}

TEST(SetComEnd, FavouredOpponentsTilesAreSetAside) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    State s = match(4, seed);
    s.table.com_lvl = {20, 1, 44};
    base::Random rng;
    rng.seed(seed);
    set_com_end(s, rng, 0);
    int fav = s.table.com_yuusen;
    ASSERT_TRUE(fav >= 0 && fav <= 2);
    std::array<int, kCodeCount> wanted{}, aside{};
    for (int c : s.table.end_hand(fav)) ++wanted[c];
    for (int pos = 0; pos < s.wall.count(); ++pos)
      if (s.wall.taken_at(pos)) ++aside[s.wall.tile_at(pos) / 10];
    EXPECT_EQ(aside, wanted);
    for (int p = 0; p < 3; ++p) {
      EXPECT_GE(s.table.com_te_susunda[p], 4);
      EXPECT_LE(s.table.com_te_susunda[p], 6);
      EXPECT_EQ(s.table.com_is_tenpai[p], 0);
    }
  }
}

TEST(SetComEnd, StrengthDifficultyAndPlayerCount) {
  int strong_favoured = 0;
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    State s = match(4, seed);
    s.table.com_tuyosa = {1, 1000, 1};
    s.table.com_is_tenpai = {1, 1, 1};
    base::Random rng;
    rng.seed(seed);
    set_com_end(s, rng, 4);
    strong_favoured += s.table.com_yuusen == 1;
    for (int p = 0; p < 3; ++p) {
      EXPECT_GE(s.table.com_te_susunda[p], 9) << "difficulty 4 adds 5";
      EXPECT_LE(s.table.com_te_susunda[p], 11);
    }
    EXPECT_EQ(s.table.com_is_tenpai, (std::array<int, 3>{}));
  }
  EXPECT_GT(strong_favoured, 95);

  State two = match(2, 8);
  two.table.com_tuyosa = {0, 0, 0};  // not provided for; read as 1
  two.table.com_end.fill(-7);
  base::Random rng;
  set_com_end(two, rng, 4);
  EXPECT_EQ(two.table.com_yuusen, 0);
  EXPECT_LE(two.table.com_te_susunda[0], 6) << "no difficulty bonus with two players";
  EXPECT_EQ(two.table.com_end[kHandSize], -7) << "opponents not at the table keep their variables";

  State settled = match(3, 8);
  settled.table.in_suv = 1;
  set_com_end(settled, rng, 4);
  EXPECT_LE(settled.table.com_te_susunda[0], 6) << "no difficulty bonus under the settlement switch";
}

}  // namespace
