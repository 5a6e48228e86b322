// One playing sound: the record the script side edits under the stream lock
// and the service thread opens, refills, fades and finally removes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sound/wave_format.h"

namespace snd {

class OggReader;
struct SoundBuffer;

struct SoundStream {
  SoundStream();
  ~SoundStream();
  SoundStream(SoundStream&&) noexcept;
  SoundStream& operator=(SoundStream&&) noexcept;

  std::string name;        // lower-cased at creation
  std::string loop_name;   // lower-cased; empty when none
  std::string path;        // native path of `name`, filled when the file is parsed
  std::string loop_path;   // native path of `loop_name`
  WaveFormat src_format;   // the file's data
  WaveFormat out_format;   // the sound buffer's (always PCM)
  uint32_t id = 0;
  SoundBuffer* buffer = nullptr;  // null until the service thread has opened the stream
  uint32_t write_pos = 0;  // next byte of the ring to fill
  uint32_t play_pos = 0;   // last play cursor read
  int64_t data_offset = 0; // WAV: offset of the first data byte in `path`
  int32_t data_pos = 0;    // WAV: data bytes consumed
  int32_t data_size = 0;   // WAV: data bytes, whole blocks
  int32_t src_unit = 0;    // source bytes per refill unit
  int32_t out_unit = 0;    // buffer bytes per refill unit
  uint32_t finished = 0;   // played through to its end at least once
  uint32_t on_loop_file = 0;
  int32_t alive = 1;       // 0 asks the service thread to remove the stream
  uint32_t loop = 0;
  int32_t volume = 0;      // 0-1000
  int32_t fade_start = 0;  // clock at fade start; 0 = no fade
  int32_t fade_length = 1;
  int32_t fade_from = 0;
  int32_t fade_delta = 0;
  uint32_t volume_dirty = 0;
  int32_t stop_after_fade = 0;
  int32_t stop_time = 0;   // 0 none, -1 to be computed, else clock of removal
  int32_t end_time = 0;    // 0 none, -1 to be computed, else clock at which `finished` becomes 1
  std::unique_ptr<OggReader> ogg;

  // Reads that found the file gone or cut short, in a row; a stream that
  // cannot read its file any more ends instead of playing silence forever.
  int read_failures = 0;
  // A file the service thread must report (set by the decoders).
  std::string failed_file;
};

// Reads in a row that may fail before a non-looping stream is ended.
constexpr int kReadFailureLimit = 3;

}  // namespace snd
