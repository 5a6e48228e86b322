// System data (persistent variables and the seen table) on arbitrary bytes.
#include "fuzz/save_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_saves::read_system({data, size});
  return 0;
}
