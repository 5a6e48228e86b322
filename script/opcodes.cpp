#include "script/opcodes.h"

namespace rt {

const OpcodeInfo* find_opcode(uint16_t code) {
  for (const OpcodeInfo& o : kOpcodes)
    if (o.code == code) return &o;
  return nullptr;
}

const OpcodeInfo* find_opcode(std::string_view name) {
  for (const OpcodeInfo& o : kOpcodes)
    if (o.name == name) return &o;
  return nullptr;
}

}  // namespace rt
