// Assembler pieces of small games that show text in the message console.
#pragma once

#include <string>

namespace testing_support {

// A new 640 × 480 page kept in @page, and on it a console box of
// `box_width` × 100 pixels at (20, 300) in a 20-pixel "ＭＳ ゴシック".
inline std::string console_on_new_page(int box_width) {
  return R"(
    push_i 480
    push_i 640
    syscall page_create, 2
    st_i_pop @page
    push_i 100
    push_i )" + std::to_string(box_width) +
         R"(
    push_i 300
    push_i 20
    load i @page
    syscall_discard console_set, 5
    push_i 20
    push_s "ＭＳ ゴシック"
    syscall_discard console_font, 2
)";
}

// The answers of a choice: click regions 1 and 2, 200 × 30 pixels at
// (20, 20) and (20, 60).
inline constexpr char kTwoAnswerRegions[] = R"(
    syscall_discard region_clear, 0
    push_i 0
    push_i 0
    push_i 0
    push_i 30
    push_i 200
    push_i 20
    push_i 20
    push_i 1
    syscall_discard region_add, 8
    push_i 0
    push_i 0
    push_i 0
    push_i 30
    push_i 200
    push_i 60
    push_i 20
    push_i 2
    syscall_discard region_add, 8
)";

// The console's hooks (after a line, newline, pause, wipe, show), doing
// nothing; the speaker-name hook too, unless the game brings its own.
inline std::string silent_console_hooks(bool with_name_hook = true) {
  std::string s = R"(
.function on_nothing0
    return
.export 0x47BB540C, on_nothing0
.function on_nothing1
    return
.export 0x04AE36BD, on_nothing1
.function on_nothing2
    return
.export 0x20CE505D, on_nothing2
.function on_nothing3
    return
.export 0x93B38A0B, on_nothing3
.function on_nothing4
    return
.export 0xF7A4C8D8, on_nothing4
)";
  if (with_name_hook) s += ".function on_nothing5\n    return\n.export 0x44A4FF72, on_nothing5\n";
  return s;
}

}  // namespace testing_support
