// The dispatch table of built-ins and the syscall operation.
#pragma once

#include <span>
#include <vector>

#include "script/builtins.h"

namespace rt {

struct Engine;
struct Thread;
struct Insn;

enum class DispatchResult {
  Done,
  Again,  // not finished: the same call on the thread's next turn
  Freed,  // the built-in freed the calling thread
};

// Fills the engine's dispatch table from the catalogue and every
// subsystem's handler table. Throws std::logic_error on a key registered
// twice or missing from the catalogue (a programming error).
void build_dispatch_table(Engine& e, std::span<const std::span<const BuiltinEntry>> tables);
void register_builtins(Engine& e, std::span<const BuiltinEntry> table);

// Executes syscall / syscall_discard for the instruction.
DispatchResult dispatch_builtin(Engine& e, Thread& t, Insn& in, bool discard);

// dispatch_builtin for a syscall whose built-in the instruction already
// knows, registered and finishing at once (group 3): the interpreter's
// common case, without the lookups and the other groups' cases. `top` is
// the current frame's stack top, as the caller has just stored it.
DispatchResult call_at_once(Engine& e, Thread& t, const Insn& in, int32_t top, bool discard);

// Calls a built-in by key from native code with arguments already pushed
// (tests and tools). Returns the dispatch result.
DispatchResult call_builtin(Engine& e, uint32_t key, int argc, bool discard);

}  // namespace rt
