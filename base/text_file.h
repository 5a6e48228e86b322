// Text files read by scripts: lines cleaned of comments (";" and "//") and
// outer blanks, empty lines skipped, fields separated by commas.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace base {

// Lines of the engine's text files (CSV-like files scripts read,
// "fastread.inf") are cleaned alike: cut at the first ";" and the first
// "//", then stripped of the bytes up to and including the blank at both ends.
std::string clean_config_line(std::string_view raw);

class TextFile {
 public:
  explicit TextFile(std::vector<uint8_t> bytes);

  // The next comma-separated field, reading a new line when the current
  // one is used up; nullopt-like false at the end of the file.
  bool next_field(std::string* field, bool skip_empty);
  // The rest of the current line, or the next non-empty line.
  bool next_line(std::string* line);

  static constexpr size_t kLineBuffer = 512;

 private:
  bool fill();  // reads the next non-empty cleaned line into the buffer

  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
  std::string line_;
  size_t field_ = 0;      // where the next field starts in line_
  bool has_line_ = false;
};

}  // namespace base
