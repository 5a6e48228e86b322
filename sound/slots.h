// What the audio built-ins remember: the stream of each slot, its level
// and its file names.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace snd {

constexpr int kChannels = 20;
constexpr int32_t kFullLevel = 1000;

struct SoundSlot {
  uint32_t id = 0;
  int32_t level = kFullLevel;
  std::string name;
};

struct ChannelBank {
  std::array<uint32_t, kChannels> ids{};
  std::array<std::string, kChannels> names;
  int32_t pending = kFullLevel;  // level of the next start, shared by the bank
};

struct Slots {
  // Music: the names as resolved, and the loop flag of the last request.
  uint32_t music_id = 0;
  int32_t music_level = kFullLevel;
  std::string music_name, music_loop_name;
  int32_t music_loop = 0;
  std::string pushed_name, pushed_loop_name;
  int32_t pushed_loop = 0;

  // Voice: the name exactly as the script gave it.
  SoundSlot voice;
  // sound, sound2, sound3, sound4: the resolved name when played without a loop file.
  std::array<SoundSlot, 4> sounds;
  ChannelBank voice_channels, sound_channels;

  // Set before a reset that must leave sound playing; cleared by that reset.
  bool keep = false;
};

}  // namespace snd
