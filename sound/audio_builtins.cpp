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

#include "base/sjis.h"
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
  rt::builtin_error(c.engine, name, base::format(msg::kChannelRange, kChannels));
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
  k.names[ch] = std::string(base::sjis_clip(given, 259));
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

constexpr auto kTable = rt::handler_table<rt::Subsystem::sound>({
    {"music", music},
    {"music_intro", music_intro},
    {"music_stop", music_stop},
    {"music_vol", music_vol},
    {"music_fade", music_fade},
    {"music_fadeout", music_fadeout},
    {"music_fadeout_wait", music_fadeout_wait},
    {"music_stat", music_stat},
    {"music_wait", music_wait},
    {"music_push", music_push},
    {"music_pop", music_pop},

    {"voice", voice},
    {"voice_raw", voice_raw},
    {"voice_stop", voice_stop},
    {"voice_vol", voice_vol},
    {"voice_fade", voice_fade},
    {"voice_fadeout", voice_fadeout},
    {"voice_stat", voice_stat},
    {"voice_wait", voice_wait},
    {"voice_get_fn$", voice_get_fn},

    // play, intro, stop, vol, fade, fadeout, stat, wait, get_fn$ of sound .. sound4
    {"sound", sound_play<0>},
    {"sound_intro", sound_intro<0>},
    {"sound_stop", sound_stop<0>},
    {"sound_vol", sound_vol<0>},
    {"sound_fade", sound_fade<0>},
    {"sound_fadeout", sound_fadeout<0>},
    {"sound_stat", sound_stat<0>},
    {"sound_wait", sound_wait<0>},
    {"sound_get_fn$", sound_get_fn<0>},

    {"sound2", sound_play<1>},
    {"sound2_intro", sound_intro<1>},
    {"sound2_stop", sound_stop<1>},
    {"sound2_vol", sound_vol<1>},
    {"sound2_fade", sound_fade<1>},
    {"sound2_fadeout", sound_fadeout<1>},
    {"sound2_stat", sound_stat<1>},
    {"sound2_wait", sound_wait<1>},
    {"sound2_get_fn$", sound_get_fn<1>},

    {"sound3", sound_play<2>},
    {"sound3_intro", sound_intro<2>},
    {"sound3_stop", sound_stop<2>},
    {"sound3_vol", sound_vol<2>},
    {"sound3_fade", sound_fade<2>},
    {"sound3_fadeout", sound_fadeout<2>},
    {"sound3_stat", sound_stat<2>},
    {"sound3_wait", sound_wait<2>},
    {"sound3_get_fn$", sound_get_fn<2>},

    {"sound4", sound_play<3>},
    {"sound4_intro", sound_intro<3>},
    {"sound4_stop", sound_stop<3>},
    {"sound4_vol", sound_vol<3>},
    {"sound4_fade", sound_fade<3>},
    {"sound4_fadeout", sound_fadeout<3>},
    {"sound4_stat", sound_stat<3>},
    {"sound4_wait", sound_wait<3>},
    {"sound4_get_fn$", sound_get_fn<3>},

    // play, stop, vol, fade, fadeout, stat, wait, get_fn of the two banks
    {"sound_ch", ch_play<kSoundBank>},
    {"sound_ch_stop", ch_stop<kSoundBank>},
    {"sound_ch_vol", ch_vol<kSoundBank>},
    {"sound_ch_fade", ch_fade<kSoundBank>},
    {"sound_ch_fadeout", ch_fadeout<kSoundBank>},
    {"sound_ch_stat", ch_stat<kSoundBank>},
    {"sound_ch_wait", ch_wait<kSoundBank>},
    {"sound_ch_get_fn", ch_get_fn<kSoundBank>},

    {"voice_ch", ch_play<kVoiceBank>},
    {"voice_ch_stop", ch_stop<kVoiceBank>},
    {"voice_ch_vol", ch_vol<kVoiceBank>},
    {"voice_ch_fade", ch_fade<kVoiceBank>},
    {"voice_ch_fadeout", ch_fadeout<kVoiceBank>},
    {"voice_ch_stat", ch_stat<kVoiceBank>},
    {"voice_ch_wait", ch_wait<kVoiceBank>},
    {"voice_ch_get_fn$", ch_get_fn<kVoiceBank>},
});
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
  h.movie_sound_start = [](rt::Engine& en, std::function<size_t(int16_t*, size_t)> pull, int32_t volume) {
    return movie_sound_start(en, std::move(pull), volume);
  };
  h.movie_sound_stop = movie_sound_stop;
  h.sound_reset = sound_reset;
}

}  // namespace snd
