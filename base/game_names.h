// Names that game data turns into paths (settings sections, save, capture,
// font and movie names, names inside archives and name lists) must stay
// below the folder they are meant for. A name is a list of components
// separated by "\" or "/"; a Shift-JIS trail byte 0x5C is part of its
// character, not a separator.
#pragma once

#include <string_view>
#include <vector>

namespace base {

// Why the name cannot be used as a path below a folder, or nullptr when it
// can: an absolute name, a NUL byte, or a component that is empty, "." or
// "..". Nested components are allowed.
const char* unsafe_name_reason(std::string_view name);

// The same, for a name that must be a single component (no separator).
const char* unsafe_file_name_reason(std::string_view name);

// The components of a name, split at "\" and "/" character by character.
std::vector<std::string_view> name_components(std::string_view name);

}  // namespace base
