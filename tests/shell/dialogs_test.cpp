// The menu bar and the dialogs driven as a player would, headless: clicks
// of an input file open them, change them and close them; what the player
// sees (--screenshot-presented) shows them over the game, while the game's
// own picture (--screenshot) never does.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

// A 24-bit bottom-up BMP.
struct Bmp {
  std::string bytes;
  int width() const { return bytes.size() > 26 ? static_cast<int>(u32(18)) : 0; }
  int height() const { return bytes.size() > 26 ? static_cast<int>(u32(22)) : 0; }
  uint32_t u32(size_t at) const {
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
           static_cast<uint8_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
  }
  // Red, green, blue.
  uint32_t at(int x, int y) const {
    const size_t stride = (static_cast<size_t>(width()) * 3 + 3) & ~size_t{3};
    const size_t p = 54 + static_cast<size_t>(height() - 1 - y) * stride + static_cast<size_t>(x) * 3;
    if (p + 3 > bytes.size()) return 0xFFFFFFFF;
    auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])); };
    return b(p + 2) << 16 | b(p + 1) << 8 | b(p);
  }
};

bool light_grey(uint32_t rgb) {
  const int r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
  return r > 200 && g > 200 && b > 200 && r == g && g == b;
}

constexpr int kBand = 20;  // the menu bar's rows above the picture

class Dialogs : public ::testing::Test {
 protected:
  ScriptGame game{"CLIENT_WIDTH 640\nCLIENT_HEIGHT 480\n"};
  void SetUp() override {
    // A dark picture, so that the menus stand out.
    game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_i 0x202020
    push_i 480
    push_i 640
    push_i 0
    push_i 0
    syscall get_frontbuffer, 0
    syscall_discard grp_boxfill, 6
wait_on:
    push_i 1000
    syscall_discard wait, 1
    jmp wait_on
)");
  }
  struct Shots {
    GameRun run;
    Bmp seen, game;
  };
  Shots run(const std::string& input, int frames) {
    game.file("input.txt", input);
    Shots s;
    s.run = game.run({"--virtual-clock=16", "--max-frames=" + std::to_string(frames),
                      "--input=" + (game.dir / "input.txt"), "--screenshot=" + (game.dir / "game.bmp"),
                      "--screenshot-presented=" + (game.dir / "seen.bmp")});
    s.seen.bytes = game.dir.read("seen.bmp");
    s.game.bytes = game.dir.read("game.bmp");
    return s;
  }
  std::string settings() { return game.dir.read("settings.ini"); }
};

// Opens a menu of the bar and picks its item `row` (0 the first).
std::string pick(int menu_x, int row) {
  const int y = 8 + 19 * row;
  return "1000 mouse click left " + std::to_string(menu_x) + " -10\n1300 mouse move " + std::to_string(menu_x + 20) +
         " " + std::to_string(y) + "\n1500 mouse click left " + std::to_string(menu_x + 20) + " " +
         std::to_string(y) + "\n";
}
constexpr int kScreenMenu = 120, kSettingsMenu = 180, kHelpMenu = 265;

TEST_F(Dialogs, MenuBarSitsAboveThePictureNeverInIt) {
  Shots s = run("", 60);
  ASSERT_EQ(s.run.exit_code, 0) << s.run.err;
  ASSERT_EQ(s.seen.width(), 640);
  ASSERT_EQ(s.seen.height(), 480 + kBand) << "the window grows by the bar";
  ASSERT_EQ(s.game.height(), 480);
  EXPECT_TRUE(light_grey(s.seen.at(600, 5))) << std::hex << s.seen.at(600, 5);
  for (int y : {0, 240, 479})
    EXPECT_EQ(s.seen.at(320, y + kBand), s.game.at(320, y)) << "the picture whole below the bar, row " << y;
  // A click on the bar is not a click in the game, nor is one on the open menu.
  EXPECT_EQ(s.game.at(10, 10), 0x202020u);
}

TEST_F(Dialogs, SpeedDialogChangesAValueOnOkAndNothingOnCancel) {
  const std::string open = pick(kSettingsMenu, 0);
  Shots shown = run(open + "2000 mouse click left 172 193\n", 140);
  ASSERT_EQ(shown.run.exit_code, 0) << shown.run.err;
  EXPECT_TRUE(light_grey(shown.seen.at(320, 250))) << "the dialog, over a paused game";
  EXPECT_EQ(shown.game.at(320, 230), 0x202020u) << "never in the game's picture";
  EXPECT_EQ(settings().find("EffectSpeed=0"), std::string::npos) << "nothing stored while open";

  run(open + "2000 mouse click left 172 193\n2300 mouse click left 430 305\n", 250);  // Cancel
  EXPECT_EQ(settings().find("EffectSpeed=0"), std::string::npos);
  run(open + "2000 mouse click left 172 193\n2300 mouse click left 343 305\n", 250);  // OK
  EXPECT_NE(settings().find("EffectSpeed=0\n"), std::string::npos) << settings();
  EXPECT_NE(settings().find("MojiSpeed=1000\n"), std::string::npos) << "the others as they were";
}

TEST_F(Dialogs, SoundScreenAndAboutDialogsOpenOverThePicture) {
  // Sound: the second item of the settings menu; its first check box turns male voices off.
  Shots sound = run(pick(kSettingsMenu, 1) + "2000 mouse click left 180 253\n2300 mouse click left 343 353\n", 250);
  ASSERT_EQ(sound.run.exit_code, 0) << sound.run.err;
  EXPECT_NE(settings().find("TalkMale=0\n"), std::string::npos) << settings();
  EXPECT_NE(settings().find("MusicVolume=650\n"), std::string::npos);

  Shots screen = run(pick(kScreenMenu, 2) + "+300 mouse move 0 0\n", 140);
  EXPECT_TRUE(light_grey(screen.seen.at(320, 250))) << std::hex << screen.seen.at(320, 250);

  Shots about = run(pick(kHelpMenu, 1), 140);
  EXPECT_TRUE(light_grey(about.seen.at(200, 330)));
  bool text = false;  // dark glyphs of the version line
  for (int x = 200; x < 440; ++x) text |= (about.seen.at(x, 170) & 0xFF) < 100;
  EXPECT_TRUE(text);
  EXPECT_EQ(about.game.at(320, 150), 0x202020u);
}

TEST_F(Dialogs, QuitWhileADialogIsOpenClosesItAndAsks) {
  Shots s = run(pick(kSettingsMenu, 0) + "2000 quit\n", 400);
  ASSERT_EQ(s.run.exit_code, 0) << s.run.err;
  ASSERT_EQ(s.run.boxes.size(), 1u) << s.run.err;
  EXPECT_NE(s.run.boxes[0].find("yes/no -> no"), std::string::npos);
  EXPECT_FALSE(light_grey(s.seen.at(320, 250))) << "the dialog went away";
}

}  // namespace
