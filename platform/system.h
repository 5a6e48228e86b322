// Process-level services: the single-instance lock, child processes,
// available memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// An exclusive lock held for the life of the object, so that a second copy
// of the same game refuses to start. Named from the window title.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  enum class Result { Acquired, AlreadyRunning, Failed };
  // `name` is any byte string; it is turned into a safe file name. The lock
  // file lies in $XDG_RUNTIME_DIR, else in the user's own
  // $XDG_CACHE_HOME/quorel (~/.cache/quorel).
  Result acquire(std::string_view name);
  void release();
  // After Failed: which file or folder, and why.
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

// Starts a program with an argument vector (never through a shell) and does
// not wait for it. argv[0] is looked up in PATH when it has no "/".
// Returns false when the program could not be started.
bool spawn_detached(const std::vector<std::string>& argv, const std::string& working_dir = {});

// Runs a program and waits for it; returns its exit status, or -1.
int spawn_and_wait(const std::vector<std::string>& argv);

// True when a program of that name is found in PATH (or is an executable path).
bool program_exists(const std::string& name);

// Splits a command template into words: blanks separate words, double
// quotes group them.
std::vector<std::string> split_command_line(std::string_view command);

uint32_t process_id();

// SIGTERM, SIGINT and SIGHUP (closing the terminal, logging out): the first
// one only sets termination_requested(), which the engine turns into a
// quit; a second one ends the process at once.
void install_termination_handlers();
bool termination_requested();

// For the tools: these signals end the process at once, after removing the
// temporary files of unfinished atomic writes.
void remove_temporary_files_on_signal();

// Physical memory available to the process, in bytes.
std::optional<uint64_t> available_memory();

}  // namespace plat
