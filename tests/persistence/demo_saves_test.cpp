// The demo game saves itself at its first choice and tells the story to its
// end; back at the title, its continue loads that save and the choice is
// asked again (its second play-through takes the other answer), and
// quorel-save finds the save loadable.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using testing_support::run_program;
using testing_support::RunResult;
using testing_support::TempDir;

namespace {

TEST(DemoSaves, TheTitlesContinueLoadsTheChoiceBackAndChoosesAgain) {
  TempDir dir;
  RunResult copy = run_program({"/bin/cp", "-r", std::string(QUOREL_BINARY_DIR) + "/examples/demo", dir / "game"});
  // Only the game: not what a run in the build tree left (its log, saves, caches).
  run_program({"/bin/rm", "-rf", dir / "game/debugout.log", dir / "game/savedata"});
  ASSERT_EQ(copy.exit_code, 0) << copy.err;
  RunResult run = run_program({"quorel", "--headless", "--virtual-clock=16", "--max-frames=3500", "--seed=1",
                               "--settings=" + (dir / "settings.ini"),
                               "--input=" + std::string(QUOREL_SOURCE_DIR) + "/examples/demo/autoplay-secret.txt",
                               dir / "game"},
                              {}, 120, {"XDG_RUNTIME_DIR=" + dir.path()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> log;
  const std::string text = dir.read("game/debugout.log");
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const size_t at = line.find("demo: ");
    if (at != std::string::npos && line.find("backlog") == std::string::npos) log.push_back(line.substr(at + 6));
    pos = end + 1;
  }
  const std::vector<std::string> wanted = {"saved at the choice ", "the choice is shown ", "chose 2 ",
                                           "the story is told ",  "back to the title ",   "title menu 2 ",
                                           "loaded at the choice ", "the choice is shown ", "chose 1 "};
  auto it = log.begin();
  for (const std::string& w : wanted) {
    it = std::find(it, log.end(), w);
    ASSERT_NE(it, log.end()) << "missing, or out of order: " << w;
    ++it;
  }
  EXPECT_EQ(std::count(log.begin(), log.end(), "saved at the choice "), 1) << "no second quick save after the load";

  RunResult check = run_program({"quorel-save", "check", dir / "game/savedata", "--game=" + (dir / "game")});
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  EXPECT_NE(check.out.find("quorel_last.sav: loads"), std::string::npos) << check.out;
}

}  // namespace
