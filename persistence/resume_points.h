// Resume points that survive a rebuilt script.
//
// A saved frame names its script and a code offset; after the script is
// compiled again (translated text, a fixed typo) that offset may land
// anywhere. The trailer written after a save's blob records, for each
// frame's position and click/escape/exit targets, the function it lies in,
// a CRC-32 of that function's code, the source line and the number of
// instructions from that line's first instruction. Loading matches them
// against the scripts as they are now:
//   - the function's code is unchanged: the same place in it, wherever
//     the function now starts;
//   - it changed but has the same line with the same instruction at the
//     same count: that instruction;
//   - only the line is left: the top frame resumes at the line's first
//     instruction (the save point's arguments are pushed again there);
//   - otherwise the position is lost and the save does not load.
//
// Trailer layout (little-endian):
//   0  16  magic "QuorelSavTrail1\0"
//   16  4  frame count (D + 1)
//   20  4  arguments of the save point's call on the top frame's stack
//   24     per frame, six anchors of 32 bytes: position, then the five targets
//   ..  4  size of the whole trailer
//   ..  4  CRC-32 of everything before this word
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "script/script_file.h"

namespace persist {

struct Anchor {
  enum Flags : uint32_t {
    kPresent = 1,   // the frame has this position or target
    kExact = 2,     // the walk from the function's start reached it
    kFunction = 4,  // the region is a function of the table (else: entry or head)
    kEntry = 8,     // the region starts at the entry point
  };
  uint32_t flags = 0;
  uint32_t function_key = 0;
  uint32_t function_crc = 0;
  int32_t line = -1;    // -1: before the function's first line instruction
  int32_t count = 0;    // instructions from the line's first one
  uint32_t opcode = 0;  // at the position (0xFFFF: the end of the region)
  uint32_t operand = 0; // the key of a built-in or function call there
  uint32_t from_start = 0;  // bytes from the function's start
};
inline constexpr size_t kAnchorSize = 32;
inline constexpr size_t kAnchorsPerFrame = 6;
inline constexpr char kTrailerMagic[16] = "QuorelSavTrail1";

using FrameAnchors = std::array<Anchor, kAnchorsPerFrame>;

struct Trailer {
  int32_t point_argc = 0;
  std::vector<FrameAnchors> frames;
};

// Where a code offset stands in a script's code.
Anchor anchor_of(const rt::LoadedScript& s, uint32_t offset);

std::vector<uint8_t> write_trailer(const Trailer& t);
enum class TrailerState { Absent, Present, Damaged };
// `tail`: the bytes after the blob. A tail that does not begin with the
// magic is no trailer (saves of the plain layout).
TrailerState parse_trailer(std::span<const uint8_t> tail, size_t frame_count, Trailer* out);

enum class Fit { Same, Moved, LineStart, Lost };
struct Placement {
  Fit fit = Fit::Lost;
  uint32_t offset = 0;
};
// The offset of an anchored position in the script as it is now.
Placement place(const rt::LoadedScript& s, const Anchor& a);

// True when an offset is where an instruction starts (or the code's end).
bool on_instruction(const rt::LoadedScript& s, uint32_t offset);

}  // namespace persist
