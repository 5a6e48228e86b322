// Table mechanics: the wall, seats, dora, the player's draws, calls and
// kans, riichi and win checks, the draw settlement. Each operation is one
// built-in and works on the engine's working copy of the match (State);
// random numbers come from the engine's generator, so a seed replays a
// match. "p" is a seat: 0-2 an opponent at the table, 3 the player; any
// other p gives the neutral result.
#pragma once

#include "base/random.h"
#include "mahjong/state.h"

namespace mj {

// p's hand as a hand situation: the table's win flags, p's seat wind,
// riichi and ippatsu, the dora indicators in force, the rules.
MjHand situation(const Table& t, int p);

// Builds and shuffles the wall; sets the tiles left to draw.
void yama_init(State& s, base::Random& rng);
// Seat winds from the first dealer and the dealer turns passed.
void kaze_set(Table& t);
// Appends a dora and an ura-dora indicator (drawn for a rigging opponent
// when one plays at the table).
void dora_init(State& s, base::Random& rng);
// Deals the player thirteen tiles, slot 14 empty, sorted.
void player_haipai(State& s);
// The player's next draw, weighted by luck and bad luck.
int get_player_pi(State& s, base::Random& rng);
// The next tile of the wall (-1 when exhausted).
int pi_draw(State& s);
// Puts a tile back into the wall; 1 when it went back.
int pi_return(State& s, base::Random& rng, int value);
// Sorts p's concealed tiles.
void pi_sort(Table& t, int p);

int get_player_can_reach(Table& t);
int get_player_can_agari(State& s);
int get_player_can_kan(Table& t, int mode);
int get_tenpai(Table& t, int p);
int get_furiten(Table& t, int p);
int get_agari_score(State& s, int p);
void get_yaku_stat(State& s);

// Calls and kans; p's hand is rearranged with the meld in front.
int pi_kan(Table& t, int p, int value);
int pi_pon(Table& t, int p, int value);
int pi_chi(Table& t, int p, int value, int lowest);

// Exhaustive-draw payments; 1 when the dealer is ready.
int ryukyoku_pay(Table& t);

}  // namespace mj
