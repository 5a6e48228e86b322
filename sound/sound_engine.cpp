// [SECTION] State, time and reports
// [SECTION] Device
// [SECTION] Stream operations (script side)
// [SECTION] Service pass (service thread, or the pump without a device)
// [SECTION] Pump, output file and exit
#include "sound/sound_engine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "core/trace.h"
#include "platform/encoding.h"
#include "platform/audio_device.h"
#include "platform/files.h"
#include "res/sound.h"
#include "sound/ogg_reader.h"
#include "sound/sound_state.h"
#include "sound/wav_reader.h"

namespace snd {

// [SECTION] State, time and reports ----------------------------------------------

SoundStream::SoundStream() = default;
SoundStream::~SoundStream() = default;
SoundStream::SoundStream(SoundStream&&) noexcept = default;
SoundStream& SoundStream::operator=(SoundStream&&) noexcept = default;

State::State() = default;

State::~State() {
  {
    // Under the mutex: a service thread about to sleep sees it.
    std::lock_guard w(wake_mutex);
    quit = true;
  }
  wake.notify_all();
  if (service.joinable()) service.join();
  std::unique_ptr<plat::AudioDevice> closing;
  {
    std::lock_guard d(device_lock);
    closing = std::move(device);
  }
  closing.reset();  // waits for a running callback, which takes the device lock
}

namespace {

constexpr uint32_t kPassInterval = 80;    // ms between service passes, at least
constexpr uint32_t kWakeInterval = 30;    // ms between service wake-ups
constexpr uint32_t kStopAllPoll = 50;     // ms between checks while stopping everything
constexpr int32_t kFarAway = 79999;       // a deadline further off than this has passed
constexpr uint32_t kMaxPumpMs = 5000;     // a longer stall is not made up in sound
constexpr size_t kNameLimit = 259;

State& state(rt::Engine& e) { return *e.sound; }

// The service's idea of now. Beside a virtual clock on another thread it
// is the script clock as last published by the main thread.
uint32_t service_now(rt::Engine& e) {
  State& s = state(e);
  if (s.virtual_clock && !s.headless) return s.published_now.load();
  return e.clock.now();
}

// A clock value that is neither 0 ("none") nor -1 ("to be computed").
int32_t deadline(uint32_t t) {
  int32_t v = static_cast<int32_t>(t);
  return (v == 0 || v == -1) ? 1 : v;
}

// Before now, or too far off in either direction to be meant.
bool due(int32_t when, uint32_t now) {
  int32_t d = static_cast<int32_t>(static_cast<uint32_t>(when) - now);
  return d < 0 || d > kFarAway;
}

void report(State& s, std::string text) {
  std::lock_guard r(s.report_lock);
  s.reports.push_back(std::move(text));
}

std::string stream_name(std::string_view name) {
  std::string lower = base::sjis_lower(name);
  if (lower.size() > kNameLimit) lower.resize(base::sjis_offset(lower, base::sjis_length(lower.substr(0, kNameLimit))));
  return lower;
}

SoundStream* find(State& s, uint32_t id) {
  if (id == 0) return nullptr;
  for (auto& x : s.streams)
    if (x->id == id) return x.get();
  return nullptr;
}

uint8_t silence_byte(const WaveFormat& f) { return f.bits == 8 ? 0x80 : 0x00; }

}  // namespace

// [SECTION] Device -------------------------------------------------------------------

int SndInit(rt::Engine& e) {
  State& s = state(e);
  if (s.initialized) return 0;
  if (s.failed) return -1;
  s.initialized = true;
  s.headless = e.options.headless;
  s.virtual_clock = e.clock.is_virtual();
  if (!s.files) s.files = resource_files(e);
  if (s.headless) {
    std::lock_guard d(s.device_lock);
    s.device_up = true;
    s.capturing = !e.options.audio_out.empty();
    return 0;
  }
  std::string error;
  auto device = plat::open_audio_device(
      [&s](int16_t* out, size_t frames) {
        std::lock_guard d(s.device_lock);
        s.mixer.mix(out, frames);
      },
      &error);
  if (!device) {
    s.initialized = false;
    s.failed = true;
    rt::debug_log(e, "audio device: " + error);
    rt::warning_box(e, msg::kDeviceFailed);
    return -1;
  }
  plat::AudioDevice* started = device.get();
  std::lock_guard o(s.output_lock);
  {
    std::lock_guard d(s.device_lock);
    s.device = std::move(device);
    s.device_up = true;
  }
  // Outside the device lock: the device holds its own lock around the
  // callback, which takes ours.
  started->resume(&error);
  return 0;
}

namespace {

// Under the output lock. Opens the device again when it was closed while
// nothing played: the buffers have not moved since, so a sound started
// meanwhile begins at its first frame once the device pulls. When the
// device cannot be opened, the mixer runs on by the clock, unheard, so that
// sounds still end when they would have and nothing waits for ever; every
// wake-up tries again.
void wake_output(rt::Engine& e, State& s) {
  plat::AudioDevice* device;
  {
    std::lock_guard d(s.device_lock);
    device = s.device.get();
  }
  if (!device || !device->suspended()) return;
  std::string error;
  const auto t0 = std::chrono::steady_clock::now();
  if (device->resume(&error)) {
    s.unheard = false;
    QUOREL_TRACE(e, sound, "audio output open again after %.1f ms",
                 std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    return;
  }
  const uint32_t now = service_now(e);
  if (!s.unheard) {
    QUOREL_TRACE(e, sound, "audio output cannot be opened again (%s); sounds play unheard", error.c_str());
    s.unheard = true;
    s.unheard_from = now;
    return;
  }
  const uint32_t elapsed = std::min(now - s.unheard_from, kMaxPumpMs);
  s.unheard_from = now;
  const size_t frames = static_cast<size_t>(elapsed) * kDeviceRate / 1000;
  if (frames == 0) return;
  std::vector<int16_t> out(frames * 2);
  std::lock_guard d(s.device_lock);
  s.mixer.mix(out.data(), frames);
}

// Closes the device when no buffer is left (no stream, no movie, nothing
// fading out); false when something still plays.
bool rest_output(State& s) {
  std::lock_guard o(s.output_lock);
  plat::AudioDevice* device;
  {
    std::lock_guard d(s.device_lock);
    if (!s.device) return true;
    if (s.mixer.buffer_count() != 0) return false;
    device = s.device.get();
  }
  device->suspend();  // outside the device lock: it waits for a running callback, which takes it
  s.unheard = false;
  return true;
}

void wake_service(State& s) {
  {
    std::lock_guard w(s.wake_mutex);
    s.stream_started = true;
  }
  s.wake.notify_all();
}

}  // namespace

bool output_open(rt::Engine& e) {
  State& s = state(e);
  std::lock_guard o(s.output_lock);
  std::lock_guard d(s.device_lock);
  return s.device && !s.device->suspended();
}

void SndShutdown(rt::Engine& e) {
  State& s = state(e);
  std::lock_guard o(s.output_lock);
  std::unique_ptr<plat::AudioDevice> closing;
  {
    std::lock_guard sl(s.stream_lock);
    std::lock_guard vl(s.service_lock);
    std::lock_guard d(s.device_lock);
    // Streams cannot outlive their buffers.
    s.streams.clear();
    s.mixer.clear();
    s.movie = nullptr;
    s.device_up = false;
    closing = std::move(s.device);
  }
  closing.reset();
  s.initialized = false;
}

bool movie_sound_start(rt::Engine& e, PullSource pull, int32_t volume) {
  movie_sound_stop(e);
  if (SndInit(e) != 0) return false;
  State& s = state(e);
  std::lock_guard o(s.output_lock);
  wake_output(e, s);
  std::lock_guard d(s.device_lock);
  if (!s.device_up) return false;
  s.movie = s.mixer.create_pulled(std::move(pull));
  s.mixer.set_volume(s.movie, attenuation_of(std::clamp(volume, 0, 1000)));
  s.mixer.start(s.movie);
  return true;
}

void movie_sound_stop(rt::Engine& e) {
  State& s = state(e);
  {
    std::lock_guard d(s.device_lock);
    if (!s.movie) return;
    s.mixer.release(s.movie);
    s.movie = nullptr;
  }
  wake_service(s);  // to close the device once the silence lasts
}

// [SECTION] Stream operations (script side) ----------------------------------------------

uint32_t SndPlayWithLoop(rt::Engine& e, std::string_view name, std::string_view loop_name, int32_t volume,
                         bool loop) {
  if (SndInit(e) != 0) return 0;
  State& s = state(e);
  auto x = std::make_unique<SoundStream>();
  x->volume = volume;
  x->loop = loop ? 1 : 0;
  x->alive = 1;
  x->name = stream_name(name);
  x->loop_name = stream_name(loop_name);
  std::lock_guard sl(s.stream_lock);
  x->id = s.next_id++;
  if (s.next_id == 0) s.next_id = 1;
  uint32_t id = x->id;
  QUOREL_TRACE(e, sound, "stream %u: %s%s%s, volume %d", id, plat::sjis_to_utf8(name).c_str(),
               loop_name.empty() ? "" : " then ", plat::sjis_to_utf8(loop_name).c_str(), volume);
  s.streams.push_front(std::move(x));
  wake_service(s);
  return id;
}

uint32_t SndPlay(rt::Engine& e, std::string_view name, int32_t volume, bool loop) {
  return SndPlayWithLoop(e, name, {}, volume, loop);
}

namespace {

void start_fade(rt::Engine& e, SoundStream& x, int32_t target, int32_t ms) {
  if (ms < 2) ms = 1;
  x.fade_start = deadline(e.clock.now());
  x.fade_length = ms;
  x.fade_from = x.volume;
  x.fade_delta = target - x.volume;
}

}  // namespace

void SndFade(rt::Engine& e, uint32_t id, int32_t target, int32_t ms) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  if (SoundStream* x = find(s, id)) start_fade(e, *x, target, ms);
}

void SndSetVolume(rt::Engine& e, uint32_t id, int32_t volume) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  if (SoundStream* x = find(s, id)) {
    x->volume = volume;
    x->volume_dirty = 1;
    x->fade_start = 0;
  }
}

void SndFadeOut(rt::Engine& e, uint32_t id, int32_t target, int32_t ms) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  SoundStream* x = find(s, id);
  if (!x) return;
  bool at_once = !x->buffer || ms <= 0;
  start_fade(e, *x, target, ms);
  x->stop_after_fade = 1;
  if (at_once) x->alive = 0;
}

void SndStop(rt::Engine& e, uint32_t id) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  QUOREL_TRACE(e, sound, "stream %u stopped", id);
  if (SoundStream* x = find(s, id)) x->alive = 0;
}

int SndStatus(rt::Engine& e, uint32_t id) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  SoundStream* x = find(s, id);
  if (!x || !x->alive) return 0;
  return x->finished ? -1 : 1;
}

std::optional<StreamView> stream_view(rt::Engine& e, uint32_t id) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  SoundStream* x = find(s, id);
  if (!x) return std::nullopt;
  StreamView v;
  v.opened = x->buffer != nullptr;
  v.volume = x->volume;
  v.alive = x->alive;
  v.finished = x->finished;
  v.on_loop_file = x->on_loop_file || (x->ogg && x->ogg->on_loop_file());
  v.end_time = x->end_time;
  v.stop_time = x->stop_time;
  if (x->buffer) {
    std::lock_guard vl(s.service_lock);
    std::lock_guard d(s.device_lock);
    v.attenuation = x->buffer->last_volume;
    v.play_cursor = s.mixer.play_cursor(x->buffer);
  }
  return v;
}

size_t stream_count(rt::Engine& e) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  return s.streams.size();
}

// [SECTION] Service pass (service thread, or the pump without a device) ------------------------

namespace {

// Under the device lock.
void apply_volume(State& s, SoundStream& x) {
  int32_t a = attenuation_of(x.volume);
  int32_t last = x.buffer->last_volume;
  if (a == last) {
    a = std::max(a - 1, kSilentAttenuation);
    if (a == last) a += 1;
  }
  s.mixer.set_volume(x.buffer, a);
}

void refill(rt::Engine& e, State& s, SoundStream& x, int units, uint32_t now) {
  std::vector<uint8_t>& data = s.scratch;
  data.clear();
  bool got = false;
  if (x.stop_time == 0) {
    if (x.ogg) {
      x.ogg->read(static_cast<size_t>(units) * x.out_unit, data);
      got = !data.empty();
      if (std::string f = x.ogg->take_failed_file(); !f.empty()) report(s, base::format(msg::kFileNotPlayable, f.c_str()));
      if (!x.finished && x.ogg->at_end()) {
        if (x.end_time == 0) x.end_time = -1;
        if (!x.ogg->looping()) x.stop_time = -1;
      }
    } else {
      got = wav_read(*s.files, x, units, data);
      if (!x.failed_file.empty()) {
        report(s, base::format(msg::kFileNotPlayable, x.failed_file.c_str()));
        x.failed_file.clear();
      }
    }
  }
  const uint32_t align = x.out_format.block_align;
  if (!got) {
    size_t size = static_cast<size_t>(units) * x.out_unit;
    data.assign(size - size % align, silence_byte(x.out_format));
  }

  std::lock_guard d(s.device_lock);
  const uint32_t ring = s.mixer.ring_bytes(x.buffer);
  size_t size = std::min<size_t>(data.size(), ring);
  s.mixer.write(x.buffer, x.write_pos, data.data(), size);
  x.write_pos = static_cast<uint32_t>((x.write_pos + size) % ring);
  if (x.end_time == -1 || x.stop_time == -1) {
    uint32_t queued = (x.write_pos + ring - s.mixer.play_cursor(x.buffer)) % ring;
    uint64_t ms = static_cast<uint64_t>(queued) * 1000 / x.out_format.bytes_per_sec;
    int32_t when = deadline(now + static_cast<uint32_t>(ms));
    if (x.end_time == -1) x.end_time = when;
    if (x.stop_time == -1) x.stop_time = when;
  }
}

bool open_stream(State& s, SoundStream& x) {
  OpenResult r = wav_open(*s.files, x, false);
  if (r == OpenResult::Failed) return false;
  if (r == OpenResult::NotWav) {
    if (!is_ogg_name(x.name)) return false;
    x.ogg = OggReader::open(*s.files, x.name, x.loop_name, x.loop != 0);
    if (!x.ogg) return false;
    x.path = x.ogg->path();
    x.src_format = x.out_format =
        pcm16_format(static_cast<uint16_t>(x.ogg->channels()), static_cast<uint32_t>(x.ogg->rate()));
    x.src_unit = x.out_unit = 44100;
  }
  std::lock_guard d(s.device_lock);
  x.buffer = s.mixer.create(x.out_format, kRingBytes);
  x.write_pos = 0;
  return x.buffer != nullptr;
}

void remove_stream(State& s, SoundStream& x) {
  std::lock_guard d(s.device_lock);
  if (x.buffer) s.mixer.release(x.buffer);
  x.buffer = nullptr;
}

// One stream's turn in a pass; false when it is to be removed.
bool service_stream(rt::Engine& e, State& s, SoundStream& x, uint32_t now) {
  if (!x.buffer) {
    if (!x.alive) return false;
    if (!open_stream(s, x)) {
      report(s, base::format(msg::kFileNotPlayable, x.name.c_str()));
      x.ogg.reset();
      return false;
    }
    x.play_pos = 0;
    refill(e, s, x, 4, now);
    std::lock_guard d(s.device_lock);
    apply_volume(s, x);
    s.mixer.start(x.buffer);
  }
  if (x.volume_dirty) {
    std::lock_guard d(s.device_lock);
    apply_volume(s, x);
    x.volume_dirty = 0;
  }
  uint32_t ring;
  {
    std::lock_guard d(s.device_lock);
    x.play_pos = s.mixer.play_cursor(x.buffer);
    ring = s.mixer.ring_bytes(x.buffer);
  }
  if ((x.play_pos + ring - x.write_pos) % ring >= ring / 2) refill(e, s, x, 1, now);

  if (x.fade_start != 0) {
    uint32_t diff = now - static_cast<uint32_t>(x.fade_start);
    int64_t elapsed = std::abs(static_cast<int64_t>(static_cast<int32_t>(diff)));
    elapsed = std::min<int64_t>(elapsed, x.fade_length);
    x.volume = static_cast<int32_t>(elapsed * x.fade_delta / x.fade_length + x.fade_from);
    {
      std::lock_guard d(s.device_lock);
      apply_volume(s, x);
    }
    if (elapsed >= x.fade_length) {
      x.fade_start = 0;
      if (x.stop_after_fade) x.alive = 0;
    }
  }
  if (!x.finished && x.end_time != 0 && x.end_time != -1 && due(x.end_time, now)) x.finished = 1;
  if (x.stop_time != 0 && x.stop_time != -1 && due(x.stop_time, now)) x.alive = 0;
  return x.alive != 0;
}

void service_pass(rt::Engine& e, uint32_t now, bool force) {
  State& s = state(e);
  std::lock_guard sl(s.stream_lock);
  std::lock_guard vl(s.service_lock);
  if (!force && s.passed && now - s.last_pass < kPassInterval) return;
  {
    std::lock_guard d(s.device_lock);
    if (!s.device_up) return;
  }
  if (s.streams.empty()) return;
  s.passed = true;
  s.last_pass = now;
  for (auto it = s.streams.begin(); it != s.streams.end();) {
    SoundStream& x = **it;
    if (service_stream(e, s, x, now)) {
      ++it;
    } else {
      remove_stream(s, x);
      it = s.streams.erase(it);
    }
  }
}

void service_main(rt::Engine* e) {
  State& s = state(*e);
  for (;;) {
    {
      std::unique_lock lk(s.wake_mutex);
      s.stream_started = false;
    }
    bool idle;
    {
      std::lock_guard sl(s.stream_lock);
      idle = s.streams.empty();
    }
    {
      std::unique_lock lk(s.wake_mutex);
      auto woken = [&] { return s.quit.load() || s.stream_started; };
      // With nothing playing there is nothing to fill: asleep until a
      // stream starts. Once the silence has lasted, the device closes too.
      if (idle) {
        bool started = s.wake.wait_for(lk, std::chrono::milliseconds(s.output_rest_ms), woken);
        while (!started) {
          lk.unlock();
          const bool rested = rest_output(s);
          lk.lock();
          if (rested) {
            s.wake.wait(lk, woken);
            started = true;
          } else {
            started = s.wake.wait_for(lk, std::chrono::milliseconds(s.output_rest_ms), woken);
          }
        }
        if (s.quit) return;
      } else if (s.wake.wait_for(lk, std::chrono::milliseconds(kWakeInterval), [&] { return s.quit.load(); })) {
        return;
      }
    }
    {
      std::lock_guard o(s.output_lock);
      wake_output(*e, s);
    }
    service_pass(*e, service_now(*e), false);
  }
}

void start_service(rt::Engine& e) {
  State& s = state(e);
  if (s.service_started) return;
  s.service_started = true;
  if (!e.options.headless) s.service = std::thread(service_main, &e);
}

}  // namespace

void SndStopAll(rt::Engine& e) {
  State& s = state(e);
  s.published_now = e.clock.now();
  start_service(e);
  {
    std::lock_guard sl(s.stream_lock);
    for (auto& x : s.streams) x->alive = 0;
  }
  if (!s.service.joinable()) {
    // No service thread: the removal pass runs here.
    service_pass(e, e.clock.now(), true);
    return;
  }
  for (;;) {
    {
      std::lock_guard sl(s.stream_lock);
      if (s.streams.empty()) return;
      std::lock_guard d(s.device_lock);
      if (!s.device_up) {
        // No pass will run while the device is down.
        s.streams.clear();
        return;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopAllPoll));
    // A virtual clock stands still while the main thread waits here: let it
    // run on, or the service never sees its next pass come round.
    if (s.virtual_clock) s.published_now = s.published_now.load() + kStopAllPoll;
  }
}

// [SECTION] Pump, output file and exit -------------------------------------------------------

void pump(rt::Engine& e) {
  State& s = state(e);
  const uint32_t now = e.clock.now();
  s.published_now = now;
  if (s.headless && s.initialized) {
    uint32_t elapsed = s.pumped ? now - s.last_pump : 0;
    s.pumped = true;
    s.last_pump = now;
    elapsed = std::min(elapsed, kMaxPumpMs);
    s.frame_remainder += static_cast<uint64_t>(elapsed) * kDeviceRate;
    size_t frames = static_cast<size_t>(s.frame_remainder / 1000);
    s.frame_remainder %= 1000;
    if (frames > 0) {
      s.mix_scratch.resize(frames * 2);
      {
        std::lock_guard d(s.device_lock);
        s.mixer.mix(s.mix_scratch.data(), frames);
      }
      if (s.capturing) s.captured.insert(s.captured.end(), s.mix_scratch.begin(), s.mix_scratch.end());
    }
    if (s.service_started) {
      s.wake_elapsed += elapsed;
      while (s.wake_elapsed >= kWakeInterval) {
        s.wake_elapsed -= kWakeInterval;
        service_pass(e, now, false);
      }
    }
  }
  std::vector<std::string> texts;
  {
    std::lock_guard r(s.report_lock);
    texts.swap(s.reports);
  }
  for (const std::string& t : texts) rt::error_box(e, t);
}

namespace {

std::vector<uint8_t> wave_file(const std::vector<int16_t>& samples) {
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out(size_t{44} + data);
  uint8_t* p = out.data();
  std::memcpy(p, "RIFF", 4);
  base::store_u32(p + 4, 36 + data);
  std::memcpy(p + 8, "WAVEfmt ", 8);
  base::store_u32(p + 16, 16);
  base::store_u16(p + 20, kFormatPcm);
  base::store_u16(p + 22, 2);
  base::store_u32(p + 24, kDeviceRate);
  base::store_u32(p + 28, kDeviceRate * 4);
  base::store_u16(p + 32, 4);
  base::store_u16(p + 34, 16);
  std::memcpy(p + 36, "data", 4);
  base::store_u32(p + 40, data);
  for (size_t i = 0; i < samples.size(); ++i) base::store_u16(p + 44 + 2 * i, static_cast<uint16_t>(samples[i]));
  return out;
}

}  // namespace

void shut_down(rt::Engine& e) {
  State& s = state(e);
  if (s.initialized) SndStopAll(e);
  pump(e);  // reports of the last pass
  SndShutdown(e);
  if (s.capturing && !e.options.audio_out.empty()) {
    if (!plat::write_file_atomic(plat::absolute_path(e.options.audio_out), wave_file(s.captured))) {
      std::fprintf(stderr, "quorel: cannot write %s: %s\n", e.options.audio_out.c_str(), std::strerror(errno));
      e.output_failed = true;
    }
    s.capturing = false;
  }
}

}  // namespace snd
