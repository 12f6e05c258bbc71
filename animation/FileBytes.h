#pragma once
// Reads a whole file into memory, up to a size limit, or says why it could not.

#include "Result.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <vector>

namespace frolix {

Result<std::vector<std::uint8_t>> readFileBytes(
    const std::filesystem::path& path, std::uintmax_t maxBytes = std::numeric_limits<std::uintmax_t>::max());

} // namespace frolix
