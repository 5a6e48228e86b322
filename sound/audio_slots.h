// The script-facing side of sound: the music, voice and sound slots and the
// two channel banks, the player's master volumes and switches, and the
// operations other subsystems call (reset, master volume changes, saved
// music, the console's voice command).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt { struct Engine; }

namespace snd {

enum class Master { music, voice, sound };

// The player's master volume (0-1000) and switches, from the settings
// store with the environment file's defaults.
int32_t master_volume(rt::Engine& e, Master which);
bool setting_on(rt::Engine& e, const char* name, const char* env_default);
bool music_may_start(rt::Engine& e);
bool sounds_may_start(rt::Engine& e);

// The file to play for a script's name: its file-name part with ".wav",
// else with ".ogg"; nullopt when neither exists.
std::optional<std::string> resolve_sound_name(rt::Engine& e, std::string_view name);
bool sound_file_exists(rt::Engine& e, std::string_view name);
// "<family> : ファイル[name]が存在しません", as the player's setting says.
void report_missing(rt::Engine& e, std::string_view family, std::string_view name);

// Music with the semantics of the `music` built-in: an empty name stops it,
// the same names go on without a restart.
void play_music(rt::Engine& e, std::string_view name, std::string_view loop_name, bool loop);
void stop_music(rt::Engine& e);

// The voice slot. `force` ignores the gender switch and the voice volume
// (voice_raw), `suppress` plays nothing (the console's voice-off), `male`
// picks the switch that applies.
void play_voice(rt::Engine& e, std::string_view name, bool loop, bool force, bool suppress, bool male);

// Stops everything and clears every slot, unless the keep flag was set
// (then only the flag is cleared).
void sound_reset(rt::Engine& e);
void keep_sound_at_next_reset(rt::Engine& e);

// A master volume was changed by the player: the music, the voice or the
// first sound slot follows at once.
void master_volume_changed(rt::Engine& e, Master which, int32_t volume);

// What a saved game keeps of the sound.
struct SavedSound {
  std::string music_name, music_loop_name;  // empty while no music plays
  int32_t music_loop = 0;
  int32_t music_level = 1000, voice_level = 1000;
  int32_t sound_levels[4] = {1000, 1000, 1000, 1000};
};
SavedSound saved_sound(rt::Engine& e);
// Sets the levels; the caller replays the music with play_music.
void restore_sound_levels(rt::Engine& e, const SavedSound& saved);

}  // namespace snd
