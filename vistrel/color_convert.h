// YV12 (Y plane, then the quarter-size V plane, then U) to 24-bit rows of
// blue, green and red, with the panel's integer formula.
#pragma once

#include <cstdint>

namespace vistrel {

// Converts a w x h frame at src into w * h * 3 bytes at dst, rows top-down
// or bottom-up (the last image row first). Needs no memory of its own; uses
// the widest vector instructions the processor has.
void ConvertToRgb24(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, bool bottomUp);

// The same with a chosen instruction set (every path gives the same bytes);
// Supports tells whether this processor has it.
enum class ConvertPath { kScalar, kAvx2, kAvx512 };
bool Supports(ConvertPath path);
void ConvertToRgb24(ConvertPath path, const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, bool bottomUp);

}  // namespace vistrel
