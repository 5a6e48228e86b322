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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: quorel-resgen INPUT.msg OUTPUT.h NAMESPACE\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "quorel-resgen: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ostringstream out;
  out << "// Generated from " << argv[1] << " by quorel-resgen. Do not edit.\n#pragma once\n\nnamespace "
      << argv[3] << " {\n\n";
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
      std::cerr << argv[1] << ":" << number << ": expected  kName = \"text\"\n";
      return 1;
    }
    auto sjis = plat::utf8_to_sjis(text);
    if (!sjis) {
      std::cerr << argv[1] << ":" << number << ": text has characters Shift-JIS cannot hold\n";
      return 1;
    }
    std::string comment = line.substr(quote);
    out << "inline constexpr char " << name << "[] = " << c_literal(*sjis) << ";  // " << comment << "\n";
  }
  out << "\n}  // namespace " << argv[3] << "\n";
  std::string result = out.str();
  // Rewrite only on change, so dependants are not rebuilt needlessly.
  std::ifstream old(argv[2], std::ios::binary);
  std::string previous((std::istreambuf_iterator<char>(old)), std::istreambuf_iterator<char>());
  if (previous == result) return 0;
  std::ofstream file(argv[2], std::ios::binary);
  file << result;
  return file ? 0 : 1;
}
