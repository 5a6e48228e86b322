// A game folder made for one test: an environment file, scripts assembled
// from source, and a run of the real program on it.
#pragma once

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

struct GameRun : RunResult {
  std::vector<std::string> log;  // lines this run added to debugout.log, without their date stamp
  std::vector<std::string> boxes;  // message-box lines printed on stderr
};

class ScriptGame {
 public:
  // A development-mode game (data in "fastdata") with this environment
  // file. Without a TITLEBAR line each game gets a title of its own, so
  // that tests running side by side do not meet the single-instance guard.
  explicit ScriptGame(std::string env = "");
  std::string title;

  // Assembles `source` into fastdata/<name>.mjo; fails the test on errors.
  void script(const std::string& name, const std::string& source, bool scrambled = false);
  // Writes a data file.
  void file(const std::string& relative, const std::string& bytes);

  // Runs quorel --headless on the folder. Extra options are added.
  GameRun run(std::vector<std::string> options = {}, int timeout_seconds = 60);

  TempDir dir;
};

// Assembles in-process; fails the current test on errors.
std::vector<uint8_t> assemble_or_fail(const std::string& source);

}  // namespace testing_support
