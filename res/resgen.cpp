// Build tool: turns a message table written in UTF-8 into a C++ header of
// Shift-JIS byte strings, so that the sources stay readable while the engine
// holds its texts in its own code page.
//
// Input lines:   kName = "text with \n, \" and \\ escapes"
// Blank lines and lines starting with "#" are skipped.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/encoding.h"

namespace {

bool parse_literal(const std::string& line, size_t pos, std::string* out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  for (size_t i = pos + 1; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') return true;
    if (c == '\\' && i + 1 < line.size()) {
      char e = line[++i];
      *out += e == 'n' ? '\n' : e == 't' ? '\t' : e;
    } else {
      *out += c;
    }
  }
  return false;
}

std::string c_literal(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    if (c == '\n') out += "\\n";
    else if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c >= 0x20 && c < 0x7F && c != '?') out += static_cast<char>(c);
    else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);  // octal: never swallows a following digit
      out += buf;
    }
  }
  return out + "\"";
}

struct Row {
  std::string name, sjis, comment;
};

// The rows of a table; false (with a message) on a bad line.
bool read_table(const char* path, std::vector<Row>* rows) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "quorel-resgen: cannot read " << path << "\n";
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t eq = line.find('=', start);
    size_t quote = line.find('"', eq == std::string::npos ? start : eq);
    std::string name = eq == std::string::npos ? "" : line.substr(start, line.find_last_not_of(" \t", eq - 1) - start + 1);
    std::string text;
    if (name.empty() || quote == std::string::npos || !parse_literal(line, quote, &text)) {
      std::cerr << path << ":" << number << ": expected  kName = \"text\"\n";
      return false;
    }
    auto sjis = plat::utf8_to_sjis(text);
    if (!sjis) {
      std::cerr << path << ":" << number << ": text has characters Shift-JIS cannot hold\n";
      return false;
    }
    rows->push_back({name, *sjis, line.substr(quote)});
  }
  return true;
}

bool write_if_changed(const char* path, const std::string& result) {
  // Rewrite only on change, so dependants are not rebuilt needlessly.
  std::ifstream old(path, std::ios::binary);
  std::string previous((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
  if (previous == result) return true;
  std::ofstream file(path, std::ios::binary);
  file << result;
  return static_cast<bool>(file);
}

}  // namespace

// quorel-resgen INPUT.msg OUTPUT.h NAMESPACE: the texts as constants.
// quorel-resgen --pairs JA.msg EN.msg OUTPUT.h NAME: a table of the texts
// that differ, {Japanese, English}, for the English catalogue.
int main(int argc, char** argv) {
  if (argc == 6 && std::string(argv[1]) == "--pairs") {
    std::vector<Row> ja, en;
    if (!read_table(argv[2], &ja) || !read_table(argv[3], &en)) return 1;
    std::ostringstream out;
    out << "// Generated from " << argv[2] << " and " << argv[3] << " by quorel-resgen. Do not edit.\n#pragma once\n\n"
        << "namespace msg_en {\n\n// {Japanese, English} of every text that differs.\ninline constexpr const char* "
        << argv[5] << "[][2] = {\n";
    for (const Row& j : ja)
      for (const Row& e : en)
        if (e.name == j.name && e.sjis != j.sjis) out << "    {" << c_literal(j.sjis) << ", " << c_literal(e.sjis) << "},\n";
    out << "    {nullptr, nullptr}};\n\n}  // namespace msg_en\n";
    return write_if_changed(argv[4], out.str()) ? 0 : 1;
  }
  if (argc != 4) {
    std::cerr << "usage: quorel-resgen INPUT.msg OUTPUT.h NAMESPACE\n       quorel-resgen --pairs JA.msg EN.msg OUTPUT.h NAME\n";
    return 2;
  }
  std::vector<Row> rows;
  if (!read_table(argv[1], &rows)) return 1;
  std::ostringstream out;
  out << "// Generated from " << argv[1] << " by quorel-resgen. Do not edit.\n#pragma once\n\nnamespace "
      << argv[3] << " {\n\n";
  for (const Row& r : rows)
    out << "inline constexpr char " << r.name << "[] = " << c_literal(r.sjis) << ";  // " << r.comment << "\n";
  out << "\n}  // namespace " << argv[3] << "\n";
  return write_if_changed(argv[2], out.str()) ? 0 : 1;
}
