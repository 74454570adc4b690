// ByteSum: every byte added as 0..255 into a wrapping 32-bit sum.
#include "launcher_settings.h"

#include "tolvex_test.h"

#include <fstream>

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

  EXPECT_EQ(renokit::ByteSum(u"empty"), 0u);
  EXPECT_EQ(renokit::ByteSum(u"small"), 1u + 2u + 255u);
  EXPECT_EQ(renokit::ByteSum(u"blocks"), (10240u * 3u + 17u) * 128u);
  EXPECT_EQ(renokit::ByteSum(u"wraps"), 254u);
  EXPECT_EQ(renokit::ByteSum(u"missing"), 0u);
  EXPECT_EQ(renokit::ByteSum(u"\\"), 0u) << "a folder cannot be opened as a file";
}

// The sum taken many bytes at a time matches byte-by-byte adding for every
// byte value, at every length around the vector widths (16, 32, 64) and the
// block size, with blocks that are full, short and exactly at the end.
TEST(ByteSum, VaryingBytesAtEveryLengthSumAsByteByByte) {
  tolvex_test::TempRoot root;
  std::string bytes(3 * 10240 + 40, '\0');
  uint32_t x = 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = char(x >> 23);
  }
  for (size_t length : {size_t(1), size_t(15), size_t(16), size_t(17), size_t(31), size_t(32), size_t(33),
                        size_t(63), size_t(64), size_t(65), size_t(127), size_t(255), size_t(10239), size_t(10240),
                        size_t(10241), size_t(20480), size_t(20480 + 31), bytes.size()}) {
    std::ofstream(root.path() + "/f", std::ios::binary | std::ios::trunc) << bytes.substr(0, length);
    uint32_t expected = 0;
    for (size_t i = 0; i < length; ++i) expected += static_cast<unsigned char>(bytes[i]);
    EXPECT_EQ(renokit::ByteSum(u"f"), expected) << length;
  }
}

}  // namespace
