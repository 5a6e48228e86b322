// Where the text hook writes its lines: a file opened for appending, or a
// Unix-domain stream socket that a reader listens at. Writing never blocks
// the game: a line the reader cannot take at once is dropped, and a reader
// that went away is looked for again at most once every few seconds.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace plat {

class LineSink {
 public:
  enum class Origin { CommandLine, SettingsFile };

  ~LineSink();
  LineSink(const LineSink&) = delete;
  LineSink& operator=(const LineSink&) = delete;

  // "unix:PATH", or a path naming an existing socket, connects to that
  // socket; any other path is a file to append to (created 0600 when
  // missing). A path from the settings file must be absolute and name a
  // regular file or a socket, never through a symbolic link: the file is
  // the player's to choose, not something a copied settings file can aim
  // at a device or a pipe. Null with the reason in `error` when refused.
  static std::unique_ptr<LineSink> open(std::string_view spec, Origin origin, std::string* error);

  // Writes `line` and a line break. False when the line was dropped.
  bool write_line(std::string_view line);

  bool is_socket() const { return socket_; }
  bool connected() const { return fd_ >= 0; }
  // Seconds between attempts to reach a reader that is not there.
  static constexpr std::chrono::milliseconds kRetryInterval{3000};

 private:
  LineSink() = default;
  bool try_connect();
  void drop_connection();

  int fd_ = -1;
  bool socket_ = false;
  std::string path_;
  std::chrono::steady_clock::time_point next_attempt_{};
  // Of a line the socket took only in part: the rest, sent before anything
  // else so that the reader never sees half a line joined to the next.
  std::string unsent_;
};

}  // namespace plat
