// Hand evaluation on arbitrary hand situations. The first byte picks how
// the rest is read: as raw 32-bit integers (codes that name no tile,
// negatives, huge values); as one byte per field mapped near the valid
// ranges; or as a pair and four melds, so that most inputs are complete
// or nearly complete hands and reach the yaku and fu.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "mahjong/evaluate.h"

namespace {

class Reader {
 public:
  Reader(const uint8_t* data, size_t size, bool raw) : data_(data), size_(size), raw_(raw) {}
  // A value in [lo, lo + span) in compact mode, any int in raw mode.
  int next(int lo, int span) {
    if (raw_) {
      uint32_t v = 0;
      for (int k = 0; k < 4; ++k) v |= static_cast<uint32_t>(byte()) << (8 * k);
      return static_cast<int>(v);
    }
    return lo + byte() % span;
  }

 private:
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool raw_;
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

constexpr int kTiles[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  11, 12, 13, 14, 15, 16, 17, 18,
                          19, 21, 22, 23, 24, 25, 26, 27, 28, 29, 31, 32, 33, 34, 35, 36, 37};

// A pair and four melds; called melds first, then the concealed tiles in
// an order the input chooses, the last one being the winning tile.
void melds(Reader& in, mj::MjHand& h) {
  int concealed[14];
  int n = 0, slot = 0;
  for (int m = 0; m < 4; ++m) {
    int kind = in.next(0, 6);  // 0-1 sequence, 2-3 triplet, 4 open kan, 5 concealed kan
    bool called = kind >= 4 || in.next(0, 3) == 0;
    int code = kTiles[in.next(0, 34)];
    for (int k = 0; k < 3; ++k) {
      int c = kind < 2 ? code + k : code;
      int value = c * 10 + (kind >= 4 ? k : in.next(0, 4));
      if (!called) {
        concealed[n++] = value;
        continue;
      }
      h.hand[slot] = value;
      h.meld_flags[slot++] = kind < 2 ? k + 1 : kind < 4 ? mj::kFlagPon : kind == 4 ? mj::kFlagOpenKan : mj::kFlagConcealedKan;
    }
  }
  int pair = kTiles[in.next(0, 34)];
  concealed[n++] = pair * 10 + in.next(0, 4);
  concealed[n++] = pair * 10 + in.next(0, 4);
  for (int i = n - 1; i > 0; --i) std::swap(concealed[i], concealed[in.next(0, i + 1)]);
  for (int i = 0; i < n; ++i) h.hand[slot++] = concealed[i];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int mode = data[0] % 3;
  Reader in(data + 1, size - 1, mode == 1);
  mj::MjHand h;
  if (mode == 2) {
    melds(in, h);
  } else {
    for (int& v : h.hand) v = in.next(8, 385);  // every code and copy, and a few values beyond
    for (int& f : h.meld_flags) {
      int flag = in.next(-2, 10);
      f = in.next(0, 3) == 0 ? flag : 0;  // mostly concealed
    }
  }
  for (int& d : h.dora) d = in.next(-1, 392);
  h.tsumo = in.next(0, 2);
  h.reach = in.next(-1, 5);
  h.seat_wind = in.next(-1, 6);
  h.round_wind = in.next(-1, 6);
  h.rinshan = in.next(0, 2);
  h.ippatsu = in.next(0, 2);
  h.first_turn = in.next(0, 2);
  h.haitei = in.next(0, 2);
  h.rules = {in.next(1, 5), in.next(0, 2), in.next(0, 2), in.next(0, 2), in.next(0, 2)};

  int complete = mj::MjIsComplete(h);
  check(complete >= 0 && complete <= 3);

  mj::MjHand w = h;
  int waits = mj::MjWaits(w);
  check(waits >= 0 && waits <= 34 && w.waits[waits] == -1);

  std::array<mj::MjSplit, mj::kMaxSplits> splits;
  int n = mj::MjSplits(h, splits);
  check(n >= 0 && n < mj::kMaxSplits && splits[n].fu == 0 && (n > 0) == (complete > 0));

  int ron = mj::MjEvaluate(h);
  check(ron >= 0 && ron == h.ron_points && h.yaku.count >= 0 && h.yaku.count <= mj::kYakuListSize);
  check(complete > 0 || ron == 0);
  for (int i = 0; i < h.yaku.count; ++i) check(mj::yaku_name(h.yaku.entries[i].yaku)[0] != '\0');
  return 0;
}
