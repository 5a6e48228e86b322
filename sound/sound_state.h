// The sound engine's state, owned by the engine: the stream list, the
// mixer behind the sound buffers, the output (an audio device, or the
// headless pump), the service thread and its three locks.
//
// Lock order, never broken: output_lock, then stream_lock, then
// service_lock, then device_lock. The resource folder lock is taken inside the stream lock
// (the service pass opens files); report_lock and wake_mutex are leaves.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sound/mixer.h"
#include "sound/slots.h"
#include "sound/sound_files.h"
#include "sound/sound_stream.h"

namespace plat { class AudioDevice; }
namespace rt { struct Engine; }

namespace snd {

struct State {
  State();
  ~State();

  // --- output lock: closing the device while nothing plays and opening it
  // again (the device object itself is guarded by the device lock)
  std::mutex output_lock;
  bool unheard = false;       // the device could not be opened again: mixing by the clock
  uint32_t unheard_from = 0;  // clock of the last unheard mix
  // Silence after which the device closes (its thread would wake once a
  // buffer for nothing); tests shorten it.
  uint32_t output_rest_ms = 3000;

  // --- stream lock: the stream list and every stream field
  std::mutex stream_lock;
  std::list<std::unique_ptr<SoundStream>> streams;  // newest first
  uint32_t next_id = 1;

  // --- service lock: pass bookkeeping
  std::mutex service_lock;
  bool passed = false;        // a pass has run
  uint32_t last_pass = 0;     // clock of the last pass
  std::vector<uint8_t> scratch;

  // --- device lock: the mixer, its buffers and the device
  std::mutex device_lock;
  Mixer mixer;
  bool device_up = false;
  std::unique_ptr<plat::AudioDevice> device;
  SoundBuffer* movie = nullptr;  // a movie's sound, pulled from its decoder

  // --- main thread only
  bool initialized = false;   // SndInit has run (and not been undone)
  bool failed = false;        // the device could not be opened; no sound this run
  bool headless = true;       // no device: the mixer is pumped by the engine's clock
  bool service_started = false;
  bool pumped = false;
  uint32_t last_pump = 0;
  uint64_t frame_remainder = 0;  // ms x 44,100 not yet turned into frames
  uint32_t wake_elapsed = 0;     // headless: ms towards the next service wake-up
  bool capturing = false;
  std::vector<int16_t> captured;  // headless --audio-out
  std::vector<int16_t> mix_scratch;
  Slots slots;
  // The message console's command executor, set by the text subsystem:
  // `voice` queues its "v" command there. Without a console the voice plays
  // at once, as the console would play it.
  void (*console_command)(rt::Engine&, std::string_view record) = nullptr;

  // Service thread.
  std::thread service;
  std::atomic<bool> quit{false};
  std::mutex wake_mutex;
  std::condition_variable wake;
  bool stream_started = false;  // under wake_mutex: wakes an idle service thread (also when a movie's sound ends)
  // The script clock as last seen by the main thread, for a service thread
  // running beside a virtual clock.
  std::atomic<uint32_t> published_now{0};
  bool virtual_clock = false;

  // File access for the decoders (used under the stream lock).
  std::unique_ptr<FileAccess> files;

  // Texts the service thread wants shown; the main thread shows them.
  std::mutex report_lock;
  std::vector<std::string> reports;
};

}  // namespace snd
