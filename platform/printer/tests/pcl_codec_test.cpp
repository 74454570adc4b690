// What the driver encodes, the reader gets back pixel for pixel.
#include "printer/pcl_writer.h"

#include "pclread/pcl_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using orlik::printer::PageFormat;
using orlik::printer::PclJobWriter;

struct Raster {
  int width, height;
  std::vector<uint32_t> px;
  Raster(int w, int h, uint32_t fill) : width(w), height(h), px(static_cast<size_t>(w) * h, fill) {}
  uint32_t& at(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
};

// The driver's bytes for a job of these pages; `end`: with the job's end.
std::string Job(const std::vector<std::pair<PageFormat, Raster*>>& pages, bool end = true) {
  std::string out;
  PclJobWriter writer(&out);
  writer.BeginJob();
  for (auto& [format, raster] : pages)
    writer.Page(format, reinterpret_cast<const uint8_t*>(raster->px.data()), raster->width,
                raster->height, raster->width * 4);
  if (end) writer.EndJob();
  return out;
}

pclread::Printout RoundTrip(const std::vector<std::pair<PageFormat, Raster*>>& pages) {
  return pclread::Read(Job(pages));
}

TEST(PclCodec, PureColoursSurviveInColourAndBlackInMonochrome) {
  // Widths that are not a multiple of 8, rows that repeat, rows that change
  // slightly (delta row) and rows of noise (PackBits literals).
  Raster r(61, 40, 0xFFFFFF);
  const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFFFF00, 0x00FFFF, 0xFF00FF};
  std::mt19937 rng(7);
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) {
      if (y < 10) {
        r.at(x, y) = colours[(x / 5) % 7];
      } else if (y < 20) {
        r.at(x, y) = (x == y) ? 0x000000 : 0xFFFFFF;
      } else if (y < 30) {
        r.at(x, y) = colours[rng() % 7];
      }  // the last rows stay white
    }
  PageFormat colour{26, false, 300, true};
  PageFormat mono{3, true, 150, false};
  auto printout = RoundTrip({{colour, &r}, {mono, &r}});
  ASSERT_TRUE(printout.error.empty()) << printout.error;
  ASSERT_EQ(printout.jobs.size(), 1u);
  ASSERT_EQ(printout.jobs[0].pages.size(), 2u);
  const auto& c = printout.jobs[0].pages[0];
  const auto& m = printout.jobs[0].pages[1];
  EXPECT_EQ(c.paperCode, 26);
  EXPECT_EQ(c.dpi, 300);
  EXPECT_FALSE(c.landscape);
  EXPECT_TRUE(c.colour);
  EXPECT_EQ(m.paperCode, 3);
  EXPECT_EQ(m.dpi, 150);
  EXPECT_TRUE(m.landscape);
  EXPECT_FALSE(m.colour);
  ASSERT_EQ(c.width, 61);
  ASSERT_EQ(c.height, 40);
  ASSERT_EQ(m.height, 40);
  for (int y = 0; y < r.height; ++y)
    for (int x = 0; x < r.width; ++x) {
      ASSERT_EQ(c.At(x, y), r.at(x, y)) << x << "," << y;
      uint32_t black = r.at(x, y) == 0xFFFFFF ? 0xFFFFFF : 0;
      // Monochrome: only white and black are exact; the others dither.
      if (r.at(x, y) == 0xFFFFFF || r.at(x, y) == 0) {
        ASSERT_EQ(m.At(x, y), black) << x << "," << y;
      }
    }
}

TEST(PclCodec, MidGreyDithersToAboutHalfTheDots) {
  Raster r(64, 64, 0x808080);
  auto printout = RoundTrip({{PageFormat{26, false, 300, false}, &r}});
  ASSERT_EQ(printout.jobs.size(), 1u);
  const auto& p = printout.jobs[0].pages[0];
  int inked = 0;
  for (uint32_t v : p.pixels) inked += v == 0;
  EXPECT_NEAR(inked, 64 * 64 / 2, 64 * 64 / 16);
}

TEST(PclCodec, DeltaOffsetsBeyondThirtyOneUseExtraBytes) {
  // One changed byte far into a row: offset bytes 255 and a remainder.
  std::vector<uint8_t> seed(400, 0), row(400, 0);
  row[300] = 0x5A;
  row[399] = 0x01;
  std::string out;
  orlik::printer::DeltaRow(row.data(), seed.data(), row.size(), &out);
  ASSERT_EQ(out.size(), 7u);
  EXPECT_EQ(static_cast<uint8_t>(out[0]), 31);      // one byte, offset 31 + more
  EXPECT_EQ(static_cast<uint8_t>(out[1]), 255);     // 31 + 255 = 286
  EXPECT_EQ(static_cast<uint8_t>(out[2]), 14);      // + 14 = 300
  EXPECT_EQ(static_cast<uint8_t>(out[3]), 0x5A);
  EXPECT_EQ(static_cast<uint8_t>(out[4]), 31);      // 98 on from byte 301
  EXPECT_EQ(static_cast<uint8_t>(out[5]), 98 - 31);
  EXPECT_EQ(static_cast<uint8_t>(out[6]), 0x01);
}

TEST(PclCodec, ReaderRejectsTruncatedRasterWithoutCrashing) {
  Raster r(32, 8, 0x000000);
  std::string out = Job({{PageFormat{}, &r}}, false);
  for (size_t cut = 1; cut < out.size(); cut += 3) {
    auto p = pclread::Read(std::string_view(out).substr(0, cut));
    (void)p;  // any result, no crash and no overread (asan)
  }
  std::string bad = "\x1B" "E\x1B*r8S\x1B*r1A\x1B*b9999W";
  EXPECT_FALSE(pclread::Read(bad).error.empty());
}

TEST(PclCodec, ReaderSurvivesScrambledPrintouts) {
  // A real printout with bytes flipped: any result but no crash, no overread
  // and no runaway allocation (asan).
  Raster r(40, 16, 0x00FF00);
  std::string out = Job({{PageFormat{}, &r}});
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    std::string bad = out;
    for (int flips = 0; flips < 4; ++flips) bad[rng() % bad.size()] = static_cast<char>(rng());
    (void)pclread::Read(bad);
  }
}

}  // namespace
