// The built-in catalogue and the argument and result access of `Call`.
#include "script/builtins.h"

#include <algorithm>
#include <array>

#include "core/engine.h"
#include "script/script_machine.h"

namespace rt {
namespace {

constexpr bool catalogue_sorted() {
  for (size_t i = 1; i < std::size(kBuiltinCatalogue); ++i)
    if (kBuiltinCatalogue[i - 1].key >= kBuiltinCatalogue[i].key) return false;
  return true;
}
static_assert(catalogue_sorted(), "builtin_catalogue.def must be sorted by key, without duplicates");

}  // namespace

std::span<const BuiltinInfo> builtin_catalogue() { return kBuiltinCatalogue; }

const BuiltinInfo* find_builtin_info(uint32_t key) {
  auto it = std::lower_bound(std::begin(kBuiltinCatalogue), std::end(kBuiltinCatalogue), key,
                             [](const BuiltinInfo& b, uint32_t k) { return b.key < k; });
  return it != std::end(kBuiltinCatalogue) && it->key == key ? &*it : nullptr;
}

const BuiltinInfo* find_builtin_info(std::string_view name) {
  for (const BuiltinInfo& b : kBuiltinCatalogue)
    if (name == b.name) return &b;
  return nullptr;
}

std::string_view Call::str_arg(int n) const {
  const Value* v = arg(n);
  return v ? string_of(*v) : std::string_view();
}

void Call::ret_string(std::string_view text) { ret_value(string_value(new_string(text))); }

Frame& Call::frame() { return thread.frame(); }

uint32_t Call::now() const { return engine.vm->script_clock; }

const char* Call::name() const {
  const BuiltinInfo* info = find_builtin_info(key);
  return info ? info->name : "?";
}

}  // namespace rt
