// Self-voicing end to end, headless: the speech output is the recorder that
// prints each call on stderr. Alt+S turns speech off and on again; a line
// told while it was off is said when it comes back on.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "tests/support/console_game.h"
#include "tests/support/process.h"
#include "tests/support/script_game.h"
#include "tests/support/temp_dir.h"

using testing_support::GameRun;
using testing_support::ScriptGame;
using testing_support::TempDir;

namespace {

const std::string kGame = R"(.function $init@GLOBAL
    return
main:
)" + testing_support::console_on_new_page(400) + R"(
    text "太郎「こんにちは。」"
    text_proc
    text_ctrl "p"
    push_i 1000
    syscall_discard wait, 1
    text "Hello \"world\""
    text_proc
    text_ctrl "n"
    text "again."
    text_proc
    text_ctrl "p"
    push_i 1000
    syscall_discard wait, 1
    syscall_discard fontout_push, 0
    push_i 20
    push_i 20
    load i @page
    syscall_discard fontout_locate, 3
    push_s "もう少し星を見る"
    syscall_discard fontout, 1
    push_s "家に帰る"
    syscall_discard fontout, 1
    syscall_discard fontout_pop, 0
)" + testing_support::kTwoAnswerRegions + R"(
    syscall_discard region_events, 0
    syscall_discard system_end, 0
)" + testing_support::silent_console_hooks();

std::vector<std::string> speech_lines(const std::string& err) {
  std::vector<std::string> out;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("speech: ", 0) == 0) out.push_back(line);
  return out;
}

TEST(SelfVoicing, SpeaksLinesAndChoicesAndAltSToggles) {
  ScriptGame game;
  game.script("start", kGame);
  game.dir.write("input.txt",
                 "500 key down alt\n+10 key press s\n+50 key up alt\n"
                 "1500 key down alt\n+10 key press s\n+50 key up alt\n");
  const std::string settings = game.dir / "settings.ini";
  GameRun r = game.run({"--speak", "--input=" + (game.dir / "input.txt"),
                        "--settings=" + settings});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(speech_lines(r.err), (std::vector<std::string>{
                                     "speech: say ja 太郎、「こんにちは。」",
                                     "speech: stop",
                                     "speech: say en Hello \"world\" again.",
                                     "speech: say ja もう少し星を見る、家に帰る",
                                 }));
  // The player's last choice is kept for the next run.
  EXPECT_NE(game.dir.read("settings.ini").find("[quorel]\nSpeak=1"), std::string::npos)
      << game.dir.read("settings.ini");

  // Off unless asked for.
  game.dir.write("settings.ini", "");
  r = game.run({"--settings=" + settings});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(speech_lines(r.err).empty()) << r.err;
}

// A speech server of the test's own, with the output module that speaks
// nowhere; its log at the highest level shows every command a client sent.
class PrivateSpeechServer {
 public:
  explicit PrivateSpeechServer(const TempDir& dir) : socket_(dir / "speechd.sock"), log_(dir / "log") {
    dir.write("conf/speechd.conf", "AddModule \"dummy\" \"sd_dummy\" \"\"\nDefaultModule dummy\nLogLevel 5\nAudioOutputMethod \"libao\"\n");
    dir.make_dir("log");
    const std::string conf = dir / "conf";
    std::vector<std::string> args = {kServer, "-s", "-l", "5", "-L", log_, "-c", "unix_socket", "-S", socket_,
                                     "-C", conf, "-t", "60", "-P", dir / "pid"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    if (posix_spawn(&pid_, kServer, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    // Ready when its socket is there (at most ten seconds).
    for (int i = 0; i < 200 && pid_ > 0 && ::access(socket_.c_str(), F_OK) != 0; ++i) ::usleep(50000);
  }
  ~PrivateSpeechServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    // A server stuck in shutting down its output module must not hold the
    // test until the suite's own time limit: ten seconds, then it is killed.
    for (int i = 0; i < 200; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      ::usleep(50000);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool ready() const { return pid_ > 0 && ::access(socket_.c_str(), F_OK) == 0; }
  const std::string& socket() const { return socket_; }
  std::string log(const TempDir& dir) const { return dir.read("log/speech-dispatcher.log"); }

  static constexpr const char* kServer = "/usr/bin/speech-dispatcher";

 private:
  std::string socket_, log_;
  pid_t pid_ = -1;
};

TEST(SelfVoicing, TalksToTheSpeechServer) {
  if (::access(PrivateSpeechServer::kServer, X_OK) != 0) GTEST_SKIP() << "speech-dispatcher is not installed";
  TempDir server_dir;
  PrivateSpeechServer server(server_dir);
  ASSERT_TRUE(server.ready());
  ScriptGame game;
  game.script("start", kGame);
  auto r = testing_support::run_program(
      {"quorel", "--speak", "--virtual-clock=10", "--max-frames=2000", "--settings=" + (game.dir / "settings.ini"),
       game.dir.path()},
      {}, 60, {"SPEECHD_ADDRESS=unix_socket:" + server.socket()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string log = server.log(server_dir);
  // In order: each line cuts off the one before, in its own language.
  size_t at = 0;
  for (const char* expected : {"CLIENT_NAME", "CANCEL SELF", "SET SELF LANGUAGE ja", "太郎、「こんにちは。」",
                               "CANCEL SELF", "SET SELF LANGUAGE en", "Hello \"world\" again.", "CANCEL SELF",
                               "SET SELF LANGUAGE ja", "もう少し星を見る、家に帰る"}) {
    const size_t found = log.find(expected, at);
    ASSERT_NE(found, std::string::npos) << "missing after byte " << at << ": " << expected;
    at = found + 1;
  }
}

}  // namespace
