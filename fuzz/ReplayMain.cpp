// Runs a fuzz harness over saved inputs without libFuzzer, so every build checks that
// the seed corpus and the regression inputs still pass.

#include "FileBytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool runFile(const std::filesystem::path& path)
{
    auto bytes = frolix::readFileBytes(path);
    if (!bytes.ok()) {
        std::fprintf(stderr, "%s\n", bytes.error().message.c_str());
        return false;
    }
    LLVMFuzzerTestOneInput(bytes.value().data(), bytes.value().size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t ran = 0;
    bool failed = false;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
                if (!entry.is_regular_file())
                    continue;
                if (runFile(entry.path()))
                    ++ran;
                else
                    failed = true;
            }
        } else if (runFile(path)) {
            ++ran;
        } else {
            failed = true;
        }
    }
    std::printf("ran %zu inputs\n", ran);
    // An argument that could not be read must not pass as an empty, successful run.
    return failed ? 1 : 0;
}
