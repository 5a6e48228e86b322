// The bytecode interpreter.
#pragma once

#include <cstdint>

#include "script/script_file.h"

namespace rt {

struct Engine;
struct Thread;

// Runs the current thread until the exit code becomes non-zero. A thread
// that ended is freed afterwards (thread 0 ending means: back to the title).
void run_thread(Engine& e);

// Resolves a function key to its code address; when no loaded script
// defines it, the error box repeats until the player cancels.
CodeAddress find_function(Engine& e, uint32_t key, CodeAddress current);

// The operation behind the return opcode, shared with the scheduler.
// Returns false when the thread gave up its turn (exit code set).
bool perform_return(Engine& e, Thread& t);

}  // namespace rt
