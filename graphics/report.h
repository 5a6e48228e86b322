// Errors found by graphics built-ins go to the script error report.
#pragma once

#include <string_view>

namespace rt { struct Engine; }

namespace gfx {

// Reports "<name> : <text>" (both Shift-JIS).
void report(rt::Engine& e, std::string_view name, std::string_view text);
// Reports a text that already carries its built-in's name.
void report(rt::Engine& e, std::string_view text);

}  // namespace gfx
