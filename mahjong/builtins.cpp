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

constexpr auto kBuiltins = rt::handler_table<rt::Subsystem::mahjong>({
    {"com_set_agari", com_set_agari_},
    {"kaze_set", kaze_set_},
    {"get_tenpai", get_tenpai_},
    {"set_com_end", set_com_end_},
    {"get_player_can_reach", get_player_can_reach_},
    {"dora_init", dora_init_},
    {"com_sute_pos", com_sute_pos_},
    {"ryukyoku_pay", ryukyoku_pay_},
    {"get_player_can_agari", get_player_can_agari_},
    {"pi_draw", pi_draw_},
    {"get_furiten", get_furiten_},
    {"pi_kan", pi_kan_},
    {"get_agari_score", get_agari_score_},
    {"get_player_can_kan", get_player_can_kan_},
    {"com_show_hand", com_show_hand_},
    {"com_set_tenpai", com_set_tenpai_},
    {"think_com_pon", think_com_pon_},
    {"pi_pon", pi_pon_},
    {"get_player_pi", get_player_pi_},
    {"pi_return", pi_return_},
    {"get_yaku_stat", get_yaku_stat_},
    {"pi_chi", pi_chi_},
    {"pi_sort", pi_sort_},
    {"think_com_sute", think_com_sute_},
    {"player_haipai", player_haipai_},
    {"yama_init", yama_init_},
    {"think_com_chi", think_com_chi_},
});

}  // namespace

std::span<const rt::BuiltinEntry> builtins() { return kBuiltins; }

}  // namespace mj
