// PNG files through libpng into colour and transparency planes; what
// decodes must survive a round trip through the encoder.
#include <cstdlib>
#include <vector>

#include "graphics/png_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> file(kSignature, kSignature + 8);
  file.insert(file.end(), data, data + size);
  gfx::PngImage img;
  if (gfx::decode_png(file, img, nullptr) != gfx::PngResult::Ok) return 0;
  if (img.bgr.size() != static_cast<size_t>(img.width) * img.height * 3) std::abort();
  if (!img.transparency.empty() && img.transparency.size() != static_cast<size_t>(img.width) * img.height)
    std::abort();
  std::vector<uint8_t> opacity;
  for (uint8_t t : img.transparency) opacity.push_back(static_cast<uint8_t>(255 - t));
  std::vector<uint8_t> again = gfx::encode_png_bgr(img.bgr.data(), img.width, img.height,
                                                   static_cast<size_t>(img.width) * 3,
                                                   opacity.empty() ? nullptr : opacity.data(),
                                                   static_cast<size_t>(img.width));
  gfx::PngImage back;
  if (gfx::decode_png(again, back, nullptr) != gfx::PngResult::Ok || back.bgr != img.bgr ||
      back.transparency != img.transparency)
    std::abort();
  return 0;
}
