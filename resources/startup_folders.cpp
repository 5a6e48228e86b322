// The fixed registration of resource folders at start-up, the release-mode
// decision, the fast-read directory and the archive update copies.
#include <cerrno>
#include <cstring>
#include <string>

#include "core/engine.h"
#include "resources/resources.h"

namespace res {
namespace {

std::string numbered(std::string_view base, int n) { return std::string(base) + std::to_string(n); }

void register_with_update(rt::Engine& e, const std::string& name, uint32_t stream_flag) {
  update_archive_copy(e, name);
  FfAddFolder(e, name, stream_flag);
}

// Each directory result of the fast-data folders means development mode.
void note_fastdata(rt::Engine& e, int result) {
  if (result == 0) set_development_mode(e);
}

void read_fast_directory(rt::Engine& e) {
  auto lines = read_fastread_lines(e, 1);
  if (lines.empty()) return;
  std::string dir = lines[0];
  std::string savedata = dir;
  if (savedata.back() != '\\' && savedata.back() != '/') savedata += '\\';
  savedata += "savedata";
  // The one place outside the game folder that game data may name: a copy
  // of the data on a faster disk, which also takes the save data.
  std::string native_dir = e.files.native_path(dir);
  rt::report_once(e, "fastread.inf: reading game data from and writing save data, the debug log and archive "
                     "copies to " + native_dir);
  if (!plat::make_directories(e.files.native_path(savedata)))
    rt::report_once(e, "cannot create " + e.files.native_path(savedata) + ": " + std::strerror(errno));
  // A copy on the same file system as the game gains nothing.
  auto here = plat::native_device(e.files.current_directory());
  auto there = plat::native_device(e.files.native_path(dir));
  if (here && there && *here == *there) return;
  FfSetFastDir(e, dir);
}

}  // namespace

void update_archive_copy(rt::Engine& e, std::string_view name) {
  std::string prefix;
  {
    std::lock_guard guard(e.res->lock);
    prefix = e.res->fast_prefix;
  }
  if (prefix.empty()) return;
  const std::string arc = std::string(name) + ".arc";
  const std::string source = e.files.native_path(arc);
  const std::string copy = e.files.native_path(prefix + arc);
  if (e.cache_discard_request) plat::remove_file(copy);
  auto source_time = plat::native_file_time_100ns(source);
  if (!source_time) {
    plat::remove_file(copy);
    return;
  }
  // A copy up to 2,500 units (0.25 ms) older than its source counts as current.
  if (auto copy_time = plat::native_file_time_100ns(copy); copy_time && *source_time <= *copy_time + 2500) return;
  plat::copy_file(source, copy);
}

void register_startup_folders(rt::Engine& e) {
  e.mode = rt::Mode::Undetermined;
  for (int n = 9; n >= 1; --n) FfAddFolder(e, numbered("update", n), 0);
  FfAddFolder(e, "update", 0);

  note_fastdata(e, FfAddFolder(e, "fastdata", 0));
  read_fast_directory(e);
  for (int n = 9; n >= 1; --n) {
    std::string name = numbered("fastdata", n);
    update_archive_copy(e, name);
    note_fastdata(e, FfAddFolder(e, name, 0));
  }
  if (e.mode == rt::Mode::Undetermined) e.mode = rt::Mode::Release;

  for (std::string_view family : {"scenario", "data", "slowdata"}) {
    register_with_update(e, std::string(family), 0);
    for (int n = 9; n >= 1; --n) register_with_update(e, numbered(family, n), 0);
  }
  for (int n = 9; n >= 1; --n) register_with_update(e, numbered("stream", n), 1);
  register_with_update(e, "stream", 1);
  register_with_update(e, "voice", 1);
  for (int n = 9; n >= 1; --n) register_with_update(e, numbered("voice", n), 1);
}

}  // namespace res
