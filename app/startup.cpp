// Start-up, the run loop and shutdown of the program.
//
// [SECTION] Start-up: folders, environment file, single instance, settings,
//           window, image-cache budget, the initialisation run
// [SECTION] Run loop
// [SECTION] Shutdown
#include <cstdio>
#include <new>

#include "app/program.h"
#include "base/crc32.h"
#include "base/game_names.h"
#include "base/text_file.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "core/trace.h"
#include "graphics/capture.h"
#include "graphics/display.h"
#include "graphics/window_mode.h"
#include "persistence/saves.h"
#include "platform/encoding.h"
#include "platform/font_rasterizer.h"
#include "platform/input_script.h"
#include "res/runtime.h"
#include "resources/resources.h"
#include "script/debugger.h"
#include "script/interpreter.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/script_error.h"
#include "script/script_file.h"
#include "script/script_machine.h"
#include "shell/input.h"
#include "shell/overlay.h"
#include "shell/shell.h"
#include "sound/sound_engine.h"
#include "text/announce.h"
#include "text/text_state.h"

namespace rt {

int env_load(Engine& e, std::string_view file_name) {
  e.env.clear();
  res::OpenedResource r = res::Ffopen_resource(e, file_name, "rt");
  if (!r.file) return -1;
  e.env.parse(r.file, r.size);
  return 0;
}

namespace {

// The settings file: "<config>/quorel/<REG_GLOBAL>/<REG_LOCAL>.ini", where a
// backslash in a section name makes a nested folder as the registry key
// did. A name that climbs out or is absolute is refused: the settings then
// live in memory only, never in a file another game or program owns.
std::string settings_file_path(Engine& e) {
  if (!e.options.settings.empty()) return plat::absolute_path(e.options.settings);
  std::string path = plat::join_path(plat::config_home(), "quorel");
  for (auto [key, fallback] : {std::pair{"REG_GLOBAL", msg::kDefaultRegGlobal}, {"REG_LOCAL", msg::kDefaultRegLocal}}) {
    std::string name = env_string(e, key, 128, fallback);
    if (const char* why = base::unsafe_name_reason(name)) {
      report_once(e, std::string(key) + " \"" + plat::sjis_to_utf8(name) + "\" is refused (" + why +
                            "); the settings are not read or written");
      return {};
    }
    // Converted one component at a time: a trail byte 0x5C stays in its character.
    for (std::string_view part : base::name_components(name)) path = plat::join_path(path, plat::sjis_to_utf8(part));
  }
  return path + ".ini";
}

// Steps 2-5: folders and the environment file, retried once from the
// program's own folder. `searched` gets the folders tried.
bool find_environment_file(Engine& e, std::vector<std::string>& searched) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    res::register_startup_folders(e);
    searched.push_back(e.files.current_directory());
    if (res::FfExists(e, msg::kEnvironmentFile)) return true;
    if (attempt == 0) e.files.set_current_directory(plat::executable_directory());
  }
  return false;
}

// The engine's own message names nothing; say which file was looked for,
// where, and under which folder and archive names, on stderr and in the log.
void explain_missing_environment_file(Engine& e, const std::vector<std::string>& searched) {
  std::string text = std::string("quorel: ") + msg::kEnvironmentFile + " was not found. Looked in ";
  for (size_t i = 0; i < searched.size(); ++i) {
    if (i > 0) text += i + 1 == searched.size() ? " and " : ", ";
    text += searched[i];
  }
  text += ": in the subfolders fastdata, update, scenario, data, slowdata, stream and voice (each also "
          "numbered 1-9, as in data2), and in the archives of the same names (fastdata.arc, data.arc, "
          "data2.arc, ...). A game in development keeps its files in GAME/fastdata; a packed game in "
          "GAME/data.arc or GAME/fastdata.arc. See docs/first-game.md.";
  std::fprintf(stderr, "%s\n", text.c_str());
  // The log belongs to the game's folder (and its mode), not the program's.
  e.files.set_current_directory(searched.front());
  res::register_startup_folders(e);
  debug_log(e, plat::utf8_to_sjis(text).value_or(text));
}

constexpr uint32_t kStartEvent = 0x38579896;

void run_hooks(Engine& e, const std::vector<void (*)(Engine&)>& hooks) {
  for (auto hook : hooks) hook(e);
}

// Development mode shows each shutdown step in the title bar.
void shutdown_step(Engine& e, const char* word) {
  if (!rt::is_release_mode(e)) e.host->set_title(word);
}

}  // namespace

uint32_t image_cache_budget(std::optional<uint64_t> available_memory) {
  uint64_t half = available_memory.value_or(0x100000) / 2;
  if (half < 0x400000) half = 0x400000;
  if (half > 0x10000000) half = 0x10000000;
  return static_cast<uint32_t>(half);
}

// Self-voicing (--speak or the port's settings value Speak), and the text
// hook: from the command line, else from the port's settings (where the
// path must be absolute, see plat::LineSink). One that cannot be used is
// said on stderr; the game runs on without it.
static void attach_listeners(Engine& e) {
  std::string spec = e.options.text_hook;
  const bool from_settings = spec.empty();
  if (from_settings) {
    if (auto v = e.settings.get_string("TextHook", plat::Section::Port)) spec = plat::sjis_to_utf8(*v);
  }
  if (e.options.speak || e.settings.get_int("Speak", plat::Section::Port).value_or(0) != 0)
    txt::set_self_voicing(e, true);
  if (spec.empty()) return;
  std::string why;
  if (!txt::attach_text_hook(e, spec, from_settings, &why)) {
    std::fprintf(stderr, "quorel: text hook %s: %s\n", spec.c_str(), why.c_str());
    if (!from_settings) e.output_failed = true;
  }
}

// [SECTION] Start-up ---------------------------------------------------------

std::optional<int> start_up(Engine& e) {
  e.random.seed(e.options.seed ? *e.options.seed : static_cast<uint32_t>(plat::unix_time_now()));
  e.window_title = msg::kDefaultTitle;

  std::vector<std::string> searched;
  if (!find_environment_file(e, searched)) {
    error_box(e, msg::kMissingStartupFiles);
    explain_missing_environment_file(e, searched);
    return -1;
  }
  env_load(e, msg::kEnvironmentFile);

  e.window_title = env_string(e, "TITLEBAR", 128, msg::kDefaultTitle);
  switch (e.instance.acquire(e.window_title)) {
    case plat::InstanceLock::Result::Acquired: break;
    case plat::InstanceLock::Result::Failed:
      // The game cannot tell whether another copy runs: it does not start,
      // and says why.
      std::fprintf(stderr, "quorel: cannot take the single-instance lock: %s\n", e.instance.error().c_str());
      return 1;
    case plat::InstanceLock::Result::AlreadyRunning:
      e.host->message_box(e.window_title, msg::kAlreadyRunning, plat::Buttons::Ok, plat::Icon::Error);
      return 0;
  }

  e.settings = plat::SettingsStore(settings_file_path(e));
  e.settings.load();
  if (e.settings.get_int("AbnormalTerminateFlg").value_or(0) != 0 && !rt::is_release_mode(e)) {
    if (e.host->message_box(msg::kAbnormalEndCaption, msg::kAbnormalEndText, plat::Buttons::YesNo,
                            plat::Icon::Warning) == plat::Answer::Yes)
      e.cache_discard_request = true;
  }
  // Written through at once, so that a crash leaves the flag set.
  e.settings.set_int("AbnormalTerminateFlg", 1);
  e.settings.save();
  attach_listeners(e);

  // The fonts are looked up while the window opens.
  txt::font_library(e).prepare();

  e.client_width = env_int(e, "CLIENT_WIDTH", 640);
  e.client_height = env_int(e, "CLIENT_HEIGHT", 480);
  if (e.client_width < 1 || e.client_width > 8192) e.client_width = 640;
  if (e.client_height < 1 || e.client_height > 8192) e.client_height = 480;
  plat::WindowConfig window;
  window.title = e.window_title;
  window.client_width = e.client_width;
  window.client_height = e.client_height;
  // The player's saved choices; the command line's, for this run only.
  shell::ViewSettings& view = shell::shell_of(e).view;
  view = shell::saved_view(e);
  if (e.options.scale) view.scale = *e.options.scale;
  if (e.options.filter) view.linear_filter = *e.options.filter == Filter::Linear;
  if (e.options.renderer) view.renderer = *e.options.renderer;
  window.scale = view.scale;
  window.linear_filter = view.linear_filter;
  window.renderer = view.renderer;
  gfx::read_window_settings(e, window);
  if (!e.host->open_window(window)) {
    std::fprintf(stderr, "quorel: %s\n", plat::sjis_to_utf8(msg::kWindowFailed).c_str());
    return 1;
  }
  QUOREL_TRACE(e, graphics, "window of %dx%d at scale %d, %s filter, renderer %s, drawn by the %s renderer",
               window.client_width, window.client_height, window.scale, window.linear_filter ? "linear" : "nearest",
               shell::renderer_word(window.renderer), e.host->renderer_name());
  e.host->inhibit_screen_saver();
  shell::start_overlay(e);
  if (!e.options.debug_socket.empty()) debugger_start(e, e.options.debug_socket);
  snd::SndInit(e);

  if (!rt::is_release_mode(e)) {
    auto lines = res::read_fastread_lines(e, 3);
    if (!lines.empty()) e.savedata_dir = lines[0];
  }

  e.image_cache_budget = image_cache_budget(plat::available_memory());
  gfx::create_screen_page(e);
  reset_script_machine(e);

  // The initialisation run: "start" and its $init@GLOBAL.
  ScriptMachine& vm = *e.vm;
  LoadedScript& start = load_script(e, "start");
  CodeAddress init = lookup_function(e, base::crc32("$init@GLOBAL"), start.base);
  if (init == 0) {
    error_box(e, msg::kNoInitFunction);
    shut_down(e);
    return 0;
  }
  vm.current->frame().set_pc(init);
  vm.initialising = true;
  run_scheduler(e);
  make_handlers_permanent(e);
  run_hooks(e, vm.hooks.on_init_done);
  vm.initialising = false;
  gfx::apply_saved_window_state(e);
  return std::nullopt;
}

void reset_script_machine(Engine& e) {
  ScriptMachine& vm = *e.vm;
  if (!vm.read_marks.loaded) readmarks_load(e);
  vm.play.skip_all = vm.play.read_skip = vm.play.auto_mode = false;
  vm.play.already_read = false;
  if (vm.keep_console) {
    vm.keep_console = false;
    vm.console_kept = true;
  } else {
    vm.console_kept = false;
  }
  free_handlers(e, false);
  vm.no_draw_wait = false;
  vm.skip_stop = 0;
  run_hooks(e, vm.hooks.on_reset);
  vm.global.clear();
  free_all_threads(e);
  make_current(e, create_thread(e, 0));
}

// [SECTION] Run loop -----------------------------------------------------------

namespace {

CodeAddress entry_point(Engine& e, LoadedScript& s) {
  if (s.entry_point >= 0) return s.address_of(static_cast<uint32_t>(s.entry_point));
  script_error(e, base::format(msg::kNoEntryPoint, s.name.c_str()));
  return s.base;
}

}  // namespace

void run_loop(Engine& e) {
  ScriptMachine& vm = *e.vm;
  for (;;) {
    // 1. A fresh machine at the start script (or the one a load chose).
    reset_script_machine(e);
    CodeAddress entry;
    if (vm.start_scenario.empty()) {
      LoadedScript& s = load_script(e, "start");
      if (s.entry_point < 0) script_error(e, base::format(msg::kNoEntryPoint, "start.mjs"));
      entry = s.entry_point >= 0 ? s.address_of(static_cast<uint32_t>(s.entry_point)) : s.base;
    } else {
      std::string name = vm.start_scenario;
      vm.start_scenario.clear();
      entry = entry_point(e, load_script(e, name));
    }
    vm.current->frame().set_pc(entry);
    int32_t resume = 0;
    int32_t argument = 0;
    for (;;) {
      // 2. The start event, with (argument, "", resume flag).
      Thread& t = *vm.current;
      push(e, t, int_value(argument));
      push(e, t, string_value(new_string({})));
      push(e, t, int_value(resume));
      raise_event(e, kStartEvent, 3, false);
      // 3. Run.
      int32_t result = run_scheduler(e);
      if (vm.hooks.restore_front_buffer) vm.hooks.restore_front_buffer(e);
      if (result == kRunLoad && vm.hooks.restore_saved_game) {
        reset_script_machine(e);
        argument = vm.hooks.restore_saved_game(e);
        resume = 1;
        continue;
      }
      if (result == kRunTitle) {
        // A start script that ends at once must not spin without end: the
        // restart counts as a pass and lets the window events in.
        ++vm.passes;
        if (vm.hooks.pass_done) vm.hooks.pass_done(e);
        e.retry_repeats = 0;
        if (e.options.max_frames && vm.passes >= *e.options.max_frames) return;
        pump_events(e);
        if (vm.quit_requested) return;
        break;
      }
      return;
    }
  }
}

// [SECTION] Shutdown -----------------------------------------------------------

void shut_down(Engine& e) {
  ScriptMachine& vm = *e.vm;
  if (vm.shut_down) return;
  vm.shut_down = true;
  shutdown_step(e, "thumbnail");
  readmarks_save(e);
  run_hooks(e, vm.hooks.on_shutdown);  // system data, console, and what other subsystems keep
  shutdown_step(e, "eternal");
  vm.persistent.clear();
  shutdown_step(e, "global");
  vm.global.clear();
  shutdown_step(e, "QUOREL");
  free_all_threads(e);
  shutdown_step(e, "ReleaseEventAll");
  free_handlers(e, true);
  vm.no_draw_wait = false;
  vm.skip_stop = 0;
  shutdown_step(e, "ForExec");
  free_scripts(e);
  vm.text_files.clear();

  debugger_stop(e);
  shell::write_settings(e);
  e.host->set_title(e.window_title);
}

int run_program(const Options& options) {
  std::unique_ptr<plat::Host> host;
  if (options.headless) {
    host = plat::make_headless_host(options.answer);
  } else {
    // Without a display the program would run where nobody sees it.
    auto set = [](const char* name) {
      auto v = plat::environment_variable(name);
      return v && !v->empty();
    };
    const bool display = set("DISPLAY") || set("WAYLAND_DISPLAY") || set("SDL_VIDEODRIVER");
    if (display) host = plat::make_sdl_host(options.answer);
    if (!host) {
      std::fprintf(stderr, "quorel: no display: run with --headless, or set DISPLAY\n");
      return 2;
    }
  }
  std::vector<plat::TimedEvent> input_events;
  if (!options.input.empty()) {
    std::string error;
    if (!plat::load_input_script(options.input, &input_events, &error)) {
      std::fprintf(stderr, "quorel: %s\n", error.c_str());
      return 2;
    }
  }
  plat::install_termination_handlers();
  Engine e(options, std::move(host));
  if (!options.input.empty()) shell::set_input_script(e, std::move(input_events));
  int code = 0;
  try {
    if (auto early = start_up(e)) {
      code = *early;
    } else {
      run_loop(e);
      shut_down(e);
    }
  } catch (const ProcessExit& exit) {
    code = exit.code;
    // A Cancel in an error box ends the run without the shutdown: what the
    // player unlocked is kept all the same.
    if (!e.vm->shut_down && e.vm->persistent_loaded) persist::write_system_data(e);
  } catch (const std::bad_alloc&) {
    e.host->message_box("malloc", msg::kOutOfMemory, plat::Buttons::Ok, plat::Icon::Error);
    code = -1;
  }
  debugger_stop(e);  // also when the run ended through an error box
  // An output that was asked for and could not be written fails the run.
  bool written = true;
  if (!options.screenshot.empty()) written &= gfx::write_screenshot(e, options.screenshot);
  if (!options.screenshot_presented.empty())
    written &= gfx::write_presented_screenshot(e, options.screenshot_presented);
  // The game has ended normally, but what was asked for is missing.
  if ((!written || e.output_failed) && code == 0) code = 1;
  return code & 0xFF;
}

}  // namespace rt
