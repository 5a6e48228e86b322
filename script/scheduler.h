// The scheduler: one pass runs every script thread until it gives up its
// turn, handles ended threads, composes and presents a paced frame, pumps
// window events, turns fresh clicks into jumps to click targets and sleeps
// until the next deadline. It returns when a run result is due.
#pragma once

#include <cstdint>

namespace plat { struct Event; }

namespace rt {

struct Engine;

// Run results.
enum RunResult : int32_t {
  kRunEnd = 0,      // leave the run loop (shut down)
  kRunLoad = 2,     // a saved game is to be restored
  kRunTitle = 5,    // back to the title
};

int32_t run_scheduler(Engine& e);

// Called by the interpreter now and then while a thread runs without
// yielding: keeps the window responsive and lets it close.
void watchdog_check(Engine& e);

// Takes the window's events (the shell's handler when there is one);
// a closed window sets the quit request.
void pump_events(Engine& e);

// Runs the window procedure's message hooks on one event; true when one
// of them swallowed it.
bool window_event(Engine& e, const plat::Event& event);

// Waits: true while the deadline is ahead (and less than 12 hours away).
bool deadline_ahead(uint32_t now, uint32_t deadline);

}  // namespace rt
