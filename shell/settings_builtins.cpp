// The settings built-ins: the game's own values in the player's settings
// (the registry's values on Windows), and the player's choices the game reads.
#include <algorithm>
#include <string>

#include "base/sjis.h"
#include "core/engine.h"
#include "core/game_folders.h"
#include "script/builtins.h"
#include "shell/input.h"
#include "shell/settings.h"
#include "sound/audio_slots.h"
#include "text/console.h"

namespace shell {
namespace {

using rt::Call;
using rt::Progress;

// The editor command is a program the engine starts: the player's to
// choose (in the about box or the file), never a game's.
bool script_may_set(Call& c, std::string_view name) {
  if (!base::sjis_equal_nocase(name, "Editor")) return true;
  rt::report_once(c.engine, "a script may not set \"Editor\": the editor command is the player's");
  return false;
}

Progress reg_set_int(Call& c) {
  if (script_may_set(c, c.str_arg(1))) c.engine.settings.set_int(c.str_arg(1), c.int_arg(2));
  c.engine.settings.save();
  c.ret_int(0);
  return Progress::Done;
}

Progress reg_set_string(Call& c) {
  if (script_may_set(c, c.str_arg(1))) c.engine.settings.set_string(c.str_arg(1), c.str_arg(2));
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
  // At most 511 bytes, cut before a double-byte character that would not fit
  // whole: half a character would swallow the byte that follows it.
  c.ret_string(std::string(base::sjis_clip(v, 511)));
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

Progress get_nanido(Call& c) { return rt::done(c, get(c.engine, setting::kNanido)); }
Progress get_game_speed(Call& c) { return rt::done(c, get(c.engine, setting::kGameSpeed)); }

// --- Speeds, volumes and voices --------------------------------------------------------

Progress get_effect_speed(Call& c) { return rt::done(c, get(c.engine, setting::kEffectSpeed)); }
Progress get_auto_speed(Call& c) { return rt::done(c, get(c.engine, setting::kAutoSpeed)); }
Progress is_talk_male(Call& c) { return rt::done(c, get(c.engine, setting::kTalkMale)); }
Progress is_talk_female(Call& c) { return rt::done(c, get(c.engine, setting::kTalkFemale)); }

// The console's own speed wins while a script has set one.
Progress get_text_speed(Call& c) {
  const int32_t own = txt::console_speed(c.engine);
  return rt::done(c, own != -1 ? own : get(c.engine, setting::kMojiSpeed));
}

Progress set_effect_speed(Call& c) {
  put(c.engine, setting::kEffectSpeed, c.int_arg(1));
  return rt::done(c, 0);
}

Progress set_text_speed(Call& c) {
  put(c.engine, setting::kMojiSpeed, c.int_arg(1));
  return rt::done(c, 0);
}

Progress set_auto_speed(Call& c) {
  put(c.engine, setting::kAutoSpeed, c.int_arg(1));
  return rt::done(c, 0);
}

Progress set_volume(Call& c, const SettingDef& d, snd::Master which) {
  const int32_t v = c.int_arg(1);
  put(c.engine, d, v);
  snd::master_volume_changed(c.engine, which, v);
  return rt::done(c, 0);
}

Progress set_music_volume(Call& c) { return set_volume(c, setting::kMusicVolume, snd::Master::music); }
Progress set_voice_volume(Call& c) { return set_volume(c, setting::kVoiceVolume, snd::Master::voice); }
Progress set_sound_volume(Call& c) { return set_volume(c, setting::kSoundVolume, snd::Master::sound); }

Progress voice_is_exist(Call& c) { return rt::done(c, snd::sound_file_exists(c.engine, c.str_arg(1)) ? 1 : 0); }

constexpr auto kTable = rt::handler_table<rt::Subsystem::shell>({
    {"reg_set_int", reg_set_int},
    {"reg_set_string", reg_set_string},
    {"reg_get_int", reg_get_int},
    {"reg_get_string", reg_get_string},
    {"get_report_no_voice", get_report_no_voice},
    {"get_report_no_pic", get_report_no_pic},
    {"get_nanido", get_nanido},
    {"get_game_speed", get_game_speed},
    {"get_effect_speed", get_effect_speed},
    {"get_text_speed", get_text_speed},
    {"get_auto_speed", get_auto_speed},
    {"is_talk_male", is_talk_male},
    {"is_talk_female", is_talk_female},
    {"set_effect_speed", set_effect_speed},
    {"set_text_speed", set_text_speed},
    {"set_auto_speed", set_auto_speed},
    {"set_music_volume", set_music_volume},
    {"set_voice_volume", set_voice_volume},
    {"set_sound_volume", set_sound_volume},
    {"voice_is_exist", voice_is_exist},
    {"voice_is_exist2", voice_is_exist},
});

}  // namespace

std::span<const rt::BuiltinEntry> settings_builtins() { return kTable; }

}  // namespace shell
