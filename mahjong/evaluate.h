// Hand evaluation and scoring: whether fourteen tiles win, the splits into
// melds, the yaku and fu of each split, dora and red fives, and the
// payments of the best split.
//
// The evaluation is a pure function of the hand situation (MjHand): it
// reads no engine state, so the play logic, the tests and the benchmark
// call it alike. Any input is accepted: a hand with a slot that holds no
// tile, more than four copies of a tile or malformed meld groups is simply
// not complete, and scores 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "mahjong/tiles.h"
#include "mahjong/yaku.h"

namespace mj {

inline constexpr int kHandSize = 14;
inline constexpr int kMaxDoraIndicators = 16;
inline constexpr int kYakuListSize = 8;
inline constexpr int kMaxSplits = 5;  // three standard, one seven-pairs, the end record

// Meld flags of a hand slot (meld_flags): called sequences carry 1, 2, 3 in
// their three slots; a called triplet 4; an open kan 5; a concealed kan -1.
// A kan is stored as three tiles.
inline constexpr int kFlagConcealed = 0;
inline constexpr int kFlagPon = 4;
inline constexpr int kFlagOpenKan = 5;
inline constexpr int kFlagConcealedKan = -1;

template <std::size_t N>
constexpr std::array<int, N> filled_array(int v) {
  std::array<int, N> a{};
  a.fill(v);
  return a;
}

struct YakuEntry {
  int yaku = kOther;  // index into the yaku name table
  int han = 0;
};

// The yaku of one result: at most eight entries; a ninth and later award
// is folded into the eighth entry, which then reads "その他".
struct YakuList {
  std::array<YakuEntry, kYakuListSize> entries{};
  int count = 0;
};

// Optional rules and table size, as far as they change a score.
struct MjRules {
  int players = 4;   // 2-4
  int con_en = 0;    // 0: every optional rule in force; 1: each follows its switch
  int kuitan = 0;    // "all simples" with a called meld
  int tumopin = 0;   // "no points" on a self-drawn win
  int akau = 0;      // red fives
  bool open_tanyao() const { return con_en == 0 || kuitan != 0; }
  bool tsumo_pinfu() const { return !(con_en != 0 && tumopin == 0); }
  bool red_fives() const { return players == 2 || (con_en != 0 && akau != 0); }
};

// The hand situation: what the evaluation reads, and its results.
struct MjHand {
  // Results of MjEvaluate.
  YakuList yaku;
  int fu = 0;
  int han = 0;
  int ron_points = 0;   // units of 100 points
  int dealer_pays = 0;  // self-drawn win: the dealer's share (everyone's when the dealer wins)
  int others_pay = 0;   // self-drawn win: each non-dealer's share

  // The win.
  int tsumo = 0;       // 1: self-drawn
  int reach = 0;       // 0 none, 1 riichi, 2 double riichi
  int seat_wind = 0;   // 0 East (the dealer) .. 3 North
  int round_wind = 0;  // 0 East .. 3 North
  int rinshan = 0;     // won on the replacement tile after a kan
  int ippatsu = 0;     // within the first go-around after riichi
  int first_turn = 0;  // uninterrupted first go-around
  int haitei = 0;      // won on the last tile
  // Dora indicator values, ended by -1 (or by the end of the array).
  std::array<int, kMaxDoraIndicators + 1> dora = filled_array<kMaxDoraIndicators + 1>(-1);
  // Tile values; the fourteenth is the winning tile; called melds first.
  std::array<int, kHandSize> hand = filled_array<kHandSize>(kEmptySlot);
  std::array<int, kHandSize> meld_flags{};
  std::array<int, kHandSize> called_marks{};  // carried for the play logic
  // Set by MjWaits: the waiting codes, ended by -1.
  std::array<int, 35> waits = filled_array<35>(-1);
  MjRules rules;
};

enum SplitKind : int { kStandard = 0, kSevenPairs = 1, kThirteenOrphans = 2 };
enum MeldType : int { kTriplet = 0, kSequence = 1 };
// Flags of a split's melds: <= 0 concealed, > 0 called.
inline constexpr int kSplitConcealedKan = -2;
inline constexpr int kSplitRonTriplet = 99;  // completed by the discard: called for the concealed count only

// One way of reading a complete hand.
struct MjSplit {
  int kind = kStandard;
  int pair = 0;     // pair code
  int pair_fu = 0;
  std::array<int, 4> meld_start{};  // start code of each meld
  std::array<int, 4> meld_type{};
  std::array<int, 4> meld_flag{};
  std::array<int, 4> meld_fu{};
  int fu = 0;        // -1 when the split has no yaku; 0 ends a split list
  int han = 0;       // total han, dora included
  int yaku_han = 0;  // han of real yaku
  YakuList yaku;
};

// 3 thirteen orphans, 2 seven pairs, 1 a standard winning shape, 0 not complete.
int MjIsComplete(const MjHand& h);

// Number of codes the first thirteen tiles wait on (0: not ready); the
// codes, ended by -1, go to h.waits.
int MjWaits(MjHand& h);

// Ron points (units of 100) of the best split, or 0; fills the result
// fields of h.
int MjEvaluate(MjHand& h);

// The splits of a complete hand, scored, in the order they are compared;
// the list ends with a record whose fu is 0. Returns the number of splits.
int MjSplits(const MjHand& h, std::array<MjSplit, kMaxSplits>& out);

// Limit class for display: 0 none, 1 mangan .. 7.
int limit_class(int ron_points, bool dealer);

// Base points for han and fu below the limit rules, for tests and display.
struct Payment {
  int ron = 0;
  int dealer_pays = 0;
  int others_pay = 0;
};
Payment payment_for(int han, int fu, bool dealer);

}  // namespace mj
