// The console driven by a real script through the text opcodes: the hooks
// it calls, in order, with their arguments, and a replay of the backlog.
#include <gtest/gtest.h>

#include "graphics/png_codec.h"
#include "platform/files.h"
#include "tests/support/console_game.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

// Hooks that log their calls: the after-line hook logs y and width.
const char kHooks[] = R"(
.function on_line
    .local _y, -4
    .local _w, -5
    load i _w
    load i _y
    push_s "line"
    syscall_discard debugout, 3
    return
.export 0x47BB540C, on_line
.function on_name
    .local _name, -2
    load s _name
    push_s "name"
    syscall_discard debugout, 2
    return
.export 0x44A4FF72, on_name
.function on_show
    push_s "show"
    syscall_discard debugout, 1
    return
.export 0xF7A4C8D8, on_show
.function on_pause
    push_s "pause"
    syscall_discard debugout, 1
    return
.export 0x20CE505D, on_pause
.function on_wipe
    push_s "wipe"
    syscall_discard debugout, 1
    return
.export 0x93B38A0B, on_wipe
.function on_newline
    push_s "newline"
    syscall_discard debugout, 1
    return
.export 0x04AE36BD, on_newline
)";

// A console of 200 × 100 pixels at (20, 300) on a new page, 20-pixel font.
const std::string kSetUp = testing_support::console_on_new_page(200) + R"(
    push_i -1
    push_i 0xFFFFFF
    syscall_discard console_color, 2
)";

GameRun run_main(const std::string& body) {
  ScriptGame game;
  game.script("start", std::string(".function $init@GLOBAL\n    return\nmain:\n") + kSetUp + body +
                           "    syscall_discard system_end, 0\n" + kHooks);
  return game.run({"--answer=cancel"});
}

TEST(ConsoleScript, DialogueCallsTheHooksLineByLine) {
  GameRun r = run_main(R"(
    line 2
    text "太郎「今日はいい天気ですね。散歩に行きませんか。」"
    text_proc
    text_ctrl "p"
    text_ctrl "n"
    text "はい。"
    text_proc
    text_ctrl "p"
    syscall console_pen_x, 0
    syscall_discard debugout, 1
    syscall console_get_y, 0
    syscall_discard debugout, 1
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // 20-pixel characters, 10 to a line; the quotation hangs after its bracket.
  EXPECT_EQ(r.log, (std::vector<std::string>{"show ", "name 太郎 ", "line 300 200 ", "line 325 160 ",
                                             "line 350 100 ", "pause ", "newline ", "line 375 60 ", "pause ",
                                             "80 ", "75 "}));
}

TEST(ConsoleScript, TheBacklogPagesAndReplays) {
  GameRun r = run_main(R"(
    syscall_discard console_cls, 0
    text "一ページ目。"
    text_proc
    text_ctrl "p"
    syscall_discard console_cls, 0
    text "二ページ目の文。"
    text_proc
    text_ctrl "p"
    push_i 0
    push_i 0xFF
    text_ctrl "c"
    syscall console_page_count, 0
    syscall_discard debugout, 1
    syscall console_step_count, 0
    syscall_discard debugout, 1
    push_s "replay"
    syscall_discard debugout, 1
    push_i -1
    syscall_discard console_replay, 1
    push_s "again"
    syscall_discard debugout, 1
    push_i -1
    syscall console_prev_wipe, 1
    syscall console_prev_wipe, 1
    syscall_discard console_replay, 1
    push_s "done"
    syscall_discard debugout, 1
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"wipe ", "show ", "line 300 120 ", "pause ", "wipe ", "line 300 160 ",
                                             "pause ", "2 ", "2 ", "replay ", "wipe ", "line 300 163 ", "again ",
                                             "wipe ", "line 300 123 ", "done "}))
      << "colours are not replayed: the last one (with its shadow) stays";
}

// Dialogue drawn straight into the front buffer, read back from the
// screenshot the program writes at exit.
TEST(ConsoleScript, DialogueReachesTheScreen) {
  ScriptGame game;
  game.script("start", std::string(R"(
.function $init@GLOBAL
    return
main:
    push_i 120
    push_i 200
    push_i 20
    push_i 20
    syscall get_frontbuffer, 0
    syscall_discard console_set, 5
    push_i 20
    push_s "ＭＳ ゴシック"
    syscall_discard console_font, 2
    push_i 0x01000000
    push_i 0xFFFFFF
    syscall_discard console_color, 2
    text "太郎「今日はいい天気ですね。散歩に行きませんか。」"
    text_proc
    push_i 100
    syscall_discard wait, 1
    syscall_discard system_end, 0
)") + kHooks);
  const std::string shot = game.dir / "shot.png";
  GameRun r = game.run({"--screenshot=" + shot, "--answer=cancel"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  auto file = plat::read_whole_file(shot);
  ASSERT_TRUE(file);
  gfx::PngImage png;
  std::string error;
  ASSERT_EQ(gfx::decode_png(*file, png, &error), gfx::PngResult::Ok) << error;
  // White ink (the outline is black on black) in a band of the screen.
  auto ink = [&](int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += png.bgr[(static_cast<size_t>(y) * png.width + x) * 3] > 160;
    return n;
  };
  // Three lines at y 20, 45, 70: "「" and 9 characters, 8 hanging after the
  // bracket, then the last 5; the name went to its hook.
  EXPECT_GT(ink(20, 20, 220, 40), 400);
  EXPECT_GT(ink(41, 45, 201, 65), 300);
  EXPECT_EQ(ink(20, 45, 38, 65), 0) << "the hanging indent";
  EXPECT_EQ(ink(203, 45, 240, 65), 0) << "the second line ends at the width it has";
  EXPECT_GT(ink(41, 70, 141, 90), 80);
  EXPECT_EQ(ink(143, 70, 240, 90), 0);
  EXPECT_EQ(ink(0, 95, 640, 480), 0);
}

// The speed the reveal paces by: the player's until the script sets one with
// `s`, which holds until the next pause or wipe; the player's new setting is
// read back as soon as no script speed is in force.
TEST(ConsoleScript, TheTextSpeedIsThePlayersUnlessTheScriptSetsOne) {
  GameRun r = run_main(R"(
    syscall get_text_speed, 0
    push_i 1234
    syscall_discard set_text_speed, 1
    syscall get_text_speed, 0
    push_s "start"
    syscall_discard debugout, 3
    push_i 50
    text_ctrl "s"
    push_i 777
    syscall_discard set_text_speed, 1
    syscall get_text_speed, 0
    syscall_discard debugout, 1
    text_ctrl "p"
    syscall get_text_speed, 0
    syscall_discard debugout, 1
    push_i 0
    text_ctrl "s"
    syscall get_text_speed, 0
    syscall_discard debugout, 1
    text_ctrl "w"
    syscall get_text_speed, 0
    syscall_discard debugout, 1
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"start 1234 1000 ", "50 ", "pause ", "777 ", "0 ", "wipe ", "777 "}));
}

TEST(ConsoleScript, AMissingHookIsReportedAsAMissingFunction) {
  ScriptGame game;
  game.script("start", std::string(".function $init@GLOBAL\n    return\nmain:\n") + kSetUp +
                           "    text \"あ\"\n    text_proc\n    syscall_discard system_end, 0\n");
  GameRun r = game.run({"--answer=cancel"});
  EXPECT_NE(r.exit_code, 0);
  ASSERT_FALSE(r.boxes.empty());
  EXPECT_NE(r.boxes[0].find("F7A4C8D8"), std::string::npos) << r.boxes[0];
}

}  // namespace
