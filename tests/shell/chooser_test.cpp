// The file chooser of "load by name" as a player sees it: a game saves with
// a thumbnail of a solid colour and opens the chooser; clicking the save
// shows its thumbnail, title and date beside the list, while a file named
// like a save that is none shows nothing, is left as it was, and the game
// goes on when it is chosen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "graphics/png_codec.h"
#include "tests/shell/shell_game.h"

using testing_support::fill_front_buffer;
using testing_support::GameRun;
using testing_support::kMenuBand;
using testing_support::ScriptGame;

namespace {

// Red, green, blue of the picture the game saves (0x00BBGGRR 0x30A0F0).
constexpr uint8_t kRed = 0xF0, kGreen = 0xA0, kBlue = 0x30;

// The picture's thumbnail is captured and saved in slot 1; the screen then
// turns dark, so that the colour can only come back through the chooser.
const std::string kGame = R"(
.function $init@GLOBAL
    return
main:
    syscall_discard save_enable, 0
)" + fill_front_buffer("0x30A0F0") + R"(
    push_i 60
    push_i 80
    syscall_discard capture_thumbnail, 2
    push_s "第一章"
    syscall_discard save_point, 1
    push_i 1
    syscall_discard save_write, 1
)" + fill_front_buffer("0x202020") + R"(
    syscall load_dialog, 0
    push_s "load by name:"
    syscall_discard debugout, 2
)" + testing_support::kWaitForever;

bool logged(const GameRun& r, const std::string& line) {
  return std::find(r.log.begin(), r.log.end(), line) != r.log.end();
}

struct Picture {
  gfx::PngImage png;
  bool saved_colour(int x, int y) const {
    const uint8_t* p = png.bgr.data() + (static_cast<size_t>(y) * png.width + x) * 3;
    return p[0] == kBlue && p[1] == kGreen && p[2] == kRed;
  }
  bool dark(int x, int y) const {
    const uint8_t* p = png.bgr.data() + (static_cast<size_t>(y) * png.width + x) * 3;
    return p[0] < 110 && p[1] < 110 && p[2] < 110;
  }
};

// Inside the chooser's pane right of the list (view pixels).
constexpr int kPaneLeft = 388, kPaneRight = 548, kPaneTop = 126, kPaneBottom = 345;

class Chooser : public ::testing::Test {
 protected:
  ScriptGame game{testing_support::kShellGameEnv};
  const std::string garbage = std::string("QuorelSav") + std::string(3000, '\x7F');
  void SetUp() override {
    game.script("start", kGame);
    game.file("savedata/broken.sav", garbage);
  }
  // Clicks list entry `row` (0: broken.sav, 1: the save), then `then`.
  GameRun run(int row, const std::string& then, int frames, Picture& seen) {
    const int y = 136 + 19 * row - kMenuBand;
    GameRun r = testing_support::play_input(game, "500 mouse click left 200 " + std::to_string(y) + "\n" + then,
                                            frames, {"--screenshot-presented=" + (game.dir / "seen.png")});
    const std::string bytes = game.dir.read("seen.png");
    std::string error;
    EXPECT_EQ(gfx::decode_png(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), seen.png, &error),
              gfx::PngResult::Ok)
        << error;
    return r;
  }
};

TEST_F(Chooser, ASaveShowsItsThumbnailTitleAndDate) {
  Picture seen;
  GameRun r = run(1, "", 80, seen);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(seen.png.width, 640);
  ASSERT_EQ(seen.png.height, 480 + kMenuBand);
  // The thumbnail: a block of the saved colour in the pane, nowhere else.
  int left = 640, right = -1, top = 500, bottom = -1, outside = 0;
  for (int y = 0; y < seen.png.height; ++y)
    for (int x = 0; x < seen.png.width; ++x) {
      if (!seen.saved_colour(x, y)) continue;
      if (x < kPaneLeft || x >= kPaneRight || y < kPaneTop || y >= kPaneBottom) {
        ++outside;
        continue;
      }
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  EXPECT_EQ(outside, 0);
  ASSERT_GE(right - left, 100) << "as wide as the pane allows";
  EXPECT_NEAR(static_cast<double>(right - left + 1) / (bottom - top + 1), 80.0 / 60.0, 0.05) << "and of its shape";
  // The title and date below it: dark text on the pane's light ground.
  int text = 0;
  for (int y = bottom + 3; y < bottom + 40; ++y)
    for (int x = left; x <= right; ++x) text += seen.dark(x, y);
  EXPECT_GT(text, 40);
}

TEST_F(Chooser, AFileNamedLikeASaveShowsNothingAndTheGameGoesOn) {
  Picture seen;
  GameRun shown = run(0, "", 80, seen);
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  int colour = 0, text = 0;
  for (int y = kPaneTop; y < kPaneBottom; ++y)
    for (int x = kPaneLeft; x < kPaneRight; ++x) colour += seen.saved_colour(x, y), text += seen.dark(x, y);
  EXPECT_EQ(colour, 0);
  EXPECT_EQ(text, 0) << "no title, no date";

  // Chosen all the same (OK): the load is refused and the game goes on.
  GameRun chosen = run(0, "900 key press return\n", 200, seen);
  ASSERT_EQ(chosen.exit_code, 0) << chosen.err;
  EXPECT_TRUE(logged(chosen, "load by name: -1 ")) << testing::PrintToString(chosen.log);
  ASSERT_EQ(chosen.boxes.size(), 1u) << chosen.err;
  EXPECT_NE(chosen.boxes[0].find("[broken.sav]"), std::string::npos) << "refused by name: " << chosen.boxes[0];
  EXPECT_EQ(game.dir.read("savedata/broken.sav"), garbage) << "left as it was";
}

}  // namespace
