// The menu bar and the dialogs driven as a player would, headless: clicks
// of an input file open them, change them and close them; what the player
// sees (--screenshot-presented) shows them over the game, while the game's
// own picture (--screenshot) never does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include "tests/shell/shell_game.h"

using testing_support::GameRun;
using testing_support::kMenuBand;
using testing_support::RunResult;
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

class Dialogs : public ::testing::Test {
 protected:
  ScriptGame game{testing_support::kShellGameEnv};
  void SetUp() override {
    // A dark picture, so that the menus stand out.
    game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_i -1
    push_s "TalkMale"
    syscall reg_get_int, 2
    syscall get_effect_speed, 0
    push_s "settings:"
    syscall_discard debugout, 3
)" + testing_support::fill_front_buffer("0x202020") + testing_support::kWaitForever);
  }
  struct Shots {
    GameRun run;
    Bmp seen, game;
  };
  Shots run(const std::string& input, int frames) {
    Shots s;
    s.run = testing_support::play_input(game, input, frames,
                                        {"--screenshot=" + (game.dir / "game.bmp"),
                                         "--screenshot-presented=" + (game.dir / "seen.bmp")});
    s.seen.bytes = game.dir.read("seen.bmp");
    s.game.bytes = game.dir.read("game.bmp");
    return s;
  }
  std::string settings() { return game.dir.read("settings.ini"); }

  // A run in a window on SDL's dummy display, which is asked to keep every
  // picture it is sent (in `frames`, in order). No desktop can show a
  // message box there.
  RunResult window_run(const std::string& input, int frames, std::vector<std::string> extra = {}) {
    game.file("input.txt", input);
    std::filesystem::remove_all(game.dir / "frames");
    std::filesystem::create_directories(game.dir / "frames");
    std::vector<std::string> argv = {"quorel", "--virtual-clock=16", "--max-frames=" + std::to_string(frames),
                                     "--renderer=software", "--settings=" + (game.dir / "settings.ini"),
                                     "--input=" + (game.dir / "input.txt"),
                                     "--screenshot-presented=" + (game.dir / "seen.bmp")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(game.dir.path());
    return testing_support::run_program(argv, game.dir / "frames", 60,
                                        {"DISPLAY=", "WAYLAND_DISPLAY=", "SDL_VIDEO_DUMMY_SAVE_FRAMES=1"});
  }
  // The last picture the window showed.
  Bmp last_window_frame() {
    std::vector<std::string> names;
    for (const auto& f : std::filesystem::directory_iterator(game.dir / "frames")) names.push_back(f.path().string());
    std::sort(names.begin(), names.end());
    Bmp b;
    if (!names.empty()) b.bytes = game.dir.read("frames/" + std::filesystem::path(names.back()).filename().string());
    return b;
  }
};

// The rectangle of the window's picture that is not black letterbox.
struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
  int w() const { return x1 - x0 + 1; }
  int h() const { return y1 - y0 + 1; }
};
Box lit(const Bmp& b) {
  Box r;
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x)
      if (b.at(x, y) != 0) {
        r.x0 = std::min(r.x0, x), r.y0 = std::min(r.y0, y);
        r.x1 = std::max(r.x1, x), r.y1 = std::max(r.y1, y);
      }
  return r;
}

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
  ASSERT_EQ(s.seen.height(), 480 + kMenuBand) << "the window grows by the bar";
  ASSERT_EQ(s.game.height(), 480);
  EXPECT_TRUE(light_grey(s.seen.at(600, 5))) << std::hex << s.seen.at(600, 5);
  for (int y : {0, 240, 479})
    EXPECT_EQ(s.seen.at(320, y + kMenuBand), s.game.at(320, y)) << "the picture whole below the bar, row " << y;
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

// The players' changes made in the dialogs are what the game reads on its next start.
TEST_F(Dialogs, ChangesMadeInTheDialogsSurviveARestart) {
  Shots first = run("", 20);
  ASSERT_EQ(first.run.exit_code, 0) << first.run.err;
  EXPECT_EQ(first.run.log.front(), "settings: 1000 -1 ") << "nothing stored yet";
  run(pick(kSettingsMenu, 0) + "2000 mouse click left 172 193\n2300 mouse click left 343 305\n", 250);
  run(pick(kSettingsMenu, 1) + "2000 mouse click left 180 253\n2300 mouse click left 343 353\n", 250);
  Shots again = run("", 20);
  ASSERT_EQ(again.run.exit_code, 0) << again.run.err;
  EXPECT_EQ(again.run.log.front(), "settings: 0 0 ") << settings();
}

// F10 shows the bar in full screen; a key held down repeats its press, and
// the repeats do not take the bar away again.
TEST_F(Dialogs, F10HeldDownShowsTheBarOnce) {
  std::string held = "1000 key down f10\n";
  for (int i = 0; i < 5; ++i) held += "+40 key repeat f10\n";
  held += "+40 key up f10\n";
  auto top_row_is_bar = [&](const std::string& input) {
    game.file("input.txt", input);
    GameRun r = game.run({"--fullscreen", "--virtual-clock=16", "--max-frames=150", "--input=" + (game.dir / "input.txt"),
                          "--screenshot-presented=" + (game.dir / "seen.bmp")});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    Bmp seen;
    seen.bytes = game.dir.read("seen.bmp");
    EXPECT_EQ(seen.height(), 480) << "full screen has no band above the picture";
    return light_grey(seen.at(600, 5));
  };
  EXPECT_FALSE(top_row_is_bar(""));
  EXPECT_TRUE(top_row_is_bar(held));
  EXPECT_FALSE(top_row_is_bar(held + "2000 key press f10\n")) << "a second press hides it";
}

// Where the desktop cannot show a message box, it is drawn over the game
// and answered there; a fixed --answer answers it unseen.
TEST_F(Dialogs, AMessageBoxTheDesktopCannotShowIsDrawnOverTheGame) {
  RunResult shown = window_run("200 quit\n", 80, {"--window"});
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  Bmp seen;
  seen.bytes = game.dir.read("seen.bmp");
  EXPECT_TRUE(light_grey(seen.at(320, kMenuBand + 240))) << "the box, still up when the run ended";

  RunResult answered = window_run("200 quit\n600 key press return\n", 400, {"--window"});
  EXPECT_EQ(answered.exit_code, 0) << answered.err;
  EXPECT_NE(answered.err.find("終了してよろしいですか？ | yes/no -> yes"), std::string::npos) << answered.err;

  RunResult fixed = window_run("200 quit\n", 80, {"--window", "--answer=no"});
  EXPECT_NE(fixed.err.find("yes/no -> no"), std::string::npos) << fixed.err;
  seen.bytes = game.dir.read("seen.bmp");
  EXPECT_EQ(seen.at(320, kMenuBand + 240), 0x202020u) << "not drawn";
}

// A dialog stays in charge while the player sizes the window and while full
// screen ends under it; the window shows the game's picture whole, in
// proportion, below the bar.
TEST_F(Dialogs, SizingTheWindowAndLeavingFullScreenUnderADialog) {
  const std::string change_and_ok = "2300 mouse click left 172 193\n2600 mouse click left 343 305\n";
  RunResult sized = window_run(pick(kSettingsMenu, 0) + "2000 window 1000 700\n" + change_and_ok, 300, {"--window"});
  ASSERT_EQ(sized.exit_code, 0) << sized.err;
  EXPECT_NE(settings().find("EffectSpeed=0\n"), std::string::npos) << settings();
  Bmp shown = last_window_frame();
  ASSERT_EQ(shown.width(), 1000);
  ASSERT_EQ(shown.height(), 700);
  // 640 x 500 (picture and bar) at 1.4 times: 896 x 700, centred.
  Box box = lit(shown);
  EXPECT_EQ(box.x0, 52);
  EXPECT_EQ(box.w(), 896);
  EXPECT_EQ(box.h(), 700);
  EXPECT_TRUE(light_grey(shown.at(900, 10))) << "the bar";
  EXPECT_EQ(shown.at(500, 28), 0x202020u) << "the picture starts below it";
  EXPECT_EQ(shown.at(500, 699), 0x202020u);

  game.file("settings.ini", "");
  // Full screen: the bar shows at the top edge and its menu opens over the
  // picture; after the guard time, losing the focus returns to the window.
  const std::string open = "1000 mouse move 180 2\n1100 mouse click left 180 8\n1400 mouse move 200 30\n"
                           "1500 mouse click left 200 30\n";
  RunResult full = window_run(open + "4000 focus off\n4300 mouse click left 172 193\n4600 mouse click left 343 305\n",
                              400, {"--fullscreen"});
  ASSERT_EQ(full.exit_code, 0) << full.err;
  EXPECT_NE(settings().find("EffectSpeed=0\n"), std::string::npos) << settings();
  EXPECT_NE(settings().find("WinStat=0\n"), std::string::npos);
  Bmp windowed = last_window_frame();
  ASSERT_EQ(windowed.width(), 640);
  ASSERT_EQ(windowed.height(), 480 + kMenuBand);
  for (int y : {kMenuBand, kMenuBand + 240, kMenuBand + 479})
    for (int x : {0, 320, 639}) EXPECT_EQ(windowed.at(x, y), 0x202020u) << x << "," << y;
  EXPECT_TRUE(light_grey(windowed.at(600, 5)));
}

// The screen options list the display's modes of the game's size (a
// common monitor's, headless); the choice of mode and of the window's scale
// is kept, the scale taking effect at the next start too.
TEST_F(Dialogs, ScreenOptionsListTheDisplaysModesAndKeepTheChoices) {
  Shots s = run(pick(kScreenMenu, 2) +
                    "2000 mouse click left 320 184\n2300 mouse click left 320 227\n"  // the modes: 75 Hz
                    "2600 mouse click left 320 230\n2900 mouse click left 320 274\n"  // the scale: 2
                    "3200 mouse click left 343 320\n",                                 // OK
                250);
  ASSERT_EQ(s.run.exit_code, 0) << s.run.err;
  const std::string ini = settings();
  EXPECT_NE(ini.find("FullScBits=32\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("FullScFreq=75\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[quorel]\nFilter=nearest\nRenderer=auto\nScale=2\n"), std::string::npos) << ini;
  GameRun next = game.run({"--trace=graphics", "--max-frames=5"});
  EXPECT_NE(next.err.find("at scale 2, nearest filter"), std::string::npos) << next.err;
}

}  // namespace
