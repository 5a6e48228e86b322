#include "platform/settings_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/encoding.h"
#include "platform/files.h"

namespace plat {

namespace {

constexpr std::string_view kPortSection = "[quorel]";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A name the file can hold on a line of its own and read back the same.
bool storable_name(std::string_view name) {
  if (name.empty() || name.front() == '[' || name.front() == '#' || name.front() == ';') return false;
  for (char c : name)
    if (c == '=' || c == '\n' || c == '\r' || c == '\0') return false;
  return true;
}

}  // namespace

int32_t parse_decimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t v = 0;
  const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()} : std::numeric_limits<int32_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > limit) v = limit;  // saturated: the rest of a long number changes nothing
  }
  return static_cast<int32_t>(negative ? -v : v);
}

bool SettingsStore::NoCase::operator()(std::string_view a, std::string_view b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = lower(a[i]), y = lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return a.size() < b.size();
}

SettingsStore::SettingsStore(std::string native_path) : path_(std::move(native_path)) {}

void SettingsStore::load() {
  game_.clear();
  port_.clear();
  dirty_ = false;
  auto data = read_whole_file(path_);
  if (!data) return;
  std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
  Values* into = &game_;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      // Sections of later versions are skipped whole, never read as the game's.
      into = line == kPortSection ? &port_ : nullptr;
      continue;
    }
    size_t eq = line.find('=');
    if (!into || eq == std::string_view::npos || eq == 0) continue;
    std::string_view name = line.substr(0, eq), value = line.substr(eq + 1);
    if (!is_valid_utf8(value) || !is_valid_utf8(name)) continue;
    (*into)[std::string(name)] = std::string(value);
  }
}

bool SettingsStore::save() {
  if (!dirty_ || path_.empty()) return true;
  std::string out = "# Quorel settings. Written by the engine; edit while it is not running.\n";
  auto write = [&](const Values& values) {
    for (const auto& [name, value] : values)
      if (storable_name(name)) out += name + "=" + value + "\n";
  };
  write(game_);
  if (!port_.empty()) {
    out += std::string(kPortSection) + "\n";
    write(port_);
  }
  size_t slash = path_.find_last_of('/');
  if (slash != std::string::npos) make_directories(path_.substr(0, slash));
  if (!write_file_atomic(path_, out)) {
    // Said once: the values live on in memory for this run only.
    if (!write_failure_said_)
      std::fprintf(stderr, "quorel: cannot write the settings file %s: %s; the settings last for this run only\n",
                   path_.c_str(), std::strerror(errno));
    write_failure_said_ = true;
    return false;
  }
  dirty_ = false;
  return true;
}

std::optional<int32_t> SettingsStore::get_int(std::string_view name, Section section) const {
  const Values& v = values(section);
  auto it = v.find(sjis_to_utf8(name));
  if (it == v.end()) return std::nullopt;
  return parse_decimal(it->second);
}

std::optional<std::string> SettingsStore::get_string(std::string_view name, Section section) const {
  const Values& v = values(section);
  auto it = v.find(sjis_to_utf8(name));
  if (it == v.end()) return std::nullopt;
  return utf8_to_sjis(it->second).value_or(std::string());
}

void SettingsStore::set_text(std::string_view sjis_name, std::string text, Section section) {
  Values& v = values(section);
  std::string name = sjis_to_utf8(sjis_name);
  auto it = v.find(name);
  if (it != v.end()) {
    if (it->second == text) return;
    it->second = std::move(text);  // the spelling first written stays
  } else {
    v.emplace(std::move(name), std::move(text));
  }
  dirty_ = true;
}

void SettingsStore::set_int(std::string_view name, int32_t value, Section section) {
  set_text(name, std::to_string(value), section);
}

void SettingsStore::set_string(std::string_view name, std::string_view sjis_value, Section section) {
  std::string text = sjis_to_utf8(sjis_value);
  // One value per line: line breaks cannot be stored.
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  set_text(name, std::move(text), section);
}

}  // namespace plat
