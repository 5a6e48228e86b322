// Compiled-script files: the header and function table, the decoding of the
// code, and the disassembler's promise that its output assembles to the
// same bytes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "script/script_file.h"
#include "script/translate.h"
#include "tools/asm/assembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  auto image = rt::parse_script_image(bytes);
  // The code alone, too: decoding must cope with any bytes.
  rt::DecodedCode raw = rt::decode_code(bytes);
  if (raw.insns.size() < 2) std::abort();
  if (!image) return 0;
  std::vector<uint32_t> entries;
  for (const auto& f : image->functions) entries.push_back(f.offset);
  rt::DecodedCode code = rt::decode_code(image->code, entries);
  for (const rt::Insn& in : code.insns)
    if (in.offset > image->code.size()) std::abort();

  std::vector<uint8_t> object(data, data + size);
  // What follows the code block is not part of the file's meaning.
  object.resize(28 + 8 * image->functions.size() + 4 + image->code.size());
  std::string text, error;
  if (!quorel_asm::disassemble(object, &text, &error)) std::abort();
  quorel_asm::AssembleResult again = quorel_asm::assemble(text);
  if (!again.ok() || again.object != rt::write_script_image(*image)) std::abort();
  return 0;
}
