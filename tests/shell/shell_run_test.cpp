// The player shell in the real program: settings that survive a restart,
// the quit confirmation answered both ways, play modes from the keys of an
// input file, and no window without a display.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

bool logged(const GameRun& r, const std::string& line) {
  return std::find(r.log.begin(), r.log.end(), line) != r.log.end();
}

TEST(ShellRun, SettingsSurviveARestartWithTheirDefaultsAndClamps) {
  ScriptGame game("AUTOSPEED 777\nREG_GLOBAL G\nREG_LOCAL L\n");
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_s "FirstRun"
    push_i 1
    push_s "FirstRun"
    syscall reg_get_int, 2
    jmp_false second
    push_i 1234
    syscall_discard set_text_speed, 1
    push_i 4321
    syscall_discard set_effect_speed, 1
    push_i 300
    syscall_discard set_music_volume, 1
    push_i 0
    push_s "FirstRun"
    syscall_discard reg_set_int, 2
    push_i 0
    syscall_discard system_end, 1
second:
    syscall get_auto_speed, 0
    syscall get_effect_speed, 0
    push_s "speeds"
    syscall_discard debugout, 3
    syscall get_game_speed, 0
    syscall get_nanido, 0
    syscall is_talk_female, 0
    push_s "more"
    syscall_discard debugout, 4
    push_i -1
    push_s "SCALE"
    syscall reg_get_int, 2
    push_s "port"
    syscall_discard debugout, 2
    push_i 0
    syscall_discard system_end, 1
)");
  GameRun first = game.run();
  ASSERT_EQ(first.exit_code, 0) << first.err;
  std::string ini = game.dir.read("settings.ini");
  EXPECT_NE(ini.find("MojiSpeed=1234\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("AbnormalTerminateFlg=0\n"), std::string::npos) << ini;
  // The player edits the file by hand: out of range, letter case, the port's section.
  game.file("settings.ini", ini + "nanido=9\ngamespeed=-2\nTalkFemale=0\n[quorel]\nScale=2\n");
  GameRun second = game.run();
  ASSERT_EQ(second.exit_code, 0) << second.err;
  EXPECT_TRUE(logged(second, "speeds 4321 777 ")) << testing::PrintToString(second.log);
  EXPECT_TRUE(logged(second, "more 0 4 0 ")) << testing::PrintToString(second.log);
  EXPECT_TRUE(logged(second, "port -1 ")) << "scripts cannot read the port's own values";
  EXPECT_NE(game.dir.read("settings.ini").find("[quorel]\nScale=2\n"), std::string::npos)
      << "and the game's writes keep them";
}

// The window's scale, filter and renderer: the player's saved choice, a
// command line that overrides it for its run without writing it back, and
// hand-edited values that are not understood giving the defaults.
TEST(ShellRun, WindowChoicesAreSavedAndTheCommandLineWinsForItsRun) {
  ScriptGame game;
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    push_i 0\n    syscall_discard system_end, 1\n");
  auto window_line = [](const GameRun& r) {
    const size_t at = r.err.find("window of ");
    return at == std::string::npos ? r.err : r.err.substr(at, r.err.find(',', r.err.find("renderer", at)) - at);
  };
  game.file("settings.ini", "MojiSpeed=5\n[quorel]\nScale=3\nFilter= Linear\nRenderer=software\n");
  GameRun saved = game.run({"--trace=graphics"});
  ASSERT_EQ(saved.exit_code, 0) << saved.err;
  EXPECT_EQ(window_line(saved), "window of 640x480 at scale 3, linear filter, renderer software");

  GameRun over = game.run({"--trace=graphics", "--scale=2", "--filter=nearest", "--renderer=gpu"});
  EXPECT_EQ(window_line(over), "window of 640x480 at scale 2, nearest filter, renderer gpu");
  EXPECT_NE(game.dir.read("settings.ini").find("[quorel]\nFilter= Linear\nRenderer=software\nScale=3\n"),
            std::string::npos)
      << game.dir.read("settings.ini");

  for (const char* garbage : {"Scale=12\nFilter=blurry\nRenderer=vulkan\n", "Scale=2x\nFilter=\nRenderer=0\n",
                              "Scale=-1\nFilter=1\n"}) {
    game.file("settings.ini", std::string("[quorel]\n") + garbage);
    GameRun bad = game.run({"--trace=graphics"});
    ASSERT_EQ(bad.exit_code, 0) << bad.err;
    EXPECT_EQ(window_line(bad), "window of 640x480 at scale 1, nearest filter, renderer auto") << garbage;
  }
}

TEST(ShellRun, QuitAsksAndEitherAnswerIsKept) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_s "running"
    syscall_discard debugout, 1
spin:
    push_i 1000
    syscall_discard wait, 1
    jmp spin
)");
  game.file("quit.txt", "200 quit\n");
  const std::string input = "--input=" + (game.dir / "quit.txt");
  GameRun yes = game.run({input, "--answer=yes", "--max-frames=100000"});
  EXPECT_FALSE(yes.timed_out);
  EXPECT_EQ(yes.exit_code, 0) << yes.err;
  ASSERT_EQ(yes.boxes.size(), 1u) << yes.err;
  EXPECT_NE(yes.boxes[0].find("終了してよろしいですか？ | yes/no -> yes"), std::string::npos) << yes.boxes[0];

  GameRun no = game.run({input, "--max-frames=300"});
  EXPECT_EQ(no.exit_code, 0) << no.err;
  ASSERT_EQ(no.boxes.size(), 1u) << no.err;
  EXPECT_NE(no.boxes[0].find("-> no"), std::string::npos);
  EXPECT_NE(game.dir.read("settings.ini").find("AbnormalTerminateFlg=0"), std::string::npos)
      << "the run went on to its normal end";
}

TEST(ShellRun, PlayModesFromTheKeysOfAnInputFile) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_i 100
    syscall_discard wait, 1
    syscall is_fast_mode, 0
    syscall is_auto_mode, 0
    push_s "auto, skipping:"
    syscall_discard debugout, 3
    jmp main
)");
  // F6 auto; Shift held is read skip, which the first unread line ends, and
  // its release brings auto back; F8 skips everything; a click ends it.
  game.file("keys.txt",
            "150 key press f6\n350 key down shift\n550 key up shift\n750 key press f8\n"
            "950 mouse click left 10 10\n");
  GameRun r = game.run({"--input=" + (game.dir / "keys.txt"), "--max-frames=120"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> changes;
  for (const std::string& line : r.log)
    if (changes.empty() || changes.back() != line) changes.push_back(line);
  EXPECT_EQ(changes, (std::vector<std::string>{"auto, skipping: 0 0 ", "auto, skipping: 1 0 ",
                                               "auto, skipping: 0 0 ", "auto, skipping: 1 0 ",
                                               "auto, skipping: 0 1 ", "auto, skipping: 0 0 "}));
}

TEST(ShellRun, NoDisplayNoWindow) {
  ScriptGame game;
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    jmp main\n");
  testing_support::RunResult r = testing_support::run_program(
      {"quorel", "--settings=" + (game.dir / "s.ini"), game.dir.path()}, {}, 30,
      {"DISPLAY=", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER="});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err, "quorel: no display: run with --headless, or set DISPLAY\n");
}

}  // namespace
