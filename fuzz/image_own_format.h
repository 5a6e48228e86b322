// Shared by the .rct and .rc8 targets: decode what the fuzzer made of a
// file, and when it decodes, check that the encoder's output of the same
// pixels decodes to them again.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/image_codec.h"

inline void fuzz_own_format(const std::vector<uint8_t>& file) {
  gfx::ImageHeader h;
  if (!gfx::parse_image_header(file, h, nullptr)) return;
  size_t row = static_cast<size_t>(h.width) * h.bytes_per_pixel();
  size_t stride = (row + 3) / 4 * 4;
  std::vector<uint8_t> pixels(stride * h.height);
  if (!gfx::decode_image_data(file, h, pixels.data(), stride, pixels.size(), nullptr)) return;
  if (pixels.size() > (1u << 16)) return;  // the encoder is slower than the decoder; keep runs quick
  std::vector<uint8_t> again = h.is8bit() ? gfx::encode_rc8(pixels.data(), h.width, h.height, stride, h.palette)
                                          : gfx::encode_rct(pixels.data(), h.width, h.height, stride, h.base_name);
  gfx::ImageHeader h2;
  std::vector<uint8_t> back(pixels.size());
  if (!gfx::parse_image_header(again, h2, nullptr) ||
      !gfx::decode_image_data(again, h2, back.data(), stride, back.size(), nullptr))
    std::abort();
  for (int y = 0; y < h.height; ++y)
    if (std::memcmp(back.data() + y * stride, pixels.data() + y * stride, row) != 0) std::abort();
}
