// A start script that plays whole mahjong hands between four computer
// players through the mahjong built-ins, as a game's scripts would: the
// "player" seat is driven by the script too (it keeps drawing and throwing
// its draw, declaring riichi when it may and winning when it can). The
// script defines every match variable, logs each event to the debug log,
// and ends the program after the last hand.
//
// Log lines (debugout, one value per field):
//   HAND n                      a hand starts
//   TENPAI seat result          an opponent was made ready
//   CALL seat kind              an opponent called (1 pon, 2 chi)
//   REACH                       the player declared riichi
//   WIN seat from score fu han  from = seat for a self-drawn win
//   TILES 14 values, 14 flags   the winner's hand
//   DRAW dealer-ready
//   T value                     one tile out of the wall, at the end of a hand
//   SCORES mine c0 c1 c2
#pragma once

#include <string>
#include <vector>

namespace mj_test {

struct GameOptions {
  int players = 4;
  int hands = 4;
  int styles[3] = {20, 41, 6};
  int strength[3] = {1, 2, 3};
  int luck[3] = {10, 0, 30};
  int unluck[3] = {0, 10, 0};
  int my_luck = 10;
  int my_unluck = 5;
};

std::string mahjong_game_script(const GameOptions& o = {});

// Assembler lines that define every match variable (ints 0, int arrays of
// the engine's sizes), except those named.
std::string define_match_variables(const std::vector<std::string>& except = {});

}  // namespace mj_test
