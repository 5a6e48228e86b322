// How the decoders reach their files: by resource name once, to find the
// file (or the archive holding it) and the member's extent, and then by
// path and offset for every read, reopening the file each time so that no
// stream holds a file open between reads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace rt { struct Engine; }

namespace snd {

struct Located {
  std::string path;   // native path of the file or of the archive holding it
  int64_t base = 0;   // offset of the first byte in `path`
  uint32_t size = 0;  // bytes that belong to the file
};

class FileAccess {
 public:
  virtual ~FileAccess() = default;
  // Finds a file by resource name; nullopt when it does not exist.
  virtual std::optional<Located> locate(std::string_view name) = 0;
  // Opens `path`, reads up to `size` bytes at `offset` and closes it.
  // Returns the bytes read, or -1 when the file cannot be opened or sought.
  virtual int64_t read_at(const std::string& path, int64_t offset, void* buffer, size_t size) = 0;
};

// Through the engine's resource folders and archives.
std::unique_ptr<FileAccess> resource_files(rt::Engine& e);

}  // namespace snd
