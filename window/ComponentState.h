#pragma once
// Creates the animation component in the state stored with the window.

namespace frolix {
class Frolix;
}

void initialiseFromStoredState(frolix::Frolix& component);
