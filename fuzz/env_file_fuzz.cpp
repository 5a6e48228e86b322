// The environment-file parser on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/env_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rt::EnvFile env;
  env.parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (env.size() > rt::EnvFile::kMaxLines) std::abort();
  for (std::string_view key : {"CLIENT_WIDTH", "TITLEBAR", "MAX_FPS", ""}) {
    env.get_int(key, 0);
    // Values are cut to the caller's buffer and never hold a blank or control byte.
    std::string value = env.get_string(key, 128, "default");
    if (value.size() > 127) std::abort();
    if (env.has(key))
      for (unsigned char c : value)
        if (c < ' ') std::abort();
  }
  return 0;
}
