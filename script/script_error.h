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
// A built-in's failure in the form most of them take: "<name> : <text>".
// Texts that the engine words otherwise (another built-in's name, no space
// before the colon) are kept whole in the resources and go to script_error
// as they are.
void builtin_error(Engine& e, std::string_view name, std::string_view text);
// The positions prefix for the current thread ("START.MJO(12) : ").
std::string script_position_prefix(Engine& e);

}  // namespace rt
