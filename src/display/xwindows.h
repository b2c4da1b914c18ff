// Small fixes to the plot windows that the plotting library leaves to the X
// server: where the two windows sit, and the events its screen copies cause.
#pragma once

namespace yosta {

// Puts the window titled `second` beside (or else below) the one titled
// `first`, when both are found on the display and the place fits on screen.
// The library opens every window at the same spot, so without a window
// manager the second one would hide the first. Best effort: does nothing when
// there is no display or libX11. Returns true when the window was moved.
bool place_beside(const char* first, const char* second);

}  // namespace yosta
