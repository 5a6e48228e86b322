// The opponents' end hands: complete fourteen-tile hands with a meld plan,
// chosen before each hand from the opponent's style (1-53), which the
// opponents then play toward.
#pragma once

#include <array>

#include "base/random.h"
#include "mahjong/state.h"

namespace mj {

// Meld plan of an end-hand slot: 0 concealed, 4 a planned pon, 1-3 the
// slot's place (lowest, middle, highest) in a planned chi.
struct EndHand {
  std::array<int, kHandSize> codes{};
  std::array<int, kHandSize> plan{};
  int may_reach = 0;
  int may_call = 0;
};

// One end hand for a style, for a table of `players`.
EndHand build_end_hand(int style, int players, base::Random& rng);

// Builds every opponent's end hand, picks the favoured opponent and sets
// its tiles aside in the wall (set_com_end). `difficulty` is the game's
// difficulty setting 0-4.
void set_com_end(State& s, base::Random& rng, int difficulty);

}  // namespace mj
