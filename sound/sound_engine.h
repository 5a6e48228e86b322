// The sound engine: any number of independent streams, each a file (with
// an optional loop file), a loop flag and a volume of 0-1000, driven by id.
// Script-side calls only edit stream records; the service thread (or, with
// no audio device, the engine's clock through `pump`) opens, decodes,
// refills, fades and removes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "sound/mixer.h"

namespace rt { struct Engine; }

namespace snd {

// 0 when the output is up (opening it on first use), -1 after a failure.
int SndInit(rt::Engine& e);
// Releases every stream and buffer and closes the output; the next
// SndInit starts afresh.
void SndShutdown(rt::Engine& e);
// A new stream id, or 0 when the output is unavailable.
uint32_t SndPlay(rt::Engine& e, std::string_view name, int32_t volume, bool loop);
// As SndPlay; `loop_name` plays after `name` (and repeats when looping).
uint32_t SndPlayWithLoop(rt::Engine& e, std::string_view name, std::string_view loop_name, int32_t volume, bool loop);
// Linear fade from the current volume to `target` over `ms`.
void SndFade(rt::Engine& e, uint32_t id, int32_t target, int32_t ms);
// Sets the volume at the next pass, ending a running fade.
void SndSetVolume(rt::Engine& e, uint32_t id, int32_t volume);
// A fade after which the stream is removed.
void SndFadeOut(rt::Engine& e, uint32_t id, int32_t target, int32_t ms);
void SndStop(rt::Engine& e, uint32_t id);
// 0 no such stream (or marked for removal), 1 playing, -1 played to its
// end at least once.
int SndStatus(rt::Engine& e, uint32_t id);
// Marks every stream for removal and waits until they are gone. The
// first call starts the service.
void SndStopAll(rt::Engine& e);

// A movie's sound through the mixer, beside the streams, at a volume of
// 0-1000. `pull` runs under the device lock on the device's thread (the
// main thread without a device). False when there is no output.
bool movie_sound_start(rt::Engine& e, PullSource pull, int32_t volume);
void movie_sound_stop(rt::Engine& e);

// Once per scheduler pass on the main thread: shows what the service
// reported and, with no audio device, mixes the time that passed on the
// engine's clock and runs the service wake-ups that fell into it.
void pump(rt::Engine& e);
// At exit: stops every stream, closes the output and writes the
// --audio-out file.
void shut_down(rt::Engine& e);

// A stream as the service sees it (tests and diagnostics).
struct StreamView {
  bool opened = false;     // has a buffer
  int32_t volume = 0;
  int32_t attenuation = 0; // last set on its buffer
  uint32_t play_cursor = 0; // byte offset in its ring that plays next
  int32_t alive = 0;
  uint32_t finished = 0;
  uint32_t on_loop_file = 0;
  int32_t end_time = 0, stop_time = 0;
};
std::optional<StreamView> stream_view(rt::Engine& e, uint32_t id);
size_t stream_count(rt::Engine& e);
// The audio device is open and pulling (it closes while nothing plays).
bool output_open(rt::Engine& e);

}  // namespace snd
