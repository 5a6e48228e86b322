#include "mahjong/wall.h"

#include <utility>

namespace mj {

void Wall::build(int players, base::Random& rng) {
  three_players_ = players == 3;
  tiles_.fill(-1);
  taken_.fill(false);
  unseen_.fill(0);
  unseen_free_.fill(0);
  count_ = 0;
  next_ = 0;
  for (int code = 1; code < kCodeCount; ++code) {
    int copies = copies_of(code);
    for (int k = 0; k < copies; ++k) tiles_[count_++] = code * 10 + k;
    unseen_[code] = unseen_free_[code] = copies;
  }
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < count_; ++i) std::swap(tiles_[i], tiles_[rng.next() % count_]);
}

// Moves the tile at `pos` to the draw position and counts it as drawn.
void Wall::remove_at(int pos) {
  std::swap(tiles_[pos], tiles_[next_]);
  std::swap(taken_[pos], taken_[next_]);
  int code = tiles_[next_] / 10;
  --unseen_[code];
  if (!taken_[next_]) --unseen_free_[code];
  taken_[next_] = false;
  ++next_;
}

int Wall::draw() {
  for (int pos = next_; pos < count_; ++pos) {
    if (taken_[pos]) continue;
    int value = tiles_[pos];
    remove_at(pos);
    return value;
  }
  return -1;
}

bool Wall::put_back(int value, base::Random& rng) {
  int code = tile_code(value);
  if (next_ == 0 || code == 0 || unseen_[code] >= copies_of(code)) return false;
  --next_;
  tiles_[next_] = value;
  taken_[next_] = false;
  ++unseen_[code];
  ++unseen_free_[code];
  int pos = next_ + rng.next() % (count_ - next_);
  std::swap(tiles_[next_], tiles_[pos]);
  std::swap(taken_[next_], taken_[pos]);
  return true;
}

bool Wall::set_aside(int code) {
  if (!is_tile(code)) return false;
  for (int pos = next_; pos < count_; ++pos) {
    if (taken_[pos] || tiles_[pos] / 10 != code) continue;
    taken_[pos] = true;
    --unseen_free_[code];
    return true;
  }
  return false;
}

int Wall::available(int code, bool favoured) const {
  if (!is_tile(code)) return 0;
  return favoured ? unseen_[code] : unseen_free_[code];
}

int Wall::take(int code, bool favoured) {
  if (!is_tile(code)) return -1;
  int found = -1;
  for (int pos = next_; pos < count_; ++pos) {
    if (tiles_[pos] / 10 != code) continue;
    if (taken_[pos] ? favoured : found < 0) found = pos;
    if (taken_[pos] && favoured) break;
  }
  if (found < 0) return -1;
  int value = tiles_[found];
  remove_at(found);
  return value;
}

}  // namespace mj
