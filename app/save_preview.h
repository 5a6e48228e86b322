// What the file chooser shows beside a saved game: its title, date and
// thumbnail. Only files inside the save folder are read; the chooser may
// be pointed anywhere, and a file elsewhere (or a link leading out of the
// folder) shows nothing.
#pragma once

#include <optional>
#include <string>

#include "shell/shell.h"

namespace rt {

struct Engine;

// The engine path ("savedata\..." in Shift-JIS) that names the same file as
// `native_path`, when that lies inside the save folder; nullopt otherwise.
std::optional<std::string> save_folder_path(const Engine& e, const std::string& native_path);

// The chooser's description of a file (native path): nullopt for a file
// outside the save folder, one that is not a save, or one that does not read.
std::optional<shell::FileSummary> describe_save_file(Engine& e, const std::string& native_path);

}  // namespace rt
