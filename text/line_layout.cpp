#include "text/line_layout.h"

#include "base/sjis.h"
#include "text/render.h"

namespace txt {

bool in_kinsoku_set(std::string_view set, std::string_view ch) {
  if (ch.size() != 2) return false;
  // Character by character, so that the trail byte of one character and
  // the lead byte of the next never make a false match.
  for (size_t i = 0; i < set.size(); i += base::sjis_char_size(set, i))
    if (set.substr(i, 2) == ch) return true;
  return false;
}

LineBreak break_line(std::string_view text, int available, int font_width, bool force_one, const KinsokuRules& rules,
                     const std::function<int(uint32_t code)>& advance) {
  struct Taken {
    size_t at, size;
  };
  std::vector<Taken> taken;
  LineBreak out;
  int64_t sum = 0;
  for (size_t i = 0; i < text.size();) {
    Char c = char_at(text, i);
    const int a = advance(c.code);
    if (sum + a > available && !(force_one && taken.empty())) break;
    taken.push_back({i, c.size});
    out.advances.push_back(a);
    sum += a;
    i += c.size;
  }
  auto ch = [&](size_t k) { return text.substr(taken[k].at, taken[k].size); };
  auto drop = [&](size_t n) {
    for (size_t k = 0; k < n; ++k) {
      sum -= out.advances.back();
      out.advances.pop_back();
      taken.pop_back();
    }
  };
  const size_t n = taken.size();
  if (n >= 2) {
    const size_t rest = taken[n - 1].at + taken[n - 1].size;
    const std::string_view r0 = rest < text.size() ? text.substr(rest, char_at(text, rest).size) : std::string_view();
    const bool l_no_end = in_kinsoku_set(rules.no_end, ch(n - 1));
    const bool l_no_start = in_kinsoku_set(rules.no_start, ch(n - 1));
    const bool r_no_start = in_kinsoku_set(rules.no_start, r0);
    const bool p_no_end = in_kinsoku_set(rules.no_end, ch(n - 2));
    if (rules.type == 1) {
      if (sum + 2 * static_cast<int64_t>(font_width) > available && !(l_no_start && !r_no_start)) {
        if (!p_no_end) drop(1);
        else if (n >= 3) drop(2);
      }
    } else if ((l_no_end || r_no_start) && !p_no_end) {
      drop(1);
    }
  }
  out.bytes = taken.empty() ? 0 : taken.back().at + taken.back().size;
  out.sum = static_cast<int>(sum);
  return out;
}

int indent_after(std::string_view line, const std::vector<int>& advances, int indent, const IndentRules& rules) {
  int64_t sum = 0;
  size_t k = 0;
  for (size_t i = 0; i < line.size(); ++k) {
    Char c = char_at(line, i);
    std::string_view s = line.substr(i, c.size);
    i += c.size;
    sum += k < advances.size() ? advances[k] : 0;
    const bool opens = s == rules.open_quote || (rules.parens && s == rules.open_paren);
    const bool closes = s == rules.close_quote || (rules.parens && s == rules.close_paren);
    if (opens) indent = rules.space_indent ? static_cast<int>(rules.offset + sum) : 0;
    if (closes) indent = 0;
  }
  return indent;
}

bool justify_line(std::vector<int>& advances, int available, int sum) {
  const int g = static_cast<int>(advances.size()) - 1;
  int leftover = available - sum;
  if (g <= 2 || leftover < 0) return false;
  if (leftover >= g) {
    for (int i = 0; i < g; ++i) advances[i] += leftover / g;
    leftover %= g;
  }
  for (int i = 0; i < leftover; ++i) advances[static_cast<size_t>(i) * g / (leftover + 1)] += 1;
  return true;
}

}  // namespace txt
