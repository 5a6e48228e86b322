// .rct files: the signature is given (plain or difference, by the first
// byte), the fuzzer makes the rest.
#include "fuzz/image_own_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::vector<uint8_t> file(gfx::kRctMagic, gfx::kRctMagic + 8);
  if (data[0] & 1) file[7] = '1';
  file.insert(file.end(), data + 1, data + size);
  fuzz_own_format(file);
  return 0;
}
