// Compiled script files (".mjo") and the loaded-script list.
//
//   0   16  magic "QuorelObjV1.000\0" (plain) or "QuorelObjX1.000\0" (scrambled)
//   16   4  entry point: code offset of the file's main code, or 0xFFFFFFFF
//   20   4  number of source lines that carry read marks
//   24   4  function count N
//   28  8·N function table {u32 key, u32 code offset}
//   ..   4  code size S
//   ..   S  code (scrambled: XORed with the CRC-32 table as a key stream)
//
// Code addresses. Each loaded script owns a range of a 32-bit code address
// space, [base, base + size); address 0 means "none". Frames, call caches
// and event handlers hold such addresses, never pointers, so they fit the
// 32-bit fields of the bytecode and of saved games. A reloaded script gets a
// fresh range: addresses into its old code no longer resolve.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/translate.h"

namespace rt {

struct Engine;
struct ReadMarkRecord;

using CodeAddress = uint32_t;

inline constexpr char kPlainMagic[16] = "QuorelObjV1.000";
inline constexpr char kScrambledMagic[16] = "QuorelObjX1.000";
inline constexpr uint32_t kNoEntryPoint = 0xFFFFFFFF;
inline constexpr size_t kMaxScriptName = 127;

struct FunctionEntry {
  uint32_t key;
  uint32_t offset;
};

struct LoadedScript {
  std::string name;          // normalised: "START.MJO"
  uint32_t name_key = 0;     // CRC-32 of the name
  uint32_t file_time = 0;
  int32_t entry_point = -1;  // code offset, or -1
  uint32_t line_count = 0;
  std::vector<FunctionEntry> functions;
  std::vector<uint8_t> code;
  DecodedCode decoded;       // the code as the interpreter runs it
  CodeAddress base = 0;      // first address of the code
  ReadMarkRecord* read_marks = nullptr;

  // The end of the code counts too: a frame may stand just past the last
  // instruction.
  bool contains(CodeAddress a) const { return a >= base && a - base <= code.size(); }
  CodeAddress address_of(uint32_t offset) const { return base + offset; }
};

// The parsed contents of an object file.
struct ScriptImage {
  int32_t entry_point = -1;
  uint32_t line_count = 0;
  std::vector<FunctionEntry> functions;
  std::vector<uint8_t> code;
  bool scrambled = false;
};

enum class ScriptFileError { None, BadMagic, Truncated, BadFunctionTable, BadEntryPoint };

// Parses an object file held in memory. Refuses anything that does not fit:
// fields past the end, function offsets or an entry point outside the code.
std::optional<ScriptImage> parse_script_image(std::span<const uint8_t> bytes, ScriptFileError* error = nullptr);
// XORs the code with the CRC-32 table as a key stream (both directions).
void scramble_code(std::span<uint8_t> code);
// Writes an object file (used by the assembler).
std::vector<uint8_t> write_script_image(const ScriptImage& image);

struct ScriptFiles {
  std::vector<std::unique_ptr<LoadedScript>> list;  // load order; searches go newest first
  CodeAddress next_base = 0x10;
  uint32_t generation = 1;  // changes whenever a loaded script is replaced
};

// "start", "Start.mjs", "scenario\START.MJO" -> "START.MJO". Reports a name
// longer than 127 characters and cuts it.
std::string normalise_script_name(Engine& e, std::string_view name);

// Loads a script, or returns the loaded one when its file has not changed.
// Does not return without a script: a failure shows a Retry/Cancel box until
// the file loads or the player cancels (which ends the process).
LoadedScript& load_script(Engine& e, std::string_view name);

// The script whose code holds the address, or nullptr.
LoadedScript* script_of(Engine& e, CodeAddress address);

// A function's address: first in the script holding `current` (the running
// code), then in every script from the most recently loaded. 0 when no
// script defines it.
CodeAddress lookup_function(Engine& e, uint32_t key, CodeAddress current);

void free_scripts(Engine& e);

}  // namespace rt
