// PNG through libpng, on bytes in memory. Decoding turns every colour type
// and bit depth libpng reads into blue-green-red pixels and, when the image
// carries transparency (an alpha channel or a tRNS chunk), a transparency
// plane (255 - alpha). Encoding writes what the converter and screenshots
// need.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "graphics/page.h"

namespace gfx {

// Result codes of a decode (the cleanup step shows an error box for all but
// Ok).
enum class PngResult { Ok = 0, Open = 1, ReadStruct = 2, InfoStruct = 3, ColourType = 4, BitDepth = 5,
                       Interlace = 6, Library = 7 };

struct PngImage {
  int width = 0;
  int height = 0;
  int colour_type = 0;      // as stored in the file
  int bit_depth = 0;
  bool interlaced = false;
  std::vector<uint8_t> bgr;            // width × height × 3, packed
  std::vector<uint8_t> transparency;   // width × height, or empty: no transparency
  bool has_palette = false;            // colour type 3
  Palette palette{};                   // its entries (for the converter)
  std::vector<uint8_t> indexes;        // colour type 3: the index of each pixel
};

// Decodes a whole PNG file. On failure `error` says why (English).
PngResult decode_png(std::span<const uint8_t> file, PngImage& out, std::string* error);

// Reads only the header: size and format.
bool read_png_header(std::span<const uint8_t> file, int* width, int* height, std::string* error);

// Encoders; rows are `stride` bytes apart. Colour is blue-green-red; alpha
// is opacity (PNG's sense), one byte per pixel, or null for none.
std::vector<uint8_t> encode_png_bgr(const uint8_t* bgr, int width, int height, size_t stride,
                                    const uint8_t* alpha = nullptr, size_t alpha_stride = 0);
std::vector<uint8_t> encode_png_indexed(const uint8_t* indexes, int width, int height, size_t stride,
                                        const Palette& palette);
std::vector<uint8_t> encode_png_grey(const uint8_t* grey, int width, int height, size_t stride);

inline bool is_png(std::span<const uint8_t> file) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return file.size() >= 8 && std::equal(kSignature, kSignature + 8, file.begin());
}

}  // namespace gfx
