#include "platform/audio_device.h"

#include <SDL.h>

namespace plat {
namespace {

class SdlAudioDevice final : public AudioDevice {
 public:
  explicit SdlAudioDevice(Callback callback) : callback_(std::move(callback)) {}

  ~SdlAudioDevice() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for a running callback
    if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool open(std::string* error) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // the engine handles SIGINT and SIGTERM
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      *error = SDL_GetError();
      return false;
    }
    subsystem_ = true;
    return open_device(error);
  }

  bool resume(std::string* error) override {
    if (device_ == 0 && !open_device(error)) return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  void suspend() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);  // waits for a running callback
    device_ = 0;
  }

  bool suspended() const override { return device_ == 0; }

 private:
  bool open_device(std::string* error) {
    SDL_AudioSpec want{};
    want.freq = kAudioRate;
    want.format = AUDIO_S16SYS;
    want.channels = kAudioChannels;
    want.samples = 1024;
    want.callback = &SdlAudioDevice::trampoline;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts when the hardware differs.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      *error = SDL_GetError();
      return false;
    }
    return true;
  }

  static void trampoline(void* self, Uint8* stream, int len) {
    auto* d = static_cast<SdlAudioDevice*>(self);
    d->callback_(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len) / (2 * kAudioChannels));
  }

  Callback callback_;
  SDL_AudioDeviceID device_ = 0;
  bool subsystem_ = false;
};

}  // namespace

std::unique_ptr<AudioDevice> open_audio_device(AudioDevice::Callback callback, std::string* error) {
  auto d = std::make_unique<SdlAudioDevice>(std::move(callback));
  if (!d->open(error)) return nullptr;
  return d;
}

}  // namespace plat
