#include "script/variables.h"

#include "base/crc32.h"
#include "core/engine.h"
#include "script/script_machine.h"

namespace rt {

VariableStore::~VariableStore() { clear(); }

Value* VariableStore::find(uint32_t key, int16_t* hint) {
  if (hint && *hint >= 0 && static_cast<size_t>(*hint) < values_.size() && values_[*hint].key == key)
    return &values_[*hint];
  auto it = index_.find(key);
  if (it == index_.end()) return nullptr;
  if (hint && it->second <= 0x7FFF) *hint = static_cast<int16_t>(it->second);
  return &values_[it->second];
}

Value* VariableStore::add(uint32_t key, Value value, int16_t* hint) {
  if (values_.size() == values_.capacity()) values_.reserve(values_.size() + 256);
  value.key = key;
  value.scope = scope_;
  uint32_t index = static_cast<uint32_t>(values_.size());
  values_.push_back(value);
  index_.try_emplace(key, index);
  if (hint && index <= 0x7FFF) *hint = static_cast<int16_t>(index);
  return &values_.back();
}

void VariableStore::clear() {
  for (Value& v : values_) release(v);
  values_.clear();
  index_.clear();
}

Value* find_thread_variable(Thread& t, uint32_t key) {
  for (Value& v : t.vars)
    if (v.key == key) return &v;
  return nullptr;
}

Value* add_thread_variable(Thread& t, uint32_t key, Value value) {
  if (t.vars.size() == t.vars.capacity()) t.vars.reserve(t.vars.size() + 256);
  value.key = key;
  value.scope = kThread;
  t.vars.push_back(value);
  return &t.vars.back();
}

Value* find_variable_any(Engine& e, uint32_t key) {
  ScriptMachine& vm = *e.vm;
  if (Value* v = vm.persistent.find(key)) return v;
  if (Value* v = vm.global.find(key)) return v;
  if (vm.current)
    if (Value* v = find_thread_variable(*vm.current, key)) return v;
  return nullptr;
}

std::string complete_variable_name(std::string_view name) {
  std::string n(name);
  if (n.size() <= 1 || n.find('@', 1) == std::string::npos) n += "@GLOBAL";
  return n;
}

uint32_t variable_key(std::string_view name) { return base::crc32(complete_variable_name(name)); }

Value* find_variable_by_name(Engine& e, std::string_view name) { return find_variable_any(e, variable_key(name)); }

Value* make_variable_by_name(Engine& e, std::string_view name, uint8_t kind) {
  ScriptMachine& vm = *e.vm;
  uint32_t key = variable_key(name);
  char sigil = name.empty() ? '\0' : name[0];
  switch (sigil) {
    case '#':
      if (Value* v = vm.persistent.find(key)) return v;
      return vm.persistent.add(key, default_value(e, kind));
    case '@':
      if (Value* v = vm.global.find(key)) return v;
      return vm.global.add(key, default_value(e, kind));
    case '%':
      if (!vm.current) return nullptr;
      if (Value* v = find_thread_variable(*vm.current, key)) return v;
      return add_thread_variable(*vm.current, key, default_value(e, kind));
    default:
      return nullptr;
  }
}

void assign(Value& variable, Value value) {
  uint32_t key = variable.key;
  uint8_t scope = variable.scope;
  release(variable);
  variable = value;
  variable.key = key;
  variable.scope = scope;
}

}  // namespace rt
