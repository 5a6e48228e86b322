// The search over resource folders and the Ff lookups.
#include "resources/resources.h"

#include <algorithm>

#include "base/game_names.h"
#include "base/sjis.h"
#include "base/text_file.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "core/game_folders.h"
#include "core/trace.h"
#include "platform/encoding.h"
#include "res/resources.h"
#include "resources/name_hash.h"

namespace res {
namespace {

bool has_directory_part(std::string_view name) {
  for (size_t i = 0; i < name.size(); i += base::sjis_char_size(name, i))
    if (name[i] == '\\' || name[i] == '/') return true;
  return false;
}

// What one lookup asks of the search.
enum class Lookup { Open, Size, Path, Time };

struct Found {
  std::string path;     // native path to open
  int64_t offset = 0;   // archive member offset
  uint32_t size = 0;    // archive member size (for Size)
  bool in_archive = false;
};

std::string native(const rt::Engine& e, std::string_view engine_path) { return e.files.native_path(engine_path); }

// The search order shared by the lookups. Must be called with the lock held.
std::optional<Found> search_folders(rt::Engine& e, std::string_view name, Lookup lookup, const char* mode) {
  Resources& r = *e.res;
  const bool audio = is_audio_name(name);
  const bool dir_part = has_directory_part(name);
  const bool prefix = !r.fast_prefix.empty();

  auto try_prefix = [&]() -> std::optional<Found> {
    std::string p = native(e, r.fast_prefix + std::string(name));
    switch (lookup) {
      case Lookup::Open:
      case Lookup::Path:
        if (plat::File::open(p, lookup == Lookup::Open ? mode : "rb")) return Found{p};
        return std::nullopt;
      case Lookup::Size:
        if (auto size = plat::native_file_size(p)) return Found{p, 0, static_cast<uint32_t>(*size)};
        return std::nullopt;
      case Lookup::Time:
        if (plat::native_file_size(p)) return Found{p};
        return std::nullopt;
    }
    return std::nullopt;
  };

  if (prefix && !audio)
    if (auto f = try_prefix()) return f;
  if (dir_part && (lookup == Lookup::Open || lookup == Lookup::Path)) return std::nullopt;

  const uint32_t hash = name_hash(name);
  const std::string_view file_part = base::file_name_part(name);
  for (const auto& folder : r.folders) {
    if (folder->kind == FolderKind::Archive && folder->index) {
      if (lookup == Lookup::Time) continue;
      const ArchiveEntry* entry = folder->index->find(hash);
      if (!entry) continue;
      Found f{folder->path, entry->offset, folder->index->member_size(*entry), true};
      if (lookup == Lookup::Open) {
        plat::File file = plat::File::open(folder->path, mode);
        if (!file || !file.seek(entry->offset)) continue;
      }
      return f;
    }
    if (!folder->has_cache()) continue;
    if (lookup == Lookup::Size && folder->stream_flag == 1 && !audio) continue;
    auto first = std::lower_bound(folder->by_hash.begin(), folder->by_hash.end(), uint64_t{hash} << 32);
    for (auto it = first; it != folder->by_hash.end() && *it >> 32 == hash; ++it) {
      const NameCacheEntry& entry = folder->cache[static_cast<uint32_t>(*it)];
      // The same hash may belong to another name; only the name itself counts.
      if (!base::sjis_equal_nocase(folder->name_of(entry), file_part)) continue;
      // The name is tried in the entry's directory as it was asked for:
      // with a directory part (only the size and time lookups get here with
      // one) that is a path below the entry's directory.
      std::string p = dir_part ? native(e, folder->dirs[entry.dir] + "/" + std::string(name))
                               : plat::join_path(folder->dirs[entry.dir], folder->disk_name_of(entry));
      if (lookup == Lookup::Path) return Found{p};
      if (lookup == Lookup::Open) {
        if (plat::File::open(p, mode)) return Found{p};
        continue;
      }
      if (lookup == Lookup::Size) {
        if (auto size = plat::native_file_size(p)) return Found{p, 0, static_cast<uint32_t>(*size)};
        continue;
      }
      if (plat::native_file_size(p)) return Found{p};
    }
  }
  if (prefix && audio)
    if (auto f = try_prefix()) return f;
  return std::nullopt;
}

// A file found must lie in the game's own folders once links are resolved:
// a link planted in a game folder does not lead the engine's reads out of it.
bool inside_game(rt::Engine& e, const std::string& path) {
  if (plat::native_path_within(path, e.files.current_directory())) return true;
  Resources& r = *e.res;
  if (!r.fast_prefix.empty() && plat::native_path_within(path, native(e, r.fast_prefix))) return true;
  return !e.savedata_dir.empty() && plat::native_path_within(path, rt::savedata_root(e));
}

std::optional<Found> search(rt::Engine& e, std::string_view name, Lookup lookup, const char* mode) {
  // A name that climbs out of the folders (or is absolute) is never found.
  std::optional<Found> found;
  if (!base::unsafe_name_reason(name)) found = search_folders(e, name, lookup, mode);
  if (found && !inside_game(e, found->path)) {
    rt::report_once(e, "refused to read " + found->path + ": it is reached through a link that leads out of the game's folders");
    found.reset();
  }
  static constexpr const char* kLookups[] = {"open", "size of", "path of", "time of"};
  QUOREL_TRACE(e, resources, "%s %s: %s%s", kLookups[static_cast<int>(lookup)], plat::sjis_to_utf8(name).c_str(),
               found ? found->path.c_str() : "not found",
               found && found->in_archive ? base::format(" at offset %lld", static_cast<long long>(found->offset)).c_str() : "");
  return found;
}

}  // namespace

bool is_ignored_extension(std::string_view name) {
  static constexpr std::string_view kIgnored[] = {".lnk", ".exe", ".com", ".dll", ".log", ".sue",
                                                   ".mdb", ".mjs", ".mjh", ".db",  ".txt"};
  std::string_view ext = base::extension_of(name);
  // Every ignored extension is ASCII and at most four bytes with its dot.
  if (ext.size() < 3 || ext.size() > 4) return false;
  char lower[4];
  for (size_t i = 0; i < ext.size(); ++i) lower[i] = (ext[i] >= 'A' && ext[i] <= 'Z') ? ext[i] + 32 : ext[i];
  std::string_view folded(lower, ext.size());
  for (std::string_view x : kIgnored)
    if (folded == x) return true;
  return false;
}

bool is_skipped_subdirectory(std::string_view name) {
  return (!name.empty() && name.back() == '.') || base::sjis_equal_nocase(name, "debuginfo") ||
         base::sjis_equal_nocase(name, "mdb");
}

bool is_audio_name(std::string_view name) {
  std::string_view ext = base::extension_of(base::file_name_part(name));
  return base::sjis_equal_nocase(ext, ".ogg") || base::sjis_equal_nocase(ext, ".wav");
}

plat::File FfopenTry(rt::Engine& e, std::string_view name, const char* mode) {
  std::lock_guard guard(e.res->lock);
  auto found = search(e, name, Lookup::Open, mode);
  if (!found) return {};
  plat::File file = plat::File::open(found->path, mode);
  if (file && found->in_archive && !file.seek(found->offset)) return {};
  return file;
}

namespace {

void report_open_failure(rt::Engine& e, std::string_view name) {
  std::string shown(name);
  rt::error_box_retry(e, base::format(msg::kFfopenFailed, shown.c_str()));
}

}  // namespace

plat::File Ffopen(rt::Engine& e, std::string_view name, const char* mode) {
  for (;;) {
    if (plat::File f = FfopenTry(e, name, mode)) return f;
    report_open_failure(e, name);
  }
}

OpenedResource Ffopen_resource(rt::Engine& e, std::string_view name, const char* mode) {
  for (;;) {
    if (auto r = open_resource(e, name, mode)) return std::move(*r);
    report_open_failure(e, name);
  }
}

uint32_t FfFileSize(rt::Engine& e, std::string_view name) {
  std::lock_guard guard(e.res->lock);
  auto found = search(e, name, Lookup::Size, "rb");
  return found ? found->size : 0;
}

std::optional<std::string> FfFilePath(rt::Engine& e, std::string_view name) {
  std::lock_guard guard(e.res->lock);
  auto found = search(e, name, Lookup::Path, "rb");
  if (!found) return std::nullopt;
  return found->path;
}

bool FfExists(rt::Engine& e, std::string_view name) { return FfFilePath(e, name).has_value(); }

uint32_t FfFileTime(rt::Engine& e, std::string_view name) {
  std::lock_guard guard(e.res->lock);
  auto found = search(e, name, Lookup::Time, "rb");
  return found ? plat::native_file_time(found->path) : 0;
}

std::optional<OpenedResource> open_resource(rt::Engine& e, std::string_view name, const char* mode) {
  std::lock_guard guard(e.res->lock);
  auto found = search(e, name, Lookup::Open, mode);
  if (!found) return std::nullopt;
  OpenedResource r;
  r.file = plat::File::open(found->path, mode);
  if (!r.file) return std::nullopt;
  r.path = found->path;
  if (found->in_archive) {
    if (!r.file.seek(found->offset)) return std::nullopt;
    r.base = found->offset;
    r.size = found->size;
  } else {
    int64_t size = r.file.size();
    r.size = size < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(size, UINT32_MAX));
  }
  return r;
}

std::optional<std::vector<uint8_t>> read_resource(rt::Engine& e, std::string_view name) {
  auto r = open_resource(e, name);
  if (!r) return std::nullopt;
  std::vector<uint8_t> data(r->size);
  data.resize(r->file.read(data.data(), data.size()));
  return data;
}

// --- Folder registration ---------------------------------------------------

namespace {

struct Duplicate {
  std::string name, first_dir, second_dir;
};

void scan_directory(ResourceFolder& folder, const std::string& dir, std::vector<plat::FileId>& open_dirs) {
  // A link back to a directory being scanned would never end.
  auto id = plat::native_file_id(dir);
  if (!id || std::find(open_dirs.begin(), open_dirs.end(), *id) != open_dirs.end()) return;
  open_dirs.push_back(*id);
  std::vector<plat::DirEntry> entries = plat::list_directory(dir);
  // Directory order differs between file systems; sort for a stable scan
  // (positions, not the entries: moving their strings costs more).
  std::vector<uint32_t> order(entries.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return entries[a].native_name < entries[b].native_name; });
  uint32_t dir_index = UINT32_MAX;
  for (uint32_t position : order) {
    plat::DirEntry& entry = entries[position];
    if (entry.is_directory) {
      if (!is_skipped_subdirectory(entry.name))
        scan_directory(folder, plat::join_path(dir, entry.native_name), open_dirs);
      continue;
    }
    if (is_ignored_extension(entry.name)) continue;
    if (dir_index == UINT32_MAX) {
      dir_index = static_cast<uint32_t>(folder.dirs.size());
      folder.dirs.push_back(dir);
    }
    uint32_t hash = name_hash(entry.name);
    // Names on disk are at most 255 bytes; anything longer is not a name.
    if (entry.name.size() > UINT16_MAX || entry.native_name.size() > UINT16_MAX) continue;
    NameCacheEntry cached{hash, dir_index, static_cast<uint32_t>(folder.names.size()),
                          static_cast<uint16_t>(entry.name.size()), 0};
    folder.names += entry.name;
    if (entry.native_name != entry.name) {  // not the common case of an ASCII name
      cached.disk_size = static_cast<uint16_t>(entry.native_name.size());
      folder.names += entry.native_name;
    }
    folder.cache.push_back(cached);
  }
  open_dirs.pop_back();
}

// Lookups binary-search (hash, position) keys; equal hashes stay in scan order.
void build_hash_order(ResourceFolder& folder) {
  folder.by_hash.resize(folder.cache.size());
  for (uint32_t i = 0; i < folder.by_hash.size(); ++i)
    folder.by_hash[i] = static_cast<uint64_t>(folder.cache[i].hash) << 32 | i;
  std::sort(folder.by_hash.begin(), folder.by_hash.end());
}

// A name met again in one folder is reported against each earlier copy, in
// the order of the scan. Different names may share a hash; only the same
// name is a duplicate.
std::vector<Duplicate> find_duplicates(const ResourceFolder& folder) {
  struct Found {
    uint32_t later, earlier;
  };
  std::vector<Found> found;
  const auto& keys = folder.by_hash;
  for (size_t start = 0; start < keys.size();) {
    size_t end = start + 1;
    while (end < keys.size() && keys[end] >> 32 == keys[start] >> 32) ++end;
    for (size_t j = start + 1; j < end; ++j)
      for (size_t i = start; i < j; ++i) {
        uint32_t earlier = static_cast<uint32_t>(keys[i]), later = static_cast<uint32_t>(keys[j]);
        if (base::sjis_equal_nocase(folder.name_of(folder.cache[earlier]), folder.name_of(folder.cache[later])))
          found.push_back({later, earlier});
      }
    start = end;
  }
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.later != b.later ? a.later < b.later : a.earlier < b.earlier; });
  std::vector<Duplicate> out;
  for (const Found& f : found)
    out.push_back({std::string(folder.name_of(folder.cache[f.later])), folder.dirs[folder.cache[f.earlier].dir],
                   folder.dirs[folder.cache[f.later].dir]});
  return out;
}

void clear_folder(ResourceFolder& folder) {
  folder.index.reset();
  folder.cache.clear();
  folder.cache.shrink_to_fit();
  folder.names.clear();
  folder.names.shrink_to_fit();
  folder.dirs.clear();
  folder.by_hash.clear();
}

// Loads a folder as an archive, else as a directory: 1, 0, or -1.
int load_folder(rt::Engine& e, ResourceFolder& folder, std::vector<Duplicate>& duplicates) {
  Resources& r = *e.res;
  const std::string arc = folder.name + ".arc";
  plat::File file;
  std::string path;
  if (!r.fast_prefix.empty()) {
    path = native(e, r.fast_prefix + arc);
    file = plat::File::open(path, "rb");
  }
  if (!file) {
    path = native(e, arc);
    file = plat::File::open(path, "rb");
  }
  if (file) {
    ArchiveProblem problem;
    if (auto index = read_archive_index(file, &problem)) {
      folder.path = path;
      folder.kind = FolderKind::Archive;
      folder.index = std::move(*index);
      return 1;
    }
    if (problem.error != ArchiveError::NotArchive)
      rt::debug_log(e, base::format("%s : %s", arc.c_str(), problem.text().c_str()));
  }
  std::string dir;
  if (!r.fast_prefix.empty() && plat::native_is_directory(native(e, r.fast_prefix + folder.name)))
    dir = native(e, r.fast_prefix + folder.name);
  else if (plat::native_is_directory(native(e, folder.name)))
    dir = native(e, folder.name);
  else
    return -1;
  folder.path = dir;
  folder.kind = FolderKind::Directory;
  std::vector<plat::FileId> open_dirs;
  scan_directory(folder, dir, open_dirs);
  build_hash_order(folder);
  duplicates = find_duplicates(folder);
  return 0;
}

ResourceFolder* find_folder(Resources& r, std::string_view name) {
  for (auto& f : r.folders)
    if (base::sjis_equal_nocase(f->name, name)) return f.get();
  return nullptr;
}

}  // namespace

int FfAddFolder(rt::Engine& e, std::string_view name, uint32_t stream_flag) {
  // Scripts name folders too: ".." or an absolute name would index what
  // lies around the game's folder ("." is the game folder itself).
  if (name != "." && base::unsafe_name_reason(name)) return -1;
  std::vector<Duplicate> duplicates;
  int result;
  {
    std::lock_guard guard(e.res->lock);
    Resources& r = *e.res;
    if (ResourceFolder* existing = find_folder(r, name)) {
      if (existing->kind == FolderKind::Archive && existing->index) return 1;
      clear_folder(*existing);
      result = load_folder(e, *existing, duplicates);
    } else {
      auto folder = std::make_unique<ResourceFolder>();
      folder->name = std::string(name);
      folder->stream_flag = stream_flag;
      result = load_folder(e, *folder, duplicates);
      if (result != -1) r.folders.push_back(std::move(folder));
    }
  }
  // Reported outside the lock: the box may wait for the player.
  plat::SjisConverter conv;
  for (const Duplicate& d : duplicates)
    rt::error_box_retry(e, base::format(msg::kDuplicateFile, d.name.c_str(),
                                      conv.to_sjis(d.first_dir).value_or(d.first_dir).c_str(),
                                      conv.to_sjis(d.second_dir).value_or(d.second_dir).c_str()));
  return result;
}

bool FfClearFolder(rt::Engine& e, std::string_view name) {
  std::lock_guard guard(e.res->lock);
  ResourceFolder* folder = find_folder(*e.res, name);
  if (!folder) return false;
  clear_folder(*folder);
  return true;
}

void FfSetFastDir(rt::Engine& e, std::string_view path) {
  std::lock_guard guard(e.res->lock);
  std::string p(path);
  if (!p.empty() && p.back() != '\\' && p.back() != '/') p += '\\';
  e.res->fast_prefix = std::move(p);
}

std::vector<std::string> read_fastread_lines(rt::Engine& e, size_t max_lines) {
  std::vector<std::string> lines;
  plat::File file = e.files.open("fastread.inf", "rt");
  if (!file) file = e.files.open("fastread.txt", "rt");
  if (!file) return lines;
  char buffer[512];
  while (lines.size() < max_lines && file.read_line(buffer, sizeof buffer)) {
    std::string line = base::clean_config_line(buffer);
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace res
