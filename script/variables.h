// Variable stores. Persistent ("#") and global ("@") variables live in
// process-wide stores; thread variables ("%") in each thread; locals ("_")
// in the current frame's stack slots. Instructions name a variable by key
// and carry a slot hint that the interpreter rewrites, so that the second
// execution finds the variable without a search.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "script/value.h"

namespace rt {

struct Engine;
struct Thread;

class VariableStore {
 public:
  explicit VariableStore(uint8_t scope) : scope_(scope) {}
  ~VariableStore();

  // The entry at the hint when its key matches, else a search; *hint is
  // updated to the entry's index when it fits 16 bits.
  Value* find(uint32_t key, int16_t* hint = nullptr);
  // Appends a new variable (key, value); takes over the value's reference.
  Value* add(uint32_t key, Value value, int16_t* hint = nullptr);

  size_t size() const { return values_.size(); }
  Value& at(size_t i) { return values_[i]; }
  std::vector<Value>& values() { return values_; }
  // Releases every value; the storage is kept.
  void clear();

 private:
  uint8_t scope_;
  std::vector<Value> values_;
  std::unordered_map<uint32_t, uint32_t> index_;  // key -> first entry
};

// A thread's variables: searched linearly, as they are few.
Value* find_thread_variable(Thread& t, uint32_t key);
Value* add_thread_variable(Thread& t, uint32_t key, Value value);

// Persistent, then global, then the current thread's variables.
Value* find_variable_any(Engine& e, uint32_t key);

// Names given to built-ins are completed with "@GLOBAL" when they have no
// "@" after their first character; the key is the CRC-32 of the result.
std::string complete_variable_name(std::string_view name);
uint32_t variable_key(std::string_view name);

// Reads an int variable by its full name; nullopt when it does not exist.
// Used by subsystems that exchange values with scripts by name.
Value* find_variable_by_name(Engine& e, std::string_view name);
// Finds or creates a variable by name in the scope its sigil names ("#",
// "@", "%"), created with the default of `kind`. nullptr for a local ("_")
// or an unknown sigil.
Value* make_variable_by_name(Engine& e, std::string_view name, uint8_t kind);

// Replaces a variable's value (releasing the old one, keeping key and scope).
void assign(Value& variable, Value value);

}  // namespace rt
