// Saved games and the system data: the snapshot scripts capture at save
// points, the files it is written to, loads asked for by scripts and the
// menu and carried out by the run loop, the persistent variables and the
// seen table.
//
// A load is checked whole when it is asked for: a file that does not read,
// or whose frames no longer fit the scripts, is refused then and the game
// goes on; an accepted load waits for the scheduler, which ends the pass
// with the run result "load", and the run loop restores it after the reset.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "persistence/resume_points.h"
#include "persistence/save_file.h"
#include "platform/clock.h"
#include "script/value.h"

namespace rt { struct Engine; struct Thread; }

namespace persist {

// A checked load waiting for the run loop.
struct PendingLoad {
  ~PendingLoad();
  Head head{};
  std::vector<uint8_t> backlog;
  int32_t thumb_width = 0, thumb_height = 0;
  std::vector<uint8_t> thumbnail;
  std::vector<FrameRecord> frames;  // offsets placed in the scripts as they are now
  int32_t point_argc = 0;           // save point arguments still on the stack
  std::vector<rt::Value> globals, thread_vars, locals;
  int32_t argument = 0;             // the start event's first argument
};

struct State {
  State();
  ~State();

  bool capture_enabled = false;
  bool captured = false;     // a snapshot is there to write
  bool just_loaded = false;  // the next quick save is skipped once
  Head head{};               // the save header but for its backlog, which lives in the console
  std::vector<rt::Value> globals, thread_vars, locals;  // each holding its own reference
  std::vector<FrameRecord> frames;
  Trailer trailer;
  int32_t thumb_width = 0, thumb_height = 0;
  std::vector<uint8_t> thumbnail;  // rows top to bottom, blue-green-red

  std::unique_ptr<PendingLoad> pending;

  std::array<uint32_t, kSeenEntries> seen{};
  std::string dialog_folder;  // engine path of the folder last chosen in a dialog

  // The menu mode's click regions set aside (the player shell's); a load
  // drops them.
  void (*drop_menu_regions)(rt::Engine&) = nullptr;

  void release_snapshot();
};

State& state(rt::Engine& e);
void install_hooks(rt::Engine& e);

// --- Snapshot -----------------------------------------------------------------------
// The save point: copies the main thread, the globals, the music state and
// the console flag. `point_argc`: arguments of the save point's call, when
// it is made by the main thread itself (its position then goes back to
// that call, which runs again after a load).
void capture(rt::Engine& e, int point_argc);
// The thumbnail: samples a page into w × h (0 × 0 discards it).
void capture_thumbnail(rt::Engine& e, int32_t w, int32_t h, int32_t page);

// --- Files ------------------------------------------------------------------------
// "savedata\quorel_0007.sav", "savedata\quorel_last.sav" for slots below 0.
std::string slot_file(int32_t slot);
// Writes the snapshot (and then the system data). False when nothing was
// written: no snapshot, LOADSAVEDISABLE, or the write failed (reported).
bool write_game(rt::Engine& e, const std::string& engine_path);
// Why a save does not load: the player's message (Shift-JIS, naming the
// file and the script) and a plain reason for logs and tools.
struct Refusal {
  std::string message;
  std::string reason;
};
// Reads and checks a save against the scripts as they are now: nullptr
// when the file cannot be opened (`why` left empty) or is refused.
std::unique_ptr<PendingLoad> prepare_load(rt::Engine& e, const std::string& engine_path, int32_t argument,
                                          Refusal* why);
// Checks the file and asks for its load. 0, or -1 when refused.
int32_t request_load(rt::Engine& e, const std::string& engine_path, int32_t argument);
// The run loop, after the reset: the asked-for game. Returns the start
// event's first argument.
int32_t restore(rt::Engine& e);

// --- System data ---------------------------------------------------------------------
void read_system_data(rt::Engine& e);
bool write_system_data(rt::Engine& e);
// The seen table's hash of a name: up to its first ".", lower case.
uint32_t seen_hash(std::string_view name);
// -1 when the table is full.
int32_t seen_mark(rt::Engine& e, std::string_view name);
bool seen_check(rt::Engine& e, std::string_view name);

// --- File choices ----------------------------------------------------------------------
// The name offered when saving under a name: title and date, with the
// characters a file name cannot hold replaced by their full-width forms.
std::string proposed_save_name(std::string_view title, const plat::LocalTime& t);
// 0 when written, -1 when cancelled or refused.
int32_t save_as_dialog(rt::Engine& e);
// 0 when a load was asked for, -1 otherwise.
int32_t load_dialog(rt::Engine& e);
bool snapshot_captured(rt::Engine& e);

// What a file chooser shows of a save: its title, when it was written
// ("YY/MM/DD hh:mm:ss", local time) and its thumbnail (blue-green-red rows,
// none when 0 × 0). nullopt for a file that is no save of this engine.
struct SaveSummary {
  std::string title;  // Shift-JIS
  std::string time;
  int32_t thumb_width = 0, thumb_height = 0;
  std::vector<uint8_t> thumbnail;
};
std::optional<SaveSummary> summarize_save(rt::Engine& e, const std::string& engine_path);

}  // namespace persist
