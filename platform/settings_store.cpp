#include "platform/settings_store.h"

#include <cstdlib>

#include "platform/encoding.h"
#include "platform/files.h"

namespace plat {

SettingsStore::SettingsStore(std::string native_path) : path_(std::move(native_path)) {}

void SettingsStore::load() {
  values_.clear();
  dirty_ = false;
  auto data = read_whole_file(path_);
  if (!data) return;
  std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    std::string_view value = line.substr(eq + 1);
    if (!is_valid_utf8(value)) continue;
    values_[std::string(line.substr(0, eq))] = std::string(value);
  }
}

bool SettingsStore::save() {
  if (!dirty_ || path_.empty()) return true;
  std::string out = "# Quorel settings. Written by the engine; edit while it is not running.\n";
  for (const auto& [name, value] : values_) out += name + "=" + value + "\n";
  size_t slash = path_.find_last_of('/');
  if (slash != std::string::npos) make_directories(path_.substr(0, slash));
  if (!write_file_atomic(path_, out)) return false;
  dirty_ = false;
  return true;
}

std::optional<int32_t> SettingsStore::get_int(std::string_view name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return static_cast<int32_t>(std::strtol(it->second.c_str(), nullptr, 10));
}

std::optional<std::string> SettingsStore::get_string(std::string_view name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return utf8_to_sjis(it->second).value_or(std::string());
}

void SettingsStore::set_int(std::string_view name, int32_t value) {
  std::string text = std::to_string(value);
  auto it = values_.find(name);
  if (it != values_.end() && it->second == text) return;
  values_[std::string(name)] = std::move(text);
  dirty_ = true;
}

void SettingsStore::set_string(std::string_view name, std::string_view sjis_value) {
  std::string text = sjis_to_utf8(sjis_value);
  // One value per line: line breaks cannot be stored.
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  auto it = values_.find(name);
  if (it != values_.end() && it->second == text) return;
  values_[std::string(name)] = std::move(text);
  dirty_ = true;
}

}  // namespace plat
