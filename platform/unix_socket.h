// A stream connection over a Unix-domain socket, for the debugger link.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

class UnixSocket {
 public:
  UnixSocket() = default;
  ~UnixSocket();
  UnixSocket(UnixSocket&& other) noexcept;
  UnixSocket& operator=(UnixSocket&& other) noexcept;
  UnixSocket(const UnixSocket&) = delete;
  UnixSocket& operator=(const UnixSocket&) = delete;

  // Connects to a listening socket; invalid when nobody listens there.
  static UnixSocket connect(const std::string& path);
  // Listens at a path. A stale socket file there is replaced; any other
  // file, or a socket in use, is refused with the reason in `error`.
  static UnixSocket listen(const std::string& path, std::string* error = nullptr);
  // Waits up to `wait_ms` (-1: forever) for a connection.
  UnixSocket accept(int wait_ms);

  bool valid() const { return fd_ >= 0; }
  bool send_all(const void* data, size_t size);
  // Takes `size` bytes when they have arrived, waiting up to `wait_ms`
  // (0: only what is there, -1: forever). False when they are not all there
  // yet (they stay buffered) or the peer has gone (see closed()).
  bool receive(void* data, size_t size, int wait_ms);
  bool closed() const { return closed_; }
  void close();

 private:
  int fd_ = -1;
  bool closed_ = false;
  std::vector<uint8_t> buffer_;
};

}  // namespace plat
