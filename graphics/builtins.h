// The graphics built-in tables and the hooks graphics gives the script
// machine (reset, end of initialisation, shutdown).
#pragma once

#include <span>

#include "res/graphics.h"
#include "script/builtins.h"

namespace rt { struct Engine; }

namespace gfx {

struct Page;

// The live page of argument n, or nullptr after reporting
// "<built-in> : <missing>".
Page* page_arg(rt::Call& c, int n, const char* missing = msg::kPageMissing);

std::span<const rt::BuiltinEntry> page_builtins();
std::span<const rt::BuiltinEntry> draw_builtins();

void install_hooks(rt::Engine& e);

}  // namespace gfx
