#pragma once
// Creates the animation component in the state stored with the window: the start-up
// state block (see StateBlock.h) carried as the resource ":/window/Frolix1.state".

#include <cstdint>
#include <span>

namespace frolix {
class Frolix;
}

// Applies a state block to a freshly made component. A block that does not read is
// reported on the error stream and leaves the component empty (false).
bool initialiseFromStateBlock(frolix::Frolix& component, std::span<const std::uint8_t> block);
void initialiseFromStoredState(frolix::Frolix& component);
