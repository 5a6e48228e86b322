#include "platform/system.h"

#include <fcntl.h>
#include <spawn.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/files.h"

extern char** environ;

namespace plat {
namespace {

uint32_t fnv1a(std::string_view s) {
  uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

std::atomic<int> g_termination_signals{0};
bool g_tool_mode = false;

extern "C" void on_termination_signal(int sig) {
  // The engine ends the run on the first signal; a second one, or any
  // signal to a tool, ends the process at once (without half-written files).
  if (g_tool_mode || g_termination_signals.fetch_add(1) > 0) {
    remove_unfinished_temporary_files();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
  }
}

void install(bool tool_mode) {
  g_tool_mode = tool_mode;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_termination_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&sa.sa_mask, sig);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

}  // namespace

void install_termination_handlers() { install(false); }

bool termination_requested() { return g_termination_signals.load() > 0; }

void remove_temporary_files_on_signal() { install(true); }

InstanceLock::~InstanceLock() { release(); }

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

// A folder only this user can write: the runtime folder, else a folder of
// the user's cache. Never the shared temporary folder, where another user
// could create the lock file first.
std::string lock_directory(std::string* error) {
  if (auto x = environment_variable("XDG_RUNTIME_DIR"); x && native_is_directory(*x)) return *x;
  std::string dir;
  if (auto c = environment_variable("XDG_CACHE_HOME")) dir = join_path(*c, "quorel");
  else if (auto home = environment_variable("HOME")) dir = join_path(join_path(*home, ".cache"), "quorel");
  else {
    *error = "neither XDG_RUNTIME_DIR, XDG_CACHE_HOME nor HOME is set";
    return {};
  }
  if (!make_directories(dir)) {
    *error = dir + ": cannot create the folder: " + std::strerror(errno);
    return {};
  }
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || st.st_uid != ::getuid()) {
    *error = dir + ": the folder belongs to another user";
    return {};
  }
  return dir;
}

InstanceLock::Result InstanceLock::acquire(std::string_view name) {
  release();
  error_.clear();
  // The title is arbitrary bytes; keep the readable part and add a hash so
  // that different titles never share a lock file.
  std::string safe;
  for (unsigned char c : name)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-')
      safe += static_cast<char>(c);
  if (safe.size() > 40) safe.resize(40);
  char hash[16];
  std::snprintf(hash, sizeof hash, "%08x", fnv1a(name));
  std::string dir = lock_directory(&error_);
  if (dir.empty()) return Result::Failed;
  std::string path = join_path(dir, "quorel-" + safe + "-" + hash + ".lock");
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_ = path + ": " + std::strerror(errno);
    return Result::Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return Result::AlreadyRunning;
    error_ = path + ": " + std::strerror(err);
    return Result::Failed;
  }
  fd_ = fd;
  return Result::Acquired;
}

void InstanceLock::release() {
  if (fd_ >= 0) {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  fd_ = -1;
}

static bool spawn(const std::vector<std::string>& argv, const std::string& working_dir, pid_t* pid) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!working_dir.empty()) {
    // posix_spawn_file_actions_addchdir_np is a glibc extension (2.29+).
    posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());
  }
  int rc = posix_spawnp(pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0;
}

bool spawn_detached(const std::vector<std::string>& argv, const std::string& working_dir) {
  pid_t pid;
  if (!spawn(argv, working_dir, &pid)) return false;
  // Reap it when it ends, without blocking the engine.
  std::thread([pid] {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

int spawn_and_wait(const std::vector<std::string>& argv) {
  pid_t pid;
  if (!spawn(argv, {}, &pid)) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool program_exists(const std::string& name) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0;
  auto path = environment_variable("PATH");
  if (!path) return false;
  size_t start = 0;
  while (start <= path->size()) {
    size_t end = path->find(':', start);
    if (end == std::string::npos) end = path->size();
    std::string dir = path->substr(start, end - start);
    if (!dir.empty() && ::access(join_path(dir, name).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

std::vector<std::string> split_command_line(std::string_view command) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

uint32_t process_id() { return static_cast<uint32_t>(::getpid()); }

std::optional<uint64_t> available_memory() {
  if (FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned long long kb;
      if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) {
        std::fclose(f);
        return static_cast<uint64_t>(kb) * 1024u;
      }
    }
    std::fclose(f);
  }
  struct sysinfo info;
  if (::sysinfo(&info) == 0) return static_cast<uint64_t>(info.freeram) * info.mem_unit;
  return std::nullopt;
}

}  // namespace plat
