// Read marks and play modes, as scripts see them.
#include "base/sjis.h"
#include "core/engine.h"
#include "script/builtins/tables.h"
#include "script/read_marks.h"
#include "script/script_file.h"
#include "script/script_machine.h"

namespace rt {
namespace {

Progress is_auto_mode(Call& c) { return done(c, c.engine.vm->play.auto_mode ? 1 : 0); }
Progress is_fast_mode(Call& c) { return done(c, is_skipping(c.engine) ? 1 : 0); }
Progress set_auto_mode(Call& c) {
  set_play_mode_number(c.engine, 3);
  return done(c, 0);
}
Progress set_fast_mode(Call& c) {
  set_play_mode_number(c.engine, 1);
  return done(c, 0);
}
Progress set_fast_mode_all(Call& c) {
  set_play_mode_number(c.engine, 4);
  return done(c, 0);
}
Progress set_read_skip_mode(Call& c) {
  set_play_mode_number(c.engine, 2);
  return done(c, 0);
}
Progress reset_fast_mode(Call& c) {
  set_play_mode_number(c.engine, 0);
  return done(c, 0);
}
Progress is_line_read(Call& c) { return done(c, c.engine.vm->play.already_read ? 1 : 0); }

Progress is_read(Call& c) {
  std::string name = normalise_script_name(c.engine, c.str_arg(1));
  for (auto& r : c.engine.vm->read_marks.records)
    if (base::sjis_equal_nocase(r->name, name) && r->line_count > 0) return done(c, 1);
  return done(c, 0);
}

Progress set_auto_skip(Call& c) {
  c.engine.vm->play.auto_skip = c.int_arg(1) != 0;
  return done(c, 0);
}

Progress fast_mode_disable(Call& c) {
  ScriptMachine& vm = *c.engine.vm;
  ++vm.skip_stop;
  if (vm.hooks.caps_off) vm.hooks.caps_off(c.engine);
  return done(c, 0);
}

Progress fast_mode_enable(Call& c) {
  c.engine.vm->skip_stop = 0;
  return done(c, 0);
}

Progress set_fast_mode_read_only(Call& c) {
  c.engine.settings.set_int("FastModeFlg_AR", c.int_arg(1));
  c.engine.settings.save();
  return done(c, 0);
}

Progress get_play_mode(Call& c) {
  const PlayModes& p = c.engine.vm->play;
  return done(c, (p.auto_mode ? 4 : 0) + (p.read_skip ? 2 : 0));
}

Progress set_play_mode(Call& c) {
  PlayModes& p = c.engine.vm->play;
  int32_t bits = c.int_arg(1);
  p.skip_all = (bits & 1) != 0;
  p.read_skip = (bits & 2) != 0;
  p.auto_mode = (bits & 4) != 0;
  return done(c, 0);
}

constexpr auto kTable = handler_table<Subsystem::script>({
    {"is_auto_mode", is_auto_mode},
    {"is_fast_mode", is_fast_mode},
    {"set_auto_mode", set_auto_mode},
    {"set_fast_mode", set_fast_mode},
    {"set_fast_mode_all", set_fast_mode_all},
    {"set_read_skip_mode", set_read_skip_mode},
    {"reset_fast_mode", reset_fast_mode},
    {"is_line_read", is_line_read},
    {"is_read", is_read},
    {"set_auto_skip", set_auto_skip},
    {"fast_mode_disable", fast_mode_disable},
    {"fast_mode_enable", fast_mode_enable},
    {"set_fast_mode_read_only", set_fast_mode_read_only},
    {"get_play_mode", get_play_mode},
    {"set_play_mode", set_play_mode},
});

}  // namespace

std::span<const BuiltinEntry> play_mode_builtins() { return kTable; }

}  // namespace rt
