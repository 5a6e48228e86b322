#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace testing_support {
namespace {

std::vector<char*> c_strings(std::vector<std::string>& v) {
  std::vector<char*> out;
  for (auto& s : v) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

std::vector<std::string> environment_with(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
  // The test's own entries win over the dummy drivers.
  std::vector<std::string> wanted;
  for (const char* d : {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"})
    if (std::none_of(extra.begin(), extra.end(), [&](const std::string& x) { return name_of(x) == name_of(d); }))
      wanted.push_back(d);
  wanted.insert(wanted.end(), extra.begin(), extra.end());
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const auto& w : wanted) replaced |= name_of(w) == name_of(entry);
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), wanted.begin(), wanted.end());
  return env;
}

long now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

std::string built_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  return std::string(QUOREL_BINARY_DIR) + "/" + name;
}

RunResult run_program(std::vector<std::string> argv, const std::string& working_dir, int timeout_seconds,
                      const std::vector<std::string>& extra_env) {
  RunResult result;
  argv[0] = built_program(argv[0]);
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!working_dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());
  auto args = c_strings(argv);
  auto env_strings = environment_with(extra_env);
  auto env = c_strings(env_strings);
  pid_t pid;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (rc != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    result.err = std::string("cannot start ") + args[0] + ": " + std::strerror(rc);
    return result;
  }
  struct pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open_count = 2;
  long deadline = now_ms() + timeout_seconds * 1000L;
  while (open_count > 0) {
    long left = deadline - now_ms();
    if (left <= 0) {
      kill(pid, SIGKILL);
      result.timed_out = true;
      break;
    }
    int n = poll(fds, 2, static_cast<int>(left));
    if (n < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!result.timed_out && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  return result;
}

Background::Background(std::vector<std::string> argv, const std::string& working_dir,
                       const std::string& stderr_path) {
  argv[0] = built_program(argv[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, stderr_path.empty() ? "/dev/null" : stderr_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!working_dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, working_dir.c_str());
  auto args = c_strings(argv);
  auto env_strings = environment_with({});
  auto env = c_strings(env_strings);
  pid_t pid;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
}

Background::~Background() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
  }
}

void Background::reaped(int status) {
  pid_ = -1;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

bool Background::running() {
  if (pid_ <= 0) return false;
  int status;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    reaped(status);
    return false;
  }
  return true;
}

bool Background::wait(int timeout_ms) {
  for (long end = now_ms() + timeout_ms; running();) {
    if (now_ms() >= end) return false;
    usleep(5000);
  }
  return true;
}

}  // namespace testing_support
