#pragma once
// The component as assistive technology sees it: an animation, named by its accessible
// name ("Animation" unless the host gives one), described by the frame it shows and the
// frames it has. The description is read on request, so playing raises no events.

namespace frolix {

// Installed once by the first component made.
void installFrolixAccessibility();

} // namespace frolix
