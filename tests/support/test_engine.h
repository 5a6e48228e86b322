// An engine for unit tests: headless, on a game folder of the test's own.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/engine.h"
#include "platform/host.h"

namespace testing_support {

std::unique_ptr<rt::Engine> make_engine(const std::string& game_dir,
                                        std::optional<plat::Answer> answer = plat::Answer::Retry);

}  // namespace testing_support
