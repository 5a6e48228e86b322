// Gettext PO files as quorel-text reads and writes them: one entry per text
// of a compiled script, its context "SCRIPT:LINE", the original as msgid.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorel_text {

struct PoEntry {
  std::vector<std::string> comments;  // "#." lines, without the "#. "
  std::string context;                // msgctxt
  std::string source;                 // msgid
  std::string translation;            // msgstr ("" = untranslated)
  bool fuzzy = false;                 // "#, fuzzy": not to be used yet
  int line = 0;                       // where the entry starts in the file
};

// The entries of a PO file (the header entry, msgid "", is left out).
// False with a message naming the line when the file is not a PO file this
// tool can take: not UTF-8, a syntax error, plural forms, a context twice.
bool parse_po(std::string_view text, std::vector<PoEntry>* entries, std::string* error);

// A PO file: the header, then the entries.
std::string write_po(std::string_view project, const std::vector<PoEntry>& entries);

// The text as a quoted PO string, split at line breaks as gettext does.
std::string po_string(std::string_view text);

}  // namespace quorel_text
