// Microsoft ADPCM (WAVE format tag 2): 4-bit codes with per-block
// predictor headers, expanded to 16-bit PCM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sound/wave_format.h"

namespace snd {

struct AdpcmLayout {
  uint16_t channels = 0;
  uint16_t block_align = 0;
  uint16_t samples_per_block = 0;  // 0: as many as the block holds
  std::vector<int16_t> coefficients;  // pairs
};

// Reads the extension of a tag-2 "fmt " chunk; false when it is missing or
// the layout cannot be decoded (no channels, a block shorter than its header).
bool adpcm_layout(const WaveFormat& format, AdpcmLayout* out);

// Decodes whole and partial blocks of `in` into interleaved 16-bit samples
// appended to `out` (at most 2 samples per input byte). A predictor index
// outside the coefficient table makes the whole decode yield nothing.
// Returns the number of samples appended.
size_t adpcm_decode(const AdpcmLayout& layout, std::span<const uint8_t> in, std::vector<int16_t>& out);

}  // namespace snd
