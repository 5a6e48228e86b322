// Shift-JIS (code page 932) <-> UTF-8, used where text leaves the engine:
// window title, message boxes, clipboard, stderr, the debug log, file names
// on disk. Inside the engine text stays Shift-JIS.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plat {

// Bytes that cannot be decoded become U+FFFD; never fails.
std::string sjis_to_utf8(std::string_view sjis);

// nullopt when the text is not valid UTF-8 or has characters CP932 lacks.
std::optional<std::string> utf8_to_sjis(std::string_view utf8);

bool is_valid_utf8(std::string_view text);

// A converter that keeps its iconv descriptors open, for bulk work such as
// a directory scan of many thousand names.
class SjisConverter {
 public:
  SjisConverter();
  ~SjisConverter();
  SjisConverter(const SjisConverter&) = delete;
  SjisConverter& operator=(const SjisConverter&) = delete;

  std::string to_utf8(std::string_view sjis);
  std::optional<std::string> to_sjis(std::string_view utf8);

 private:
  void* to_utf8_;  // iconv_t
  void* to_sjis_;  // iconv_t
};

}  // namespace plat
