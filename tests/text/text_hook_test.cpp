// The text hook end to end: a game shows a named quotation, a paragraph with
// a newline and a choice, and the program writes what the player reads as
// JSON lines to a file or a Unix-domain socket.
#include <gtest/gtest.h>

#include "platform/unix_socket.h"
#include "tests/support/console_game.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

const std::string kGame = R"(.function $init@GLOBAL
    return
main:
)" + testing_support::console_on_new_page(200) + R"(
    text "太郎「今日は\"いい\"天気\\です。」"
    text_proc
    text_ctrl "p"
    text "一行目"
    text_proc
    text_ctrl "n"
    text "二行目\t\x01終わり"
    text_proc
    text_ctrl "p"
    ; The choice: two answers drawn with fontout, each a click region.
    syscall_discard fontout_push, 0
    push_i 20
    push_i 20
    load i @page
    syscall_discard fontout_locate, 3
    push_s "もう少し星を見る"
    syscall_discard fontout, 1
    push_i 60
    push_i 20
    load i @page
    syscall_discard fontout_locate, 3
    push_s "家に帰る"
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
)" + testing_support::kTwoAnswerRegions + R"(
    syscall_discard region_events, 0
    syscall_discard region_events, 0
    ; The backlog replayed is not told again.
    push_i -1
    syscall_discard console_replay, 1
    syscall_discard system_end, 0
; The console's other hooks do nothing here.
)" + testing_support::silent_console_hooks(false) + R"(
; The speaker hook draws the name with fontout: it is not a choice.
.function on_name
    .local _name, -2
    syscall_discard fontout_push, 0
    push_i 0
    push_i 0
    load i @page
    syscall_discard fontout_locate, 3
    load s _name
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
    return
.export 0x44A4FF72, on_name
)";

const std::string kExpected =
    "{\"type\":\"line\",\"speaker\":\"太郎\",\"text\":\"「今日は\\\"いい\\\"天気\\\\です。」\"}\n"
    "{\"type\":\"line\",\"speaker\":\"\",\"text\":\"一行目\\n二行目\\t\\u0001終わり\"}\n"
    "{\"type\":\"choices\",\"items\":[\"もう少し星を見る\",\"家に帰る\"]}\n";

TEST(TextHook, WritesLinesAndChoicesToAFile) {
  ScriptGame game;
  game.script("start", kGame);
  const std::string out = game.dir / "hook.jsonl";
  game.dir.write("hook.jsonl", "earlier\n");  // appended to, never replaced
  GameRun r = game.run({"--text-hook=" + out});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(game.dir.read("hook.jsonl"), "earlier\n" + kExpected);
}

TEST(TextHook, WritesToAUnixSocketAndRunsOnWithoutOne) {
  ScriptGame game;
  game.script("start", kGame);
  const std::string path = game.dir / "hook.sock";
  {
    plat::UnixSocket listener = plat::UnixSocket::listen(path);
    ASSERT_TRUE(listener.valid());
    // The connection waits in the listener's queue and the lines in the
    // socket's buffer until the reader accepts.
    GameRun r = game.run({"--text-hook=unix:" + path});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    plat::UnixSocket reader = listener.accept(1000);
    ASSERT_TRUE(reader.valid());
    std::string got;
    char ch;
    while (reader.receive(&ch, 1, got.size() < kExpected.size() ? 1000 : 0)) got += ch;
    EXPECT_EQ(got, kExpected);
  }
  // Nobody listens any more: the lines are dropped and the game is not held up.
  GameRun r = game.run({"--text-hook=unix:" + path});
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

TEST(TextHook, TheSettingsFileNamesOnlyAnAbsolutePath) {
  ScriptGame game;
  game.script("start", kGame);
  const std::string settings = game.dir / "settings.ini";
  game.dir.write("settings.ini", "[quorel]\nTextHook=" + (game.dir / "hook.jsonl") + "\n");
  GameRun r = game.run({"--settings=" + settings});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(game.dir.read("hook.jsonl"), kExpected);
  // Relative to what? The game's folder is not the player's choice.
  game.dir.write("settings.ini", "[quorel]\nTextHook=fastdata/hook.jsonl\n");
  r = game.run({"--settings=" + settings});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("absolute"), std::string::npos) << r.err;
  EXPECT_FALSE(game.dir.exists("fastdata/hook.jsonl"));
}

TEST(TextHook, APathThatCannotBeWrittenIsReported) {
  ScriptGame game;
  game.script("start", kGame);
  GameRun r = game.run({"--text-hook=" + game.dir.path()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("text hook"), std::string::npos) << r.err;
}

}  // namespace
