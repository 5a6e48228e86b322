// The bridge between the scripts' match variables and the engine's working
// copy (Table). Every mahjong built-in imports before it works and exports
// after. Variables are found by name like every script variable; names
// with "#" before the "@" are int arrays, copied element by element up to
// the smaller of the two sizes, the others are ints.
//
// A variable the scripts have not defined, or one of another kind, is
// reported through the script error report and the working copy keeps its
// value; it is reported once per built-in call.
#pragma once

#include <span>
#include <string_view>

#include "mahjong/table.h"

namespace rt { struct Engine; }

namespace mj {

enum class Direction { Both, In, Out };

struct BridgeVariable {
  const char* name;  // full name, e.g. "@M_my_score@GLOBAL"
  Direction direction;
  std::span<int> (*field)(Table& t);
  bool array() const;
};

// Every bridge variable, in the order they are exchanged.
std::span<const BridgeVariable> bridge_variables();

void import_table(rt::Engine& e, Table& t);
void export_table(rt::Engine& e, Table& t);

}  // namespace mj
