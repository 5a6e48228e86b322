#include "script/scheduler.h"

#include <algorithm>
#include <vector>

#include "core/engine.h"
#include "script/debugger.h"
#include "script/interpreter.h"
#include "script/read_marks.h"
#include "script/script_machine.h"

namespace rt {
namespace {

constexpr uint32_t kTwelveHours = 43200000;
// Watchdog turns in one pass (about 4 million backward jumps or calls)
// after which a script counts as one that never waits.
constexpr uint32_t kLongPassTurns = 64;

}  // namespace

void pump_events(Engine& e) {
  ScriptMachine& vm = *e.vm;
  // SIGTERM, SIGINT, SIGHUP: a quit that needs no confirmation.
  if (plat::termination_requested()) vm.quit_requested = true;
  if (vm.debugger_active) debugger_pump(e, 0);
  if (vm.hooks.pump_messages) {
    vm.hooks.pump_messages(e);
    return;
  }
  // Without the shell, at least notice the window closing.
  std::vector<plat::Event> events;
  e.host->poll_events(events);
  for (const plat::Event& ev : events) {
    if (window_event(e, ev)) continue;
    if (ev.type == plat::Event::Type::Quit) vm.quit_requested = true;
  }
}

bool window_event(Engine& e, const plat::Event& event) {
  for (auto hook : e.vm->hooks.window_hooks)
    if (hook(e, event)) return true;
  return false;
}

namespace {

int32_t aggskip(Engine& e) {
  ScriptMachine& vm = *e.vm;
  if (vm.aggskip < 0) {
    int32_t n = env_int(e, "AGGSKIP", 0);
    vm.aggskip = n < 1 ? 0 : (n >= 4 ? 4 : n + 1);
  }
  return vm.aggskip;
}

bool frame_due(Engine& e, uint32_t now) {
  ScriptMachine& vm = *e.vm;
  if (vm.max_fps < 0) vm.max_fps = std::clamp(env_int(e, "MAX_FPS", 1000), 1, 1000);
  return now - vm.last_frame_time >= static_cast<uint32_t>(1000 / vm.max_fps);
}

// Threads that ended, and threads asked to end, over a fresh snapshot.
void handle_thread_states(Engine& e) {
  ScriptMachine& vm = *e.vm;
  bool any = false;
  for (auto& t : vm.threads) {
    if (t->state != kRunning) any = true;
    if (t->linked && t->linked->state != kRunning && t->state == kRunning) {
      t->state = kAskedToEnd;
      any = true;
    }
  }
  if (!any) return;
  std::vector<Thread*> snapshot;
  for (auto& t : vm.threads) snapshot.push_back(t.get());
  bool main_ending = false;
  for (Thread* t : snapshot) {
    if (!thread_exists(e, t)) continue;
    const bool is_main = t->id == 0;
    if (t->state == kEnded) {
      free_thread(e, t);
      main_ending |= is_main;
      continue;
    }
    if (t->state == kAskedToEnd) {
      main_ending |= is_main;
      bool handlers = false;
      for (int d = 0; d <= t->depth; ++d) {
        Frame& f = t->frames[d];
        if (f.exit_target) {
          f.set_pc(f.exit_target);
          f.exit_target = 0;
          f.wait_deadline = 0;
          f.wait_frame_count = 0;
          handlers = true;
        } else {
          f.set_pc(0);
        }
      }
      if (handlers) {
        t->state = kRunningExitHandlers;
        continue;
      }
      t->state = kExitHandlersDone;
    }
    if (t->state == kExitHandlersDone) {
      if (t->restart_entry) {
        Frame& f = t->frame();
        int32_t top = f.stack_top;
        for (int32_t i = 1; i < top; ++i) release(t->stack[i]);
        t->depth = 0;
        t->frames.fill(Frame{});
        t->stack[0] = int_value(0);
        t->frames[0].base = 1;
        t->frames[0].stack_top = 1;
        t->frames[0].set_pc(t->restart_entry);
        t->restart_entry = 0;
        t->state = kRunningRestart;
      } else {
        main_ending |= is_main;
        free_thread(e, t);
      }
    }
  }
  if (main_ending)
    for (auto& t : vm.threads)
      if (t->state == kRunning) t->state = kAskedToEnd;
}

// Fresh clicks jump to the click targets registered further on in the code.
void take_clicks(Engine& e) {
  ScriptMachine& vm = *e.vm;
  if (vm.hooks.input_snapshot) vm.hooks.input_snapshot(e);
  uint32_t left = 0, right = 0, middle = 0;
  bool got_left = false, got_right = false, got_middle = false;
  if (vm.hooks.take_click) {
    got_left = vm.hooks.take_click(e, 130, &left);
    got_right = vm.hooks.take_click(e, 131, &right);
    got_middle = vm.hooks.take_click(e, 136, &middle);
  }
  const bool skipping = is_skipping(e);
  for (auto& tp : vm.threads) {
    Thread& t = *tp;
    if (got_left) t.latch_left = left;
    if (got_right) t.latch_right = right;
    if (got_middle) t.latch_middle = middle;
    if (!got_left && !got_right && !got_middle && !skipping) continue;
    for (int d = 0; d <= t.depth; ++d) {
      Frame& f = t.frames[d];
      auto try_target = [&](bool taken, CodeAddress target) {
        if (!taken || !target || f.pc >= target) return false;
        f.set_pc(target);
        f.clear_click_targets();
        f.wait_deadline = 0;
        if (d == t.depth) t.latch_left = t.latch_right = t.latch_middle = 0;
        return true;
      };
      if (try_target(got_left || skipping, f.left_target)) continue;
      if (try_target(got_right, f.right_target)) continue;
      try_target(got_middle, f.middle_target);
    }
  }
}

}  // namespace

uint32_t idle_time(Engine& e, uint32_t now) {
  ScriptMachine& vm = *e.vm;
  if (vm.force_frame) return 0;
  // Skipping ends every wait of the main thread at its next pass, and the
  // debugger's link is polled: both keep the short passes they always had.
  uint32_t best = vm.debugger_active || is_skipping(e) ? 2 : kIdleWakeMs;
  for (auto& t : vm.threads) {
    uint32_t deadline = t->frame().wait_deadline;
    if (deadline == 0) return 0;
    if (deadline == 0xFFFFFFFFu) continue;
    // A poll for input is answered by the event that ends the sleep; one
    // for a frame, by the next frame the pacing allows.
    if (t->polls == Thread::Poll::Input) continue;
    if (t->polls == Thread::Poll::Frame && vm.hooks.next_frame_in) {
      best = std::min(best, vm.hooks.next_frame_in(e, now));
      continue;
    }
    if (!deadline_ahead(now, deadline)) return 0;
    best = std::min(best, deadline - now);
  }
  for (auto hook : vm.hooks.wake_hooks) best = std::min(best, hook(e, now));
  return best;
}

bool deadline_ahead(uint32_t now, uint32_t deadline) {
  uint32_t ahead = deadline - now;
  return ahead != 0 && ahead < kTwelveHours;
}

void watchdog_check(Engine& e) {
  ScriptMachine& vm = *e.vm;
  // A script that never waits still meets the frame limit and the virtual
  // clock (which brings the timed events of an input file, its quit too):
  // once a pass has gone on this long, each watchdog turn counts as a pass.
  // Shorter bursts of work keep taking no virtual time.
  if (++vm.watchdog_turns >= kLongPassTurns) {
    if (e.clock.is_virtual()) e.clock.end_pass();
    ++vm.passes;
    if (vm.hooks.pass_done) vm.hooks.pass_done(e);
    if (e.options.max_frames && vm.passes >= *e.options.max_frames) vm.quit_requested = true;
  }
  pump_events(e);
  if (vm.quit_requested) vm.exit_code = kThreadYield;
  if (vm.instruction_budget > 0 && --vm.instruction_budget == 0) {
    vm.quit_requested = true;
    vm.exit_code = kThreadYield;
  }
}

int32_t run_scheduler(Engine& e) {
  ScriptMachine& vm = *e.vm;
  vm.return_to_title = false;
  for (;;) {
    // 1. The script clock stands still while the no-draw wait is on.
    const uint32_t real_now = e.clock.now();
    if (!vm.no_draw_wait) vm.script_clock = real_now;
    else if (real_now - vm.script_clock > 500) vm.no_draw_wait = false;

    // 2-3. Every thread, once.
    if (vm.threads.empty()) return kRunTitle;
    std::vector<Thread*> snapshot;
    for (auto& t : vm.threads) snapshot.push_back(t.get());
    for (Thread* t : snapshot) {
      if (!thread_exists(e, t)) continue;
      make_current(e, t);
      t->polls = Thread::Poll::None;
      run_thread(e);
      if (vm.exit_code == kLoadRequest || vm.exit_code == kToTitle) return vm.exit_code;
      if (vm.quit_requested) return kRunEnd;
    }

    // 4. Ended threads.
    handle_thread_states(e);

    // 5. The frame, window events, menu requests.
    if (vm.no_draw_wait) {
      pump_events(e);
    } else {
      const uint32_t now = vm.script_clock;
      const bool due = vm.hooks.frame_due ? vm.hooks.frame_due(e, now, vm.force_frame)
                                          : frame_due(e, now) || vm.force_frame;
      if (due) {
        const int32_t thin = aggskip(e);
        if (!(thin != 0 && is_skipping(e) && vm.frame_counter % static_cast<uint32_t>(thin) != 0))
          if (vm.hooks.compose_frame) vm.hooks.compose_frame(e);
        vm.last_frame_time = now;
        ++vm.frame_counter;
        vm.force_frame = false;
      }
      pump_events(e);
      if (!(vm.hooks.drawing_suspended && vm.hooks.drawing_suspended(e))) {
        if (vm.hooks.take_load_request && vm.hooks.take_load_request(e)) return kRunLoad;
        if (vm.hooks.serve_requests && vm.hooks.serve_requests(e) == kRunLoad) return kRunLoad;
      }
      if (vm.return_to_title) return kRunTitle;
    }
    if (vm.quit_requested) return kRunEnd;

    // 6. Input.
    take_clicks(e);

    // 7. Sleep until something is due or an event arrives.
    const uint32_t pause = idle_time(e, vm.script_clock);
    if (vm.hooks.pump_sound) vm.hooks.pump_sound(e, vm.script_clock);
    if (pause > 0) {
      if (e.clock.is_virtual() || !e.host) e.clock.sleep(pause);
      else e.host->wait_event(pause);
    }
    e.clock.end_pass();
    ++vm.passes;
    if (vm.hooks.pass_done) vm.hooks.pass_done(e);
    vm.watchdog_turns = 0;
    e.retry_repeats = 0;  // a box that comes back after a pass is a new occurrence
    if (e.options.max_frames && vm.passes >= *e.options.max_frames) return kRunEnd;
  }
}

}  // namespace rt
