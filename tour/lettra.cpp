// Lettra on the panel: a sample page with every drawing export, printed on
// the PCL inkjet on LPT1, read back from the port and turned into a picture.
#include "tour.h"

#include <tolvex/lettra.h>

#include "sample_page.h"

#include <orlik/sim.h>
#include <orlik/windows.h>

#include "pclread/pcl_reader.h"

#include <stb_image_write.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace tour {

namespace {

// Something on the panel's screen for the screen copies.
void PaintScreen() {
  HDC screen = GetDC(nullptr);
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  TRIVERTEX v[2] = {{0, 0, 0x2000, 0x4000, 0x8000, 0}, {w, h, 0x8000, 0xC000, 0xFF00, 0}};
  GRADIENT_RECT r = {0, 1};
  GradientFill(screen, v, 2, &r, 1, GRADIENT_FILL_RECT_V);
  HBRUSH panel = CreateSolidBrush(RGB(255, 255, 255));
  RECT box = {40, 40, w - 40, h - 40};
  FillRect(screen, &box, panel);
  DeleteObject(panel);
  HFONT font = CreateFontW(48, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"굴림체");
  HGDIOBJ old = SelectObject(screen, font);
  SetBkMode(screen, TRANSPARENT);
  SetTextColor(screen, RGB(0, 64, 160));
  RECT text = box;
  DrawTextW(screen, u"Orlik 패널 화면\nscreen of the panel", -1, &text, DT_CENTER | DT_VCENTER);
  SelectObject(screen, old);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
}

// A 240 x 160 picture file on the panel: colour bands and a frame.
std::u16string WritePicture() {
  const int w = 240, h = 160;
  std::vector<uint8_t> rgb(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(y * w + x) * 3];
      bool frame = x < 4 || y < 4 || x >= w - 4 || y >= h - 4;
      p[0] = uint8_t(frame ? 0 : x * 255 / w);
      p[1] = uint8_t(frame ? 0 : y * 255 / h);
      p[2] = uint8_t(frame ? 0 : 255 - x * 255 / w);
    }
  std::string root = std::getenv("ORLIK_ROOT") ? std::getenv("ORLIK_ROOT") : "orlik-root";
  std::filesystem::create_directories(root + "/Flash Disk");
  stbi_write_png((root + "/Flash Disk/sample.png").c_str(), w, h, 3, rgb.data(), w * 3);
  return u"\\Flash Disk\\sample.png";
}

// Bitmap resource 201 of the tour program: a 64 x 48 checkerboard, 24-bit.
constexpr int kBitmapId = 201;
struct TourResources {
  TourResources() {
    const int w = 64, h = 48, stride = w * 3;
    dib.assign(40 + stride * h, 0);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) dib[at + i] = uint8_t(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, w);
    put32(8, uint32_t(-h));  // top-down
    dib[12] = 1;
    dib[14] = 24;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &dib[40 + y * stride + x * 3];  // B, G, R
        bool dark = ((x / 8) + (y / 8)) % 2;
        p[0] = dark ? 160 : 255;
        p[1] = dark ? 32 : 230;
        p[2] = dark ? 32 : 120;
      }
    table[0] = {RT_BITMAP, MAKEINTRESOURCE(kBitmapId), dib.data(), DWORD(dib.size())};
    orlik_register_resources(this, table, 1);
  }
  ~TourResources() { orlik_unregister_resources(this); }
  std::vector<uint8_t> dib;
  ORLIK_RESOURCE table[1];
} tourResources;

}  // namespace

static bool LettraPrinting() {
  Loaded<lettra_sample::Exports> e("libLettra.so");
  if (!e.ok()) return false;

  std::string root = std::getenv("ORLIK_ROOT") ? std::getenv("ORLIK_ROOT") : "orlik-root";
  std::string port = root + "/LPT1.prn";
  std::filesystem::remove(port);
  PaintScreen();
  std::u16string picture = WritePicture();

  e.PrintSetup(nullptr, 1, 1, 0, 1);  // high quality, colour, A4, portrait
  int32_t w = 0, h = 0;
  e.GetPaperPixel(&w, &h);
  std::printf("   PrintSetup(PCL Inkjet, high quality, colour, A4, portrait): page %d x %d units\n", w, h);
  auto start = std::chrono::steady_clock::now();
  lettra_sample::DrawSamplePage(e, picture.c_str(), kBitmapId);
  e.PrintOut();
  int first = e.IsPrinting();
  int status;
  while ((status = e.IsPrinting()) == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("   drew the sample page, PrintOut: IsPrinting %d, then %d after %.0f ms\n", first, status, ms);

  pclread::Printout out = pclread::ReadFile(port);
  if (!out.error.empty() || out.jobs.empty() || out.jobs.back().pages.empty()) {
    std::printf("   the printout on LPT1 could not be read: %s\n", out.error.c_str());
    return false;
  }
  const pclread::Page& page = out.jobs.back().pages.front();
  double raw = double(page.width) * page.height * 3 / 8;  // three 1-bit planes
  std::printf("   LPT1 received %zu bytes of PCL: %d x %d at %d dpi, CMY planes (raw %.0f bytes, %.1f%%)\n",
              out.bytes, page.width, page.height, page.dpi, raw, 100.0 * double(out.bytes) / raw);
  std::string copy = OutputDir() + "/lettra-sample.prn";
  std::filesystem::copy_file(port, copy, std::filesystem::copy_options::overwrite_existing);
  std::string png = OutputDir() + "/lettra-sample.png";
  bool written = pclread::WritePng(page, png);
  std::printf("   printout: %s, as a picture: %s\n", copy.c_str(), png.c_str());
  return status == 0 && written && page.width == 2330 && page.height == 3283;
}

TOUR_SECTION(60, "Lettra: a sample page on the PCL inkjet", LettraPrinting);

}  // namespace tour
