// Programs the engine starts for the game's developers: the text editor at
// a script line, and the outside script compiler on a dropped source file.
// Both are started with an argument vector, never through a shell; one that
// cannot start is ignored.
#pragma once

#include <string_view>

namespace rt {

struct Engine;

// Opens the script's source at a line (development mode, with a display).
void open_editor_at(Engine& e, std::string_view script_name, int line);

// Starts the outside compiler on a dropped source file: the program
// QuorelCompile.exe beside the dropped file, with "/f /t /d /txt /s<path>",
// in the file's folder.
void start_outside_compiler(Engine& e, std::string_view dropped_path);

}  // namespace rt
