// The seeds of the save and system-data fuzz targets, replayed: each reads
// whole, and every prefix and a few flipped bytes of it are handled.
#include <gtest/gtest.h>

#include "fuzz/save_readers.h"
#include "platform/files.h"

namespace {

void replay(const char* target, void (*read)(std::span<const uint8_t>)) {
  const std::string dir = std::string(QUOREL_SOURCE_DIR) + "/fuzz/corpus/" + target;
  auto entries = plat::list_directory(dir);
  ASSERT_FALSE(entries.empty()) << dir;
  for (const plat::DirEntry& entry : entries) {
    auto bytes = plat::read_whole_file(plat::join_path(dir, entry.native_name));
    ASSERT_TRUE(bytes) << entry.native_name;
    read(*bytes);
    for (size_t cut : {size_t{0}, size_t{15}, size_t{40911}, bytes->size() / 2, bytes->size() - 1})
      if (cut < bytes->size()) read(std::span(bytes->data(), cut));
    std::vector<uint8_t> flipped = *bytes;
    for (size_t at = 144; at < flipped.size(); at += 997) flipped[at] ^= 0xA5;
    read(flipped);
  }
}

TEST(FuzzSeeds, SavesAndSystemData) {
  replay("save_reader", fuzz_saves::read_save);
  replay("system_data", fuzz_saves::read_system);
}

}  // namespace
