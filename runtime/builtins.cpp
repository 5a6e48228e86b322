// The built-in catalogue and the argument and result access of `Call`.
#include "runtime/builtins.h"

#include <algorithm>
#include <array>

#include "runtime/engine.h"
#include "runtime/script_machine.h"

namespace rt {
namespace {

constexpr BuiltinInfo kCatalogue[] = {
#define QUOREL_BUILTIN(key, name, group, subsystem) {key, name, group, Subsystem::subsystem},
#include "runtime/builtin_catalogue.def"
#undef QUOREL_BUILTIN
};

constexpr bool catalogue_sorted() {
  for (size_t i = 1; i < std::size(kCatalogue); ++i)
    if (kCatalogue[i - 1].key >= kCatalogue[i].key) return false;
  return true;
}
static_assert(catalogue_sorted(), "builtin_catalogue.def must be sorted by key, without duplicates");

}  // namespace

std::span<const BuiltinInfo> builtin_catalogue() { return kCatalogue; }

const BuiltinInfo* find_builtin_info(uint32_t key) {
  auto it = std::lower_bound(std::begin(kCatalogue), std::end(kCatalogue), key,
                             [](const BuiltinInfo& b, uint32_t k) { return b.key < k; });
  return it != std::end(kCatalogue) && it->key == key ? &*it : nullptr;
}

const BuiltinInfo* find_builtin_info(std::string_view name) {
  for (const BuiltinInfo& b : kCatalogue)
    if (name == b.name) return &b;
  return nullptr;
}

Call::Call(Engine& e, Thread& t, uint32_t k, int n, bool d) : engine(e), thread(t), key(k), argc(n), discard(d) {}

const Value* Call::arg(int n) const {
  if (n < 1 || n > argc) return nullptr;
  int32_t slot = thread.frame().stack_top - n;
  return slot >= 1 ? &thread.stack[slot] : nullptr;
}

Value* Call::mutable_arg(int n) { return const_cast<Value*>(arg(n)); }

int32_t Call::int_arg(int n, int32_t fallback) const {
  const Value* v = arg(n);
  return v && (v->kind == kInt || v->kind == kFloat) ? as_int(*v) : fallback;
}

float Call::float_arg(int n, float fallback) const {
  const Value* v = arg(n);
  return v && (v->kind == kInt || v->kind == kFloat) ? as_float(*v) : fallback;
}

std::string_view Call::str_arg(int n) const {
  const Value* v = arg(n);
  return v ? string_of(*v) : std::string_view();
}

void Call::ret_value(Value value) {
  if (has_result_) release(result_);
  result_ = value;
  result_.key = 0;
  result_.scope = kLocal;
  has_result_ = true;
}

void Call::ret_int(int32_t value) { ret_value(int_value(value)); }
void Call::ret_float(float value) { ret_value(float_value(value)); }
void Call::ret_string(std::string_view text) { ret_value(string_value(new_string(text))); }

Value Call::take_result() {
  Value v = has_result_ ? result_ : int_value(0);
  has_result_ = false;
  result_ = Value{};
  return v;
}

Frame& Call::frame() { return thread.frame(); }

uint32_t Call::now() const { return engine.vm->script_clock; }

const char* Call::name() const {
  const BuiltinInfo* info = find_builtin_info(key);
  return info ? info->name : "?";
}

}  // namespace rt
