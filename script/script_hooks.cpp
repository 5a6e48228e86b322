#include "script/script_hooks.h"

#include "script/interpreter.h"
#include "script/threads.h"

namespace rt {

void call_script_hook(Engine& e, Thread& t, uint32_t key, std::span<const Value> args) {
  const CodeAddress address = find_function(e, key, t.frame().pc);
  if (address == 0 || !thread_exists(e, &t)) return;
  t.frame().discard = 1;
  push_frame(e, t);
  // The first argument lies topmost, under the count.
  for (size_t i = args.size(); i-- > 0;) {
    Value v = args[i];
    retain(v);
    push(e, t, v);
  }
  push(e, t, int_value(static_cast<int32_t>(args.size())));
  Frame& f = t.frame();
  f.base = f.stack_top;
  f.set_pc(address);
}

}  // namespace rt
