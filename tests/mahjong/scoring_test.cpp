// Hands with their yaku, fu, han and payments, worked out by hand from the
// scoring rules. Each table covers one family of rules, so a wrong rule
// shows up as the named cases of one test.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mahjong/evaluate.h"
#include "tests/mahjong/notation.h"

namespace {

using namespace mj;

struct Win {
  bool tsumo = false;
  int reach = 0;
  int seat = 1;   // South: not the dealer
  int round = 0;  // East
  bool ippatsu = false, rinshan = false, first = false, haitei = false;
  std::vector<const char*> dora = {};  // indicators in notation
  int players = 4;
  int con_en = 0, kuitan = 0, tumopin = 0, akau = 0;
};

struct Expect {
  std::vector<std::pair<int, int>> yaku;  // (yaku, han) in list order
  int fu = 0, han = 0;
  int ron = 0, dealer_pays = 0, others_pay = 0;
};

struct Case {
  const char* name;
  const char* hand;
  Win win;
  Expect expect;
};

MjHand situation(const Case& c) {
  MjHand h = mj_test::hand(c.hand);
  h.tsumo = c.win.tsumo;
  h.reach = c.win.reach;
  h.seat_wind = c.win.seat;
  h.round_wind = c.win.round;
  h.ippatsu = c.win.ippatsu;
  h.rinshan = c.win.rinshan;
  h.first_turn = c.win.first;
  h.haitei = c.win.haitei;
  for (size_t i = 0; i < c.win.dora.size(); ++i) h.dora[i] = mj_test::value(c.win.dora[i]);
  h.rules = {c.win.players, c.win.con_en, c.win.kuitan, c.win.tumopin, c.win.akau};
  return h;
}

void check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MjHand h = situation(c);
    int ron = MjEvaluate(h);
    std::vector<std::pair<int, int>> yaku;
    for (int i = 0; i < h.yaku.count; ++i) yaku.emplace_back(h.yaku.entries[i].yaku, h.yaku.entries[i].han);
    EXPECT_EQ(yaku, c.expect.yaku);
    EXPECT_EQ(h.fu, c.expect.fu);
    EXPECT_EQ(h.han, c.expect.han);
    EXPECT_EQ(ron, c.expect.ron);
    EXPECT_EQ(h.ron_points, c.expect.ron);
    EXPECT_EQ(h.dealer_pays, c.expect.dealer_pays);
    EXPECT_EQ(h.others_pay, c.expect.others_pay);
  }
}

TEST(Scoring, ClosedHandYaku) {
  check({
      {"pinfu by discard", "23m567m345p678s99p 4m", {}, {{{kPinfu, 1}}, 30, 1, 10, 5, 3}},
      {"pinfu self-drawn keeps 20 fu", "23m567m345p678s99p 4m", {.tsumo = true},
       {{{kPinfu, 1}, {kTsumo, 1}}, 20, 2, 13, 7, 4}},
      {"no self-drawn pinfu under its switch", "23m567m345p678s99p 4m",
       {.tsumo = true, .con_en = 1, .tumopin = 0}, {{{kTsumo, 1}}, 30, 1, 10, 5, 3}},
      {"self-drawn pinfu under its switch", "23m567m345p678s99p 4m",
       {.tsumo = true, .con_en = 1, .tumopin = 1}, {{{kPinfu, 1}, {kTsumo, 1}}, 20, 2, 13, 7, 4}},
      {"riichi, closed wait", "24m567m345p678s99p 3m", {.reach = 1}, {{{kReach, 1}}, 40, 1, 13, 7, 4}},
      {"riichi, edge wait 3", "12m567m345p678s99p 3m", {.reach = 1}, {{{kReach, 1}}, 40, 1, 13, 7, 4}},
      {"riichi, edge wait 7", "89m234m345p678s99p 7m", {.reach = 1}, {{{kReach, 1}}, 40, 1, 13, 7, 4}},
      {"double riichi, ippatsu, last tile, self-drawn", "24m567m345p678s99p 3m",
       {.tsumo = true, .reach = 2, .ippatsu = true, .haitei = true},
       {{{kDoubleReach, 2}, {kIppatsu, 1}, {kHaitei, 1}, {kTsumo, 1}}, 30, 5, 80, 40, 20}},
      {"ippatsu needs riichi", "24m567m345p678s99p 3m", {.tsumo = true, .ippatsu = true},
       {{{kTsumo, 1}}, 30, 1, 10, 5, 3}},
      {"replacement tile after a concealed kan", "ankan:7777s 24m567m345p99p 3m",
       {.tsumo = true, .rinshan = true}, {{{kRinshan, 1}, {kTsumo, 1}}, 40, 2, 26, 13, 7}},
      {"one pair of twin sequences", "11223m456p789s55s 3m", {}, {{{kIipeiko, 1}}, 40, 1, 13, 7, 4}},
      {"two pairs of twins beat seven pairs", "112233m445566p7s 7s", {}, {{{kRyanpeiko, 3}}, 40, 3, 52, 26, 13}},
  });
}

TEST(Scoring, SevenPairs) {
  check({
      {"25 fu are not rounded", "11m33m55p77p99s11z2z 2z", {}, {{{kChiitoitsu, 2}}, 25, 2, 16, 8, 4}},
      {"all simples, self-drawn", "22m44m66p88p22s44s6s 6s", {.tsumo = true},
       {{{kChiitoitsu, 2}, {kTanyao, 1}, {kTsumo, 1}}, 25, 4, 64, 32, 16}},
      {"half flush and terminals", "11m99m11z22z33z55z6z 6z", {},
       {{{kHonitsu, 3}, {kHonroto, 2}, {kChiitoitsu, 2}}, 25, 7, 120, 60, 30}},
      {"all honours", "11z22z33z44z55z66z7z 7z", {}, {{{kTsuiso, 100}}, 25, 100, 320, 160, 80}},
  });
}

TEST(Scoring, Fu) {
  check({
      {"one wait fu whatever the reading", "35m44m999p345s678s 4m", {.reach = 1}, {{{kReach, 1}}, 40, 1, 13, 7, 4}},
      {"triplet completed by the discard counts as called", "234m55p777s234s55z 5p", {.reach = 1},
       {{{kReach, 1}}, 40, 1, 13, 7, 4}},
      {"discard-completed triplet is not concealed", "111m333p777s55s99s 5s", {},
       {{{kSananko, 2}, {kToitoi, 2}}, 50, 4, 80, 40, 20}},
      {"open hand of 20 fu with one yaku pays 30", "chi:234m 567p345s67s55m 8s", {}, {{{kTanyao, 1}}, 30, 1, 10, 5, 3}},
      {"open hand of 20 fu with two yaku stays 20", "chi:234m 234p234s67s55m 8s", {},
       {{{kSanshoku, 1}, {kTanyao, 1}}, 20, 2, 13, 7, 4}},
      {"kan fu", "kan:5555z ankan:9999p 234s456m9s 9s", {}, {{{kWhiteDragon, 1}}, 70, 1, 23, 12, 6}},
      {"wind pair", "123m456p789s23s11z 4s", {.reach = 1, .seat = 0}, {{{kReach, 1}}, 40, 1, 20, 7, 7}},
      {"a pair of the seat wind that is also the round wind counts once", "123m456p999p23s11z 4s",
       {.reach = 1, .seat = 0}, {{{kReach, 1}}, 40, 1, 20, 7, 7}},
      {"a pair of the round wind alone", "123m456p999p23s11z 4s", {.reach = 1}, {{{kReach, 1}}, 40, 1, 13, 7, 4}},
  });
}

TEST(Scoring, Payments) {
  check({
      {"dealer by discard", "23m567m345p678s99p 4m", {.seat = 0}, {{{kPinfu, 1}}, 30, 1, 15, 5, 5}},
      {"dealer self-drawn", "23m567m345p678s99p 4m", {.tsumo = true, .seat = 0},
       {{{kPinfu, 1}, {kTsumo, 1}}, 20, 2, 20, 7, 7}},
      {"4 han 30 fu", "23m567m345p678s55p 4m", {.reach = 1, .dora = {"1m"}},
       {{{kReach, 1}, {kPinfu, 1}, {kTanyao, 1}, {kDora1, 1}}, 30, 4, 77, 39, 20}},
      {"4 han 40 fu is capped", "24m999p345s678s55s 3m", {.reach = 1, .ippatsu = true, .dora = {"1m", "3m"}},
       {{{kReach, 1}, {kIppatsu, 1}, {kDora2, 2}}, 40, 4, 80, 40, 20}},
      {"6 han", "23m567m345p678s55p 4m", {.reach = 1, .dora = {"4p"}},
       {{{kReach, 1}, {kPinfu, 1}, {kTanyao, 1}, {kDora3, 3}}, 30, 6, 120, 60, 30}},
      {"6 han dealer", "23m567m345p678s55p 4m", {.reach = 1, .seat = 0, .dora = {"4p"}},
       {{{kReach, 1}, {kPinfu, 1}, {kTanyao, 1}, {kDora3, 3}}, 30, 6, 180, 60, 60}},
      {"8 han", "23m567m345p678s55p 4m", {.reach = 1, .dora = {"4p", "1m", "2m"}},
       {{{kReach, 1}, {kPinfu, 1}, {kTanyao, 1}, {kDoraMany, 5}}, 30, 8, 160, 80, 40}},
      {"11 han", "23m567m345p678s55p 4m", {.reach = 1, .dora = {"4p", "4p", "1m", "2m"}},
       {{{kReach, 1}, {kPinfu, 1}, {kTanyao, 1}, {kDoraMany, 8}}, 30, 11, 240, 120, 60}},
      {"13 han counts as a limit hand", "23m567m345p678s55p 4m",
       {.reach = 1, .dora = {"4p", "4p", "4p", "1m"}},
       {{{kReach, 1}, {kPinfu, 1}, {kTanyao, 1}, {kDoraMany, 10}}, 30, 13, 320, 160, 80}},
  });
}

TEST(Scoring, LimitHands) {
  const char* pinfu = "23m567m345p678s99p 4m";
  check({
      {"heavenly hand", pinfu, {.tsumo = true, .seat = 0, .first = true}, {{{kTenho, 100}}, 30, 100, 480, 160, 160}},
      {"earthly hand", pinfu, {.tsumo = true, .first = true}, {{{kChiho, 100}}, 30, 100, 320, 160, 80}},
      {"human hand", pinfu, {.first = true}, {{{kRenho, 100}}, 30, 100, 320, 160, 80}},
      {"dealer's first discard win is no limit", pinfu, {.seat = 0, .first = true}, {{{kPinfu, 1}}, 30, 1, 15, 5, 5}},
      {"all honours", "pon:111z 222z333z555z7z 7z", {}, {{{kTsuiso, 100}}, 60, 100, 320, 160, 80}},
      {"big three dragons", "555z666z77z123m99p 7z", {}, {{{kDaisangen, 100}}, 60, 100, 320, 160, 80}},
      {"four concealed triplets", "111m333p777s55s99s 5s", {.tsumo = true},
       {{{kSuanko, 100}}, 50, 100, 320, 160, 80}},
      {"four concealed triplets, single wait", "111m333p777s555s9s 9s", {},
       {{{kSuankoTanki, 200}}, 60, 200, 640, 320, 160}},
      {"four consecutive triplets", "pon:222m 333m444m555m9p 9p", {}, {{{kSurenko, 100}}, 40, 100, 320, 160, 80}},
      {"four kans", "kan:2222m kan:5555p ankan:7777s kan:3333s 9p 9p", {},
       {{{kSukantsu, 100}}, 70, 100, 320, 160, 80}},
      {"big four winds pays double", "pon:111z 222z333z444z9m 9m", {}, {{{kDaisushi, 200}}, 50, 200, 640, 320, 160}},
      {"little four winds", "pon:111z 222z333z44z12m 3m", {}, {{{kShosushi, 100}}, 50, 100, 320, 160, 80}},
      {"all terminals", "pon:111m 999m111p999p1s 1s", {}, {{{kChinroto, 100}}, 50, 100, 320, 160, 80}},
      {"all green", "234s234s666s666z8s 8s", {}, {{{kRyuiso, 100}}, 50, 100, 320, 160, 80}},
      {"big wheels", "2233445566778p 8p", {}, {{{kDaisharin, 100}}, 30, 100, 320, 160, 80}},
      {"nine gates", "1112345678999m 5m", {}, {{{kChuren, 100}}, 50, 100, 320, 160, 80}},
      {"million stones counts a kan's fourth tile", "kan:9999m 888m777m456m5m 5m", {},
       {{{kHyakumangoku, 100}}, 50, 100, 320, 160, 80}},
      {"exactly 100 in characters is a million stones", "pon:999m 888m777m567m5m 5m", {},
       {{{kHyakumangoku, 100}}, 40, 100, 320, 160, 80}},
      {"97 in characters is no million stones", "pon:999m 888m777m456m5m 5m", {},
       {{{kChinitsu, 5}, {kSanrenko, 2}}, 40, 7, 120, 60, 30}},
      {"thirteen orphans", "19m19p19s1234567z 1m", {}, {{{kKokushi, 100}}, 30, 100, 320, 160, 80}},
      {"thirteen orphans on the heavenly draw", "19m19p19s1234567z 1m", {.tsumo = true, .seat = 0, .first = true},
       {{{kTenho, 100}, {kKokushi, 100}}, 30, 200, 960, 320, 320}},
      {"limit hands add up", "111z222z333z555z7z 7z", {}, {{{kTsuiso, 100}, {kSuankoTanki, 200}}, 70, 300, 960, 480, 240}},
      {"limit hands take no dora", "pon:111z 222z333z555z7z 7z", {.reach = 1, .dora = {"4z"}},
       {{{kTsuiso, 100}}, 60, 100, 320, 160, 80}},
  });
}

TEST(Scoring, OpenAndClosedValues) {
  check({
      {"three colour sequences, closed", "123m123p12s456m99p 3s", {}, {{{kSanshoku, 2}}, 40, 2, 26, 13, 7}},
      {"three colour sequences, open", "chi:123s 123m12p456m99p 3p", {}, {{{kSanshoku, 1}}, 30, 1, 10, 5, 3}},
      {"pure straight, closed", "123456789m45p99s 6p", {}, {{{kPinfu, 1}, {kIttsu, 2}}, 30, 3, 39, 20, 10}},
      {"pure straight, open", "chi:123m 456m789m45p99s 6p", {}, {{{kIttsu, 1}}, 30, 1, 10, 5, 3}},
      {"outside hand, closed", "123m789p111s789s1z 1z", {}, {{{kChanta, 2}}, 50, 2, 32, 16, 8}},
      {"outside hand, open", "chi:123m 789p111s789s1z 1z", {}, {{{kChanta, 1}}, 40, 1, 13, 7, 4}},
      {"terminals in every set, closed", "123m789p111s789s9m 9m", {}, {{{kJunchan, 3}}, 40, 3, 52, 26, 13}},
      {"terminals in every set, open", "chi:123m 789p111s789s9m 9m", {}, {{{kJunchan, 2}}, 30, 2, 20, 10, 5}},
      {"a triplet of sevens is not outside", "123m777p111s789s9m 9m", {.reach = 1}, {{{kReach, 1}}, 50, 1, 16, 8, 4}},
      {"half flush, closed", "123m345m789m22z11z 1z", {}, {{{kHonitsu, 3}, {kEastWind, 1}}, 40, 4, 80, 40, 20}},
      {"half flush, open", "pon:555z 123m456m78m99m 9m", {},
       {{{kHonitsu, 2}, {kIttsu, 1}, {kWhiteDragon, 1}}, 30, 4, 77, 39, 20}},
      {"full flush, closed", "111m222m345m678m9m 9m", {}, {{{kChinitsu, 6}}, 50, 6, 120, 60, 30}},
      {"full flush, open", "pon:111m 222m345m678m9m 9m", {}, {{{kChinitsu, 5}}, 30, 5, 80, 40, 20}},
      {"open all simples", "chi:234m 567m345p678s5s 5s", {}, {{{kTanyao, 1}}, 30, 1, 10, 5, 3}},
      {"open all simples under its switch", "chi:234m 567m345p678s5s 5s", {.con_en = 1, .kuitan = 1},
       {{{kTanyao, 1}}, 30, 1, 10, 5, 3}},
      {"no open all simples when switched off", "chi:234m 567m345p678s5s 5s", {.con_en = 1}, {{}, 0, 0, 0, 0, 0}},
  });
}

TEST(Scoring, TripletsWindsAndDragons) {
  check({
      {"three consecutive triplets, three concealed", "111222333m456p7s 7s", {},
       {{{kSanrenko, 2}, {kSananko, 2}}, 50, 4, 80, 40, 20}},
      {"three colour triplets", "111m111p111s234m5p 5p", {}, {{{kSanshokuDoko, 2}, {kSananko, 2}}, 60, 4, 80, 40, 20}},
      {"three kans", "kan:2222m kan:5555p ankan:7777s 234s9p 9p", {}, {{{kSankantsu, 2}}, 60, 2, 39, 20, 10}},
      {"little three dragons", "555z666z77z123m45p 6p", {},
       {{{kShosangen, 2}, {kWhiteDragon, 1}, {kGreenDragon, 1}}, 50, 4, 80, 40, 20}},
      {"open consecutive triplets", "pon:222m 333m444m678p5s 5s", {}, {{{kSanrenko, 2}, {kTanyao, 1}}, 40, 3, 52, 26, 13}},
      {"terminals and honours replace the outside hand", "pon:111m 999p111s222z3z 3z", {},
       {{{kSananko, 2}, {kToitoi, 2}, {kHonroto, 2}, {kSouthWind, 1}}, 50, 7, 120, 60, 30}},
      {"seat and round winds, lower wind first", "333z222z234m567p9s 9s", {.seat = 2, .round = 1},
       {{{kSouthWind, 1}, {kWestWind, 1}}, 50, 2, 32, 16, 8}},
      {"double wind", "111z234m567p888s9s 9s", {.seat = 0}, {{{kDoubleEast, 2}}, 50, 2, 48, 16, 16}},
      {"dragon triplet", "pon:555z 123m456p789s4z 4z", {}, {{{kWhiteDragon, 1}}, 30, 1, 10, 5, 3}},
  });
}

TEST(Scoring, DoraAndRedFives) {
  check({
      {"dora only is no yaku", "chi:123m 456p789s11s44z 4z", {.dora = {"3z"}}, {{}, 0, 0, 0, 0, 0}},
      {"indicators wrap in their suit and ring", "123m789p111s789s1z 1z", {.dora = {"9m", "4z", "7z"}},
       {{{kChanta, 2}, {kDora3, 3}}, 50, 5, 80, 40, 20}},
      {"a kan's fourth tile", "ankan:7777s 24m567m345p99p 3m", {.tsumo = true, .rinshan = true, .dora = {"6s"}},
       {{{kRinshan, 1}, {kTsumo, 1}, {kDora4, 4}}, 40, 6, 120, 60, 30}},
      {"red fives off by default", "23m567m340p678s99p 4m", {}, {{{kPinfu, 1}}, 30, 1, 10, 5, 3}},
      {"red fives with two players", "23m567m340p678s99p 4m", {.players = 2},
       {{{kPinfu, 1}, {kDora1, 1}}, 30, 2, 20, 10, 5}},
      {"red fives under their switch", "23m567m340p678s99p 4m", {.con_en = 1, .akau = 1},
       {{{kPinfu, 1}, {kDora1, 1}}, 30, 2, 20, 10, 5}},
      {"red fives switched off", "23m567m340p678s99p 4m", {.con_en = 1, .akau = 0}, {{{kPinfu, 1}}, 30, 1, 10, 5, 3}},
      {"a ninth award folds into the eighth entry", "234m234m234p23s55s 4s",
       {.tsumo = true, .reach = 1, .ippatsu = true, .haitei = true, .dora = {"4s"}},
       {{{kReach, 1}, {kIppatsu, 1}, {kPinfu, 1}, {kSanshoku, 2}, {kIipeiko, 1}, {kTanyao, 1}, {kHaitei, 1}, {kOther, 3}},
        20, 11, 240, 120, 60}},
  });
}

TEST(Scoring, BestSplit) {
  check({
      {"a reading without yaku does not hide a later one", "111m23m44m999m444p 4m", {},
       {{{kSananko, 2}}, 60, 2, 39, 20, 10}},
      {"the higher reading wins over seven pairs", "112233m445566p7s 7s", {.reach = 1},
       {{{kReach, 1}, {kRyanpeiko, 3}}, 40, 4, 80, 40, 20}},
      {"the wheel reading beats twin sequences and flush", "2233445566778p 8p", {.tsumo = true},
       {{{kDaisharin, 100}}, 30, 100, 320, 160, 80}},
  });
}

TEST(Scoring, SplitWithoutYakuReportsMinusOneFu) {
  MjHand h = mj_test::hand("chi:123m 456p789s11s44z 4z");
  h.dora[0] = mj_test::value("3z");
  std::array<MjSplit, kMaxSplits> splits;
  ASSERT_EQ(MjSplits(h, splits), 1);
  EXPECT_EQ(splits[0].fu, -1);
  EXPECT_EQ(splits[0].han, 3);
  EXPECT_EQ(splits[0].yaku_han, 0);
  EXPECT_EQ(splits[1].fu, 0) << "the list ends with an empty record";
}

TEST(Scoring, LimitClass) {
  EXPECT_EQ(limit_class(77, false), 0);
  EXPECT_EQ(limit_class(80, false), 1);
  EXPECT_EQ(limit_class(120, true), 1);
  EXPECT_EQ(limit_class(120, false), 2);
  EXPECT_EQ(limit_class(160, false), 3);
  EXPECT_EQ(limit_class(240, false), 4);
  EXPECT_EQ(limit_class(320, false), 5);
  EXPECT_EQ(limit_class(640, false), 6);
  EXPECT_EQ(limit_class(960, false), 7);
  EXPECT_EQ(limit_class(960, true), 6);
  EXPECT_EQ(limit_class(480, true), 5);
}

}  // namespace
