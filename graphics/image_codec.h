// The engine's own image formats, on bytes in memory: ".rct" (24-bit,
// plain or a difference against a base image) and ".rc8" (8-bit palette).
// Shared by the image loader, the converter tool, the fuzz targets and the
// benchmarks; nothing here touches engine state.
//
// Both formats pack the image without row padding and compress it with
// literal runs and copies from one of a fixed set of nearby positions
// (left in the same row, or up to four rows above).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "graphics/page.h"

namespace gfx {

enum class ImageFormat { Rct, RctDifference, Rc8 };

inline constexpr uint8_t kRctMagic[8] = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '0'};
inline constexpr uint8_t kRctDiffMagic[8] = {0x98, 0x5A, 0x92, 0x9A, 'T', 'C', '0', '1'};
inline constexpr uint8_t kRc8Magic[8] = {0x98, 0x5A, 0x92, 0x9A, '8', '_', '0', '0'};
inline constexpr size_t kRctHeaderSize = 20;
inline constexpr size_t kRc8HeaderSize = 20 + 768;

struct ImageHeader {
  ImageFormat format = ImageFormat::Rct;
  int width = 0;
  int height = 0;
  uint32_t data_size = 0;     // compressed bytes
  size_t data_offset = 0;     // where they start in the file
  std::string base_name;      // difference images: the base, without extension
  Palette palette{};          // ".rc8"

  bool is8bit() const { return format == ImageFormat::Rc8; }
  int bytes_per_pixel() const { return is8bit() ? 1 : 3; }
};

// Reads the header. With `whole_file` the compressed data must lie inside
// `file` and be plausible for the image size; without it only the header
// bytes are needed (size queries). On failure `error` says why, in English.
bool parse_image_header(std::span<const uint8_t> file, ImageHeader& out, std::string* error,
                        bool whole_file = true);

// Width and height from the first bytes of an own-format file (no checks
// on the data); false when the bytes are not such a header.
bool read_image_size(std::span<const uint8_t> head, int* width, int* height);

// Decompresses the pixel data into `out`: rows top-down, `stride` bytes
// apart (at least width × bytes per pixel), `capacity` bytes writable in
// all (at least stride × height). False on corrupt data (a copy from before
// the start of the image, input that ends before the image is complete);
// `out` then holds a partial image. A run that reaches past the end of the
// image is cut there.
bool decode_image_data(std::span<const uint8_t> file, const ImageHeader& header, uint8_t* out, size_t stride,
                       size_t capacity, std::string* error);

// Encoders. Pixels are rows of `stride` bytes: blue-green-red for ".rct",
// palette indexes for ".rc8". A non-empty base name makes a difference
// image (the caller has already put pure red where the base shows through).
std::vector<uint8_t> encode_rct(const uint8_t* pixels, int width, int height, size_t stride,
                                std::string_view base_name = {});
std::vector<uint8_t> encode_rc8(const uint8_t* pixels, int width, int height, size_t stride,
                                const Palette& palette);

}  // namespace gfx
