#include "shell/settings.h"

#include <algorithm>
#include <string>

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

namespace {

constexpr const char* kScale = "Scale";
constexpr const char* kFilter = "Filter";
constexpr const char* kRenderer = "Renderer";

std::string port_word(rt::Engine& e, const char* name) {
  std::string v = e.settings.get_string(name, plat::Section::Port).value_or("");
  // Edited by hand, perhaps: blanks around the word and letter case do not count.
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.pop_back();
  size_t i = 0;
  while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
  v.erase(0, i);
  for (char& c : v)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return v;
}

}  // namespace

const char* renderer_word(plat::Renderer r) {
  return r == plat::Renderer::Gpu ? "gpu" : r == plat::Renderer::Software ? "software" : "auto";
}

ViewSettings saved_view(rt::Engine& e) {
  ViewSettings v;
  const std::string scale = port_word(e, kScale);
  if (scale.size() == 1 && scale[0] >= '1' && scale[0] <= '0' + ViewSettings::kMaxScale) v.scale = scale[0] - '0';
  v.linear_filter = port_word(e, kFilter) == "linear";
  const std::string renderer = port_word(e, kRenderer);
  for (plat::Renderer r : {plat::Renderer::Gpu, plat::Renderer::Software})
    if (renderer == renderer_word(r)) v.renderer = r;
  return v;
}

void save_view(rt::Engine& e, const ViewSettings& v) {
  e.settings.set_int(kScale, v.scale, plat::Section::Port);
  e.settings.set_string(kFilter, v.linear_filter ? "linear" : "nearest", plat::Section::Port);
  e.settings.set_string(kRenderer, renderer_word(v.renderer), plat::Section::Port);
  e.settings.save();
}

void put(rt::Engine& e, const SettingDef& d, int32_t value) {
  e.settings.set_int(d.name, value);
  e.settings.save();  // a failed write keeps the value for this run
}

}  // namespace shell
