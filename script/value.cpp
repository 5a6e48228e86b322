#include "script/value.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace rt {
namespace {

void* allocate(size_t bytes) {
  void* p = std::malloc(bytes);
  if (!p) throw std::bad_alloc();  // ends the program with the out-of-memory box
  return p;
}

}  // namespace

StringBlock* new_string_uninit(size_t length, size_t reserve) {
  size_t capacity = std::max(length, reserve) + 1;
  if (capacity > 0x7FFFFF00u) throw std::bad_alloc();
  auto* s = static_cast<StringBlock*>(allocate(sizeof(StringBlock) + capacity));
  s->refs = 1;
  s->save_mark = 0;
  s->size = static_cast<int32_t>(length + 1);
  s->capacity = static_cast<int32_t>(capacity);
  s->text()[length] = '\0';
  return s;
}

StringBlock* new_string(std::string_view text) {
  StringBlock* s = new_string_uninit(text.size());
  if (!text.empty()) std::memcpy(s->text(), text.data(), text.size());
  return s;
}

void release_string(StringBlock* s) {
  if (--s->refs <= 0) std::free(s);
}

ArrayBlock* new_array(Engine&, uint8_t array_kind, int32_t outer, int32_t middle, int32_t inner) {
  uint8_t element = static_cast<uint8_t>(array_kind - kIntArray);
  size_t element_size = element == kString ? sizeof(StringBlock*) : 4;
  // What a 32-bit process could never have allocated is refused as memory
  // running out. The count is checked a factor at a time: the product of
  // three sizes can overflow even 64 bits.
  const int64_t most = 0x7FFFFFFF / static_cast<int64_t>(element_size);
  // Sizes below 1 (already reported by the caller) give an array without
  // elements; indexing it is refused.
  int64_t count = 0;
  if (outer > 0 && middle > 0 && inner > 0) {
    const int64_t plane = static_cast<int64_t>(outer) * middle;
    if (plane > most) throw std::bad_alloc();
    count = plane * inner;
    if (count > most) throw std::bad_alloc();
  }
  size_t bytes = sizeof(ArrayBlock) + static_cast<size_t>(count) * element_size;
  auto* a = static_cast<ArrayBlock*>(allocate(bytes));
  a->refs = 1;
  a->save_mark = 0;
  a->outer = outer;
  a->middle = middle;
  a->inner = inner;
  a->element_kind = element;
  if (element == kString) {
    for (int64_t k = 0; k < count; ++k) a->strings()[k] = new_string({});
  } else {
    std::memset(a->ints(), 0, static_cast<size_t>(count) * 4);
  }
  return a;
}

void release_blocks(Value* values, int32_t from, int32_t to) {
  for (int32_t i = from; i < to; ++i) release(values[i]);
}

void release_array(ArrayBlock* a) {
  if (--a->refs > 0) return;
  if (a->element_kind == kString) {
    for (int64_t k = 0, n = a->count(); k < n; ++k)
      if (a->strings()[k]) release_string(a->strings()[k]);
  }
  std::free(a);
}

Value default_value(Engine& e, uint8_t kind) {
  switch (kind) {
    case kInt: return int_value(0);
    case kFloat: return float_value(0.0f);
    case kString: return string_value(new_string({}));
    case kIntArray:
    case kFloatArray:
    case kStringArray: return array_value(kind, new_array(e, kind, 1, 1, 1));
    default: return int_value(0);
  }
}

bool truth(const Value& v) {
  switch (v.kind) {
    case kInt: return v.i != 0;
    case kFloat: return v.f != 0.0f;
    case kString: return v.s && v.s->size > 1;
    default: return true;
  }
}

}  // namespace rt
