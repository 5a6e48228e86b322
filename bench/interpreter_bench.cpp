// The interpreter beside Lua 5.4, on the same five programs: an integer
// loop, recursive Fibonacci, building a long string piece by piece, filling
// and summing an array, and calling a built-in many times. Each program is
// written the way a compiler would write it for its machine: a compiled
// script for Quorel, ordinary Lua for Lua.
#include <lua.hpp>

#include <memory>
#include <stdexcept>
#include <string>

#include "base/crc32.h"
#include "bench/bench_support.h"
#include "core/engine.h"
#include "platform/files.h"
#include "resources/resources.h"
#include "script/interpreter.h"
#include "script/script_machine.h"
#include "tools/asm/assembler.h"

namespace {

// --- Quorel ------------------------------------------------------------------

const char kScript[] = R"(
; sum = 0 + 1 + ... + 9,999,999 (wrapping to 32 bits)
.function $sum@GLOBAL
    .local _i, 0
    .local _s, 1
    alloc_locals i, i
loop:
    load i _i
    push_i 10000000
    lt_i
    jmp_false done
    load i _i
    add_st_i_pop _s
    push_i 1
    add_st_i_pop _i
    jmp loop
done:
    load i _s
    st_i_pop @result
    return

.function $fib_main@GLOBAL
    push_i 27
    call_fn $fib@GLOBAL, 1
    st_i_pop @result
    return

.function $fib@GLOBAL
    .local _n, -2
    load i _n
    push_i 2
    lt_i
    jmp_false recurse
    load i _n
    return
recurse:
    load i _n
    push_i 1
    minus_i
    call_fn $fib@GLOBAL, 1
    load i _n
    push_i 2
    minus_i
    call_fn $fib@GLOBAL, 1
    add_i
    return

; s = "" .. "ab" .. "ab" .. ... (100,000 pieces)
.function $concat@GLOBAL
    .local _i, 0
    .local _s, 1
    alloc_locals i, s
cloop:
    load i _i
    push_i 100000
    lt_i
    jmp_false cdone
    push_s "ab"
    add_st_s_pop _s
    push_i 1
    add_st_i_pop _i
    jmp cloop
cdone:
    load s _s
    syscall strlen, 1
    st_i_pop @result
    return

; a = int_array(1,000,000); a[i] = i; sum them
.function $array@GLOBAL
    .local _i, 0
    .local _s, 1
    .local _a, 2
    alloc_locals i, i, ia
    push_i 1000000
    syscall int_array, 1
    st_ref_ia_pop _a
fill:
    load i _i
    push_i 1000000
    lt_i
    jmp_false summed
    load i _i
    load i _i
    ast_i_pop _a[1]
    push_i 1
    add_st_i_pop _i
    jmp fill
summed:
    push_i 0
    st_i_pop _i
sum2:
    load i _i
    push_i 1000000
    lt_i
    jmp_false adone
    load i _i
    load_elem i _a[1]
    add_st_i_pop _s
    push_i 1
    add_st_i_pop _i
    jmp sum2
adone:
    load i _s
    st_i_pop @result
    return

; 100,000 calls of the built-in max
.function $builtins@GLOBAL
    .local _i, 0
    .local _s, 1
    alloc_locals i, i
bloop:
    load i _i
    push_i 100000
    lt_i
    jmp_false bdone
    load i _i
    push_i 7
    syscall max, 2
    add_st_i_pop _s
    push_i 1
    add_st_i_pop _i
    jmp bloop
bdone:
    load i _s
    st_i_pop @result
    return
)";

class Quorel {
 public:
  Quorel() {
    auto assembled = quorel_asm::assemble(kScript, "bench");
    if (!assembled.ok()) throw std::runtime_error(assembled.errors[0].message);
    dir_ = plat::temp_directory() + "/quorel-bench-XXXXXX";
    if (!mkdtemp(dir_.data())) throw std::runtime_error("mkdtemp");
    plat::make_directories(dir_ + "/data");
    plat::write_file_atomic(dir_ + "/data/bench.mjo", std::span<const uint8_t>(assembled.object));
    rt::Options o;
    o.game_dir = dir_;
    o.headless = true;
    e_ = std::make_unique<rt::Engine>(o, plat::make_headless_host(plat::Answer::Retry));
    res::register_startup_folders(*e_);
    rt::load_script(*e_, "bench");
  }
  ~Quorel() {
    e_.reset();
    plat::remove_file(dir_ + "/data/bench.mjo");
    plat::remove_file(dir_ + "/data");
  }

  // Runs a function to its end on a fresh thread; returns @result.
  int32_t run(const char* function) {
    rt::Thread* t = rt::create_thread(*e_, -1);
    rt::push(*e_, *t, rt::int_value(0));
    t->frame().base = t->frame().stack_top;
    t->frame().set_pc(rt::lookup_function(*e_, base::crc32(function), 0));
    while (rt::thread_exists(*e_, t) && t->state == rt::kRunning) {
      rt::make_current(*e_, t);
      rt::run_thread(*e_);
    }
    if (rt::thread_exists(*e_, t)) rt::free_thread(*e_, t);
    rt::Value* v = rt::find_variable_by_name(*e_, "@result");
    return v ? v->i : -1;
  }

 private:
  std::string dir_;
  std::unique_ptr<rt::Engine> e_;
};

// --- Lua ---------------------------------------------------------------------------

const char kLua[] = R"(
function sum()
  local s = 0
  for i = 0, 9999999 do s = s + i end
  return s
end
function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end
function concat()
  local s = ""
  for i = 1, 100000 do s = s .. "ab" end
  return #s
end
function array()
  local a = {}
  for i = 1, 1000000 do a[i] = i - 1 end
  local s = 0
  for i = 1, 1000000 do s = s + a[i] end
  return s
end
function builtins()
  local s = 0
  local max = math.max
  for i = 0, 99999 do s = s + max(i, 7) end
  return s
end
)";

class Lua {
 public:
  Lua() : L_(luaL_newstate()) {
    luaL_openlibs(L_);
    if (luaL_dostring(L_, kLua) != LUA_OK) throw std::runtime_error(lua_tostring(L_, -1));
  }
  ~Lua() { lua_close(L_); }
  long long run(const char* function, int arg = -1) {
    lua_getglobal(L_, function);
    int n = 0;
    if (arg >= 0) lua_pushinteger(L_, arg), n = 1;
    lua_call(L_, n, 1);
    long long r = lua_tointeger(L_, -1);
    lua_pop(L_, 1);
    return r;
  }

 private:
  lua_State* L_;
};

Quorel& quorel() {
  static Quorel q;
  return q;
}
Lua& lua() {
  static Lua l;
  return l;
}

void BM_quorel(benchmark::State& state, const char* function) {
  int32_t r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(r = quorel().run(function));
  state.counters["result"] = r;
}

void BM_lua(benchmark::State& state, const char* function, int arg) {
  long long r = 0;
  for (auto _ : state) benchmark::DoNotOptimize(r = lua().run(function, arg));
  state.counters["result"] = static_cast<double>(static_cast<int32_t>(r));
}

BENCHMARK_CAPTURE(BM_quorel, sum, "$sum@GLOBAL")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_lua, sum, "sum", -1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_quorel, fib, "$fib_main@GLOBAL")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_lua, fib, "fib", 27)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_quorel, concat, "$concat@GLOBAL")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_lua, concat, "concat", -1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_quorel, array, "$array@GLOBAL")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_lua, array, "array", -1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_quorel, builtins, "$builtins@GLOBAL")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_lua, builtins, "builtins", -1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench_support::run_and_compare(argc, argv,
                                        {{"interpreter_sum_loop", "BM_quorel/sum", "BM_lua/sum"},
                                         {"interpreter_fib27", "BM_quorel/fib", "BM_lua/fib"},
                                         {"interpreter_string_building", "BM_quorel/concat", "BM_lua/concat"},
                                         {"interpreter_array_fill_sum", "BM_quorel/array", "BM_lua/array"},
                                         {"interpreter_builtin_calls", "BM_quorel/builtins", "BM_lua/builtins"}});
}
