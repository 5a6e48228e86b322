#include "resources/name_hash.h"

#include "runtime/crc32.h"
#include "runtime/sjis.h"

namespace res {

uint32_t name_hash(std::string_view name) { return rt::crc32(rt::sjis_lower(rt::file_name_part(name))); }

}  // namespace res
