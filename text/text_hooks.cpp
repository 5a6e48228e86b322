// The text subsystem's place in the script machine: the three text opcodes,
// the console reset and the shutdown steps.
#include "core/engine.h"
#include "script/script_machine.h"
#include "text/text_builtins.h"
#include "text/text_state.h"

namespace txt {

namespace {

void on_text(rt::Engine& e, std::string_view bytes) { append_text(e, bytes); }

bool on_text_proc(rt::Engine& e, rt::Thread& t) {
  const bool again = line_step(e, t, t.frame().pc);
  run_hook_calls(e, t);
  return again;
}

void on_text_ctrl(rt::Engine& e, rt::Thread& t, std::string_view code) {
  control(e, t, code);
  run_hook_calls(e, t);
}

void on_reset(rt::Engine& e) {
  if (!e.vm->console_kept) reset_console(e);
}

void on_shutdown(rt::Engine& e) {
  State& s = *e.text;
  reset_console(e);
  close_glyph_cache(e);
  if (s.fonts) s.fonts->remove_added_fonts();
  s.loaded_font_files.clear();
}

}  // namespace

void install_text_hooks(rt::Engine& e) {
  rt::Hooks& h = e.vm->hooks;
  h.text_append = on_text;
  h.text_show = on_text_proc;
  h.text_control = on_text_ctrl;
  h.on_reset.push_back(on_reset);
  h.on_shutdown.push_back(on_shutdown);
}

}  // namespace txt
