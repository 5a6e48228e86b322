// The message console: story text arrives in pieces from the text opcodes,
// is broken into lines by width and the kinsoku rules, drawn into the
// console's page and recorded in the backlog. The visible pacing (revealing
// a line, waiting for a click) is left to script hooks, functions of the
// game's scripts that the console calls by name hash.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/threads.h"
#include "text/backlog.h"
#include "text/font.h"

namespace rt { struct Engine; }

namespace txt {

// Script hooks (keys of the game's functions).
inline constexpr uint32_t kHookLineDrawn = 0x47BB540C;  // page, x, y, width, height, instant
inline constexpr uint32_t kHookNewline = 0x04AE36BD;
inline constexpr uint32_t kHookPause = 0x20CE505D;
inline constexpr uint32_t kHookWipe = 0x93B38A0B;
inline constexpr uint32_t kHookGraphic = 0xD3CA70E5;    // up to six values
inline constexpr uint32_t kHookShow = 0xF7A4C8D8;       // a, b
inline constexpr uint32_t kHookHide = 0x0D9B7F0E;       // a, b
inline constexpr uint32_t kHookSpeaker = 0x44A4FF72;    // name

inline constexpr int kVoiceSlots = 20;
inline constexpr size_t kVoiceNameBytes = 260;
inline constexpr size_t kFirstLineBytes = 1024;
// Pending text beyond this is dropped (a script that never shows its text).
inline constexpr size_t kPendingLimit = 1 << 20;

// Flags a line step collects from the bracket marks of its text.
enum QuoteFlags : int { kQuoteOpened = 1, kQuoteClosed = 2, kParenIndents = 4 };

struct VoiceSlot {
  int32_t top = 0;
  int32_t height = 0;
  std::string name;
};

// One argument of a hook call: an int or a string.
struct HookArg {
  int32_t number = 0;
  std::optional<std::string> text;
};

struct HookCall {
  uint32_t key = 0;
  std::vector<HookArg> args;  // first argument first
};

struct Console {
  FontRecord rec;                   // all zero until scripts set it up
  bool shown = false;
  int replay_mode = 0;              // 0 live, 1 from a position, -1 the last page
  bool page_steps = false;          // backlog navigation by pages (else fine steps)
  bool quote = false;               // inside a quotation: newlines are recorded as "N"
  bool first_line = false;
  std::string first_line_text;
  bool skip_newline = false;
  int32_t suspend = 0;              // backlog recording off while above 0
  int32_t saved_x = 0, saved_y = 0;
  std::optional<uint32_t> recorded_position;  // code position of the text already recorded
  std::optional<std::string> pending;         // the text still to show
  int pending_flags = 0;                      // QuoteFlags seen in the pending text
  std::array<VoiceSlot, kVoiceSlots> voices;
  int voice_count = 0;
  bool voice_male = false;
  std::optional<bool> voice_skip;   // nullopt: VOICESKIPDEF
  Backlog backlog;

  // Kinsoku sets, read from the environment once.
  std::optional<std::string> line_start_set, line_end_set;

  // Hooks the last operation called, in order; run_hook_calls hands them
  // to a thread.
  std::vector<HookCall> calls;

  // Where the last pause or full box happened (development mode: F11).
  std::string noted_script;
  int32_t noted_line = 0;
};

// --- Text ---------------------------------------------------------------------------
// The text opcode: append to the pending text.
void append_text(rt::Engine& e, std::string_view bytes);
// One line step of the text_proc opcode at `code_position` (the opcode's
// place in the script). True when the step must run again.
bool line_step(rt::Engine& e, rt::Thread& t, uint32_t code_position);

// --- Commands ------------------------------------------------------------------------
// Executes a command record ("c0x...", "n", "w", ...). `from_script` is
// false for replay and the voice built-in: such records are executed while
// replaying and never recorded.
void execute(rt::Engine& e, std::string_view record, bool from_script);
// The text_ctrl opcode: formats the command with values taken off the
// thread's stack and executes it.
void control(rt::Engine& e, rt::Thread& t, std::string_view code);

// Formats the numbered command records.
std::string colour_record(uint32_t colour, uint32_t edge);
std::string font_record(int32_t size, int32_t width, int32_t pitch, int32_t justify, std::string_view face);
std::string locate_record(int32_t x, int32_t y);

// --- Hooks ---------------------------------------------------------------------------
// Calls the queued hooks on thread t: the first queued runs first, then the
// next, then the thread goes on where it was.
void run_hook_calls(rt::Engine& e, rt::Thread& t);

// --- For other subsystems ---------------------------------------------------------------
// Loading a game: pending text freed, console hidden, recording and the
// one-shot flags back to their defaults.
void reset_console(rt::Engine& e);
// Loading a game: the backlog ends at the last pause.
void trim_backlog_to_last_pause(rt::Engine& e);
// The console's text speed (-1: the player's setting).
int32_t console_speed(rt::Engine& e);
bool console_shown(rt::Engine& e);
Backlog& console_backlog(rt::Engine& e);

// Per-thread replay position of console_replay.
struct ReplayState : rt::ThreadExtension {
  bool active = false;
  bool first = true;
  bool pause_seen = false;
  int position = 0;
};

// Development mode: the title shows the current script and line.
void show_source_position(rt::Engine& e);

}  // namespace txt
