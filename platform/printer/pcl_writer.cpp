#include "printer/pcl_writer.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace orlik::printer {
namespace {

constexpr char kEsc = '\x1B';

// Ordered-dither thresholds 2..254: a channel of 0 always inks, 255 never.
constexpr std::array<std::array<uint8_t, 8>, 8> kBayer = {{
    {0, 32, 8, 40, 2, 34, 10, 42},
    {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},
    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},
    {63, 31, 55, 23, 61, 29, 53, 21},
}};

void Command(std::string* out, const char* text, int value, char terminator) {
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%c%s%d%c", kEsc, text, value, terminator);
  out->append(buf, static_cast<size_t>(n));
}

}  // namespace

int PclPaperCode(int dmPaperSize) {
  switch (dmPaperSize) {
    case 1: return 2;    // Letter
    case 5: return 3;    // Legal
    case 13: return 45;  // B5 (JIS)
    case 9:
    default: return 26;  // A4
  }
}

void PackBits(const uint8_t* row, size_t size, std::string* out) {
  size_t i = 0;
  while (i < size) {
    size_t run = 1;
    while (i + run < size && run < 128 && row[i + run] == row[i]) ++run;
    if (run >= 2) {
      out->push_back(static_cast<char>(static_cast<int8_t>(1 - static_cast<int>(run))));
      out->push_back(static_cast<char>(row[i]));
      i += run;
      continue;
    }
    // Literal bytes up to the next run of at least three.
    size_t start = i;
    size_t count = 0;
    while (i < size && count < 128) {
      if (i + 2 < size && row[i] == row[i + 1] && row[i] == row[i + 2]) break;
      ++i;
      ++count;
    }
    out->push_back(static_cast<char>(count - 1));
    out->append(reinterpret_cast<const char*>(row + start), count);
  }
}

void DeltaRow(const uint8_t* row, const uint8_t* seed, size_t size, std::string* out) {
  size_t pos = 0;  // byte after the last replaced one
  size_t i = 0;
  while (i < size) {
    if (row[i] == seed[i]) {
      ++i;
      continue;
    }
    size_t count = 1;
    while (i + count < size && count < 8 && row[i + count] != seed[i + count]) ++count;
    size_t offset = i - pos;
    out->push_back(static_cast<char>(((count - 1) << 5) | (offset < 31 ? offset : 31)));
    if (offset >= 31) {
      offset -= 31;
      while (offset >= 255) {
        out->push_back(static_cast<char>(255));
        offset -= 255;
      }
      out->push_back(static_cast<char>(offset));
    }
    out->append(reinterpret_cast<const char*>(row + i), count);
    i += count;
    pos = i;
  }
}

void PclJobWriter::BeginJob() {
  out_->push_back(kEsc);
  out_->push_back('E');
}

void PclJobWriter::EndJob() {
  out_->push_back(kEsc);
  out_->push_back('E');
}

void PclJobWriter::Page(const PageFormat& format, const uint8_t* pixels, int width, int height,
                        int stride) {
  std::string* out = out_;
  Command(out, "&l", format.paperCode, 'A');
  Command(out, "&l", format.landscape ? 1 : 0, 'O');
  Command(out, "*t", format.dpi, 'R');
  Command(out, "*r", 0, 'F');  // raster follows the logical orientation
  const int planes = format.colour ? 3 : 1;
  Command(out, "*r", format.colour ? -3 : 1, 'U');
  Command(out, "*r", width, 'S');
  Command(out, "*r", height, 'T');
  out->append("\x1B*p0x0Y");
  Command(out, "*r", 1, 'A');

  const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
  std::vector<std::vector<uint8_t>> seed(planes, std::vector<uint8_t>(rowBytes, 0));
  std::vector<std::vector<uint8_t>> row(planes, std::vector<uint8_t>(rowBytes, 0));
  std::string packed, delta;
  int mode = -1;
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const uint32_t*>(pixels + static_cast<size_t>(y) * stride);
    for (auto& r : row) std::fill(r.begin(), r.end(), 0);
    const auto& thresholds = kBayer[y & 7];
    for (int x = 0; x < width; ++x) {
      uint32_t p = line[x];
      int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      int t = thresholds[x & 7] * 4 + 2;
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      size_t byte = static_cast<size_t>(x) >> 3;
      if (format.colour) {
        if (r < t) row[0][byte] |= bit;  // cyan absorbs red
        if (g < t) row[1][byte] |= bit;  // magenta absorbs green
        if (b < t) row[2][byte] |= bit;  // yellow absorbs blue
      } else {
        int luminance = (r * 77 + g * 150 + b * 29) >> 8;
        if (luminance < t) row[0][byte] |= bit;
      }
    }
    for (int p = 0; p < planes; ++p) {
      packed.clear();
      delta.clear();
      PackBits(row[p].data(), rowBytes, &packed);
      DeltaRow(row[p].data(), seed[p].data(), rowBytes, &delta);
      int want = delta.size() <= packed.size() ? 3 : 2;
      if (want != mode) {
        Command(out, "*b", want, 'M');
        mode = want;
      }
      const std::string& data = want == 3 ? delta : packed;
      Command(out, "*b", static_cast<int>(data.size()), p + 1 < planes ? 'V' : 'W');
      out->append(data);
      seed[p].swap(row[p]);
    }
  }
  out->append("\x1B*rC");
  out->push_back('\f');
}

}  // namespace orlik::printer
