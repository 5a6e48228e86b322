// The built-in catalogue against the handler tables every subsystem
// registers.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/engine.h"
#include "script/builtins.h"
#include "script/script_machine.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

namespace {

// Built-ins of the catalogue that no subsystem handles yet (a script that
// calls one gets the undefined report). This list may only shrink: a new
// unhandled built-in fails the test, and so does a handled one still listed.
const std::set<std::string> kNotYetHandled = {
};

TEST(Catalogue, BuiltinsWithoutAHandlerOnlyShrink) {
  testing_support::TempDir game;
  auto e = testing_support::make_engine(game.path());
  std::set<std::string> unhandled;
  for (const rt::BuiltinSlot& slot : e->vm->builtins)
    if (!slot.handler) unhandled.insert(slot.info->name);
  std::string added, done;
  for (const std::string& name : unhandled)
    if (!kNotYetHandled.count(name)) added += " " + name;
  for (const std::string& name : kNotYetHandled)
    if (!unhandled.count(name)) done += " " + name;
  EXPECT_EQ(added, "") << "built-ins that lost their handler";
  EXPECT_EQ(done, "") << "handled now: take them off the list";
}

// The assembler and the disassembler find built-ins by name.
TEST(Catalogue, NamesAreUniqueAndFoundBothWays) {
  auto catalogue = rt::builtin_catalogue();
  std::set<std::string> names;
  for (size_t i = 0; i < catalogue.size(); ++i) {
    EXPECT_TRUE(names.insert(catalogue[i].name).second) << catalogue[i].name;
    EXPECT_TRUE(catalogue[i].group >= 1 && catalogue[i].group <= 3) << catalogue[i].name;
    EXPECT_EQ(rt::find_builtin_info(catalogue[i].key), &catalogue[i]);
    EXPECT_EQ(rt::find_builtin_info(std::string_view(catalogue[i].name)), &catalogue[i]);
  }
}

}  // namespace
