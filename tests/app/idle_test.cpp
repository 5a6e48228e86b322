// How long the loop sleeps between passes: until the earliest thread
// deadline, frame or scripted input, never past the idle limit, and not at
// all while a thread runs. An engine with every subsystem's hooks, on the
// virtual clock (which starts at 1000).
#include <gtest/gtest.h>

#include "core/engine.h"
#include "graphics/display.h"
#include "graphics/page.h"
#include "graphics/sprite.h"
#include "graphics/state.h"
#include "platform/input_script.h"
#include "script/scheduler.h"
#include "script/script_machine.h"
#include "shell/input.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

using rt::idle_time;
using rt::kIdleWakeMs;

class IdleTime : public testing::Test {
 protected:
  void SetUp() override {
    e = testing_support::make_engine(dir.path());
    gfx::create_screen_page(*e);
    gfx::restore_front_buffer(*e);  // as each run of the loop starts
    settle();
  }
  // A frame composed and presented: nothing left to show.
  void settle() {
    gfx::compose_frame(*e);
    e->gfx->display.last_frame = now;
  }
  rt::Frame& waiting_thread(uint32_t deadline) {
    rt::Thread* t = rt::create_thread(*e, static_cast<int32_t>(e->vm->threads.size()));
    t->frame().wait_deadline = deadline;
    return t->frame();
  }

  testing_support::TempDir dir;
  std::unique_ptr<rt::Engine> e;
  const uint32_t now = 5000;
};

TEST_F(IdleTime, ThreadsDecideUnlessTheyPollForInput) {
  EXPECT_EQ(idle_time(*e, now), kIdleWakeMs) << "nothing to do: the idle limit";
  rt::Frame& sleeper = waiting_thread(0xFFFFFFFFu);
  EXPECT_EQ(idle_time(*e, now), kIdleWakeMs) << "a wait without end wakes on nothing";
  waiting_thread(now + 30);
  EXPECT_EQ(idle_time(*e, now), 30u);
  waiting_thread(now + 7);
  EXPECT_EQ(idle_time(*e, now), 7u);
  waiting_thread(now + 900);
  EXPECT_EQ(idle_time(*e, now), 7u) << "the earliest deadline";
  EXPECT_EQ(idle_time(*e, now + 7), 0u) << "a deadline that has come is served at once";
  EXPECT_EQ(idle_time(*e, now + 20), 0u) << "as is one that passed while the loop slept";

  // A click wait polls every millisecond; it is answered by the input event
  // that ends the sleep, so it does not keep the loop awake.
  rt::Thread* clicker = rt::create_thread(*e, 99);
  clicker->frame().wait_deadline = now + 1;
  clicker->polls = rt::Thread::Poll::Input;
  EXPECT_EQ(idle_time(*e, now), 7u);
  clicker->polls = rt::Thread::Poll::None;
  EXPECT_EQ(idle_time(*e, now), 1u);

  // A wait for a sprite's motion or for a drawn frame ends no sooner than
  // the next frame the pacing allows.
  e->gfx->display.max_fps = 250;  // every 4 ms
  e->gfx->display.last_frame = now;
  clicker->polls = rt::Thread::Poll::Frame;
  EXPECT_EQ(idle_time(*e, now), 4u);
  EXPECT_EQ(idle_time(*e, now + 2), 2u);
  clicker->polls = rt::Thread::Poll::None;

  sleeper.wait_deadline = 0;
  EXPECT_EQ(idle_time(*e, now), 0u) << "a thread that runs without waiting";
}

TEST_F(IdleTime, FramesAreAwaitedOnlyWhenSomethingChangesOrMoves) {
  e->gfx->display.max_fps = 50;  // a frame every 20 ms
  EXPECT_EQ(idle_time(*e, now), kIdleWakeMs);
  EXPECT_EQ(idle_time(*e, now + 5), kIdleWakeMs);

  // A change is shown at the next paced frame.
  gfx::Page& front = *e->gfx->display.front;
  gfx::page_changed(*e, front, {0, 0, 4, 4});
  EXPECT_EQ(idle_time(*e, now + 5), 15u);
  EXPECT_EQ(idle_time(*e, now + 25), 0u);
  settle();
  EXPECT_EQ(idle_time(*e, now), kIdleWakeMs);

  // A sprite in motion needs every frame until it arrives.
  gfx::Page& picture = gfx::create_page_24(*e, 8, 8, false);
  gfx::Sprite& s = gfx::create_sprite(*e, picture, {0, 0, 8, 8}, front);
  settle();
  EXPECT_EQ(idle_time(*e, now), kIdleWakeMs) << "a sprite standing still";
  s.move_state = 1;
  EXPECT_EQ(idle_time(*e, now + 12), 8u);
  s.move_state = 2;
  s.alphas.state = 1;
  EXPECT_EQ(idle_time(*e, now + 12), 8u) << "a fade";
  s.alphas.state = 0;
  EXPECT_EQ(idle_time(*e, now + 12), kIdleWakeMs);

  // Nothing is composed while the invalidate lock is held.
  gfx::page_changed(*e, front, {0, 0, 4, 4});
  e->gfx->display.invalidate_lock = 1;
  EXPECT_EQ(idle_time(*e, now), kIdleWakeMs);
  e->gfx->display.invalidate_lock = 0;
}

TEST_F(IdleTime, ScriptedInputAndSkippingKeepTheLoopAwake) {
  std::vector<plat::TimedEvent> events;
  std::string error;
  ASSERT_TRUE(plat::parse_input_script("120 key press return\n", &events, &error)) << error;
  shell::set_input_script(*e, events);
  // The clock reads 1000 (the virtual clock stands still here).
  const uint32_t t = e->clock.now();
  EXPECT_EQ(idle_time(*e, t), kIdleWakeMs) << "120 ms away: after the idle limit";
  for (int i = 0; i < 9; ++i) e->clock.end_pass();  // +90 ms
  EXPECT_EQ(idle_time(*e, e->clock.now()), 30u);

  e->vm->play.skip_all = true;
  EXPECT_LE(idle_time(*e, e->clock.now()), 2u) << "skipping keeps its short passes";
  e->vm->play.skip_all = false;
  e->vm->force_frame = true;
  EXPECT_EQ(idle_time(*e, e->clock.now()), 0u);
}

}  // namespace
