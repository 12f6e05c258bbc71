// Runs a fuzz harness over saved inputs without libFuzzer, so every build checks that
// the seed corpus and the regression inputs still pass. With --damage, each input is
// also run cut short and with single bytes flipped, so the harness's checks (and the
// sanitizers, in the sanitize build) see every way a real file arrives damaged, not
// only the seeds: cuts at every offset of the first KiB (the header, the screen, the
// colour table and the first image start there) and at 96 more spread through the
// rest; flips (xor 0xFF, then xor 0x01) at each of the first 48 bytes and 80 more
// spread through the rest.
//
//   NAME-replay [--damage] FILE_OR_FOLDER...

#include "FileBytes.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// Every offset below `head`, then `samples` evenly spread through the rest.
std::vector<std::size_t> headThenSpread(std::size_t size, std::size_t head, std::size_t samples)
{
    std::vector<std::size_t> offsets;
    for (std::size_t at = 0; at < std::min(head, size); ++at)
        offsets.push_back(at);
    if (size > head) {
        const std::size_t stride = std::max<std::size_t>(1, (size - head) / samples);
        for (std::size_t at = head + stride / 2; at < size; at += stride)
            offsets.push_back(at);
    }
    return offsets;
}

// One damaged copy per decode, spread over the cores (the harness keeps no state).
void runDamaged(const std::vector<std::uint8_t>& bytes)
{
    struct Damage {
        std::size_t length; // a cut, or the whole file
        std::size_t flipAt = 0;
        std::uint8_t mask = 0; // 0: no flip
    };
    std::vector<Damage> damages;
    for (std::size_t cut : headThenSpread(bytes.size(), 1024, 96))
        damages.push_back({ cut });
    for (std::size_t at : headThenSpread(bytes.size(), 48, 80))
        for (std::uint8_t mask : { 0xFF, 0x01 })
            damages.push_back({ bytes.size(), at, mask });
    std::atomic<std::size_t> next { 0 };
    auto work = [&] {
        for (std::size_t i = next++; i < damages.size(); i = next++) {
            // Exactly as long as the damage: a read past a cut is past the allocation.
            std::vector<std::uint8_t> copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(damages[i].length));
            if (damages[i].mask != 0)
                copy[damages[i].flipAt] ^= damages[i].mask;
            LLVMFuzzerTestOneInput(copy.data(), copy.size());
        }
    };
    std::vector<std::thread> workers(std::max(2u, std::thread::hardware_concurrency()) - 1);
    for (auto& worker : workers)
        worker = std::thread(work);
    work();
    for (auto& worker : workers)
        worker.join();
}

// Runs one input (and its damaged copies); false when it cannot be read.
bool runFile(const std::filesystem::path& path, bool damage)
{
    auto bytes = frolix::readFileBytes(path);
    if (!bytes.ok()) {
        std::fprintf(stderr, "%s\n", bytes.error().message.c_str());
        return false;
    }
    LLVMFuzzerTestOneInput(bytes.value().data(), bytes.value().size());
    if (damage)
        runDamaged(bytes.value());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> inputs;
    const bool damage = argc > 1 && std::strcmp(argv[1], "--damage") == 0;
    for (int i = damage ? 2 : 1; i < argc; ++i) {
        std::error_code error;
        if (!std::filesystem::is_directory(argv[i], error))
            inputs.emplace_back(argv[i]);
        else
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
    }
    // An input that could not be read must not pass as an empty, successful run.
    const auto ran
        = std::count_if(inputs.begin(), inputs.end(), [&](const auto& path) { return runFile(path, damage); });
    std::printf("ran %zu inputs%s\n", std::size_t(ran), damage ? ", each also cut and flipped" : "");
    return std::size_t(ran) == inputs.size() ? 0 : 1;
}
