// PCL raster output for an inkjet: a job is a reset, then per page the paper
// size, orientation, resolution, the colour planes (CMY, or one black plane)
// with each row compressed by TIFF PackBits or delta row, whichever is
// shorter, and a form feed; then a closing reset.
#pragma once

#include <cstdint>
#include <string>

namespace orlik::printer {

struct PageFormat {
  int paperCode = 26;      // PCL paper size code (A4 26, B5 45, Letter 2, Legal 3)
  bool landscape = false;  // logical page orientation; the raster follows it
  int dpi = 300;
  bool colour = true;      // CMY planes, else one 1-bit black plane
};

// PCL paper code of a DEVMODE dmPaperSize value; A4 for unknown ones.
int PclPaperCode(int dmPaperSize);

class PclJobWriter {
 public:
  explicit PclJobWriter(std::string* out) : out_(out) {}
  void BeginJob();
  // pixels: rows of 32-bit 0x00RRGGBB values (Cairo's RGB24), stride in bytes.
  // Colours are dithered to the inks with an ordered 8x8 matrix, so pure
  // colours (0 or 255 per channel) print exactly.
  void Page(const PageFormat& format, const uint8_t* pixels, int width, int height, int stride);
  void EndJob();

 private:
  std::string* out_;
};

// Encoders, exposed for the reader's tests.
void PackBits(const uint8_t* row, size_t size, std::string* out);
void DeltaRow(const uint8_t* row, const uint8_t* seed, size_t size, std::string* out);

}  // namespace orlik::printer
