// [SECTION] Requests
// [SECTION] Menu bar
// [SECTION] Commands and keys
// [SECTION] Confirmations, drop, settings at exit
// [SECTION] Hooks
#include "shell/shell.h"

#include "base/game_names.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/env_file.h"
#include "core/error_report.h"
#include "core/game_folders.h"
#include "graphics/window_mode.h"
#include "platform/encoding.h"
#include "platform/system.h"
#include "res/shell.h"
#include "script/outside_programs.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/script_hooks.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "shell/input.h"
#include "shell/overlay.h"
#include "shell/settings.h"
#include "text/announce.h"
#include "text/console.h"
#include "text/text_state.h"

namespace shell {

Shell& shell_of(rt::Engine& e) { return *e.shell; }

namespace {

bool env_on(rt::Engine& e, const char* key, int32_t fallback = 0) { return rt::env_int(e, key, fallback) == 1; }

bool snapshot_exists(rt::Engine& e) {
  Shell& s = shell_of(e);
  return s.snapshot_exists && s.snapshot_exists(e);
}

void close_movie(rt::Engine& e) {
  Shell& s = shell_of(e);
  if (s.close_movie && e.vm->hooks.movie_playing && e.vm->hooks.movie_playing(e)) {
    s.close_movie(e);
    s.movie_interrupted = true;
  }
}

// With a display only: tests and headless runs start nothing on the desktop.
void open_on_desktop(rt::Engine& e, const std::string& native_path) {
  if (e.host->headless() || native_path.empty()) return;
  plat::spawn_detached({"xdg-open", native_path});
}

}  // namespace

// [SECTION] Requests ------------------------------------------------------------------

bool request(rt::Engine& e, int32_t code, bool once) {
  Shell& s = shell_of(e);
  if (e.input->blocked) return false;  // mouse_disable blocks the menus too
  if (once && code == s.last_served) return false;
  s.request = code;
  return true;
}

int32_t serve_requests(rt::Engine& e) {
  Shell& s = shell_of(e);
  rt::ScriptMachine& vm = *e.vm;
  if (s.menu_mode) {
    if (s.movie_interrupted) {
      s.movie_interrupted = false;
      if (rt::Thread* main = rt::find_thread(e, 0)) rt::call_script_hook(e, *main, kMovieInterruptedHook);
    }
    return 0;
  }
  const int32_t code = s.request;
  if (code == kReqNone) return 0;
  s.request = kReqNone;
  s.last_served = code;
  rt::Thread* main = rt::find_thread(e, 0);
  auto call = [&](uint32_t key) {
    if (main) rt::call_script_hook(e, *main, key);
  };
  switch (code) {
    case kReqLoad: call(kLoadHook); break;
    case kReqSave: call(kSaveHook); break;
    case kReqF12: call(kF12Hook); break;
    case kReqConfig: call(kConfigHook); break;
    case kReqSaveAs:
      if (s.save_as_dialog) s.save_as_dialog(e);
      break;
    case kReqLoadByName:
      // An accepted load ends the pass through the saved games' own hook.
      if (s.load_dialog) s.load_dialog(e);
      break;
    default: break;
  }
  (void)vm;
  return 0;
}

// [SECTION] Menu bar ----------------------------------------------------------------

namespace {

// "終了(&X)\tF4" -> label "終了(X)", key "F4".
MenuItem item(int id, const char* sjis_label) {
  std::string text = plat::sjis_to_utf8(sjis_label);
  MenuItem m;
  m.id = id;
  size_t tab = text.find('\t');
  if (tab != std::string::npos) {
    m.key = text.substr(tab + 1);
    text.resize(tab);
  }
  for (char c : text)
    if (c != '&') m.label += c;
  return m;
}

MenuItem separator() { return MenuItem{}; }

}  // namespace

std::vector<Menu> menu_bar(rt::Engine& e) {
  Shell& s = shell_of(e);
  const bool neko = env_on(e, "NEKOMENU");
  const bool noconfig = env_on(e, "NOCONFIG") && !neko;
  const bool no_save_as = env_on(e, "NOSAVEAS");
  const bool fn_disabled = env_on(e, "FNDISABLE");
  const bool loadsave_disabled = env_on(e, "LOADSAVEDISABLE");
  const bool capture_disabled = env_on(e, "CAPTUREDISABLE");
  const bool font_menu = rt::env_int(e, "FONTSEL", 0) != 0;
  std::string help = rt::env_string(e, "HELP_FILE", 128, "none");
  bool has_help = !(help.size() == 4 && (help[0] | 0x20) == 'n' && (help[1] | 0x20) == 'o' &&
                    (help[2] | 0x20) == 'n' && (help[3] | 0x20) == 'e');
  const bool full = gfx::is_full_screen(e);
  const bool cannot_save = !snapshot_exists(e) || e.input->blocked;

  std::vector<Menu> bar;
  Menu system{plat::sjis_to_utf8(msg::kMenuSystem), {}, {}};
  auto add = [](Menu& m, MenuItem i) { m.items.push_back(std::move(i)); };
  MenuItem save = item(kCmdSave, msg::kItemSave);
  save.greyed = loadsave_disabled || cannot_save;
  MenuItem load = item(kCmdLoad, msg::kItemLoad);
  load.greyed = loadsave_disabled;
  add(system, save);
  add(system, load);
  if (!no_save_as) {
    MenuItem save_as = item(kCmdSaveAs, msg::kItemSaveAs);
    save_as.greyed = loadsave_disabled || cannot_save;
    MenuItem load_by_name = item(kCmdLoadByName, msg::kItemLoadByName);
    load_by_name.greyed = loadsave_disabled;
    if (neko) save_as.key.clear(), load_by_name.key.clear();  // Alt+F2/F3 are off
    add(system, save_as);
    add(system, load_by_name);
  }
  add(system, separator());
  MenuItem capture = item(kCmdCapture, msg::kItemCapture);
  capture.greyed = capture_disabled;
  add(system, capture);
  add(system, separator());
  add(system, item(kCmdToTitle, msg::kItemToTitle));
  add(system, item(kCmdQuit, msg::kItemQuit));
  bar.push_back(std::move(system));

  Menu screen{plat::sjis_to_utf8(msg::kMenuScreen), {}, {}};
  MenuItem full_item = item(kCmdFullScreen, msg::kItemFullScreen);
  full_item.checked = full;
  MenuItem window_item = item(kCmdWindowed, msg::kItemWindowed);
  window_item.checked = !full;
  add(screen, full_item);
  add(screen, window_item);
  add(screen, separator());
  add(screen, item(kCmdScreenOption, msg::kItemScreenOption));
  if (font_menu) add(screen, item(kCmdFont, msg::kItemFont));
  bar.push_back(std::move(screen));

  Menu settings{plat::sjis_to_utf8(msg::kMenuSettings), {}, {}};
  add(settings, item(kCmdSpeed, msg::kItemSpeed));
  add(settings, item(kCmdSound, msg::kItemSound));
  if (!fn_disabled) {
    add(settings, separator());
    const rt::PlayModes& p = e.vm->play;
    MenuItem autoplay = item(kCmdAutoPlay, msg::kItemAutoPlay);
    autoplay.checked = p.auto_mode;
    MenuItem read_skip = item(kCmdReadSkip, msg::kItemReadSkip);
    read_skip.checked = p.read_skip;
    add(settings, autoplay);
    add(settings, read_skip);
    if (neko) {
      add(settings, item(kCmdBacklog, msg::kItemBacklog));
    } else {
      MenuItem skip = item(kCmdForceSkip, msg::kItemForceSkip);
      skip.checked = p.skip_all;
      add(settings, skip);
    }
    if (noconfig) add(settings, item(kCmdConfig, msg::kItemConfig));
  }
  bar.push_back(std::move(settings));

  if (neko) {
    Menu mahjong{plat::sjis_to_utf8(msg::kMenuMahjong), {}, {}};
    Menu level{plat::sjis_to_utf8(msg::kMenuDifficulty), {}, {}};
    const char* levels[] = {msg::kItemNanido0, msg::kItemNanido1, msg::kItemNanido2, msg::kItemNanido3,
                            msg::kItemNanido4};
    const int32_t nanido = get(e, setting::kNanido);
    for (int i = 0; i < 5; ++i) {
      MenuItem m = item(kCmdNanido + i, levels[i]);
      m.checked = nanido == i;
      add(level, m);
    }
    Menu speed{plat::sjis_to_utf8(msg::kMenuGameSpeed), {}, {}};
    const char* speeds[] = {msg::kItemGameSpeed0, msg::kItemGameSpeed1, msg::kItemGameSpeed2, msg::kItemGameSpeed3};
    const int32_t game_speed = get(e, setting::kGameSpeed);
    for (int i = 0; i < 4; ++i) {
      MenuItem m = item(kCmdGameSpeed + i, speeds[i]);
      m.checked = game_speed == i;
      add(speed, m);
    }
    mahjong.submenus.push_back(std::move(level));
    mahjong.submenus.push_back(std::move(speed));
    bar.push_back(std::move(mahjong));
  }

  Menu help_menu{plat::sjis_to_utf8(msg::kMenuHelp), {}, {}};
  if (has_help) add(help_menu, item(kCmdHelp, msg::kItemHelp));
  if (!rt::is_release_mode(e)) add(help_menu, item(kCmdErrorLog, msg::kItemErrorLog));
  add(help_menu, item(kCmdAbout, msg::kItemAbout));
  bar.push_back(std::move(help_menu));
  (void)s;
  return bar;
}

// [SECTION] Commands and keys ------------------------------------------------------------

namespace {

constexpr int kVkPageUp = 0x21;
constexpr int kVkF1 = 0x70;

void page_up(rt::Engine& e) {
  plat::Event down;
  down.type = plat::Event::Type::KeyDown;
  down.vk = kVkPageUp;
  handle_event(e, down);
  plat::Event up = down;
  up.type = plat::Event::Type::KeyUp;
  handle_event(e, up);
}

void play_mode(rt::Engine& e, int mode) {
  release_middle(e);
  rt::set_play_mode_number(e, mode);
}

void help(rt::Engine& e) {
  std::string file = rt::env_string(e, "HELP_FILE", 128, "none");
  if (file.size() == 4 && (file[0] | 0x20) == 'n' && (file[1] | 0x20) == 'o' && (file[2] | 0x20) == 'n' &&
      (file[3] | 0x20) == 'e')
    return;
  // Resolved inside the game folder: a name from the game never leaves it.
  if (const char* why = base::unsafe_name_reason(file)) {
    rt::report_once(e, "HELP_FILE \"" + plat::sjis_to_utf8(file) + "\" is refused: " + why);
    return;
  }
  if (!e.files.exists(file)) return;
  open_on_desktop(e, e.files.native_path(file));
}

void capture(rt::Engine& e) {
  if (env_on(e, "CAPTUREDISABLE")) return;
  capture_to_file(e);
}

}  // namespace

void run_command(rt::Engine& e, int id) {
  Shell& s = shell_of(e);
  switch (id) {
    case kCmdQuit: quit_with_confirmation(e); break;
    case kCmdFullScreen: gfx::set_full_screen(e, true); break;
    case kCmdWindowed: gfx::set_full_screen(e, false); break;
    case kCmdAbout: open_dialog(e, Dialog::About); break;
    case kCmdSpeed: open_dialog(e, Dialog::Speed); break;
    case kCmdSound: open_dialog(e, Dialog::Sound); break;
    case kCmdCapture: capture(e); break;
    case kCmdForceSkip: play_mode(e, 4); break;
    case kCmdSave:
      if (!env_on(e, "LOADSAVEDISABLE") && snapshot_exists(e)) request(e, kReqSave, true);
      break;
    case kCmdLoad:
      if (!env_on(e, "LOADSAVEDISABLE")) request(e, kReqLoad, true);
      break;
    case kCmdSaveAs:
      if (env_on(e, "LOADSAVEDISABLE") || !snapshot_exists(e)) break;
      close_movie(e);
      request(e, kReqSaveAs, false);
      break;
    case kCmdLoadByName:
      if (env_on(e, "LOADSAVEDISABLE")) break;
      close_movie(e);
      request(e, kReqLoadByName, false);
      break;
    case kCmdReadSkip: play_mode(e, 2); break;
    case kCmdAutoPlay: play_mode(e, 3); break;
    case kCmdBacklog: page_up(e); break;
    case kCmdToTitle: return_to_title_with_confirmation(e); break;
    case kCmdHelp: help(e); break;
    case kCmdTopmost:
      s.topmost = !s.topmost;
      e.host->set_topmost(s.topmost);
      put(e, setting::kTopmost, s.topmost ? 1 : 0);
      break;
    case kCmdConfig: request(e, kReqConfig, true); break;
    case kCmdScreenOption: open_dialog(e, Dialog::Screen); break;
    case kCmdFont: open_dialog(e, Dialog::Font); break;
    case kCmdErrorLog:
      if (!rt::is_release_mode(e)) open_on_desktop(e, rt::savedata_native_path(e, "debugout.log"));
      break;
    default:
      if (id >= kCmdNanido && id < kCmdNanido + 5) put(e, setting::kNanido, id - kCmdNanido);
      else if (id >= kCmdGameSpeed && id < kCmdGameSpeed + 4) put(e, setting::kGameSpeed, id - kCmdGameSpeed);
      break;
  }
}

bool function_key(rt::Engine& e, int vk, bool alt) {
  const bool fn_disabled = env_on(e, "FNDISABLE");
  const bool neko = env_on(e, "NEKOMENU");
  if (alt) {
    if (neko || env_on(e, "NOSAVEAS")) return false;
    if (vk == kVkF1 + 1) {
      if (snapshot_exists(e)) run_command(e, kCmdSaveAs);
      return true;
    }
    if (vk == kVkF1 + 2) {
      run_command(e, kCmdLoadByName);
      return true;
    }
    return false;
  }
  switch (vk - kVkF1 + 1) {
    case 1: help(e); return true;
    case 2:
      if (snapshot_exists(e)) request(e, kReqSave, true);
      return true;
    case 3: request(e, kReqLoad, true); return true;
    case 5: capture(e); return true;
    case 6:
      if (!fn_disabled) play_mode(e, 3);
      return true;
    case 7:
      if (!fn_disabled) play_mode(e, 2);
      return true;
    case 8:
      if (fn_disabled) return true;
      if (neko) page_up(e);
      else play_mode(e, 4);
      return true;
    case 9:
      if (!fn_disabled && env_on(e, "NOCONFIG")) request(e, kReqConfig, true);
      return true;
    case 11: {
      const txt::Console& c = e.text->console;
      if (!c.noted_script.empty()) rt::open_editor_at(e, c.noted_script, c.noted_line);
      return true;
    }
    case 12: request(e, kReqF12, true); return true;
    default: return false;
  }
}

// [SECTION] Confirmations, drop, settings at exit ---------------------------------------------

void write_settings(rt::Engine& e) {
  e.settings.set_int("AbnormalTerminateFlg", 0);
  gfx::write_window_settings(e);
  e.settings.set_int(setting::kNanido.name, get(e, setting::kNanido));
  e.settings.set_int(setting::kGameSpeed.name, get(e, setting::kGameSpeed));
  e.settings.set_int(setting::kTopmost.name, shell_of(e).topmost ? 1 : 0);
  e.settings.save();
}

bool quit_with_confirmation(rt::Engine& e) {
  Shell& s = shell_of(e);
  if (s.confirming) return false;  // a second close while the box is up
  write_settings(e);
  s.confirming = true;
  const plat::Answer a = rt::message_box(e, msg::kQuitConfirm, plat::Buttons::YesNo, plat::Icon::Question);
  s.confirming = false;
  if (a == plat::Answer::Yes) {
    e.vm->quit_requested = true;
    return true;
  }
  // Still running: a crash from here on must be noticed at the next start.
  e.settings.set_int("AbnormalTerminateFlg", 1);
  e.settings.set_int("WinStat", 0);
  e.settings.save();
  return false;
}

bool return_to_title_with_confirmation(rt::Engine& e) {
  Shell& s = shell_of(e);
  if (s.confirming) return false;
  s.confirming = true;
  const plat::Answer a = rt::message_box(e, msg::kTitleConfirm, plat::Buttons::YesNo, plat::Icon::Question);
  s.confirming = false;
  if (a != plat::Answer::Yes) return false;
  close_movie(e);
  e.vm->return_to_title = true;
  return true;
}

void file_dropped(rt::Engine& e, const std::string& sjis_path) {
  Shell& s = shell_of(e);
  if (!s.drop_enabled || !s.dropped.empty()) return;  // the first of a drop counts
  s.dropped = base::sjis_clip(sjis_path, 259);
  if (!rt::is_release_mode(e) && !e.host->headless()) rt::start_outside_compiler(e, s.dropped);
}

// [SECTION] Hooks ----------------------------------------------------------------------

namespace {

// Alt+S turns self-voicing on and off. Before the menus and the game see
// it: no game input is Alt with a letter, and the menus have no mnemonics.
bool speech_key(rt::Engine& e, const plat::Event& ev) {
  constexpr int kVkS = 0x53;
  if (ev.type != plat::Event::Type::KeyDown || ev.vk != kVkS || !ev.alt) return false;
  if (ev.repeat) return true;
  const bool on = !txt::self_voicing(e);
  if (txt::set_self_voicing(e, on)) {
    e.settings.set_int("Speak", on ? 1 : 0, plat::Section::Port);
    e.settings.save();
  }
  return true;
}

bool window_hook(rt::Engine& e, const plat::Event& ev) {
  using Type = plat::Event::Type;
  Shell& s = shell_of(e);
  if (speech_key(e, ev)) return true;
  if (s.overlay && overlay_event(e, ev)) return true;
  switch (ev.type) {
    case Type::Quit:
      quit_with_confirmation(e);
      return true;
    case Type::DropFile:
      file_dropped(e, ev.text);
      return true;
    case Type::KeyDown:
      if (ev.repeat) return false;
      if (ev.vk >= kVkF1 && ev.vk <= kVkF1 + 11) function_key(e, ev.vk, ev.alt);
      return false;  // the keys are the game's inputs too
    default: return false;
  }
}

void reset(rt::Engine& e) {
  Shell& s = shell_of(e);
  s.request = kReqNone;
  s.menu_mode = false;
}

void read_settings(rt::Engine& e) {
  Shell& s = shell_of(e);
  s.topmost = get(e, setting::kTopmost) != 0;
  if (s.topmost) e.host->set_topmost(true);
}

}  // namespace

void install_shell_hooks(rt::Engine& e) {
  rt::Hooks& h = e.vm->hooks;
  h.window_hooks.push_back(window_hook);
  h.serve_requests = serve_requests;
  h.after_events = overlay_frame;
  h.on_reset.push_back(reset);
  h.on_init_done.push_back(read_settings);
}

}  // namespace shell
