#include "tools/text/po.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

namespace quorel_text {
namespace {

bool valid_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = s[i];
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    if (n == 2 && c < 0xC2) return false;  // overlong
    i += n;
  }
  return true;
}

std::string trim(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return std::string(s.substr(a, b - a));
}

// A quoted string with C escapes; false when it is not one.
bool unquote(std::string_view s, std::string* out) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
  s = s.substr(1, s.size() - 2);
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return false;
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (++i >= s.size()) return false;
    switch (char e = s[i]) {
      case 'n': *out += '\n'; break;
      case 't': *out += '\t'; break;
      case 'r': *out += '\r'; break;
      case 'a': *out += '\a'; break;
      case 'b': *out += '\b'; break;
      case 'f': *out += '\f'; break;
      case 'v': *out += '\v'; break;
      case '\\': case '"': case '\'': case '?': *out += e; break;
      case 'x': {
        int v = 0, digits = 0;
        while (i + 1 < s.size() && digits < 2 && std::isxdigit(static_cast<unsigned char>(s[i + 1]))) {
          char h = s[++i];
          v = v * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
          ++digits;
        }
        if (digits == 0) return false;
        *out += static_cast<char>(v);
        break;
      }
      default: {
        if (e < '0' || e > '7') return false;
        int v = e - '0', digits = 1;
        while (i + 1 < s.size() && digits < 3 && s[i + 1] >= '0' && s[i + 1] <= '7') v = v * 8 + (s[++i] - '0'), ++digits;
        if (v > 255) return false;
        *out += static_cast<char>(v);
      }
    }
  }
  return true;
}

}  // namespace

std::string po_string(std::string_view text) {
  auto quote = [](std::string_view part) {
    std::string q = "\"";
    for (unsigned char c : part) {
      switch (c) {
        case '\n': q += "\\n"; break;
        case '\t': q += "\\t"; break;
        case '\r': q += "\\r"; break;
        case '"': q += "\\\""; break;
        case '\\': q += "\\\\"; break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            q += buf;
          } else {
            q += static_cast<char>(c);
          }
      }
    }
    return q + "\"";
  };
  size_t nl = text.find('\n');
  if (nl == std::string_view::npos || nl + 1 == text.size()) return quote(text);
  // Several lines: an empty first string, then one string per line.
  std::string out = "\"\"";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    end = end == std::string_view::npos ? text.size() : end + 1;
    out += "\n" + quote(text.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

std::string write_po(std::string_view project, const std::vector<PoEntry>& entries) {
  std::string out;
  out += "# Texts of " + std::string(project) + ", written by quorel-text extract.\n";
  out += "# msgctxt is the compiled script and its source line; leave msgstr empty to keep the original.\n";
  out += "msgid \"\"\nmsgstr \"\"\n";
  out += "\"Project-Id-Version: " + std::string(project) + "\\n\"\n";
  out += "\"MIME-Version: 1.0\\n\"\n";
  out += "\"Content-Type: text/plain; charset=UTF-8\\n\"\n";
  out += "\"Content-Transfer-Encoding: 8bit\\n\"\n";
  out += "\"Language: \\n\"\n";
  out += "\"X-Generator: quorel-text\\n\"\n";
  for (const PoEntry& e : entries) {
    out += "\n";
    for (const std::string& c : e.comments) out += "#. " + c + "\n";
    if (std::all_of(e.context.begin(), e.context.end(), [](unsigned char c) { return c >= 0x20; }))
      out += "#: " + e.context + "\n";
    if (e.fuzzy) out += "#, fuzzy\n";
    out += "msgctxt " + po_string(e.context) + "\n";
    out += "msgid " + po_string(e.source) + "\n";
    out += "msgstr " + po_string(e.translation) + "\n";
  }
  return out;
}

bool parse_po(std::string_view text, std::vector<PoEntry>* entries, std::string* error) {
  enum class Field { none, context, source, translation };
  PoEntry current;
  Field field = Field::none;
  bool has_source = false, has_translation = false, pending_flags_fuzzy = false;
  std::vector<std::string> pending_comments;
  int pending_line = 0;
  std::map<std::string, int> seen;
  int line_number = 0;
  auto fail = [&](int line, const std::string& message) {
    *error = "line " + std::to_string(line) + ": " + message;
    return false;
  };
  auto finish = [&]() -> bool {
    if (!has_source) {
      if (field != Field::none) return fail(current.line, "an entry without msgid");
      return true;
    }
    if (!has_translation) return fail(current.line, "an entry without msgstr");
    // Escapes can spell any byte; the texts must still be UTF-8, or the file
    // this tool writes back would be refused.
    if (!valid_utf8(current.context) || !valid_utf8(current.source) || !valid_utf8(current.translation))
      return fail(current.line, "escapes that make text which is not UTF-8");
    if (!current.source.empty() || !current.context.empty()) {
      auto [at, fresh] = seen.emplace(current.context + '\x04' + current.source, current.line);
      if (!fresh)
        return fail(current.line, "the entry \"" + current.context + "\" is there twice (first at line " +
                                      std::to_string(at->second) + ")");
      entries->push_back(current);
    }
    current = PoEntry{};
    field = Field::none;
    has_source = has_translation = false;
    return true;
  };
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    ++line_number;
    pos = end + 1;
    if (!valid_utf8(raw)) return fail(line_number, "not UTF-8 (save the file as UTF-8)");
    std::string line = trim(raw);
    if (line_number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line = line.substr(3);
    if (line.empty()) {
      if (!finish()) return false;
      if (end == text.size()) break;
      continue;
    }
    if (line[0] == '#') {
      // A comment after msgstr begins the next entry.
      if (has_translation && !finish()) return false;
      if (pending_line == 0) pending_line = line_number;
      if (line.rfind("#.", 0) == 0) pending_comments.push_back(trim(std::string_view(line).substr(2)));
      else if (line.rfind("#,", 0) == 0 && line.find("fuzzy") != std::string::npos) pending_flags_fuzzy = true;
      if (end == text.size()) break;
      continue;
    }
    auto keyword = [&](const char* word, Field f) -> int {
      size_t n = std::strlen(word);
      if (line.compare(0, n, word) != 0 || line.size() <= n || (line[n] != ' ' && line[n] != '\t' && line[n] != '"'))
        return 0;
      std::string value;
      if (!unquote(trim(std::string_view(line).substr(n)), &value)) return -1;
      if (f == Field::context || (f == Field::source && field != Field::context)) {
        if (!finish()) return -2;
        current.line = pending_line ? pending_line : line_number;
        current.comments = std::move(pending_comments);
        current.fuzzy = pending_flags_fuzzy;
        pending_comments.clear();
        pending_flags_fuzzy = false;
        pending_line = 0;
      }
      field = f;
      if (f == Field::context) current.context = value;
      if (f == Field::source) current.source = value, has_source = true;
      if (f == Field::translation) current.translation = value, has_translation = true;
      return 1;
    };
    if (line.rfind("msgid_plural", 0) == 0 || line.rfind("msgstr[", 0) == 0)
      return fail(line_number, "plural forms are not used by game texts");
    int r = 0;
    for (auto [word, f] : {std::pair{"msgctxt", Field::context}, {"msgid", Field::source}, {"msgstr", Field::translation}}) {
      if ((r = keyword(word, f)) != 0) break;
    }
    if (r == -2) return false;
    if (r == -1) return fail(line_number, "a broken string (quotes or escapes)");
    if (r == 0) {
      std::string more;
      if (line[0] != '"' || field == Field::none) return fail(line_number, "not a PO line: " + line.substr(0, 60));
      if (!unquote(line, &more)) return fail(line_number, "a broken string (quotes or escapes)");
      if (field == Field::context) current.context += more;
      if (field == Field::source) current.source += more;
      if (field == Field::translation) current.translation += more;
    } else if (field == Field::translation && !has_source) {
      return fail(line_number, "msgstr without msgid");
    }
    if (end == text.size()) break;
  }
  return finish();
}

}  // namespace quorel_text
