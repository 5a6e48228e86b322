// The readers of saved games and system data on arbitrary bytes: the
// layout, every value rebuilt from the blob, the resume trailer. Shared by
// the save and system-data fuzz targets and the test that kills a writer.
#pragma once

#include <cstdint>
#include <span>

#include "core/engine.h"
#include "persistence/resume_points.h"
#include "persistence/save_file.h"
#include "platform/host.h"

namespace fuzz_saves {

inline rt::Engine& engine() {
  static rt::Engine* e = [] {
    rt::Options o;
    o.headless = true;
    o.game_dir = ".";
    return new rt::Engine(o, plat::make_headless_host(plat::Answer::Cancel));
  }();
  return *e;
}

inline void read_save(std::span<const uint8_t> bytes) {
  auto file = persist::parse_save(bytes);
  if (!file) return;
  persist::BlobReader reader(engine(), file->blob);
  for (auto [records, scope] : {std::pair{&file->globals, rt::kGlobal}, std::pair{&file->thread_vars, rt::kThread},
                                std::pair{&file->locals, rt::kLocal}}) {
    auto values = reader.read_table(*records, scope);
    if (!values) break;
    persist::release_values(*values);
  }
  persist::Trailer trailer;
  persist::parse_trailer(file->tail, file->frames.size(), &trailer);
}

inline void read_system(std::span<const uint8_t> bytes) {
  auto file = persist::parse_system(bytes);
  if (!file) return;
  persist::BlobReader reader(engine(), file->blob);
  auto values = reader.read_table(file->records, rt::kPersistent);
  if (values) persist::release_values(*values);
}

}  // namespace fuzz_saves
