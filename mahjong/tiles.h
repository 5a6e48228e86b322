// Tiles: codes, values and the constant tables the evaluation and the
// opponents read.
//
// A tile code is 1-9 characters, 11-19 circles, 21-29 bamboo, 31-34 the
// winds East..North, 35-37 the dragons white, green, red. Codes 10, 20, 30
// and 38-39 name no tile, so code + 1 never crosses a suit. A tile value is
// code * 10 + copy (0-3): the four copies are distinct values, and the
// circle fives 150 and 151 are the red fives. 600 marks an empty hand slot.
//
// Every table is indexed by code 0-39; callers check a code with is_tile()
// (or tile_code()) before indexing, so no lookup ever leaves a table.
#pragma once

#include <array>
#include <cstdint>

namespace mj {

inline constexpr int kCodeCount = 40;   // table size: codes 0-39
inline constexpr int kEmptySlot = 600;  // a hand slot without a tile
inline constexpr int kEast = 31;
inline constexpr int kWhite = 35;
inline constexpr int kGreen = 36;
inline constexpr int kRed = 37;

constexpr bool is_number_code(int code) { return code >= 1 && code <= 29 && code % 10 != 0; }
constexpr bool is_honour_code(int code) { return code >= 31 && code <= 37; }
constexpr bool is_wind_code(int code) { return code >= 31 && code <= 34; }
constexpr bool is_dragon_code(int code) { return code >= 35 && code <= 37; }
constexpr bool is_tile(int code) { return is_number_code(code) || is_honour_code(code); }
// Number 1-9 of a number tile.
constexpr int tile_number(int code) { return code % 10; }
// 0 characters, 1 circles, 2 bamboo, 3 honours.
constexpr int tile_suit(int code) { return code / 10; }

// A value names a tile when its code does and its copy is 0-3.
constexpr bool is_tile_value(int value) {
  return value >= 0 && value < kCodeCount * 10 && is_tile(value / 10) && value % 10 <= 3;
}
// The code of a tile value, or 0 (no tile) for anything else.
constexpr int tile_code(int value) { return is_tile_value(value) ? value / 10 : 0; }
constexpr bool is_red_five(int value) { return value == 150 || value == 151; }

namespace detail {

template <typename F>
constexpr std::array<int8_t, kCodeCount> code_table(F f) {
  std::array<int8_t, kCodeCount> t{};
  for (int c = 0; c < kCodeCount; ++c) t[c] = static_cast<int8_t>(is_tile(c) ? f(c) : 0);
  return t;
}

constexpr bool terminal(int c) { return is_number_code(c) && (tile_number(c) == 1 || tile_number(c) == 9); }

}  // namespace detail

// Fu of an open triplet: 2 for simples, 4 for terminals and honours.
inline constexpr auto kTripletFu = detail::code_table([](int c) {
  return detail::terminal(c) || is_honour_code(c) ? 4 : 2;
});
inline constexpr auto kTerminal = detail::code_table([](int c) { return detail::terminal(c) ? 1 : 0; });
inline constexpr auto kGreenTile = detail::code_table([](int c) {
  return c == 22 || c == 23 || c == 24 || c == 26 || c == 28 || c == kGreen ? 1 : 0;
});
inline constexpr auto kSimple = detail::code_table([](int c) {
  return is_number_code(c) && !detail::terminal(c) ? 1 : 0;
});
inline constexpr auto kTerminalOrHonour = detail::code_table([](int c) {
  return detail::terminal(c) || is_honour_code(c) ? 1 : 0;
});
// Outside class of a meld's start code: 2 for 1 and 9, 1 for 7 (a sequence
// 7-8-9 reaches a terminal), 3 for honours, 0 otherwise.
inline constexpr auto kOutsideClass = detail::code_table([](int c) {
  if (is_honour_code(c)) return 3;
  if (detail::terminal(c)) return 2;
  return tile_number(c) == 7 ? 1 : 0;
});
// The tile an indicator makes dora: 1->2 .. 9->1 per suit, the winds in a
// ring, the dragons in a ring. 0 for codes that name no tile.
inline constexpr auto kDoraSuccessor = detail::code_table([](int c) {
  if (is_number_code(c)) return tile_number(c) == 9 ? c - 8 : c + 1;
  if (is_wind_code(c)) return c == 34 ? 31 : c + 1;
  return c == kRed ? kWhite : c + 1;
});
// Face value of a characters tile (1-9), 0 for every other tile.
inline constexpr auto kCharactersValue = detail::code_table([](int c) { return c <= 9 ? c : 0; });

// The thirteen terminal and honour codes.
inline constexpr std::array<int, 13> kOrphanCodes = {1, 9, 11, 19, 21, 29, 31, 32, 33, 34, 35, 36, 37};

}  // namespace mj
