#include "script/script_machine.h"

#include "base/text_file.h"

namespace rt {

ScriptMachine::ScriptMachine() = default;

ScriptMachine::~ScriptMachine() {
  // Threads hold references into the stores; release them first.
  threads.clear();
}

}  // namespace rt
