// The shell's built-ins: the script menu mode and drag and drop.
#include "core/engine.h"
#include "script/script_machine.h"
#include "shell/input.h"
#include "shell/shell.h"

namespace shell {
namespace {

using rt::Call;
using rt::Progress;

// While a script shows its own menu, the menu bar's requests wait, and the
// thread's click regions are set aside for the menu's own.
Progress menu_mode_begin(Call& c) {
  shell_of(c.engine).menu_mode = true;
  set_regions_aside(c.thread);
  return done(c, 0);
}

Progress menu_mode_end(Call& c) {
  Shell& s = shell_of(c.engine);
  s.menu_mode = false;
  s.last_served = kReqNone;
  restore_regions(c.thread);
  return done(c, 0);
}

Progress drop_enable(Call& c) {
  Shell& s = shell_of(c.engine);
  s.drop_enabled = true;
  s.dropped.clear();
  return done(c, 0);
}

Progress get_drop_file(Call& c) {
  c.ret_string(shell_of(c.engine).dropped);
  return Progress::Done;
}

constexpr auto kTable = rt::handler_table<rt::Subsystem::shell>({
    {"menu_mode_begin", menu_mode_begin},
    {"menu_mode_end", menu_mode_end},
    {"drop_enable", drop_enable},
    {"get_drop_file", get_drop_file},
});

}  // namespace

std::span<const rt::BuiltinEntry> shell_builtins() { return kTable; }

}  // namespace shell
