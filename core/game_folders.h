// What the engine decides once about the game's folders: development or
// release mode, and the directory that takes the "savedata" files.
//
// Error reports need both (development mode shows them, the debug log goes
// to the save-data directory), so they live here, below the resource search
// that decides them.
#pragma once

#include <string>
#include <string_view>

namespace rt {

struct Engine;

enum class Mode { Undetermined, Development, Release };

// Development mode: the data lies in plain "fastdata" folders.
bool is_release_mode(const Engine& e);
void set_development_mode(Engine& e);

// Paths under "savedata" (and the debug log) are placed in the save-data
// directory when one is set.
std::string savedata_path(const Engine& e, std::string_view relative);
std::string savedata_native_path(const Engine& e, std::string_view relative);

}  // namespace rt
