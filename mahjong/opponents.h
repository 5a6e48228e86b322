// The computer opponents. They do not play a free game: each works toward
// an end hand chosen before the hand starts (end_hands.h), and these
// decide which tile it throws, when it calls, and when its hand turns ready
// or is revealed, with real tiles taken from the wall at that moment.
//
// An opponent's shown hand keeps its called melds in front, like the
// player's; its end hand and meld plan are kept in the same order, so a
// slot at or after the shown melds is "not yet shown". Until it is ready,
// the concealed slots show the end hand's codes (code * 10).
#pragma once

#include "base/random.h"
#include "mahjong/state.h"

namespace mj {

// The tile opponent p draws and throws (-1 when the wall is exhausted).
int think_com_sute(State& s, base::Random& rng, int p);
// Hand slot 0-12 opponent p throws from, or 13 for the drawn tile.
int com_sute_pos(Table& t, base::Random& rng, int p);
// Whether opponent p calls the last discard (and the call, when it does).
int think_com_pon(State& s, base::Random& rng, int p);
int think_com_chi(State& s, base::Random& rng, int p);
// Makes opponent p ready with real tiles; 0 when its end hand cannot be
// formed from the tiles still unseen.
int com_set_tenpai(State& s, base::Random& rng, int p, int value);
// Reveals opponent p's complete end hand with real tiles; 0 when impossible.
int com_set_agari(State& s, int p);
// Refreshes opponent p's shown hand.
void com_show_hand(Table& t, int p);

}  // namespace mj
