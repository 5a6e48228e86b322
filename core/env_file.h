// The environment file: per-game tuning keys ("CLIENT_WIDTH 800"), read
// once at start-up and looked up by exact key. Later lines win over
// earlier ones with the same key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plat { class File; }

namespace rt {

struct Engine;

class EnvFile {
 public:
  // Parses the file's lines (see env_file.cpp for the rules), reading at
  // most `limit` bytes: an environment file inside an archive is followed
  // by other members, which are not part of it.
  void parse(plat::File& file, uint64_t limit = UINT64_MAX);
  // The same over the file's bytes.
  void parse(std::string_view text);
  void clear() { entries_.clear(); }

  // atoi of the value, or `fallback` when the key is absent.
  int32_t get_int(std::string_view key, int32_t fallback) const;
  // The value cut to `size` - 1 bytes (the size of the buffer the game's
  // code reads it into), or `fallback` when the key is absent.
  std::string get_string(std::string_view key, size_t size, std::string_view fallback) const;
  bool has(std::string_view key) const { return find(key) != nullptr; }

  size_t size() const { return entries_.size(); }

  static constexpr int kMaxLines = 400;
  static constexpr size_t kLineBuffer = 512;
  static constexpr size_t kValueSearch = 100;
  // No more than this can reach the parser: each line holds at most 511
  // bytes, each taken from at most two ("\r\n").
  static constexpr size_t kMaxBytes = kMaxLines * (kLineBuffer - 1) * 2;

 private:
  struct Entry {
    std::string key, value;
  };
  const Entry* find(std::string_view key) const;
  std::vector<Entry> entries_;  // in file order; lookups search from the back
};

int32_t env_int(const Engine& e, std::string_view key, int32_t fallback);
std::string env_string(const Engine& e, std::string_view key, size_t size, std::string_view fallback);

}  // namespace rt
