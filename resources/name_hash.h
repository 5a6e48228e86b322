// Resource names are found by the CRC-32 of their lower-cased file-name
// part (no directory), in name caches and archive indexes alike.
#pragma once

#include <cstdint>
#include <string_view>

namespace res {

uint32_t name_hash(std::string_view name);

}  // namespace res
