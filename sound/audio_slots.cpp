#include "sound/audio_slots.h"

#include "base/sjis.h"
#include "core/engine.h"
#include "core/env_file.h"
#include "core/error_report.h"
#include "res/sound.h"
#include "resources/resources.h"
#include "script/read_marks.h"
#include "script/script_error.h"
#include "sound/sound_engine.h"
#include "sound/sound_state.h"

namespace snd {

int32_t master_volume(rt::Engine& e, Master which) {
  switch (which) {
    case Master::music: return e.settings.get_int("MusicVolume").value_or(rt::env_int(e, "MUSICVOL", 650));
    case Master::voice: return e.settings.get_int("VoiceVolume").value_or(rt::env_int(e, "VOICEVOL", 1000));
    case Master::sound: return e.settings.get_int("SoundVolume").value_or(rt::env_int(e, "SOUNDVOL", 650));
  }
  return 0;
}

bool setting_on(rt::Engine& e, const char* name, const char* env_default) {
  return e.settings.get_int(name).value_or(rt::env_int(e, env_default, 1)) != 0;
}

bool music_may_start(rt::Engine& e) {
  return master_volume(e, Master::music) != 0 && setting_on(e, "PlayMusic", "ISPLAYMUSIC");
}

bool sounds_may_start(rt::Engine& e) {
  return master_volume(e, Master::sound) != 0 && setting_on(e, "PlaySound", "ISPLAYSOUND");
}

std::optional<std::string> resolve_sound_name(rt::Engine& e, std::string_view name) {
  std::string base(base::strip_extension(base::file_name_part(name)));
  for (const char* ext : {".wav", ".ogg"}) {
    std::string candidate = base + ext;
    if (res::FfExists(e, candidate)) return candidate;
  }
  return std::nullopt;
}

bool sound_file_exists(rt::Engine& e, std::string_view name) { return resolve_sound_name(e, name).has_value(); }

void report_missing(rt::Engine& e, std::string_view family, std::string_view name) {
  std::string text = std::string(family) + base::format(msg::kNoSuchFile, std::string(name).c_str());
  // The script error report also logs; without it only the log hears of it.
  if (e.settings.get_int("ReprotNoVoice").value_or(1) != 0) rt::script_error(e, text);
  else rt::debug_log(e, text);
}

namespace {

Slots& slots(rt::Engine& e) { return e.sound->slots; }

int32_t scaled(int32_t master, int32_t level) { return static_cast<int32_t>(int64_t{master} * level / 1000); }

}  // namespace

void stop_music(rt::Engine& e) {
  Slots& s = slots(e);
  SndStop(e, s.music_id);
  s.music_id = 0;
  s.music_name.clear();
  s.music_loop_name.clear();
  s.music_level = kFullLevel;
}

void play_music(rt::Engine& e, std::string_view name, std::string_view loop_name, bool loop) {
  if (name.empty()) {
    stop_music(e);
    return;
  }
  Slots& s = slots(e);
  auto file = resolve_sound_name(e, name);
  std::optional<std::string> loop_file = std::string();
  if (!loop_name.empty()) loop_file = resolve_sound_name(e, loop_name);
  if (!file || !loop_file) {
    report_missing(e, "music", name);
    return;
  }
  if (SndStatus(e, s.music_id) != 0 && base::sjis_equal_nocase(*file, s.music_name) &&
      base::sjis_equal_nocase(*loop_file, s.music_loop_name))
    return;
  s.music_name = *file;
  s.music_loop_name = *loop_file;
  s.music_loop = loop ? 1 : 0;
  SndStop(e, s.music_id);
  s.music_id = 0;
  if (music_may_start(e))
    s.music_id = SndPlayWithLoop(e, *file, *loop_file, scaled(master_volume(e, Master::music), s.music_level), loop);
  s.music_level = kFullLevel;
}

void play_voice(rt::Engine& e, std::string_view name, bool loop, bool force, bool suppress, bool male) {
  Slots& s = slots(e);
  SndStop(e, s.voice.id);
  s.voice.id = 0;
  auto file = resolve_sound_name(e, name);
  if (!file) {
    report_missing(e, "voice", name);
  } else {
    int32_t master = master_volume(e, Master::voice);
    bool wanted = force || (setting_on(e, male ? "TalkMale" : "TalkFemale", male ? "ISTALKMALE" : "ISTALKFEMALE") &&
                            master != 0);
    if (!suppress && !rt::is_skipping(e) && wanted)
      s.voice.id = SndPlay(e, *file, scaled(master, s.voice.level), loop);
  }
  s.voice.level = kFullLevel;
}

void sound_reset(rt::Engine& e) {
  Slots& s = slots(e);
  if (s.keep) {
    s.keep = false;
    return;
  }
  SndStopAll(e);
  s = Slots();
}

void keep_sound_at_next_reset(rt::Engine& e) { slots(e).keep = true; }

void master_volume_changed(rt::Engine& e, Master which, int32_t volume) {
  Slots& s = slots(e);
  switch (which) {
    case Master::music: SndSetVolume(e, s.music_id, scaled(volume, s.music_level)); break;
    case Master::voice: SndSetVolume(e, s.voice.id, scaled(volume, s.voice.level)); break;
    case Master::sound: SndSetVolume(e, s.sounds[0].id, scaled(volume, s.sounds[0].level)); break;
  }
}

SavedSound saved_sound(rt::Engine& e) {
  Slots& s = slots(e);
  SavedSound out;
  if (SndStatus(e, s.music_id) != 0) {
    out.music_name = s.music_name;
    out.music_loop_name = s.music_loop_name;
  }
  out.music_loop = s.music_loop;
  out.music_level = s.music_level;
  out.voice_level = s.voice.level;
  for (int i = 0; i < 4; ++i) out.sound_levels[i] = s.sounds[i].level;
  return out;
}

void restore_sound_levels(rt::Engine& e, const SavedSound& saved) {
  Slots& s = slots(e);
  s.music_level = saved.music_level;
  s.voice.level = saved.voice_level;
  for (int i = 0; i < 4; ++i) s.sounds[i].level = saved.sound_levels[i];
}

}  // namespace snd
