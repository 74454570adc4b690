// What other modules of the platform that draw straight on the screen (the
// video window) ask the window system: where a window may draw without
// painting over the windows above it.
#pragma once

#include <orlik/windows.h>

#include <vector>

namespace orlik::user {

// The parts of `area` (screen coordinates) that no shown window stacked above
// `window` covers, in this process or another of the panel, as disjoint
// rectangles. The window's own descendants do not count; nor do its parents'
// edges (the caller decides what area it draws on). The whole area when the
// window is unknown.
std::vector<RECT> UncoveredPart(HWND window, const RECT& area);

}  // namespace orlik::user
