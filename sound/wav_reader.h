// RIFF WAVE files holding PCM or Microsoft ADPCM, read a unit at a time by
// the service thread. The reader keeps its position in the stream record
// and reopens the file for every read.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sound/sound_files.h"
#include "sound/sound_stream.h"
#include "sound/wave_format.h"

namespace snd {

// Where the samples of a WAVE file lie, relative to its first byte.
struct WavLayout {
  WaveFormat format;
  uint32_t data_offset = 0;
  uint32_t data_size = 0;   // whole blocks that are present in the file
};

// Random access to the bytes of one file of `size` bytes.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Bytes read at `offset` (short at the end of the file), or -1.
  virtual int64_t read_at(uint32_t offset, void* buffer, size_t size) = 0;
};

// Walks the chunks: "fmt " must come before "data"; other chunks are
// skipped. Only PCM and ADPCM that a buffer can play are accepted.
std::optional<WavLayout> parse_wav(ByteSource& source, uint32_t size);

// Units: source bytes per refill and buffer bytes per refill.
void wav_units(const WaveFormat& src, int32_t* src_unit, int32_t* out_unit);

enum class OpenResult { Ok, Failed, NotWav };

// Parses the stream's file (or, with `loop_file`, its loop file) and fills
// formats, data extent and units. A loop file must match the layout the
// stream's buffer already plays.
OpenResult wav_open(FileAccess& files, SoundStream& s, bool loop_file);

// Reads `units` units of PCM into `out`. False when there is nothing to
// give (not a PCM/ADPCM stream, or its data has ended): the caller then
// writes silence. At the end of the data it switches to the loop file,
// starts over, or marks the stream's end.
bool wav_read(FileAccess& files, SoundStream& s, int units, std::vector<uint8_t>& out);

// True when the name is played by this reader (it contains ".wav").
bool is_wav_name(const std::string& lower_name);

}  // namespace snd
