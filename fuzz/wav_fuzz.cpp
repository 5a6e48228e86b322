// The WAVE reader: header walk, then reading every unit (PCM or ADPCM),
// looping once into a loop file made of the same bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/sound_files.h"
#include "sound/sound_stream.h"
#include "sound/wav_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFiles files;
  files.files["a.wav"].assign(data, data + size);
  files.files["b.wav"].assign(data, data + size / 2);
  snd::SoundStream s;
  s.name = "a.wav";
  s.loop_name = "b.wav";
  s.loop = 1;
  if (snd::wav_open(files, s, false) != snd::OpenResult::Ok) return 0;
  std::vector<uint8_t> out;
  for (int i = 0; i < 64 && s.stop_time == 0; ++i) {
    if (!snd::wav_read(files, s, 1 + i % 4, out)) break;
    if (out.size() % s.out_format.block_align != 0) __builtin_trap();
  }
  return 0;
}
