#include "core/messages.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "core/engine.h"
#include "res/en/all.h"

namespace rt {
namespace {

// A format split into literal text and printf directives.
struct Piece {
  bool directive;
  std::string text;  // the literal, or the directive ("%s", "%08X")
};

std::vector<Piece> split_format(std::string_view format) {
  std::vector<Piece> pieces;
  std::string literal;
  for (size_t i = 0; i < format.size(); ++i) {
    unsigned char c = format[i];
    // A Shift-JIS lead byte's second byte may be '%': copy both.
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      literal += format.substr(i, 2);
      ++i;
      continue;
    }
    if (c != '%' || i + 1 >= format.size()) {
      literal += static_cast<char>(c);
      continue;
    }
    if (format[i + 1] == '%') {
      literal += '%';
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < format.size() && (std::isdigit(static_cast<unsigned char>(format[end])) || format[end] == '-' ||
                                   format[end] == '.' || format[end] == 'l'))
      ++end;
    if (end >= format.size()) break;
    if (!literal.empty()) pieces.push_back({false, literal});
    literal.clear();
    pieces.push_back({true, std::string(format.substr(i, end - i + 1))});
    i = end;
  }
  if (!literal.empty()) pieces.push_back({false, literal});
  return pieces;
}

// How much of `text` from `at` a number directive takes.
size_t number_length(std::string_view text, size_t at, char conversion) {
  size_t n = at;
  if (conversion == 'd' || conversion == 'i' || conversion == 'f') {
    if (n < text.size() && (text[n] == '-' || text[n] == '+')) ++n;
    while (n < text.size() && (std::isdigit(static_cast<unsigned char>(text[n])) || (conversion == 'f' && text[n] == '.')))
      ++n;
  } else {
    while (n < text.size() && std::isxdigit(static_cast<unsigned char>(text[n]))) ++n;
  }
  return n - at;
}

struct Pattern {
  std::vector<Piece> japanese, english;
  size_t literal_bytes = 0;
};

// Matches the pattern at `start`; the values and the end on success.
std::optional<size_t> match_at(const Pattern& p, std::string_view text, size_t start, std::vector<std::string>* values) {
  size_t at = start;
  for (size_t k = 0; k < p.japanese.size(); ++k) {
    const Piece& piece = p.japanese[k];
    if (!piece.directive) {
      if (text.substr(at, piece.text.size()) != piece.text) return std::nullopt;
      at += piece.text.size();
      continue;
    }
    const char conversion = piece.text.back();
    if (conversion == 's') {
      // Up to the next literal (the shortest), or to the end of the line.
      size_t end;
      if (k + 1 < p.japanese.size()) {
        end = text.find(p.japanese[k + 1].text, at);
        if (end == std::string_view::npos) return std::nullopt;
      } else {
        end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
      }
      values->emplace_back(text.substr(at, end - at));
      at = end;
    } else {
      size_t n = number_length(text, at, conversion);
      if (n == 0) return std::nullopt;
      values->emplace_back(text.substr(at, n));
      at += n;
    }
  }
  return at;
}

const std::vector<Pattern>& english_patterns() {
  static const std::vector<Pattern> patterns = [] {
    std::vector<Pattern> all;
    for (const auto* table : msg_en::kAllTables) {
      for (size_t i = 0; table[i][0]; ++i) {
        Pattern p{split_format(table[i][0]), split_format(table[i][1]), 0};
        // A pattern must begin with text of its own to be found.
        if (p.japanese.empty() || p.japanese.front().directive) continue;
        for (const Piece& piece : p.japanese)
          if (!piece.directive) p.literal_bytes += piece.text.size();
        all.push_back(std::move(p));
      }
    }
    // The most specific first: "sprite_create : ..." before "...".
    std::stable_sort(all.begin(), all.end(),
                     [](const Pattern& a, const Pattern& b) { return a.literal_bytes > b.literal_bytes; });
    return all;
  }();
  return patterns;
}

}  // namespace

std::string localise(std::string_view lang, std::string_view text) {
  if (lang != "en") return std::string(text);
  std::string out(text);
  for (const Pattern& p : english_patterns()) {
    const std::string& first = p.japanese.front().text;
    for (size_t at = out.find(first); at != std::string::npos; at = out.find(first, at)) {
      std::vector<std::string> values;
      auto end = match_at(p, out, at, &values);
      if (!end) {
        ++at;
        continue;
      }
      std::string english;
      size_t v = 0;
      for (const Piece& piece : p.english) english += piece.directive ? (v < values.size() ? values[v++] : "") : piece.text;
      out.replace(at, *end - at, english);
      at += english.size();
    }
  }
  return out;
}

std::string localise(const Engine& e, std::string_view text) { return localise(e.options.lang, text); }

}  // namespace rt
