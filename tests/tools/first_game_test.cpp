// The first-game guide and the template game, run as a new user would run
// them: the guide's shell commands in order (twice, as a user repeating a
// step would), the template built by CMake played through, and a game that
// lacks a hook told which one.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/asm/assembler.h"

using namespace testing_support;

namespace {

std::string read_source(const std::string& relative) {
  std::ifstream in(std::string(QUOREL_SOURCE_DIR) + "/" + relative, std::ios::binary);
  EXPECT_TRUE(in) << relative;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The ```sh blocks of a Markdown file, joined into one script.
std::string shell_blocks(const std::string& markdown) {
  std::string script = "set -e\n";
  const std::regex block("```sh\n([\\s\\S]*?)```");
  for (std::sregex_iterator m(markdown.begin(), markdown.end(), block), end; m != end; ++m) script += (*m)[1].str();
  return script;
}

std::vector<std::string> guide_environment(const TempDir& dir) {
  return {std::string("QUOREL=") + QUOREL_SOURCE_DIR, std::string("PATH=") + QUOREL_BINARY_DIR + ":/usr/bin:/bin",
          "XDG_RUNTIME_DIR=" + dir.path(),
          "XDG_CONFIG_HOME=" + (dir / "config"), "SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"};
}

TEST(FirstGameGuide, EveryCommandWorksAndWorksAgain) {
  const std::string script = shell_blocks(read_source("docs/first-game.md"));
  ASSERT_NE(script.find("quorel-arc create"), std::string::npos) << "the guide's commands were not found";
  TempDir dir;
  dir.write("guide.sh", script);
  for (int round = 1; round <= 2; ++round) {
    RunResult r = run_program({"/bin/bash", dir / "guide.sh"}, dir.path(), 240, guide_environment(dir));
    ASSERT_EQ(r.exit_code, 0) << "round " << round << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("template: the end, answer 2"), std::string::npos) << r.out;
  }
  EXPECT_TRUE(dir.exists("mygame/first.png"));
  EXPECT_TRUE(dir.exists("release/fastdata.arc"));
  // The packed game ran in release mode: its screenshot shows the last line.
  EXPECT_EQ(dir.read("mygame/release.png"), dir.read("mygame/game.png"));
}

// Red, green, blue of a pixel of a 24-bit bottom-up BMP.
uint32_t pixel(const std::string& bmp, int x, int y) {
  size_t at = 54 + static_cast<size_t>(479 - y) * 640 * 3 + static_cast<size_t>(x) * 3;
  if (at + 3 > bmp.size()) return 0xFFFFFFFF;
  auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bmp[i])); };
  return byte(at + 2) << 16 | byte(at + 1) << 8 | byte(at);
}

const char kClicks[] =
    "4000 mouse click left 320 400\n"
    "+3000 mouse move 320 240\n"
    "+500 mouse click left 320 240\n"
    "+3000 mouse click left 320 400\n";

TEST(TemplateGame, PlaysToTheEndWithTheChosenAnswer) {
  TempDir dir;
  RunResult copy =
      run_program({"/bin/cp", "-r", std::string(QUOREL_BINARY_DIR) + "/examples/template", dir / "game"});
  ASSERT_EQ(copy.exit_code, 0) << copy.err;
  dir.write("clicks.txt", kClicks);
  RunResult r = run_program({"quorel", "--headless", "--virtual-clock=16", "--max-frames=1500",
                             "--settings=" + (dir / "settings.ini"), "--input=" + (dir / "clicks.txt"),
                             "--screenshot=" + (dir / "shot.bmp"), dir / "game"},
                            {}, 120, {"XDG_RUNTIME_DIR=" + dir.path()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(dir.read("game/debugout.log").find("template: the end, answer 2"), std::string::npos);
  const std::string shot = dir.read("shot.bmp");
  EXPECT_NE(pixel(shot, 300, 20), 0u) << "the background shows";
  EXPECT_NE(pixel(shot, 300, 400), pixel(shot, 300, 300)) << "the message window shows";
}

TEST(TemplateGame, AMissingHookIsNamedOnStderr) {
  // The template without its pause hook: the engine's report gives the key,
  // stderr the hook's name and how to declare it.
  std::string source = read_source("examples/template/start.qasm");
  const size_t at = source.find(".hook console_pause");
  ASSERT_NE(at, std::string::npos);
  source.replace(at, std::string(".hook console_pause").size(), ".function not_a_hook");
  auto assembled = quorel_asm::assemble(source);
  ASSERT_TRUE(assembled.ok()) << assembled.errors[0].message;
  TempDir dir;
  RunResult copy =
      run_program({"/bin/cp", "-r", std::string(QUOREL_BINARY_DIR) + "/examples/template", dir / "game"});
  ASSERT_EQ(copy.exit_code, 0) << copy.err;
  dir.write("game/fastdata/start.mjo", assembled.object);
  RunResult r = run_program({"quorel", "--headless", "--virtual-clock=16", "--max-frames=600", "--answer=cancel",
                             "--settings=" + (dir / "settings.ini"), dir / "game"},
                            {}, 120, {"XDG_RUNTIME_DIR=" + dir.path()});
  EXPECT_EQ(r.exit_code, 255) << "cancel in the error box ends the game";
  EXPECT_NE(r.err.find("do not define the hook console_pause (0x20CE505D"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\".hook console_pause\""), std::string::npos) << r.err;
}

}  // namespace
