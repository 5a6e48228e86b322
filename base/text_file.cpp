#include "base/text_file.h"

namespace base {

TextFile::TextFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

std::string clean_config_line(std::string_view raw) {
  std::string s(raw);
  if (size_t semi = s.find(';'); semi != std::string::npos) s.resize(semi);
  if (size_t slashes = s.find("//"); slashes != std::string::npos) s.resize(slashes);
  size_t start = 0;
  while (start < s.size() && static_cast<unsigned char>(s[start]) <= ' ') ++start;
  size_t end = s.size();
  while (end > start && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return s.substr(start, end - start);
}

bool TextFile::fill() {
  while (pos_ < bytes_.size()) {
    // Lines longer than the buffer continue as lines of their own.
    size_t end = pos_;
    while (end < bytes_.size() && bytes_[end] != '\n' && end - pos_ < kLineBuffer - 1) ++end;
    std::string_view raw(reinterpret_cast<const char*>(bytes_.data()) + pos_, end - pos_);
    pos_ = end < bytes_.size() && bytes_[end] == '\n' ? end + 1 : end;
    std::string cleaned = clean_config_line(raw);
    if (!cleaned.empty()) {
      line_ = std::move(cleaned);
      field_ = 0;
      has_line_ = true;
      return true;
    }
  }
  return false;
}

bool TextFile::next_field(std::string* field, bool skip_empty) {
  for (;;) {
    if (!has_line_ && !fill()) return false;
    if (field_ > line_.size()) {
      has_line_ = false;
      continue;
    }
    size_t comma = line_.find(',', field_);
    std::string_view f = std::string_view(line_).substr(field_, comma == std::string::npos ? std::string::npos : comma - field_);
    field_ = comma == std::string::npos ? line_.size() + 1 : comma + 1;
    while (!f.empty() && static_cast<unsigned char>(f.front()) <= ' ') f.remove_prefix(1);
    while (!f.empty() && static_cast<unsigned char>(f.back()) <= ' ') f.remove_suffix(1);
    if (f.empty() && skip_empty) continue;
    *field = std::string(f);
    return true;
  }
}

bool TextFile::next_line(std::string* line) {
  if (has_line_ && field_ < line_.size()) {
    *line = clean_config_line(std::string_view(line_).substr(field_));
    has_line_ = false;
    if (!line->empty()) return true;
  }
  has_line_ = false;
  if (!fill()) return false;
  *line = line_;
  has_line_ = false;
  return true;
}

}  // namespace base
