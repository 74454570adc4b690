// ORLIK_DISPLAY=sdl: the panel's screen live in a desktop window. One thread
// per process owns the SDL window and makes every SDL call; it shows the
// screen again whenever any process of the panel presents (the screen's
// shared present generation, looked at each frame), and a mouse button going
// down or up in the window is a touch at that point of the screen. Of the
// panel's processes, one at a time shows the window (an exclusive lock in the
// device root); when it ends, another that wants a window takes over. Closing
// the window closes only the window.
#pragma once

namespace orlik::board {

// Starts the window's thread, once per process.
void StartDesktopWindow();

}  // namespace orlik::board
