// Shared by the text tests: Shift-JIS literals and engines whose glyphs
// have fixed metrics.
#pragma once

#include <memory>
#include <string>

#include "core/engine.h"
#include "platform/encoding.h"
#include "script/threads.h"
#include "tests/support/test_engine.h"
#include "text/text_state.h"

namespace text_helpers {

// Shift-JIS bytes of UTF-8 source text.
inline std::string sj(const std::string& utf8) { return plat::utf8_to_sjis(utf8).value(); }

// A headless engine with a main thread; `fixed` glyphs make double-byte
// characters 2 × width and single-byte ones width pixels wide.
inline std::unique_ptr<rt::Engine> engine(const std::string& dir, bool fixed = true) {
  auto e = testing_support::make_engine(dir);
  if (fixed) e->text->glyphs = txt::make_fixed_glyphs();
  rt::make_current(*e, rt::create_thread(*e, 0));
  return e;
}

}  // namespace text_helpers
