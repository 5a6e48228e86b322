// The one place that knows every subsystem: their built-in tables and the
// hooks they give the script machine.
#pragma once

#include <span>
#include <vector>

#include "script/builtins.h"

namespace rt {

struct Engine;

std::vector<std::span<const BuiltinEntry>> all_builtin_tables();
// Lets each subsystem fill in its hooks (script_machine.h) for a new engine.
void install_subsystem_hooks(Engine& e);

}  // namespace rt
