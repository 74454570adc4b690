// Loads libLettra.so on a fresh panel, prints, and reads the printout back
// from the printer port with the PCL reader.
#pragma once

#include <orlik/windows.h>

#include "pclread/pcl_reader.h"
#include "tolvex_test.h"

#include <tolvex/lettra.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace lettra_test {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
// The reader's pixels are 0x00RRGGBB; the library takes 0x00BBGGRR.
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }

class LettraTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    unsetenv("ORLIK_LPT1");
    lib = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_LETTRA);
    ASSERT_TRUE(lib->loaded());
    PrintSetup = TOLVEX_GET(*lib, PrintSetup);
    NewPage = TOLVEX_GET(*lib, NewPage);
    PrintOut = TOLVEX_GET(*lib, PrintOut);
    IsPrinting = TOLVEX_GET(*lib, IsPrinting);
    GetPaperPixel = TOLVEX_GET(*lib, GetPaperPixel);
    Erase = TOLVEX_GET(*lib, Erase);
    DisplayToPrint1 = TOLVEX_GET(*lib, DisplayToPrint1);
    DisplayToPrint2 = TOLVEX_GET(*lib, DisplayToPrint2);
    GetPrintDC = TOLVEX_GET(*lib, GetPrintDC);
    SetPixels = TOLVEX_GET(*lib, SetPixels);
    Line = TOLVEX_GET(*lib, Line);
    Polylines = TOLVEX_GET(*lib, Polylines);
    Polygons = TOLVEX_GET(*lib, Polygons);
    Rectangles = TOLVEX_GET(*lib, Rectangles);
    RoundRect1 = TOLVEX_GET(*lib, RoundRect1);
    RoundRect2 = TOLVEX_GET(*lib, RoundRect2);
    Circle = TOLVEX_GET(*lib, Circle);
    Ellipses = TOLVEX_GET(*lib, Ellipses);
    GradientFills = TOLVEX_GET(*lib, GradientFills);
    TextOut = TOLVEX_GET(*lib, TextOut);
    ImageDraw1 = TOLVEX_GET(*lib, ImageDraw1);
    ImageDraw2 = TOLVEX_GET(*lib, ImageDraw2);
    ImageDraw3 = TOLVEX_GET(*lib, ImageDraw3);
    ImageDraw4 = TOLVEX_GET(*lib, ImageDraw4);
    SetPenStyle = TOLVEX_GET(*lib, SetPenStyle);
    SetBrushStyle = TOLVEX_GET(*lib, SetBrushStyle);
    SetFontCfg1 = TOLVEX_GET(*lib, SetFontCfg1);
    SetFontCfg2 = TOLVEX_GET(*lib, SetFontCfg2);
    SetFontCfg3 = TOLVEX_GET(*lib, SetFontCfg3);
  }
  void TearDown() override { lib.reset(); }

  std::string PortFile() const { return root_.path() + "/LPT1.prn"; }

  // PrintOut, then IsPrinting until it is no longer 1; returns the final status.
  int32_t PrintAndWait() {
    if (!PrintOut()) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int32_t status;
    while ((status = IsPrinting()) == 1 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return status;
  }

  // The pages of the last job on the port.
  std::vector<pclread::Page> LastJob() {
    pclread::Printout out = pclread::ReadFile(PortFile());
    EXPECT_TRUE(out.error.empty()) << out.error;
    if (out.jobs.empty()) return {};
    return out.jobs.back().pages;
  }

  // Prints and returns the single page printed.
  pclread::Page PrintOnePage() {
    EXPECT_EQ(PrintAndWait(), 0);
    auto pages = LastJob();
    EXPECT_EQ(pages.size(), 1u);
    return pages.empty() ? pclread::Page{} : pages.front();
  }

  std::unique_ptr<tolvex_test::Library> lib;
  decltype(&::PrintSetup) PrintSetup = nullptr;
  decltype(&::NewPage) NewPage = nullptr;
  decltype(&::PrintOut) PrintOut = nullptr;
  decltype(&::IsPrinting) IsPrinting = nullptr;
  decltype(&::GetPaperPixel) GetPaperPixel = nullptr;
  decltype(&::Erase) Erase = nullptr;
  decltype(&::DisplayToPrint1) DisplayToPrint1 = nullptr;
  decltype(&::DisplayToPrint2) DisplayToPrint2 = nullptr;
  decltype(&::GetPrintDC) GetPrintDC = nullptr;
  decltype(&::SetPixels) SetPixels = nullptr;
  decltype(&::Line) Line = nullptr;
  decltype(&::Polylines) Polylines = nullptr;
  decltype(&::Polygons) Polygons = nullptr;
  decltype(&::Rectangles) Rectangles = nullptr;
  decltype(&::RoundRect1) RoundRect1 = nullptr;
  decltype(&::RoundRect2) RoundRect2 = nullptr;
  decltype(&::Circle) Circle = nullptr;
  decltype(&::Ellipses) Ellipses = nullptr;
  decltype(&::GradientFills) GradientFills = nullptr;
  decltype(&::TextOut) TextOut = nullptr;
  decltype(&::ImageDraw1) ImageDraw1 = nullptr;
  decltype(&::ImageDraw2) ImageDraw2 = nullptr;
  decltype(&::ImageDraw3) ImageDraw3 = nullptr;
  decltype(&::ImageDraw4) ImageDraw4 = nullptr;
  decltype(&::SetPenStyle) SetPenStyle = nullptr;
  decltype(&::SetBrushStyle) SetBrushStyle = nullptr;
  decltype(&::SetFontCfg1) SetFontCfg1 = nullptr;
  decltype(&::SetFontCfg2) SetFontCfg2 = nullptr;
  decltype(&::SetFontCfg3) SetFontCfg3 = nullptr;
};

// Counts the pixels of one colour in [x0, x1) x [y0, y1).
inline int Count(const pclread::Page& page, int x0, int y0, int x1, int y1, uint32_t colour) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += page.At(x, y) == colour;
  return n;
}

}  // namespace lettra_test
