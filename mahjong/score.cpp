// Fu, yaku, dora and payments of each split, and the choice of the best.
//
// [SECTION] Awards: the yaku list of one split
// [SECTION] Hand facts: what every split of a hand shares
// [SECTION] Fu of a standard split
// [SECTION] Yaku of a standard split
// [SECTION] Seven pairs and thirteen orphans
// [SECTION] Payments and the best split
#include <algorithm>

#include "mahjong/evaluate.h"
#include "mahjong/private/shape.h"

namespace mj {

namespace {

// [SECTION] Awards: the yaku list of one split ------------------------------

// Collected without a size limit so that a later removal stays exact; the
// eight-entry list is made at the end.
struct Awards {
  std::array<YakuEntry, 40> entries{};
  int count = 0;
  int han = 0;
  int yaku_han = 0;

  void add(int yaku, int han_value, bool is_yaku = true) {
    if (count == static_cast<int>(entries.size())) return;
    entries[count++] = {yaku, han_value};
    han += han_value;
    if (is_yaku) yaku_han += han_value;
  }
  void remove(int yaku) {
    for (int i = 0; i < count; ++i) {
      if (entries[i].yaku != yaku) continue;
      han -= entries[i].han;
      yaku_han -= entries[i].han;
      std::copy(entries.begin() + i + 1, entries.begin() + count, entries.begin() + i);
      --count;
      return;
    }
  }
  YakuList list() const {
    YakuList l;
    for (int i = 0; i < count; ++i) {
      if (i < kYakuListSize) {
        l.entries[i] = entries[i];
        l.count = i + 1;
      } else {
        l.entries[kYakuListSize - 1].yaku = kOther;
        l.entries[kYakuListSize - 1].han += entries[i].han;
      }
    }
    return l;
  }
};

// [SECTION] Hand facts: what every split of a hand shares -------------------

struct Facts {
  detail::Counts tiles{};  // tiles by code over all fourteen positions (a kan is three)
  int win = 0;             // code of the winning tile
  bool closed = true;      // no called meld
  bool dealer = false;
  int seat_code = 0;   // wind codes, 0 when the wind is out of range
  int round_code = 0;
  int honours = 0, dragons = 0, winds = 0, kan_positions = 0;
  bool all_honours = true, all_terminals = true, all_green = true, all_simples = true;
  bool all_outside = true;
  int number_suits = 0;   // bit per number suit present
  bool characters_only = true;
  int characters_sum = 0;  // face values, a kan's fourth tile counted
  bool nine_gates = false;
  int dora = 0;
};

int wind_code(int wind) { return wind >= 0 && wind <= 3 ? kEast + wind : 0; }

int dora_count(const MjHand& h) {
  int n = 0;
  for (int i = 0; i < kHandSize; ++i) {
    int code = tile_code(h.hand[i]);
    if (code == 0) continue;
    // A kan is stored as three tiles; its first slot stands for the fourth.
    bool kan_first = (h.meld_flags[i] == kFlagOpenKan || h.meld_flags[i] == kFlagConcealedKan) && i % 3 == 0;
    for (int d : h.dora) {
      if (d == -1) break;
      int indicator = tile_code(d);
      if (indicator != 0 && kDoraSuccessor[indicator] == code) n += kan_first ? 2 : 1;
    }
    if (h.rules.red_fives() && is_red_five(h.hand[i])) ++n;
  }
  return n;
}

Facts hand_facts(const MjHand& h, const detail::Shape& s) {
  Facts f;
  f.win = tile_code(h.hand[kHandSize - 1]);
  f.dealer = h.seat_wind == 0;
  f.seat_code = wind_code(h.seat_wind);
  f.round_code = wind_code(h.round_wind);
  for (int i = 0; i < s.called_count; ++i)
    if (s.called[i].flag > 0) f.closed = false;
  for (int i = 0; i < kHandSize; ++i) {
    int code = tile_code(h.hand[i]);
    ++f.tiles[code];
    f.honours += is_honour_code(code);
    f.dragons += is_dragon_code(code);
    f.winds += is_wind_code(code);
    bool kan = h.meld_flags[i] == kFlagOpenKan || h.meld_flags[i] == kFlagConcealedKan;
    f.kan_positions += kan;
    f.all_honours = f.all_honours && is_honour_code(code);
    f.all_terminals = f.all_terminals && kTerminal[code];
    f.all_green = f.all_green && kGreenTile[code];
    f.all_simples = f.all_simples && kSimple[code];
    f.all_outside = f.all_outside && kTerminalOrHonour[code];
    if (is_number_code(code)) f.number_suits |= 1 << tile_suit(code);
    f.characters_only = f.characters_only && kCharactersValue[code] != 0;
    f.characters_sum += kCharactersValue[code] * ((kan && i % 3 == 0) ? 2 : 1);
  }
  if (f.closed && f.honours == 0 && (f.number_suits & (f.number_suits - 1)) == 0 && f.number_suits != 0) {
    int base = 10 * __builtin_ctz(static_cast<unsigned>(f.number_suits));
    bool gates = f.tiles[base + 1] >= 3 && f.tiles[base + 9] >= 3;
    for (int k = 2; k <= 8; ++k) gates = gates && f.tiles[base + k] >= 1;
    f.nine_gates = gates;
  }
  f.dora = dora_count(h);
  return f;
}

void award_dora(Awards& a, int n) {
  static constexpr int kNamed[] = {0, kDora1, kDora2, kDora3, kDora4};
  if (n <= 0) return;
  a.add(n <= 4 ? kNamed[n] : kDoraMany, n, false);
}

// [SECTION] Fu of a standard split ------------------------------------------

struct SplitView {
  MjSplit& s;
  int sequences() const { return static_cast<int>(std::count(s.meld_type.begin(), s.meld_type.end(), kSequence)); }
  int triplets() const { return 4 - sequences(); }
  bool has_sequence(int start) const {
    for (int i = 0; i < 4; ++i)
      if (s.meld_type[i] == kSequence && s.meld_start[i] == start) return true;
    return false;
  }
  int count_sequence(int start, bool concealed_only) const {
    int n = 0;
    for (int i = 0; i < 4; ++i)
      n += s.meld_type[i] == kSequence && s.meld_start[i] == start && (!concealed_only || s.meld_flag[i] <= 0);
    return n;
  }
  bool has_triplet(int code) const {
    for (int i = 0; i < 4; ++i)
      if (s.meld_type[i] == kTriplet && s.meld_start[i] == code) return true;
    return false;
  }
  int concealed_triplets() const {
    int n = 0;
    for (int i = 0; i < 4; ++i) n += s.meld_type[i] == kTriplet && s.meld_flag[i] <= 0;
    return n;
  }
};

// The winning tile lies in a concealed (hand-scanned) meld or the pair:
// called melds were complete before it arrived.
int standard_fu(MjSplit& s, const MjHand& h, const Facts& f) {
  int fu = 20;
  if (h.tsumo) fu = 22;
  else if (f.closed) fu += 10;

  s.pair_fu = 0;
  if (s.pair == f.seat_code) s.pair_fu += 2;
  if (s.pair == f.round_code && f.round_code != f.seat_code) s.pair_fu += 2;
  if (is_dragon_code(s.pair)) s.pair_fu += 2;
  fu += s.pair_fu;

  const int w = f.win;
  bool in_sequence = false, wait_fu = false;
  for (int i = 0; i < 4; ++i) {
    if (s.meld_flag[i] != 0) continue;
    int start = s.meld_start[i];
    if (s.meld_type[i] == kSequence) {
      if (w < start || w > start + 2) continue;
      in_sequence = true;
      bool edge = (tile_number(start) == 1 && w == start + 2) || (tile_number(start) == 7 && w == start);
      if (edge || w == start + 1) wait_fu = true;
    } else if (start == w) {
      wait_fu = true;
    }
  }
  if (w == s.pair) wait_fu = true;
  if (wait_fu) fu += 2;

  for (int i = 0; i < 4; ++i) {
    int code = s.meld_start[i];
    if (s.meld_type[i] != kTriplet) {
      s.meld_fu[i] = 0;
      continue;
    }
    int base = kTripletFu[code];
    switch (s.meld_flag[i]) {
      case kFlagPon: s.meld_fu[i] = base; break;
      case kFlagOpenKan: s.meld_fu[i] = base * 4; break;
      case kSplitConcealedKan: s.meld_fu[i] = base * 8; break;
      default: s.meld_fu[i] = base * 2; break;
    }
  }
  // A triplet completed by the discard counts as called.
  if (!h.tsumo && w != s.pair && !in_sequence) {
    for (int i = 0; i < 4; ++i) {
      if (s.meld_type[i] == kTriplet && s.meld_flag[i] == 0 && s.meld_start[i] == w) {
        s.meld_flag[i] = kSplitRonTriplet;
        s.meld_fu[i] /= 2;
      }
    }
  }
  for (int k : s.meld_fu) fu += k;
  return fu;
}

// [SECTION] Yaku of a standard split ----------------------------------------

bool limit_yaku(Awards& a, const SplitView& v, const MjHand& h, const Facts& f) {
  const MjSplit& s = v.s;
  if (h.first_turn) {
    if (h.tsumo && f.dealer) a.add(kTenho, 100);
    if (h.tsumo && !f.dealer) a.add(kChiho, 100);
    if (!h.tsumo && !f.dealer) a.add(kRenho, 100);
  }
  if (f.all_honours) a.add(kTsuiso, 100);
  if (v.has_triplet(kWhite) && v.has_triplet(kGreen) && v.has_triplet(kRed)) a.add(kDaisangen, 100);
  if (v.concealed_triplets() == 4) {
    if (f.win == s.pair) a.add(kSuankoTanki, 200);
    else a.add(kSuanko, 100);
  }
  if (v.triplets() == 4) {
    std::array<int, 4> codes = s.meld_start;
    std::sort(codes.begin(), codes.end());
    if (codes[0] <= 26 && codes[1] == codes[0] + 1 && codes[2] == codes[0] + 2 && codes[3] == codes[0] + 3)
      a.add(kSurenko, 100);
  }
  if (f.kan_positions == 12) a.add(kSukantsu, 100);
  if (f.winds == 12) a.add(kDaisushi, 200);
  else if (f.winds == 11) a.add(kShosushi, 100);
  if (f.all_terminals) a.add(kChinroto, 100);
  if (f.all_green) a.add(kRyuiso, 100);
  if (s.pair == 12 && v.count_sequence(13, true) == 2 && v.count_sequence(16, true) == 2) a.add(kDaisharin, 100);
  if (f.nine_gates) a.add(kChuren, 100);
  if (f.characters_only && f.characters_sum >= 100) a.add(kHyakumangoku, 100);
  return a.yaku_han > 0;
}

void award_reach(Awards& a, const MjHand& h) {
  if (h.reach == 1) a.add(kReach, 1);
  else if (h.reach == 2) a.add(kDoubleReach, 2);
  if ((h.reach == 1 || h.reach == 2) && h.ippatsu) a.add(kIppatsu, 1);
}

void award_flush(Awards& a, const Facts& f) {
  if (f.number_suits == 0 || (f.number_suits & (f.number_suits - 1)) != 0) return;
  if (f.honours > 0) a.add(kHonitsu, f.closed ? 3 : 2);
  else a.add(kChinitsu, f.closed ? 6 : 5);
}

void standard_yaku(Awards& a, const SplitView& v, const MjHand& h, const Facts& f, int& fu) {
  MjSplit& s = v.s;
  if (limit_yaku(a, v, h, f)) return;
  award_reach(a, h);

  if (f.closed && s.pair_fu == 0 && v.sequences() == 4 && (!h.tsumo || h.rules.tsumo_pinfu())) {
    bool two_sided = false;
    for (int i = 0; i < 4; ++i) {
      int start = s.meld_start[i];
      if ((f.win == start && tile_number(f.win) != 7) || (f.win == start + 2 && tile_number(f.win) != 3))
        two_sided = true;
    }
    if (two_sided) {
      a.add(kPinfu, 1);
      fu = h.tsumo ? 20 : 30;
    }
  }
  if (f.dragons == 8) a.add(kShosangen, 2);
  award_flush(a, f);
  if (f.kan_positions == 9) a.add(kSankantsu, 2);
  for (int n = 1; n <= 9; ++n) {
    if (v.has_triplet(n) && v.has_triplet(n + 10) && v.has_triplet(n + 20)) {
      a.add(kSanshokuDoko, 2);
      break;
    }
  }
  for (int n = 1; n <= 7; ++n) {
    if (v.has_sequence(n) && v.has_sequence(n + 10) && v.has_sequence(n + 20)) {
      a.add(kSanshoku, f.closed ? 2 : 1);
      break;
    }
  }
  for (int c = 1; c <= 27; ++c) {
    if (is_number_code(c) && tile_number(c) <= 7 && v.has_triplet(c) && v.has_triplet(c + 1) && v.has_triplet(c + 2)) {
      a.add(kSanrenko, 2);
      break;
    }
  }
  if (v.concealed_triplets() == 3) a.add(kSananko, 2);
  if (f.closed) {
    // Sequences with exactly one identical twin: two make one pair of
    // twins, four make two. Three alike have two twins each and count none.
    int twinned = 0;
    for (int i = 0; i < 4; ++i)
      if (s.meld_type[i] == kSequence && s.meld_flag[i] <= 0 && v.count_sequence(s.meld_start[i], true) == 2)
        ++twinned;
    if (twinned == 2) a.add(kIipeiko, 1);
    else if (twinned == 4) a.add(kRyanpeiko, 3);
  }
  if (v.triplets() == 4) a.add(kToitoi, 2);
  for (int base = 0; base <= 20; base += 10) {
    if (v.has_sequence(base + 1) && v.has_sequence(base + 4) && v.has_sequence(base + 7)) {
      a.add(kIttsu, f.closed ? 2 : 1);
      break;
    }
  }
  bool outside = kOutsideClass[s.pair] >= 2;
  bool honour = kOutsideClass[s.pair] == 3;
  for (int i = 0; i < 4 && outside; ++i) {
    int cls = kOutsideClass[s.meld_start[i]];
    outside = cls >= 2 || (cls == 1 && s.meld_type[i] == kSequence);
    honour = honour || cls == 3;
  }
  if (outside) {
    if (honour) a.add(kChanta, f.closed ? 2 : 1);
    else a.add(kJunchan, f.closed ? 3 : 2);
  }
  if (f.all_outside) {
    a.add(kHonroto, 2);
    a.remove(kChanta);
  }
  if (f.all_simples && (f.closed || h.rules.open_tanyao())) a.add(kTanyao, 1);
  if (h.haitei) a.add(kHaitei, 1);
  if (h.rinshan) a.add(kRinshan, 1);
  if (h.tsumo && f.closed) a.add(kTsumo, 1);

  if (f.seat_code != 0 && f.seat_code == f.round_code) {
    if (v.has_triplet(f.seat_code)) a.add(kDoubleEast + (f.seat_code - kEast), 2);
  } else {
    for (int code = kEast; code <= 34; ++code)
      if ((code == f.seat_code || code == f.round_code) && v.has_triplet(code)) a.add(kEastWind + (code - kEast), 1);
  }
  if (v.has_triplet(kWhite)) a.add(kWhiteDragon, 1);
  if (v.has_triplet(kGreen)) a.add(kGreenDragon, 1);
  if (v.has_triplet(kRed)) a.add(kRedDragon, 1);
  award_dora(a, f.dora);
}

// [SECTION] Seven pairs and thirteen orphans ---------------------------------

void seven_pairs_yaku(Awards& a, const MjHand& h, const Facts& f) {
  if (f.all_honours) {
    a.add(kTsuiso, 100);
    return;
  }
  award_reach(a, h);
  award_flush(a, f);
  if (f.all_outside) a.add(kHonroto, 2);
  a.add(kChiitoitsu, 2);
  if (h.haitei) a.add(kHaitei, 1);
  if (f.all_simples) a.add(kTanyao, 1);
  if (h.tsumo) a.add(kTsumo, 1);
  award_dora(a, f.dora);
}

void orphans_yaku(Awards& a, const MjHand& h, const Facts& f) {
  if (h.first_turn) {
    if (h.tsumo && f.dealer) a.add(kTenho, 100);
    if (h.tsumo && !f.dealer) a.add(kChiho, 100);
    if (!h.tsumo && !f.dealer) a.add(kRenho, 100);
  }
  a.add(kKokushi, 100);
}

void score_split(MjSplit& s, const MjHand& h, const Facts& f) {
  Awards a;
  int fu = 0;
  switch (s.kind) {
    case kSevenPairs:
      fu = 25;
      seven_pairs_yaku(a, h, f);
      break;
    case kThirteenOrphans:
      fu = 30;
      orphans_yaku(a, h, f);
      break;
    default:
      fu = standard_fu(s, h, f);
      standard_yaku(a, SplitView{s}, h, f, fu);
      break;
  }
  if (a.yaku_han == 0) fu = -1;
  else if (a.yaku_han == 1 && fu == 20) fu = 30;
  if (fu > 0 && fu != 25) fu = (fu + 9) / 10 * 10;
  s.fu = fu;
  s.han = a.han;
  s.yaku_han = a.yaku_han;
  s.yaku = a.list();
}

int round_up_100(int points) { return (points + 99) / 100; }

}  // namespace

// [SECTION] Payments and the best split --------------------------------------

Payment payment_for(int han, int fu, bool dealer) {
  Payment p;
  if (fu <= 0 || han <= 0) return p;
  if (han < 6) {
    int base = std::min(fu << (han + 2), 2000);
    if (dealer) {
      p.ron = round_up_100(6 * base);
      p.dealer_pays = p.others_pay = round_up_100(2 * base);
    } else {
      p.ron = round_up_100(4 * base);
      p.dealer_pays = round_up_100(2 * base);
      p.others_pay = round_up_100(base);
    }
    return p;
  }
  int u = han <= 7 ? 60 : han <= 10 ? 80 : han <= 12 ? 120 : han < 200 ? 160 : han < 300 ? 320 : 480;
  if (dealer) {
    p.ron = 3 * u;
    p.dealer_pays = p.others_pay = u;
  } else {
    p.ron = 2 * u;
    p.dealer_pays = u;
    p.others_pay = u / 2;
  }
  return p;
}

int limit_class(int ron_points, bool dealer) {
  int a = dealer ? ron_points / 3 : ron_points / 2;
  if (a < 40) return 0;
  if (a < 60) return 1;
  if (a < 80) return 2;
  if (a < 120) return 3;
  if (a < 160) return 4;
  if (a < 320) return 5;
  if (a < 480) return 6;
  return 7;
}

int MjSplits(const MjHand& h, std::array<MjSplit, kMaxSplits>& out) {
  detail::Shape shape;
  if (!detail::read_shape(h, kHandSize, shape)) {
    out.fill(MjSplit{});
    return 0;
  }
  int n = detail::split_shape(shape, out);
  if (n == 0) return 0;
  Facts f = hand_facts(h, shape);
  for (int i = 0; i < n; ++i) score_split(out[i], h, f);
  return n;
}

int MjEvaluate(MjHand& h) {
  h.yaku = YakuList{};
  h.fu = h.han = h.ron_points = h.dealer_pays = h.others_pay = 0;
  std::array<MjSplit, kMaxSplits> splits;
  int n = MjSplits(h, splits);
  const bool dealer = h.seat_wind == 0;
  int best = -1;
  Payment best_pay;
  for (int i = 0; i < n; ++i) {
    const MjSplit& s = splits[i];
    // A reading without yaku is passed over; a later reading may have some.
    if (s.fu <= 0) continue;
    Payment p = payment_for(s.han, s.fu, dealer);
    if (best < 0 || (p.ron >= best_pay.ron && s.han >= splits[best].han)) {
      best = i;
      best_pay = p;
    }
  }
  if (best < 0) return 0;
  h.yaku = splits[best].yaku;
  h.fu = splits[best].fu;
  h.han = splits[best].han;
  h.ron_points = best_pay.ron;
  h.dealer_pays = best_pay.dealer_pays;
  h.others_pay = best_pay.others_pay;
  return h.ron_points;
}

}  // namespace mj
