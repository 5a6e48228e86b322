// The mahjong built-ins. Each one imports the scripts' match variables,
// does its work on the working copy, and exports it again.
#include "mahjong/builtins.h"

#include <algorithm>

#include "core/engine.h"
#include "mahjong/bridge.h"
#include "mahjong/end_hands.h"
#include "mahjong/opponents.h"
#include "mahjong/play.h"
#include "mahjong/state.h"

namespace mj {

namespace {

using rt::Call;
using rt::Progress;

// Runs `work` between an import and an export; its int is the result.
template <typename F>
Progress exchange(Call& c, F work) {
  rt::Engine& e = c.engine;
  State& s = *e.mahjong;
  import_table(e, s.table);
  int result = work(s, e.random);
  export_table(e, s.table);
  c.ret_int(result);
  return Progress::Done;
}

#define MJ_BUILTIN(fn, body)                                                       \
  Progress fn(Call& c) {                                                           \
    return exchange(c, [&](State& s, base::Random& rng) -> int { body; });         \
  }

MJ_BUILTIN(yama_init_, yama_init(s, rng); return 0)
MJ_BUILTIN(kaze_set_, kaze_set(s.table); return 0)
MJ_BUILTIN(dora_init_, dora_init(s, rng); return 0)
MJ_BUILTIN(player_haipai_, player_haipai(s); return 0)
MJ_BUILTIN(get_player_pi_, return get_player_pi(s, rng))
MJ_BUILTIN(pi_draw_, return pi_draw(s))
MJ_BUILTIN(pi_return_, return pi_return(s, rng, c.int_arg(1)))
MJ_BUILTIN(pi_sort_, pi_sort(s.table, c.int_arg(1)); return 0)
MJ_BUILTIN(get_player_can_reach_, return get_player_can_reach(s.table))
MJ_BUILTIN(get_player_can_agari_, return get_player_can_agari(s))
MJ_BUILTIN(get_player_can_kan_, return get_player_can_kan(s.table, c.int_arg(1)))
MJ_BUILTIN(get_tenpai_, return get_tenpai(s.table, c.int_arg(1)))
MJ_BUILTIN(get_furiten_, return get_furiten(s.table, c.int_arg(1)))
MJ_BUILTIN(get_agari_score_, return get_agari_score(s, c.int_arg(1)))
MJ_BUILTIN(get_yaku_stat_, get_yaku_stat(s); return 0)
MJ_BUILTIN(pi_kan_, return pi_kan(s.table, c.int_arg(1), c.int_arg(2)))
MJ_BUILTIN(pi_pon_, return pi_pon(s.table, c.int_arg(1), c.int_arg(2)))
MJ_BUILTIN(pi_chi_, return pi_chi(s.table, c.int_arg(1), c.int_arg(2), c.int_arg(3)))
MJ_BUILTIN(think_com_sute_, return think_com_sute(s, rng, c.int_arg(1)))
MJ_BUILTIN(com_sute_pos_, return com_sute_pos(s.table, rng, c.int_arg(1)))
MJ_BUILTIN(think_com_pon_, return think_com_pon(s, rng, c.int_arg(1)))
MJ_BUILTIN(think_com_chi_, return think_com_chi(s, rng, c.int_arg(1)))
MJ_BUILTIN(com_set_tenpai_, return com_set_tenpai(s, rng, c.int_arg(1), c.int_arg(2)))
MJ_BUILTIN(com_set_agari_, return com_set_agari(s, c.int_arg(1)))
MJ_BUILTIN(com_show_hand_, com_show_hand(s.table, c.int_arg(1)); return 0)
MJ_BUILTIN(ryukyoku_pay_, return ryukyoku_pay(s.table))
MJ_BUILTIN(set_com_end_,
           set_com_end(s, rng, std::clamp(c.engine.settings.get_int("NANIDO").value_or(0), 0, 4));
           return 0)

#undef MJ_BUILTIN

constexpr rt::BuiltinEntry kBuiltins[] = {
    {0x0D36E2A7, com_set_agari_},       {0x1F5A14D4, kaze_set_},        {0x23D5D11D, get_tenpai_},
    {0x269BDA78, set_com_end_},         {0x2C18D5A9, get_player_can_reach_}, {0x2E99E98C, dora_init_},
    {0x45E32EA6, com_sute_pos_},        {0x50CD2DCA, ryukyoku_pay_},    {0x5C9761C5, get_player_can_agari_},
    {0x62442EC6, pi_draw_},             {0x6DDEB30E, get_furiten_},     {0x850EECF4, pi_kan_},
    {0xAEFC64DA, get_agari_score_},     {0xB758AC4E, get_player_can_kan_}, {0xBB9D7A7F, com_show_hand_},
    {0xBEF4EDFA, com_set_tenpai_},      {0xCA5C98F2, think_com_pon_},   {0xD481E1A2, pi_pon_},
    {0xD583668C, get_player_pi_},       {0xDA60F137, pi_return_},       {0xE316A8F2, get_yaku_stat_},
    {0xE5A2CE14, pi_chi_},              {0xEBB5886C, pi_sort_},         {0xF0FD9886, think_com_sute_},
    {0xF5E5BE93, player_haipai_},       {0xFAF17B1C, yama_init_},       {0xFB7FB744, think_com_chi_},
};

}  // namespace

std::span<const rt::BuiltinEntry> builtins() { return kBuiltins; }

}  // namespace mj
