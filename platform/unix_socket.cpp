#include "platform/unix_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace plat {
namespace {

bool make_address(const std::string& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

UnixSocket::~UnixSocket() { close(); }

UnixSocket::UnixSocket(UnixSocket&& other) noexcept
    : fd_(other.fd_), closed_(other.closed_), buffer_(std::move(other.buffer_)) {
  other.fd_ = -1;
}

UnixSocket& UnixSocket::operator=(UnixSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    closed_ = other.closed_;
    buffer_ = std::move(other.buffer_);
    other.fd_ = -1;
  }
  return *this;
}

UnixSocket UnixSocket::connect(const std::string& path) {
  UnixSocket s;
  sockaddr_un addr;
  if (!make_address(path, &addr)) return s;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return s;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return s;
  }
  s.fd_ = fd;
  return s;
}

UnixSocket UnixSocket::listen(const std::string& path, std::string* error) {
  UnixSocket s;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return UnixSocket();
  };
  sockaddr_un addr;
  if (!make_address(path, &addr)) return fail("the path is too long for a socket");
  // Only a stale socket is replaced: anything else at the path is someone's
  // file, and a socket somebody listens at is in use.
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) return fail("something that is not a socket is there; it is left alone");
    if (connect(path).valid()) return fail("another program listens there");
    if (::unlink(path.c_str()) != 0) return fail(std::string("cannot remove the old socket: ") + std::strerror(errno));
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail(std::strerror(errno));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 1) != 0) {
    int err = errno;
    ::close(fd);
    return fail(std::strerror(err));
  }
  s.fd_ = fd;
  return s;
}

UnixSocket UnixSocket::accept(int wait_ms) {
  UnixSocket s;
  if (fd_ < 0) return s;
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, wait_ms) <= 0) return s;
  int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) s.fd_ = fd;
  return s;
}

bool UnixSocket::send_all(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0 && fd_ >= 0) {
    ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      closed_ = true;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return size == 0;
}

bool UnixSocket::receive(void* data, size_t size, int wait_ms) {
  while (buffer_.size() < size && fd_ >= 0 && !closed_) {
    pollfd p{fd_, POLLIN, 0};
    int ready = ::poll(&p, 1, buffer_.empty() ? wait_ms : wait_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    uint8_t chunk[4096];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      closed_ = true;
      break;
    }
    buffer_.insert(buffer_.end(), chunk, chunk + n);
  }
  if (buffer_.size() < size) return false;
  std::memcpy(data, buffer_.data(), size);
  buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(size));
  return true;
}

void UnixSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace plat
