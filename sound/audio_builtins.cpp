// The audio built-ins: music, voice, the four sound slots and the two
// channel banks.
//
// [SECTION] Shared steps
// [SECTION] Music
// [SECTION] Voice
// [SECTION] Sound slots
// [SECTION] Channel banks
// [SECTION] Table
#include "sound/audio_builtins.h"

#include <cstdio>

#include "core/engine.h"
#include "core/error_report.h"
#include "res/sound.h"
#include "script/builtins.h"
#include "script/read_marks.h"
#include "script/script_error.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "sound/audio_slots.h"
#include "sound/sound_engine.h"
#include "sound/sound_state.h"

namespace snd {
namespace {

using rt::Call;
using rt::Progress;

// [SECTION] Shared steps ---------------------------------------------------------------

constexpr uint32_t kWaitPoll = 10;           // ms between status checks of a waiting built-in
constexpr int32_t kFarDeadline = 43200000;   // a wake time further off than this has passed

Slots& slots(Call& c) { return c.engine.sound->slots; }

int32_t scaled(int32_t master, int32_t level) { return static_cast<int32_t>(int64_t{master} * level / 1000); }

uint32_t nonzero(uint32_t t) { return t == 0 ? 1 : t; }

bool engine_up(Call& c) { return SndInit(c.engine) == 0; }

// Fade-outs are immediate while skipping.
int32_t fade_ms(Call& c, int32_t ms) { return rt::is_skipping(c.engine) ? 0 : ms; }

// Waits while the stream plays its first pass; while skipping it is stopped.
Progress wait_for(Call& c, uint32_t& id) {
  rt::Frame& f = c.frame();
  if (rt::is_skipping(c.engine)) {
    SndStop(c.engine, id);
    id = 0;
    f.wait_deadline = 0;
    return done(c);
  }
  if (SndStatus(c.engine, id) == 1) {
    f.wait_deadline = nonzero(c.now() + kWaitPoll);
    return Progress::NotFinished;
  }
  f.wait_deadline = 0;
  return done(c);
}

// [SECTION] Music ----------------------------------------------------------------------

Progress music(Call& c) {
  play_music(c.engine, c.str_arg(1), {}, c.int_arg(2, 1) != 0);
  return done(c);
}

Progress music_intro(Call& c) {
  play_music(c.engine, c.str_arg(1), c.str_arg(2), true);
  return done(c);
}

Progress music_stop(Call& c) {
  stop_music(c.engine);
  return done(c);
}

Progress music_vol(Call& c) {
  Slots& s = slots(c);
  s.music_level = c.int_arg(1);
  SndSetVolume(c.engine, s.music_id, scaled(master_volume(c.engine, Master::music), s.music_level));
  return done(c);
}

Progress music_fade(Call& c) {
  SndFade(c.engine, slots(c).music_id, scaled(master_volume(c.engine, Master::music), c.int_arg(1)), c.int_arg(2));
  return done(c);
}

void fade_out_music(Call& c, int32_t ms) {
  Slots& s = slots(c);
  SndFadeOut(c.engine, s.music_id, 0, ms);
  s.music_id = 0;
  s.music_name.clear();
  s.music_loop_name.clear();
  s.music_level = kFullLevel;
}

Progress music_fadeout(Call& c) {
  fade_out_music(c, fade_ms(c, c.int_arg(1)));
  return done(c);
}

Progress music_fadeout_wait(Call& c) {
  rt::Frame& f = c.frame();
  if (f.wait_deadline == 0) {
    int32_t ms = c.int_arg(1);
    if (ms > 0 && !rt::is_skipping(c.engine)) {
      fade_out_music(c, ms);
      f.wait_deadline = nonzero(c.now() + static_cast<uint32_t>(ms));
      return Progress::NotFinished;
    }
    stop_music(c.engine);
    return done(c);
  }
  int32_t left = static_cast<int32_t>(f.wait_deadline - c.now());
  if (left > 0 && left <= kFarDeadline) return Progress::NotFinished;
  f.wait_deadline = 0;
  return done(c);
}

Progress music_stat(Call& c) { return done(c, SndStatus(c.engine, slots(c).music_id)); }
Progress music_wait(Call& c) { return wait_for(c, slots(c).music_id); }

Progress music_push(Call& c) {
  Slots& s = slots(c);
  s.pushed_name = s.music_name;
  s.pushed_loop_name = s.music_loop_name;
  s.pushed_loop = s.music_loop;
  return done(c);
}

Progress music_pop(Call& c) {
  Slots& s = slots(c);
  if (s.pushed_name == s.music_name && s.pushed_loop_name == s.music_loop_name && s.pushed_loop == s.music_loop)
    return done(c);
  if (s.pushed_name.empty()) {
    stop_music(c.engine);
  } else {
    std::string name = s.pushed_name, loop_name = s.pushed_loop_name;
    play_music(c.engine, name, loop_name, s.pushed_loop != 0);
  }
  return done(c);
}

// [SECTION] Voice ------------------------------------------------------------------------

Progress voice(Call& c) {
  if (!engine_up(c)) return done(c);
  std::string name(c.str_arg(1));
  bool loop = c.int_arg(2, 0) != 0;
  slots(c).voice.name = name;
  State& st = *c.engine.sound;
  std::string command = (loop ? "v1" : "v0") + name;
  if (st.console_command) st.console_command(c.engine, command);
  else play_voice(c.engine, name, loop, false, false, false);
  return done(c);
}

Progress voice_raw(Call& c) {
  if (!engine_up(c)) return done(c);
  std::string name(c.str_arg(1));
  slots(c).voice.name = name;
  play_voice(c.engine, name, c.int_arg(2, 0) != 0, true, false, false);
  return done(c);
}

Progress voice_stop(Call& c) {
  SoundSlot& v = slots(c).voice;
  SndStop(c.engine, v.id);
  v.id = 0;
  v.level = kFullLevel;
  return done(c);
}

Progress voice_vol(Call& c) {
  if (!engine_up(c)) return done(c);
  SoundSlot& v = slots(c).voice;
  v.level = c.int_arg(1);
  SndSetVolume(c.engine, v.id, scaled(master_volume(c.engine, Master::voice), v.level));
  return done(c);
}

Progress voice_fade(Call& c) {
  SndFade(c.engine, slots(c).voice.id, scaled(master_volume(c.engine, Master::voice), c.int_arg(1)), c.int_arg(2));
  return done(c);
}

Progress voice_fadeout(Call& c) {
  SoundSlot& v = slots(c).voice;
  SndFadeOut(c.engine, v.id, 0, fade_ms(c, c.int_arg(1)));
  v.id = 0;
  v.level = kFullLevel;
  return done(c);
}

Progress voice_stat(Call& c) {
  if (!engine_up(c)) return done(c);
  return done(c, SndStatus(c.engine, slots(c).voice.id));
}

Progress voice_wait(Call& c) { return wait_for(c, slots(c).voice.id); }

Progress voice_get_fn(Call& c) {
  c.ret_string(slots(c).voice.name);
  return Progress::Done;
}

// [SECTION] Sound slots ------------------------------------------------------------------

constexpr const char* kSlotFamily[4] = {"sound", "sound2", "sound3", "sound4"};

template <int N>
Progress sound_play(Call& c) {
  if (!engine_up(c)) return done(c);
  SoundSlot& s = slots(c).sounds[N];
  SndStop(c.engine, s.id);
  s.id = 0;
  s.name.clear();
  auto file = resolve_sound_name(c.engine, c.str_arg(1));
  if (!file) {
    report_missing(c.engine, kSlotFamily[N], c.str_arg(1));
    return done(c);
  }
  s.name = *file;
  if (sounds_may_start(c.engine))
    s.id = SndPlay(c.engine, *file, scaled(master_volume(c.engine, Master::sound), s.level), c.int_arg(2, 0) != 0);
  s.level = kFullLevel;
  return done(c);
}

template <int N>
Progress sound_intro(Call& c) {
  if (!engine_up(c)) return done(c);
  SoundSlot& s = slots(c).sounds[N];
  SndStop(c.engine, s.id);
  s.id = 0;
  s.name.clear();
  auto file = resolve_sound_name(c.engine, c.str_arg(1));
  auto loop_file = resolve_sound_name(c.engine, c.str_arg(2));
  if (!file || !loop_file) {
    report_missing(c.engine, kSlotFamily[N], c.str_arg(1));
    return done(c);
  }
  if (sounds_may_start(c.engine))
    s.id = SndPlayWithLoop(c.engine, *file, *loop_file, scaled(master_volume(c.engine, Master::sound), s.level), true);
  s.level = kFullLevel;
  return done(c);
}

template <int N>
Progress sound_stop(Call& c) {
  SoundSlot& s = slots(c).sounds[N];
  SndStop(c.engine, s.id);
  s.id = 0;
  s.level = kFullLevel;
  return done(c);
}

template <int N>
Progress sound_vol(Call& c) {
  SoundSlot& s = slots(c).sounds[N];
  s.level = c.int_arg(1);
  SndSetVolume(c.engine, s.id, scaled(master_volume(c.engine, Master::sound), s.level));
  return done(c);
}

template <int N>
Progress sound_fade(Call& c) {
  SndFade(c.engine, slots(c).sounds[N].id, scaled(master_volume(c.engine, Master::sound), c.int_arg(1)),
          c.int_arg(2));
  return done(c);
}

template <int N>
Progress sound_fadeout(Call& c) {
  SoundSlot& s = slots(c).sounds[N];
  SndFadeOut(c.engine, s.id, 0, fade_ms(c, c.int_arg(1)));
  s.id = 0;
  s.level = kFullLevel;
  return done(c);
}

template <int N>
Progress sound_stat(Call& c) {
  return done(c, SndStatus(c.engine, slots(c).sounds[N].id));
}

template <int N>
Progress sound_wait(Call& c) {
  return wait_for(c, slots(c).sounds[N].id);
}

template <int N>
Progress sound_get_fn(Call& c) {
  SoundSlot& s = slots(c).sounds[N];
  c.ret_string(SndStatus(c.engine, s.id) == 1 ? s.name : std::string());
  return Progress::Done;
}

// [SECTION] Channel banks ---------------------------------------------------------------

enum Bank { kVoiceBank, kSoundBank };

ChannelBank& bank(Call& c, Bank b) { return b == kVoiceBank ? slots(c).voice_channels : slots(c).sound_channels; }

Master master_of(Bank b) { return b == kVoiceBank ? Master::voice : Master::sound; }

bool may_start(Call& c, Bank b) {
  if (b == kSoundBank) return sounds_may_start(c.engine);
  return master_volume(c.engine, Master::voice) != 0 && setting_on(c.engine, "TalkFemale", "ISTALKFEMALE");
}

// The channel argument, or -1 after reporting one out of range.
int channel(Call& c) {
  int32_t ch = c.int_arg(1);
  if (ch >= 0 && ch < kChannels) return ch;
  // The report names the built-in without its "$".
  std::string name = c.name();
  if (!name.empty() && name.back() == '$') name.pop_back();
  rt::script_error(c.engine, name + base::format(msg::kChannelRange, kChannels));
  return -1;
}

template <Bank B>
Progress ch_play(Call& c) {
  if (!engine_up(c)) return done(c);
  int ch = channel(c);
  if (ch < 0) return done(c);
  ChannelBank& k = bank(c, B);
  SndStop(c.engine, k.ids[ch]);
  k.ids[ch] = 0;
  std::string_view given = c.str_arg(2);
  k.names[ch] = std::string(given.substr(0, 259));
  auto file = resolve_sound_name(c.engine, given);
  if (!file) {
    report_missing(c.engine, B == kVoiceBank ? "voice_ch" : "sound_ch", given);
    return done(c);
  }
  if (may_start(c, B))
    k.ids[ch] = SndPlay(c.engine, *file, scaled(master_volume(c.engine, master_of(B)), k.pending), c.int_arg(3, 0) != 0);
  k.pending = kFullLevel;
  return done(c);
}

template <Bank B>
Progress ch_stop(Call& c) {
  int ch = channel(c);
  if (ch < 0) return done(c);
  ChannelBank& k = bank(c, B);
  SndStop(c.engine, k.ids[ch]);
  k.ids[ch] = 0;
  k.pending = kFullLevel;
  return done(c);
}

template <Bank B>
Progress ch_vol(Call& c) {
  if (!engine_up(c)) return done(c);
  int ch = channel(c);
  if (ch < 0) return done(c);
  ChannelBank& k = bank(c, B);
  k.pending = c.int_arg(2);
  SndSetVolume(c.engine, k.ids[ch], scaled(master_volume(c.engine, master_of(B)), k.pending));
  return done(c);
}

template <Bank B>
Progress ch_fade(Call& c) {
  int ch = channel(c);
  if (ch < 0) return done(c);
  SndFade(c.engine, bank(c, B).ids[ch], scaled(master_volume(c.engine, master_of(B)), c.int_arg(2)), c.int_arg(3));
  return done(c);
}

template <Bank B>
Progress ch_fadeout(Call& c) {
  int ch = channel(c);
  if (ch < 0) return done(c);
  ChannelBank& k = bank(c, B);
  SndFadeOut(c.engine, k.ids[ch], 0, fade_ms(c, c.int_arg(2)));
  k.ids[ch] = 0;
  k.pending = kFullLevel;
  return done(c);
}

template <Bank B>
Progress ch_stat(Call& c) {
  if (!engine_up(c)) return done(c);
  int ch = channel(c);
  if (ch < 0) return done(c);
  return done(c, SndStatus(c.engine, bank(c, B).ids[ch]));
}

template <Bank B>
Progress ch_wait(Call& c) {
  int ch = channel(c);
  if (ch < 0) return done(c);
  return wait_for(c, bank(c, B).ids[ch]);
}

template <Bank B>
Progress ch_get_fn(Call& c) {
  int ch = channel(c);
  c.ret_string(ch < 0 ? std::string() : bank(c, B).names[ch]);
  return Progress::Done;
}

// [SECTION] Table ----------------------------------------------------------------------

constexpr rt::BuiltinEntry kTable[] = {
    {0x4980F82C, music},
    {0x0DC634C4, music_intro},
    {0x0C070535, music_stop},
    {0xE7B90DF5, music_vol},
    {0x4F6367B3, music_fade},
    {0x15EEDEAA, music_fadeout},
    {0x379FDB39, music_fadeout_wait},
    {0xF8D8925B, music_stat},
    {0xD8279A9B, music_wait},
    {0xA589DBD1, music_push},
    {0xF86FC950, music_pop},

    {0x32D0236C, voice},
    {0x90D5298A, voice_raw},
    {0x05D6ED69, voice_stop},
    {0x801D7AF9, voice_vol},
    {0x46B28FEF, voice_fade},
    {0x173B92D1, voice_fadeout},
    {0xF1097A07, voice_stat},
    {0xD1F672C7, voice_wait},
    {0xDEAF7041, voice_get_fn},

    // play, intro, stop, vol, fade, fadeout, stat, wait, get_fn$ of sound .. sound4
    {0xF62E3CA7, sound_play<0>}, {0xB268F04F, sound_intro<0>}, {0x83A53FFA, sound_stop<0>},
    {0x201D3D29, sound_vol<0>},  {0xC0C15D7C, sound_fade<0>},  {0x926C13E5, sound_fadeout<0>},
    {0x777AA894, sound_stat<0>}, {0x5785A054, sound_wait<0>},  {0x5BF8F175, sound_get_fn<0>},

    {0x708B0256, sound_play<1>}, {0xDE1E2ED0, sound_intro<1>}, {0x546F69C3, sound_stop<1>},
    {0xE799EAC8, sound_vol<1>},  {0x170B0B45, sound_fade<1>},  {0x2E861C51, sound_fadeout<1>},
    {0xA0B0FEAD, sound_stat<1>}, {0x804FF66D, sound_wait<1>},  {0xE712FEC1, sound_get_fn<1>},

    {0xED84E320, sound_play<2>}, {0x4311CFA6, sound_intro<2>}, {0x838DE99B, sound_stop<2>},
    {0x08CB5C29, sound_vol<2>},  {0xC0E98B1D, sound_fade<2>},  {0x39AE7891, sound_fadeout<2>},
    {0x77527EF5, sound_stat<2>}, {0x57AD7635, sound_wait<2>},  {0xF03A9A01, sound_get_fn<2>},

    {0x884949E0, sound_play<3>}, {0x26DC6566, sound_intro<3>}, {0xC9B362D0, sound_stop<3>},
    {0xE9E5564D, sound_vol<3>},  {0x8AD70056, sound_fade<3>},  {0x5C7746D1, sound_fadeout<3>},
    {0x3D6CF5BE, sound_stat<3>}, {0x1D93FD7E, sound_wait<3>},  {0x95E3A441, sound_get_fn<3>},

    // play, stop, vol, fade, fadeout, stat, wait, get_fn of the two banks
    {0x8424CF12, ch_play<kSoundBank>},    {0xDFCF9F75, ch_stop<kSoundBank>},  {0xF9D7B692, ch_vol<kSoundBank>},
    {0x9CABFDF3, ch_fade<kSoundBank>},    {0x7B657BAB, ch_fadeout<kSoundBank>},
    {0x2B10081B, ch_stat<kSoundBank>},    {0x0BEF00DB, ch_wait<kSoundBank>},  {0xB2F1993B, ch_get_fn<kSoundBank>},

    {0x8E8167F2, ch_play<kVoiceBank>},    {0x5A981E41, ch_stop<kVoiceBank>},  {0xCB665AC0, ch_vol<kVoiceBank>},
    {0x19FC7CC7, ch_fade<kVoiceBank>},    {0x8F905B3F, ch_fadeout<kVoiceBank>},
    {0xAE47892F, ch_stat<kVoiceBank>},    {0x8EB881EF, ch_wait<kVoiceBank>},  {0x4604B9AF, ch_get_fn<kVoiceBank>},
};
static_assert(std::size(kTable) == 72, "every audio built-in");

void reset_hook(rt::Engine& e) { sound_reset(e); }
void shutdown_hook(rt::Engine& e) { shut_down(e); }
void pump_hook(rt::Engine& e, uint32_t) { pump(e); }

}  // namespace

std::span<const rt::BuiltinEntry> audio_builtins() { return kTable; }

void install_sound_hooks(rt::Engine& e) {
  rt::Hooks& h = e.vm->hooks;
  h.pump_sound = pump_hook;
  h.on_reset.push_back(reset_hook);
  h.on_shutdown.push_back(shutdown_hook);
}

}  // namespace snd
