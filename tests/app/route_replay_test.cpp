// Every route through the demo game, played headless from its input file on
// the virtual clock and checked at fixed passes: what the player sees there
// and the sound of the whole run, by hash. The expected hashes live in
// tests/app/routes/<route>.hashes; after a deliberate change to the game run
//   tests/app/update-route-hashes
// (the same tests with QUOREL_UPDATE_ROUTES=1), which rewrites them.
//
// A .hashes file, one entry a line ('#' starts a comment):
//   input PATH            the input file, relative to the source tree
//   frames N              the run's length in scheduler passes
//   shot N HASH           what the player sees once N passes are done
//   audio HASH            the mixed sound of the whole run (WAVE)
//   capture HASH          the one screen capture (F5) the route saves in the
//                         game's folder (BMP; its name holds the real date)
// HASH is FNV-1a 64 of the file's bytes (BMP, WAVE), or "-" before the first
// update.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

std::string fnv1a(const std::string& bytes) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001B3ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

struct Route {
  std::vector<std::string> lines;  // the file as it is, to be rewritten in place
  std::string input;
  uint64_t frames = 0;
  struct Shot {
    uint64_t pass;
    std::string hash;
    size_t line;
  };
  std::vector<Shot> shots;
  std::string audio;
  size_t audio_line = 0;
  std::string capture;
  size_t capture_line = 0;
};

std::string routes_dir() { return std::string(QUOREL_SOURCE_DIR) + "/tests/app/routes/"; }

bool read_route(const std::string& name, Route* r, std::string* error) {
  std::ifstream in(routes_dir() + name + ".hashes");
  if (!in) return *error = "no file " + routes_dir() + name + ".hashes", false;
  for (std::string line; std::getline(in, line);) {
    r->lines.push_back(line);
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    if (kind.empty() || kind[0] == '#') continue;
    if (kind == "input") {
      words >> r->input;
    } else if (kind == "frames") {
      words >> r->frames;
    } else if (kind == "shot") {
      Route::Shot s{0, {}, r->lines.size() - 1};
      words >> s.pass >> s.hash;
      r->shots.push_back(s);
    } else if (kind == "audio") {
      words >> r->audio;
      r->audio_line = r->lines.size() - 1;
    } else if (kind == "capture") {
      words >> r->capture;
      r->capture_line = r->lines.size() - 1;
    } else {
      return *error = name + ".hashes, line " + std::to_string(r->lines.size()) + ": unknown entry '" + kind + "'",
             false;
    }
  }
  if (r->input.empty() || r->frames == 0 || r->audio.empty())
    return *error = name + ".hashes needs input, frames and audio", false;
  return true;
}

// Plays the route once; returns what each checkpoint and the sound hash to.
void replay(const std::string& name) {
  Route route;
  std::string error;
  ASSERT_TRUE(read_route(name, &route, &error)) << error;
  TempDir dir;
  RunResult copy = run_program({"/bin/cp", "-r", std::string(QUOREL_BINARY_DIR) + "/examples/demo", dir / "game"});
  // Only the game: not what a run in the build tree left (its log, saves, caches).
  run_program({"/bin/rm", "-rf", dir / "game/debugout.log", dir / "game/savedata"});
  ASSERT_EQ(copy.exit_code, 0) << copy.err;
  std::vector<std::string> argv = {"quorel",
                                   "--headless",
                                   "--virtual-clock=16",
                                   "--seed=1",
                                   "--max-frames=" + std::to_string(route.frames),
                                   "--settings=" + (dir / "settings.ini"),
                                   "--audio-out=" + (dir / "out.wav"),
                                   "--input=" + std::string(QUOREL_SOURCE_DIR) + "/" + route.input};
  for (size_t i = 0; i < route.shots.size(); ++i)
    argv.push_back("--screenshot-at=" + std::to_string(route.shots[i].pass) + ":" + (dir / ("shot" + std::to_string(i) + ".bmp")));
  argv.push_back(dir / "game");
  RunResult run = run_program(argv, {}, 120, {"XDG_RUNTIME_DIR=" + dir.path()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // A script error (a built-in that nothing handles among them) shows a box:
  // the route must run without one.
  EXPECT_EQ(run.err.find("message box:"), std::string::npos) << run.err;
  const std::string log = dir.exists("game/debugout.log") ? dir.read("game/debugout.log") : "";
  EXPECT_EQ(log.find("は定義されていません"), std::string::npos) << "a built-in nothing handles:\n" << log;

  const bool update = std::getenv("QUOREL_UPDATE_ROUTES") != nullptr;
  for (size_t i = 0; i < route.shots.size(); ++i) {
    const std::string file = "shot" + std::to_string(i) + ".bmp";
    ASSERT_TRUE(dir.exists(file)) << "no picture at pass " << route.shots[i].pass;
    const std::string got = fnv1a(dir.read(file));
    if (update) {
      route.lines[route.shots[i].line] = "shot " + std::to_string(route.shots[i].pass) + " " + got;
    } else {
      EXPECT_EQ(got, route.shots[i].hash) << name << ": the picture at pass " << route.shots[i].pass;
    }
  }
  if (!route.capture.empty()) {
    std::vector<std::string> captures;
    for (const auto& f : std::filesystem::directory_iterator(dir / "game"))
      if (f.path().extension() == ".bmp") captures.push_back("game/" + f.path().filename().string());
    ASSERT_EQ(captures.size(), 1u) << name << ": the screen capture is not in the game's folder";
    const std::string got = fnv1a(dir.read(captures[0]));
    if (update) route.lines[route.capture_line] = "capture " + got;
    else EXPECT_EQ(got, route.capture) << name << ": the screen capture";
  }
  const std::string sound = fnv1a(dir.read("out.wav"));
  if (update) {
    route.lines[route.audio_line] = "audio " + sound;
    std::ofstream out(routes_dir() + name + ".hashes", std::ios::trunc);
    for (const std::string& line : route.lines) out << line << "\n";
    ASSERT_TRUE(out.good()) << "cannot rewrite " << name << ".hashes";
  } else {
    EXPECT_EQ(sound, route.audio) << name << ": the sound of the run";
  }
}

TEST(RouteReplay, Promise) { replay("promise"); }
TEST(RouteReplay, Secret) { replay("secret"); }

}  // namespace
