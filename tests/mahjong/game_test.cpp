// Whole hands between four computer players, driven by a start script
// through the mahjong built-ins: run in-process to check the play against
// the engine's wall, and by the real program to check that a seed replays
// the same game.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

#include "app/program.h"
#include "core/engine.h"
#include "mahjong/evaluate.h"
#include "mahjong/state.h"
#include "platform/host.h"
#include "tests/mahjong/game_script.h"
#include "tests/support/script_game.h"

namespace {

using testing_support::ScriptGame;

struct Line {
  std::string tag;
  std::vector<int> values;
};

// The debug log as records: each line's first word and its numbers.
std::vector<Line> parse_log(const std::string& log) {
  std::vector<Line> out;
  std::istringstream in(log);
  std::string text;
  while (std::getline(in, text)) {
    std::istringstream words(text);
    std::string stamp;
    Line line;
    words >> stamp >> line.tag;  // "YYMMDD_HHMM TAG values..."
    for (int v; words >> v;) line.values.push_back(v);
    out.push_back(line);
  }
  return out;
}

struct Hand {
  std::vector<int> tiles;  // every tile out of the wall at its end
  int wins = 0, calls = 0, draws = 0;
};

// Checks every hand of a game log; returns the hands.
std::vector<Hand> check_game(const std::vector<Line>& log) {
  std::vector<Hand> hands;
  for (size_t i = 0; i < log.size(); ++i) {
    const Line& l = log[i];
    if (l.tag == "HAND") hands.emplace_back();
    if (hands.empty()) continue;
    Hand& h = hands.back();
    if (l.tag == "T") h.tiles.push_back(l.values.at(0));
    if (l.tag == "CALL") ++h.calls;
    if (l.tag == "DRAW") ++h.draws;
    if (l.tag == "SCORES") {
      int total = 0;
      for (int v : l.values) total += v;
      EXPECT_EQ(total, 1000) << "points change hands, none appear or vanish";
    }
    if (l.tag == "WIN") {
      ++h.wins;
      EXPECT_GT(l.values.at(2), 0) << "a win pays";
      const Line& tiles = log.at(i + 1);
      EXPECT_EQ(tiles.tag, "TILES");
      EXPECT_EQ(tiles.values.size(), 28u);
      mj::MjHand winner;
      for (int k = 0; k < 14; ++k) {
        winner.hand[k] = tiles.values.at(k);
        winner.meld_flags[k] = tiles.values.at(14 + k);
      }
      EXPECT_GT(mj::MjIsComplete(winner), 0) << "every win is a winning hand";
    }
  }
  for (size_t n = 0; n < hands.size(); ++n) {
    SCOPED_TRACE(testing::Message() << "hand " << n);
    const Hand& h = hands[n];
    EXPECT_EQ(h.wins + h.draws, 1) << "each hand ends once";
    std::map<int, int> values, codes;
    for (int v : h.tiles) {
      EXPECT_TRUE(mj::is_tile_value(v)) << v;
      EXPECT_EQ(++values[v], 1) << "tile " << v << " is in two places";
      EXPECT_LE(++codes[v / 10], 4) << "a fifth copy of " << v / 10;
    }
  }
  return hands;
}

std::string log_without_stamps(const std::string& log) {
  std::string out;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) out += line.substr(line.find(' ') + 1) + "\n";
  return out;
}

TEST(Game, ComputerPlayersPlayLegally) {
  struct Run {
    int players;
    uint32_t seed;
  };
  for (Run run : {Run{4, 1}, Run{4, 20061205}, Run{3, 2}, Run{2, 3}}) {
    SCOPED_TRACE(testing::Message() << run.players << " players, seed " << run.seed);
    ScriptGame game;
    mj_test::GameOptions options;
    options.players = run.players;
    options.hands = 6;
    game.script("start", mj_test::mahjong_game_script(options));

    rt::Options o;
    o.game_dir = game.dir.path();
    o.headless = true;
    o.answer = plat::Answer::Retry;
    o.virtual_clock = 10;
    o.max_frames = 100;
    o.seed = run.seed;
    o.settings = game.dir / "settings.ini";
    rt::Engine e(o, plat::make_headless_host(o.answer));
    ASSERT_FALSE(rt::start_up(e).has_value());
    try {
      rt::run_loop(e);
      ADD_FAILURE() << "the script ends the program";
    } catch (const rt::ProcessExit& exit) {
      EXPECT_EQ(exit.code, 0);
    }

    std::vector<Line> log = parse_log(game.dir.read("debugout.log"));
    for (const Line& l : log) ASSERT_NE(l.tag, "START.MJO(0)") << "no error reports";
    std::vector<Hand> hands = check_game(log);
    ASSERT_EQ(hands.size(), 6u);

    // The last hand against the wall: what left it is what the table shows.
    const mj::Wall& wall = e.mahjong->wall;
    const Hand& last = hands.back();
    EXPECT_EQ(static_cast<int>(last.tiles.size()), wall.next_index());
    std::map<int, int> out;
    for (int v : last.tiles) ++out[v / 10];
    for (int code = 1; code < mj::kCodeCount; ++code)
      EXPECT_EQ(out[code] + wall.unseen(code), wall.copies_of(code)) << "code " << code;

    int wins = 0, calls = 0;
    for (const Hand& h : hands) wins += h.wins, calls += h.calls;
    EXPECT_GT(wins, 0);
    if (run.players > 2) {
      EXPECT_GT(calls, 0);
    }
    if (run.players == 3) {
      for (const Hand& h : hands)
        for (int v : h.tiles) EXPECT_FALSE(v / 10 >= 2 && v / 10 <= 8) << "characters 2-8 in a three-player game";
    }
  }
}

TEST(Game, ASeedReplaysTheSameGame) {
  ScriptGame game;
  game.script("start", mj_test::mahjong_game_script());
  auto play = [&](const char* seed) {
    testing_support::GameRun r = game.run({"--seed=" + std::string(seed), "--answer=retry"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(r.boxes.empty()) << r.boxes.front();
    std::string log = log_without_stamps(game.dir.read("debugout.log"));
    game.dir.write("debugout.log", "");
    return log;
  };
  std::string first = play("77"), again = play("77"), other = play("78");
  EXPECT_NE(first.find("SCORES"), std::string::npos);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
}

}  // namespace
