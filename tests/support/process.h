// Runs a program of the project (the engine, a tool) and collects what it
// printed and its exit code.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct RunResult {
  int exit_code = -1;  // 0-255, or -1 when it did not end normally
  bool timed_out = false;
  std::string out, err;
};

// argv[0] is a program name in the build tree ("quorel", "quorel-asm") or a path.
RunResult run_program(std::vector<std::string> argv, const std::string& working_dir = {},
                      int timeout_seconds = 60, const std::vector<std::string>& extra_env = {});

// Path of a program built by this project.
std::string built_program(const std::string& name);

// A started program that keeps running while the test goes on.
class Background {
 public:
  // `stderr_path`: where its standard error goes (default: nowhere).
  Background(std::vector<std::string> argv, const std::string& working_dir = {}, const std::string& stderr_path = {});
  ~Background();  // kills it when still running
  bool running();
  int pid() const { return pid_; }
  // Waits up to `timeout_ms` for the end; false when it still runs.
  bool wait(int timeout_ms);
  // After the end: the exit code (0-255), or 128 + the signal that ended it.
  int exit_code() const { return exit_code_; }

 private:
  void reaped(int status);
  int pid_ = -1;
  int exit_code_ = -1;
};

}  // namespace testing_support
