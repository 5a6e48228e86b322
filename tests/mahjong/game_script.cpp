#include "tests/mahjong/game_script.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace mj_test {

namespace {

// A tiny structured layer over the assembler's text: expressions push one
// int, statements are emitted in order, labels are generated.
struct Asm {
  std::string text;
  int labels = 0;
  std::string label() { return "L" + std::to_string(labels++); }
  void op(const std::string& line) { text += "    " + line + "\n"; }
  void mark(const std::string& l) { text += l + ":\n"; }
};

using Expr = std::function<void(Asm&)>;
using Block = std::function<void()>;

Expr I(int n) {
  return [n](Asm& a) { a.op("push_i " + std::to_string(n)); };
}
Expr V(const std::string& var) {
  return [var](Asm& a) { a.op("load i " + var); };
}
Expr S(const std::string& text) {
  return [text](Asm& a) { a.op("push_s \"" + text + "\""); };
}
Expr E(const std::string& array, Expr index) {
  return [array, index](Asm& a) {
    index(a);
    a.op("load_elem i " + array + "[1]");
  };
}
Expr bin(Expr x, Expr y, const std::string& opcode) {
  return [x, y, opcode](Asm& a) {
    x(a);
    y(a);
    a.op(opcode);
  };
}
Expr operator+(Expr x, Expr y) { return bin(x, y, "add_i"); }
Expr operator-(Expr x, Expr y) { return bin(x, y, "minus_i"); }
Expr operator*(Expr x, Expr y) { return bin(x, y, "mul_i"); }
Expr operator/(Expr x, Expr y) { return bin(x, y, "div_i"); }
Expr operator%(Expr x, Expr y) { return bin(x, y, "mod_i"); }
Expr operator<(Expr x, Expr y) { return bin(x, y, "lt_i"); }
Expr operator>(Expr x, Expr y) { return bin(x, y, "gt_i"); }
Expr operator>=(Expr x, Expr y) { return bin(x, y, "ge_i"); }
Expr operator==(Expr x, Expr y) { return bin(x, y, "eq_i"); }
Expr operator!=(Expr x, Expr y) { return bin(x, y, "ne_i"); }
Expr operator&&(Expr x, Expr y) { return bin(x, y, "land"); }
Expr operator||(Expr x, Expr y) { return bin(x, y, "lor"); }
Expr operator!(Expr x) {
  return [x](Asm& a) {
    x(a);
    a.op("lnot");
  };
}
// A built-in's result.
Expr sys(const std::string& name, std::vector<Expr> args = {}) {
  return [name, args](Asm& a) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) (*it)(a);  // the first argument ends on top
    a.op("syscall " + name + ", " + std::to_string(args.size()));
  };
}

class Script {
 public:
  Asm a;

  void set(const std::string& var, Expr value) {
    value(a);
    a.op("st_i_pop " + var);
  }
  void set_elem(const std::string& array, Expr index, Expr value) {
    value(a);
    index(a);
    a.op("ast_i_pop " + array + "[1]");
  }
  void array(const std::string& name, int size) {
    a.op("push_i " + std::to_string(size));
    a.op("syscall int_array, 1");
    a.op("st_ref_ia_pop " + name);
  }
  void run(const std::string& name, std::vector<Expr> args = {}) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) (*it)(a);
    a.op("syscall_discard " + name + ", " + std::to_string(args.size()));
  }
  void call(const std::string& function) { a.op("call_fn_discard " + function + ", 0"); }
  void ret() {
    a.op("push_i 0");
    a.op("return");
  }
  void log(std::vector<Expr> fields) {
    for (auto it = fields.rbegin(); it != fields.rend(); ++it) (*it)(a);
    a.op("syscall_discard debugout, " + std::to_string(fields.size()));
  }
  void when(Expr cond, Block then, Block otherwise = nullptr) {
    std::string skip = a.label(), end = a.label();
    cond(a);
    a.op("jmp_false " + skip);
    then();
    if (otherwise) a.op("jmp " + end);
    a.mark(skip);
    if (otherwise) {
      otherwise();
      a.mark(end);
    }
  }
  void loop_while(Expr cond, Block body) {
    std::string top = a.label(), end = a.label();
    a.mark(top);
    cond(a);
    a.op("jmp_false " + end);
    body();
    a.op("jmp " + top);
    a.mark(end);
  }
  // for (var = from; var < to; ++var)
  void each(const std::string& var, int from, Expr to, Block body) {
    set(var, I(from));
    loop_while(V(var) < to, [&] {
      body();
      set(var, V(var) + I(1));
    });
  }
  void function(const std::string& name, Block body) {
    a.text += ".function " + name + "\n";
    body();
    ret();
  }
};

const char* const kIntVariables[] = {
    "@M_my_score", "@M_my_is_reach", "@M_my_reach_cyokugo", "@M_my_kaze", "@M_my_luck", "@M_my_unluck",
    "@M_tatioya", "@M_ba_kaze", "@M_ba_mawari", "@M_kan_kazu", "@M_ba_100ten", "@M_ba_1000ten", "@M_maj_mode",
    "@M_pi_tumo_nokori", "@M_com_yuusen", "@O_is_tumo_not_wait", "@O_is_quit", "@O_winner", "@O_is_tenho",
    "@O_is_haitei", "@O_is_tumo", "@O_is_kan_cyokugo", "@O_is_kandora_akero", "@M_last_sute", "@M_last_sute_pl",
    "@ConEn", "@InSuv", "@M_yaku_fu_total", "@M_yaku_han_total", "@M_yaku_man_total", "@M_yaku_score",
    "@M_yaku_score_oya", "@M_yaku_score_ko", "@M_yaku_is_tumo", "@M_yaku_is_reach", "@M_yaku_my_kaze",
    "#kuitan@CONFIG", "#tumopin@CONFIG", "#uradora@CONFIG", "#kandora@CONFIG", "#akau@CONFIG", "#dobon@CONFIG",
    "#tonnan@CONFIG", "#syairi@CONFIG", "#oyanagare@CONFIG",
};

const std::pair<const char*, int> kArrays[] = {
    {"@M_my_pre_te#", 14},       {"@M_my_naki_flag#", 14},    {"@M_my_naki_flag2#", 14},
    {"@M_my_sute#", 40},         {"@M_dora#", 16},            {"@M_dora_ura#", 16},
    {"@M_reach_sel_stat#", 14},  {"@M_com_end#", 42},         {"@M_com_end2#", 42},
    {"@M_com_endnaki#", 42},     {"@M_com_endnaki2#", 42},    {"@M_com_do_reach#", 3},
    {"@M_com_do_naki#", 3},      {"@M_com_te_susunda#", 3},   {"@M_com_is_tenpai#", 3},
    {"@M_com_sute#", 120},       {"@M_com_score#", 3},        {"@M_com_kaze#", 3},
    {"@M_com_pre_te#", 42},      {"@M_com_naki_flag#", 42},   {"@M_com_naki_flag2#", 42},
    {"@M_com_is_reach#", 3},     {"@M_com_reach_cyokugo#", 3}, {"@com_id#", 3},
    {"@com_tuyosa#", 3},         {"@com_lvl#", 3},            {"@com_luck#", 3},
    {"@com_unluck#", 3},         {"@ply_luck_seed#", 3},      {"@ply_unluck_seed#", 3},
    {"@M_yaku_no#", 9},          {"@M_yaku_han#", 9},         {"@discards#", 4},
};

// The score and seat wind of seat q (3 the player, else an opponent).
void add_score(Script& s, Expr seat, Expr amount) {
  s.when(
      seat == I(3), [&] { s.set("@M_my_score", V("@M_my_score") + amount); },
      [&] { s.set_elem("@M_com_score#", seat, E("@M_com_score#", seat) + amount); });
}

void fill(Script& s, const std::string& array, int size, int value) {
  s.each("@i", 0, I(size), [&] { s.set_elem(array, V("@i"), I(value)); });
}

}  // namespace

std::string define_match_variables(const std::vector<std::string>& except) {
  Script s;
  auto skip = [&](const std::string& name) { return std::find(except.begin(), except.end(), name) != except.end(); };
  for (const char* v : kIntVariables)
    if (!skip(v)) s.set(v, I(0));
  for (auto [name, size] : kArrays)
    if (!skip(name)) s.array(name, size);
  return s.a.text;
}

std::string mahjong_game_script(const GameOptions& o) {
  Script s;
  s.a.text = ".function $init@GLOBAL\n    return\n";

  // The winning seat's hand and the settlement: @winner won, from @from.
  s.function("$win@GLOBAL", [&] {
    s.set("@done", I(1));
    s.run("get_yaku_stat");
    s.log({S("WIN"), V("@winner"), V("@from"), V("@M_yaku_score"), V("@M_yaku_fu_total"), V("@M_yaku_han_total")});
    std::vector<Expr> fields = {S("TILES")};
    s.when(
        V("@winner") == I(3),
        [&] {
          for (int k = 0; k < 14; ++k) fields.push_back(E("@M_my_pre_te#", I(k)));
          for (int k = 0; k < 14; ++k) fields.push_back(E("@M_my_naki_flag#", I(k)));
          s.log(fields);
        },
        [&] {
          std::vector<Expr> com = {S("TILES")};
          for (int k = 0; k < 14; ++k) com.push_back(E("@M_com_pre_te#", V("@winner") * I(14) + I(k)));
          for (int k = 0; k < 14; ++k) com.push_back(E("@M_com_naki_flag#", V("@winner") * I(14) + I(k)));
          s.log(com);
        });
    s.when(
        V("@from") == V("@winner"),
        [&] {
          // Self-drawn: the dealer pays the dealer's share, the others theirs.
          for (int q : {3, 0, 1, 2}) {
            s.when(V("@winner") != I(q), [&] {
              Expr wind = q == 3 ? V("@M_my_kaze") : E("@M_com_kaze#", I(q));
              s.when(
                  wind == I(0), [&] { s.set("@pay", V("@M_yaku_score_oya")); },
                  [&] { s.set("@pay", V("@M_yaku_score_ko")); });
              add_score(s, I(q), I(0) - V("@pay"));
              add_score(s, V("@winner"), V("@pay"));
            });
          }
        },
        [&] {
          add_score(s, V("@from"), I(0) - V("@M_yaku_score"));
          add_score(s, V("@winner"), V("@M_yaku_score"));
        });
  });

  // Takes the last discard of @from back out of its pond (it was called or won on).
  s.function("$unpond@GLOBAL", [&] {
    s.set_elem("@discards#", V("@from"), E("@discards#", V("@from")) - I(1));
    s.when(
        V("@from") == I(3),
        [&] { s.set_elem("@M_my_sute#", E("@discards#", V("@from")), I(-1)); },
        [&] { s.set_elem("@M_com_sute#", V("@from") * I(40) + E("@discards#", V("@from")), I(-1)); });
  });

  // After @from threw @t: wins on it, then calls.
  s.function("$after_discard@GLOBAL", [&] {
    s.each("@q", 0, I(3), [&] {
      s.when(V("@q") != V("@from") && E("@M_com_is_tenpai#", V("@q")) && !V("@done"), [&] {
        s.set_elem("@M_com_pre_te#", V("@q") * I(14) + I(13), V("@t"));
        s.set("@O_is_tumo", I(0));
        s.when(
            sys("get_agari_score", {V("@q")}) > I(0),
            [&] {
              s.run("com_set_agari", {V("@q")});
              s.set("@winner", V("@q"));
              s.call("$unpond@GLOBAL");
              s.call("$win@GLOBAL");
            },
            [&] { s.set_elem("@M_com_pre_te#", V("@q") * I(14) + I(13), I(600)); });
      });
    });
    s.when(V("@done"), [&] { s.ret(); });
    s.when(V("@from") != I(3), [&] {
      s.set_elem("@M_my_pre_te#", I(13), V("@t"));
      s.set("@O_is_tumo", I(0));
      s.when(sys("get_player_can_agari"), [&] {
        s.set("@winner", I(3));
        s.call("$unpond@GLOBAL");
        s.call("$win@GLOBAL");
        s.ret();
      });
      s.set_elem("@M_my_pre_te#", I(13), I(600));
    });
    s.set("@called", I(0));
    for (const char* kind : {"think_com_pon", "think_com_chi"}) {
      s.each("@q", 0, I(3), [&] {
        s.when(!V("@called") && V("@q") != V("@from"), [&] {
          s.when(sys(kind, {V("@q")}), [&] {
            s.set("@called", I(1));
            s.log({S("CALL"), V("@q"), I(kind[10] == 'p' ? 1 : 2)});
          });
        });
      });
    }
    s.when(V("@called"), [&] { s.call("$unpond@GLOBAL"); });
  });

  s.function("$player_turn@GLOBAL", [&] {
    s.set("@t", sys("get_player_pi"));
    s.when(V("@t") < I(0), [&] {
      s.set("@M_pi_tumo_nokori", I(0));
      s.ret();
    });
    s.set_elem("@M_my_pre_te#", I(13), V("@t"));
    s.set("@O_is_tumo", I(1));
    s.when(sys("get_player_can_agari"), [&] {
      s.set("@winner", I(3));
      s.set("@from", I(3));
      s.call("$win@GLOBAL");
      s.ret();
    });
    s.when(!V("@M_my_is_reach"), [&] {
      s.when(sys("get_player_can_reach") && E("@M_reach_sel_stat#", I(13)), [&] {
        s.set("@M_my_is_reach", I(1));
        s.log({S("REACH")});
      });
    });
    s.set_elem("@M_my_sute#", E("@discards#", I(3)), V("@t"));
    s.set_elem("@discards#", I(3), E("@discards#", I(3)) + I(1));
    s.set_elem("@M_my_pre_te#", I(13), I(600));
    s.set("@M_last_sute", V("@t"));
    s.set("@from", I(3));
    s.call("$after_discard@GLOBAL");
  });

  s.function("$com_turn@GLOBAL", [&] {
    s.set("@p", V("@seat"));
    s.when(!E("@M_com_is_tenpai#", V("@p")) && (V("@turn") / I(4) >= E("@M_com_te_susunda#", V("@p"))), [&] {
      s.set("@r", sys("com_set_tenpai", {V("@p"), I(0)}));
      s.log({S("TENPAI"), V("@p"), V("@r")});
    });
    s.set("@t", sys("think_com_sute", {V("@p")}));
    s.when(V("@t") < I(0), [&] {
      s.set("@M_pi_tumo_nokori", I(0));
      s.ret();
    });
    s.when(E("@M_com_is_tenpai#", V("@p")), [&] {
      s.set_elem("@M_com_pre_te#", V("@p") * I(14) + I(13), V("@t"));
      s.set("@O_is_tumo", I(1));
      s.when(sys("get_agari_score", {V("@p")}) > I(0), [&] {
        s.run("com_set_agari", {V("@p")});
        s.set("@winner", V("@p"));
        s.set("@from", V("@p"));
        s.call("$win@GLOBAL");
        s.ret();
      });
      s.set_elem("@M_com_pre_te#", V("@p") * I(14) + I(13), I(600));
    });
    s.run("com_sute_pos", {V("@p")});
    s.set_elem("@M_com_sute#", V("@p") * I(40) + E("@discards#", V("@p")), V("@t"));
    s.set_elem("@discards#", V("@p"), E("@discards#", V("@p")) + I(1));
    s.set("@M_last_sute", V("@t"));
    s.set("@from", V("@p"));
    s.call("$after_discard@GLOBAL");
  });

  s.function("$deal@GLOBAL", [&] {
    fill(s, "@M_my_sute#", 40, -1);
    fill(s, "@M_com_sute#", 120, -1);
    fill(s, "@M_com_naki_flag#", 42, 0);
    fill(s, "@M_com_naki_flag2#", 42, 0);
    fill(s, "@M_dora#", 16, -1);
    fill(s, "@M_dora_ura#", 16, -1);
    fill(s, "@M_com_is_reach#", 3, 0);
    fill(s, "@discards#", 4, 0);
    for (const char* v : {"@M_my_is_reach", "@M_my_reach_cyokugo", "@M_kan_kazu", "@O_is_tumo", "@O_is_tenho",
                          "@O_is_haitei", "@O_is_kan_cyokugo", "@done", "@turn"})
      s.set(v, I(0));
    s.set("@M_ba_mawari", V("@hand"));
    for (const char* b : {"yama_init", "kaze_set", "dora_init", "player_haipai", "set_com_end"}) s.run(b);
    for (int p = 0; p < 3; ++p) s.run("com_show_hand", {I(p)});
    s.log({S("HAND"), V("@hand")});
  });

  // Every tile out of the wall, one per line.
  s.function("$log_tiles@GLOBAL", [&] {
    auto tile_if = [&](Expr value, Expr shown) {
      s.set("@v", value);
      s.when(shown, [&] { s.log({S("T"), V("@v")}); });
    };
    s.each("@k", 0, I(14), [&] { tile_if(E("@M_my_pre_te#", V("@k")), V("@v") != I(600)); });
    s.each("@k", 0, I(40), [&] { tile_if(E("@M_my_sute#", V("@k")), V("@v") > I(0)); });
    s.each("@k", 0, I(120), [&] { tile_if(E("@M_com_sute#", V("@k")), V("@v") > I(0)); });
    s.each("@k", 0, I(42), [&] {
      tile_if(E("@M_com_pre_te#", V("@k")),
              (V("@v") != I(600)) && (E("@M_com_naki_flag#", V("@k")) != I(0) ||
                                      E("@M_com_is_tenpai#", V("@k") / I(14)) != I(0)));
    });
    s.each("@k", 0, I(16), [&] { tile_if(E("@M_dora#", V("@k")), V("@v") > I(0)); });
    s.each("@k", 0, I(16), [&] { tile_if(E("@M_dora_ura#", V("@k")), V("@v") > I(0)); });
  });

  s.a.mark("main");
  s.a.text += define_match_variables();
  s.set("@M_maj_mode", I(o.players));
  s.set("@M_my_score", I(250));
  s.set("@M_my_luck", I(o.my_luck));
  s.set("@M_my_unluck", I(o.my_unluck));
  for (int p = 0; p < 3; ++p) {
    s.set_elem("@M_com_score#", I(p), I(250));
    s.set_elem("@com_lvl#", I(p), I(o.styles[p]));
    s.set_elem("@com_tuyosa#", I(p), I(o.strength[p]));
    s.set_elem("@com_luck#", I(p), I(o.luck[p]));
    s.set_elem("@com_unluck#", I(p), I(o.unluck[p]));
  }
  s.each("@hand", 0, I(o.hands), [&] {
    s.call("$deal@GLOBAL");
    s.loop_while(!V("@done") && V("@M_pi_tumo_nokori") > I(0), [&] {
      // The player first, then the opponents at the table.
      s.set("@seat", (V("@turn") + I(o.players - 1)) % I(o.players));
      s.when(V("@seat") == I(o.players - 1), [&] { s.set("@seat", I(3)); });
      s.when(
          V("@seat") == I(3), [&] { s.call("$player_turn@GLOBAL"); }, [&] { s.call("$com_turn@GLOBAL"); });
      s.set("@M_pi_tumo_nokori", V("@M_pi_tumo_nokori") - I(1));
      s.set("@turn", V("@turn") + I(1));
    });
    s.when(!V("@done"), [&] { s.log({S("DRAW"), sys("ryukyoku_pay")}); });
    s.call("$log_tiles@GLOBAL");
    s.log({S("SCORES"), V("@M_my_score"), E("@M_com_score#", I(0)), E("@M_com_score#", I(1)),
           E("@M_com_score#", I(2))});
  });
  s.a.op("syscall_discard system_end, 0");
  return s.a.text;
}

}  // namespace mj_test
