// The bridge between the scripts' variables and the engine, through the
// real program: undefined variables and wrong kinds are reported, arrays
// of other sizes are copied as far as both go, and bad values or
// arguments never break the built-ins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/mahjong/game_script.h"
#include "tests/support/script_game.h"

namespace {

using testing_support::GameRun;
using testing_support::ScriptGame;

std::string program(const std::string& body) {
  return ".function $init@GLOBAL\n    return\nmain:\n" + body + "    syscall_discard system_end, 0\n";
}

GameRun run(const std::string& body) {
  ScriptGame game;
  game.script("start", program(body));
  return game.run({"--answer=retry", "--seed=3"});
}

TEST(Bridge, UndefinedAndWrongKindVariablesAreReportedOncePerCall) {
  GameRun r = run(mj_test::define_match_variables({"@M_tatioya", "@M_my_score", "@M_yaku_score"}) +
                  "    push_s \"text\"\n    st_ref_s_pop @M_my_score\n"
                  "    syscall_discard kaze_set, 0\n"
                  "    load s @M_my_score\n    syscall_discard debugout, 1\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.boxes.size(), 3u) << r.err;
  EXPECT_NE(r.boxes[0].find("item[@M_my_score@GLOBAL]の型が正しくありません"), std::string::npos) << r.boxes[0];
  EXPECT_NE(r.boxes[1].find("item[@M_tatioya@GLOBAL]が発見できませんでした"), std::string::npos) << r.boxes[1];
  EXPECT_NE(r.boxes[2].find("item[@M_yaku_score@GLOBAL]が発見できませんでした"), std::string::npos) << r.boxes[2];
  EXPECT_EQ(r.log.back(), "text ") << "the script's own variable is left alone";
}

TEST(Bridge, ArraysOfOtherSizesAreCopiedAsFarAsBothGo) {
  std::string body = mj_test::define_match_variables({"@M_my_pre_te#", "@M_com_is_tenpai#"});
  body +=
      "    push_i 20\n    syscall int_array, 1\n    st_ref_ia_pop @M_my_pre_te#\n"
      "    push_i 777\n    push_i 14\n    ast_i_pop @M_my_pre_te#[1]\n"
      "    push_i 2\n    syscall int_array, 1\n    st_ref_ia_pop @M_com_is_tenpai#\n"
      "    syscall_discard yama_init, 0\n"
      "    syscall_discard player_haipai, 0\n"
      "    syscall_discard set_com_end, 0\n"
      "    push_i 14\n    load_elem i @M_my_pre_te#[1]\n"
      "    push_i 13\n    load_elem i @M_my_pre_te#[1]\n"
      "    push_i 0\n    load_elem i @M_my_pre_te#[1]\n"
      "    syscall_discard debugout, 3\n";
  GameRun r = run(body);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.err;
  ASSERT_FALSE(r.log.empty());
  // The first tile, the empty fourteenth slot, and element 14 untouched.
  int first = std::stoi(r.log.back());
  EXPECT_GE(first, 10);
  EXPECT_LT(first, 380);
  EXPECT_NE(r.log.back().find(" 600 777 "), std::string::npos) << r.log.back();
}

// Every built-in with seats, tiles and modes that make no sense, before
// and after the wall exists, over variables holding nonsense.
TEST(Bridge, NonsenseValuesAndArgumentsLeaveTheEngineStanding) {
  std::string body = mj_test::define_match_variables();
  auto set = [&](const std::string& var, long v) { body += "    push_i " + std::to_string(v) + "\n    st_i_pop " + var + "\n"; };
  auto set_elems = [&](const std::string& array, int n, std::vector<long> values) {
    for (int i = 0; i < n; ++i)
      body += "    push_i " + std::to_string(values[i % values.size()]) + "\n    push_i " + std::to_string(i) +
              "\n    ast_i_pop " + array + "[1]\n";
  };
  set("@M_maj_mode", 77);
  set("@M_tatioya", -9);
  set("@M_ba_kaze", 55);
  set("@M_my_kaze", -3);
  set("@M_my_luck", 2147483647);
  set("@M_my_unluck", -2147483647);
  set("@M_kan_kazu", 99);
  set("@M_last_sute", -77);
  set("@M_last_sute_pl", 12);
  set("@M_pi_tumo_nokori", 5);
  set("@M_com_yuusen", 9);
  set_elems("@M_my_pre_te#", 14, {-5, 2147483647, 100, 600, 153, 153, 153, 153, 153, 390, 0, 37});
  set_elems("@M_my_naki_flag#", 14, {4, 1, -1, 5, 99});
  set_elems("@M_com_pre_te#", 42, {-1, 2147483647, 380, 15});
  set_elems("@M_com_end#", 42, {-1, 99, 38, 15, 35});
  set_elems("@M_com_endnaki#", 42, {4, 2, 3, 1, 0, 7});
  set_elems("@M_dora#", 16, {99999});
  set_elems("@com_lvl#", 3, {999, -3, 27});
  set_elems("@com_tuyosa#", 3, {0, -5, 100000});
  set_elems("@com_luck#", 3, {2147483647, -2147483647, 0});
  set_elems("@M_com_do_naki#", 3, {2});
  set_elems("@M_com_is_tenpai#", 3, {1, 0, 7});

  const std::vector<long> seats = {-1, 0, 2, 3, 4, 2147483647}, tiles = {-1, 0, 150, 355, 2147483647};
  auto calls = [&] {
    for (const char* b : {"kaze_set", "dora_init", "dora_init", "get_player_pi", "pi_draw", "get_player_can_reach",
                          "get_player_can_agari", "get_yaku_stat", "ryukyoku_pay", "set_com_end", "player_haipai",
                          "pi_kan", "pi_chi"})
      body += "    syscall_discard " + std::string(b) + ", 0\n";
    for (long p : seats) {
      for (const char* b : {"pi_sort", "get_tenpai", "get_furiten", "get_agari_score", "think_com_sute", "com_sute_pos",
                            "think_com_pon", "think_com_chi", "com_set_agari", "com_show_hand",
                            "get_player_can_kan"})
        body += "    push_i " + std::to_string(p) + "\n    syscall_discard " + b + ", 1\n";
      for (long v : tiles) {
        for (const char* b : {"pi_kan", "pi_pon", "com_set_tenpai"})
          body += "    push_i " + std::to_string(v) + "\n    push_i " + std::to_string(p) + "\n    syscall_discard " +
                  b + ", 2\n";
        body += "    push_i " + std::to_string(v / 10) + "\n    push_i " + std::to_string(v) + "\n    push_i " +
                std::to_string(p) + "\n    syscall_discard pi_chi, 3\n";
        body += "    push_i " + std::to_string(v) + "\n    syscall_discard pi_return, 1\n";
      }
    }
  };
  calls();  // no wall yet
  body += "    syscall_discard yama_init, 0\n";
  calls();
  for (int i = 0; i < 160; ++i) body += "    syscall_discard pi_draw, 0\n";  // past the end of the wall
  calls();
  body += "    push_s \"standing\"\n    syscall_discard debugout, 1\n";

  GameRun r = run(body);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.boxes.front();
  ASSERT_FALSE(r.log.empty());
  EXPECT_EQ(r.log.back(), "standing ");
}

}  // namespace
