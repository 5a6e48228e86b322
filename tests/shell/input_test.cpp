// The input layer on an engine of its own: window events go in, the script
// clock is set by hand, and the snapshot and presses are read back.
#include <gtest/gtest.h>

#include "core/engine.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "shell/input.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

using plat::Event;
using shell::held;
using shell::pressed;

class Input : public ::testing::Test {
 protected:
  testing_support::TempDir dir;
  std::unique_ptr<rt::Engine> engine = testing_support::make_engine(dir.path());
  rt::Engine& e = *engine;

  void at(uint32_t t) { e.vm->script_clock = t; }
  void send(Event::Type type, int vk = 0) {
    Event ev;
    ev.type = type;
    ev.vk = vk;
    shell::handle_event(e, ev);
  }
  void key(int vk) { send(Event::Type::KeyDown, vk), send(Event::Type::KeyUp, vk); }
  void mouse(Event::Type type, int button, int x, int y, int clicks = 1) {
    Event ev;
    ev.type = type;
    ev.button = button;
    ev.x = x, ev.y = y;
    ev.clicks = clicks;
    shell::handle_event(e, ev);
  }
  void click(int button, int x = 10, int y = 10) {
    mouse(Event::Type::MouseDown, button, x, y), mouse(Event::Type::MouseUp, button, x, y);
  }
  // The inputs a key press latched, after a snapshot.
  std::vector<int> presses_of(int vk) {
    at(e.vm->script_clock + 1000);
    send(Event::Type::KeyDown, vk);
    shell::take_snapshot(e);
    std::vector<int> out;
    for (int i = 0; i < shell::kInputs; ++i)
      if (pressed(e, i)) out.push_back(i);
    send(Event::Type::KeyUp, vk);
    return out;
  }
};

TEST_F(Input, KeyMapGroups) {
  using V = std::vector<int>;
  EXPECT_EQ(presses_of('A'), V{'A'});
  EXPECT_EQ(presses_of(0x21), V{0x21});                 // Page Up doubles as wheel up
  EXPECT_EQ(presses_of('X'), (V{'X', 130}));
  EXPECT_EQ(presses_of(0x0D), (V{0x0D, 130}));
  EXPECT_EQ(presses_of(0x20), (V{0x20, 130}));
  EXPECT_EQ(presses_of(0x1B), (V{0x1B, 131}));
  EXPECT_EQ(presses_of(0x60), (V{0x60, 131}));          // numeric 0
  EXPECT_EQ(presses_of(0x11), (V{0x11, 136}));
  EXPECT_EQ(presses_of(0x68), (V{0x68, 132}));          // numeric 8: up
  EXPECT_EQ(presses_of(0x28), (V{0x28, 133}));
  EXPECT_EQ(presses_of(0x25), (V{0x25, 135}));          // Left: the Tab group
  EXPECT_EQ(presses_of(0x64), (V{0x64, 134}));          // numeric 4: the Shift+Tab group
  EXPECT_EQ(presses_of(0x09), (V{0x09, 128, 135}));
  EXPECT_EQ(presses_of('9'), V{});                      // digits 0-8 only
  EXPECT_EQ(presses_of(0x70), V{});                     // F1: no entry
  EXPECT_EQ(presses_of(148), V{});
  EXPECT_EQ(presses_of(-3), V{});
  EXPECT_EQ(presses_of(100000), V{});
  // Shift+Tab presses the other group.
  send(Event::Type::KeyDown, 0x10);
  EXPECT_EQ(presses_of(0x09), (V{0x09, 129, 134}));
  send(Event::Type::KeyUp, 0x10);
  shell::take_snapshot(e);
  EXPECT_FALSE(held(e, 0x10));

  // ERASEONSPACE: the reset reads it, and Space erases instead of deciding.
  e.env.parse("ERASEONSPACE 1\n");
  for (auto hook : e.vm->hooks.on_reset) hook(e);
  EXPECT_EQ(presses_of(0x20), (V{0x20, 147}));
  EXPECT_EQ(shell::mapped_inputs(shell::default_key_map()[0x20], 0x20), (V{0x20, 130}));
}

TEST_F(Input, PressesLatchForSixtyMillisecondsAndAreTakenOnce) {
  at(1000);
  key(0x0D);
  shell::take_snapshot(e);
  at(1059);
  EXPECT_EQ(pressed(e, 130), 1000u);
  EXPECT_EQ(pressed(e, 130), 0u);  // consumed
  EXPECT_EQ(pressed(e, 0x0D), 1000u);
  // Too old by the time it is asked for.
  key(0x0D);
  shell::take_snapshot(e);
  at(1119);
  EXPECT_EQ(pressed(e, 130), 0u);
  // The snapshot is what counts: a press after it is seen at the next one,
  // and asking before that does not lose it.
  at(2000);
  shell::take_snapshot(e);
  key(0x1B);
  EXPECT_EQ(pressed(e, 131), 0u);
  shell::take_snapshot(e);
  EXPECT_EQ(pressed(e, 131), 2000u);
  // Held is the snapshot's down flag.
  send(Event::Type::KeyDown, 0x26);
  EXPECT_FALSE(held(e, 132));
  shell::take_snapshot(e);
  EXPECT_TRUE(held(e, 132));
  EXPECT_TRUE(held(e, 0x26));
  send(Event::Type::FocusLost);  // focus changes let go of everything
  shell::take_snapshot(e);
  EXPECT_FALSE(held(e, 132));
  EXPECT_FALSE(held(e, -1));
  EXPECT_EQ(pressed(e, 999), 0u);
}

TEST_F(Input, BlockingZeroesTheSnapshot) {
  at(1000);
  mouse(Event::Type::MouseMove, 0, 30, 40);
  send(Event::Type::KeyDown, 0x0D);
  shell::block_input(e, true);
  shell::take_snapshot(e);
  EXPECT_FALSE(held(e, 130));
  EXPECT_FALSE(held(e, 0x0D));
  EXPECT_EQ(pressed(e, 130), 0u);
  EXPECT_EQ(e.input->snap.x, 0);
  shell::block_input(e, false);
  shell::take_snapshot(e);
  EXPECT_TRUE(held(e, 130));
  EXPECT_EQ(pressed(e, 130), 1000u);
  EXPECT_EQ(e.input->snap.x, 30);
  EXPECT_EQ(e.input->snap.y, 40);
}

TEST_F(Input, DoubleClickSwallow) {
  auto decide_at = [&](uint32_t t, int button = 0) {
    at(t);
    click(button);
    shell::take_snapshot(e);
    return pressed(e, button == 0 ? 130 : 131) != 0;
  };
  EXPECT_TRUE(decide_at(1000));
  shell::arm_double_click_swallow(e, 1);
  EXPECT_FALSE(decide_at(1300));  // < 350 ms after the last press: swallowed
  EXPECT_FALSE(decide_at(1600));  // the count is 2
  EXPECT_TRUE(decide_at(1700));   // disarmed
  // Slower than 350 ms, or another button: not swallowed, and disarmed.
  shell::arm_double_click_swallow(e, 1);
  EXPECT_TRUE(decide_at(2100));
  EXPECT_TRUE(decide_at(2200));
  shell::arm_double_click_swallow(e, 1);
  EXPECT_TRUE(decide_at(2300, 1));
  EXPECT_TRUE(decide_at(2400));
  // Keys that decide are swallowed like the button.
  shell::arm_double_click_swallow(e, 1);
  at(2500);
  key(0x0D);
  shell::take_snapshot(e);
  EXPECT_EQ(pressed(e, 130), 0u);
  EXPECT_EQ(pressed(e, 0x0D), 2500u);
}

TEST_F(Input, MouseOutsideTheGame) {
  e.client_width = 64, e.client_height = 48;
  at(1000);
  mouse(Event::Type::MouseMove, 0, 10, 20);
  // A press on the border is not a click.
  mouse(Event::Type::MouseDown, 0, -1, -1);
  mouse(Event::Type::MouseDown, 1, 64, 10);
  shell::take_snapshot(e);
  EXPECT_EQ(pressed(e, 130), 0u);
  EXPECT_EQ(pressed(e, 131), 0u);
  EXPECT_EQ(e.input->snap.x, 10);
  // Leaving the picture lets go of the buttons.
  mouse(Event::Type::MouseDown, 0, 5, 5);
  shell::take_snapshot(e);
  EXPECT_TRUE(held(e, 130));
  mouse(Event::Type::MouseMove, 0, 5, 48);
  shell::take_snapshot(e);
  EXPECT_FALSE(held(e, 130));
  EXPECT_EQ(e.input->snap.y, 5);
  EXPECT_TRUE(e.input->snap.mouse_active);
  key('A');
  shell::take_snapshot(e);
  EXPECT_FALSE(e.input->snap.mouse_active);
  // The wheel latches Page Up or Down, whatever the step.
  for (int delta : {1, 120, 2147483647}) {
    Event w;
    w.type = Event::Type::MouseWheel;
    w.delta = delta;
    shell::handle_event(e, w);
    w.delta = -delta;
    shell::handle_event(e, w);
    shell::take_snapshot(e);
    EXPECT_EQ(pressed(e, 33), 1000u);
    EXPECT_EQ(pressed(e, 34), 1000u);
  }
}

TEST_F(Input, CapsLockIsTrackedAndClaimed) {
  at(1000);
  key(0x14);
  shell::take_snapshot(e);
  EXPECT_TRUE(e.vm->hooks.caps_skip(e));
  shell::block_input(e, true);
  shell::take_snapshot(e);
  EXPECT_FALSE(e.vm->hooks.caps_skip(e));
  shell::block_input(e, false);
  // A claim keeps it as it is until the claiming frame returns.
  rt::make_current(e, rt::create_thread(e, 0));
  shell::claim_caps_lock(e);
  EXPECT_EQ(e.vm->caps_claim_depth, 0);
  e.vm->hooks.caps_off(e);
  shell::take_snapshot(e);
  EXPECT_TRUE(e.vm->hooks.caps_skip(e));
  e.vm->caps_claim_depth = -1;
  e.vm->hooks.caps_off(e);
  shell::take_snapshot(e);
  EXPECT_FALSE(e.vm->hooks.caps_skip(e));
}

}  // namespace
