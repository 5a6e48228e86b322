// The player shell on an engine of its own: function keys and skip keys
// change the play modes, requests are gated, the menu bar follows the
// environment keys, and the confirmations write what they must.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/engine.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/script_machine.h"
#include "shell/input.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

using plat::Event;

constexpr int kF1 = 0x70;

class Shell : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  std::unique_ptr<rt::Engine> engine = make(plat::Answer::Retry);
  rt::Engine& e = *engine;

  std::unique_ptr<rt::Engine> make(std::optional<plat::Answer> answer) {
    auto en = testing_support::make_engine(dir.path(), answer);
    en->settings = plat::SettingsStore(dir / "settings.ini");
    return en;
  }
  void env(const std::string& text) { e.env.parse(text); }
  void send(Event::Type type, int vk, bool alt = false, bool repeat = false) {
    Event ev;
    ev.type = type;
    ev.vk = vk;
    ev.alt = alt;
    ev.repeat = repeat;
    if (!rt::window_event(e, ev)) shell::handle_event(e, ev);
  }
  void key(int vk, bool alt = false) { send(Event::Type::KeyDown, vk, alt), send(Event::Type::KeyUp, vk, alt); }
  int mode() const {
    const rt::PlayModes& p = e.vm->play;
    return (p.skip_all ? 1 : 0) | (p.read_skip ? 2 : 0) | (p.auto_mode ? 4 : 0);
  }
  shell::Shell& s() { return shell::shell_of(e); }
  // Ids of every item of the menu bar, submenus included.
  std::vector<int> ids() {
    std::vector<int> out;
    std::function<void(const shell::Menu&)> walk = [&](const shell::Menu& m) {
      for (const auto& i : m.items)
        if (i.id) out.push_back(i.id);
      for (const auto& sub : m.submenus) walk(sub);
    };
    for (const auto& m : shell::menu_bar(e)) walk(m);
    return out;
  }
  const shell::MenuItem* find(int id) {
    static shell::MenuItem found;
    for (const auto& m : shell::menu_bar(e))
      for (const auto& i : m.items)
        if (i.id == id) return &(found = i);
    return nullptr;
  }
};

bool has(const std::vector<int>& v, int id) { return std::find(v.begin(), v.end(), id) != v.end(); }

TEST_F(Shell, FunctionKeysAndSkipKeysChangeThePlayModes) {
  key(kF1 + 5);
  EXPECT_EQ(mode(), 4) << "F6: auto";
  // Shift held: read skip; released: back to auto, which was on.
  send(Event::Type::KeyDown, 0x10);
  EXPECT_EQ(mode(), 2);
  send(Event::Type::KeyDown, 0x10, false, true);  // a repeat changes nothing
  send(Event::Type::KeyUp, 0x10);
  EXPECT_EQ(mode(), 4);
  key(kF1 + 6);
  EXPECT_EQ(mode(), 2) << "F7: read skip";
  key(kF1 + 7);
  EXPECT_EQ(mode(), 1) << "F8: forced skip";
  // Ctrl without auto before it: off again when released.
  send(Event::Type::KeyDown, 0x11);
  send(Event::Type::KeyUp, 0x11);
  EXPECT_EQ(mode(), 0);

  // Ctrl as read skip only: the key's own setting and the player's.
  env("CTRLKEYDEF 1\n");
  shell::put(e, shell::setting::kFastModeReadOnly, 1);
  send(Event::Type::KeyDown, 0x11);
  EXPECT_EQ(mode(), 2);
  send(Event::Type::KeyUp, 0x11);
  EXPECT_EQ(mode(), 0);

  // The menu's items do the same, and tick what is on.
  shell::run_command(e, shell::kCmdAutoPlay);
  EXPECT_EQ(mode(), 4);
  EXPECT_TRUE(find(shell::kCmdAutoPlay)->checked);
  EXPECT_FALSE(find(shell::kCmdReadSkip)->checked);
  shell::run_command(e, shell::kCmdForceSkip);
  EXPECT_EQ(mode(), 1);
  EXPECT_TRUE(find(shell::kCmdForceSkip)->checked);
}

TEST_F(Shell, FunctionKeysOffAndTheMahjongMenu) {
  env("FNDISABLE 1\n");
  key(kF1 + 5), key(kF1 + 6), key(kF1 + 7);
  EXPECT_EQ(mode(), 0);
  auto off = ids();
  for (int id : {shell::kCmdAutoPlay, shell::kCmdReadSkip, shell::kCmdForceSkip, shell::kCmdConfig})
    EXPECT_FALSE(has(off, id)) << id;

  e.env.clear();
  env("NEKOMENU 1\nNOCONFIG 1\n");
  e.vm->script_clock = 5000;
  key(kF1 + 7);
  EXPECT_EQ(mode(), 0) << "F8 is the backlog key";
  shell::take_snapshot(e);
  EXPECT_NE(shell::pressed(e, 0x21), 0u) << "as a Page Up press";
  auto neko = ids();
  EXPECT_TRUE(has(neko, shell::kCmdBacklog));
  EXPECT_FALSE(has(neko, shell::kCmdForceSkip));
  EXPECT_FALSE(has(neko, shell::kCmdConfig)) << "the mahjong menu wins over NOCONFIG";
  EXPECT_TRUE(has(neko, shell::kCmdNanido + 4));
  shell::run_command(e, shell::kCmdNanido + 3);
  shell::run_command(e, shell::kCmdGameSpeed + 0);
  EXPECT_EQ(shell::get(e, shell::setting::kNanido), 3);
  EXPECT_EQ(shell::get(e, shell::setting::kGameSpeed), 0);
  // Alt+F3 is off with this menu.
  key(kF1 + 2, true);
  EXPECT_EQ(s().request, shell::kReqNone);
}

TEST_F(Shell, MenuVariantsFollowTheEnvironment) {
  auto plain = ids();
  EXPECT_TRUE(has(plain, shell::kCmdSaveAs));
  EXPECT_FALSE(has(plain, shell::kCmdFont)) << "FONTSEL is 0 by default";
  EXPECT_FALSE(has(plain, shell::kCmdConfig));
  EXPECT_FALSE(has(plain, shell::kCmdHelp)) << "no help file";
  EXPECT_TRUE(find(shell::kCmdSave)->greyed) << "no snapshot yet";
  EXPECT_FALSE(find(shell::kCmdLoad)->greyed);
  EXPECT_TRUE(find(shell::kCmdWindowed)->checked);

  env("NOSAVEAS 1\nFONTSEL 1\nNOCONFIG 1\nHELP_FILE Help.html\nLOADSAVEDISABLE 1\nCAPTUREDISABLE 1\n");
  auto changed = ids();
  EXPECT_FALSE(has(changed, shell::kCmdSaveAs));
  EXPECT_FALSE(has(changed, shell::kCmdLoadByName));
  EXPECT_TRUE(has(changed, shell::kCmdFont));
  EXPECT_TRUE(has(changed, shell::kCmdConfig));
  EXPECT_TRUE(has(changed, shell::kCmdHelp));
  EXPECT_TRUE(find(shell::kCmdLoad)->greyed);
  EXPECT_TRUE(find(shell::kCmdCapture)->greyed);
  const auto* quit = find(shell::kCmdQuit);
  ASSERT_TRUE(quit);
  EXPECT_EQ(quit->label, "終了(X)") << "the accelerator's & is not shown";
}

TEST_F(Shell, RequestsAreGated) {
  s().snapshot_exists = [](rt::Engine&) { return true; };
  key(kF1 + 1);  // F2
  EXPECT_EQ(s().request, shell::kReqSave);
  EXPECT_EQ(shell::serve_requests(e), 0);
  EXPECT_EQ(s().request, shell::kReqNone);
  EXPECT_EQ(s().last_served, shell::kReqSave);
  // The script's save menu is still up: F2 again is not a second request.
  key(kF1 + 1);
  EXPECT_EQ(s().request, shell::kReqNone);
  key(kF1 + 2);  // F3 is another code
  EXPECT_EQ(s().request, shell::kReqLoad);

  // In the script's menu mode requests wait; leaving it forgets the last one.
  s().menu_mode = true;
  shell::serve_requests(e);
  EXPECT_EQ(s().request, shell::kReqLoad);
  s().menu_mode = false;
  shell::serve_requests(e);
  s().last_served = shell::kReqNone;  // as menu_mode_end does
  key(kF1 + 2);
  EXPECT_EQ(s().request, shell::kReqLoad);
  shell::serve_requests(e);

  // While the mouse is disabled nothing is asked for, not even F12.
  shell::block_input(e, true);
  key(kF1 + 11);
  shell::run_command(e, shell::kCmdSaveAs);
  EXPECT_EQ(s().request, shell::kReqNone);
  shell::block_input(e, false);
  key(kF1 + 11);
  EXPECT_EQ(s().request, shell::kReqF12);

  // Without a snapshot there is nothing to save.
  s().request = shell::kReqNone;
  s().last_served = shell::kReqNone;
  s().snapshot_exists = nullptr;
  key(kF1 + 1);
  key(kF1 + 1, true);
  EXPECT_EQ(s().request, shell::kReqNone);
}

TEST_F(Shell, ConfirmationsAnsweredBothWays) {
  {
    auto no = make(plat::Answer::No);
    EXPECT_FALSE(shell::quit_with_confirmation(*no));
    EXPECT_FALSE(no->vm->quit_requested);
    EXPECT_EQ(no->settings.get_int("AbnormalTerminateFlg"), 1) << "still running after No";
    EXPECT_EQ(no->settings.get_int("WinStat"), 0);
    EXPECT_FALSE(shell::return_to_title_with_confirmation(*no));
    EXPECT_FALSE(no->vm->return_to_title);
  }
  auto yes = make(plat::Answer::Yes);
  yes->settings.set_int("NANIDO", 9);
  EXPECT_TRUE(shell::quit_with_confirmation(*yes));
  EXPECT_TRUE(yes->vm->quit_requested);
  plat::SettingsStore written(dir / "settings.ini");
  written.load();
  EXPECT_EQ(written.get_int("AbnormalTerminateFlg"), 0);
  EXPECT_EQ(written.get_int("NANIDO"), 4) << "clamped when read, written as read";
  EXPECT_TRUE(shell::return_to_title_with_confirmation(*yes));
  EXPECT_TRUE(yes->vm->return_to_title);
}

TEST_F(Shell, SettingsReadWithDefaultsAndClamps) {
  using namespace shell::setting;
  EXPECT_EQ(shell::get(e, kMusicVolume), 650);
  EXPECT_EQ(shell::get(e, kGameSpeed), 1);
  env("MUSICVOL 300\nMOJISPEED 20\n");
  EXPECT_EQ(shell::get(e, kMusicVolume), 300);
  EXPECT_EQ(shell::get(e, kMojiSpeed), 20);
  e.settings.set_int("nanido", 9);  // names match without case
  e.settings.set_int("GAMESPEED", -2);
  EXPECT_EQ(shell::get(e, kNanido), 4);
  EXPECT_EQ(shell::get(e, kGameSpeed), 0);
  e.settings.set_string("MusicVolume", "loud");
  EXPECT_EQ(shell::get(e, kMusicVolume), 0) << "decimal conversion of a word";
}

TEST_F(Shell, DropsKeepTheFirstPathOnlyWhileEnabled) {
  auto drop = [&](const std::string& path) {
    Event ev;
    ev.type = Event::Type::DropFile;
    ev.text = path;
    rt::window_event(e, ev);
  };
  drop("/tmp/a.txt");
  EXPECT_EQ(s().dropped, "") << "not enabled";
  s().drop_enabled = true;
  for (int i = 0; i < 1000; ++i) drop("/tmp/file" + std::to_string(i));
  EXPECT_EQ(s().dropped, "/tmp/file0");
  s().dropped.clear();
  drop(std::string(400, 'x'));
  EXPECT_EQ(s().dropped.size(), 259u);
}

}  // namespace
