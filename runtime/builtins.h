// Built-in functions: the services scripts call by 32-bit key.
//
// Every key, with its name and dispatch group, is listed once in
// builtin_catalogue.def. Each subsystem registers handlers for its keys from
// its own file (a table of {key, handler} rows); at start-up the engine
// merges the tables into one dispatch table and refuses duplicates. A key
// nobody registered reports itself as undefined when a script calls it.
//
// Arguments lie on the calling thread's value stack, the first argument
// (A1) topmost. A handler reads them through `Call` and leaves one result.
// Groups: 1 manages the stack itself (calls, events), 2 may answer "not
// finished" and is called again on the thread's next turn (waits), 3
// finishes at once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace rt {

struct Engine;
struct Thread;
struct Frame;

// What a handler returns: finished, or (group 2 only) not finished yet.
enum class Progress { Done = 0, NotFinished = 1 };

class Call {
 public:
  Call(Engine& e, Thread& thread, uint32_t key, int argc, bool discard);

  Engine& engine;
  Thread& thread;
  const uint32_t key;
  const int argc;
  const bool discard;  // the result is dropped (syscall_discard)

  // Argument n (1 = the first, topmost); nullptr when the caller passed fewer.
  const Value* arg(int n) const;
  Value* mutable_arg(int n);
  bool has(int n) const { return n >= 1 && n <= argc; }
  int32_t int_arg(int n, int32_t fallback = 0) const;
  float float_arg(int n, float fallback = 0.0f) const;
  // "" when absent or not a string.
  std::string_view str_arg(int n) const;

  // The result (the last call wins; none leaves int 0).
  void ret_int(int32_t value);
  void ret_float(float value);
  void ret_string(std::string_view text);
  // Takes over the value's reference.
  void ret_value(Value value);

  // The calling thread's current frame: group 2 handlers keep their state
  // in its wait deadline and wait frame count.
  Frame& frame();
  uint32_t now() const;  // the script clock

  // The built-in's name, for error texts ("name : ...").
  const char* name() const;

  // Used by dispatch.
  bool has_result() const { return has_result_; }
  Value take_result();

 private:
  Value result_;
  bool has_result_ = false;
};

using BuiltinHandler = Progress (*)(Call& call);

struct BuiltinEntry {
  uint32_t key;
  BuiltinHandler handler;
};

enum class Subsystem : uint8_t { runtime, resources, graphics, text, sound, persistence, shell, mahjong };

struct BuiltinInfo {
  uint32_t key;
  const char* name;
  uint8_t group;  // 1, 2 or 3
  Subsystem owner;
};

// The catalogue of every built-in, sorted by key.
std::span<const BuiltinInfo> builtin_catalogue();
const BuiltinInfo* find_builtin_info(uint32_t key);
const BuiltinInfo* find_builtin_info(std::string_view name);

}  // namespace rt
