// Loads libLettra.so on a fresh panel, prints, and reads the printout back
// from the printer port with the PCL reader.
#pragma once

#include <orlik/windows.h>

#include "pclread/pcl_reader.h"
#include "tolvex_test.h"

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
    PrintSetup = lib->Get<decltype(PrintSetup)>("PrintSetup");
    NewPage = lib->Get<decltype(NewPage)>("NewPage");
    PrintOut = lib->Get<decltype(PrintOut)>("PrintOut");
    IsPrinting = lib->Get<decltype(IsPrinting)>("IsPrinting");
    GetPaperPixel = lib->Get<decltype(GetPaperPixel)>("GetPaperPixel");
    Erase = lib->Get<decltype(Erase)>("Erase");
    DisplayToPrint1 = lib->Get<decltype(DisplayToPrint1)>("DisplayToPrint1");
    DisplayToPrint2 = lib->Get<decltype(DisplayToPrint2)>("DisplayToPrint2");
    GetPrintDC = lib->Get<decltype(GetPrintDC)>("GetPrintDC");
    SetPixels = lib->Get<decltype(SetPixels)>("SetPixels");
    Line = lib->Get<decltype(Line)>("Line");
    Polylines = lib->Get<decltype(Polylines)>("Polylines");
    Polygons = lib->Get<decltype(Polygons)>("Polygons");
    Rectangles = lib->Get<decltype(Rectangles)>("Rectangles");
    RoundRect1 = lib->Get<decltype(RoundRect1)>("RoundRect1");
    RoundRect2 = lib->Get<decltype(RoundRect2)>("RoundRect2");
    Circle = lib->Get<decltype(Circle)>("Circle");
    Ellipses = lib->Get<decltype(Ellipses)>("Ellipses");
    GradientFills = lib->Get<decltype(GradientFills)>("GradientFills");
    TextOut = lib->Get<decltype(TextOut)>("TextOut");
    ImageDraw1 = lib->Get<decltype(ImageDraw1)>("ImageDraw1");
    ImageDraw2 = lib->Get<decltype(ImageDraw2)>("ImageDraw2");
    ImageDraw3 = lib->Get<decltype(ImageDraw3)>("ImageDraw3");
    ImageDraw4 = lib->Get<decltype(ImageDraw4)>("ImageDraw4");
    SetPenStyle = lib->Get<decltype(SetPenStyle)>("SetPenStyle");
    SetBrushStyle = lib->Get<decltype(SetBrushStyle)>("SetBrushStyle");
    SetFontCfg1 = lib->Get<decltype(SetFontCfg1)>("SetFontCfg1");
    SetFontCfg2 = lib->Get<decltype(SetFontCfg2)>("SetFontCfg2");
    SetFontCfg3 = lib->Get<decltype(SetFontCfg3)>("SetFontCfg3");
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
  int32_t (*PrintSetup)(const char16_t*, int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*NewPage)() = nullptr;
  HANDLE (*PrintOut)() = nullptr;
  int32_t (*IsPrinting)() = nullptr;
  int32_t (*GetPaperPixel)(int32_t*, int32_t*) = nullptr;
  int32_t (*Erase)() = nullptr;
  int32_t (*DisplayToPrint1)(int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*DisplayToPrint2)(int32_t, int32_t) = nullptr;
  HDC (*GetPrintDC)() = nullptr;
  uint32_t (*SetPixels)(int32_t, int32_t, uint32_t) = nullptr;
  int32_t (*Line)(int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*Polylines)(int32_t*, int32_t) = nullptr;
  int32_t (*Polygons)(int32_t*, int32_t) = nullptr;
  int32_t (*Rectangles)(int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*RoundRect1)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*RoundRect2)(int32_t, int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*Circle)(int32_t, int32_t, int32_t) = nullptr;
  int32_t (*Ellipses)(int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*GradientFills)(int32_t, int32_t, int32_t, int32_t, uint32_t, uint32_t, int32_t) = nullptr;
  int32_t (*TextOut)(int32_t, int32_t, const char16_t*) = nullptr;
  void (*ImageDraw1)(int32_t, int32_t, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*ImageDraw2)(int32_t, int32_t, int32_t) = nullptr;
  void (*ImageDraw3)(const char16_t*, int32_t, int32_t, int32_t, int32_t) = nullptr;
  void (*ImageDraw4)(const char16_t*, int32_t, int32_t) = nullptr;
  int32_t (*SetPenStyle)(uint32_t, int32_t) = nullptr;
  int32_t (*SetBrushStyle)(uint32_t, int32_t) = nullptr;
  void (*SetFontCfg1)(const char16_t*, int32_t, uint32_t, int32_t, int32_t, int32_t) = nullptr;
  void (*SetFontCfg2)(int32_t, uint32_t) = nullptr;
  void (*SetFontCfg3)(const char16_t*, int32_t, uint32_t) = nullptr;
};

// Counts the pixels of one colour in [x0, x1) x [y0, y1).
inline int Count(const pclread::Page& page, int x0, int y0, int x1, int y1, uint32_t colour) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += page.At(x, y) == colour;
  return n;
}

}  // namespace lettra_test
