#include "runtime/script_machine.h"

#include "runtime/text_file.h"

namespace rt {

ScriptMachine::ScriptMachine() = default;

ScriptMachine::~ScriptMachine() {
  // Threads hold references into the stores; release them first.
  threads.clear();
}

}  // namespace rt
