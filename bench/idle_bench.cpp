// What the program costs while a player reads, and how soon it shows up.
//
// Runs the real program on the template game (a background, a message
// window with one line, a click wait) on the real clock, in a window when
// there is a display (else headless, with the same loop), and reads its
// threads' context switches and CPU time from /proc; then on a scene with
// one 64 x 64 sprite gliding back and forth. The start-up times are taken
// from the moment of exec to the program's own trace lines for the window
// and the first frame. No peer runs here: the lines are "RATE <name> <n>".
//
//   quorel-bench-idle [--seconds=N] [--renderer=auto|gpu|software]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/asm/assembler.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Child {
  pid_t pid = -1;
  int err = -1;  // the read end of its stderr
  Clock::time_point started;
};

Child start(const std::string& program, const std::vector<std::string>& args) {
  Child c;
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return c;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  c.started = Clock::now();
  if (posix_spawn(&c.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  c.err = pipe_fds[0];
  return c;
}

void stop(Child& c) {
  if (c.pid > 0) {
    kill(c.pid, SIGKILL);
    waitpid(c.pid, nullptr, 0);
  }
  if (c.err >= 0) close(c.err);
  c.pid = -1, c.err = -1;
}

// Milliseconds from exec until a stderr line holding `marker`; -1 when the
// program ends or says nothing within 20 s.
double ms_until(Child& c, const std::string& marker, std::string& seen) {
  char buffer[4096];
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Clock::now() < deadline) {
    if (seen.find(marker) != std::string::npos)
      return std::chrono::duration<double, std::milli>(Clock::now() - c.started).count();
    ssize_t n = read(c.err, buffer, sizeof buffer);
    if (n <= 0) return -1;
    seen.append(buffer, static_cast<size_t>(n));
  }
  return -1;
}

// Keeps the pipe from filling while the program runs on.
void drain(int fd) {
  std::thread([fd] {
    char buffer[4096];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
  }).detach();
}

struct Usage {
  long long switches = 0;  // voluntary and involuntary, all threads
  long long ticks = 0;     // user + system
  long rss_kb = 0;
};

Usage usage(pid_t pid) {
  Usage u;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code ec;
  for (const auto& task : fs::directory_iterator(proc + "/task", ec)) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line))
      if (line.find("ctxt_switches:") != std::string::npos) u.switches += std::atoll(line.c_str() + line.find(':') + 1);
  }
  std::ifstream stat(proc + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close_paren = text.rfind(')');
  if (close_paren != std::string::npos) {
    std::istringstream fields(text.substr(close_paren + 2));
    std::string field;
    for (int i = 3; i <= 15 && fields >> field; ++i)
      if (i == 14 || i == 15) u.ticks += std::atoll(field.c_str());
  }
  std::ifstream status(proc + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) u.rss_kb = std::atol(line.c_str() + 6);
  return u;
}

struct Rates {
  double wakeups = 0, cpu_percent = 0, rss_mb = 0;
};

Rates measure(pid_t pid, int seconds) {
  Usage a = usage(pid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  Usage b = usage(pid);
  const double hz = static_cast<double>(sysconf(_SC_CLK_TCK));
  return {static_cast<double>(b.switches - a.switches) / seconds,
          100.0 * static_cast<double>(b.ticks - a.ticks) / hz / seconds, b.rss_kb / 1024.0};
}

// The template's picture with one sprite gliding over it, for ever.
const char* kGlider = R"(
.function $init@GLOBAL
    return
main:
    push_s "bg"
    syscall sprite_create_file, 1
    st_i_pop @bg
    push_i 64
    push_i 64
    syscall page_create, 2
    st_i_pop @page
    push_i 0x2080F0
    push_i 64
    push_i 64
    push_i 0
    push_i 0
    load i @page
    syscall_discard grp_boxfill, 6
    load i @page
    syscall sprite_create, 1
    st_i_pop @ball
glide:
    push_i 2000
    push_i 200
    push_i 560
    load i @ball
    syscall_discard sprite_move, 4
    load i @ball
    syscall_discard sprite_move_wait, 1
    push_i 2000
    push_i 200
    push_i 16
    load i @ball
    syscall_discard sprite_move, 4
    load i @ball
    syscall_discard sprite_move_wait, 1
    jmp glide
)";

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10;
  std::string renderer = "auto";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--seconds=", 0) == 0) seconds = std::max(1, std::atoi(a.c_str() + 10));
    else if (a.rfind("--renderer=", 0) == 0) renderer = a.substr(11);
  }
  // The program and the template game sit in the build tree beside us.
  const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
  const std::string quorel = (build / "quorel").string();
  const fs::path game = build / "examples" / "template";
  if (!fs::exists(quorel) || !fs::exists(game / "fastdata" / "start.mjo")) {
    std::fprintf(stderr, "quorel-bench-idle: build the program and the template game first (%s)\n", quorel.c_str());
    return 1;
  }
  const bool window = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
  if (!std::getenv("SDL_AUDIODRIVER") && access("/dev/snd", F_OK) != 0) setenv("SDL_AUDIODRIVER", "dummy", 1);
  const fs::path scratch = fs::temp_directory_path() / ("quorel-bench-idle-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  const std::string settings = "--settings=" + (scratch / "settings.ini").string();
  std::vector<std::string> common = {window ? "--window" : "--headless", "--renderer=" + renderer, settings,
                                     "--trace=graphics"};

  std::printf("%s, renderer %s, %d s per figure\n", window ? "windowed" : "headless", renderer.c_str(), seconds);

  // Start-up and the click wait.
  std::vector<std::string> args = common;
  args.push_back(game.string());
  Child c = start(quorel, args);
  if (c.pid < 0) {
    std::fprintf(stderr, "quorel-bench-idle: cannot start %s\n", quorel.c_str());
    return 1;
  }
  std::string said;
  const double to_window = ms_until(c, "drawn by the", said);
  const double to_frame = ms_until(c, "first frame presented", said);
  drain(c.err);
  c.err = -1;
  // The line is typed, the click wait begins, and after three seconds of
  // silence the audio device closes.
  std::this_thread::sleep_for(std::chrono::seconds(4));
  Rates idle = measure(c.pid, seconds);
  stop(c);

  // A sprite in motion.
  const fs::path glider = scratch / "glider";
  fs::create_directories(glider / "fastdata");
  fs::copy_file(game / "fastdata" / "quorel.env", glider / "fastdata" / "quorel.env");
  fs::copy_file(game / "fastdata" / "bg.png", glider / "fastdata" / "bg.png");
  quorel_asm::AssembleResult r = quorel_asm::assemble(kGlider, "glider");
  if (!r.ok()) {
    std::fprintf(stderr, "quorel-bench-idle: the glider does not assemble\n");
    return 1;
  }
  std::ofstream(glider / "fastdata" / "start.mjo", std::ios::binary)
      .write(reinterpret_cast<const char*>(r.object.data()), static_cast<std::streamsize>(r.object.size()));
  args = common;
  args.push_back(glider.string());
  Child g = start(quorel, args);
  drain(g.err);
  g.err = -1;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  Rates moving = measure(g.pid, seconds);
  stop(g);
  fs::remove_all(scratch);

  std::printf("RATE ms_to_window %.1f\n", to_window);
  std::printf("RATE ms_to_first_frame %.1f\n", to_frame);
  std::printf("RATE idle_wakeups_per_second %.1f\n", idle.wakeups);
  std::printf("RATE idle_cpu_percent %.2f\n", idle.cpu_percent);
  std::printf("RATE idle_rss_mb %.1f\n", idle.rss_mb);
  std::printf("RATE animating_wakeups_per_second %.1f\n", moving.wakeups);
  std::printf("RATE animating_cpu_percent %.2f\n", moving.cpu_percent);
  return 0;
}
