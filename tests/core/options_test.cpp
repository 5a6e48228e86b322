#include "core/options.h"

#include <gtest/gtest.h>

namespace {

rt::ParseResult parse(std::vector<const char*> args) {
  args.insert(args.begin(), "quorel");
  return rt::parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, EveryOption) {
  auto r = parse({"--headless", "--answer=retry", "--virtual-clock=16", "--max-frames=100", "--seed=42",
                  "--screenshot=a.png", "--audio-out=o.wav", "--input=in.txt", "--settings=s.ini", "--fullscreen",
                  "--scale=2", "--filter=linear", "--renderer=software", "--debug=/tmp/s", "--trace=script,sound", "--no-fast-loop",
                  "--text-hook=unix:/run/r.sock", "--speak", "game"});
  ASSERT_EQ(r.action, rt::ParseResult::Action::Run) << r.error;
  const rt::Options& o = r.options;
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.answer, plat::Answer::Retry);
  EXPECT_EQ(o.virtual_clock, 16u);
  EXPECT_EQ(o.max_frames, 100u);
  EXPECT_EQ(o.seed, 42u);
  EXPECT_EQ(o.screenshot, "a.png");
  EXPECT_EQ(o.audio_out, "o.wav");
  EXPECT_EQ(o.input, "in.txt");
  EXPECT_EQ(o.settings, "s.ini");
  EXPECT_EQ(o.fullscreen, true);
  EXPECT_EQ(o.scale, 2);
  EXPECT_EQ(o.filter, rt::Filter::Linear);
  EXPECT_EQ(o.renderer, plat::Renderer::Software);
  EXPECT_FALSE(parse({}).options.renderer) << "the saved choice, or auto";
  EXPECT_FALSE(parse({}).options.scale);
  EXPECT_EQ(parse({"--renderer=gpu"}).options.renderer, plat::Renderer::Gpu);
  EXPECT_EQ(o.debug_socket, "/tmp/s");
  EXPECT_EQ(o.trace, (std::vector<std::string>{"script", "sound"}));
  EXPECT_EQ(parse({"--trace=,script,,sound,"}).options.trace, (std::vector<std::string>{"script", "sound"}))
      << "empty names in the list are passed over";
  EXPECT_EQ(parse({"--scale=8"}).options.scale, 8);
  EXPECT_FALSE(o.fast_loop);
  EXPECT_TRUE(parse({}).options.fast_loop);
  EXPECT_EQ(o.game_dir, "game");
  // Accessibility: a hook path taken as written, and both off unless asked for.
  EXPECT_EQ(o.text_hook, "unix:/run/r.sock");
  EXPECT_TRUE(o.speak);
  EXPECT_TRUE(parse({}).options.text_hook.empty());
  EXPECT_FALSE(parse({}).options.speak);
  EXPECT_EQ(parse({"--fullscreen", "--window"}).options.fullscreen, false);
  // Pictures at passes, in the order given; a file name may hold a colon.
  const auto at = parse({"--screenshot-at=30:a.bmp", "--screenshot-at=7:c:/b.png"}).options.screenshots_at;
  ASSERT_EQ(at.size(), 2u);
  EXPECT_EQ(at[0].pass, 30u);
  EXPECT_EQ(at[0].file, "a.bmp");
  EXPECT_EQ(at[1].pass, 7u);
  EXPECT_EQ(at[1].file, "c:/b.png");
}

TEST(CommandLine, BadInputIsAnError) {
  for (auto args : std::vector<std::vector<const char*>>{{"--bogus"},
                                                         {"--answer=maybe"},
                                                         {"--virtual-clock=-1"},
                                                         {"--virtual-clock="},
                                                         {"--max-frames=x"},
                                                         {"--scale=0"},
                                                         {"--scale=9"},
                                                         {"--filter=cubic"},
                                                         {"--renderer=vulkan"},
                                                         {"--headless=1"},
                                                         {"--screenshot"},
                                                         {"--screenshot-at=a.bmp"},
                                                         {"--screenshot-at=12:"},
                                                         {"--screenshot-at=x:a.bmp"},
                                                         {"--trace=script,colour"},
                                                         {"a", "b"}}) {
    auto r = parse(args);
    EXPECT_EQ(r.action, rt::ParseResult::Action::Error) << args[0];
    EXPECT_FALSE(r.error.empty());
  }
  // The accessibility options say what is wrong with them.
  for (auto [arg, message] : std::vector<std::pair<const char*, const char*>>{
           {"--text-hook", "bad value for --text-hook: ''"},
           {"--text-hook=", "bad value for --text-hook: ''"},
           {"--speak=1", "--speak takes no value"},
           {"--speak=", "--speak takes no value"}}) {
    auto r = parse({arg});
    EXPECT_EQ(r.action, rt::ParseResult::Action::Error) << arg;
    EXPECT_EQ(r.error, message) << arg;
  }
  EXPECT_EQ(parse({"--help"}).action, rt::ParseResult::Action::Help);
  EXPECT_EQ(parse({"--version"}).action, rt::ParseResult::Action::Version);
}

TEST(CommandLine, UsageDocumentsEveryOption) {
  std::string usage = rt::usage_text();
  for (const char* option : {"--headless", "--answer", "--virtual-clock", "--max-frames", "--seed", "--screenshot",
                             "--audio-out", "--input", "--settings", "--fullscreen", "--window", "--scale",
                             "--filter", "--renderer", "--screenshot-presented", "--screenshot-at", "--debug", "--text-hook", "--speak", "--trace", "--no-fast-loop", "--version", "--help"})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
