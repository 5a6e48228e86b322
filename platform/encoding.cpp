#include "platform/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace plat {
namespace {

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

void reset(void* cd) { iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr); }

// Converts in one pass; on an invalid sequence either substitutes (when
// `replacement` is given, skipping one input byte) or gives up.
std::optional<std::string> convert(void* cd, std::string_view in, const char* replacement) {
  std::string out;
  if (cd == kInvalid) return std::nullopt;
  reset(cd);
  out.reserve(in.size() * 3 / 2 + 4);
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char buffer[1024];
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    size_t r = iconv(static_cast<iconv_t>(cd), &src, &left, &dst, &room);
    out.append(buffer, dst - buffer);
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (!replacement) return std::nullopt;
    out += replacement;  // EILSEQ or EINVAL (a truncated sequence at the end)
    ++src;
    --left;
    reset(cd);
  }
  return out;
}

bool is_ascii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

SjisConverter::SjisConverter()
    : to_utf8_(iconv_open("UTF-8", "CP932")), to_sjis_(iconv_open("CP932", "UTF-8")) {}

SjisConverter::~SjisConverter() {
  if (to_utf8_ != kInvalid) iconv_close(static_cast<iconv_t>(to_utf8_));
  if (to_sjis_ != kInvalid) iconv_close(static_cast<iconv_t>(to_sjis_));
}

std::string SjisConverter::to_utf8(std::string_view sjis) {
  if (is_ascii(sjis)) return std::string(sjis);
  return *convert(to_utf8_, sjis, "\xEF\xBF\xBD");
}

std::optional<std::string> SjisConverter::to_sjis(std::string_view utf8) {
  if (is_ascii(utf8)) return std::string(utf8);
  return convert(to_sjis_, utf8, nullptr);
}

std::string sjis_to_utf8(std::string_view sjis) {
  if (is_ascii(sjis)) return std::string(sjis);
  SjisConverter c;
  return c.to_utf8(sjis);
}

std::optional<std::string> utf8_to_sjis(std::string_view utf8) {
  if (is_ascii(utf8)) return std::string(utf8);
  SjisConverter c;
  return c.to_sjis(utf8);
}

bool is_valid_utf8(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    unsigned char c = text[i];
    int extra;
    uint32_t cp;
    if (c < 0x80) { ++i; continue; }
    else if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
    else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
    else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
    else return false;
    if (i + extra >= n) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = text[i + k];
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr uint32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace plat
