// The audio output device: 44.1 kHz, 16-bit, stereo, pulling samples from
// a callback on the device's own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace plat {

constexpr int kAudioRate = 44100;
constexpr int kAudioChannels = 2;

class AudioDevice {
 public:
  // Fills `frames` stereo frames (interleaved) at `out`. Runs on the
  // device's thread.
  using Callback = std::function<void(int16_t* out, size_t frames)>;

  virtual ~AudioDevice() = default;
  // Starts pulling, opening the output again after `suspend`; before this
  // the callback is not called. False (with `*error` set) when the output
  // cannot be opened again.
  virtual bool resume(std::string* error) = 0;
  // Closes the output while nothing plays: its thread ends and no longer
  // wakes once a buffer. Returns when the callback is no longer running
  // and will not be called until `resume`.
  virtual void suspend() = 0;
  virtual bool suspended() const = 0;
};

// Opens the default output device; null with `*error` set when there is
// none. The device is closed (and the callback no longer called) when the
// object is destroyed.
std::unique_ptr<AudioDevice> open_audio_device(AudioDevice::Callback callback, std::string* error);

}  // namespace plat
