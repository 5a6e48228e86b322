// Variables by name, resource folders, the desktop, and ending the program.
#include <algorithm>
#include <cctype>

#include "base/crc32.h"
#include "base/game_names.h"
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

// "scheme:..." with a scheme of two characters or more is an address for
// the desktop; "c:\\..." (a drive letter) and plain names are not.
bool is_address(std::string_view s) {
  const size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    const unsigned char ch = static_cast<unsigned char>(s[i]);
    if (!std::isalnum(ch) && ch != '+' && ch != '-' && ch != '.') return false;
  }
  return true;
}

Progress shell_open(Call& c) {
  const std::string_view arg = c.str_arg(1);
  c.ret_int(0);
  std::string target;
  if (is_address(arg)) {
    // A "file:" address is a file name in disguise, and may name any file.
    if (base::sjis_equal_nocase(arg.substr(0, 5), "file:")) return Progress::Done;
    target = plat::sjis_to_utf8(arg);
  } else {
    // A file name names a file of the game, never one outside it (nor one
    // beside the program's working directory).
    if (base::unsafe_name_reason(arg)) return Progress::Done;
    target = c.engine.files.native_path(arg);
  }
  plat::spawn_detached({"xdg-open", target});
  return Progress::Done;
}

// A file URI for the desktop, spelled as a settings value: every byte but
// the unreserved ones and '/' escaped, so spaces, '#', '%' and quotes in a
// file name neither cut the URI short nor end the quoted string.
std::string wallpaper_uri(const std::string& native_path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "'file://";
  for (unsigned char ch : native_path) {
    const bool unreserved = (ch >= '0' && ch <= '9') || ((ch | 0x20) >= 'a' && (ch | 0x20) <= 'z') || ch == '-' ||
                            ch == '.' || ch == '_' || ch == '~';
    if (unreserved || ch == '/') {
      out += static_cast<char>(ch);
    } else {
      out += '%';
      out += kHex[ch >> 4];
      out += kHex[ch & 15];
    }
  }
  return out + "'";
}

// Through the desktop's settings where it has them: 1 set, 2 refused, 3 no
// way to set it.
Progress set_wallpaper(Call& c) {
  if (!plat::program_exists("gsettings")) {
    c.ret_int(3);
    return Progress::Done;
  }
  if (base::unsafe_name_reason(c.str_arg(1))) {  // a picture of the game only
    c.ret_int(2);
    return Progress::Done;
  }
  const std::string uri = wallpaper_uri(c.engine.files.native_path(c.str_arg(1)));
  int32_t style = c.int_arg(2);
  const char* option = style == 1 ? "wallpaper" : style == 2 ? "stretched" : "centered";
  const char* schema = "org.gnome.desktop.background";
  int a = plat::spawn_and_wait({"gsettings", "set", schema, "picture-uri", uri});
  plat::spawn_and_wait({"gsettings", "set", schema, "picture-uri-dark", uri});
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

constexpr auto kTable = handler_table<Subsystem::script>({
    {"get_variable", get_variable},
    {"set_variable", set_variable},
    {"folder_add", folder_add},
    {"folder_clear", folder_clear},
    {"shell_open", shell_open},
    {"set_wallpaper", set_wallpaper},
    {"system_end", system_end},
});

}  // namespace

std::span<const BuiltinEntry> system_builtins() { return kTable; }

}  // namespace rt
