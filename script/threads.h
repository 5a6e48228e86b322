// Script threads, their call frames and value stacks, and event handlers.
//
// All script threads run cooperatively on the main thread. A thread runs
// until it gives up its turn; built-ins that need time report "not
// finished" and are called again on the thread's next turn.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "script/script_file.h"
#include "script/value.h"

namespace rt {

struct Engine;
struct Insn;
struct LoadedScript;
struct ReadMarkRecord;

inline constexpr int kMaxFrames = 256;
inline constexpr int kStackGrowth = 256;
// A value stack beyond this many values means a runaway script.
inline constexpr int kMaxStackValues = 1 << 22;

struct Frame {
  CodeAddress pc = 0;         // next instruction; 0 = none
  int32_t base = 0;           // stack index of local slot 0 (arguments lie below)
  int32_t stack_top = 0;      // used stack slots
  int32_t discard = 0;        // drop the callee's result on return
  int32_t line = 0;           // current source line
  CodeAddress left_target = 0, right_target = 0, middle_target = 0;
  CodeAddress escape_target = 0;
  CodeAddress exit_target = 0;
  uint32_t region_handlers[4] = {};  // decide, cancel, middle, keys
  ReadMarkRecord* read_marks = nullptr;
  bool read_marks_known = false;     // read_marks looked up (none when still null)
  uint32_t wait_deadline = 0;        // 0 not waiting; 0xFFFFFFFF without limit
  uint32_t wait_frame_count = 0;

  // Where the interpreter left off, valid while `script` is not reloaded.
  // Anything that moves `pc` from outside must use set_pc.
  const Insn* ip = nullptr;
  LoadedScript* script = nullptr;
  uint32_t code_generation = 0;

  void set_pc(CodeAddress address) {
    pc = address;
    ip = nullptr;
  }
  void clear_click_targets() { left_target = right_target = middle_target = 0; }

  // The same as `*this = Frame{}`, which compilers tend to turn into a slow
  // string instruction; returns do this every time, so that the frames
  // above a thread's depth are always clear. Sixteen bytes at a time: the
  // compiler writes each piece with one vector store. Every field's zero is
  // all zero bits.
  void clear() {
    auto* bytes = reinterpret_cast<unsigned char*>(this);
    zero_pieces(bytes, std::make_index_sequence<sizeof(Frame) / 16>{});
    if constexpr (sizeof(Frame) % 16 != 0) std::memset(bytes + sizeof(Frame) / 16 * 16, 0, sizeof(Frame) % 16);
  }

 private:
  template <size_t... K>
  static void zero_pieces(unsigned char* bytes, std::index_sequence<K...>) {
    (std::memset(bytes + 16 * K, 0, 16), ...);
  }
};
static_assert(std::is_trivially_copyable_v<Frame>);

// Per-thread data of other subsystems (font stack, click regions, ...).
struct ThreadExtension {
  virtual ~ThreadExtension() = default;
};
enum class ThreadSlot { fonts, regions, console, count };

enum ThreadState : int32_t {
  kRunning = 0,
  kAskedToEnd = 1,
  kRunningExitHandlers = 2,
  kExitHandlersDone = 3,
  kRunningRestart = 4,
  kEnded = -1,
};

struct Thread {
  Thread() = default;
  ~Thread();  // releases the values the thread still holds
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  int32_t id = 0;
  int32_t depth = 0;
  int32_t state = kRunning;
  Thread* linked = nullptr;            // ended together with the thread that made it
  std::vector<Value> vars;             // thread variables, scope 2
  std::vector<Value> stack;            // value stack; slot 0 holds a dummy int 0
  std::array<Frame, kMaxFrames> frames;
  CodeAddress restart_entry = 0;
  uint32_t latch_left = 0, latch_right = 0, latch_middle = 0;
  // Set during a turn by a wait that polls for something only an input
  // event or a composed frame can bring (a click, a release, the end of a
  // sprite's motion): the loop sleeps until that rather than until the
  // poll's deadline.
  enum class Poll : uint8_t { None, Input, Frame };
  Poll polls = Poll::None;
  std::array<std::unique_ptr<ThreadExtension>, static_cast<size_t>(ThreadSlot::count)> ext;

  Frame& frame() { return frames[depth]; }
  const Frame& frame() const { return frames[depth]; }
  int32_t top() const { return frames[depth].stack_top; }

  ThreadExtension* extension(ThreadSlot s) { return ext[static_cast<size_t>(s)].get(); }
  void set_extension(ThreadSlot s, std::unique_ptr<ThreadExtension> x) { ext[static_cast<size_t>(s)] = std::move(x); }
};

struct EventHandler {
  int32_t owner = 0;          // thread id
  bool permanent = false;
  uint32_t key = 0;           // event key
  CodeAddress address = 0;    // the handler function
};

// --- Thread operations ---------------------------------------------------------

// Creates a thread: id 0 for the main thread, -1 for the next free id.
Thread* create_thread(Engine& e, int32_t id);
Thread* find_thread(Engine& e, int32_t id);
bool thread_exists(Engine& e, const Thread* t);
void make_current(Engine& e, Thread* t);
void free_thread(Engine& e, Thread* t);
void free_all_threads(Engine& e);
// Opens a new frame on top (the process ends when the frame stack is full).
void push_frame(Engine& e, Thread& t);
// Back to one empty frame: values released, non-permanent handlers freed.
void reset_thread(Engine& e, Thread& t);

// --- Value stack ------------------------------------------------------------------

// Makes room for `extra` more values above the current top.
void grow_stack(Engine& e, Thread& t, int extra);
inline void reserve_stack(Engine& e, Thread& t, int extra) {
  if (static_cast<size_t>(t.frames[t.depth].stack_top) + static_cast<size_t>(extra) > t.stack.size())
    grow_stack(e, t, extra);
}
void push(Engine& e, Thread& t, Value v);  // takes over v's reference
void pop(Thread& t);                       // releases the top value
// Releases values [from, current top) and sets the top to `from`.
void drop_to(Thread& t, int32_t from);

// --- Events --------------------------------------------------------------------------

void add_handler(Engine& e, uint32_t key, uint32_t function_key, bool at_head);
void remove_handler(Engine& e, uint32_t key, uint32_t function_key);
// Injects a call of every handler of `key` into its owner thread (or into
// thread `to_thread` when >= 0), with the top `argc` values of the current
// stack as arguments. The arguments are taken off the stack; when
// `push_result`, an int 0 is pushed in their place.
void raise_event(Engine& e, uint32_t key, int argc, bool push_result, int32_t to_thread = -1);
void make_handlers_permanent(Engine& e);
void free_handlers(Engine& e, bool including_permanent);

}  // namespace rt
