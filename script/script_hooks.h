// Script hooks: functions of the game's scripts that the runtime calls by
// key (console events, menu requests). A hook runs like an event handler:
// a frame is opened on top of whatever the thread is doing, and when the
// function returns, its result is dropped and the thread goes on there.
#pragma once

#include <cstdint>
#include <span>

#include "script/value.h"

namespace rt {

struct Engine;
struct Thread;

// Opens the frame of function `key` on thread t with the arguments (first
// argument first) and their count. The function runs when the thread runs
// on; an unknown key is reported as every unknown function is.
void call_script_hook(Engine& e, Thread& t, uint32_t key, std::span<const Value> args = {});

}  // namespace rt
