// The real program started on small game folders.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/program.h"
#include "tests/support/process.h"
#include "tests/support/script_game.h"
#include "tests/support/temp_dir.h"

using testing_support::run_program;
using testing_support::TempDir;

namespace {

TEST(Startup, MissingEnvironmentFileEndsWithMinusOne) {
  TempDir game;
  auto r = run_program({"quorel", "--headless", game.path()});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_NE(r.err.find("起動に必要なファイルが不足しています。\\nインストールの異常終了"), std::string::npos) << r.err;
  // After the engine's own text: the file, both folders tried and the names read.
  const size_t box = r.err.find("message box:"), named = r.err.find("quorel.env was not found. Looked in " + game.path());
  EXPECT_LT(box, named) << r.err;
  EXPECT_NE(r.err.find(" and " + testing_support::built_program("quorel").substr(
                           0, testing_support::built_program("quorel").rfind('/'))),
            std::string::npos) << r.err;
  EXPECT_NE(r.err.find("fastdata.arc, data.arc"), std::string::npos) << r.err;

  // A development folder (an empty fastdata) gets the same lines in its log.
  game.make_dir("fastdata");
  r = run_program({"quorel", "--headless", game.path()});
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_NE(game.read("debugout.log").find("quorel.env was not found. Looked in " + game.path()), std::string::npos);
}

TEST(Startup, EnvironmentFileNextToTheProgramIsUsed) {
  // The program lies in a folder with the game; it is started from elsewhere.
  TempDir install, elsewhere;
  std::filesystem::copy_file(testing_support::built_program("quorel"), install / "quorel");
  std::filesystem::permissions(install / "quorel", std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
  install.write("fastdata/quorel.env", "TITLEBAR Found|It\n");
  auto r = run_program({install / "quorel", "--headless"}, elsewhere.path());
  // It gets as far as loading "start", whose box carries the title as caption.
  EXPECT_NE(r.err.find("message box: Found It | QuorelObj"), std::string::npos) << r.err;
}

TEST(Startup, UnknownOptionsPrintUsage) {
  auto r = run_program({"quorel", "--no-such-option"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("usage: quorel"), std::string::npos);
  auto help = run_program({"quorel", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--virtual-clock"), std::string::npos);
}

TEST(Startup, ASecondCopyOfARunningGameIsRefused) {
  testing_support::ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_s "up"
    syscall_discard debugout, 1
wait_on:
    push_i 1000
    syscall_discard wait, 1
    jmp wait_on
)");
  testing_support::Background first({"quorel", "--headless", "--virtual-clock=10",
                                     "--settings=" + (game.dir / "one.ini"), game.dir.path()});
  // The first copy holds the game once its script runs.
  for (int i = 0; i < 3000 && game.dir.read("debugout.log").find("up") == std::string::npos; ++i) {
    ASSERT_TRUE(first.running()) << "the first copy ended early";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(game.dir.read("debugout.log").find("up"), std::string::npos);

  testing_support::GameRun second = game.run({"--settings=" + (game.dir / "two.ini")});
  EXPECT_EQ(second.exit_code, 0);
  ASSERT_EQ(second.boxes.size(), 1u) << second.err;
  EXPECT_NE(second.boxes[0].find("既に起動中です"), std::string::npos) << second.boxes[0];
  EXPECT_TRUE(second.log.empty()) << "the second copy ran no script";
  EXPECT_TRUE(first.running());
}

// Each chosen channel says what happens on stderr; the others stay quiet.
TEST(Startup, TraceChannelsShowWhatTheGameDoes) {
  testing_support::ScriptGame game;
  game.file("fastdata/tune.wav", "not a sound");
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_i 0
    push_s "tune"
    syscall_discard music, 2
    push_i 100
    syscall_discard wait, 1
    push_i 0
    syscall_discard system_end, 1
)");
  testing_support::GameRun run = game.run({"--virtual-clock=10", "--trace=script,resources"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("quorel: script: loaded START.MJO"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("quorel: script: thread 0 calls music with 2 arguments"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("quorel: resources: open quorel.env: "), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("quorel: sound:"), std::string::npos) << "sound was not asked for";

  testing_support::GameRun quiet = game.run({"--virtual-clock=10"});
  EXPECT_EQ(quiet.err.find("quorel: script:"), std::string::npos) << quiet.err;
}

TEST(Startup, ImageCacheBudgetIsHalfTheMemoryWithinLimits) {
  EXPECT_EQ(rt::image_cache_budget(6u << 20), 4u << 20);
  EXPECT_EQ(rt::image_cache_budget(100u << 20), 50u << 20);
  EXPECT_EQ(rt::image_cache_budget(uint64_t{1} << 30), 256u << 20);
  EXPECT_EQ(rt::image_cache_budget(uint64_t{64} << 30), 256u << 20);
  EXPECT_EQ(rt::image_cache_budget(std::nullopt), 4u << 20);
}

}  // namespace
