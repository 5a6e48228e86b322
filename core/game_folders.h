// What the engine decides once about the game's folders: development or
// release mode, and the directory that takes the "savedata" files.
//
// Error reports need both (development mode shows them, the debug log goes
// to the save-data directory), so they live here, below the resource search
// that decides them.
#pragma once

#include <optional>
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
// For reading; empty when `relative` is not a name below the folder
// (base::unsafe_name_reason), or when a link on the way (the file itself
// included) leads out of savedata_root().
std::string savedata_native_path(const Engine& e, std::string_view relative);

// The folder every save-data path must stay inside once links are
// resolved: the save-data directory, or the game folder.
std::string savedata_root(const Engine& e);

// For writing: the native path of `relative` below the save-data directory
// (or the game folder), with its folders created. Refused (nullopt, said
// once on stderr) when the name climbs out or is absolute, or when a
// folder on the way is a link that leads out of the save-data directory or
// the game folder. The file itself must be written without following a
// final link: plat::AtomicWriter, or plat::File, whose writing modes do not.
std::optional<std::string> savedata_write_path(Engine& e, std::string_view relative);

// The same check for a native file path chosen by game data, below `root`.
bool check_write_path(Engine& e, const std::string& native_path, const std::string& root);

// Says on stderr, once per text, that something was refused (or where the
// engine writes).
void report_once(Engine& e, const std::string& text);

}  // namespace rt
