// quorel-dbg driven as a user would: commands typed while the game is
// stopped, breakpoints checked against the game's scripts, locals printed
// by the names the assembler wrote, bad commands answered.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

const char kScript[] =
    ".function $init@GLOBAL\n"
    "    return\n"
    "main:\n"
    "    line 1\n"
    "    push_i 5\n"
    "    st_i_pop @count\n"
    "    line 2\n"
    "    push_s \"hello\"\n"
    "    push_i 7\n"
    "    call_fn_discard $show@GLOBAL, 2\n"
    "    line 3\n"
    "    syscall_discard system_end, 0\n"
    ".function $show@GLOBAL\n"
    "    .local _n, -2\n"
    "    .local _text, -3\n"
    "    line 10\n"
    "    load i _n\n"
    "    load s _text\n"
    "    syscall_discard debugout, 2\n"
    "    line 11\n"
    "    return\n";

TEST(DebuggerProgram, BreakpointsLocalsAndBadCommands) {
  TempDir dir;
  dir.write("start.qasm", kScript);
  dir.write("game/fastdata/quorel.env", "TITLEBAR dbg\n");
  ASSERT_EQ(run_program({"quorel-asm", dir / "start.qasm", "-o", dir / "game/fastdata/start.mjo", "--symbols",
                         dir / "start.sym"})
                .exit_code,
            0);
  dir.write("commands",
            "b start 10\nb start 99\nb nosuch 3\nb start\nb start 1e9\nb start 10\nl\n"
            "p @count\nc\np _n\np _text\np @count\np @nosuch\np count\np _zzz\np\nfrobnicate\n"
            "d start 10\nd start 10\nc\n");
  const std::string sock = dir / "dbg.sock";
  Background dbg({"/bin/sh", "-c",
                  "exec \"$0\" \"$1\" --game \"$2\" --symbols \"$3\" < \"$4\" > \"$5\" 2>&1", built_program("quorel-dbg"),
                  sock, dir / "game", dir / "start.sym", dir / "commands", dir / "out.txt"});
  for (int i = 0; i < 500 && !dir.exists("dbg.sock"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(dir.exists("dbg.sock"));
  RunResult game = run_program({"quorel", "--headless", "--virtual-clock=16", "--max-frames=300",
                                "--debug=" + sock, "--settings=" + (dir / "settings.ini"), dir / "game"},
                               {}, 60, {"XDG_RUNTIME_DIR=" + dir.path()});
  EXPECT_EQ(game.exit_code, 0) << game.err;
  for (int i = 0; i < 500 && dbg.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::string out = dir.read("out.txt");
  size_t at = 0;
  for (const char* want : {"stopped at START.MJO(1) in thread 0", "breakpoint 1 at START.MJO(10)\n",
                           "refused: START.MJO has no line 99\n",
                           "refused: the game has no script NOSUCH.MJO", "usage: b SCRIPT LINE",
                           "'1e9' is not a line number", "a breakpoint at START.MJO(10) is already set",
                           "1: START.MJO(10)", "unknown variable @count", "stopped at START.MJO(10) in thread 0",
                           "_n = 7 (int)", "_text = \"hello\" (string)", "@count = 5 (int)",
                           "unknown variable @nosuch", "unknown name 'count'", "unknown local _zzz",
                           "usage: p NAME", "unknown command 'frobnicate'", "removed the breakpoint at START.MJO(10)",
                           "no breakpoint at START.MJO(10)", "the game ended"}) {
    size_t found = out.find(want, at);
    EXPECT_NE(found, std::string::npos) << "missing, in order: " << want << "\n" << out;
    if (found != std::string::npos) at = found;
  }
}

TEST(ToolPrograms, EveryToolTellsItsVersion) {
  for (const char* tool : {"quorel", "quorel-asm", "quorel-arc", "quorel-img", "quorel-text", "quorel-dbg", "quorel-save",
                           "quorel-refgen"}) {
    RunResult r = run_program({tool, "--version"});
    EXPECT_EQ(r.exit_code, 0) << tool;
    EXPECT_EQ(r.out.rfind(std::string(tool) + " ", 0), 0u) << tool << ": " << r.out;
  }
}

}  // namespace
