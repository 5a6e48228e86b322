#include "tests/support/paths.h"

namespace testing_support {

const char* source_dir() { return QUOREL_CHECKOUT_SOURCE_DIR; }
const char* binary_dir() { return QUOREL_CHECKOUT_BINARY_DIR; }

}  // namespace testing_support
