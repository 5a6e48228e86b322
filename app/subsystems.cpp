#include "app/subsystems.h"

#include "app/save_preview.h"
#include "core/engine.h"
#include "graphics/builtins.h"
#include "graphics/capture.h"
#include "graphics/movie.h"
#include "graphics/screen_builtins.h"
#include "mahjong/builtins.h"
#include "persistence/builtins.h"
#include "persistence/saves.h"
#include "script/builtins/tables.h"
#include "script/script_machine.h"
#include "shell/input.h"
#include "shell/shell.h"
#include "sound/audio_builtins.h"
#include "sound/audio_slots.h"
#include "sound/sound_state.h"
#include "text/console.h"
#include "text/text_builtins.h"
#include "text/text_state.h"

namespace rt {

std::vector<std::span<const BuiltinEntry>> all_builtin_tables() {
  return {
      thread_builtins(),  string_builtins(), number_builtins(),   text_file_builtins(),
      message_builtins(), system_builtins(), play_mode_builtins(),
      gfx::page_builtins(), gfx::draw_builtins(), gfx::sprite_builtins(), gfx::screen_builtins(),
      gfx::movie_builtins(),
      mj::builtins(),
      txt::font_builtins(), txt::console_builtins(),
      snd::audio_builtins(),
      persist::builtins(),
      shell::input_builtins(), shell::settings_builtins(), shell::shell_builtins(),
  };
}

void install_subsystem_hooks(Engine& e) {
  // The screen's steps first: sprites go before the pages they show.
  gfx::install_screen_hooks(e);
  gfx::install_hooks(e);
  gfx::install_movie_hooks(e);
  txt::install_text_hooks(e);
  snd::install_sound_hooks(e);
  shell::install_input_hooks(e);
  persist::install_hooks(e);
  // A load drops the click regions the script's menu set aside.
  e.saves->drop_menu_regions = [](Engine& en) {
    if (en.vm->current) shell::regions_of(*en.vm->current).aside.clear();
  };
  shell::install_shell_hooks(e);
  // The menu's save and load commands and the movie they close.
  shell::Shell& player_shell = shell::shell_of(e);
  player_shell.snapshot_exists = persist::snapshot_captured;
  player_shell.save_as_dialog = persist::save_as_dialog;
  player_shell.load_dialog = persist::load_dialog;
  player_shell.close_movie = [](Engine& en) { gfx::close_movie(en); };
  // The file chooser shows a save's title, date and thumbnail.
  player_shell.describe_file = describe_save_file;
  // A voice is spoken by the console as its text is shown: the `voice`
  // built-in queues the console's "v" command, and the console plays it in
  // the voice slot.
  e.sound->console_command = [](Engine& en, std::string_view record) { txt::execute(en, record, false); };
  e.text->voice_player = snd::play_voice;
  // --screenshot-at: what the player sees at the given passes.
  if (!e.options.screenshots_at.empty()) {
    e.vm->hooks.pass_done = [](Engine& en) {
      for (const Options::TimedShot& shot : en.options.screenshots_at)
        if (shot.pass == en.vm->passes && !gfx::write_presented_screenshot(en, shot.file)) en.output_failed = true;
    };
  }
}

}  // namespace rt
