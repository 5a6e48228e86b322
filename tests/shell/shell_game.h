// A game of 640 × 480 pixels that the player shell's tests drive with an
// input file, and what they share about the picture the player sees.
#pragma once

#include <string>
#include <vector>

#include "tests/support/script_game.h"

namespace testing_support {

inline constexpr char kShellGameEnv[] = "CLIENT_WIDTH 640\nCLIENT_HEIGHT 480\n";

// The menu bar's rows above the game's picture in what the player sees.
inline constexpr int kMenuBand = 20;

// Fills the whole front buffer with a colour (an 0x00BBGGRR number).
inline std::string fill_front_buffer(const std::string& colour) {
  return "    push_i " + colour + R"(
    push_i 480
    push_i 640
    push_i 0
    push_i 0
    syscall get_frontbuffer, 0
    syscall_discard grp_boxfill, 6
)";
}

// The game's last lines: it waits until the run's pass limit ends it.
inline constexpr char kWaitForever[] = R"(
wait_on:
    push_i 1000
    syscall_discard wait, 1
    jmp wait_on
)";

// Writes `input` as the run's input file and runs the game on a virtual
// clock of 16 ms for `frames` passes, with `options` added.
inline GameRun play_input(ScriptGame& game, const std::string& input, int frames,
                          std::vector<std::string> options = {}) {
  game.file("input.txt", input);
  options.insert(options.begin(),
                 {"--virtual-clock=16", "--max-frames=" + std::to_string(frames), "--input=" + (game.dir / "input.txt")});
  return game.run(options);
}

}  // namespace testing_support
