// The panel's touch screen: a touch is a point on the screen going down, and
// going up again. Whoever delivers touches (the window system) installs the
// handler; the sources (the console's tap, a click in the desktop window, the
// C API) call Touch.
#pragma once

#include <functional>

namespace orlik::board {

// down: true when the finger touches at (x, y), false when it lifts there.
using TouchHandler = std::function<void(int x, int y, bool down)>;

// Installs the one handler (an empty one removes it).
void SetTouchHandler(TouchHandler handler);

// A touch at (x, y) in screen pixels. False when it lies outside the screen
// or nothing takes touches.
bool Touch(int x, int y, bool down);

}  // namespace orlik::board
