// The player's settings the shell keeps: each value's name in the settings
// store, its default (an environment key, or a fixed number) and its range.
#pragma once

#include <cstdint>

#include "platform/host.h"

namespace rt { struct Engine; }

namespace shell {

struct SettingDef {
  const char* name;         // in the settings store
  const char* env_default;  // environment key giving the default, or nullptr
  int32_t fallback;         // default without that key
  int32_t lowest, highest;  // clamped to this range when read
};

namespace setting {
inline constexpr int32_t kAny = INT32_MIN, kAll = INT32_MAX;
inline constexpr SettingDef kEffectSpeed{"EffectSpeed", "EFFECTSPEED", 1000, kAny, kAll};
inline constexpr SettingDef kMojiSpeed{"MojiSpeed", "MOJISPEED", 1000, kAny, kAll};
inline constexpr SettingDef kAutoSpeed{"AutoSpeed", "AUTOSPEED", 1000, kAny, kAll};
inline constexpr SettingDef kMusicVolume{"MusicVolume", "MUSICVOL", 650, kAny, kAll};
inline constexpr SettingDef kVoiceVolume{"VoiceVolume", "VOICEVOL", 1000, kAny, kAll};
inline constexpr SettingDef kSoundVolume{"SoundVolume", "SOUNDVOL", 650, kAny, kAll};
inline constexpr SettingDef kTalkMale{"TalkMale", "ISTALKMALE", 1, kAny, kAll};
inline constexpr SettingDef kTalkFemale{"TalkFemale", "ISTALKFEMALE", 1, kAny, kAll};
inline constexpr SettingDef kPlayMusic{"PlayMusic", "ISPLAYMUSIC", 1, kAny, kAll};
inline constexpr SettingDef kPlaySound{"PlaySound", "ISPLAYSOUND", 1, kAny, kAll};
inline constexpr SettingDef kFastModeReadOnly{"FastModeFlg_AR", nullptr, 0, kAny, kAll};
inline constexpr SettingDef kNanido{"NANIDO", nullptr, 0, 0, 4};
inline constexpr SettingDef kGameSpeed{"GameSpeed", nullptr, 1, 0, 3};
inline constexpr SettingDef kTopmost{"TOPMOST", nullptr, 0, kAny, kAll};
inline constexpr SettingDef kReportNoVoice{"ReprotNoVoice", nullptr, 1, kAny, kAll};
inline constexpr SettingDef kReportNoPic{"ReprotNoPic", nullptr, 1, kAny, kAll};
inline constexpr SettingDef kAutoOpenErrorLine{"AutoOpenErrorLine", nullptr, 1, kAny, kAll};
}  // namespace setting

// The port's own window choices, which the game was not written for: kept
// in the settings file's own section, out of the scripts' reach, and
// changed from the screen options dialog.
struct ViewSettings {
  static constexpr int kMaxScale = 8;
  int scale = 1;  // the window's size as a multiple of the game's
  bool linear_filter = false;
  plat::Renderer renderer = plat::Renderer::Auto;
  bool operator==(const ViewSettings&) const = default;
};

// What the settings file holds; a missing or unreadable value gives its default.
ViewSettings saved_view(rt::Engine& e);
// Stores the choices and writes the settings file at once.
void save_view(rt::Engine& e, const ViewSettings& v);
const char* renderer_word(plat::Renderer r);

// The environment default of a value (what the dialogs' reset button sets).
int32_t default_of(rt::Engine& e, const SettingDef& d);
// The stored value, or its default; clamped to its range.
int32_t get(rt::Engine& e, const SettingDef& d);
// Stores the value and writes the settings file at once.
void put(rt::Engine& e, const SettingDef& d, int32_t value);

}  // namespace shell
