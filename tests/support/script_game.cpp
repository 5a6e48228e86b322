#include "tests/support/script_game.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "tools/asm/assembler.h"

namespace testing_support {

std::vector<uint8_t> assemble_or_fail(const std::string& source) {
  quorel_asm::AssembleResult r = quorel_asm::assemble(source, "test");
  for (const auto& e : r.errors) ADD_FAILURE() << e.message;
  if (!r.ok()) return r.object;
  // Every script a test builds also proves the disassembler: its output
  // must assemble to the very same bytes.
  std::string text, error;
  quorel_asm::DisassembleOptions options;
  options.names = &r.names;
  if (!quorel_asm::disassemble(r.object, &text, &error, options)) {
    ADD_FAILURE() << "disassembly failed: " << error;
  } else {
    quorel_asm::AssembleResult again = quorel_asm::assemble(text, "disassembly");
    for (const auto& e : again.errors) ADD_FAILURE() << e.message << "\n" << text;
    if (again.ok()) {
      EXPECT_EQ(again.object, r.object) << "the disassembly does not reassemble:\n" << text;
    }
  }
  return r.object;
}

ScriptGame::ScriptGame(std::string env) {
  if (env.find("TITLEBAR") == std::string::npos) {
    title = "Test-" + dir.path().substr(dir.path().find_last_of('-') + 1);
    env = "TITLEBAR " + title + "\n" + env;
  }
  dir.write("fastdata/quorel.env", env);
}

void ScriptGame::script(const std::string& name, const std::string& source, bool scrambled) {
  dir.write("fastdata/" + name + ".mjo", assemble_or_fail((scrambled ? ".scrambled\n" : "") + source));
}

void ScriptGame::file(const std::string& relative, const std::string& bytes) { dir.write(relative, bytes); }

GameRun ScriptGame::run(std::vector<std::string> options, int timeout_seconds) {
  std::vector<std::string> argv = {"quorel", "--headless", "--virtual-clock=10", "--max-frames=2000",
                                   "--settings=" + (dir / "settings.ini")};
  for (auto& o : options) argv.push_back(o);
  argv.push_back(dir.path());
  GameRun r;
  // The log is appended to across runs: keep only this run's lines.
  const size_t log_before = dir.read("debugout.log").size();
  static_cast<RunResult&>(r) = run_program(argv, {}, timeout_seconds);
  std::string log = dir.read("debugout.log");
  size_t pos = std::min(log_before, log.size());
  while (pos < log.size()) {
    size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    // "YYMMDD_HHMM text": the text follows the first blank.
    size_t blank = line.find(' ');
    r.log.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
    pos = end + 1;
  }
  pos = 0;
  while (pos < r.err.size()) {
    size_t end = r.err.find('\n', pos);
    if (end == std::string::npos) end = r.err.size();
    std::string line = r.err.substr(pos, end - pos);
    if (line.rfind("message box: ", 0) == 0) r.boxes.push_back(line.substr(13));
    pos = end + 1;
  }
  return r;
}

}  // namespace testing_support
