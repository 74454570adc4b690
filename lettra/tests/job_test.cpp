// Print job and page: paper table, page raster, job status, pages, Erase and
// the screen copies, read back from the printer port.
#include "lettra_fixture.h"
#include "export_map.h"

#include <fstream>

namespace lettra_test {
namespace {

TEST_F(LettraTest, ExportsAreExactlyTheMap) {
  tolvex_test::ExpectExportsMatchMap(*lib, TOLVEX_LIB_LETTRA, TOLVEX_EXPORTS_LETTRA);
}

TEST_F(LettraTest, PaperTableOrientationAndQualityGiveThePageSize) {
  struct Row {
    int32_t quality, paper, orientation;
    int32_t width, height;  // GetPaperPixel
    int pclPaper;
    int dpi;
  };
  const Row rows[] = {
      {1, 0, 1, 2330, 3283, 26, 300},  // A4 high quality
      {0, 1, 1, 1165, 1641, 26, 150},  // A4 draft
      {0, 2, 1, 1000, 1406, 45, 150},  // B5
      {1, 3, 2, 3076, 2400, 2, 300},   // Letter landscape
      {0, 4, 0, 1988, 1200, 3, 150},   // Legal landscape (any value but 1)
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "paper " << r.paper << " quality " << r.quality);
    ASSERT_EQ(PrintSetup(nullptr, r.quality, 1, r.paper, r.orientation), 1);
    int32_t w = 0, h = 0;
    EXPECT_NE(GetPaperPixel(&w, &h), 0);
    EXPECT_EQ(w, r.width);
    EXPECT_EQ(h, r.height);
    pclread::Page page = PrintOnePage();
    // The printer's raster is the table's high-quality pixels, halved in
    // draft, turned with the page: the same numbers as the page units.
    EXPECT_EQ(page.width, r.width);
    EXPECT_EQ(page.height, r.height);
    EXPECT_EQ(page.paperCode, r.pclPaper);
    EXPECT_EQ(page.dpi, r.dpi);
    EXPECT_EQ(page.landscape, r.orientation != 1);
    EXPECT_TRUE(page.colour);
  }
}

TEST_F(LettraTest, PaperOutsideTheTableKeepsTheEarlierSize) {
  PrintSetup(nullptr, 0, 1, 3, 1);  // Letter
  PrintSetup(nullptr, 0, 1, 7, 1);
  int32_t w = 0, h = 0;
  GetPaperPixel(&w, &h);
  EXPECT_EQ(w, 1200);
  EXPECT_EQ(h, 1538);
  pclread::Page page = PrintOnePage();
  EXPECT_EQ(page.paperCode, 2);
  EXPECT_EQ(page.width, 1200);
  EXPECT_EQ(page.height, 1538);
}

TEST_F(LettraTest, IsPrintingReadsOneThenZero) {
  EXPECT_EQ(IsPrinting(), 0);
  PrintSetup(u"PCL Inkjet", 1, 1, 0, 1);
  ASSERT_NE(PrintOut(), nullptr);
  // A high-quality A4 page takes far longer to render than this read.
  EXPECT_EQ(IsPrinting(), 1);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (IsPrinting() == 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  EXPECT_EQ(IsPrinting(), 0);
  EXPECT_EQ(LastJob().size(), 1u);
}

TEST_F(LettraTest, AFailedJobReadsTwoAndTheNextGoodOneZero) {
  setenv("ORLIK_LPT1", (root_.path() + "/no-such-folder/lp0").c_str(), 1);
  PrintSetup(nullptr, 0, 0, 0, 1);
  EXPECT_EQ(PrintAndWait(), 2);
  setenv("ORLIK_LPT1", "|exit 3", 1);  // a spool command that refuses the job
  PrintSetup(nullptr, 0, 0, 0, 1);
  EXPECT_EQ(PrintAndWait(), 2);
  // The port back: the next job succeeds.
  unsetenv("ORLIK_LPT1");
  PrintSetup(nullptr, 0, 0, 0, 1);
  EXPECT_EQ(PrintAndWait(), 0);
  // The port's file on a full disk, or in a write-protected place (as root
  // too: the faults come from the board).
  for (int fault : {ORLIK_SIM_DISK_FULL, ORLIK_SIM_ACCESS_DENIED}) {
    int id = orlik_sim_fail_files("\\LPT1.prn", ORLIK_SIM_FILE_WRITE | ORLIK_SIM_FILE_CREATE, fault, 0, 1);
    PrintSetup(nullptr, 0, 0, 0, 1);
    EXPECT_EQ(PrintAndWait(), 2) << fault;
    EXPECT_EQ(orlik_sim_file_fault_hits(id), 1);
  }
  PrintSetup(nullptr, 0, 0, 0, 1);
  EXPECT_EQ(PrintAndWait(), 0);
}

TEST_F(LettraTest, AJobTheDiskFillsUpUnderLeavesTheEarlierJobsReadable) {
  // A page of colour bands is several pieces of port output.
  auto drawBands = [&] {
    int32_t w = 0, h = 0;
    GetPaperPixel(&w, &h);
    for (int32_t y = 0; y < h; y += 40)
      GradientFills(0, y, w, 40, RGB(uint32_t(y) & 255, 0, 255), RGB(0, 255, uint32_t(y / 2) & 255), 0);
  };
  PrintSetup(nullptr, 0, 1, 0, 1);
  drawBands();
  ASSERT_EQ(PrintAndWait(), 0);
  const uintmax_t oneJob = std::filesystem::file_size(PortFile());
  ASSERT_GT(oneJob, 64u * 1024) << "the job must be written in more than one piece";

  // Full after the first piece of the second job: the job fails and takes
  // its first piece with it.
  int id = orlik_sim_fail_files("\\LPT1.prn", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 1, 1);
  PrintSetup(nullptr, 0, 1, 0, 1);
  drawBands();
  EXPECT_EQ(PrintAndWait(), 2);
  EXPECT_EQ(orlik_sim_file_fault_hits(id), 1);
  EXPECT_EQ(std::filesystem::file_size(PortFile()), oneJob);

  PrintSetup(nullptr, 0, 1, 0, 1);
  Rectangles(10, 10, 20, 20);
  EXPECT_EQ(PrintAndWait(), 0);
  pclread::Printout out = pclread::ReadFile(PortFile());
  ASSERT_TRUE(out.error.empty()) << out.error;
  ASSERT_EQ(out.jobs.size(), 2u);
  ASSERT_EQ(out.jobs[1].pages.size(), 1u);
  EXPECT_EQ(out.jobs[1].pages[0].At(10, 10), kBlack);
}

TEST_F(LettraTest, SpoolCommandReceivesTheJob) {
  std::string captured = root_.path() + "/spooled.prn";
  setenv("ORLIK_LPT1", ("|cat > '" + captured + "'").c_str(), 1);
  PrintSetup(nullptr, 0, 0, 0, 1);
  Rectangles(10, 10, 20, 20);
  EXPECT_EQ(PrintAndWait(), 0);
  unsetenv("ORLIK_LPT1");
  pclread::Printout out = pclread::ReadFile(captured);
  ASSERT_TRUE(out.error.empty()) << out.error;
  ASSERT_EQ(out.jobs.size(), 1u);
  ASSERT_EQ(out.jobs[0].pages.size(), 1u);
  EXPECT_FALSE(out.jobs[0].pages[0].colour);
  EXPECT_EQ(out.jobs[0].pages[0].At(10, 10), kBlack);
}

TEST_F(LettraTest, NewPageKeepsThePageItLeftOpen) {
  PrintSetup(nullptr, 0, 1, 0, 1);
  Rectangles(10, 10, 50, 50);
  EXPECT_GT(NewPage(), 0);
  Rectangles(200, 200, 50, 50);
  ASSERT_EQ(PrintAndWait(), 0);
  auto pages = LastJob();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].At(10, 10), kBlack);
  EXPECT_EQ(pages[0].At(200, 200), kWhite);
  EXPECT_EQ(pages[1].At(10, 10), kWhite);
  EXPECT_EQ(pages[1].At(200, 200), kBlack);
}

TEST_F(LettraTest, EraseClearsThePageAndKeepsTheCallersPenAndBrush) {
  PrintSetup(nullptr, 1, 1, 0, 1);
  SetPenStyle(RGB(0, 0, 255), 1);
  SetBrushStyle(RGB(255, 0, 0), 0);
  Rectangles(10, 10, 40, 40);
  Erase();
  Rectangles(100, 100, 40, 40);
  pclread::Page page = PrintOnePage();
  EXPECT_EQ(Count(page, 0, 0, 120, 120, kWhite), 120 * 120);  // the first square is gone
  EXPECT_EQ(page.At(200, 200), Rgb(0, 0, 255));               // blue pen, 2 pixels wide
  EXPECT_EQ(page.At(201, 201), Rgb(0, 0, 255));
  EXPECT_EQ(page.At(240, 240), Rgb(255, 0, 0));               // red fill
}

TEST_F(LettraTest, ScreenIsCopiedOntoThePage) {
  // Screen: left half red, right half green, a blue square at (0,0).
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), green = CreateSolidBrush(RGB(0, 255, 0)),
         blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT left{0, 0, sw / 2, sh}, right{sw / 2, 0, sw, sh}, corner{0, 0, 10, 10};
  FillRect(screen, &left, red);
  FillRect(screen, &right, green);
  FillRect(screen, &corner, blue);
  ReleaseDC(nullptr, screen);
  DeleteObject(red);
  DeleteObject(green);
  DeleteObject(blue);

  PrintSetup(nullptr, 0, 1, 0, 1);
  EXPECT_NE(DisplayToPrint1(20, 30, -1, -1), 0);           // at the screen's size
  EXPECT_NE(DisplayToPrint1(20, 600, sw / 2, sh / 2), 0);  // stretched to half
  pclread::Page page = PrintOnePage();
  EXPECT_EQ(page.At(20, 30), Rgb(0, 0, 255));
  EXPECT_EQ(page.At(29, 39), Rgb(0, 0, 255));
  EXPECT_EQ(page.At(30, 40), Rgb(255, 0, 0));
  EXPECT_EQ(page.At(20 + sw - 1, 30 + sh - 1), Rgb(0, 255, 0));
  EXPECT_EQ(page.At(20 + sw, 30 + sh), kWhite);
  EXPECT_EQ(page.At(20, 600), Rgb(0, 0, 255));
  EXPECT_EQ(page.At(26, 606), Rgb(255, 0, 0));  // the 10-pixel square is 5 pixels now
  EXPECT_EQ(page.At(20 + sw / 2 - 1, 600 + sh / 2 - 1), Rgb(0, 255, 0));
  EXPECT_EQ(page.At(20 + sw / 2, 600 + sh / 2), kWhite);

  // High quality: DisplayToPrint2 lands at doubled coordinates, one printer
  // pixel per screen pixel (the source beyond the screen copies nothing).
  PrintSetup(nullptr, 1, 1, 0, 1);
  EXPECT_NE(DisplayToPrint2(5, 5), 0);
  page = PrintOnePage();
  EXPECT_EQ(page.At(10, 10), Rgb(0, 0, 255));
  EXPECT_EQ(page.At(20, 20), Rgb(255, 0, 0));
  EXPECT_EQ(page.At(10 + sw - 1, 10 + sh - 1), Rgb(0, 255, 0));
  EXPECT_EQ(page.At(10 + sw, 10 + sh), kWhite);
}

TEST_F(LettraTest, OverlongTextsAreCutToTheirFields) {
  std::u16string longName(500, u'P');
  std::u16string longFace(300, u'F');
  EXPECT_EQ(PrintSetup(longName.c_str(), 0, 0, 0, 1), 1);
  SetFontCfg1(longFace.c_str(), 20, RGB(0, 0, 0), 1, 0, 0);
  SetFontCfg2(24, RGB(0, 0, 0));  // reuses the stored (cut) face
  TextOut(10, 10, u"cut");
  pclread::Page page = PrintOnePage();
  EXPECT_GT(Count(page, 10, 10, 80, 40, kBlack), 10);
}

TEST_F(LettraTest, MonochromeJobPrintsOneBlackPlane) {
  PrintSetup(nullptr, 0, 0, 0, 1);
  SetBrushStyle(RGB(255, 0, 0), 0);
  Rectangles(10, 10, 20, 20);
  pclread::Page page = PrintOnePage();
  EXPECT_FALSE(page.colour);
  EXPECT_EQ(page.At(10, 10), kBlack);  // the pen
  int inked = Count(page, 12, 12, 28, 28, kBlack);
  EXPECT_GT(inked, 0);  // red dithers to a grey of black dots
  EXPECT_LT(inked, 16 * 16);
}

TEST_F(LettraTest, UnloadWaitsForAPrintStillRunning) {
  PrintSetup(nullptr, 1, 1, 4, 1);  // high-quality Legal: the longest page
  ASSERT_NE(PrintOut(), nullptr);
  lib.reset();  // dlclose while the finisher may still run
  auto out = pclread::ReadFile(PortFile());
  ASSERT_TRUE(out.error.empty()) << out.error;
  ASSERT_EQ(out.jobs.size(), 1u);
  EXPECT_EQ(out.jobs[0].pages.size(), 1u);
}

}  // namespace
}  // namespace lettra_test
