// The wall: the one piece of match state that lives only in the engine.
//
// Positions below `next` have been drawn; the rest are still in the wall.
// A tile may be *set aside* (taken) for the favoured opponent's end hand:
// draws pass over it, and only that opponent's reveals may use it. Two
// counters per code track the copies not yet seen: every copy still in
// the wall, and only those not set aside.
#pragma once

#include <array>

#include "base/random.h"
#include "mahjong/tiles.h"

namespace mj {

inline constexpr int kWallCapacity = 150;

class Wall {
 public:
  // Four copies of every code (three players: no characters 2-8), in code
  // order, shuffled twice over.
  void build(int players, base::Random& rng);

  // The next tile, or -1 when the wall is exhausted.
  int draw();
  // Puts a drawn tile back at a random remaining position. False (and no
  // change) when nothing has been drawn, the value names no tile, or every
  // copy of it is already in the wall.
  bool put_back(int value, base::Random& rng);

  // Sets aside one free copy of `code`; false when none is left.
  bool set_aside(int code);
  // Copies of `code` still available: every unseen copy for the favoured
  // opponent, only those not set aside for anyone else.
  int available(int code, bool favoured) const;
  // Takes a copy of `code` out of the wall (for a reveal or a call);
  // the favoured opponent uses its own set-aside copies first. -1 when none.
  int take(int code, bool favoured);

  int count() const { return count_; }
  int next_index() const { return next_; }
  int remaining() const { return count_ - next_; }
  int unseen(int code) const { return is_tile(code) ? unseen_[code] : 0; }
  int unseen_free(int code) const { return is_tile(code) ? unseen_free_[code] : 0; }
  int tile_at(int pos) const { return pos >= 0 && pos < kWallCapacity ? tiles_[pos] : -1; }
  bool taken_at(int pos) const { return pos >= 0 && pos < kWallCapacity && taken_[pos]; }
  // Copies of a code a wall of this size holds.
  int copies_of(int code) const { return is_tile(code) && !(three_players_ && code >= 2 && code <= 8) ? 4 : 0; }

 private:
  void remove_at(int pos);

  std::array<int, kWallCapacity> tiles_ = filled();
  std::array<bool, kWallCapacity> taken_{};
  int count_ = 0;
  int next_ = 0;
  bool three_players_ = false;
  std::array<int, kCodeCount> unseen_{};
  std::array<int, kCodeCount> unseen_free_{};

  static std::array<int, kWallCapacity> filled() {
    std::array<int, kWallCapacity> a;
    a.fill(-1);
    return a;
  }
};

}  // namespace mj
