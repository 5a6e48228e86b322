// The real program started on game folders whose environment file or save
// folder is odd. Without a start script every run ends at the loader's
// report, whose box carries the window title as its caption: the title
// shows what was read from the environment file. Also: the game area's size
// from the environment file, within its limits.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "graphics/png_codec.h"
#include "platform/files.h"
#include "tests/support/process.h"
#include "tests/support/script_game.h"
#include "tests/support/temp_dir.h"

using testing_support::run_program;
using testing_support::RunResult;
using testing_support::TempDir;

namespace {

const std::string kDefaultTitle = "ＱＵＯＲＥＬ　スクリプトエンジン";
const std::string kLoaderBox = " | QuorelObj : ";

RunResult start(const TempDir& game) {
  return run_program({"quorel", "--headless", "--settings=" + (game / "settings.ini"), game.path()});
}

// The caption of the loader's box, or what went wrong instead.
std::string title_shown(const RunResult& r) {
  size_t box = r.err.find(kLoaderBox);
  if (box == std::string::npos) return "<no loader box> " + r.err;
  size_t start = r.err.rfind("message box: ", box);
  return start == std::string::npos ? "<?>" : r.err.substr(start + 13, box - start - 13);
}

TEST(StartupFiles, EmptyBinaryAndHugeEnvironmentFiles) {
  {
    TempDir game;
    game.write("fastdata/quorel.env", "");
    auto r = start(game);
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(title_shown(r), kDefaultTitle) << "an empty file exists and gives the defaults";
  }
  {
    TempDir game;
    std::mt19937 random(7);
    std::string binary(16 * 1024, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    game.write("fastdata/quorel.env", binary + "\nTITLEBAR After|Noise\n");
    auto r = start(game);
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_FALSE(r.timed_out);
    EXPECT_NE(title_shown(r).find("After Noise"), std::string::npos) << title_shown(r);
  }
  {
    // 10 MB: the first 400 lines count, the rest is never read.
    TempDir game;
    std::string text = "TITLEBAR Big|Env\n";
    text += std::string(10 * 1024 * 1024, 'x');
    text += "\nTITLEBAR Too|Late\n";
    game.write("fastdata/quorel.env", text);
    auto r = start(game);
    EXPECT_EQ(r.exit_code, 255);
    EXPECT_EQ(title_shown(r), "Big Env");
  }
  {
    // A title past the 400th line is not read.
    TempDir game;
    std::string text;
    for (int i = 0; i < 400; ++i) text += "FILL " + std::to_string(i) + "\n";
    game.write("fastdata/quorel.env", text + "TITLEBAR Line|401\n");
    EXPECT_EQ(title_shown(start(game)), kDefaultTitle);
  }
}

// The game area is 1 to 8192 pixels each way; a size outside that is
// replaced by the default of that side.
TEST(StartupFiles, TheGameAreaTakesItsSizeWithinLimits) {
  struct Case {
    const char* env;
    int width, height;
  };
  for (const Case& c : {Case{"CLIENT_WIDTH 1\nCLIENT_HEIGHT 8192\n", 1, 8192},
                        Case{"CLIENT_WIDTH 8193\nCLIENT_HEIGHT 0\n", 640, 480},
                        Case{"CLIENT_WIDTH 0\nCLIENT_HEIGHT 8193\n", 640, 480},
                        Case{"CLIENT_WIDTH -5\nCLIENT_HEIGHT -5\n", 640, 480}}) {
    SCOPED_TRACE(c.env);
    testing_support::ScriptGame game(c.env);
    game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    syscall_discard system_end, 0\n");
    auto r = game.run({"--screenshot=" + (game.dir / "shot.png")});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    auto png = plat::read_whole_file(game.dir / "shot.png");
    ASSERT_TRUE(png);
    gfx::PngImage image;
    ASSERT_EQ(gfx::decode_png(*png, image, nullptr), gfx::PngResult::Ok);
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
  }
}

TEST(StartupFiles, EnvironmentFileInAnArchiveMadeByTheTool) {
  TempDir game;
  game.write("pack/quorel.env", "TITLEBAR From|Archive\n");
  game.write("pack/other.png", "\nTITLEBAR From|The|Next|Member\n");
  auto packed = run_program({"quorel-arc", "create", game / "data.arc", game / "pack"});
  ASSERT_EQ(packed.exit_code, 0) << packed.err;
  std::filesystem::remove_all(game / "pack");
  auto r = start(game);
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(title_shown(r), "From Archive");
}

TEST(StartupFiles, UnusableSavedataDoesNotStopTheStart) {
  // Running as root makes read-only folders writable, so "savedata" and the
  // fast-read folder are made unusable by files standing where folders
  // would have to be.
  TempDir game;
  game.write("fastdata/quorel.env", "TITLEBAR Saves\n");
  game.write("savedata", "not a folder");
  game.write("fastread.inf", (game / "savedata/cache") + "\n");
  auto r = start(game);
  EXPECT_EQ(r.exit_code, 255);
  EXPECT_EQ(title_shown(r), "Saves");
  EXPECT_EQ(game.read("savedata"), "not a folder") << "nothing on disk is lost";

  TempDir missing;
  missing.write("fastdata/quorel.env", "TITLEBAR No|Saves|Yet\n");
  auto m = start(missing);
  EXPECT_EQ(m.exit_code, 255);
  EXPECT_EQ(title_shown(m), "No Saves Yet");
}

}  // namespace
