// Breaking one line off a Shift-JIS text: as many characters as fit the
// width, then the kinsoku rules (characters that may not begin or end a
// line), hanging indentation after an opening bracket, and optional
// justification of the characters over the width.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace txt {

struct KinsokuRules {
  int type = 0;                  // 0: move one character; 1: keep room near the end of the line
  std::string_view no_start;     // characters that may not begin a line
  std::string_view no_end;       // characters that may not end a line
};

// True when `ch` is a double-byte character found in the set (the set is a
// string of double-byte characters).
bool in_kinsoku_set(std::string_view set, std::string_view ch);

struct LineBreak {
  size_t bytes = 0;              // taken off the front of the text
  std::vector<int> advances;     // one per character taken
  int sum = 0;
};

// Takes characters while their advances fit `available`; `force_one` takes
// the first one even when it does not fit (a line that starts a fresh line
// must make progress). The kinsoku rules may move characters back, but
// never all of them. `font_width` is the half-width advance (type 1).
LineBreak break_line(std::string_view text, int available, int font_width, bool force_one, const KinsokuRules& rules,
                     const std::function<int(uint32_t code)>& advance);

struct IndentRules {
  bool space_indent = true;      // an opening bracket indents the lines after it
  int offset = 1;                // pixels added to the bracket's end
  bool parens = false;           // round brackets act as quote brackets
  std::string_view open_quote, close_quote, open_paren, close_paren;
};

// The indent after a line: an opening bracket sets it to the offset plus
// the line's advance up to and including the bracket; a closing one clears
// it. `indent` is the value before the line.
int indent_after(std::string_view line, const std::vector<int>& advances, int indent, const IndentRules& rules);

// Spreads the room left on a broken line over the gaps between its
// characters. False (nothing changed) with fewer than four characters.
bool justify_line(std::vector<int>& advances, int available, int sum);

}  // namespace txt
