// The player shell: the menu bar and its commands, the function keys, the
// requests that hand the save and load menus to the game's scripts, the
// confirmations for quitting and returning to the title, drag and drop,
// and the settings dialogs (drawn by the overlay, shell/overlay.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/host.h"
#include "script/builtins.h"
#include "shell/settings.h"

namespace rt { struct Engine; }

namespace shell {

// Menu command ids (the same numbers the menu resources give them).
enum Command : int {
  kCmdQuit = 40001,
  kCmdFullScreen = 40002,
  kCmdWindowed = 40003,
  kCmdAbout = 40004,
  kCmdSpeed = 40005,
  kCmdSound = 40006,
  kCmdCapture = 40007,
  kCmdForceSkip = 40008,
  kCmdSave = 40009,
  kCmdLoad = 40010,
  kCmdSaveAs = 40011,
  kCmdLoadByName = 40012,
  kCmdReadSkip = 40013,
  kCmdAutoPlay = 40014,
  kCmdBacklog = 40015,
  kCmdToTitle = 40017,
  kCmdNanido = 40018,     // .. 40022
  kCmdGameSpeed = 40023,  // .. 40026
  kCmdHelp = 40028,
  kCmdTopmost = 40029,
  kCmdConfig = 40030,
  kCmdScreenOption = 40034,
  kCmdFont = 40035,
  kCmdErrorLog = 40037,
};

// Request codes the scheduler serves.
enum Request : int32_t {
  kReqNone = 0,
  kReqLoad = 1,
  kReqLoadByName = 2,
  kReqSave = 3,
  kReqSaveAs = 4,
  kReqF12 = 98,
  kReqConfig = 99,
};

// Script hooks the requests call.
inline constexpr uint32_t kLoadHook = 0xAAF02220;
inline constexpr uint32_t kSaveHook = 0x7CE76169;
inline constexpr uint32_t kF12Hook = 0xCA908215;
inline constexpr uint32_t kConfigHook = 0x24B05F59;
inline constexpr uint32_t kMovieInterruptedHook = 0x42629F01;

// One item of the menu bar as it stands now. Labels are UTF-8 with the
// accelerator's "&" removed; `key` is what the item shows beside it.
struct MenuItem {
  int id = 0;  // 0: a separator
  std::string label, key;
  bool checked = false, greyed = false;
};
struct Menu {
  std::string title;
  std::vector<MenuItem> items;
  std::vector<Menu> submenus;  // shown after the items
};

enum class Dialog { None, Speed, Sound, Screen, Font, About };

struct Overlay;  // ImGui's side (shell/overlay.h)

// What the file chooser shows beside a file that is a saved game: its title
// and date (UTF-8) and its thumbnail (blue-green-red rows top-down; none
// when 0 x 0).
struct FileSummary {
  std::string title, date;
  int thumb_width = 0, thumb_height = 0;
  std::vector<uint8_t> thumbnail;
};

struct Shell {
  Shell();
  ~Shell();

  int32_t request = kReqNone;     // pending
  int32_t last_served = kReqNone;
  bool menu_mode = false;
  bool movie_interrupted = false;

  bool drop_enabled = false;
  std::string dropped;            // the first dropped file's full name (Shift-JIS)

  bool topmost = false;
  ViewSettings view;              // the window's scale, filter and renderer of this run
  bool confirming = false;        // a confirmation box is up

  // Wired by the program to the saved-games subsystem.
  bool (*snapshot_exists)(rt::Engine&) = nullptr;
  int32_t (*save_as_dialog)(rt::Engine&) = nullptr;
  int32_t (*load_dialog)(rt::Engine&) = nullptr;
  void (*close_movie)(rt::Engine&) = nullptr;
  // Beside the file chooser's list: the title, date and thumbnail of a
  // saved game (nullopt: nothing to show).
  std::optional<FileSummary> (*describe_file)(rt::Engine&, const std::string& native_path) = nullptr;

  std::unique_ptr<Overlay> overlay;  // nullptr: no menus are drawn (tests)
};

Shell& shell_of(rt::Engine& e);

// --- Requests, commands, keys ---------------------------------------------------------

// Asks for a request; `once` also refuses the code last served (the same
// script menu is not opened twice). False when refused.
bool request(rt::Engine& e, int32_t code, bool once);
// The scheduler's step: serves the pending request. Returns a run result or 0.
int32_t serve_requests(rt::Engine& e);

// The menu bar of the variant the environment keys choose, with its states.
std::vector<Menu> menu_bar(rt::Engine& e);
// Runs a menu command (as a click on its item would).
void run_command(rt::Engine& e, int id);
// The function keys and Alt+F2/F3; false when the key is not one of them.
bool function_key(rt::Engine& e, int vk, bool alt);

// Asks, writes the settings and ends the run on Yes; keeps the
// abnormal-end flag set on No. True when the player said Yes.
bool quit_with_confirmation(rt::Engine& e);
bool return_to_title_with_confirmation(rt::Engine& e);

// Drag and drop: the first dropped path is kept while enabled.
void file_dropped(rt::Engine& e, const std::string& sjis_path);

// Writes the player's settings at exit: the abnormal-end flag cleared, the
// window's state and the menu's choices.
void write_settings(rt::Engine& e);

// --- Dialogs (the overlay draws them; without it they are not shown) -------------------
void open_dialog(rt::Engine& e, Dialog d);

// --- Wiring ---------------------------------------------------------------------------
std::span<const rt::BuiltinEntry> shell_builtins();
void install_shell_hooks(rt::Engine& e);

}  // namespace shell
