// Build tool: draws the updater's built-in background (463 x 246, 24 bits,
// written as a device-independent bitmap: information header and bits) and
// its 32 x 32 icon (a bitmap file).
//   renovo_artwork <background.dib> <icon.bmp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Rgb {
  uint8_t r, g, b;
};

constexpr Rgb kBand{0x08, 0x6B, 0xFF};
constexpr Rgb kPanel{0xC6, 0xD6, 0xEF};
constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};
constexpr Rgb kTab{0x73, 0xAD, 0xF7};
constexpr Rgb kBlack{0, 0, 0};

class Picture {
 public:
  Picture(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h), kBlack) {}
  Rgb& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  void Fill(int left, int top, int right, int bottom, Rgb c) {  // inclusive
    for (int y = top; y <= bottom; ++y)
      for (int x = left; x <= right; ++x) at(x, y) = c;
  }
  // Paints c outside a quarter circle of the given radius at each corner of
  // the inclusive rectangle.
  void RoundCorners(int left, int top, int right, int bottom, int radius, Rgb c) {
    for (int dy = 0; dy < radius; ++dy)
      for (int dx = 0; dx < radius; ++dx) {
        double ox = radius - dx - 0.5, oy = radius - dy - 0.5;
        if (std::sqrt(ox * ox + oy * oy) <= radius) continue;
        at(left + dx, top + dy) = c;
        at(right - dx, top + dy) = c;
        at(left + dx, bottom - dy) = c;
        at(right - dx, bottom - dy) = c;
      }
  }
  void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
  }
  void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
  }
  // Information header and bottom-up BGR rows padded to 4 bytes.
  std::vector<uint8_t> Dib() {
    std::vector<uint8_t> out;
    uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, stride * uint32_t(height));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = height - 1; y >= 0; --y) {
      for (int x = 0; x < width; ++x) {
        out.push_back(at(x, y).b);
        out.push_back(at(x, y).g);
        out.push_back(at(x, y).r);
      }
      for (uint32_t p = uint32_t(width) * 3; p < stride; ++p) out.push_back(0);
    }
    return out;
  }
  std::vector<uint8_t> BitmapFile() {
    std::vector<uint8_t> dib = Dib();
    std::vector<uint8_t> out{'B', 'M'};
    Put32(out, uint32_t(14 + dib.size()));
    Put32(out, 0);
    Put32(out, 14 + 40);
    out.insert(out.end(), dib.begin(), dib.end());
    return out;
  }

  int width, height;
  std::vector<Rgb> pixels;
};

Picture Background() {
  Picture p(463, 246);
  p.Fill(0, 0, 462, 48, kBand);
  p.Fill(0, 49, 462, 198, kPanel);
  p.Fill(12, 58, 450, 141, kWhite);
  p.RoundCorners(12, 58, 450, 141, 6, kPanel);
  p.Fill(0, 199, 462, 245, kBand);
  // The tab's right edge slants from column 138 at row 199 to 103 at row 245.
  for (int y = 199; y <= 245; ++y) {
    int edge = 138 - int(std::lround((y - 199) * 35.0 / 46.0));
    p.Fill(0, y, edge, y, kTab);
  }
  p.RoundCorners(0, 0, 462, 245, 6, kBlack);
  return p;
}

// A blue tile with a white downward arrow into a tray.
Picture Icon() {
  Picture p(32, 32);
  p.Fill(0, 0, 31, 31, kBand);
  p.Fill(14, 5, 17, 18, kWhite);
  for (int row = 0; row < 6; ++row) p.Fill(9 + row, 15 + row, 22 - row, 15 + row, kWhite);
  p.Fill(6, 24, 25, 26, kWhite);
  p.RoundCorners(0, 0, 31, 31, 4, kBlack);
  return p;
}

bool Write(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s background.dib icon.bmp\n", argv[0]);
    return 2;
  }
  if (!Write(argv[1], Background().Dib()) || !Write(argv[2], Icon().BitmapFile())) {
    std::perror("renovo_artwork");
    return 1;
  }
  return 0;
}
