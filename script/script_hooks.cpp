#include "script/script_hooks.h"

#include <cstdio>

#include "script/interpreter.h"
#include "script/script_file.h"
#include "script/threads.h"

namespace rt {

void call_script_hook(Engine& e, Thread& t, uint32_t key, std::span<const Value> args) {
  // The engine's own report gives only the key: say which hook it is and
  // how a script defines it.
  if (lookup_function(e, key, t.frame().pc) == 0) {
    if (const HookInfo* hook = find_hook(key))
      std::fprintf(stderr, "quorel: the game's scripts do not define the hook %s (0x%08X, called when %s); "
                   "declare it with \".hook %s\" in a script\n", hook->name, key, hook->when, hook->name);
  }
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
