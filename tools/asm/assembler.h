// The script assembler and disassembler: a text form of compiled scripts
// for modders, translators and the project's own tests. The language is
// described in docs/quorel-asm.md.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/asm/names.h"

namespace quorel_asm {

struct Diagnostic {
  int line = 0;
  std::string message;
};

// A local variable's slot, and the source lines of the function that
// declares it (for the debugger, which knows the line it stopped at).
struct LocalSymbol {
  std::string name;  // "_count"
  int16_t slot = 0;
  int first_line = -1, last_line = -1;  // -1: the function has no line instructions
};

struct AssembleResult {
  std::vector<uint8_t> object;           // the ".mjo" file
  std::vector<Diagnostic> errors;        // empty on success
  std::map<uint32_t, std::string> names;  // keys of the names used (for disassembly)
  std::vector<LocalSymbol> locals;        // the .local declarations, function by function
  bool ok() const { return errors.empty(); }
};

// Assembles UTF-8 source text. `file` names the source in messages.
AssembleResult assemble(std::string_view source, std::string_view file = "<input>");

struct DisassembleOptions {
  // Names to show for keys (functions, variables); others appear as hex.
  const std::map<uint32_t, std::string>* names = nullptr;
};

// Turns an object file back into source that assembles to the same bytes.
// Returns false (with a message in *error) when the file is not an object file.
bool disassemble(const std::vector<uint8_t>& object, std::string* out, std::string* error,
                 const DisassembleOptions& options = {});

}  // namespace quorel_asm
