// Byte sums: every byte added as 0..255 into a wrapping 32-bit sum.
#include "launcher_settings.h"

#include "tolvex_test.h"

#include <fstream>
#include <vector>

namespace {

TEST(ByteSum, AddsEveryByteAcrossReadBlocksAndWraps) {
  tolvex_test::TempRoot root;
  auto write = [&](const char* name, const std::string& bytes) {
    std::ofstream(root.path() + "/" + name, std::ios::binary) << bytes;
  };
  write("empty", "");
  write("small", "\x01\x02\xFF");
  // 10240 is the read block: sums across block ends must not lose bytes.
  write("blocks", std::string(10240 * 3 + 17, '\x80'));
  // 2^32 / 255 + a few bytes of 0xFF wraps the 32-bit sum.
  const size_t wrapCount = 16843010;  // 255 * 16843010 = 2^32 + 254
  write("wraps", std::string(wrapCount, '\xFF'));

  renokit::ByteSummer summer;
  EXPECT_EQ(summer.Sum(u"empty"), 0u);
  EXPECT_EQ(summer.Sum(u"small"), 1u + 2u + 255u);
  EXPECT_EQ(summer.Sum(u"blocks"), (10240u * 3u + 17u) * 128u);
  EXPECT_EQ(summer.Sum(u"wraps"), 254u);
  EXPECT_EQ(summer.Sum(u"missing"), 0u);
  EXPECT_EQ(summer.Sum(u"\\"), 0u) << "a folder cannot be opened as a file";
}

// The sum taken many bytes at a time matches byte-by-byte adding for every
// byte value, at every length around the vector widths and loop steps (16,
// 32, 64, 128, 256) and the block size, with blocks that are full, short and
// exactly at the end. One summer reads them all, shorter after longer, and
// must take nothing of the bytes an earlier file left in its block.
TEST(ByteSum, VaryingBytesAtEveryLengthSumAsByteByByte) {
  tolvex_test::TempRoot root;
  std::string bytes(3 * 10240 + 40, '\0');
  uint32_t x = 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = char(x >> 23);
  }
  std::vector<size_t> lengths = {1,   15,  16,  17,  31,  32,  33,    63,    64,    65,    127,        128,
                                 129, 255, 256, 257, 319, 447, 10239, 10240, 10241, 20480, 20480 + 31, bytes.size()};
  const std::vector<size_t> descending(lengths.rbegin(), lengths.rend());
  lengths.insert(lengths.end(), descending.begin(), descending.end());
  renokit::ByteSummer summer;
  for (size_t length : lengths) {
    std::ofstream(root.path() + "/f", std::ios::binary | std::ios::trunc) << bytes.substr(0, length);
    uint32_t expected = 0;
    for (size_t i = 0; i < length; ++i) expected += static_cast<unsigned char>(bytes[i]);
    EXPECT_EQ(renokit::ByteSummer().Sum(u"f"), expected) << length;
    EXPECT_EQ(summer.Sum(u"f"), expected) << length << " after longer files";
  }
}

// Every way of summing the processor has (each vector width, and each loop
// step of it) gives the byte-by-byte sum at every length up to a few loop
// steps, from aligned and unaligned starts.
TEST(ByteSum, EveryWayOfSummingMatchesByteByByte) {
  std::vector<BYTE> bytes(1100);
  uint32_t x = 777;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = BYTE(x >> 23);
  }
  bytes[0] = bytes[1] = 0xFF;  // the largest value in the first lanes
  int ways = 0;
  for (auto way : {renokit::SumWay::kBytes, renokit::SumWay::kSse2, renokit::SumWay::kAvx2, renokit::SumWay::kAvx512}) {
    if (!renokit::SumWayAvailable(way)) continue;
    ++ways;
    for (size_t start : {size_t(0), size_t(1), size_t(7)}) {
      uint32_t expected = 0;
      for (size_t length = 0; start + length <= bytes.size(); ++length) {
        ASSERT_EQ(renokit::SumOfBytesUsing(way, bytes.data() + start, length), expected)
            << "way " << int(way) << ", start " << start << ", length " << length;
        if (start + length < bytes.size()) expected += bytes[start + length];
      }
    }
  }
#if defined(__x86_64__)
  EXPECT_GE(ways, 2) << "every x86-64 processor has SSE2";
#endif
}

}  // namespace
