// Executes arbitrary bytecode with a step limit: every operand, handle and
// stack access must be checked, and a program that never yields must still
// come to an end.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>

#include "core/engine.h"
#include "platform/files.h"
#include "resources/resources.h"
#include "script/dispatch.h"
#include "script/scheduler.h"
#include "script/script_machine.h"
#include "script/translate.h"

namespace {

rt::BuiltinSlot& slot(rt::Engine& e, const char* name) {
  const rt::BuiltinInfo* info = rt::find_builtin_info(std::string_view(name));
  return e.vm->builtins[static_cast<size_t>(info - rt::builtin_catalogue().data())];
}

// The watchdog bounds how often a loop turns, not what a turn costs: a loop
// that made a 200 MB array at each of its 1,024 turns ran for 20 seconds,
// and one making string arrays of a million strings would run for minutes.
// Here arrays of more than 4,096 elements are refused as memory running
// out, the engine's own answer to an array it cannot allocate; smaller ones
// are made by the engine's own built-ins.
constexpr int64_t kMostElements = 4096;
constexpr const char* kArrayMakers[] = {"int_array", "float_array", "string_array"};
rt::BuiltinHandler engine_array_makers[3];

template <int Kind>
rt::Progress small_array(rt::Call& c) {
  const int n = std::clamp(c.argc, 1, 3);
  int64_t count = 1;
  for (int k = 1; k <= n; ++k) {
    const int64_t size = c.int_arg(k);
    if (size < 1) return engine_array_makers[Kind](c);  // reported; an array without elements
    count *= std::min(size, kMostElements + 1);
  }
  if (count > kMostElements) throw std::bad_alloc();
  return engine_array_makers[Kind](c);
}

void arm_for_fuzzing(rt::Engine& e) {
  // Built-ins that reach outside the process stay out of the fuzzer.
  for (const char* name : {"shell_open", "set_wallpaper", "reg_set_int", "reg_set_string",
                           "set_fast_mode_read_only"})
    slot(e, name).handler = nullptr;
  const rt::BuiltinHandler small[] = {small_array<0>, small_array<1>, small_array<2>};
  for (int k = 0; k < 3; ++k) {
    rt::BuiltinSlot& maker = slot(e, kArrayMakers[k]);
    engine_array_makers[k] = maker.handler;
    maker.handler = small[k];
  }
}

}  // namespace

// A program may ask for a string as large as the games' 32-bit machines
// could ever have held (2 GB), and the engine allows it. Here such blocks
// are refused like memory running out, which the engine answers with its
// out-of-memory box, so that they neither exhaust the fuzzer's memory limit
// nor spend its time copying gigabytes.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=256:allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    std::string d = plat::temp_directory() + "/quorel-fuzz-exec";
    plat::make_directories(d);
    return d;
  }();
  rt::Options o;
  o.game_dir = dir;
  o.headless = true;
  o.answer = plat::Answer::Cancel;  // every error box ends the run at once
  o.virtual_clock = 16;
  o.max_frames = 4;
  rt::Engine e(o, plat::make_headless_host(plat::Answer::Cancel));
  arm_for_fuzzing(e);
  e.mode = rt::Mode::Release;  // script errors are silent
  e.vm->instruction_budget = 1;       // watchdog rounds before a forced stop
  e.vm->watchdog_period = 1u << 10;   // 1,024 back jumps to a round, not 65,536: loops end sooner

  // The input is the code block of one script with two functions.
  auto script = std::make_unique<rt::LoadedScript>();
  script->name = "FUZZ.MJO";
  script->code.assign(data, data + size);
  script->functions = {{0x11111111, 0}, {0x22222222, static_cast<uint32_t>(size / 2)}};
  script->entry_point = 0;
  script->base = e.vm->files.next_base;
  e.vm->files.next_base += static_cast<uint32_t>((size + 16) & ~size_t{15});
  std::vector<uint32_t> entries = {0, static_cast<uint32_t>(size / 2)};
  script->decoded = rt::decode_code(script->code, entries);
  rt::LoadedScript* s = script.get();
  e.vm->files.list.push_back(std::move(script));

  try {
    rt::make_current(e, rt::create_thread(e, 0));
    e.vm->current->frame().set_pc(s->base);
    rt::run_scheduler(e);
  } catch (const rt::ProcessExit&) {
  } catch (const std::bad_alloc&) {
    // An array or string larger than the games' machines could hold: the
    // program ends with its out-of-memory box, as run_program does.
  }
  return 0;
}
