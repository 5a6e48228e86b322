// .rc8 files: the signature is given, the fuzzer makes the rest.
#include "fuzz/image_own_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(gfx::kRc8Magic, gfx::kRc8Magic + 8);
  file.insert(file.end(), data, data + size);
  fuzz_own_format(file);
  return 0;
}
