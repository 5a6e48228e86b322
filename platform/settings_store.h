// The per-user settings store: one INI-like file of "Name=value" lines per
// game, in place of the registry key the game was written for. Values are
// kept as text (integers in decimal); text values are stored in UTF-8 on
// disk and handed to the engine in Shift-JIS. Every save rewrites the file
// atomically, so a crash never leaves half a file behind.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class SettingsStore {
 public:
  SettingsStore() = default;
  explicit SettingsStore(std::string native_path);

  // Reads the file; a missing file gives an empty store. Lines that are
  // not "Name=value" are skipped, so a damaged file loses only those lines.
  void load();
  // Writes the file if anything changed; false when it cannot be written.
  bool save();

  std::optional<int32_t> get_int(std::string_view name) const;
  std::optional<std::string> get_string(std::string_view name) const;  // Shift-JIS
  void set_int(std::string_view name, int32_t value);
  void set_string(std::string_view name, std::string_view sjis_value);

  const std::string& path() const { return path_; }
  bool dirty() const { return dirty_; }

 private:
  std::string path_;
  std::map<std::string, std::string, std::less<>> values_;  // name -> UTF-8 text
  bool dirty_ = false;
};

}  // namespace plat
