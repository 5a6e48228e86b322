#include "shell/settings.h"

#include <algorithm>

#include "core/engine.h"
#include "core/env_file.h"

namespace shell {

int32_t default_of(rt::Engine& e, const SettingDef& d) {
  return d.env_default ? rt::env_int(e, d.env_default, d.fallback) : d.fallback;
}

int32_t get(rt::Engine& e, const SettingDef& d) {
  const int32_t v = e.settings.get_int(d.name).value_or(default_of(e, d));
  return std::clamp(v, d.lowest, d.highest);
}

void put(rt::Engine& e, const SettingDef& d, int32_t value) {
  e.settings.set_int(d.name, value);
  e.settings.save();  // a failed write keeps the value for this run
}

}  // namespace shell
