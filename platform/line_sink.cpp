#include "platform/line_sink.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace plat {
namespace {

constexpr std::string_view kUnixPrefix = "unix:";

bool has_control_bytes(std::string_view s) {
  for (unsigned char ch : s)
    if (ch < 0x20 || ch == 0x7F) return true;
  return false;
}

}  // namespace

LineSink::~LineSink() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<LineSink> LineSink::open(std::string_view spec, Origin origin, std::string* error) {
  auto fail = [&](std::string why) -> std::unique_ptr<LineSink> {
    if (error) *error = std::move(why);
    return nullptr;
  };
  bool socket = false;
  std::string path(spec);
  if (spec.substr(0, kUnixPrefix.size()) == kUnixPrefix) {
    socket = true;
    path = std::string(spec.substr(kUnixPrefix.size()));
  }
  if (path.empty()) return fail("no path given");
  if (path.find('\0') != std::string::npos || has_control_bytes(path)) return fail("the path has control characters");
  const bool from_settings = origin == Origin::SettingsFile;
  if (from_settings && path[0] != '/') return fail("a path from the settings file must be absolute");

  struct stat st;
  const bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISSOCK(st.st_mode)) socket = true;
  if (from_settings && exists && S_ISLNK(st.st_mode)) return fail("a path from the settings file may not be a symbolic link");
  if (from_settings && exists && !S_ISREG(st.st_mode) && !S_ISSOCK(st.st_mode))
    return fail("a path from the settings file must name a regular file or a socket");

  std::unique_ptr<LineSink> sink(new LineSink());
  sink->path_ = path;
  sink->socket_ = socket;
  if (socket) {
    sockaddr_un addr;
    if (path.size() >= sizeof addr.sun_path) return fail("the path is too long for a socket");
    sink->try_connect();  // a reader that comes later is found by the retries
    return sink;
  }
  if (exists && S_ISDIR(st.st_mode)) return fail("the path is a folder");
  // Non-blocking, so that a pipe without a reader is refused instead of
  // holding the game at the open, and a full one drops lines.
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
  if (from_settings) flags |= O_NOFOLLOW;
  int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return fail(std::strerror(errno));
  if (from_settings) {
    // The file checked above could have been swapped before the open.
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      ::close(fd);
      return fail("a path from the settings file must name a regular file");
    }
  }
  sink->fd_ = fd;
  return sink;
}

bool LineSink::try_connect() {
  const auto now = std::chrono::steady_clock::now();
  if (now < next_attempt_) return false;
  next_attempt_ = now + kRetryInterval;
  sockaddr_un addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  // A Unix-domain connect completes at once or fails (EAGAIN: the reader's
  // queue is full, tried again later like a missing reader).
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  unsent_.clear();
  return true;
}

void LineSink::drop_connection() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  unsent_.clear();
  next_attempt_ = std::chrono::steady_clock::now() + kRetryInterval;
}

bool LineSink::write_line(std::string_view line) {
  std::string data(line);
  data += '\n';
  if (!socket_) {
    if (fd_ < 0) return false;
    // A regular file takes the whole line in one append; a pipe or a
    // terminal that is full drops it.
    const ssize_t n = ::write(fd_, data.data(), data.size());
    return n == static_cast<ssize_t>(data.size());
  }
  if (fd_ < 0 && !try_connect()) return false;
  auto send_some = [&](std::string_view bytes) -> ssize_t {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) drop_connection();
    return n;
  };
  if (!unsent_.empty()) {
    const ssize_t n = send_some(unsent_);
    if (fd_ < 0) return false;
    if (n > 0) unsent_.erase(0, static_cast<size_t>(n));
    if (!unsent_.empty()) return false;  // still full: this line is dropped
  }
  const ssize_t n = send_some(data);
  if (fd_ < 0 || n <= 0) return false;
  if (static_cast<size_t>(n) < data.size()) unsent_ = data.substr(static_cast<size_t>(n));
  return true;
}

}  // namespace plat
