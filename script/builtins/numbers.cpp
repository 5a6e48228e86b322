// Numbers, time, random numbers and arrays.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/engine.h"
#include "res/runtime.h"
#include "script/builtins/tables.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace rt {
namespace {

Progress rand_(Call& c) {
  int32_t n = c.int_arg(1);
  if (n == 0) {
    script_error(c.engine, msg::kRandomZero);
    c.ret_int(0);
    return Progress::Done;
  }
  int r = c.engine.random.next();
  c.ret_int(n == -1 ? 0 : r % n);
  return Progress::Done;
}

Progress rand_real(Call& c) {
  int r;
  do r = c.engine.random.next();
  while (r == base::Random::kMax);
  c.ret_float(static_cast<float>(r) / static_cast<float>(base::Random::kMax));
  return Progress::Done;
}

Progress timer(Call& c) {
  c.ret_int(static_cast<int32_t>(c.now()));
  return Progress::Done;
}

Progress timer_ratio(Call& c) {
  int32_t start = c.int_arg(1), duration = c.int_arg(2), value = c.int_arg(3);
  if (duration <= 0) {
    c.ret_int(value);
    return Progress::Done;
  }
  int64_t elapsed = std::llabs(static_cast<int64_t>(static_cast<int32_t>(c.now() - static_cast<uint32_t>(start))));
  elapsed = std::min<int64_t>(elapsed, duration);
  c.ret_int(static_cast<int32_t>(static_cast<int64_t>(value) * elapsed / duration));
  return Progress::Done;
}

// max and min: a float when either argument is one; a missing argument or
// one that is no number counts as 0. Each argument is read once: scripts
// call these in their inner loops.
template <typename Pick>
Progress pick(Call& c, Pick choose) {
  const Value zero = int_value(0);
  const Value* a = c.arg(1);
  const Value* b = c.arg(2);
  const Value& x = a ? *a : zero;
  const Value& y = b ? *b : zero;
  if (x.kind == kFloat || y.kind == kFloat) c.ret_float(choose(as_float(x), as_float(y)));
  else c.ret_int(choose(as_int(x), as_int(y)));
  return Progress::Done;
}

Progress max_(Call& c) {
  return pick(c, [](auto x, auto y) { return std::max(x, y); });
}

Progress min_(Call& c) {
  return pick(c, [](auto x, auto y) { return std::min(x, y); });
}

Progress abs_(Call& c) {
  const Value* a = c.arg(1);
  if (a && a->kind == kFloat) c.ret_float(std::fabs(a->f));
  else {
    int32_t v = c.int_arg(1);
    c.ret_int(v == INT32_MIN ? v : std::abs(v));
  }
  return Progress::Done;
}

constexpr double kDegrees = 0.017453292519444445;

Progress sin_(Call& c) {
  c.ret_float(static_cast<float>(std::sin(c.float_arg(1) * kDegrees)));
  return Progress::Done;
}
Progress cos_(Call& c) {
  c.ret_float(static_cast<float>(std::cos(c.float_arg(1) * kDegrees)));
  return Progress::Done;
}
Progress tan_(Call& c) {
  c.ret_float(static_cast<float>(std::tan(c.float_arg(1) * kDegrees)));
  return Progress::Done;
}

// int_array(A1[, A2[, A3]]): one size is the inner size, two are middle
// and inner, three are outer, middle and inner.
Progress make_array(Call& c, uint8_t kind) {
  int32_t sizes[3] = {1, 1, 1};
  int n = std::clamp(c.argc, 1, 3);
  for (int k = 0; k < n; ++k) sizes[3 - n + k] = c.int_arg(k + 1);
  if (sizes[0] < 1 || sizes[1] < 1 || sizes[2] < 1) script_error(c.engine, msg::kArraySizeBelowOne);
  c.ret_value(array_value(kind, new_array(c.engine, kind, sizes[0], sizes[1], sizes[2])));
  return Progress::Done;
}

Progress int_array(Call& c) { return make_array(c, kIntArray); }
Progress float_array(Call& c) { return make_array(c, kFloatArray); }
Progress string_array(Call& c) { return make_array(c, kStringArray); }
Progress int_array_empty(Call& c) {
  c.ret_value(default_value(c.engine, kIntArray));
  return Progress::Done;
}
Progress float_array_empty(Call& c) {
  c.ret_value(default_value(c.engine, kFloatArray));
  return Progress::Done;
}
Progress string_array_empty(Call& c) {
  c.ret_value(default_value(c.engine, kStringArray));
  return Progress::Done;
}

constexpr auto kTable = handler_table<Subsystem::script>({
    {"rand", rand_},
    {"rand_real", rand_real},
    {"timer", timer},
    {"timer_ratio", timer_ratio},
    {"max", max_},
    {"min", min_},
    {"abs", abs_},
    {"sin", sin_},
    {"cos", cos_},
    {"tan", tan_},
    {"int_array", int_array},
    {"float_array", float_array},
    {"string_array", string_array},
    {"int_array_empty", int_array_empty},
    {"float_array_empty", float_array_empty},
    {"string_array_empty", string_array_empty},
});

}  // namespace

std::span<const BuiltinEntry> number_builtins() { return kTable; }

}  // namespace rt
