// Table mechanics: seats, deals and draws, riichi, win and kan checks,
// calls, kans, the draw settlement, dora indicators.
#include "mahjong/play.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "mahjong/end_hands.h"
#include "tests/mahjong/notation.h"

namespace {

using namespace mj;
using mj_test::seat_hand;
using mj_test::value;

State game(int players, uint32_t seed) {
  State s;
  s.table.maj_mode = players;
  base::Random rng;
  rng.seed(seed);
  yama_init(s, rng);
  return s;
}

std::vector<int> codes_of(std::span<const int, kHandSize> hand) {
  std::vector<int> out;
  for (int v : hand) out.push_back(v == kEmptySlot ? 0 : v / 10);
  return out;
}

TEST(Seats, WindsFollowTheFirstDealerAndTurns) {
  Table t;
  struct Row {
    int players, first, turns, mine;
    std::array<int, 3> theirs;
  };
  for (const Row& r : std::vector<Row>{
           {4, 0, 0, 3, {0, 1, 2}},
           {4, 3, 0, 0, {1, 2, 3}},
           {4, 3, 1, 3, {0, 1, 2}},
           {4, 1, 2, 0, {1, 2, 3}},
           {3, 3, 0, 0, {1, 2, -1}},
           {3, 0, 1, 1, {2, 0, -1}},
           {2, 3, 0, 0, {2, -1, -1}},
           {2, 3, 1, 2, {0, -1, -1}},
       }) {
    SCOPED_TRACE(testing::Message() << r.players << " players, first " << r.first << ", turns " << r.turns);
    t.maj_mode = r.players;
    t.tatioya = r.first;
    t.ba_mawari = r.turns;
    t.com_kaze = {-1, -1, -1};
    kaze_set(t);
    EXPECT_EQ(t.my_kaze, r.mine);
    EXPECT_EQ(t.com_kaze, r.theirs);
  }
  for (int odd : {-7, INT_MIN, INT_MAX}) {
    t.maj_mode = 4;
    t.tatioya = odd;
    t.ba_mawari = odd;
    kaze_set(t);
    EXPECT_GE(t.my_kaze, 0);
    EXPECT_LE(t.my_kaze, 3);
  }
}

TEST(Deal, TilesLeftAndTheFirstThirteen) {
  EXPECT_EQ(game(4, 1).table.pi_tumo_nokori, 70);
  EXPECT_EQ(game(3, 1).table.pi_tumo_nokori, 55);
  EXPECT_EQ(game(2, 1).table.pi_tumo_nokori, 40);
  EXPECT_EQ(game(9, 1).table.pi_tumo_nokori, 70) << "an unknown player count plays as four";

  State s = game(4, 5);
  s.table.my_naki_flag[0] = kFlagPon;
  player_haipai(s);
  EXPECT_EQ(s.wall.next_index(), 13);
  EXPECT_EQ(s.table.my_pre_te[13], kEmptySlot);
  EXPECT_TRUE(std::is_sorted(s.table.my_pre_te.begin(), s.table.my_pre_te.end()));
  EXPECT_EQ(s.table.my_naki_flag, Slots{}) << "a fresh deal has no melds";
}

TEST(PlayerDraw, WithoutLuckTheWallOrder) {
  State s = game(4, 9);
  player_haipai(s);
  base::Random rng;
  rng.seed(1);
  for (int i = 0; i < 20; ++i) {
    State copy = s;
    int expected = copy.wall.draw();
    EXPECT_EQ(get_player_pi(s, rng), expected);
  }
}

TEST(PlayerDraw, LuckKeepsTheBestOfFiveAndBadLuckTheWorst) {
  int lucky_wins = 0, unlucky_wins = 0, chances = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    State s = game(4, seed);
    seat_hand(s.table, kPlayer, "123m456p789s11z23s");  // waits on 1s and 4s
    auto winning = [](int v) { return v / 10 == 21 || v / 10 == 24; };
    bool any = false, all = true;
    for (int k = 0; k < 5; ++k) {
      any = any || winning(s.wall.tile_at(k));
      all = all && winning(s.wall.tile_at(k));
    }
    if (!any || all) continue;
    ++chances;
    State bad = s;
    base::Random rng;
    rng.seed(seed);
    s.table.my_luck = 115;  // always
    int tile = get_player_pi(s, rng);
    lucky_wins += winning(tile);
    EXPECT_EQ(s.wall.remaining(), 135) << "the other four go back";
    bad.table.my_unluck = 115;
    unlucky_wins += winning(get_player_pi(bad, rng));
  }
  ASSERT_GT(chances, 20);
  EXPECT_EQ(lucky_wins, chances);
  EXPECT_EQ(unlucky_wins, 0);
}

TEST(Riichi, DiscardsThatLeaveTheHandReady) {
  Table t;
  seat_hand(t, kPlayer, "123m456p789s11z23s 5z");
  EXPECT_EQ(get_player_can_reach(t), 1);
  for (int i = 0; i < kHandSize; ++i)
    EXPECT_EQ(t.reach_sel_stat[i], t.my_pre_te[i] / 10 == 35 ? 1 : 0) << "slot " << i;

  t.my_is_reach = 1;
  EXPECT_EQ(get_player_can_reach(t), 0);
  EXPECT_EQ(t.reach_sel_stat, Slots{});

  t.my_is_reach = 0;
  seat_hand(t, kPlayer, "chi:123m 456p789s11z23s 5z");
  EXPECT_EQ(get_player_can_reach(t), 0) << "an open hand cannot declare riichi";
}

TEST(Win, ChecksAndTheExportedResult) {
  State s;
  Table& t = s.table;
  seat_hand(t, kPlayer, "23m567m345p678s99p 4m");
  t.my_kaze = 1;
  EXPECT_EQ(get_player_can_agari(s), 1);
  get_yaku_stat(s);
  EXPECT_EQ(t.yaku_no[0], kPinfu);
  EXPECT_EQ(t.yaku_no[1], -1);
  EXPECT_EQ(t.yaku_han[0], 1);
  EXPECT_EQ(t.yaku_han[1], -1);
  EXPECT_EQ(t.yaku_fu_total, 30);
  EXPECT_EQ(t.yaku_han_total, 1);
  EXPECT_EQ(t.yaku_man_total, 0);
  EXPECT_EQ(t.yaku_score, 10);
  EXPECT_EQ(t.yaku_score_oya, 5);
  EXPECT_EQ(t.yaku_score_ko, 3);
  EXPECT_EQ(t.yaku_my_kaze, 1);

  // An opponent's hand, self-drawn, in riichi, as the dealer.
  seat_hand(t, 1, "111z234m567p888s9s 9s");
  t.com_kaze[1] = 0;
  t.com_is_reach[1] = 1;
  t.O_is_tumo = 1;
  // Riichi, self-drawn, double East: 4 han 40 fu, a dealer's mangan.
  EXPECT_EQ(get_agari_score(s, 1), 120);
  get_yaku_stat(s);
  EXPECT_EQ(t.yaku_is_tumo, 1);
  EXPECT_EQ(t.yaku_is_reach, 1);
  EXPECT_EQ(t.yaku_my_kaze, 0);
  EXPECT_EQ(t.yaku_man_total, 1);
  EXPECT_EQ(t.yaku_score_oya, 40);
  EXPECT_EQ(t.yaku_score_ko, 40);

  seat_hand(t, kPlayer, "23m567m345p678s99p 5m");
  EXPECT_EQ(get_player_can_agari(s), 0);
}

TEST(Win, DoraIndicatorsInForce) {
  State s;
  Table& t = s.table;
  seat_hand(t, kPlayer, "23m567m345p678s99p 4m");
  t.my_kaze = 1;
  t.dora = {value("8p"), value("3m"), -1};     // 9p pair: 2, then 4m: 1
  t.dora_ura = {value("8p"), value("8p"), -1};  // 2 + 2 for a hand in riichi
  auto han = [&] {
    get_agari_score(s, kPlayer);
    return s.last.han;
  };
  EXPECT_EQ(han(), 1 + 3);
  t.con_en = 1;
  EXPECT_EQ(han(), 1 + 2) << "no kan dora under its switch";
  t.kandora = 1;
  EXPECT_EQ(han(), 1 + 3);
  t.my_is_reach = 1;
  EXPECT_EQ(han(), 2 + 3) << "no ura dora under its switch";
  t.uradora = 1;
  EXPECT_EQ(han(), 2 + 3 + 4);
  t.con_en = 0;
  t.my_is_reach = 0;
  EXPECT_EQ(han(), 1 + 3) << "ura dora only count in riichi";
}

TEST(Win, TenpaiAndFuriten) {
  Table t;
  seat_hand(t, kPlayer, "123m456p789s11z23s");
  EXPECT_EQ(get_tenpai(t, kPlayer), 2);
  EXPECT_EQ(get_furiten(t, kPlayer), 0);
  t.my_sute[0] = value("9m");
  t.my_sute[1] = value("4s");
  EXPECT_EQ(get_furiten(t, kPlayer), 1);
  seat_hand(t, 2, "123m456p789s11z2s5z");
  EXPECT_EQ(get_tenpai(t, 2), 0);
}

TEST(Calls, PonMovesTheMeldInFrontAndMarksTheNeighbour) {
  struct Row {
    int players, from, mark;
  };
  for (const Row& r : std::vector<Row>{{4, 0, 2}, {4, 1, 1}, {4, 2, 0}, {4, 9, 0}, {3, 0, 2}, {3, 1, 0}, {2, 0, 1}}) {
    SCOPED_TRACE(testing::Message() << r.players << " players, from " << r.from);
    Table t;
    t.maj_mode = r.players;
    t.last_sute_pl = r.from;
    seat_hand(t, kPlayer, "55p123m456m789s12z");
    ASSERT_EQ(pi_pon(t, kPlayer, 150), 1);
    EXPECT_EQ(codes_of(t.my_pre_te), (std::vector<int>{15, 15, 15, 1, 2, 3, 4, 5, 6, 27, 28, 29, 31, 32}));
    EXPECT_EQ(t.my_naki_flag, (Slots{4, 4, 4}));
    Slots marks{};
    marks[r.mark] = 1;
    EXPECT_EQ(t.my_naki_flag2, marks);
  }
  Table t;
  seat_hand(t, kPlayer, "5p123m456m789s123z");
  EXPECT_EQ(pi_pon(t, kPlayer, 150), 0) << "one copy is not enough";
  seat_hand(t, kPlayer, "55p123m456m789s12z 3z");
  EXPECT_EQ(pi_pon(t, kPlayer, 150), 0) << "the fourteenth slot is taken";
  EXPECT_EQ(t.my_pre_te[13], value("3z"));
  EXPECT_EQ(pi_pon(t, 7, 150), 0);
}

TEST(Calls, ChiMarksThePlaceOfTheCalledTile) {
  Table t;
  seat_hand(t, kPlayer, "46p123m456m789s12z");
  ASSERT_EQ(pi_chi(t, kPlayer, value("5p"), 14), 1);
  EXPECT_EQ(codes_of(t.my_pre_te), (std::vector<int>{14, 15, 16, 1, 2, 3, 4, 5, 6, 27, 28, 29, 31, 32}));
  EXPECT_EQ(t.my_naki_flag, (Slots{1, 2, 3}));
  EXPECT_EQ(t.my_naki_flag2, (Slots{0, 1, 0}));

  seat_hand(t, kPlayer, "46p123m456m789s12z");
  EXPECT_EQ(pi_chi(t, kPlayer, value("5p"), 15), 0) << "no 7p";
  EXPECT_EQ(pi_chi(t, kPlayer, value("5p"), 18), 0) << "no sequence starts at 8";
  EXPECT_EQ(pi_chi(t, kPlayer, value("9p"), 14), 0) << "9p is not in 4-5-6";
  EXPECT_EQ(pi_chi(t, kPlayer, value("5z"), 33), 0);
}

TEST(Kans, ConcealedOpenAndAdded) {
  Table t;
  seat_hand(t, kPlayer, "555p123m456m789s1z 5p");
  EXPECT_EQ(pi_kan(t, kPlayer, value("5p")), 1);
  EXPECT_EQ(codes_of(t.my_pre_te), (std::vector<int>{15, 15, 15, 1, 2, 3, 4, 5, 6, 27, 28, 29, 31, 0}));
  EXPECT_EQ(t.my_pre_te[0], 150);
  EXPECT_EQ(t.my_naki_flag, (Slots{-1, -1, -1}));
  EXPECT_EQ(t.kan_kazu, 1);
  EXPECT_EQ(t.O_is_kan_cyokugo, 1);

  seat_hand(t, kPlayer, "555p123m456m789s1z");
  t.last_sute_pl = 1;
  EXPECT_EQ(pi_kan(t, kPlayer, value("5p")), 0);
  EXPECT_EQ(t.my_naki_flag, (Slots{5, 5, 5}));
  EXPECT_EQ(t.my_naki_flag2, (Slots{0, 1, 0}));
  EXPECT_EQ(t.my_pre_te[13], kEmptySlot);
  EXPECT_EQ(t.kan_kazu, 2);

  seat_hand(t, kPlayer, "pon:555p 123m456m789s1z 5p");
  EXPECT_EQ(pi_kan(t, kPlayer, value("5p")), 0);
  EXPECT_EQ(t.my_naki_flag, (Slots{5, 5, 5}));
  EXPECT_EQ(codes_of(t.my_pre_te), (std::vector<int>{15, 15, 15, 1, 2, 3, 4, 5, 6, 27, 28, 29, 31, 0}));

  t.kan_kazu = 2;
  seat_hand(t, kPlayer, "55p123m456m789s12z 5p");
  EXPECT_EQ(pi_kan(t, kPlayer, value("5p")), 0) << "three copies and a draw are no kan";
  EXPECT_EQ(t.kan_kazu, 2);
}

TEST(Kans, AFourthKanByOnePlayerEndsTheKans) {
  Table t;
  t.kan_kazu = 3;
  seat_hand(t, 0, "ankan:1111m ankan:2222m ankan:3333m 555p4m 5p");
  EXPECT_EQ(pi_kan(t, 0, value("5p")), 1);
  EXPECT_EQ(t.kan_kazu, -1);

  t.kan_kazu = 3;
  seat_hand(t, 1, "ankan:1111m 555p123s456s4m 5p");
  pi_kan(t, 1, value("5p"));
  EXPECT_EQ(t.kan_kazu, 4) << "four kans between several players";
}

TEST(Kans, WhenThePlayerMayDeclare) {
  Table t;
  t.pi_tumo_nokori = 10;
  seat_hand(t, kPlayer, "555p123m456m789s1z 5p");
  EXPECT_EQ(get_player_can_kan(t, 0), 1);
  seat_hand(t, kPlayer, "pon:555p 123m456m789s1z 5p");
  EXPECT_EQ(get_player_can_kan(t, 0), 1) << "added to a pon";
  seat_hand(t, kPlayer, "555p123m456m789s1z");
  EXPECT_EQ(get_player_can_kan(t, 0), 0) << "nothing drawn";
  seat_hand(t, kPlayer, "1111m55p456m789s1z 2z");
  EXPECT_EQ(get_player_can_kan(t, 0), 0);
  EXPECT_EQ(get_player_can_kan(t, 1), 1) << "any four alike with mode 1";

  seat_hand(t, kPlayer, "555p123m456m789s1z 5p");
  t.pi_tumo_nokori = 0;
  EXPECT_EQ(get_player_can_kan(t, 0), 0) << "not on the last tile";
  t.pi_tumo_nokori = 10;
  t.kan_kazu = -1;
  EXPECT_EQ(get_player_can_kan(t, 0), 0) << "no further kans";
  t.kan_kazu = 0;

  t.my_is_reach = 1;
  seat_hand(t, kPlayer, "555p23m456m789s11z 5p");
  EXPECT_EQ(get_player_can_kan(t, 0), 1) << "the waits stay 1m-4m";
  seat_hand(t, kPlayer, "5556p123m456m789s 5p");
  EXPECT_EQ(get_player_can_kan(t, 0), 0) << "waits 4p 6p 7p would shrink to 6p";
}

TEST(Settlement, ExhaustiveDrawPayments) {
  struct Row {
    int players;
    bool me;
    std::array<int, 3> ready;
    int in_suv;
    int mine;
    std::array<int, 3> theirs;
  };
  for (const Row& r : std::vector<Row>{
           {4, true, {0, 0, 0}, 0, 30, {-10, -10, -10}},
           {4, true, {1, 0, 0}, 0, 15, {15, -15, -15}},
           {4, true, {1, 1, 0}, 0, 10, {10, 10, -30}},
           {4, false, {1, 1, 1}, 0, -30, {10, 10, 10}},
           {4, true, {1, 1, 1}, 0, 0, {0, 0, 0}},
           {4, false, {0, 0, 0}, 0, 0, {0, 0, 0}},
           {4, true, {0, 0, 0}, 1, 0, {-10, -10, -10}},
           {3, true, {0, 0, 1}, 0, 30, {-15, -15, 0}},
           {3, true, {1, 0, 0}, 0, 15, {15, -30, 0}},
           {2, false, {1, 1, 1}, 0, -15, {15, 0, 0}},
       }) {
    SCOPED_TRACE(testing::Message() << r.players << " players, ready " << r.me << r.ready[0] << r.ready[1]
                                    << r.ready[2] << ", settlement switch " << r.in_suv);
    Table t;
    t.maj_mode = r.players;
    t.in_suv = r.in_suv;
    t.com_is_tenpai = r.ready;
    seat_hand(t, kPlayer, r.me ? "123m456p789s11z23s" : "123m456p789s11z2s5z");
    t.my_kaze = 1;
    t.com_kaze = {2, 3, 0};
    int dealer_ready = ryukyoku_pay(t);
    EXPECT_EQ(t.my_score, r.mine);
    EXPECT_EQ(t.com_score, r.theirs);
    EXPECT_EQ(dealer_ready, r.players == 4 && r.ready[2] ? 1 : 0) << "opponent 2 is the dealer";
  }
  Table t;
  t.my_kaze = 0;
  seat_hand(t, kPlayer, "123m456p789s11z23s");
  EXPECT_EQ(ryukyoku_pay(t), 1) << "the player is the dealer and ready";
}

TEST(Dora, IndicatorsAreAppendedSideBySide) {
  State s = game(4, 21);
  base::Random rng;
  dora_init(s, rng);
  dora_init(s, rng);
  EXPECT_NE(s.table.dora[0], -1);
  EXPECT_NE(s.table.dora[1], -1);
  EXPECT_EQ(s.table.dora[2], -1);
  EXPECT_NE(s.table.dora_ura[1], -1);
  EXPECT_EQ(s.table.dora_ura[2], -1);
  EXPECT_EQ(s.wall.remaining(), 132);

  s.table.dora.fill(value("1m"));  // no room for another indicator and its end
  dora_init(s, rng);
  EXPECT_EQ(s.wall.remaining(), 132);

  // Room for one more indicator but not for the -1 after it: the list is full.
  s.table.dora[kDoraList - 1] = -1;
  const auto ura = s.table.dora_ura;
  dora_init(s, rng);
  EXPECT_EQ(s.wall.remaining(), 132);
  EXPECT_EQ(s.table.dora[kDoraList - 1], -1);
  EXPECT_EQ(s.table.dora_ura, ura);
}

TEST(Dora, RiggingStylesPickIndicatorsForTheirEndHand) {
  int better = 0;
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    State s = game(4, seed);
    s.table.com_lvl = {1, 33, 1};
    base::Random rng;
    rng.seed(seed);
    s.table.com_end.fill(0);
    for (int i = 0; i < kHandSize; ++i) s.table.com_end[kHandSize + i] = (i % 2) ? 15 : 27;
    auto score = [&](int v) {
      int target = v / 10 + 1;
      return static_cast<int>(std::count(s.table.end_hand(1).begin(), s.table.end_hand(1).end(), target));
    };
    int plain = score(s.wall.tile_at(0));
    dora_init(s, rng);
    int rigged = score(s.table.dora[0]);
    ASSERT_GE(rigged, plain);
    better += rigged > plain;
    EXPECT_EQ(s.wall.remaining(), 134);
  }
  EXPECT_GT(better, 50);
}

TEST(BadSeats, NeutralResults) {
  State s = game(2, 3);
  base::Random rng;
  Table before = s.table;
  for (int p : {-1, 1, 2, 4, 99, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(get_tenpai(s.table, p), 0);
    EXPECT_EQ(get_furiten(s.table, p), 0);
    EXPECT_EQ(get_agari_score(s, p), 0);
    EXPECT_EQ(pi_kan(s.table, p, 150), 0);
    EXPECT_EQ(pi_pon(s.table, p, 150), 0);
    EXPECT_EQ(pi_chi(s.table, p, 150, 14), 0);
    pi_sort(s.table, p);
  }
  EXPECT_EQ(s.table.my_pre_te, before.my_pre_te);
  EXPECT_EQ(s.table.com_pre_te, before.com_pre_te);
  EXPECT_EQ(pi_return(s, rng, 150), 0) << "nothing drawn yet";
}

}  // namespace
