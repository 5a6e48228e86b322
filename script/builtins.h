// Built-in functions: the services scripts call by 32-bit key.
//
// Every key, with its name, dispatch group and owning subsystem, is listed
// once in builtin_catalogue.def. Each subsystem registers handlers from its
// own files (tables of {"name", handler} rows, checked against the catalogue
// while compiling); at start-up the engine merges the tables into one
// dispatch table and refuses duplicates. A key nobody registered reports
// itself as undefined when a script calls it.
//
// Arguments lie on the calling thread's value stack, the first argument
// (A1) topmost. A handler reads them through `Call` and leaves one result.
// Groups: 1 manages the stack itself (calls, events), 2 may answer "not
// finished" and is called again on the thread's next turn (waits), 3
// finishes at once.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/threads.h"
#include "script/value.h"

namespace rt {

struct Engine;
struct Thread;
struct Frame;

// What a handler returns: finished, or (group 2 only) not finished yet.
enum class Progress { Done = 0, NotFinished = 1 };

class Call {
 public:
  // `top`: the top of the caller's stack, above the arguments.
  Call(Engine& e, Thread& t, uint32_t k, int n, bool d, int32_t top)
      : engine(e), thread(t), key(k), argc(n), discard(d), top_(top) {}

  Engine& engine;
  Thread& thread;
  const uint32_t key;
  const int argc;
  const bool discard;  // the result is dropped (syscall_discard)

  // Argument n (1 = the first, topmost); nullptr when the caller passed
  // fewer. The arguments stay where they were when the call began, whatever
  // the handler pushes or calls.
  const Value* arg(int n) const {
    if (n < 1 || n > argc) return nullptr;
    const int32_t slot = top_ - n;
    return slot >= 1 ? &thread.stack[slot] : nullptr;
  }
  Value* mutable_arg(int n) { return const_cast<Value*>(arg(n)); }
  bool has(int n) const { return n >= 1 && n <= argc; }
  int32_t int_arg(int n, int32_t fallback = 0) const {
    const Value* v = arg(n);
    return v && (v->kind == kInt || v->kind == kFloat) ? as_int(*v) : fallback;
  }
  float float_arg(int n, float fallback = 0.0f) const {
    const Value* v = arg(n);
    return v && (v->kind == kInt || v->kind == kFloat) ? as_float(*v) : fallback;
  }
  // "" when absent or not a string.
  std::string_view str_arg(int n) const;

  // The result (the last call wins; none leaves int 0).
  void ret_int(int32_t value) { ret_value(int_value(value)); }
  void ret_float(float value) { ret_value(float_value(value)); }
  void ret_string(std::string_view text);
  // Takes over the value's reference.
  void ret_value(Value value) {
    if (has_result_) release_result();
    result_kind_ = value.kind;
    result_raw_ = value.raw;
    has_result_ = true;
  }

  // The calling thread's current frame: group 2 handlers keep their state
  // in its wait deadline and wait frame count.
  Frame& frame();
  uint32_t now() const;  // the script clock

  // The built-in's name, for error texts ("name : ...").
  const char* name() const;

  // Used by dispatch.
  bool has_result() const { return has_result_; }
  Value take_result() {
    Value v;  // key 0, local
    v.kind = has_result_ ? result_kind_ : static_cast<uint8_t>(kInt);
    v.raw = has_result_ ? result_raw_ : 0;
    has_result_ = false;
    return v;
  }

 private:
  void release_result() {
    Value old = take_result();
    release(old);
  }

  // The result is kept as its kind and payload, each written and read back
  // whole: a Value assembled field by field and then read as a whole waits
  // for the writes to reach the cache, on every built-in call.
  uint64_t result_raw_ = 0;
  const int32_t top_;  // the stack's top above the arguments
  uint8_t result_kind_ = kInt;
  bool has_result_ = false;
};

// The common ending of a handler: an int result, finished.
inline Progress done(Call& c, int32_t result = 0) {
  c.ret_int(result);
  return Progress::Done;
}

using BuiltinHandler = Progress (*)(Call& call);

// The folder whose handler table carries a built-in.
enum class Subsystem : uint8_t { script, graphics, text, sound, persistence, shell, mahjong };

struct BuiltinInfo {
  uint32_t key;
  const char* name;
  uint8_t group;  // 1, 2 or 3
  Subsystem owner;
};

// The catalogue of every built-in, sorted by key.
inline constexpr BuiltinInfo kBuiltinCatalogue[] = {
#define QUOREL_BUILTIN(key, name, group, subsystem, args, result) \
  {key, name, group, Subsystem::subsystem},
#include "script/builtin_catalogue.def"
#undef QUOREL_BUILTIN
};

std::span<const BuiltinInfo> builtin_catalogue();
const BuiltinInfo* find_builtin_info(uint32_t key);
const BuiltinInfo* find_builtin_info(std::string_view name);

// The catalogue's row of a built-in named in a handler table. handler_table
// evaluates it while compiling: a name not in the catalogue does not build.
constexpr const BuiltinInfo& catalogue_row(std::string_view name) {
  for (const BuiltinInfo& b : kBuiltinCatalogue)
    if (name == b.name) return b;
  throw "not a built-in of the catalogue";  // stops the build at the row
}

// A handler table row: the built-in by name, and its handler.
struct BuiltinRow {
  const char* name;
  BuiltinHandler handler;
};

struct BuiltinEntry {
  uint32_t key;
  BuiltinHandler handler;
};

// A subsystem's handler table, its rows resolved against the catalogue while
// compiling: a misspelt name, or a built-in that the catalogue gives to
// another subsystem, does not build.
//   constexpr auto kTable = rt::handler_table<rt::Subsystem::sound>({
//       {"music_play", music_play}, ...});
template <Subsystem kOwner, size_t N>
consteval std::array<BuiltinEntry, N> handler_table(const BuiltinRow (&rows)[N]) {
  std::array<BuiltinEntry, N> table{};
  for (size_t i = 0; i < N; ++i) {
    const BuiltinInfo& info = catalogue_row(rows[i].name);
    if (info.owner != kOwner) throw "the catalogue gives this built-in to another subsystem";
    table[i] = {info.key, rows[i].handler};
  }
  return table;
}

}  // namespace rt
