// The engine's working copy of the match state. The match lives in the
// scripts' variables; every mahjong built-in copies them in here, works on
// this copy, and copies it back (bridge.h). Field names follow the
// variables ("@M_my_score@GLOBAL" -> my_score).
//
// Player index 3 is the human player, 0-2 the computer opponents. Hands
// are 14 tile values: called melds first, the fourteenth slot holding the
// drawn tile or 600. Discard lists hold up to 40 values ended by -1.
#pragma once

#include <array>
#include <span>

#include "mahjong/evaluate.h"

namespace mj {

inline constexpr int kPlayer = 3;
inline constexpr int kOpponents = 3;
inline constexpr int kDiscards = 40;
inline constexpr int kDoraList = 16;  // indicators and the -1 after them

using Slots = std::array<int, kHandSize>;
template <int N>
using PerOpponent = std::array<int, kOpponents * N>;

struct Table {
  // The player.
  int my_score = 0;
  Slots my_pre_te = filled_array<kHandSize>(kEmptySlot);
  Slots my_naki_flag{};
  Slots my_naki_flag2{};
  std::array<int, kDiscards> my_sute = filled_array<kDiscards>(-1);
  int my_is_reach = 0;
  int my_reach_cyokugo = 0;
  int my_kaze = 0;
  int my_luck = 0;
  int my_unluck = 0;

  // The table.
  int tatioya = 0;     // first dealer
  int ba_kaze = 0;     // round wind
  int ba_mawari = 0;   // dealer turns passed
  int kan_kazu = 0;    // kans this hand; -1: no further kan
  int ba_100ten = 0;
  int ba_1000ten = 0;
  std::array<int, kDoraList> dora = filled_array<kDoraList>(-1);
  std::array<int, kDoraList> dora_ura = filled_array<kDoraList>(-1);
  int maj_mode = 4;    // players
  int pi_tumo_nokori = 0;
  Slots reach_sel_stat{};

  // The opponents: 3 x 14 per hand array, 3 x 40 discards, one per opponent otherwise.
  PerOpponent<kHandSize> com_end{}, com_end2{}, com_endnaki{}, com_endnaki2{};
  std::array<int, kOpponents> com_do_reach{}, com_do_naki{}, com_te_susunda{}, com_is_tenpai{};
  int com_yuusen = 0;
  PerOpponent<kDiscards> com_sute = filled_array<kOpponents * kDiscards>(-1);
  std::array<int, kOpponents> com_score{}, com_kaze{};
  PerOpponent<kHandSize> com_pre_te = filled_array<kOpponents * kHandSize>(kEmptySlot);
  PerOpponent<kHandSize> com_naki_flag{}, com_naki_flag2{};
  std::array<int, kOpponents> com_is_reach{}, com_reach_cyokugo{};
  std::array<int, kOpponents> com_id{}, com_tuyosa = {1, 1, 1}, com_lvl = {1, 1, 1}, com_luck{}, com_unluck{};
  std::array<int, 16> ply_luck_seed{}, ply_unluck_seed{};  // carried for the script

  // The win situation and flags the script keeps.
  int O_is_tumo_not_wait = 0, O_is_quit = 0, O_winner = 0;
  int O_is_tenho = 0, O_is_haitei = 0, O_is_tumo = 0, O_is_kan_cyokugo = 0, O_is_kandora_akero = 0;
  int last_sute = -1;     // last discarded value
  int last_sute_pl = 0;   // which neighbour discarded it

  // Rule switches (read only).
  int kuitan = 0, tumopin = 0, uradora = 0, kandora = 0, akau = 0;
  int dobon = 0, tonnan = 0, syairi = 0, oyanagare = 0;
  int con_en = 0;  // 0: every optional rule in force
  int in_suv = 0;  // settlement switch

  // The last evaluation, exported by get_yaku_stat (write only).
  std::array<int, kYakuListSize + 1> yaku_no = filled_array<kYakuListSize + 1>(-1);
  std::array<int, kYakuListSize + 1> yaku_han = filled_array<kYakuListSize + 1>(-1);
  int yaku_fu_total = 0, yaku_han_total = 0, yaku_man_total = 0;
  int yaku_score = 0, yaku_score_oya = 0, yaku_score_ko = 0;
  int yaku_is_tumo = 0, yaku_is_reach = 0, yaku_my_kaze = 0;

  // Players at the table: 2, 3 or 4 (anything else plays as 4).
  int players() const { return maj_mode == 2 || maj_mode == 3 ? maj_mode : 4; }
  int opponents() const { return players() - 1; }
  bool is_opponent(int p) const { return p >= 0 && p < opponents(); }
  bool is_seat(int p) const { return p == kPlayer || is_opponent(p); }

  // A player's hand, meld flags, called-tile marks and discards, an
  // opponent's end hand and its meld plan (p must be a seat; end hands are
  // the opponents' only).
  std::span<int, kHandSize> hand(int p) { return pick(my_pre_te, com_pre_te, p); }
  std::span<int, kHandSize> flags(int p) { return pick(my_naki_flag, com_naki_flag, p); }
  std::span<int, kHandSize> marks(int p) { return pick(my_naki_flag2, com_naki_flag2, p); }
  std::span<int, kDiscards> discards(int p) { return pick(my_sute, com_sute, p); }
  std::span<int, kHandSize> end_hand(int p) { return pick(my_pre_te, com_end, p); }
  std::span<int, kHandSize> end_plan(int p) { return pick(my_naki_flag, com_endnaki, p); }
  std::span<const int, kHandSize> hand(int p) const { return pick(my_pre_te, com_pre_te, p); }
  std::span<const int, kHandSize> flags(int p) const { return pick(my_naki_flag, com_naki_flag, p); }
  std::span<const int, kHandSize> marks(int p) const { return pick(my_naki_flag2, com_naki_flag2, p); }
  std::span<const int, kDiscards> discards(int p) const { return pick(my_sute, com_sute, p); }
  std::span<const int, kHandSize> end_hand(int p) const { return pick(my_pre_te, com_end, p); }
  int seat_wind(int p) const { return p == kPlayer ? my_kaze : com_kaze[p]; }
  int reach(int p) const { return p == kPlayer ? my_is_reach : com_is_reach[p]; }
  int ippatsu(int p) const { return p == kPlayer ? my_reach_cyokugo : com_reach_cyokugo[p]; }

  MjRules rules() const { return {players(), con_en, kuitan, tumopin, akau}; }
  bool kan_dora_in_force() const { return con_en == 0 || kandora != 0; }
  bool ura_dora_in_force() const { return con_en == 0 || uradora != 0; }

 private:
  // The player's array for p = 3, else opponent p's slice of the opponents' array.
  template <typename T, size_t N, size_t M>
  static std::span<T, N> pick(std::array<T, N>& mine, std::array<T, M>& theirs, int p) {
    static_assert(M == kOpponents * N);
    return p == kPlayer ? std::span<T, N>(mine) : std::span<T, N>(&theirs[p * N], N);
  }
  template <typename T, size_t N, size_t M>
  static std::span<const T, N> pick(const std::array<T, N>& mine, const std::array<T, M>& theirs, int p) {
    return p == kPlayer ? std::span<const T, N>(mine) : std::span<const T, N>(&theirs[p * N], N);
  }
};

}  // namespace mj
