#include "resources/name_hash.h"

#include "base/crc32.h"
#include "base/sjis.h"

namespace res {

uint32_t name_hash(std::string_view name) { return base::crc32(base::sjis_lower(base::file_name_part(name))); }

}  // namespace res
