// The system data across runs of the real program: the seen table and the
// persistent variables come back however the run ended (system_end, a
// Cancel in an error box, the frame limit, the window closed); LOADSAVEDISABLE writes nothing;
// a damaged file is kept aside and the game starts afresh.
#include <gtest/gtest.h>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

// Logs what the last run left, counts the run, then ends as `ending` says.
std::string counting_script(const std::string& ending) {
  return R"(
.function $init@GLOBAL
    return
main:
    line 1
    push_s "cg01"
    syscall seen_check, 1
    push_s "pic02"
    syscall seen_check, 1
    load i #runs
    syscall_discard debugout, 3
    push_s "CG01.PNG"
    syscall_discard seen_mark, 1
    load i #runs
    push_i 1
    add_i
    st_i_pop #runs
    push_s "走った"
    st_ref_s_pop #note
)" + ending;
}

TEST(SystemData, ThePersistentVariablesAndTheSeenTableOutliveEveryEnding) {
  ScriptGame game;
  game.script("start", counting_script("    syscall_discard system_end, 0\n"));
  GameRun one = game.run();
  EXPECT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(one.log, (std::vector<std::string>{"0 0 0 "}));

  // A Cancel in an error box.
  game.script("start", counting_script("    syscall 0x12345678, 0\n    syscall_discard system_end, 0\n"));
  GameRun two = game.run({"--answer=cancel"});
  EXPECT_EQ(two.exit_code, 255);
  EXPECT_EQ(two.log.front(), "1 0 1 ");

  // The frame limit.
  game.script("start", counting_script("    push_i -1\n    syscall_discard wait, 1\n"));
  GameRun three = game.run({"--max-frames=5"});
  EXPECT_EQ(three.exit_code, 0) << three.err;
  EXPECT_EQ(three.log, (std::vector<std::string>{"2 0 1 "}));

  // The window closed.
  game.file("quit.txt", "100 quit\n");
  GameRun closed = game.run({"--input=" + game.dir / "quit.txt"});
  EXPECT_EQ(closed.exit_code, 0) << closed.err;
  EXPECT_EQ(closed.log, (std::vector<std::string>{"3 0 1 "}));

  game.script("start", counting_script("    load s #note\n    syscall_discard debugout, 1\n"
                                       "    syscall_discard system_end, 0\n"));
  GameRun four = game.run();
  EXPECT_EQ(four.log, (std::vector<std::string>{"4 0 1 ", "走った "}));
}

TEST(SystemData, NothingIsWrittenWhileSavingIsDisabled) {
  ScriptGame game("LOADSAVEDISABLE 1\n");
  game.script("start", counting_script(R"(
    syscall_discard save_enable, 0
    syscall_discard save_point, 0
    push_i 2
    syscall_discard save_write, 1
    syscall_discard system_end, 0
)"));
  GameRun one = game.run();
  EXPECT_EQ(one.exit_code, 0) << one.err;
  EXPECT_FALSE(game.dir.exists("savedata/quorel_system.mss"));
  EXPECT_FALSE(game.dir.exists("savedata/quorel_0002.sav"));
  EXPECT_EQ(game.run().log, (std::vector<std::string>{"0 0 0 "}));
}

// The key disables saving at the value 1 only; any other value saves.
TEST(SystemData, OnlyTheValueOneDisablesSaving) {
  ScriptGame game("LOADSAVEDISABLE 2\n");
  game.script("start", counting_script(R"(
    syscall_discard save_enable, 0
    syscall_discard save_point, 0
    push_i 2
    syscall_discard save_write, 1
    syscall_discard system_end, 0
)"));
  GameRun one = game.run();
  EXPECT_EQ(one.exit_code, 0) << one.err;
  EXPECT_TRUE(game.dir.exists("savedata/quorel_system.mss"));
  EXPECT_TRUE(game.dir.exists("savedata/quorel_0002.sav"));
}

TEST(SystemData, ADamagedFileIsKeptAsideAndTheGameStartsAfresh) {
  ScriptGame game;
  game.file("savedata/quorel_system.mss", std::string("QuorelSysV1.100\0", 16) + "short");
  game.script("start", counting_script("    syscall_discard system_end, 0\n"));
  GameRun one = game.run();
  EXPECT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(one.log.back(), "0 0 0 ");
  EXPECT_EQ(game.dir.read("savedata/quorel_system.mss.damaged"), std::string("QuorelSysV1.100\0", 16) + "short");
  EXPECT_EQ(game.run().log.back(), "1 0 1 ") << "a fresh file was written";
}

}  // namespace
