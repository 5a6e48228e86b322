// Script hooks: functions of the game's scripts that the runtime calls by
// key (console events, menu requests). A hook runs like an event handler:
// a frame is opened on top of whatever the thread is doing, and when the
// function returns, its result is dropped and the thread goes on there.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "script/value.h"

namespace rt {

// A script hook the engine knows: its key and the name modders use for it.
struct HookInfo {
  uint32_t key;
  const char* name;
  const char* arguments;
  const char* when;
};

inline constexpr HookInfo kHookCatalogue[] = {
#define QUOREL_HOOK(key, name, arguments, when) {key, name, arguments, when},
#include "script/hook_catalogue.def"
#undef QUOREL_HOOK
};

constexpr const HookInfo* find_hook(uint32_t key) {
  for (const HookInfo& h : kHookCatalogue)
    if (h.key == key) return &h;
  return nullptr;
}
constexpr const HookInfo* find_hook(std::string_view name) {
  for (const HookInfo& h : kHookCatalogue)
    if (name == h.name) return &h;
  return nullptr;
}

struct Engine;
struct Thread;

// Opens the frame of function `key` on thread t with the arguments (first
// argument first) and their count. The function runs when the thread runs
// on; an unknown key is reported as every unknown function is, after a
// line on stderr that names the hook the game's scripts lack.
void call_script_hook(Engine& e, Thread& t, uint32_t key, std::span<const Value> args = {});

}  // namespace rt
