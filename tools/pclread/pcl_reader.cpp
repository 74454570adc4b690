#include "pcl_reader.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace pclread {
namespace {

constexpr int kMaxWidth = 20000;
constexpr int kMaxRows = 40000;
constexpr size_t kMaxPixels = size_t{64} << 20;  // a Legal page at 600 dpi is 43 M

class Parser {
 public:
  explicit Parser(std::string_view data) : data_(data) {}

  Printout Run() {
    result_.bytes = data_.size();
    while (pos_ < data_.size() && result_.error.empty()) {
      char c = data_[pos_++];
      if (c == '\x1B') {
        Escape();
      } else if (c == '\f') {
        FinishPage();
      }
      // Other bytes outside raster data are text the driver never sends; skip.
    }
    if (result_.error.empty() && (inRaster_ || pageOpen_)) FinishPage();
    if (!job_.pages.empty()) result_.jobs.push_back(std::move(job_));
    return std::move(result_);
  }

 private:
  void Fail(const std::string& what) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " at byte %zu", pos_);
    result_.error = what + buf;
  }

  void Escape() {
    if (pos_ >= data_.size()) return Fail("truncated escape");
    char c = data_[pos_++];
    if (c == 'E') return Reset();
    if (c < 0x21 || c > 0x2F) return;  // a two-character escape we do not use
    const char group = c;
    if (group == '%') {  // universal exit "%-12345X" or language switch: skip to terminator
      while (pos_ < data_.size() && !(data_[pos_] >= 0x40 && data_[pos_] <= 0x5E)) ++pos_;
      ++pos_;
      return;
    }
    if (pos_ >= data_.size()) return Fail("truncated escape");
    const char param = data_[pos_++];
    for (;;) {
      // value: optional sign, digits, optional fraction
      size_t start = pos_;
      if (pos_ < data_.size() && (data_[pos_] == '+' || data_[pos_] == '-')) ++pos_;
      while (pos_ < data_.size() && ((data_[pos_] >= '0' && data_[pos_] <= '9') || data_[pos_] == '.'))
        ++pos_;
      long value = 0;
      if (pos_ > start) value = std::strtol(std::string(data_.substr(start, pos_ - start)).c_str(), nullptr, 10);
      if (pos_ >= data_.size()) return Fail("truncated parameter");
      char term = data_[pos_++];
      bool last = term >= 0x40 && term <= 0x5E;
      if (!last && !(term >= 0x60 && term <= 0x7E)) return Fail("bad parameter terminator");
      Parameter(group, param, static_cast<char>(last ? term : term - 0x20), value);
      if (!result_.error.empty() || last) return;
    }
  }

  void Reset() {
    if (inRaster_ || pageOpen_) FinishPage();
    if (!job_.pages.empty()) result_.jobs.push_back(std::move(job_));
    job_ = Job{};
    format_ = Page{};
    planes_ = 1;
    width_ = 0;
    mode_ = 0;
  }

  void Parameter(char group, char param, char command, long value) {
    if (group == '&' && param == 'l') {
      if (command == 'A') format_.paperCode = static_cast<int>(value);
      if (command == 'O') format_.landscape = value == 1 || value == 3;
      return;
    }
    if (group == '*' && param == 't' && command == 'R') {
      format_.dpi = static_cast<int>(value);
      return;
    }
    if (group == '*' && param == 'r') {
      switch (command) {
        case 'U':
          if (inRaster_) break;  // ignored inside raster graphics, as by printers
          planes_ = value == -3 ? 3 : value == -4 ? 4 : 1;
          format_.colour = value < 0;
          break;
        case 'S':
          if (value < 0 || value > kMaxWidth) return Fail("raster width out of range");
          width_ = static_cast<int>(value);
          break;
        case 'A':
          StartRaster();
          break;
        case 'B':
        case 'C':
          inRaster_ = false;
          break;
        default:
          break;
      }
      return;
    }
    if (group == '*' && param == 'b') {
      switch (command) {
        case 'M':
          mode_ = static_cast<int>(value);
          break;
        case 'V':
        case 'W':
          return Plane(value, command == 'W');
        case 'Y':
          if (!inRaster_) StartRaster();
          for (long i = 0; i < value && result_.error.empty(); ++i) {
            for (auto& s : seed_) std::fill(s.begin(), s.end(), 0);
            EmitRow();
          }
          for (auto& s : seed_) std::fill(s.begin(), s.end(), 0);
          break;
        default:
          break;
      }
    }
  }

  void StartRaster() {
    if (!pageOpen_) {
      page_ = format_;
      page_.width = width_;
      page_.height = 0;
      page_.pixels.clear();
      pageOpen_ = true;
    }
    inRaster_ = true;
    rowBytes_ = (static_cast<size_t>(page_.width) + 7) / 8;
    seed_.assign(planes_, std::vector<uint8_t>(rowBytes_, 0));
    plane_ = 0;
  }

  void Plane(long size, bool lastPlane) {
    if (size < 0 || static_cast<size_t>(size) > data_.size() - pos_) return Fail("raster data past the end");
    std::string_view bytes = data_.substr(pos_, static_cast<size_t>(size));
    pos_ += static_cast<size_t>(size);
    if (!inRaster_) StartRaster();
    if (plane_ >= static_cast<int>(seed_.size())) return Fail("more planes than configured");
    std::vector<uint8_t>& row = seed_[plane_];
    if (!Decode(bytes, row)) return;
    ++plane_;
    if (lastPlane) {
      // Planes not sent in this row are zero.
      for (size_t p = plane_; p < seed_.size(); ++p) std::fill(seed_[p].begin(), seed_[p].end(), 0);
      EmitRow();
      plane_ = 0;
    }
  }

  bool Decode(std::string_view in, std::vector<uint8_t>& row) {
    auto u = [&](size_t i) { return static_cast<uint8_t>(in[i]); };
    switch (mode_) {
      case 0: {
        std::fill(row.begin(), row.end(), 0);
        std::copy_n(in.begin(), std::min(in.size(), row.size()), row.begin());
        return true;
      }
      case 1: {  // pairs of count-1 and byte
        std::fill(row.begin(), row.end(), 0);
        size_t out = 0;
        for (size_t i = 0; i + 1 < in.size(); i += 2)
          for (int n = 0; n <= u(i) && out < row.size(); ++n) row[out++] = u(i + 1);
        return true;
      }
      case 2: {
        std::fill(row.begin(), row.end(), 0);
        size_t out = 0;
        for (size_t i = 0; i < in.size();) {
          auto control = static_cast<int8_t>(u(i++));
          if (control >= 0) {
            for (int n = 0; n <= control && i < in.size(); ++n, ++i)
              if (out < row.size()) row[out++] = u(i);
          } else if (control != -128) {
            if (i >= in.size()) break;
            uint8_t b = u(i++);
            for (int n = 0; n < 1 - control; ++n)
              if (out < row.size()) row[out++] = b;
          }
        }
        return true;
      }
      case 3: {
        size_t out = 0;
        for (size_t i = 0; i < in.size();) {
          uint8_t command = u(i++);
          size_t count = (command >> 5) + 1;
          size_t offset = command & 31;
          if (offset == 31) {
            uint8_t more;
            do {
              if (i >= in.size()) return Fail("truncated delta offset"), false;
              more = u(i++);
              offset += more;
            } while (more == 255);
          }
          out += offset;
          for (size_t n = 0; n < count && i < in.size(); ++n, ++i, ++out)
            if (out < row.size()) row[out] = u(i);
        }
        return true;
      }
      default:
        Fail("unknown compression mode " + std::to_string(mode_));
        return false;
    }
  }

  void EmitRow() {
    if (!pageOpen_) StartRaster();
    if (page_.height >= kMaxRows || size_t(page_.height + 1) * size_t(page_.width) > kMaxPixels)
      return Fail("raster page too large");
    const int w = page_.width;
    const size_t planes = seed_.size();
    if (planes == 0) return Fail("raster row without planes");
    page_.pixels.resize(page_.pixels.size() + static_cast<size_t>(w), 0xFFFFFF);
    uint32_t* line = page_.pixels.data() + static_cast<size_t>(page_.height) * w;
    for (int x = 0; x < w; ++x) {
      size_t byte = static_cast<size_t>(x) >> 3;
      uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      if (planes >= 3) {
        bool k = planes == 4 && (seed_[0][byte] & bit);
        uint32_t r = (k || (seed_[planes - 3][byte] & bit)) ? 0 : 255;
        uint32_t g = (k || (seed_[planes - 2][byte] & bit)) ? 0 : 255;
        uint32_t b = (k || (seed_[planes - 1][byte] & bit)) ? 0 : 255;
        line[x] = (r << 16) | (g << 8) | b;
      } else {
        line[x] = (seed_[0][byte] & bit) ? 0x000000 : 0xFFFFFF;
      }
    }
    ++page_.height;
  }

  void FinishPage() {
    if (pageOpen_) job_.pages.push_back(std::move(page_));
    page_ = Page{};
    pageOpen_ = false;
    inRaster_ = false;
  }

  std::string_view data_;
  size_t pos_ = 0;
  Printout result_;
  Job job_;
  Page format_;  // settings in effect for the next page
  Page page_;
  bool pageOpen_ = false;
  bool inRaster_ = false;
  int planes_ = 1;
  int width_ = 0;
  int mode_ = 0;
  int plane_ = 0;
  size_t rowBytes_ = 0;
  std::vector<std::vector<uint8_t>> seed_;
};

}  // namespace

Printout Read(std::string_view data) { return Parser(data).Run(); }

Printout ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Printout p;
    p.error = "cannot open " + path;
    return p;
  }
  std::stringstream s;
  s << in.rdbuf();
  return Read(s.str());
}

bool WritePng(const Page& page, const std::string& path) {
  if (page.width <= 0 || page.height <= 0) return false;
  std::vector<uint8_t> rgb(static_cast<size_t>(page.width) * page.height * 3);
  for (size_t i = 0; i < page.pixels.size(); ++i) {
    rgb[i * 3] = static_cast<uint8_t>(page.pixels[i] >> 16);
    rgb[i * 3 + 1] = static_cast<uint8_t>(page.pixels[i] >> 8);
    rgb[i * 3 + 2] = static_cast<uint8_t>(page.pixels[i]);
  }
  return stbi_write_png(path.c_str(), page.width, page.height, 3, rgb.data(), page.width * 3) != 0;
}

}  // namespace pclread
