// Where the checkout and its build lie, for tests that run the built
// programs or read the repository's own files. Included in every test by
// the build (a forced include), so that `QUOREL_SOURCE_DIR` and
// `QUOREL_BINARY_DIR` read like the constants they are; only paths.cpp sees
// the actual paths, which keeps them off every other compile line: a test's
// object is then the same in any checkout, and a compiler cache shares it.
#pragma once

namespace testing_support {

const char* source_dir();
const char* binary_dir();

}  // namespace testing_support

#define QUOREL_SOURCE_DIR (::testing_support::source_dir())
#define QUOREL_BINARY_DIR (::testing_support::binary_dir())
