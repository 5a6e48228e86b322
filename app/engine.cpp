#include "core/engine.h"

#include "app/program.h"
#include "app/subsystems.h"
#include "core/trace.h"

#include "graphics/state.h"
#include "mahjong/state.h"
#include "persistence/saves.h"
#include "resources/resources.h"
#include "script/debugger.h"
#include "script/dispatch.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "shell/input.h"
#include "shell/overlay.h"
#include "shell/shell.h"
#include "sound/sound_state.h"
#include "text/text_state.h"

namespace rt {

namespace {

plat::Clock make_clock(const Options& o) {
  return o.virtual_clock ? plat::Clock::virtual_clock(*o.virtual_clock) : plat::Clock();
}

std::string starting_directory(const Options& o) {
  return o.game_dir.empty() ? plat::process_working_directory() : plat::absolute_path(o.game_dir);
}

}  // namespace

Engine::Engine(Options opts, std::unique_ptr<plat::Host> h)
    : options(std::move(opts)),
      host(std::move(h)),
      clock(make_clock(options)),
      files(starting_directory(options)),
      trace_mask(rt::trace_mask(options.trace, nullptr).value_or(0)),
      res(std::make_unique<res::Resources>()),
      vm(std::make_unique<ScriptMachine>()),
      debugger(std::make_unique<Debugger>()),
      gfx(std::make_unique<gfx::State>()),
      mahjong(std::make_unique<mj::State>()),
      text(std::make_unique<txt::State>()),
      sound(std::make_unique<snd::State>()),
      input(std::make_unique<shell::InputState>()),
      saves(std::make_unique<persist::State>()),
      shell(std::make_unique<shell::Shell>()) {
  build_dispatch_table(*this, all_builtin_tables());
  install_subsystem_hooks(*this);
  vm->hooks.shut_down = shut_down;
}

Engine::~Engine() {
  // Threads and variables go before the subsystems whose objects they name.
  // A process end from inside a built-in (Cancel in an error box) leaves
  // values on the thread stacks; release them with the threads.
  if (vm) free_all_threads(*this);
  shell::stop_overlay(*this);
  debugger.reset();
  vm.reset();
}

}  // namespace rt
