// Settings, variables by name, resource folders, the desktop, and ending
// the program.
#include <algorithm>

#include "base/crc32.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "platform/encoding.h"
#include "platform/system.h"
#include "res/runtime.h"
#include "resources/resources.h"
#include "script/builtins/tables.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace rt {
namespace {

// --- Settings ----------------------------------------------------------------------

Progress reg_set_int(Call& c) {
  c.engine.settings.set_int(c.str_arg(1), c.int_arg(2));
  c.engine.settings.save();
  c.ret_int(0);
  return Progress::Done;
}

Progress reg_set_string(Call& c) {
  c.engine.settings.set_string(c.str_arg(1), c.str_arg(2));
  c.engine.settings.save();
  c.ret_int(0);
  return Progress::Done;
}

Progress reg_get_int(Call& c) {
  c.ret_int(c.engine.settings.get_int(c.str_arg(1)).value_or(c.int_arg(2)));
  return Progress::Done;
}

Progress reg_get_string(Call& c) {
  std::string v = c.engine.settings.get_string(c.str_arg(1)).value_or(std::string(c.str_arg(2)));
  if (v.size() > 511) v.resize(511);
  c.ret_string(v);
  return Progress::Done;
}

int32_t setting_unless_release(Call& c, const char* name) {
  if (rt::is_release_mode(c.engine)) return 0;
  return c.engine.settings.get_int(name).value_or(1);
}

Progress get_report_no_voice(Call& c) {
  c.ret_int(setting_unless_release(c, "ReprotNoVoice"));
  return Progress::Done;
}

Progress get_report_no_pic(Call& c) {
  c.ret_int(setting_unless_release(c, "ReprotNoPic"));
  return Progress::Done;
}

Progress get_nanido(Call& c) {
  c.ret_int(std::clamp(c.engine.settings.get_int("NANIDO").value_or(0), 0, 4));
  return Progress::Done;
}

Progress get_game_speed(Call& c) {
  c.ret_int(std::clamp(c.engine.settings.get_int("GameSpeed").value_or(1), 0, 3));
  return Progress::Done;
}

Progress client_width(Call& c) {
  c.ret_int(c.engine.client_width);
  return Progress::Done;
}

Progress client_height(Call& c) {
  c.ret_int(c.engine.client_height);
  return Progress::Done;
}

// --- Variables by name -----------------------------------------------------------------

Progress get_variable(Call& c) {
  std::string name(c.str_arg(1));
  if (Value* v = find_variable_by_name(c.engine, name)) {
    c.ret_int(v->kind == kInt || v->kind == kFloat ? v->i : 0);
  } else {
    script_error(c.engine, base::format(msg::kGetVariableMissing, complete_variable_name(name).c_str()));
    c.ret_int(0);
  }
  return Progress::Done;
}

Progress set_variable(Call& c) {
  std::string name = complete_variable_name(c.str_arg(1));
  const char sigil = name.empty() ? '\0' : name[0];
  if (sigil == '_') {
    script_error(c.engine, base::format(msg::kSetVariableLocal, name.c_str()));
  } else if (Value* v = make_variable_by_name(c.engine, name, kInt)) {
    if (is_block_kind(v->kind)) assign(*v, int_value(c.int_arg(2)));  // a number replaces a string or array
    else v->i = c.int_arg(2);
  } else {
    script_error(c.engine, base::format(msg::kSetVariableBadName, name.c_str()));
  }
  c.ret_int(0);
  return Progress::Done;
}

// --- Resource folders ---------------------------------------------------------------------

Progress folder_add(Call& c) {
  res::FfAddFolder(c.engine, base::file_name_part(c.str_arg(1)), 0);
  c.ret_int(0);
  return Progress::Done;
}

Progress folder_clear(Call& c) {
  res::FfClearFolder(c.engine, base::file_name_part(c.str_arg(1)));
  c.ret_int(0);
  return Progress::Done;
}

// --- The desktop ------------------------------------------------------------------------------

Progress shell_open(Call& c) {
  std::string target = plat::sjis_to_utf8(c.str_arg(1));
  // A file of the game is opened by its path; anything else (an address) as it is.
  if (target.find("://") == std::string::npos && c.engine.files.exists(c.str_arg(1)))
    target = c.engine.files.native_path(c.str_arg(1));
  plat::spawn_detached({"xdg-open", target});
  c.ret_int(0);
  return Progress::Done;
}

// Through the desktop's settings where it has them: 1 set, 2 refused, 3 no
// way to set it.
Progress set_wallpaper(Call& c) {
  if (!plat::program_exists("gsettings")) {
    c.ret_int(3);
    return Progress::Done;
  }
  std::string path = c.engine.files.native_path(c.str_arg(1));
  int32_t style = c.int_arg(2);
  const char* option = style == 1 ? "wallpaper" : style == 2 ? "stretched" : "centered";
  const char* schema = "org.gnome.desktop.background";
  int a = plat::spawn_and_wait({"gsettings", "set", schema, "picture-uri", "file://" + path});
  plat::spawn_and_wait({"gsettings", "set", schema, "picture-uri-dark", "file://" + path});
  int b = plat::spawn_and_wait({"gsettings", "set", schema, "picture-options", option});
  c.ret_int(a == 0 && b == 0 ? 1 : 2);
  return Progress::Done;
}

// --- The end ----------------------------------------------------------------------------------

Progress system_end(Call& c) {
  c.ret_int(0);
  if (c.engine.vm->hooks.shut_down) c.engine.vm->hooks.shut_down(c.engine);
  end_process(c.engine, 0);
}

constexpr BuiltinEntry kTable[] = {
    {0x9A1ACECA, reg_set_int},        {0xEDB64309, reg_set_string},   {0x80177286, reg_get_int},
    {0xA2E45C9C, reg_get_string},     {0x067B44A4, get_report_no_voice}, {0x619DE833, get_report_no_pic},
    {0x0692314A, get_nanido},         {0x140C298E, get_game_speed},   {0xE06200C4, client_width},
    {0x8C283F7F, client_height},      {0x6E83677A, get_variable},     {0xCD290AEF, set_variable},
    {0x4FAC462C, folder_add},         {0xF4BB403D, folder_clear},     {0xDACA10AF, shell_open},
    {0x4AFC6E20, set_wallpaper},      {0x8D8FB32E, system_end},
};

}  // namespace

std::span<const BuiltinEntry> system_builtins() { return kTable; }

}  // namespace rt
