// Resource folders: every data file is found by name through one ordered
// list of folders, each either a directory indexed once into a name cache
// or an archive whose index is loaded once. A fast-read directory (a copy
// of the data on a faster disk, named by "fastread.inf") can sit in front
// of the list.
//
// Shared with the sound engine's service thread: every operation here takes
// the folder lock, except the retry box of Ffopen, which is shown outside it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "resources/archive.h"

namespace rt { struct Engine; }

namespace res {

enum class FolderKind { Directory = 0, Archive = 1 };

// One entry of a directory folder's name cache: a file's name hash, the
// directory it was found in, and its name (kept in the folder's `names`).
struct NameCacheEntry {
  uint32_t hash;
  uint32_t dir;         // index into ResourceFolder::dirs
  uint32_t name_at;     // offset in ResourceFolder::names
  uint16_t name_size;   // the name as the engine sees it (Shift-JIS)
  uint16_t disk_size;   // the name on disk follows it when it differs, else 0
};

struct ResourceFolder {
  std::string name;         // as registered ("data", "voice3"), Shift-JIS
  std::string path;         // native: the archive file, or the directory
  FolderKind kind = FolderKind::Directory;
  uint32_t stream_flag = 0;
  std::optional<ArchiveIndex> index;    // archive folders
  std::vector<NameCacheEntry> cache;    // directory folders, in scan order
  std::vector<std::string> dirs;        // directories of the cache entries
  std::string names;                    // the entries' names, one after another
  // Keys (hash << 32 | cache position), sorted: lookups binary-search them,
  // and entries with one hash follow the scan order.
  std::vector<uint64_t> by_hash;

  bool has_cache() const { return !cache.empty(); }
  std::string_view name_of(const NameCacheEntry& e) const { return {names.data() + e.name_at, e.name_size}; }
  std::string_view disk_name_of(const NameCacheEntry& e) const {
    return e.disk_size ? std::string_view(names.data() + e.name_at + e.name_size, e.disk_size) : name_of(e);
  }
};

struct Resources {
  std::mutex lock;                                        // folders, caches, prefix
  std::vector<std::unique_ptr<ResourceFolder>> folders;   // search order
  std::string fast_prefix;    // engine path ending in "\", or empty
};

// --- Lookups (the Ff family) --------------------------------------------

// Opens a file by name; on failure shows a Retry/Cancel box until it
// succeeds (Cancel ends the process). An archive member comes back as the
// archive file positioned at the member: read at most FfFileSize bytes.
plat::File Ffopen(rt::Engine& e, std::string_view name, const char* mode);
// One attempt over the search order; an empty File when not found.
plat::File FfopenTry(rt::Engine& e, std::string_view name, const char* mode);
// Size in bytes; 0 when not found.
uint32_t FfFileSize(rt::Engine& e, std::string_view name);
// The native path to open (an archive's own path for a member).
std::optional<std::string> FfFilePath(rt::Engine& e, std::string_view name);
bool FfExists(rt::Engine& e, std::string_view name);
// Low 32 bits of the last-write time in 100 ns units; 0 when not found or
// inside an archive.
uint32_t FfFileTime(rt::Engine& e, std::string_view name);

// A member or file opened for reading, with its extent: readers bound
// themselves by `size`, whatever the stream holds beyond.
struct OpenedResource {
  plat::File file;
  std::string path;     // native path, for reopening
  int64_t base = 0;     // offset of the first byte in `path`
  uint32_t size = 0;
};
std::optional<OpenedResource> open_resource(rt::Engine& e, std::string_view name, const char* mode = "rb");
// Ffopen with the extent: retries with the box until the file opens.
OpenedResource Ffopen_resource(rt::Engine& e, std::string_view name, const char* mode);
// The whole file, read with its bounds; nullopt when not found.
std::optional<std::vector<uint8_t>> read_resource(rt::Engine& e, std::string_view name);

// --- Folders ---------------------------------------------------------------

// 1 archive folder, 0 directory folder, -1 nothing of that name.
int FfAddFolder(rt::Engine& e, std::string_view name, uint32_t stream_flag);
// Frees the folder's index or cache; the folder keeps its place. False
// when no folder of that name is registered.
bool FfClearFolder(rt::Engine& e, std::string_view name);
// Sets the fast-read prefix (adds the trailing backslash).
void FfSetFastDir(rt::Engine& e, std::string_view path);

// The fixed start-up registration: update, fast-data (deciding the mode and
// reading the fast-read file), scenario, data, slow-data, stream and voice
// folders, each preceded by its archive update copy.
void register_startup_folders(rt::Engine& e);
// Copies name + ".arc" into the fast-read directory when the copy there is
// missing or older than the source.
void update_archive_copy(rt::Engine& e, std::string_view name);

// Second reading of the fast-read file (development mode): the save-data
// directory, then the source folder and editor lines. Returns the lines.
std::vector<std::string> read_fastread_lines(rt::Engine& e, size_t max_lines);

// True when the extension (".ogg", ".wav") makes the name an audio file.
bool is_audio_name(std::string_view name);
// Files and subdirectories that the scan of a directory folder leaves out:
// extensions ".txt", ".exe", ".log" and the like; subdirectories "mdb",
// "debuginfo" and names ending in ".".
bool is_ignored_extension(std::string_view name);
bool is_skipped_subdirectory(std::string_view name);

}  // namespace res
