#pragma once
// Where the committed assets live, and small readers for the tests over them.

#include "FileBytes.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace assets_test {

inline std::filesystem::path sourceDir() { return FROLIX_SOURCE_DIR; }

inline std::vector<std::uint8_t> readFile(const std::filesystem::path& path)
{
    return frolix::readFileBytes(path).value();
}

inline std::vector<std::uint8_t> committedStateBlock() { return readFile(sourceDir() / "window" / "Frolix1.state"); }
inline std::vector<std::uint8_t> committedLogo() { return readFile(sourceDir() / "assets" / "logo.gif"); }

inline std::uint16_t u16At(std::span<const std::uint8_t> data, std::size_t offset)
{
    return std::uint16_t(data[offset] | (data[offset + 1] << 8));
}

inline std::uint32_t u32At(std::span<const std::uint8_t> data, std::size_t offset)
{
    return std::uint32_t(u16At(data, offset)) | (std::uint32_t(u16At(data, offset + 2)) << 16);
}

} // namespace assets_test
