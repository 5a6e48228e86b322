// The script machine's state: loaded scripts, variables, threads, event
// handlers, the built-in table and the scheduler's clock and switches.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "script/builtins.h"
#include "script/read_marks.h"
#include "script/script_file.h"
#include "script/threads.h"
#include "script/variables.h"

namespace base { class TextFile; }

namespace rt {

// Exit codes of the interpreter loop.
enum ExitCode : int32_t {
  kContinue = 0,
  kYield = 1,         // a built-in gave up the turn
  kLoadRequest = 2,   // a saved game is to be loaded
  kThreadYield = 4,   // the thread ended or gave up its turn
  kToTitle = 5,       // return to the title
};

// A file choice asked of the player shell.
struct FileChoice {
  enum class Purpose { SaveAs, LoadByName, CaptureName } purpose = Purpose::SaveAs;
  std::string folder;      // engine path of the folder shown first
  std::string suggestion;  // the name offered at first, or empty
  std::string filter;      // extension the list shows (".sav"), or empty for all
};

// Calls from the script machine into subsystems built on top of it. Each
// subsystem fills in its hooks when the engine is made; a hook left empty
// means the subsystem is absent and the step does nothing.
struct Hooks {
  // Message console: the three text opcodes.
  void (*text_append)(Engine&, std::string_view bytes) = nullptr;
  bool (*text_show)(Engine&, Thread&) = nullptr;  // true: more to show, run the opcode again
  void (*text_control)(Engine&, Thread&, std::string_view code) = nullptr;
  // Frame composition and presentation.
  void (*compose_frame)(Engine&) = nullptr;
  bool (*drawing_suspended)(Engine&) = nullptr;
  // Frame pacing: whether a frame is due at the script clock's `now`
  // (`forced` by draw_wait). Empty: MAX_FPS alone decides.
  bool (*frame_due)(Engine&, uint32_t now, bool forced) = nullptr;
  // Window events and input, once per scheduler pass.
  void (*pump_messages)(Engine&) = nullptr;
  // After the pump's events: the menu bar's frame.
  void (*after_events)(Engine&) = nullptr;
  // Message hooks of the window procedure: each sees every window event
  // before input handling does (full-screen toggles, focus); true swallows
  // the event. A pump_messages hook runs them through `window_event`.
  std::vector<bool (*)(Engine&, const plat::Event&)> window_hooks;
  // True while a movie plays (the picture is not repainted, full screen is
  // kept on focus loss).
  bool (*movie_playing)(Engine&) = nullptr;
  // Closes a playing movie (menu commands); true when one was playing.
  bool (*close_movie)(Engine&) = nullptr;
  // A movie's sound through the sound subsystem's mixer: `pull` fills 44.1
  // kHz stereo frames and returns how many it had. False: no sound output.
  bool (*movie_sound_start)(Engine&, std::function<size_t(int16_t*, size_t)> pull, int32_t volume) = nullptr;
  void (*movie_sound_stop)(Engine&) = nullptr;
  // The sound reset (stops every stream, clears the slots).
  void (*sound_reset)(Engine&) = nullptr;
  void (*input_snapshot)(Engine&) = nullptr;
  // Takes the pending press of an input code (130 left, 131 right, 136
  // middle button, 33/34 wheel, 147) if it is younger than 60 ms.
  bool (*take_click)(Engine&, int code, uint32_t* time) = nullptr;
  bool (*button_held)(Engine&, int code) = nullptr;
  // Caps Lock skipping (the key toggled on while input is enabled).
  bool (*caps_skip)(Engine&) = nullptr;
  void (*caps_off)(Engine&) = nullptr;
  // Menu requests (load, save, config); returns a run result or 0.
  int32_t (*serve_requests)(Engine&) = nullptr;
  // Sound mixing in headless runs, driven by the script clock (its time now).
  void (*pump_sound)(Engine&, uint32_t now) = nullptr;
  // Milliseconds from `now` until a subsystem needs the next scheduler
  // pass (0: at once), or kNoWake. Between passes the loop sleeps until the
  // earliest of these, the threads' deadlines and an input event.
  std::vector<uint32_t (*)(Engine&, uint32_t now)> wake_hooks;
  // After every counted scheduler pass (`passes` already counts it).
  void (*pass_done)(Engine&) = nullptr;
  // Milliseconds from `now` until the frame pacing allows the next frame.
  uint32_t (*next_frame_in)(Engine&, uint32_t now) = nullptr;
  // Steps of the reset of the script machine and of shutdown, in order.
  std::vector<void (*)(Engine&)> on_reset;
  // Once $init@GLOBAL is done: what exists now becomes permanent.
  std::vector<void (*)(Engine&)> on_init_done;
  std::vector<void (*)(Engine&)> on_shutdown;
  // The program's whole shutdown (system_end ends the game through it).
  void (*shut_down)(Engine&) = nullptr;
  // After the run loop's scheduler returns: the start-up front buffer again.
  void (*restore_front_buffer)(Engine&) = nullptr;
  // True when a load was asked for and checked: the scheduler ends its
  // pass with the run result "load".
  bool (*take_load_request)(Engine&) = nullptr;
  // Restores the saved game a load asked for; returns the start event's
  // first argument.
  int32_t (*restore_saved_game)(Engine&) = nullptr;
  // The player's choice of a file (save as, load by name, capture name), made
  // by the player shell. Returns the chosen name, or nullopt when the player
  // cancelled or there is nobody to ask.
  std::optional<std::string> (*choose_file)(Engine&, const FileChoice&) = nullptr;
};

struct BuiltinSlot {
  BuiltinHandler handler = nullptr;
  const BuiltinInfo* info = nullptr;
};

struct ScriptMachine {
  ScriptMachine();
  ~ScriptMachine();

  ScriptFiles files;
  VariableStore persistent{kPersistent};
  VariableStore global{kGlobal};
  bool persistent_loaded = false;

  std::vector<std::unique_ptr<Thread>> threads;  // creation order
  uint32_t threads_freed = 0;                    // counts free_thread, so callers can skip the search
  Thread* current = nullptr;
  int32_t next_thread_id = 1;
  bool thread_ids_wrapped = false;

  std::vector<EventHandler> handlers;  // list order
  bool initialising = false;           // $init@GLOBAL is running

  int32_t exit_code = kContinue;
  uint32_t script_clock = 0;           // the time every built-in sees during a pass
  bool no_draw_wait = false;
  uint32_t frame_counter = 0;
  bool force_frame = false;
  bool return_to_title = false;
  uint64_t passes = 0;                 // scheduler passes so far
  uint32_t watchdog_turns = 0;         // in the current pass
  uint32_t last_frame_time = 0;        // when the last paced frame was composed
  int32_t aggskip = -1;                // frame thinning while skipping (-1: not read yet)
  int32_t max_fps = -1;
  std::string start_scenario;          // run-loop script instead of "start"
  int32_t resume_argument = 0;         // first argument of the start event after a load
  bool keep_console = false;           // one-shot: the next reset keeps the console
  bool console_kept = false;           // this reset kept it (the console's reset hook reads this)
  bool shut_down = false;
  int32_t skip_stop = 0;               // no skipping while above 0
  int32_t caps_claim_depth = -1;       // call depth holding the Caps Lock claim
  bool debugger_active = false;
  bool quit_requested = false;         // the window was closed
  uint64_t instruction_budget = 0;     // watchdog rounds left before a forced stop (0: none)
  // Backward jumps and calls between watchdog checks. Short rounds let the
  // fuzzer stop a looping program after a few hundred turns.
  uint32_t watchdog_period = 1u << 16;

  ReadMarks read_marks;
  PlayModes play;

  std::vector<std::unique_ptr<base::TextFile>> text_files;  // handle n is entry n - 1

  std::vector<BuiltinSlot> builtins;   // indexed like builtin_catalogue()
  Hooks hooks;
};

}  // namespace rt
