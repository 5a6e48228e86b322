// Saved games as a hand, a bad disk or another program may leave them.
#include "fuzz/save_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_saves::read_save({data, size});
  return 0;
}
