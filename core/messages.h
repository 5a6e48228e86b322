// The engine's own texts in the player's language. They are Japanese as
// designed; with --lang=en every text of the engine's catalogue that a box
// or the debug log shows is replaced by its English counterpart
// (res/en/*.msg), with the values it was formatted with.
#pragma once

#include <string>
#include <string_view>

namespace rt {

struct Engine;

// `text` (Shift-JIS, as formatted) in the engine's chosen language.
std::string localise(const Engine& e, std::string_view text);

// The same, by language name ("ja" leaves the text as it is).
std::string localise(std::string_view lang, std::string_view text);

}  // namespace rt
