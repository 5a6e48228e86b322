// The archive index reader on arbitrary bytes, from memory and from a file:
// both must agree, and an accepted index must keep every member inside the
// file and findable.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <span>
#include <string>

#include "platform/files.h"
#include "resources/archive.h"

namespace {

// A file name of this process's own (libFuzzer may leave without running
// exit handlers, so the file is removed as soon as it is open).
const std::string& scratch_file() {
  static const std::string path = plat::join_path(
      plat::temp_directory(), "quorel-fuzz-archive-" + std::to_string(std::random_device()()) + ".arc");
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  res::ArchiveProblem problem;
  auto index = res::parse_archive_index(bytes, &problem);
  if (!index) {
    if (problem.error == res::ArchiveError::None || problem.text().empty()) std::abort();
  } else {
    if (index->entries.size() != index->count() + 1ull) std::abort();
    for (size_t i = 0; i + 1 < index->entries.size(); ++i) {
      const res::ArchiveEntry& e = index->entries[i];
      if (uint64_t(e.offset) + index->member_size(e) > size) std::abort();
      const res::ArchiveEntry* found = index->find(e.hash);
      if (!found || found->hash != e.hash) std::abort();
    }
  }

  {
    std::ofstream out(scratch_file(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  plat::File file = plat::File::open(scratch_file(), "rb");
  std::remove(scratch_file().c_str());
  res::ArchiveProblem from_file;
  auto read = res::read_archive_index(file, &from_file);
  if (read.has_value() != index.has_value() || from_file.error != problem.error) std::abort();
  if (read && read->entries.size() != index->entries.size()) std::abort();
  return 0;
}
