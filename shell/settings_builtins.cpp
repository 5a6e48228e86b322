// The settings built-ins: the game's own values in the player's settings
// (the registry's values on Windows), and the player's choices the game reads.
#include <algorithm>
#include <string>

#include "core/engine.h"
#include "core/game_folders.h"
#include "shell/input.h"
#include "script/builtins.h"

namespace shell {
namespace {

using rt::Call;
using rt::Progress;

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

constexpr auto kTable = rt::handler_table<rt::Subsystem::shell>({
    {"reg_set_int", reg_set_int},
    {"reg_set_string", reg_set_string},
    {"reg_get_int", reg_get_int},
    {"reg_get_string", reg_get_string},
    {"get_report_no_voice", get_report_no_voice},
    {"get_report_no_pic", get_report_no_pic},
    {"get_nanido", get_nanido},
    {"get_game_speed", get_game_speed},
});

}  // namespace

std::span<const rt::BuiltinEntry> settings_builtins() { return kTable; }

}  // namespace shell
