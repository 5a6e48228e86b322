// The link to an external debugger, over a Unix-domain socket named on the
// command line (--debug=PATH). The debugger listens; the engine connects.
//
// debugger_protocol.h gives the messages; docs/debugger.md describes them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/unix_socket.h"
#include "script/debugger_protocol.h"

namespace rt {

struct Engine;
struct StringBlock;


struct Breakpoint {
  uint32_t script_key;
  uint32_t line;
};

struct Debugger {
  plat::UnixSocket socket;
  bool active = false;
  bool acked = false;
  bool stopped = false;
  std::vector<Breakpoint> breakpoints;  // at most 64
  int32_t watched_thread = -1;          // -1: every thread
  int32_t remembered_depth = -1;
  bool any_line = false, deeper = false, not_deeper = false;
  // Strings shown to the debugger while stopped, by the id sent in records.
  std::vector<StringBlock*> shown_strings;

  ~Debugger();
};

inline constexpr size_t kMaxBreakpoints = 64;

// Connects and greets the debugger (start-up); ends the process when it does
// not answer and the player gives up.
void debugger_start(Engine& e, const std::string& path);
void debugger_stop(Engine& e);
// Handles what the debugger sent; `wait_ms` as for a socket read.
void debugger_pump(Engine& e, int wait_ms);
// The line opcode: stops here when a breakpoint or a step says so.
void debugger_line(Engine& e);

}  // namespace rt
