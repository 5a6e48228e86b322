// Start-up, the run loop and shutdown of the program.
//
// [SECTION] Start-up: folders, environment file, single instance, settings,
//           window, image-cache budget, the initialisation run
// [SECTION] Run loop
// [SECTION] Shutdown
#include <cstdio>

#include "platform/encoding.h"
#include "res/runtime.h"
#include "resources/resources.h"
#include "runtime/engine.h"
#include "runtime/error_report.h"
#include "runtime/program.h"
#include "runtime/script_file.h"

namespace rt {
namespace {

std::string settings_file_path(const Engine& e) {
  if (!e.options.settings.empty()) return plat::absolute_path(e.options.settings);
  std::string global = plat::sjis_to_utf8(env_string(e, "REG_GLOBAL", 128, msg::kDefaultRegGlobal));
  std::string local = plat::sjis_to_utf8(env_string(e, "REG_LOCAL", 128, msg::kDefaultRegLocal));
  // Section names come from the game; keep them single path components.
  for (std::string* s : {&global, &local})
    for (char& c : *s)
      if (c == '/' || c == '\\') c = '_';
  return plat::join_path(plat::join_path(plat::join_path(plat::config_home(), "quorel"), global), local + ".ini");
}

// Steps 2-5: folders and the environment file, retried once from the
// program's own folder.
bool find_environment_file(Engine& e) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    res::register_startup_folders(e);
    if (res::FfExists(e, msg::kEnvironmentFile)) return true;
    if (attempt == 0) e.files.set_current_directory(plat::executable_directory());
  }
  return false;
}

// Half the available memory, between 4 MiB and 256 MiB.
uint32_t image_cache_budget() {
  uint64_t available = plat::available_memory().value_or(0x100000);
  uint64_t half = available / 2;
  if (half < 0x400000) half = 0x400000;
  if (half > 0x10000000) half = 0x10000000;
  return static_cast<uint32_t>(half);
}

}  // namespace

// [SECTION] Start-up ---------------------------------------------------------

std::optional<int> start_up(Engine& e) {
  e.random.seed(e.options.seed ? *e.options.seed : static_cast<uint32_t>(plat::unix_time_now()));
  e.window_title = msg::kDefaultTitle;

  if (!find_environment_file(e)) {
    error_box(e, msg::kMissingStartupFiles);
    return -1;
  }
  env_load(e, msg::kEnvironmentFile);

  e.window_title = env_string(e, "TITLEBAR", 128, msg::kDefaultTitle);
  switch (e.instance.acquire(e.window_title)) {
    case plat::InstanceLock::Result::Acquired: break;
    case plat::InstanceLock::Result::Failed: return 0;
    case plat::InstanceLock::Result::AlreadyRunning:
      e.host->message_box(e.window_title, msg::kAlreadyRunning, plat::Buttons::Ok, plat::Icon::Error);
      return 0;
  }

  e.settings = plat::SettingsStore(settings_file_path(e));
  e.settings.load();
  if (e.settings.get_int("AbnormalTerminateFlg").value_or(0) != 0 && !res::is_release_mode(e)) {
    if (e.host->message_box(msg::kAbnormalEndCaption, msg::kAbnormalEndText, plat::Buttons::YesNo,
                            plat::Icon::Warning) == plat::Answer::Yes)
      e.cache_discard_request = true;
  }
  // Written through at once, so that a crash leaves the flag set.
  e.settings.set_int("AbnormalTerminateFlg", 1);
  e.settings.save();

  e.client_width = env_int(e, "CLIENT_WIDTH", 640);
  e.client_height = env_int(e, "CLIENT_HEIGHT", 480);
  if (e.client_width < 1 || e.client_width > 8192) e.client_width = 640;
  if (e.client_height < 1 || e.client_height > 8192) e.client_height = 480;
  bool full_screen = e.settings.get_int("WinStat").value_or(0) == 1;
  e.settings.set_int("WinStat", 0);
  e.settings.save();
  if (e.options.fullscreen) full_screen = *e.options.fullscreen;

  plat::WindowConfig window;
  window.title = e.window_title;
  window.client_width = e.client_width;
  window.client_height = e.client_height;
  window.scale = e.options.scale;
  window.linear_filter = e.options.filter == Filter::Linear;
  window.fullscreen = full_screen;
  if (!e.host->open_window(window)) {
    std::fprintf(stderr, "quorel: %s\n", plat::sjis_to_utf8(msg::kWindowFailed).c_str());
    return 1;
  }
  e.host->inhibit_screen_saver();

  if (!res::is_release_mode(e)) {
    auto lines = res::read_fastread_lines(e, 3);
    if (!lines.empty()) e.res->savedata_dir = lines[0];
  }

  e.image_cache_budget = image_cache_budget();

  // The initialisation run: "start" and its $init@GLOBAL.
  load_script(e, "start");
  return std::nullopt;
}

// [SECTION] Run loop -----------------------------------------------------------

void run_loop(Engine& e) {}

// [SECTION] Shutdown -----------------------------------------------------------

void shut_down(Engine& e) {
  e.settings.set_int("AbnormalTerminateFlg", 0);
  e.settings.save();
}

int run_program(const Options& options) {
  std::unique_ptr<plat::Host> host;
  if (options.headless) {
    host = plat::make_headless_host(options.answer);
  } else {
    host = plat::make_sdl_host(options.answer);
    if (!host) {
      std::fprintf(stderr, "quorel: cannot open a display; use --headless to run without a window\n");
      return 1;
    }
  }
  Engine e(options, std::move(host));
  try {
    if (auto code = start_up(e)) return *code & 0xFF;
    run_loop(e);
    shut_down(e);
  } catch (const ProcessExit& exit) {
    return exit.code & 0xFF;
  }
  return 0;
}

}  // namespace rt
