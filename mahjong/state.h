// The mahjong engine's state, owned by the engine (rt::Engine::mahjong).
#pragma once

#include "mahjong/evaluate.h"
#include "mahjong/table.h"
#include "mahjong/wall.h"

namespace mj {

struct State {
  Table table;      // working copy of the scripts' match variables
  Wall wall;        // lives only in the engine
  MjHand last;      // the last evaluation, for get_yaku_stat
};

}  // namespace mj
