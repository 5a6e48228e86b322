// The runtime's own built-in tables, one per concern.
#pragma once

#include <span>

#include "script/builtins.h"

namespace rt {

std::span<const BuiltinEntry> thread_builtins();
std::span<const BuiltinEntry> string_builtins();
std::span<const BuiltinEntry> number_builtins();
std::span<const BuiltinEntry> text_file_builtins();
std::span<const BuiltinEntry> message_builtins();
std::span<const BuiltinEntry> system_builtins();
std::span<const BuiltinEntry> play_mode_builtins();

}  // namespace rt
