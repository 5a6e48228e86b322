// The window's place and mode: read from the settings at start-up, written
// back at exit, and the guards around full screen. The headless host plays
// a window on a 1920 × 1080 screen.
#include <gtest/gtest.h>

#include "core/engine.h"
#include "graphics/state.h"
#include "graphics/window_mode.h"
#include "tests/support/script_game.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using testing_support::GameRun;
using testing_support::ScriptGame;
using testing_support::TempDir;

namespace {

struct Settings {
  std::optional<int> x, y, stat = std::nullopt;
};

plat::WindowConfig placement(const Settings& s, int* stat_after = nullptr, bool* full = nullptr) {
  TempDir dir;
  auto e = testing_support::make_engine(dir.path());
  e->settings = plat::SettingsStore(dir / "settings.ini");
  if (s.x) e->settings.set_int("WinPosX", *s.x);
  if (s.y) e->settings.set_int("WinPosY", *s.y);
  if (s.stat) e->settings.set_int("WinStat", *s.stat);
  plat::WindowConfig config;
  config.client_width = e->client_width;
  config.client_height = e->client_height;
  gfx::read_window_settings(*e, config);
  if (stat_after) *stat_after = e->settings.get_int("WinStat").value_or(-1);
  if (full) *full = e->gfx->window.start_full_screen;
  return config;
}

TEST(WindowPlacement, SavedPositionsAreKeptOnTheScreens) {
  int stat = -1;
  bool full = false;
  plat::WindowConfig c = placement({120, 80, 1}, &stat, &full);
  EXPECT_EQ(c.x, 120);
  EXPECT_EQ(c.y, 80);
  EXPECT_TRUE(full);
  EXPECT_EQ(stat, 0) << "rewritten at once: a crash in full screen starts windowed";
  EXPECT_FALSE(c.fullscreen) << "full screen comes after the initialisation run";

  // Never saved, or too far out: the system places it, and no full screen.
  c = placement({std::nullopt, std::nullopt, 1}, &stat, &full);
  EXPECT_FALSE(c.x.has_value());
  EXPECT_FALSE(full);
  EXPECT_FALSE(placement({-640 * 4 / 5 - 1, 10}).x.has_value());
  EXPECT_EQ(placement({-640 * 4 / 5, 10}).x, -512);
  EXPECT_EQ(placement({1920 - 640 / 5, 10}).x, 1792);
  EXPECT_FALSE(placement({1920 - 640 / 5 + 1, 10}).x.has_value());
  // Above the screen: to its top; too low: up to a third of the picture.
  EXPECT_EQ(placement({10, -300}).y, 0);
  EXPECT_EQ(placement({10, 5000}).y, 1080 - 480 / 3);
}

TEST(WindowMode, TogglesAreSpacedAndFocusLossLeavesFullScreenAfterTheGuard) {
  TempDir dir;
  auto e = testing_support::make_engine(dir.path());  // 10 ms a pass
  plat::WindowConfig config;
  e->host->open_window(config);
  auto pass = [&](int ms) {
    for (int i = 0; i < ms / 10; ++i) e->clock.end_pass();
  };
  plat::Event f4;
  f4.type = plat::Event::Type::KeyDown;
  f4.vk = 0x73;
  plat::Event alt_enter = f4;
  alt_enter.vk = 0x0D;
  alt_enter.alt = true;
  plat::Event enter = alt_enter;
  enter.alt = false;

  EXPECT_FALSE(gfx::window_mode_event(*e, f4)) << "F4 still reaches the game";
  EXPECT_TRUE(gfx::is_full_screen(*e));
  pass(1000);
  EXPECT_TRUE(gfx::window_mode_event(*e, alt_enter)) << "Alt+Enter is the window's";
  EXPECT_TRUE(gfx::is_full_screen(*e)) << "a second request within 1500 ms is dropped";
  pass(500);
  gfx::window_mode_event(*e, alt_enter);
  EXPECT_FALSE(gfx::is_full_screen(*e));
  pass(1500);
  gfx::window_mode_event(*e, enter);
  EXPECT_FALSE(gfx::is_full_screen(*e)) << "Enter alone is no toggle";

  plat::Event lost;
  lost.type = plat::Event::Type::FocusLost;
  gfx::set_full_screen(*e, true);
  pass(2990);
  gfx::window_mode_event(*e, lost);
  EXPECT_TRUE(gfx::is_full_screen(*e)) << "the first 3 seconds keep full screen";
  pass(10);
  gfx::window_mode_event(*e, lost);
  EXPECT_FALSE(gfx::is_full_screen(*e));
}

// The settings file the run leaves behind, as name -> value.
std::map<std::string, std::string> read_settings(const std::string& text) {
  std::map<std::string, std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (size_t eq = line.find('='); eq != std::string::npos && line[0] != '#')
      out[line.substr(0, eq)] = line.substr(eq + 1);
    pos = end + 1;
  }
  return out;
}

TEST(WindowMode, TheProgramWritesThePlaceBackAndStartsWhereItLeft) {
  ScriptGame game;
  game.script("start",
              ".function $init@GLOBAL\n    return\nmain:\n    syscall screen_mode, 0\n    syscall debugout, 1\n"
              "    syscall system_end, 0\n");
  game.file("settings.ini", "WinPosX=300\nWinPosY=200\nWinStat=0\nFullScBits=32\nFullScFreq=60\n");
  GameRun r = game.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, std::vector<std::string>{"0 "});
  auto s = read_settings(game.dir.read("settings.ini"));
  EXPECT_EQ(s["WinPosX"], "300");
  EXPECT_EQ(s["WinPosY"], "200");
  EXPECT_EQ(s["WinStat"], "0");
  EXPECT_EQ(s["FullScBits"], "32");
  EXPECT_EQ(s["FullScFreq"], "60");

  // Saved in full screen: it starts so, and the place stays as it was.
  game.file("settings.ini", "WinPosX=310\nWinPosY=210\nWinStat=1\n");
  r = game.run();
  ASSERT_FALSE(r.log.empty());
  EXPECT_EQ(r.log.back(), "1 ") << "the log grows from run to run";
  s = read_settings(game.dir.read("settings.ini"));
  EXPECT_EQ(s["WinStat"], "1");
  EXPECT_EQ(s["WinPosX"], "310");

  // screen_mode switches, and the window's place is written again.
  game.script("start",
              ".function $init@GLOBAL\n    return\nmain:\n    push_i 0\n    syscall screen_mode, 1\n"
              "    syscall debugout, 1\n    syscall system_end, 0\n");
  r = game.run({"--window"});
  ASSERT_FALSE(r.log.empty());
  EXPECT_EQ(r.log.back(), "0 ");
  s = read_settings(game.dir.read("settings.ini"));
  EXPECT_EQ(s["WinStat"], "0");
  EXPECT_EQ(s["WinPosX"], "310");
  EXPECT_EQ(s["WinPosY"], "210");

  // Never placed: a run without a screen invents no place for the player's
  // next window, which the system then puts where it fits.
  game.file("settings.ini", "WinStat=0\n");
  r = game.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  s = read_settings(game.dir.read("settings.ini"));
  EXPECT_EQ(s.count("WinPosX"), 0u) << s["WinPosX"];
  EXPECT_EQ(s.count("WinPosY"), 0u) << s["WinPosY"];
}

}  // namespace
