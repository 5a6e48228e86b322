// The software mixer behind the sound buffers: every stream's ring plays
// looping at its own rate; the mixer resamples each to the device rate with
// a windowed-sinc filter, applies its attenuation in hundredths of a
// decibel and sums them. Gain changes, starts and removals ramp over a few
// milliseconds so that nothing clicks.
//
// Not locked itself: the sound engine's device lock guards every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "sound/wave_format.h"

namespace snd {

constexpr uint32_t kRingBytes = 352800;  // two seconds of 44.1 kHz 16-bit stereo
constexpr uint32_t kDeviceRate = 44100;
constexpr int32_t kSilentAttenuation = -10000;
// Frames over which a gain change is spread.
constexpr int kRampFrames = 256;

// Attenuation in hundredths of a decibel for a volume of 0-1000.
int32_t attenuation_of(int32_t volume);
// Linear gain of an attenuation in hundredths of a decibel.
float gain_of(int32_t attenuation);

struct Kernel;

// Fills up to `frames` 44.1 kHz stereo frames and returns how many it had;
// the mixer plays silence for the rest.
using PullSource = std::function<size_t(int16_t* out, size_t frames)>;

struct SoundBuffer {
  WaveFormat format;
  std::vector<uint8_t> ring;  // a whole number of frames, at most kRingBytes
  uint32_t frames = 0;        // frames in the ring
  int32_t last_volume = 0;    // attenuation last set
  bool playing = false;
  bool released = false;      // fading out, then freed by the mixer
  // Play position: frame index in the ring and fraction (0.32 fixed point).
  uint32_t frame = 0;
  uint32_t fraction = 0;
  uint64_t step = 0;          // source frames per device frame (32.32)
  const Kernel* kernel = nullptr;  // null when no resampling is needed
  float gain = 0.f;
  float target = 0.f;
  float ramp_step = 0.f;
  int ramp_left = 0;
  PullSource pull;  // set: no ring, the frames come from here as they are played
  std::vector<int16_t> pulled;
};

class Mixer {
 public:
  Mixer();
  ~Mixer();

  // A buffer of `bytes` (rounded down to whole frames) filled with silence.
  SoundBuffer* create(const WaveFormat& format, uint32_t bytes);
  // A buffer that plays what `pull` hands it (44.1 kHz stereo), not a ring.
  SoundBuffer* create_pulled(PullSource pull);
  // Fades the buffer out and frees it; the pointer is dead afterwards.
  void release(SoundBuffer* b);
  // Plays from the ring's start, looping.
  void start(SoundBuffer* b);
  void stop(SoundBuffer* b);
  void set_volume(SoundBuffer* b, int32_t attenuation);
  // Byte offset of the next frame to be played.
  uint32_t play_cursor(const SoundBuffer* b) const;
  uint32_t ring_bytes(const SoundBuffer* b) const { return static_cast<uint32_t>(b->ring.size()); }
  // Copies `size` bytes into the ring at `pos`, wrapping at its end.
  void write(SoundBuffer* b, uint32_t pos, const uint8_t* data, size_t size);

  // Mixes `frames` stereo frames into `out`, advancing every buffer.
  void mix(int16_t* out, size_t frames);
  // Frees every buffer at once.
  void clear();
  size_t buffer_count() const { return buffers_.size(); }

 private:
  const Kernel* kernel_for(uint32_t rate);
  void mix_buffer(SoundBuffer& b, float* acc, size_t frames);

  std::vector<std::unique_ptr<SoundBuffer>> buffers_;
  std::map<uint32_t, std::unique_ptr<Kernel>> kernels_;
  std::vector<float> acc_;
  std::vector<float> source_;
};

}  // namespace snd
