// The per-user settings store: one INI-like file of "Name=value" lines per
// game, in place of the registry key the game was written for. Values are
// kept as text (integers in decimal); text values are stored in UTF-8 on
// disk and handed to the engine in Shift-JIS. Every save rewrites the file
// atomically, so a crash never leaves half a file behind.
//
// Names match without regard to the case of their letters, as the
// registry's do. The game's values come first in the file; the port's own
// values (window scale, filter and the like, which the game was never
// written for) follow under "[quorel]", a section of their own that the
// game's scripts cannot reach.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

enum class Section { Game, Port };

// Decimal conversion as the registry's readers did it: leading blanks, a
// sign, then digits up to the first other character; no digits give 0, and
// a value beyond the 32-bit range gives its nearest end.
int32_t parse_decimal(std::string_view text);

class SettingsStore {
 public:
  SettingsStore() = default;
  explicit SettingsStore(std::string native_path);

  // Reads the file; a missing file gives an empty store. Lines that are
  // not "Name=value" are skipped, so a damaged file loses only those lines;
  // of a name given twice the last line counts.
  void load();
  // Writes the file if anything changed; false when it cannot be written.
  bool save();

  std::optional<int32_t> get_int(std::string_view name, Section section = Section::Game) const;
  std::optional<std::string> get_string(std::string_view name, Section section = Section::Game) const;  // Shift-JIS
  void set_int(std::string_view name, int32_t value, Section section = Section::Game);
  void set_string(std::string_view name, std::string_view sjis_value, Section section = Section::Game);

  const std::string& path() const { return path_; }
  bool dirty() const { return dirty_; }

 private:
  struct NoCase {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using Values = std::map<std::string, std::string, NoCase>;  // UTF-8 name -> UTF-8 text

  Values& values(Section s) { return s == Section::Port ? port_ : game_; }
  const Values& values(Section s) const { return s == Section::Port ? port_ : game_; }
  void set_text(std::string_view sjis_name, std::string text, Section section);

  std::string path_;
  Values game_, port_;
  bool dirty_ = false;
  bool write_failure_said_ = false;
};

}  // namespace plat
