#include "mahjong/bridge.h"

#include <algorithm>
#include <cstring>

#include "core/error_report.h"
#include "res/mahjong.h"
#include "script/script_error.h"
#include "script/value.h"
#include "script/variables.h"

namespace mj {

namespace {

#define MJ_INT(name, field, dir) \
  BridgeVariable { name, Direction::dir, [](Table& t) { return std::span<int>(&t.field, 1); } }
#define MJ_ARRAY(name, field, dir) \
  BridgeVariable { name, Direction::dir, [](Table& t) { return std::span<int>(t.field); } }

const BridgeVariable kVariables[] = {
    MJ_INT("@M_my_score@GLOBAL", my_score, Both),
    MJ_ARRAY("@M_my_pre_te#@GLOBAL", my_pre_te, Both),
    MJ_ARRAY("@M_my_naki_flag#@GLOBAL", my_naki_flag, Both),
    MJ_ARRAY("@M_my_naki_flag2#@GLOBAL", my_naki_flag2, Both),
    MJ_ARRAY("@M_my_sute#@GLOBAL", my_sute, Both),
    MJ_INT("@M_my_is_reach@GLOBAL", my_is_reach, Both),
    MJ_INT("@M_my_reach_cyokugo@GLOBAL", my_reach_cyokugo, Both),
    MJ_INT("@M_my_kaze@GLOBAL", my_kaze, Both),
    MJ_INT("@M_my_luck@GLOBAL", my_luck, Both),
    MJ_INT("@M_my_unluck@GLOBAL", my_unluck, Both),
    MJ_INT("@M_tatioya@GLOBAL", tatioya, Both),
    MJ_INT("@M_ba_kaze@GLOBAL", ba_kaze, Both),
    MJ_INT("@M_ba_mawari@GLOBAL", ba_mawari, Both),
    MJ_INT("@M_kan_kazu@GLOBAL", kan_kazu, Both),
    MJ_INT("@M_ba_100ten@GLOBAL", ba_100ten, Both),
    MJ_INT("@M_ba_1000ten@GLOBAL", ba_1000ten, Both),
    MJ_ARRAY("@M_dora#@GLOBAL", dora, Both),
    MJ_ARRAY("@M_dora_ura#@GLOBAL", dora_ura, Both),
    MJ_INT("@M_maj_mode@GLOBAL", maj_mode, Both),
    MJ_INT("@M_pi_tumo_nokori@GLOBAL", pi_tumo_nokori, Both),
    MJ_ARRAY("@M_reach_sel_stat#@GLOBAL", reach_sel_stat, Both),
    MJ_ARRAY("@M_com_end#@GLOBAL", com_end, Both),
    MJ_ARRAY("@M_com_end2#@GLOBAL", com_end2, Both),
    MJ_ARRAY("@M_com_endnaki#@GLOBAL", com_endnaki, Both),
    MJ_ARRAY("@M_com_endnaki2#@GLOBAL", com_endnaki2, Both),
    MJ_ARRAY("@M_com_do_reach#@GLOBAL", com_do_reach, Both),
    MJ_ARRAY("@M_com_do_naki#@GLOBAL", com_do_naki, Both),
    MJ_ARRAY("@M_com_te_susunda#@GLOBAL", com_te_susunda, Both),
    MJ_ARRAY("@M_com_is_tenpai#@GLOBAL", com_is_tenpai, Both),
    MJ_INT("@M_com_yuusen@GLOBAL", com_yuusen, Both),
    MJ_ARRAY("@M_com_sute#@GLOBAL", com_sute, Both),
    MJ_ARRAY("@M_com_score#@GLOBAL", com_score, Both),
    MJ_ARRAY("@M_com_kaze#@GLOBAL", com_kaze, Both),
    MJ_ARRAY("@M_com_pre_te#@GLOBAL", com_pre_te, Both),
    MJ_ARRAY("@M_com_naki_flag#@GLOBAL", com_naki_flag, Both),
    MJ_ARRAY("@M_com_naki_flag2#@GLOBAL", com_naki_flag2, Both),
    MJ_ARRAY("@M_com_is_reach#@GLOBAL", com_is_reach, Both),
    MJ_ARRAY("@M_com_reach_cyokugo#@GLOBAL", com_reach_cyokugo, Both),
    MJ_ARRAY("@com_id#@GLOBAL", com_id, Both),
    MJ_ARRAY("@com_tuyosa#@GLOBAL", com_tuyosa, Both),
    MJ_ARRAY("@com_lvl#@GLOBAL", com_lvl, Both),
    MJ_ARRAY("@com_luck#@GLOBAL", com_luck, Both),
    MJ_ARRAY("@com_unluck#@GLOBAL", com_unluck, Both),
    MJ_ARRAY("@ply_luck_seed#@GLOBAL", ply_luck_seed, Both),
    MJ_ARRAY("@ply_unluck_seed#@GLOBAL", ply_unluck_seed, Both),
    MJ_INT("@O_is_tumo_not_wait@GLOBAL", O_is_tumo_not_wait, Both),
    MJ_INT("@O_is_quit@GLOBAL", O_is_quit, Both),
    MJ_INT("@O_winner@GLOBAL", O_winner, Both),
    MJ_INT("@O_is_tenho@GLOBAL", O_is_tenho, Both),
    MJ_INT("@O_is_haitei@GLOBAL", O_is_haitei, Both),
    MJ_INT("@O_is_tumo@GLOBAL", O_is_tumo, Both),
    MJ_INT("@O_is_kan_cyokugo@GLOBAL", O_is_kan_cyokugo, Both),
    MJ_INT("@O_is_kandora_akero@GLOBAL", O_is_kandora_akero, Both),
    MJ_INT("@M_last_sute@GLOBAL", last_sute, Both),
    MJ_INT("@M_last_sute_pl@GLOBAL", last_sute_pl, Both),
    MJ_INT("#kuitan@CONFIG", kuitan, In),
    MJ_INT("#tumopin@CONFIG", tumopin, In),
    MJ_INT("#uradora@CONFIG", uradora, In),
    MJ_INT("#kandora@CONFIG", kandora, In),
    MJ_INT("#akau@CONFIG", akau, In),
    MJ_INT("#dobon@CONFIG", dobon, In),
    MJ_INT("#tonnan@CONFIG", tonnan, In),
    MJ_INT("#syairi@CONFIG", syairi, In),
    MJ_INT("#oyanagare@CONFIG", oyanagare, In),
    MJ_INT("@ConEn@GLOBAL", con_en, In),
    MJ_INT("@InSuv@GLOBAL", in_suv, In),
    MJ_ARRAY("@M_yaku_no#@GLOBAL", yaku_no, Out),
    MJ_ARRAY("@M_yaku_han#@GLOBAL", yaku_han, Out),
    MJ_INT("@M_yaku_fu_total@GLOBAL", yaku_fu_total, Out),
    MJ_INT("@M_yaku_han_total@GLOBAL", yaku_han_total, Out),
    MJ_INT("@M_yaku_man_total@GLOBAL", yaku_man_total, Out),
    MJ_INT("@M_yaku_score@GLOBAL", yaku_score, Out),
    MJ_INT("@M_yaku_score_oya@GLOBAL", yaku_score_oya, Out),
    MJ_INT("@M_yaku_score_ko@GLOBAL", yaku_score_ko, Out),
    MJ_INT("@M_yaku_is_tumo@GLOBAL", yaku_is_tumo, Out),
    MJ_INT("@M_yaku_is_reach@GLOBAL", yaku_is_reach, Out),
    MJ_INT("@M_yaku_my_kaze@GLOBAL", yaku_my_kaze, Out),
};

#undef MJ_INT
#undef MJ_ARRAY

// The script's variable for `v`, or nullptr after reporting why not.
rt::Value* find(rt::Engine& e, const BridgeVariable& v) {
  rt::Value* value = rt::find_variable_by_name(e, v.name);
  if (!value) {
    rt::script_error(e, base::format(msg::kItemNotFound, v.name));
    return nullptr;
  }
  bool fits = v.array() ? value->kind == rt::kIntArray && value->a != nullptr : value->kind == rt::kInt;
  if (!fits) {
    rt::script_error(e, base::format(msg::kItemWrongKind, v.name));
    return nullptr;
  }
  return value;
}

}  // namespace

bool BridgeVariable::array() const {
  const char* at = std::strchr(name + 1, '@');
  return at && at[-1] == '#';
}

std::span<const BridgeVariable> bridge_variables() { return kVariables; }

void import_table(rt::Engine& e, Table& t) {
  for (const BridgeVariable& v : kVariables) {
    if (v.direction == Direction::Out) continue;
    rt::Value* value = find(e, v);
    if (!value) continue;
    std::span<int> field = v.field(t);
    if (!v.array()) {
      field[0] = value->i;
      continue;
    }
    size_t n = static_cast<size_t>(std::clamp<int64_t>(value->a->count(), 0, static_cast<int64_t>(field.size())));
    std::copy_n(value->a->ints(), n, field.begin());
  }
}

void export_table(rt::Engine& e, Table& t) {
  for (const BridgeVariable& v : kVariables) {
    if (v.direction == Direction::In) continue;
    // Variables exchanged both ways were reported on the way in.
    rt::Value* value = v.direction == Direction::Out ? find(e, v) : rt::find_variable_by_name(e, v.name);
    if (!value) continue;
    std::span<int> field = v.field(t);
    if (!v.array()) {
      if (value->kind == rt::kInt) value->i = field[0];
      continue;
    }
    if (value->kind != rt::kIntArray || value->a == nullptr) continue;
    size_t n = static_cast<size_t>(std::clamp<int64_t>(value->a->count(), 0, static_cast<int64_t>(field.size())));
    std::copy_n(field.begin(), n, value->a->ints());
  }
}

}  // namespace mj
