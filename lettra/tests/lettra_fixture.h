// Loads libLettra.so on a fresh panel, prints, and reads the printout back
// from the printer port with the PCL reader.
#pragma once

#include <orlik/windows.h>

#include "lettra_exports.h"
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

#define LETTRA_TEST_EXPORTS(X) LETTRA_PAGE_EXPORTS(X) X(NewPage) X(GetPrintDC)
TOLVEX_EXPORT_TABLE(LettraExports, LETTRA_TEST_EXPORTS);

class LettraTest : public tolvex_test::PanelTest, public LettraExports {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    unsetenv("ORLIK_LPT1");
    lib = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_LETTRA);
    ASSERT_TRUE(lib->loaded());
    Resolve([this](const char* name) { return lib->Get<void*>(name); });
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
};

// Counts the pixels of one colour in [x0, x1) x [y0, y1).
inline int Count(const pclread::Page& page, int x0, int y0, int x1, int y1, uint32_t colour) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += page.At(x, y) == colour;
  return n;
}

}  // namespace lettra_test
