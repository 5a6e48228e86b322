// The format record of a RIFF WAVE "fmt " chunk, and the PCM formats the
// sound buffers are created with.
#pragma once

#include <cstdint>
#include <vector>

namespace snd {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatAdpcm = 2;

struct WaveFormat {
  uint16_t tag = 0;
  uint16_t channels = 0;
  uint32_t rate = 0;
  uint32_t bytes_per_sec = 0;
  uint16_t block_align = 0;
  uint16_t bits = 0;
  std::vector<uint8_t> extra;  // what follows the first 16 bytes (cbSize and the extension)

  bool operator==(const WaveFormat&) const = default;
};

// 16-bit PCM with the given layout.
inline WaveFormat pcm16_format(uint16_t channels, uint32_t rate) {
  WaveFormat f;
  f.tag = kFormatPcm;
  f.channels = channels;
  f.rate = rate;
  f.bits = 16;
  f.block_align = static_cast<uint16_t>(2 * channels);
  f.bytes_per_sec = f.block_align * rate;
  return f;
}

// Limits of what a sound buffer can play.
constexpr uint16_t kMaxChannels = 8;
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 384000;

// True when a buffer can be created in this PCM format.
inline bool playable_pcm(const WaveFormat& f) {
  if (f.tag != kFormatPcm) return false;
  if (f.channels < 1 || f.channels > kMaxChannels) return false;
  if (f.rate < kMinRate || f.rate > kMaxRate) return false;
  if (f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32) return false;
  return f.block_align == f.channels * (f.bits / 8);
}

// Same layout of samples in the ring (the loop file must match the first file).
inline bool same_layout(const WaveFormat& a, const WaveFormat& b) {
  return a.channels == b.channels && a.rate == b.rate && a.bits == b.bits && a.block_align == b.block_align;
}

}  // namespace snd
