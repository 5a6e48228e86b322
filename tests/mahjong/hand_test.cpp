// The winning-shape test, waits, splits, and hands that are not hands.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "mahjong/evaluate.h"
#include "tests/mahjong/notation.h"

namespace {

using namespace mj;
using mj_test::hand;

std::vector<int> waits_of(const char* notation) {
  MjHand h = hand(notation);
  int n = MjWaits(h);
  std::vector<int> out(h.waits.begin(), h.waits.begin() + n);
  EXPECT_EQ(h.waits[n], -1) << "the wait list is ended by -1";
  return out;
}

TEST(Completeness, Kinds) {
  EXPECT_EQ(MjIsComplete(hand("19m19p19s1234567z 1m")), 3);
  EXPECT_EQ(MjIsComplete(hand("11m33m55p77p99s11z2z 2z")), 2);
  EXPECT_EQ(MjIsComplete(hand("112233m445566p7s 7s")), 2) << "seven pairs is reported before the standard shape";
  EXPECT_EQ(MjIsComplete(hand("23m567m345p678s99p 4m")), 1);
  EXPECT_EQ(MjIsComplete(hand("chi:234m pon:555z kan:9999p ankan:1111s 9m 9m")), 1);
  EXPECT_EQ(MjIsComplete(hand("23m567m345p678s99p 5m")), 0);
  EXPECT_EQ(MjIsComplete(hand("19m19p19s1234566z 1m")), 0) << "thirteen orphans needs every orphan";
  EXPECT_EQ(MjIsComplete(hand("19m19p19s1234567z 2m")), 0);
  EXPECT_EQ(MjIsComplete(hand("11m11m55p77p99s11z2z 2z")), 0) << "four alike are not two pairs";
}

TEST(Completeness, Waits) {
  EXPECT_EQ(waits_of("1112345678999m"), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(waits_of("19m19p19s1234567z"), (std::vector<int>{1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37}));
  EXPECT_EQ(waits_of("11m33m55p77p99s11z2z"), (std::vector<int>{32}));
  EXPECT_EQ(waits_of("1234m567p789s111z"), (std::vector<int>{1, 4}));
  EXPECT_EQ(waits_of("pon:555z 1234m567p789s"), (std::vector<int>{1, 4}));
  EXPECT_EQ(waits_of("13m567p789s11z555z"), (std::vector<int>{2}));
  EXPECT_EQ(waits_of("89m567p789s11z555z"), (std::vector<int>{7}));
  EXPECT_EQ(waits_of("1357m2468p13579s"), (std::vector<int>{}));
  EXPECT_EQ(waits_of("kan:4444m 23m567p789s55z"), (std::vector<int>{1})) << "no fifth copy";
  EXPECT_EQ(waits_of("1112222m567p789s"), (std::vector<int>{3})) << "no fifth copy";

  MjHand h = hand("1234m567p789s111z 9s");
  EXPECT_EQ(MjWaits(h), 2) << "the fourteenth tile is ignored";
}

TEST(Splits, ReadingsInPairOrder) {
  std::array<MjSplit, kMaxSplits> s;
  // Three readings: pair 2p, 5p and 8p; the seven-pairs reading is dropped.
  ASSERT_EQ(MjSplits(hand("2233445566778p 8p"), s), 3);
  EXPECT_EQ(s[0].pair, 12);
  EXPECT_EQ(s[1].pair, 15);
  EXPECT_EQ(s[2].pair, 18);
  EXPECT_EQ(s[3].fu, 0);

  // One standard reading and the seven-pairs reading after it.
  ASSERT_EQ(MjSplits(hand("112233m445566p7s 7s"), s), 2);
  EXPECT_EQ(s[0].kind, kStandard);
  EXPECT_EQ(s[1].kind, kSevenPairs);
  EXPECT_EQ(s[1].fu, 25);

  ASSERT_EQ(MjSplits(hand("19m19p19s1234567z 1m"), s), 1);
  EXPECT_EQ(s[0].kind, kThirteenOrphans);

  // Called melds come first with their flags; a concealed kan is -2.
  ASSERT_EQ(MjSplits(hand("chi:345m pon:222p kan:5555z ankan:9999s 7m 7m"), s), 1);
  EXPECT_EQ(s[0].meld_start, (std::array<int, 4>{3, 12, 35, 29}));
  EXPECT_EQ(s[0].meld_type, (std::array<int, 4>{kSequence, kTriplet, kTriplet, kTriplet}));
  EXPECT_EQ(s[0].meld_flag, (std::array<int, 4>{1, kFlagPon, kFlagOpenKan, kSplitConcealedKan}));
  EXPECT_EQ(s[0].meld_fu, (std::array<int, 4>{0, 2, 16, 32}));
}

TEST(Splits, FourCopiesMakeATripletAndASequence) {
  std::array<MjSplit, kMaxSplits> s;
  ASSERT_EQ(MjSplits(hand("111123m567p789s9s 9s"), s), 1);
  EXPECT_EQ(s[0].pair, 29);
  EXPECT_EQ(s[0].meld_start, (std::array<int, 4>{1, 1, 15, 27}));
  EXPECT_EQ(s[0].meld_type, (std::array<int, 4>{kTriplet, kSequence, kSequence, kSequence}));
}

// Hands a script may hand over: the evaluation answers "not complete" and
// touches nothing outside its tables.
TEST(BadInput, TilesThatNameNoTile) {
  for (int bad : {100, 200, 300, 380, 390, 0, 5, -10, -1, 400, 599, 601, INT_MIN, INT_MAX, 154}) {
    SCOPED_TRACE(bad);
    MjHand h = hand("23m567m345p678s99p 4m");
    h.hand[3] = bad;
    EXPECT_EQ(MjIsComplete(h), 0);
    EXPECT_EQ(MjEvaluate(h), 0);
    EXPECT_EQ(h.yaku.count, 0);
    EXPECT_EQ(MjWaits(h), 0);
  }
}

TEST(BadInput, FiveCopiesAndWrongSizes) {
  MjHand five = hand("23m567m345p678s99p 4m");
  five.hand[0] = five.hand[1] = five.hand[2] = five.hand[3] = five.hand[4] = 53;  // five 5m
  EXPECT_EQ(MjIsComplete(five), 0);

  MjHand pon_and_two = hand("pon:555m 44m567p789s11z 1z");
  pon_and_two.hand[3] = pon_and_two.hand[4] = 50;  // five 5m counting the pon
  EXPECT_EQ(MjIsComplete(pon_and_two), 0);
  EXPECT_EQ(MjEvaluate(pon_and_two), 0);

  MjHand thirteen = hand("23m567m345p678s99p");
  EXPECT_EQ(thirteen.hand[13], kEmptySlot);
  EXPECT_EQ(MjIsComplete(thirteen), 0);
  EXPECT_EQ(MjEvaluate(thirteen), 0);

  MjHand empty;
  EXPECT_EQ(MjIsComplete(empty), 0);
  EXPECT_EQ(MjWaits(empty), 0);
  EXPECT_EQ(MjEvaluate(empty), 0);
}

TEST(BadInput, MalformedMeldFlags) {
  MjHand h = hand("chi:234m 567m345p678s5s 5s");
  ASSERT_GT(MjEvaluate(h), 0);

  MjHand mixed = h;
  mixed.meld_flags[1] = kFlagPon;  // a group with sequence and triplet flags
  EXPECT_EQ(MjEvaluate(mixed), 0);

  MjHand short_group = h;
  short_group.meld_flags[2] = 0;  // a called meld of two tiles
  EXPECT_EQ(MjEvaluate(short_group), 0);

  MjHand stray = h;
  stray.meld_flags[9] = kFlagPon;  // a flag among the concealed tiles
  EXPECT_EQ(MjEvaluate(stray), 0);

  MjHand unknown = h;
  unknown.meld_flags[0] = unknown.meld_flags[1] = unknown.meld_flags[2] = 7;
  EXPECT_EQ(MjEvaluate(unknown), 0);

  MjHand not_a_run = hand("chi:246m 567m345p678s5s 5s");
  EXPECT_EQ(MjEvaluate(not_a_run), 0);
}

TEST(BadInput, SituationOutOfRange) {
  MjHand h = hand("111z234m567p888s9s 9s");
  for (int wind : {-1, 4, 100, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(wind);
    h.seat_wind = wind;
    h.round_wind = wind;
    h.reach = wind;
    EXPECT_EQ(MjEvaluate(h), 0) << "no wind yaku, no riichi: the hand has no yaku";
  }
  h.seat_wind = 1;
  h.round_wind = 0;
  h.reach = 1;
  h.dora.fill(INT_MAX);  // no terminator, and no tile
  EXPECT_EQ(MjEvaluate(h), 32);
  EXPECT_EQ(h.han, 2);
}

}  // namespace
