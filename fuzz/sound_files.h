// Files served from memory to the sound decoders, for the fuzz targets.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sound/sound_files.h"

class MemoryFiles final : public snd::FileAccess {
 public:
  std::map<std::string, std::vector<uint8_t>, std::less<>> files;

  std::optional<snd::Located> locate(std::string_view name) override {
    auto it = files.find(name);
    if (it == files.end()) return std::nullopt;
    return snd::Located{it->first, 0, static_cast<uint32_t>(it->second.size())};
  }
  int64_t read_at(const std::string& path, int64_t offset, void* buffer, size_t size) override {
    auto it = files.find(path);
    if (it == files.end() || offset < 0 || static_cast<size_t>(offset) > it->second.size()) return -1;
    size = std::min(size, it->second.size() - static_cast<size_t>(offset));
    if (size > 0) std::memcpy(buffer, it->second.data() + offset, size);  // an empty read may name no buffer
    return static_cast<int64_t>(size);
  }
};
