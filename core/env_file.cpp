#include "core/env_file.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "base/sjis.h"
#include "core/engine.h"
#include "platform/files.h"

namespace rt {

namespace {

// One line as the text-mode line reader gives it: up to size - 1 bytes,
// "\r\n" read as "\n", ending after the "\n". Its length; 0 at the end.
size_t next_line(std::string_view& text, char* buffer, size_t size) {
  size_t n = 0, i = 0;
  while (n + 1 < size && i < text.size()) {
    char c = text[i++];
    if (c == '\r' && i < text.size() && text[i] == '\n') c = text[i++];
    buffer[n++] = c;
    if (c == '\n') break;
  }
  text.remove_prefix(i);
  buffer[n] = '\0';
  return n;
}

}  // namespace

// Rules of a line: at most 400 lines are read, each into a zero-filled
// 512-byte buffer; "[EOF]" at the start of a line ends the file; a line
// starting with a byte of 32 or below, or with "/", is skipped. All bytes of
// 32 or below end words; the key is the first word, the value the next word
// found within 100 bytes after the key. "|" in a value stands for a blank.
void EnvFile::parse(std::string_view text) {
  char line[kLineBuffer];
  for (int n = 0; n < kMaxLines; ++n) {
    std::memset(line, 0, sizeof line);
    const size_t length = next_line(text, line, sizeof line);
    if (length == 0) break;
    if (std::memcmp(line, "[EOF]", 5) == 0) break;
    auto* bytes = reinterpret_cast<unsigned char*>(line);
    if (bytes[0] <= 32 || bytes[0] == '/') continue;
    // The rest of the buffer is zero already.
    for (unsigned char& c : std::span(bytes, length))
      if (c <= 32) c = 0;
    size_t key_end = std::strlen(line);
    size_t value_start = key_end;
    size_t search_end = std::min(sizeof line, key_end + kValueSearch);
    while (value_start < search_end && line[value_start] == 0) ++value_start;
    if (value_start >= search_end) continue;
    std::string value(line + value_start, strnlen(line + value_start, sizeof line - value_start));
    for (char& c : value)
      if (c == '|') c = ' ';
    entries_.push_back({std::string(line, key_end), std::move(value)});
  }
}

void EnvFile::parse(plat::File& file, uint64_t limit) {
  std::string text(static_cast<size_t>(std::min<uint64_t>(limit, kMaxBytes)), '\0');
  text.resize(file.read(text.data(), text.size()));
  parse(text);
}

const EnvFile::Entry* EnvFile::find(std::string_view key) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->key == key) return &*it;
  return nullptr;
}

int32_t EnvFile::get_int(std::string_view key, int32_t fallback) const {
  const Entry* entry = find(key);
  return entry ? base::c_atoi(entry->value) : fallback;
}

std::string EnvFile::get_string(std::string_view key, size_t size, std::string_view fallback) const {
  const Entry* entry = find(key);
  std::string_view text = entry ? std::string_view(entry->value) : fallback;
  if (size == 0) return {};
  return std::string(text.substr(0, std::min(text.size(), size - 1)));
}

int32_t env_int(const Engine& e, std::string_view key, int32_t fallback) { return e.env.get_int(key, fallback); }

std::string env_string(const Engine& e, std::string_view key, size_t size, std::string_view fallback) {
  return e.env.get_string(key, size, fallback);
}

}  // namespace rt
