// The script error report: the one way script-level faults are reported.
// Silent in release mode. In development mode the text is prefixed with the
// script positions of the active frames, appended to the debug log and
// shown in a Retry/Cancel box (Cancel ends the process with -1).
#pragma once

#include <string>
#include <string_view>

namespace rt {

struct Engine;

void script_error(Engine& e, std::string_view text);
// The positions prefix for the current thread ("START.MJO(12) : ").
std::string script_position_prefix(Engine& e);

}  // namespace rt
