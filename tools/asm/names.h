// How the assembler spells the names it hashes; the debugger client uses
// the same rule to find a variable by the name a modder types.
#pragma once

#include <string>
#include <string_view>

namespace quorel_asm {

// The name a variable is hashed under: "@x" -> "@x@GLOBAL".
inline std::string complete_name(std::string_view name) {
  std::string n(name);
  if (n.size() <= 1 || n.find('@', 1) == std::string::npos) n += "@GLOBAL";
  return n;
}

}  // namespace quorel_asm
