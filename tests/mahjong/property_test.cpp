// Properties over many seeded random hands.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "mahjong/evaluate.h"
#include "tests/mahjong/random_hands.h"

namespace {

using namespace mj;

constexpr int kHands = 20000;

std::vector<int> hand_codes(const MjHand& h) {
  std::vector<int> codes;
  for (int v : h.hand) codes.push_back(v / 10);
  std::sort(codes.begin(), codes.end());
  return codes;
}

// The codes a split stands for: the pair twice and three per meld (a kan
// is stored, and so counted, as three tiles).
std::vector<int> split_codes(const MjSplit& s) {
  std::vector<int> codes = {s.pair, s.pair};
  for (int m = 0; m < 4; ++m)
    for (int k = 0; k < 3; ++k) codes.push_back(s.meld_start[m] + (s.meld_type[m] == kSequence ? k : 0));
  std::sort(codes.begin(), codes.end());
  return codes;
}

TEST(Properties, WinningHandsSplitIntoExactlyTheirTiles) {
  mj_test::RandomHands gen(20240601);
  int seven_pairs = 0, orphans = 0, called = 0;
  for (int i = 0; i < kHands; ++i) {
    MjHand h = gen.winning();
    ASSERT_GT(MjIsComplete(h), 0) << "hand " << i;
    std::array<MjSplit, kMaxSplits> splits;
    int n = MjSplits(h, splits);
    ASSERT_GT(n, 0) << "hand " << i;
    EXPECT_EQ(splits[n].fu, 0) << "the list ends with an empty record";
    for (int k = 0; k < n; ++k) {
      const MjSplit& s = splits[k];
      if (s.kind == kSevenPairs) {
        ++seven_pairs;
        continue;
      }
      if (s.kind == kThirteenOrphans) {
        ++orphans;
        continue;
      }
      ASSERT_EQ(split_codes(s), hand_codes(h)) << "hand " << i << " split " << k;
      // Called groups come first, in hand order, and keep their flags.
      for (int m = 0; m < 4; ++m) {
        int flag = h.meld_flags[3 * m];
        if (flag == 0) break;
        ++called;
        EXPECT_GT(s.meld_flag[m] * (flag == kFlagConcealedKan ? -1 : 1), 0) << "hand " << i;
      }
    }
  }
  EXPECT_GT(seven_pairs, 100);
  EXPECT_GT(orphans, 100);
  EXPECT_GT(called, 1000);
}

TEST(Properties, MoreDoraNeverLowerTheScore) {
  mj_test::RandomHands gen(77);
  int wins = 0;
  for (int i = 0; i < kHands; ++i) {
    MjHand h = gen.winning();
    MjHand before = h;
    int base = MjEvaluate(before);
    wins += base > 0;
    int free = static_cast<int>(std::find(h.dora.begin(), h.dora.end(), -1) - h.dora.begin());
    ASSERT_LT(free, kMaxDoraIndicators);
    // An indicator for a tile of the hand, so that it surely counts.
    int target = h.hand[gen.below(kHandSize)] / 10;
    int indicator = 1;
    while (kDoraSuccessor[indicator] != target) ++indicator;
    h.dora[free] = indicator * 10;
    MjHand after = h;
    int more = MjEvaluate(after);
    ASSERT_GE(more, base) << "hand " << i;
    ASSERT_GE(after.han, before.han) << "hand " << i;
    if (base > 0 && before.han < 100) {
      EXPECT_GT(after.han, before.han) << "hand " << i;
    }
  }
  EXPECT_GT(wins, kHands / 2);
}

TEST(Properties, ResultsAreConsistent) {
  mj_test::RandomHands gen(5);
  for (int i = 0; i < kHands; ++i) {
    MjHand h = gen.winning();
    int ron = MjEvaluate(h);
    ASSERT_EQ(ron, h.ron_points);
    ASSERT_LE(h.yaku.count, kYakuListSize);
    int han = 0;
    for (int k = 0; k < h.yaku.count; ++k) han += h.yaku.entries[k].han;
    ASSERT_EQ(han, h.han) << "hand " << i;
    if (ron == 0) {
      ASSERT_EQ(h.yaku.count, 0);
      continue;
    }
    ASSERT_TRUE(h.fu == 25 || h.fu % 10 == 0) << h.fu;
    const bool dealer = h.seat_wind == 0;
    Payment p = payment_for(h.han, h.fu, dealer);
    ASSERT_EQ(p.ron, ron);
    // Self-drawn payments never fall short of the discard payment.
    int tsumo_total = dealer ? 3 * h.others_pay : h.dealer_pays + 2 * h.others_pay;
    ASSERT_GE(tsumo_total, ron) << "hand " << i;
  }
}

TEST(Properties, WaitsAreExactlyTheCompletingTiles) {
  mj_test::RandomHands gen(99);
  for (int i = 0; i < kHands / 4; ++i) {
    // A winning hand less one concealed tile waits at least on that tile.
    MjHand h = gen.winning();
    int first_concealed = 0;
    while (h.meld_flags[first_concealed] != 0) ++first_concealed;
    int out = first_concealed + gen.below(kHandSize - first_concealed);
    int code = h.hand[out] / 10;
    std::copy(h.hand.begin() + out + 1, h.hand.end(), h.hand.begin() + out);
    h.hand[kHandSize - 1] = kEmptySlot;
    int n = MjWaits(h);
    ASSERT_TRUE(std::find(h.waits.begin(), h.waits.begin() + n, code) != h.waits.begin() + n) << "hand " << i;

    // Random thirteen tiles: every wait completes, every other code does not.
    MjHand r = gen.thirteen();
    n = MjWaits(r);
    for (int c = 1; c < kCodeCount; ++c) {
      if (!is_tile(c)) continue;
      MjHand with = r;
      with.hand[kHandSize - 1] = c * 10;
      bool wait = std::find(r.waits.begin(), r.waits.begin() + n, c) != r.waits.begin() + n;
      int copies = static_cast<int>(std::count_if(r.hand.begin(), r.hand.begin() + 13, [&](int v) { return v / 10 == c; }));
      ASSERT_EQ(wait, copies < 4 && MjIsComplete(with) > 0) << "hand " << i << " code " << c;
    }
  }
}

}  // namespace
