#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

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
  if (slash == std::string::npos) return ".";  // a bare name lies in the working directory
  if (slash == 0) return "/";
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
  // Files are written without following a final symbolic link: a link
  // planted in a game folder must not redirect the engine's writes.
  int flags = O_CLOEXEC;
  const bool plus = m.find('+') != std::string::npos;
  switch (m[0]) {
    case 'r': flags |= plus ? O_RDWR | O_NOFOLLOW : O_RDONLY; break;
    case 'w': flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | O_NOFOLLOW; break;
    case 'a': flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND | O_NOFOLLOW; break;
    default: errno = EINVAL; return f;
  }
  // Nor does a FIFO planted in its place hang the engine: opened without
  // waiting, one with no writer reads as empty, one with no reader refuses
  // writing. Pipes handed over on the command line read as usual.
  int fd = ::open(native_path.c_str(), flags | O_NONBLOCK, 0666);
  if (fd < 0) return f;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return f;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  f.fp_ = fdopen(fd, m.c_str());
  if (!f.fp_) ::close(fd);
  f.text_ = std::strchr(mode, 't') != nullptr;
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

bool same_file(const std::string& a, const std::string& b) {
  auto x = native_file_id(a);
  return x && x == native_file_id(b);
}

std::vector<DirEntry> list_directory(const std::string& native_dir, bool* failed) {
  std::vector<DirEntry> out;
  if (failed) *failed = false;
  int dfd = ::open(native_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) {
    if (failed) *failed = true;
    return out;
  }
  DIR* dir = fdopendir(dfd);
  if (!dir) {
    const int err = errno;
    ::close(dfd);
    if (failed) *failed = true;
    errno = err;
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

namespace {

// The real path of the deepest part of `path` that exists, with the rest
// appended as written; nullopt when the rest climbs with "..".
std::optional<std::string> resolve_existing_part(const std::string& path) {
  std::string head = path, tail;
  for (;;) {
    char buffer[PATH_MAX];
    if (::realpath(head.c_str(), buffer)) {
      std::string out = buffer;
      if (!tail.empty()) out = join_path(out, tail);
      return out;
    }
    if (head.empty() || head == "/") return std::nullopt;
    size_t slash = head.find_last_of('/');
    std::string part = slash == std::string::npos ? head : head.substr(slash + 1);
    if (part == ".." ) return std::nullopt;
    if (!part.empty() && part != ".") tail = tail.empty() ? part : part + "/" + tail;
    head = slash == std::string::npos ? "." : slash == 0 ? "/" : head.substr(0, slash);
  }
}

}  // namespace

bool native_path_within(const std::string& path, const std::string& root) {
  char buffer[PATH_MAX];
  if (!::realpath(root.c_str(), buffer)) return false;
  std::string real_root = buffer;
  auto real = resolve_existing_part(path);
  if (!real) return false;
  if (*real == real_root) return true;
  if (real_root != "/") real_root += '/';
  return real->compare(0, real_root.size(), real_root) == 0;
}

bool make_directories_within(const std::string& native_path, const std::string& root) {
  if (!native_path_within(native_path, root)) {
    errno = EXDEV;
    return false;
  }
  if (!make_directories(native_path)) return false;
  // A folder that was swapped for a link meanwhile is caught here.
  if (!native_path_within(native_path, root)) {
    errno = EXDEV;
    return false;
  }
  return true;
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

// Unfinished atomic writes, linked through the writers themselves, for
// removal of their temporary files when a signal ends the process. The
// list changes only while the termination signals are blocked, so a
// handler never sees it half changed.
AtomicWriter* AtomicWriter::unfinished_ = nullptr;

namespace {

std::mutex g_unfinished_lock;

class TerminationSignalsBlocked {
 public:
  TerminationSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~TerminationSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

void AtomicWriter::link() {
  TerminationSignalsBlocked blocked;
  std::lock_guard guard(g_unfinished_lock);
  next_ = unfinished_;
  prev_ = nullptr;
  if (next_) next_->prev_ = this;
  unfinished_ = this;
  linked_ = true;
}

void AtomicWriter::unlink_from_list() {
  if (!linked_) return;
  TerminationSignalsBlocked blocked;
  std::lock_guard guard(g_unfinished_lock);
  if (prev_) prev_->next_ = next_;
  else unfinished_ = next_;
  if (next_) next_->prev_ = prev_;
  prev_ = next_ = nullptr;
  linked_ = false;
}

void AtomicWriter::remove_unfinished() {
  for (AtomicWriter* w = unfinished_; w; w = w->next_) ::unlink(w->temp_.c_str());
}

void remove_unfinished_temporary_files() { AtomicWriter::remove_unfinished(); }

AtomicWriter::~AtomicWriter() { discard(); }

bool AtomicWriter::open(const std::string& native_path) {
  discard();
  target_ = native_path;
  temp_ = native_path + ".tmp.XXXXXX";
  // Made and listed as one step: a signal between the two would leave the
  // file behind.
  TerminationSignalsBlocked blocked;
  fd_ = mkostemp(temp_.data(), O_CLOEXEC);
  failed_ = fd_ < 0;
  if (failed_) temp_.clear();
  else link();
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

bool AtomicWriter::prepare(bool flush) {
  if (fd_ < 0) return false;
  bool ok = !failed_ && fchmod(fd_, 0644) == 0 && (!flush || fsync(fd_) == 0);
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (!ok) discard();
  else prepared_ = true;
  return ok;
}

bool AtomicWriter::finish(bool flush) {
  if (!prepared_ || ::rename(temp_.c_str(), target_.c_str()) != 0) {
    discard();
    return false;
  }
  prepared_ = false;
  unlink_from_list();
  temp_.clear();
  if (!flush) return true;
  // The folder that holds the file, so that the rename itself is on disk.
  int dfd = ::open(parent_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool AtomicWriter::commit(bool flush) { return prepare(flush) && finish(flush); }

void AtomicWriter::discard() {
  const int err = errno;  // callers report the failure that led here
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  prepared_ = false;
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    unlink_from_list();
  }
  temp_.clear();
  errno = err;
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

std::string join_path(std::string_view a, std::string_view b) {
  std::string out(a);
  if (out.empty() || out.back() != '/') out += '/';
  while (!b.empty() && b.front() == '/') b.remove_prefix(1);
  out += b;
  return out;
}

}  // namespace plat
