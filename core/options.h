// The program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"

namespace rt {

enum class Filter { Nearest, Linear };

struct Options {
  std::string game_dir;                    // empty: the current directory
  bool headless = false;
  std::optional<plat::Answer> answer;      // message-box answer (headless)
  std::optional<uint32_t> virtual_clock;   // ms per scheduler pass
  std::optional<uint64_t> max_frames;      // scheduler passes before a normal shutdown
  std::optional<uint32_t> seed;
  std::string screenshot;                  // .bmp or .png, written at exit
  std::string screenshot_presented;        // the same, of what the player sees
  // --screenshot-at=FRAME:FILE (repeatable): what the player sees once that
  // many scheduler passes are done.
  struct TimedShot {
    uint64_t pass = 0;
    std::string file;
  };
  std::vector<TimedShot> screenshots_at;
  std::string audio_out;                   // .wav, headless mixer output
  std::string input;                       // timed input events (headless)
  std::string settings;                    // settings file in place of the per-user one
  std::optional<bool> fullscreen;          // --fullscreen / --window
  // None: the player's saved choice (the settings file's own section), else the default.
  std::optional<int> scale;
  std::optional<Filter> filter;
  std::optional<plat::Renderer> renderer;
  std::string debug_socket;                // debugger link
  // Accessibility: where each line of story text goes as JSON (a file, or
  // unix:PATH), and self-voicing from the start.
  std::string text_hook;
  bool speak = false;
  std::vector<std::string> trace;          // debug channels written to stderr
  bool fast_loop = true;                   // --no-fast-loop: every instruction in the general loop
  std::string lang = "ja";                 // the engine's own texts: "ja" (as designed) or "en"
};

struct ParseResult {
  enum class Action { Run, Help, Version, Error } action = Action::Run;
  Options options;
  std::string error;  // for Action::Error
};

ParseResult parse_command_line(int argc, const char* const* argv);
std::string usage_text();
std::string version_text();

}  // namespace rt
