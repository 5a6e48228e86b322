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

// A wake hook's answer: nothing to do until an event arrives.
constexpr uint32_t kNoWake = 0xFFFFFFFFu;
// The longest sleep between passes while nothing is due: the loop still
// looks around (the window, the debugger, requests) this often.
constexpr uint32_t kIdleWakeMs = 50;

// How long the loop may sleep after a pass at `now`: until the earliest
// thread deadline or subsystem wake-up, at most kIdleWakeMs; an input or
// window event ends the sleep sooner. 0 while a thread runs without
// waiting; at most 2 ms while the play skips or a debugger is attached.
uint32_t idle_time(Engine& e, uint32_t now);

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
