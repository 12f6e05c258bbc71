// Feeds arbitrary bytes to the state block reader and, when the layout holds, to the
// mapping onto design-time members. Neither may crash or read outside the input; a
// block that reads back must also write back to the same bytes.

#include "StateBlock.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> input(data, size);
    auto block = frolix::readStateBlock(input);
    if (!block)
        return 0;
    auto written = frolix::writeStateBlock(block.value());
    if (written.size() != size || !std::equal(written.begin(), written.end(), input.begin()))
        std::abort();
    auto state = frolix::designStateFrom(block.value());
    if (state && !(frolix::stateBlockFrom(state.value()) == block.value()))
        std::abort();
    return 0;
}
