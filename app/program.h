// The program: start-up, the run loop and shutdown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/options.h"

namespace rt {

struct Engine;

// Runs a game to its end and returns the process exit code (0-255).
int run_program(const Options& options);

// The three phases, for tests that drive an engine of their own.
// start_up returns an exit code when the program must end at once.
std::optional<int> start_up(Engine& e);
void run_loop(Engine& e);
void shut_down(Engine& e);

// Reads the environment file through the resource search. Returns 0, or -1
// when the file cannot be opened.
int env_load(Engine& e, std::string_view file_name);

// The reset before every pass of the run loop: a fresh thread 0, globals
// emptied, handlers that are not permanent freed, play modes off.
void reset_script_machine(Engine& e);

// The decoded-image cache's budget: half the available memory, between
// 4 MiB and 256 MiB (4 MiB when the amount is unknown).
uint32_t image_cache_budget(std::optional<uint64_t> available_memory);

}  // namespace rt
