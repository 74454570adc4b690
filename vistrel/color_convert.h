// YV12 (Y plane, then the quarter-size V plane, then U) to 24-bit rows of
// blue, green and red, with the panel's integer formula.
#pragma once

#include <cstdint>

namespace vistrel {

// Converts a w x h frame at src into w * h * 3 bytes at dst, rows top-down
// or bottom-up (the last image row first). Needs no memory of its own.
void ConvertToRgb24(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, bool bottomUp);

}  // namespace vistrel
