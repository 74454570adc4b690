// A picture in the camera's native layout: planar 4:2:0, Y plane then U then
// V, rows packed without padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orlik::board {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> data;

  int chromaWidth() const { return (width + 1) / 2; }
  int chromaHeight() const { return (height + 1) / 2; }
  size_t lumaSize() const { return size_t(width) * size_t(height); }
  size_t chromaSize() const { return size_t(chromaWidth()) * size_t(chromaHeight()); }

  void Resize(int w, int h) {
    width = w;
    height = h;
    data.resize(lumaSize() + 2 * chromaSize());
  }
  uint8_t* y() { return data.data(); }
  uint8_t* u() { return data.data() + lumaSize(); }
  uint8_t* v() { return data.data() + lumaSize() + chromaSize(); }
  const uint8_t* y() const { return data.data(); }
  const uint8_t* u() const { return data.data() + lumaSize(); }
  const uint8_t* v() const { return data.data() + lumaSize() + chromaSize(); }
};

}  // namespace orlik::board
