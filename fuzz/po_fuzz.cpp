// The PO reader of quorel-text on arbitrary bytes: what it accepts, it
// writes back and reads again to the same entries.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/text/po.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<quorel_text::PoEntry> entries, again;
  std::string error;
  if (!quorel_text::parse_po(std::string_view(reinterpret_cast<const char*>(data), size), &entries, &error)) {
    if (error.rfind("line ", 0) != 0) std::abort();  // every refusal names its line
    return 0;
  }
  for (auto& e : entries) e.line = 0;
  const std::string written = quorel_text::write_po("fuzz", entries);
  if (!quorel_text::parse_po(written, &again, &error)) std::abort();
  if (again.size() != entries.size()) std::abort();
  for (size_t i = 0; i < again.size(); ++i)
    if (again[i].context != entries[i].context || again[i].source != entries[i].source ||
        again[i].translation != entries[i].translation || again[i].fuzzy != entries[i].fuzzy)
      std::abort();
  return 0;
}
