// Reads the PCL raster that the panel's inkjet driver writes: jobs separated
// by resets, pages with paper size, orientation, resolution and CMY or black
// raster planes in uncompressed, run-length, TIFF or delta-row rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pclread {

struct Page {
  int paperCode = 2;  // PCL code: 2 Letter, 3 Legal, 26 A4, 45 B5
  bool landscape = false;
  int dpi = 75;
  bool colour = false;  // CMY planes; else one black plane
  int width = 0;        // raster pixels
  int height = 0;       // rows received
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, white where nothing was inked

  uint32_t At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFF;
    return pixels[static_cast<size_t>(y) * width + x];
  }
};

struct Job {
  std::vector<Page> pages;
};

struct Printout {
  std::vector<Job> jobs;
  std::string error;  // empty when the whole stream was understood
  size_t bytes = 0;
};

Printout Read(std::string_view data);
Printout ReadFile(const std::string& path);

// Writes the page as a PNG file; false on failure.
bool WritePng(const Page& page, const std::string& path);

}  // namespace pclread
