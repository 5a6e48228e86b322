#include "tests/support/test_engine.h"

namespace testing_support {

std::unique_ptr<rt::Engine> make_engine(const std::string& game_dir, std::optional<plat::Answer> answer) {
  rt::Options options;
  options.game_dir = game_dir;
  options.headless = true;
  options.answer = answer;
  options.virtual_clock = 10;
  return std::make_unique<rt::Engine>(options, plat::make_headless_host(answer));
}

}  // namespace testing_support
