// How a transfer divides a file: about one hundred blocks, progress advanced
// by a whole step per block.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tessary {

// Blocks are capped so a very large file does not need a buffer of a hundredth
// of its size; such a file simply moves in more blocks.
inline constexpr uint64_t kMaxBlockSize = 64u << 20;

struct BlockPlan {
  uint64_t blockSize;
  uint64_t bufferSize;
  uint64_t blockCount;
  double step;

  explicit BlockPlan(uint64_t size) {
    // Single precision, as the progress sequences of small files depend on it.
    float hundredth = static_cast<float>(size) * 0.01f + 0.5f;
    blockSize = static_cast<uint64_t>(hundredth);
    if (blockSize == 0) blockSize = 1;
    blockSize = std::min(blockSize, kMaxBlockSize);
    bufferSize = blockSize + 2;
    blockCount = size / blockSize;
    float perBlock = 100.0f / static_cast<float>(blockCount);
    step = static_cast<double>(perBlock);
    if (step > 100.0) step = 100.0;
  }

  // The progress after one more block: a step below 1 never moves it. 100 is
  // kept for the confirmed end of the transfer, so a block that would reach it
  // leaves the value where it was.
  int32_t Advance(int32_t percentage) const {
    auto next = static_cast<int32_t>(static_cast<double>(percentage) + step);
    return next >= 100 ? percentage : next;
  }
};

}  // namespace tessary
