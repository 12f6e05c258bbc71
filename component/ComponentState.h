#pragma once
// Creates the animation component in the state stored with the window: the start-up
// state block (see StateBlock.h) carried as the resource ":/window/Frolix1.state".

#include <cstdint>
#include <span>

namespace frolix {

class Frolix;

// Applies a state block to a freshly made component. A block that does not read, or
// holds a value of the wrong kind or range, leaves the component empty and gives false,
// with a warning in the log category frolix.component. Otherwise it gives true: a stored
// file name that cannot be shown is logged there and the stored animation shown
// instead; a stored animation that cannot be shown is logged and nothing shows.
bool initialiseFromStateBlock(Frolix& component, std::span<const std::uint8_t> block);
// The same with the block of the resource; a missing resource reads as an empty block.
void initialiseFromStoredState(Frolix& component);

} // namespace frolix
