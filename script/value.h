// Values: the script machine's 16-byte datum. A value names its variable
// (key), says what it holds (kind) and where it lives (scope), and carries
// a payload: an int, a float, or a reference to a shared string or array
// block. Blocks are reference-counted; a value that holds one owns one
// reference.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace rt {

struct Engine;

enum Kind : uint8_t {
  kInt = 0,
  kFloat = 1,
  kString = 2,
  kIntArray = 3,
  kFloatArray = 4,
  kStringArray = 5,
};
constexpr int kKindCount = 6;
constexpr bool is_block_kind(uint8_t kind) { return kind >= kString && kind <= kStringArray; }
constexpr bool is_array_kind(uint8_t kind) { return kind >= kIntArray && kind <= kStringArray; }

enum Scope : uint8_t {
  kPersistent = 0,  // "#"
  kGlobal = 1,      // "@"
  kThread = 2,      // "%"
  kLocal = 3,       // "_", and every temporary on the value stack
};

// A string block: the bytes (Shift-JIS) and a terminating NUL.
struct StringBlock {
  int32_t refs;
  int32_t save_mark;  // blob offset while a save is being written
  int32_t size;       // length + 1
  int32_t capacity;   // bytes allocated for text (>= size), for appends in place
  char* text() { return reinterpret_cast<char*>(this + 1); }
  const char* text() const { return reinterpret_cast<const char*>(this + 1); }
  std::string_view view() const { return {text(), static_cast<size_t>(size - 1)}; }
};

// An array block: outer x middle x inner elements of 4 bytes (int, float)
// or string references (string arrays).
struct ArrayBlock {
  int32_t refs;
  int32_t save_mark;
  int32_t outer, middle, inner;
  uint8_t element_kind;  // kInt, kFloat or kString
  // An array made with a size below 1 (reported when it was made) has no
  // elements, whatever its sizes say.
  bool has_elements() const { return outer > 0 && middle > 0 && inner > 0; }
  int64_t count() const { return has_elements() ? static_cast<int64_t>(outer) * middle * inner : 0; }
  int32_t* ints() { return reinterpret_cast<int32_t*>(this + 1); }
  float* floats() { return reinterpret_cast<float*>(this + 1); }
  StringBlock** strings() { return reinterpret_cast<StringBlock**>(this + 1); }
};

struct Value {
  uint32_t key = 0;
  uint8_t kind = kInt;
  uint8_t scope = kLocal;
  uint16_t spare = 0;
  union {
    int32_t i;
    float f;
    StringBlock* s;
    ArrayBlock* a;
    uint64_t raw = 0;
  };

  // The payload as the 32-bit word the bytecode sees.
  int32_t word() const { return i; }
  bool holds_block() const { return is_block_kind(kind) && raw != 0; }
};
static_assert(sizeof(Value) == 16);

// --- Blocks ------------------------------------------------------------------

StringBlock* new_string(std::string_view text);
// A block of `length` bytes (uninitialised) plus the NUL, with room to grow.
StringBlock* new_string_uninit(size_t length, size_t reserve = 0);
ArrayBlock* new_array(Engine& e, uint8_t array_kind, int32_t outer, int32_t middle, int32_t inner);

inline void retain(const Value& v) {
  if (v.holds_block()) {
    if (v.kind == kString) ++v.s->refs;
    else ++v.a->refs;
  }
}
void release_string(StringBlock* s);
void release_array(ArrayBlock* a);
inline void release(Value& v) {
  if (v.holds_block()) {
    if (v.kind == kString) release_string(v.s);
    else release_array(v.a);
  }
  v.raw = 0;
}

// Releases values[from, to). Most stack values are numbers: the blocks are
// looked for first and released out of line only when there are some, so
// that hot callers (returns, built-in calls) keep their registers. Numbers
// keep their payload.
void release_blocks(Value* values, int32_t from, int32_t to);
inline void release_range(Value* values, int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i)
    if (is_block_kind(values[i].kind)) return release_blocks(values, i, to);
}

// --- Making values -----------------------------------------------------------

inline Value int_value(int32_t n) {
  Value v;
  v.kind = kInt;
  v.i = n;
  return v;
}
inline Value float_value(float x) {
  Value v;
  v.kind = kFloat;
  v.raw = 0;
  v.f = x;
  return v;
}
// Takes over the block's reference.
inline Value string_value(StringBlock* s) {
  Value v;
  v.kind = kString;
  v.s = s;
  return v;
}
inline Value array_value(uint8_t kind, ArrayBlock* a) {
  Value v;
  v.kind = kind;
  v.a = a;
  return v;
}
// The default of a fresh variable of this kind (a new empty string, a new
// 1 x 1 x 1 array).
Value default_value(Engine& e, uint8_t kind);

// --- Reading values ----------------------------------------------------------

inline std::string_view string_of(const Value& v) {
  return v.kind == kString && v.s ? v.s->view() : std::string_view();
}
// Numbers for built-ins: a float argument where an int is wanted is
// truncated, an int where a float is wanted is converted.
inline int32_t truncate_float(float f);
inline int32_t as_int(const Value& v) {
  if (v.kind == kFloat) return truncate_float(v.f);
  return v.kind == kInt ? v.i : 0;
}
inline float as_float(const Value& v) {
  if (v.kind == kInt) return static_cast<float>(v.i);
  return v.kind == kFloat ? v.f : 0.0f;
}
// Script truth: non-zero int, non-zero float, non-empty string, any array.
bool truth(const Value& v);

// Float to int by truncation; NaN and values out of range give INT32_MIN,
// as the processor the games were made for does.
inline int32_t truncate_float(float f) {
  if (f != f) return INT32_MIN;
  if (f >= 2147483648.0f || f < -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(f);
}

}  // namespace rt
