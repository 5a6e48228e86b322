// The Ogg Vorbis reader: headers, then decoding with looping and a switch
// to a loop file (the second half of the input).
#include <cstddef>
#include <cstdint>

#include "fuzz/sound_files.h"
#include "sound/ogg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFiles files;
  files.files["a.ogg"].assign(data, data + size);
  files.files["b.ogg"].assign(data + size / 2, data + size);
  auto r = snd::OggReader::open(files, "a.ogg", "b.ogg", size % 2 == 0);
  if (!r) return 0;
  std::vector<uint8_t> out;
  for (int i = 0; i < 200; ++i) {
    size_t n = 1 + (i * 7919) % 44100;
    r->read(n, out);
    if (out.size() > 4 * n) __builtin_trap();
    if (r->at_end() && !r->looping()) break;
  }
  return 0;
}
