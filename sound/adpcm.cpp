#include "sound/adpcm.h"

#include <algorithm>

#include "base/bytes.h"

namespace snd {
namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};
constexpr int kMinDelta = 16;
// Corrupt data can grow the step without bound; no valid stream comes near.
constexpr int64_t kMaxDelta = 0x7FFFFFFF / 1024;

struct Channel {
  int64_t c1 = 0, c2 = 0;
  int64_t delta = 0;
  int64_t s1 = 0, s2 = 0;
};

int16_t clamp16(int64_t v) { return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767)); }

int16_t expand(Channel& ch, int nibble) {
  int64_t predicted = (ch.s1 * ch.c1 + ch.s2 * ch.c2) >> 8;
  int64_t signed_code = nibble >= 8 ? nibble - 16 : nibble;
  int16_t sample = clamp16(predicted + signed_code * ch.delta);
  ch.s2 = ch.s1;
  ch.s1 = sample;
  ch.delta = std::min<int64_t>((kAdaptation[nibble] * ch.delta) >> 8, kMaxDelta);
  if (ch.delta < kMinDelta) ch.delta = kMinDelta;
  return sample;
}

}  // namespace

bool adpcm_layout(const WaveFormat& f, AdpcmLayout* out) {
  if (f.tag != kFormatAdpcm || f.channels < 1 || f.channels > 2) return false;
  if (f.block_align < 7u * f.channels) return false;
  // cbSize, samples per block, coefficient count, then the pairs.
  if (f.extra.size() < 6) return false;
  uint16_t samples_per_block = base::load_u16(f.extra.data() + 2);
  uint16_t count = base::load_u16(f.extra.data() + 4);
  size_t available = (f.extra.size() - 6) / 4;
  if (count > available) count = static_cast<uint16_t>(available);
  out->channels = f.channels;
  out->block_align = f.block_align;
  out->samples_per_block = samples_per_block;
  out->coefficients.clear();
  for (size_t i = 0; i < count; ++i) {
    out->coefficients.push_back(static_cast<int16_t>(base::load_u16(f.extra.data() + 6 + 4 * i)));
    out->coefficients.push_back(static_cast<int16_t>(base::load_u16(f.extra.data() + 8 + 4 * i)));
  }
  return true;
}

size_t adpcm_decode(const AdpcmLayout& layout, std::span<const uint8_t> in, std::vector<int16_t>& out) {
  const size_t channels = layout.channels;
  const size_t header = 7 * channels;
  const size_t pairs = layout.coefficients.size() / 2;
  const size_t start = out.size();
  out.reserve(start + in.size() * 2);

  for (size_t block = 0; block < in.size(); block += layout.block_align) {
    std::span<const uint8_t> b = in.subspan(block, std::min<size_t>(layout.block_align, in.size() - block));
    if (b.size() < header) break;  // a block cut inside its header
    Channel ch[2];
    for (size_t c = 0; c < channels; ++c) {
      size_t predictor = b[c];
      if (predictor >= pairs) {
        out.resize(start);
        return 0;
      }
      ch[c].c1 = layout.coefficients[2 * predictor];
      ch[c].c2 = layout.coefficients[2 * predictor + 1];
      ch[c].delta = static_cast<int16_t>(base::load_u16(b.data() + channels + 2 * c));
      ch[c].s1 = static_cast<int16_t>(base::load_u16(b.data() + 3 * channels + 2 * c));
      ch[c].s2 = static_cast<int16_t>(base::load_u16(b.data() + 5 * channels + 2 * c));
    }
    for (size_t c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(ch[c].s2));
    for (size_t c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(ch[c].s1));

    // Codes for the rest of the block, high nibble first, channels alternating.
    size_t frames_left = (b.size() - header) * 2 / channels;
    if (layout.samples_per_block >= 2) frames_left = std::min<size_t>(frames_left, layout.samples_per_block - 2);
    size_t codes = frames_left * channels;
    for (size_t i = 0; i < codes; ++i) {
      uint8_t byte = b[header + i / 2];
      int nibble = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
      out.push_back(expand(ch[i % channels], nibble));
    }
  }
  return out.size() - start;
}

}  // namespace snd
