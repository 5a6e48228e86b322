// The computer opponents: throws, calls, ready hands and reveals.
#include "mahjong/opponents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mahjong/play.h"
#include "tests/mahjong/notation.h"

namespace {

using namespace mj;
using mj_test::value;

State match(uint32_t seed) {
  State s;
  base::Random rng;
  rng.seed(seed);
  yama_init(s, rng);
  return s;
}

// Gives opponent p an end hand and shows it.
void plan(Table& t, int p, std::vector<int> codes, std::vector<int> plans) {
  std::copy(codes.begin(), codes.end(), t.end_hand(p).begin());
  std::copy(plans.begin(), plans.end(), t.end_plan(p).begin());
  std::fill(t.flags(p).begin(), t.flags(p).end(), 0);
  com_show_hand(t, p);
}

// Codes of the first n slots of p's shown hand.
std::vector<int> shown_codes(const Table& t, int p, int n) {
  std::vector<int> out;
  for (int i = 0; i < n; ++i) out.push_back(t.hand(p)[i] / 10);
  return out;
}

// White pon planned, then 1-2-3m, 4-5-6p as chis, 7-8-9s, pair of 9p.
const std::vector<int> kCodes = {35, 35, 35, 1, 2, 3, 14, 15, 16, 27, 28, 29, 19, 19};
const std::vector<int> kPlans = {4, 4, 4, 1, 2, 3, 1, 2, 3, 0, 0, 0, 0, 0};

TEST(Throws, OneTileLeavesTheWall) {
  for (uint32_t seed = 1; seed <= 50; ++seed) {
    State s = match(seed);
    plan(s.table, 0, kCodes, kPlans);
    base::Random rng;
    rng.seed(seed);
    std::vector<int> first4;
    for (int k = 0; k < 4; ++k) first4.push_back(s.wall.tile_at(k));
    int tile = think_com_sute(s, rng, 0);
    EXPECT_NE(std::find(first4.begin(), first4.end(), tile), first4.end());
    EXPECT_EQ(s.wall.remaining(), 135);
    int in_wall = 0;
    for (int pos = s.wall.next_index(); pos < s.wall.count(); ++pos) in_wall += s.wall.tile_at(pos) / 10 == tile / 10;
    EXPECT_EQ(s.wall.unseen(tile / 10), in_wall);
  }
}

TEST(Throws, StyleTwentyNeverHandsThePlayerAWin) {
  int given_by_others = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    for (int style : {20, 1}) {
      State s = match(seed);
      mj_test::seat_hand(s.table, kPlayer, "123m456p789s11z23s");  // waits on 1s and 4s
      s.table.my_is_reach = 1;  // so that a discard wins
      s.table.com_lvl[0] = style;
      plan(s.table, 0, kCodes, kPlans);
      base::Random rng;
      rng.seed(seed);
      int code = think_com_sute(s, rng, 0) / 10;
      bool wins = code == 21 || code == 24;
      if (style == 20) EXPECT_FALSE(wins) << "seed " << seed;
      else given_by_others += wins;
    }
  }
  EXPECT_GT(given_by_others, 5) << "other styles do throw winning tiles";
}

TEST(Throws, ALuckyReadyOpponentDrawsItsWin) {
  int chances = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    State s = match(seed);
    mj_test::seat_hand(s.table, 1, "123m456p789s11z23s");
    s.table.com_is_tenpai[1] = 1;
    s.table.com_luck[1] = 100;
    s.table.com_unluck[1] = -1;
    bool any = false;
    for (int k = 0; k < 4; ++k) any = any || s.wall.tile_at(k) / 10 == 21 || s.wall.tile_at(k) / 10 == 24;
    if (!any) continue;
    ++chances;
    base::Random rng;
    rng.seed(seed);
    int code = think_com_sute(s, rng, 1) / 10;
    EXPECT_TRUE(code == 21 || code == 24) << "seed " << seed;
    EXPECT_EQ(s.wall.remaining(), 135);
  }
  EXPECT_GT(chances, 20);
}

// The luck draw happens when a number below 400 is at most four times the
// luck: a number equal to that weight still draws four tiles, one above it
// draws plainly from the wall.
TEST(Throws, TheLuckDrawReachesItsWeightExactly) {
  int at_weight = 0, above_weight = 0;
  for (uint32_t seed = 1; seed <= 2000; ++seed) {
    base::Random probe;
    probe.seed(seed);
    probe.next();  // the bad-luck draw, passed whatever it is with bad luck below 0
    const int roll = probe.next() % 400;
    if (roll % 4 != 0 || roll < 4) continue;
    State fresh = match(seed);
    auto wins = [](int value) { return value / 10 == 21 || value / 10 == 24; };
    bool later_win = false;
    for (int k = 1; k < 4; ++k) later_win = later_win || wins(fresh.wall.tile_at(k));
    if (wins(fresh.wall.tile_at(0)) || !later_win) continue;
    for (int luck : {roll / 4, roll / 4 - 1}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", luck " + std::to_string(luck));
      State s = match(seed);
      const int first = s.wall.tile_at(0);
      mj_test::seat_hand(s.table, 1, "123m456p789s11z23s");
      s.table.com_is_tenpai[1] = 1;
      s.table.com_luck[1] = luck;
      s.table.com_unluck[1] = -1;
      base::Random rng;
      rng.seed(seed);
      const int thrown = think_com_sute(s, rng, 1);
      if (luck == roll / 4) {
        EXPECT_TRUE(wins(thrown)) << "the roll equals the weight: the luck draw finds the win";
        ++at_weight;
      } else {
        EXPECT_EQ(thrown, first) << "the roll is above the weight: a plain draw";
        ++above_weight;
      }
      EXPECT_EQ(s.wall.remaining(), 135);
    }
  }
  EXPECT_GT(at_weight, 3);
  EXPECT_EQ(at_weight, above_weight);
}

// An opponent that is not ready throws the drawn tile it wants least, the
// first of them on a tie. With an end hand of honours only, a number tile's
// want is its place in the suit alone (0 1 2 3 3 3 2 1 0 from 1 to 9), an
// honour's is 30 or more; each gets a roll of 0-3 on top, in draw order.
TEST(Throws, TheLeastWantedTileGoesTheFirstOnATie) {
  const std::vector<int> honours = {31, 31, 32, 32, 33, 33, 34, 34, 35, 35, 36, 36, 37, 37};
  const int kShape[10] = {0, 0, 1, 2, 3, 3, 3, 2, 1, 0};
  int ties = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    State s = match(seed);
    plan(s.table, 0, honours, std::vector<int>(14, 0));
    base::Random rolls;
    rolls.seed(seed);
    int expected = -1, lowest = 0, at_lowest = 0;
    for (int k = 0; k < 4; ++k) {
      const int value = s.wall.tile_at(k), code = value / 10;
      const int want = (code >= 31 ? 30 : kShape[code % 10]) + rolls.next() % 4;
      if (expected < 0 || want < lowest) expected = value, lowest = want, at_lowest = 1;
      else if (want == lowest) ++at_lowest;
    }
    ties += at_lowest > 1;
    base::Random rng;
    rng.seed(seed);
    EXPECT_EQ(think_com_sute(s, rng, 0), expected);
    EXPECT_EQ(s.wall.remaining(), 135);
  }
  EXPECT_GT(ties, 30);
}

TEST(Throws, SlotFromTheHandOrTheDraw) {
  Table t;
  base::Random rng;
  rng.seed(4);
  for (int i = 0; i < 200; ++i) EXPECT_LT(com_sute_pos(t, rng, 2), 13) << "early throws come from the hand";
  for (int i = 0; i < 20; ++i) t.com_sute[2 * kDiscards + i] = 11;
  int drawn = 0;
  for (int i = 0; i < 1000; ++i) drawn += com_sute_pos(t, rng, 2) == 13;
  EXPECT_GT(drawn, 620);
  EXPECT_LT(drawn, 780);
  EXPECT_EQ(com_sute_pos(t, rng, 5), 13);
}

TEST(Calls, PonShowsThePlannedMeldWithRealTiles) {
  State s = match(3);
  Table& t = s.table;
  plan(t, 1, {1, 2, 3, 14, 15, 16, 27, 28, 29, 35, 35, 35, 19, 19}, {1, 2, 3, 1, 2, 3, 0, 0, 0, 4, 4, 4, 0, 0});
  t.com_do_naki[1] = 1;
  t.last_sute = value("5z");
  t.last_sute_pl = 1;
  base::Random rng;
  ASSERT_EQ(think_com_pon(s, rng, 1), 1);
  EXPECT_EQ(shown_codes(t, 1, 3), (std::vector<int>{35, 35, 35}));
  EXPECT_EQ(t.hand(1)[1], value("5z")) << "the called tile, turned toward neighbour 1";
  EXPECT_EQ(t.marks(1)[1], 1);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(t.flags(1)[k], kFlagPon);
  EXPECT_EQ(std::vector<int>(t.end_hand(1).begin(), t.end_hand(1).end()),
            (std::vector<int>{35, 35, 35, 1, 2, 3, 14, 15, 16, 27, 28, 29, 19, 19}));
  EXPECT_EQ(s.wall.remaining(), 134) << "two tiles of the wall";
  EXPECT_EQ(s.wall.unseen(35), 2) << "the discard did not come from this wall";
  EXPECT_EQ(t.hand(1)[3], 10) << "the rest shows the end hand's codes";
  EXPECT_EQ(t.hand(1)[13], kEmptySlot);
}

TEST(Calls, WhenAnOpponentDoesNotPon) {
  auto setup = [](State& s) {
    plan(s.table, 0, kCodes, kPlans);
    s.table.com_do_naki[0] = 1;
    s.table.last_sute = value("5z");
  };
  base::Random rng;
  {
    State s = match(1);
    setup(s);
    s.table.com_is_tenpai[0] = 1;
    EXPECT_EQ(think_com_pon(s, rng, 0), 0) << "ready";
  }
  {
    State s = match(1);
    setup(s);
    s.table.com_sute[0] = value("5z");
    EXPECT_EQ(think_com_pon(s, rng, 0), 0) << "its own discard";
  }
  {
    State s = match(1);
    setup(s);
    s.table.com_do_naki[0] = 0;
    EXPECT_EQ(think_com_pon(s, rng, 0), 0) << "not allowed to call";
  }
  {
    State s = match(1);
    setup(s);
    s.wall.take(35, false), s.wall.take(35, false), s.wall.take(35, false);
    EXPECT_EQ(think_com_pon(s, rng, 0), 0) << "one white left unseen";
  }
  {
    State s = match(1);
    setup(s);
    s.table.last_sute = value("6z");
    EXPECT_EQ(think_com_pon(s, rng, 0), 0) << "no pon planned for it";
    EXPECT_EQ(think_com_chi(s, rng, 0), 0);
  }
  {
    State s = match(1);
    setup(s);
    s.table.com_is_tenpai[0] = 0;
    EXPECT_EQ(think_com_pon(s, rng, 9), 0);
    EXPECT_EQ(think_com_chi(s, rng, -1), 0);
  }
}

TEST(Calls, ChiPrefersTheMiddle) {
  int calls = 0;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    State s = match(seed);
    Table& t = s.table;
    // The 5p is planned as the middle of 4-5-6p and the start of 5-6-7p.
    plan(t, 2, {35, 35, 35, 15, 16, 17, 14, 15, 16, 27, 28, 29, 19, 19}, {4, 4, 4, 1, 2, 3, 1, 2, 3, 1, 2, 3, 0, 0});
    t.com_do_naki[2] = 2;
    t.last_sute = value("5p");
    base::Random rng;
    rng.seed(seed);
    if (think_com_chi(s, rng, 2) == 0) continue;
    ++calls;
    EXPECT_EQ(shown_codes(t, 2, 3), (std::vector<int>{14, 15, 16}));
    EXPECT_EQ(std::vector<int>(t.flags(2).begin(), t.flags(2).begin() + 4), (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(t.marks(2)[1], 1);
    EXPECT_EQ(t.hand(2)[1], value("5p"));
    EXPECT_EQ(s.wall.remaining(), 134);
  }
  EXPECT_GT(calls, 10) << "one call in two with the call switch at 2";
}

TEST(Calls, TheFourthMeldSetsTheProgressCounter) {
  State s = match(2);
  Table& t = s.table;
  plan(t, 0, {1, 2, 3, 14, 15, 16, 27, 28, 29, 35, 35, 35, 19, 19}, {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 4, 4, 0, 0});
  for (int i = 0; i < 9; ++i) {
    t.com_pre_te[i] = t.com_end[i] * 10 + 3;  // three chis already shown
    t.com_naki_flag[i] = i % 3 + 1;
  }
  t.com_do_naki[0] = 1;
  t.com_te_susunda[0] = 5;
  t.last_sute = value("5z");
  base::Random rng;
  ASSERT_EQ(think_com_pon(s, rng, 0), 1);
  EXPECT_EQ(shown_codes(t, 0, 12), (std::vector<int>{1, 2, 3, 14, 15, 16, 27, 28, 29, 35, 35, 35}));
  EXPECT_EQ(t.com_te_susunda[0], 15);
}

TEST(Ready, RealTilesForAReadyHandThenTheWin) {
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    State s = match(seed);
    Table& t = s.table;
    plan(t, 0, kCodes, std::vector<int>(kHandSize, 0));
    base::Random rng;
    rng.seed(seed);
    ASSERT_EQ(com_set_tenpai(s, rng, 0, -1), 1);
    EXPECT_EQ(t.com_is_tenpai[0], 1);
    EXPECT_EQ(s.wall.remaining(), 136 - 13);
    std::vector<int> shown = shown_codes(t, 0, 13), wanted = kCodes;
    shown.push_back(t.com_end2[kHandSize - 1]);
    std::sort(shown.begin(), shown.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(shown, wanted) << "thirteen of the end hand, and the one it waits for";
    EXPECT_EQ(t.hand(0)[13], kEmptySlot);
    EXPECT_GT(get_tenpai(t, 0), 0);

    com_show_hand(t, 0);
    EXPECT_EQ(shown_codes(t, 0, 13).back(), shown_codes(t, 0, 13).back()) << "the real tiles stay";
    EXPECT_TRUE(is_tile_value(t.hand(0)[0]) && t.hand(0)[0] % 10 <= 3);

    ASSERT_EQ(com_set_agari(s, 0), 1);
    EXPECT_EQ(s.wall.remaining(), 136 - 14);
    EXPECT_GT(MjIsComplete(situation(t, 0)), 0);
  }
}

TEST(Ready, RevealWithoutReadyAndWhatCannotBeFormed) {
  State s = match(6);
  Table& t = s.table;
  plan(t, 1, kCodes, kPlans);
  ASSERT_EQ(com_set_agari(s, 1), 1);
  EXPECT_GT(MjIsComplete(situation(t, 1)), 0);
  EXPECT_EQ(s.wall.remaining(), 122);

  State gone = match(6);
  plan(gone.table, 1, kCodes, kPlans);
  for (int k = 0; k < 2; ++k) gone.wall.take(35, false);  // only two whites left
  Table before = gone.table;
  base::Random rng;
  EXPECT_EQ(com_set_tenpai(gone, rng, 1, -1), 0);
  EXPECT_EQ(com_set_agari(gone, 1), 0);
  EXPECT_EQ(gone.table.com_pre_te, before.com_pre_te);
  EXPECT_EQ(gone.table.com_is_tenpai, before.com_is_tenpai);
  EXPECT_EQ(gone.wall.remaining(), 134);
}

TEST(Ready, SetAsideTilesServeOnlyTheFavoured) {
  State s = match(8);
  Table& t = s.table;
  t.com_yuusen = 0;
  for (int c : kCodes) ASSERT_TRUE(s.wall.set_aside(c));
  s.wall.set_aside(35);  // the fourth white too
  plan(t, 1, kCodes, kPlans);
  base::Random rng;
  EXPECT_EQ(com_set_tenpai(s, rng, 1, -1), 0) << "whites are all set aside for opponent 0";
  plan(t, 0, kCodes, kPlans);
  EXPECT_EQ(com_set_tenpai(s, rng, 0, -1), 1);
}

}  // namespace
