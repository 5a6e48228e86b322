// The table of environment keys (the source of docs/environment.md) matches
// what the engine's code reads: every key read is listed, with the same
// kind, default and buffer size.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace {

struct Listed {
  std::string kind;
  int size;
  std::string fallback;
};

std::map<std::string, Listed> listed_keys() {
  std::map<std::string, Listed> keys;
#define QUOREL_ENV_KEY(name, kind, size, fallback, read_by) keys[name] = {#kind, size, fallback};
#include "core/env_keys.def"
#undef QUOREL_ENV_KEY
  return keys;
}

TEST(EnvKeys, EveryKeyTheCodeReadsIsListedWithItsDefault) {
  const auto keys = listed_keys();
  const std::regex int_read(R"re(env_int\(\s*[\w.]+\s*,\s*"([A-Z0-9_]+)"\s*,\s*(-?\d+)\s*\))re");
  const std::regex string_read(R"re(env_string\(\s*[\w.]+\s*,\s*"([A-Z0-9_]+)"\s*,\s*(\d+)\s*,)re");
  int reads = 0;
  for (const char* folder : {"app", "core", "resources", "script", "graphics", "text", "sound", "shell",
                             "persistence", "mahjong"}) {
    const std::filesystem::path dir = std::filesystem::path(QUOREL_SOURCE_DIR) / folder;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
      if (entry.path().extension() != ".cpp") continue;
      std::ifstream in(entry.path());
      std::stringstream text;
      text << in.rdbuf();
      const std::string source = text.str();
      const std::string where = entry.path().filename().string();
      for (std::sregex_iterator m(source.begin(), source.end(), int_read), end; m != end; ++m, ++reads) {
        auto it = keys.find((*m)[1]);
        ASSERT_NE(it, keys.end()) << (*m)[1] << " (read in " << where << ") is not in core/env_keys.def";
        EXPECT_EQ(it->second.kind, "int") << (*m)[1];
        EXPECT_EQ(it->second.fallback, (*m)[2].str()) << (*m)[1] << " in " << where;
      }
      for (std::sregex_iterator m(source.begin(), source.end(), string_read), end; m != end; ++m, ++reads) {
        auto it = keys.find((*m)[1]);
        ASSERT_NE(it, keys.end()) << (*m)[1] << " (read in " << where << ") is not in core/env_keys.def";
        EXPECT_EQ(it->second.kind, "string") << (*m)[1];
        EXPECT_EQ(std::to_string(it->second.size), (*m)[2].str()) << (*m)[1] << " in " << where;
      }
    }
  }
  EXPECT_GT(reads, 15) << "the pattern no longer finds the engine's reads";
}

}  // namespace
