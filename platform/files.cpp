#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/encoding.h"

namespace plat {
namespace {

bool is_lead_byte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Case-insensitive for ASCII letters only; trail bytes of double-byte
// characters are compared exactly.
bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (is_lead_byte(x)) {
      if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (fold(x) != fold(y)) return false;
  }
  return true;
}

// The engine's view of an on-disk name: Shift-JIS when the disk holds a
// UTF-8 name that CP932 can express, otherwise the bytes as they are.
std::string engine_name(SjisConverter& conv, std::string_view native) {
  bool ascii = true;
  for (unsigned char c : native)
    if (c >= 0x80) { ascii = false; break; }
  if (ascii || !is_valid_utf8(native)) return std::string(native);
  if (auto s = conv.to_sjis(native)) return *s;
  return std::string(native);
}

// The on-disk spelling for a new component: UTF-8 when it converts.
std::string new_component(std::string_view sjis) {
  return sjis_to_utf8(sjis);
}

std::vector<std::string_view> split_components(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = i;
    // A backslash may be the trail byte of a double-byte character.
    while (j < path.size() && path[j] != '/' && path[j] != '\\') {
      if (is_lead_byte(path[j]) && j + 1 < path.size()) ++j;
      ++j;
    }
    if (j > i) parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

std::string parent_of(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

// --- File -----------------------------------------------------------------

File::~File() { close(); }

File::File(File&& other) noexcept : fp_(other.fp_), text_(other.text_) { other.fp_ = nullptr; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fp_ = other.fp_;
    text_ = other.text_;
    other.fp_ = nullptr;
  }
  return *this;
}

File File::open(const std::string& native_path, const char* mode) {
  File f;
  std::string m;
  for (const char* p = mode; *p; ++p)
    if (*p != 't') m += *p;
  if (m.find('b') == std::string::npos) m += 'b';
  f.fp_ = std::fopen(native_path.c_str(), m.c_str());
  f.text_ = std::strchr(mode, 't') != nullptr;
  if (f.fp_) {
    struct stat st;
    if (fstat(fileno(f.fp_), &st) == 0 && S_ISDIR(st.st_mode)) f.close();
  }
  return f;
}

size_t File::read(void* buffer, size_t size) { return fp_ ? std::fread(buffer, 1, size, fp_) : 0; }

bool File::read_exact(void* buffer, size_t size) { return read(buffer, size) == size; }

size_t File::write(const void* data, size_t size) { return fp_ ? std::fwrite(data, 1, size, fp_) : 0; }

bool File::seek(int64_t offset) { return fp_ && offset >= 0 && fseeko(fp_, offset, SEEK_SET) == 0; }

int64_t File::tell() const { return fp_ ? ftello(fp_) : -1; }

int64_t File::size() const {
  struct stat st;
  if (!fp_ || fstat(fileno(fp_), &st) != 0) return -1;
  return st.st_size;
}

bool File::eof() const { return !fp_ || std::feof(fp_); }

bool File::failed() const { return !fp_ || std::ferror(fp_); }

bool File::read_line(char* buffer, size_t size) {
  if (!fp_ || size == 0) return false;
  size_t n = 0;
  while (n + 1 < size) {
    int c = std::fgetc(fp_);
    if (c == EOF) break;
    if (text_ && c == '\r') {
      int next = std::fgetc(fp_);
      if (next == '\n') c = '\n';
      else if (next != EOF) std::ungetc(next, fp_);
    }
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  return n > 0;
}

void File::close() {
  if (fp_) std::fclose(fp_);
  fp_ = nullptr;
}

uint32_t file_time_units(int64_t seconds_since_1970, int64_t nanoseconds) {
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
  uint64_t units = static_cast<uint64_t>(seconds_since_1970 + kSecondsFrom1601To1970) * 10000000ULL +
                   static_cast<uint64_t>(nanoseconds / 100);
  return static_cast<uint32_t>(units);
}

// --- Files ----------------------------------------------------------------

Files::Files(std::string current_directory) : cwd_(absolute_path(current_directory)) {}

bool Files::set_current_directory(std::string_view path) {
  std::string native = native_path(path);
  if (!native_is_directory(native)) return false;
  cwd_ = absolute_path(native);
  return true;
}

std::string Files::native_path(std::string_view engine_path) const {
  bool absolute = !engine_path.empty() && (engine_path[0] == '/' || engine_path[0] == '\\');
  std::string path = absolute ? "/" : cwd_;
  auto parts = split_components(engine_path);
  SjisConverter conv;
  bool resolving = true;
  for (std::string_view part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      path = parent_of(path);
      continue;
    }
    if (resolving) {
      // Fast path: the name exists as written (ASCII, or UTF-8 on disk).
      std::string utf8 = conv.to_utf8(part);
      for (const std::string& candidate : {utf8, std::string(part)}) {
        std::string p = join_path(path, candidate);
        if (native_exists(p)) {
          path = std::move(p);
          goto next;
        }
      }
      for (const DirEntry& e : list_directory(path)) {
        if (same_name(e.name, part) || same_name(e.native_name, part)) {
          path = join_path(path, e.native_name);
          goto next;
        }
      }
      resolving = false;
    }
    path = join_path(path, new_component(part));
  next:;
  }
  return path;
}

File Files::open(std::string_view engine_path, const char* mode) const {
  return File::open(native_path(engine_path), mode);
}

bool Files::exists(std::string_view engine_path) const { return native_exists(native_path(engine_path)); }

bool Files::is_directory(std::string_view engine_path) const {
  return native_is_directory(native_path(engine_path));
}

std::optional<int64_t> Files::file_size(std::string_view engine_path) const {
  return native_file_size(native_path(engine_path));
}

uint32_t Files::file_time(std::string_view engine_path) const {
  return native_file_time(native_path(engine_path));
}

// --- Native operations ----------------------------------------------------

bool native_exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool native_is_directory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<int64_t> native_file_size(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return st.st_size;
}

uint32_t native_file_time(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return file_time_units(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

std::optional<int64_t> native_file_time_100ns(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
  return (static_cast<int64_t>(st.st_mtim.tv_sec) + kSecondsFrom1601To1970) * 10000000LL + st.st_mtim.tv_nsec / 100;
}

std::optional<uint64_t> native_device(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_dev);
}

std::optional<FileId> native_file_id(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::vector<DirEntry> list_directory(const std::string& native_dir) {
  std::vector<DirEntry> out;
  int dfd = ::open(native_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return out;
  DIR* dir = fdopendir(dfd);
  if (!dir) {
    ::close(dfd);
    return out;
  }
  SjisConverter conv;
  while (struct dirent* d = readdir(dir)) {
    std::string_view name = d->d_name;
    if (name == "." || name == "..") continue;
    DirEntry e;
    e.native_name = std::string(name);
    e.name = engine_name(conv, name);
    if (d->d_type == DT_DIR) {
      e.is_directory = true;
    } else if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
      struct stat st;
      e.is_directory = fstatat(dfd, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    out.push_back(std::move(e));
  }
  closedir(dir);
  return out;
}

bool make_directories(const std::string& native_path) {
  if (native_path.empty()) return false;
  if (native_is_directory(native_path)) return true;
  std::string parent = parent_of(native_path);
  if (parent != native_path && !native_is_directory(parent) && !make_directories(parent)) return false;
  return ::mkdir(native_path.c_str(), 0777) == 0 || (errno == EEXIST && native_is_directory(native_path));
}

bool remove_file(const std::string& native_path) { return ::unlink(native_path.c_str()) == 0; }

bool rename_file(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool flush_file_system(const std::string& native_path) {
  int fd = ::open(native_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = syncfs(fd) == 0;
  ::close(fd);
  return ok;
}

bool copy_file(const std::string& from, const std::string& to) {
  File in = File::open(from, "rb");
  if (!in) return false;
  AtomicWriter out;
  if (!out.open(to)) return false;
  // In pieces: archives can be far larger than the memory to spare.
  std::vector<uint8_t> buffer(1 << 20);
  while (size_t n = in.read(buffer.data(), buffer.size()))
    if (!out.write(buffer.data(), n)) return false;
  if (in.failed() || !out.commit()) return false;
  struct stat st;
  if (::stat(from.c_str(), &st) == 0) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, to.c_str(), times, 0);  // a copy keeps its source's time
  }
  return true;
}

AtomicWriter::~AtomicWriter() { discard(); }

bool AtomicWriter::open(const std::string& native_path) {
  discard();
  target_ = native_path;
  temp_ = native_path + ".tmp.XXXXXX";
  fd_ = mkostemp(temp_.data(), O_CLOEXEC);
  failed_ = fd_ < 0;
  if (failed_) temp_.clear();
  return !failed_;
}

bool AtomicWriter::write(const void* data, size_t size) {
  if (fd_ < 0 || failed_) return false;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t w = ::write(fd_, p, size);
    if (w < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return false;
    }
    p += w;
    size -= static_cast<size_t>(w);
  }
  return true;
}

bool AtomicWriter::commit(bool flush) {
  if (fd_ < 0) return false;
  bool ok = !failed_ && fchmod(fd_, 0644) == 0 && (!flush || fsync(fd_) == 0);
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (!ok || ::rename(temp_.c_str(), target_.c_str()) != 0) {
    discard();
    return false;
  }
  temp_.clear();
  if (!flush) return true;
  int dfd = ::open(parent_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    ::close(dfd);
  }
  return true;
}

void AtomicWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool write_file_atomic(const std::string& native_path, std::span<const uint8_t> data) {
  AtomicWriter out;
  return out.open(native_path) && out.write(data.data(), data.size()) && out.commit();
}

bool write_file_atomic(const std::string& native_path, std::string_view data) {
  return write_file_atomic(native_path,
                           std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
}

std::optional<std::vector<uint8_t>> read_whole_file(const std::string& native_path) {
  File f = File::open(native_path, "rb");
  if (!f) return std::nullopt;
  std::vector<uint8_t> data;
  int64_t size = f.size();
  if (size > 0) data.reserve(static_cast<size_t>(size));
  uint8_t buffer[65536];
  size_t n;
  while ((n = f.read(buffer, sizeof buffer)) > 0) data.insert(data.end(), buffer, buffer + n);
  return data;
}

std::string absolute_path(const std::string& path) {
  if (path.empty()) return process_working_directory();
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer)) return buffer;
  if (path[0] == '/') return path;
  return join_path(process_working_directory(), path);
}

std::string executable_directory() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return process_working_directory();
  buffer[n] = '\0';
  return parent_of(buffer);
}

std::string process_working_directory() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer)) return buffer;
  return "/";
}

bool is_terminal(int fd) { return ::isatty(fd) == 1; }

std::optional<std::string> environment_variable(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

std::string config_home() {
  if (auto x = environment_variable("XDG_CONFIG_HOME")) return *x;
  if (auto home = environment_variable("HOME")) return join_path(*home, ".config");
  return join_path(temp_directory(), "quorel-config");
}

std::string temp_directory() {
  if (auto t = environment_variable("TMPDIR")) return *t;
  return "/tmp";
}

std::string runtime_directory() {
  if (auto x = environment_variable("XDG_RUNTIME_DIR"); x && native_is_directory(*x)) return *x;
  return temp_directory();
}

std::string join_path(std::string_view a, std::string_view b) {
  std::string out(a);
  if (out.empty() || out.back() != '/') out += '/';
  while (!b.empty() && b.front() == '/') b.remove_prefix(1);
  out += b;
  return out;
}

}  // namespace plat
