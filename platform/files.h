// Files and directories as the engine sees them.
//
// Game data names files the Windows way: backslashes, any letter case, and
// Shift-JIS bytes. `Files` maps such names onto the real file system: "\"
// becomes "/", and every path component is matched case-insensitively
// against the real directory, whose entries may be stored in Shift-JIS or in
// UTF-8. Each engine has its own current directory (the game folder), so the
// process's working directory is never changed and several engines can live
// in one process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// One entry of a directory listing.
struct DirEntry {
  std::string name;         // the name as the engine sees it: Shift-JIS bytes
  std::string native_name;  // the name as stored on disk
  bool is_directory = false;
};

// An open file. Text mode ("rt") turns "\r\n" into "\n" on line reads, as
// the engine's text readers expect.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // mode is a stdio mode: "rb", "rt", "wb", "ab", "r+b". Modes that write
  // never follow a final symbolic link (the open fails instead).
  static File open(const std::string& native_path, const char* mode);

  explicit operator bool() const { return fp_ != nullptr; }
  size_t read(void* buffer, size_t size);
  // Reads exactly `size` bytes or reports false.
  bool read_exact(void* buffer, size_t size);
  size_t write(const void* data, size_t size);
  bool seek(int64_t offset);  // from the start of the file
  int64_t tell() const;
  int64_t size() const;       // of the whole file
  bool eof() const;
  // True after a read or write error (as opposed to the end of the file).
  bool failed() const;
  // Like fgets: reads up to size-1 bytes, stopping after a newline.
  // Returns false at end of file with nothing read.
  bool read_line(char* buffer, size_t size);
  void close();

 private:
  std::FILE* fp_ = nullptr;
  bool text_ = false;
};

// Low 32 bits of a modification time counted in 100 ns units since
// 1601-01-01, the unit the engine compares file times in.
uint32_t file_time_units(int64_t seconds_since_1970, int64_t nanoseconds);

class Files {
 public:
  explicit Files(std::string current_directory);

  // Absolute native path of the engine's current directory.
  const std::string& current_directory() const { return cwd_; }
  // Changes the engine's current directory; false when it is not a directory.
  bool set_current_directory(std::string_view path);

  // Maps an engine path (Shift-JIS, "\" or "/", relative to the current
  // directory or absolute) to a native path. Components that exist are
  // matched case-insensitively; the rest are kept, converted to UTF-8, so
  // that the result can also name a file about to be created.
  std::string native_path(std::string_view engine_path) const;

  File open(std::string_view engine_path, const char* mode) const;
  bool exists(std::string_view engine_path) const;
  bool is_directory(std::string_view engine_path) const;
  std::optional<int64_t> file_size(std::string_view engine_path) const;
  // 0 when the file does not exist.
  uint32_t file_time(std::string_view engine_path) const;

 private:
  std::string cwd_;
};

// --- Operations on native paths (already resolved) ----------------------

bool native_exists(const std::string& path);
bool native_is_directory(const std::string& path);
std::optional<int64_t> native_file_size(const std::string& path);
uint32_t native_file_time(const std::string& path);
// The whole last-write time in 100 ns units since 1601; nullopt when the
// file does not exist.
std::optional<int64_t> native_file_time_100ns(const std::string& path);
// Identity of the file system holding the path (st_dev), if it exists.
std::optional<uint64_t> native_device(const std::string& path);
// Identity of the file or directory itself (following links), so that a
// walk can notice a directory it is already inside.
struct FileId {
  uint64_t device = 0, inode = 0;
  bool operator==(const FileId&) const = default;
};
std::optional<FileId> native_file_id(const std::string& path);
// True when both paths name the same existing file (device and inode), so
// that a tool can refuse to write over its own input.
bool same_file(const std::string& a, const std::string& b);

// Lists a directory without changing the working directory. Entries "."
// and ".." are left out. Empty when the directory cannot be read; then
// *failed is set (errno tells why).
std::vector<DirEntry> list_directory(const std::string& native_dir, bool* failed = nullptr);

// Creates the directory and all missing parents.
bool make_directories(const std::string& native_path);
// True when `path` lies inside `root` (or is it) once every symbolic link
// of the part of it that exists is resolved; the part that does not exist
// yet may not climb with "..". Guards the engine's writes against links
// planted in a game folder that lead out of it.
bool native_path_within(const std::string& path, const std::string& root);
// make_directories, refused (false, errno EXDEV) when the folder would lie
// outside `root`.
bool make_directories_within(const std::string& native_path, const std::string& root);
bool remove_file(const std::string& native_path);
// Renames a file; false when it could not be.
bool rename_file(const std::string& from, const std::string& to);
// Waits until everything written to the file system holding the path is on disk.
bool flush_file_system(const std::string& native_path);
// Copies a file through an atomic write; the copy keeps the source's time.
bool copy_file(const std::string& from, const std::string& to);

// Writes a file atomically in pieces: the bytes go to a temporary file
// beside the target, which `commit` flushes to disk and renames over the
// target. Without a successful commit the temporary file is removed and
// the old file is left as it was.
class AtomicWriter {
 public:
  AtomicWriter() = default;
  ~AtomicWriter();
  AtomicWriter(const AtomicWriter&) = delete;
  AtomicWriter& operator=(const AtomicWriter&) = delete;

  bool open(const std::string& native_path);
  bool write(const void* data, size_t size);
  // `flush` false skips waiting for the disk, for writers of many files
  // that flush the file system once at the end (flush_file_system).
  bool commit(bool flush = true);
  // commit in two steps, for writers of many files that put them all in
  // place only when every one is complete: `prepare` finishes the
  // temporary file, `finish` renames it over the target.
  bool prepare(bool flush = true);
  bool finish(bool flush = true);
  // Removes the temporary file (also done by the destructor).
  void discard();
  const std::string& target() const { return target_; }

  // For a signal handler: removes the temporary files of every writer not
  // yet finished or discarded.
  static void remove_unfinished();

 private:
  void link();
  void unlink_from_list();

  int fd_ = -1;
  bool failed_ = false;
  bool prepared_ = false;
  bool linked_ = false;
  AtomicWriter* prev_ = nullptr;
  AtomicWriter* next_ = nullptr;
  static AtomicWriter* unfinished_;
  std::string target_, temp_;
};

// Removes the temporary files of atomic writes that have not finished.
// Safe in a signal handler (see plat::remove_temporary_files_on_signal).
void remove_unfinished_temporary_files();

// Writes a whole file atomically (see AtomicWriter).
bool write_file_atomic(const std::string& native_path, std::span<const uint8_t> data);
bool write_file_atomic(const std::string& native_path, std::string_view data);
std::optional<std::vector<uint8_t>> read_whole_file(const std::string& native_path);

std::string absolute_path(const std::string& path);
std::string executable_directory();
std::string process_working_directory();
// "$XDG_CONFIG_HOME" or "~/.config".
std::string config_home();
std::string temp_directory();
std::optional<std::string> environment_variable(const char* name);
// True when the descriptor (2: stderr) is a terminal.
bool is_terminal(int fd);

// Joins two native path pieces with one "/".
std::string join_path(std::string_view a, std::string_view b);

}  // namespace plat
