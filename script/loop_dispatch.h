// How the interpreter's loops dispatch, written once for the three of them
// (the general loop, the fast loop and the closed-loop runner): through a
// table of label addresses where the compiler has computed gotos, through a
// switch otherwise, or when QUOREL_SWITCH_DISPATCH is defined (easier to
// step through in a debugger).
//
// A loop reads
//
//   QUOREL_LOOP_BEGIN(fetch, labels[index], switch_value, otherwise)
//   QUOREL_CASE(L_add, case_add) { ...; QUOREL_NEXT(fetch, labels[index]); }
//   QUOREL_LOOP_END()
//
// `fetch` is the statement that takes the next instruction, the label
// expression is the computed target, `switch_value` what the switch tests
// and `otherwise` the statement for values without a case. With computed
// gotos every step ends in its own indirect jump, which the processor
// predicts per step; the switch form funnels them all through one.
#pragma once

#include <array>
#include <cstdint>

#include "script/translate.h"

#if defined(__GNUC__) && !defined(QUOREL_SWITCH_DISPATCH)
#define QUOREL_COMPUTED_GOTO 1
#else
#define QUOREL_COMPUTED_GOTO 0
#endif

#if QUOREL_COMPUTED_GOTO

#define QUOREL_CASE(label, value) label:
#define QUOREL_NEXT(fetch, target) \
  do {                             \
    fetch;                         \
    goto* (target);                \
  } while (0)
#define QUOREL_LOOP_BEGIN(fetch, target, value, otherwise) QUOREL_NEXT(fetch, target);
#define QUOREL_LOOP_END()

namespace rt::interp {

// A loop's table of label addresses indexed by the operation itself, which
// spares each step a load: `labels` in the loop's own numbering, `number`
// mapping each operation to it (0 for what the loop hands back).
inline std::array<const void*, iop_count> labels_by_operation(const void* const* labels,
                                                              const std::array<uint8_t, iop_count>& number) {
  std::array<const void*, iop_count> table;
  for (size_t op = 0; op < table.size(); ++op) table[op] = labels[number[op]];
  return table;
}

}  // namespace rt::interp

#else

#define QUOREL_CASE(label, value) case value:
#define QUOREL_NEXT(fetch, target) goto quorel_next_step
#define QUOREL_LOOP_BEGIN(fetch, target, value, otherwise) \
  for (;;) {                                               \
    fetch;                                                 \
    switch (value) {                                       \
      default:                                             \
        otherwise;
#define QUOREL_LOOP_END() \
  }                       \
  quorel_next_step:;      \
  }

#endif
