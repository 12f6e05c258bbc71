#include "FileBytes.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace frolix {

Result<std::vector<std::uint8_t>> readFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes)
{
    std::error_code error;
    auto status = std::filesystem::status(path, error);
    if (error)
        return makeError(Error::Kind::Io, path.string() + ": " + error.message());
    if (std::filesystem::is_directory(status))
        return makeError(Error::Kind::Io, path.string() + ": is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return makeError(Error::Kind::Io, path.string() + ": " + std::strerror(errno));
    std::vector<std::uint8_t> bytes;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
        if (bytes.size() > maxBytes)
            return makeError(Error::Kind::OverLimit,
                path.string() + ": larger than the limit of " + std::to_string(maxBytes) + " bytes");
    }
    if (in.bad())
        return makeError(Error::Kind::Io, path.string() + ": read failed");
    return bytes;
}

} // namespace frolix
