// Hands written the way players write them, for readable test tables.
//
//   "chi:234m pon:555z kan:9999p ankan:1111s 23m567m99p 4m"
//
// Digits followed by a suit letter: m characters, p circles, s bamboo,
// z honours (1-4 East..North, 5-7 white, green, red). "0p" is a red five.
// Prefixed groups are called melds, placed first in the order written;
// the remaining tiles are concealed and the last one written is the
// fourteenth (winning) tile. Copies are numbered from 3 downwards so that
// only a written "0p" is a red five.
#pragma once

#include <string_view>
#include <vector>

#include "mahjong/evaluate.h"
#include "mahjong/table.h"

namespace mj_test {

// Codes in notation order ("123m" -> 1, 2, 3); red fives give code 15.
std::vector<int> codes(std::string_view tiles);

// A hand situation with the tiles and melds of `notation`; ron, seat South,
// round East, four players, every optional rule in force.
mj::MjHand hand(std::string_view notation);

// Tile value for a single tile in notation ("5p" -> 153, "0p" -> 150).
int value(std::string_view tile);

// Puts the tiles and melds of `notation` into seat p's hand, meld flags
// and called-tile marks.
void seat_hand(mj::Table& t, int p, std::string_view notation);

}  // namespace mj_test
