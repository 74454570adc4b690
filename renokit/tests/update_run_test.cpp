// The whole road of an update: an application sets up libRenokit.so and
// calls Start; the updater runs as its own process, copies the changed
// files, shows its screen, and ends with the start-up program or a reboot.
// These tests take the updater's fixed waits (5 s per copied file).
#include "popup_window.h"
#include "renokit_fixture.h"

#include <cairo.h>

#include <chrono>
#include <thread>

namespace {

constexpr COLORREF kText1 = RGB(255, 255, 0);
constexpr COLORREF kText2 = RGB(200, 0, 0);
constexpr COLORREF kText3 = RGB(0, 255, 0);

// The built-in image's geometry on an 800 x 480 screen.
constexpr int kX0 = (800 - 463) / 2, kY0 = (480 - 246) / 2, kX1 = kX0 + 463, kY1 = kY0 + 246;

struct Screenshot {
  cairo_surface_t* surface;
  explicit Screenshot(const std::string& path) : surface(cairo_image_surface_create_from_png(path.c_str())) {}
  ~Screenshot() { cairo_surface_destroy(surface); }
  bool ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
  COLORREF Pixel(int x, int y) const {
    auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    uint32_t argb = reinterpret_cast<const uint32_t*>(row)[x];
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
  }
  bool HasColourIn(COLORREF colour, int left, int top, int right, int bottom) const {
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x)
        if (Pixel(x, y) == colour) return true;
    return false;
  }
};

// The status line as the updater draws it, drawn here with the same GDI on
// the panel colour: the screenshot must hold exactly these pixels.
class ExpectedStatus {
 public:
  explicit ExpectedStatus(const std::u16string& text) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc_, 800, 480);
    old_ = SelectObject(dc_, bitmap_);
    HBRUSH panel = CreateSolidBrush(RGB(0xC6, 0xD6, 0xEF));
    RECT all{0, 0, 800, 480};
    FillRect(dc_, &all, panel);
    DeleteObject(panel);
    HFONT font = CreateFontW(15, 0, 0, 0, FW_HEAVY, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, u"");
    HGDIOBJ oldFont = SelectObject(dc_, font);
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, kText2);
    RECT box{kX0 + 30, kY0 + 163, kX1 - 50, 2 * kY1};
    DrawTextW(dc_, text.c_str(), -1, &box, DT_CENTER | DT_SINGLELINE);
    SelectObject(dc_, oldFont);
    DeleteObject(font);
  }
  ~ExpectedStatus() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  // True when the shot shows this status line in the panel below the box.
  bool ShownIn(const Screenshot& shot) const {
    for (int y = kY0 + 150; y < kY0 + 195; ++y)
      for (int x = kX0 + 30; x < kX1 - 50; ++x)
        if (shot.Pixel(x, y) != GetPixel(dc_, x, y)) return false;
    return true;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

// A 24-bit bitmap file whose pixel (x, y) has red x % 256, green y % 256 and
// blue 77.
std::string GradientBitmap(int width, int height) {
  std::string b = "BM";
  auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b += char((v >> (8 * i)) & 0xFF); };
  auto put16 = [&](uint16_t v) { b += char(v & 0xFF); b += char(v >> 8); };
  uint32_t stride = (uint32_t(width) * 3 + 3) & ~3u;
  put32(54 + stride * uint32_t(height));
  put32(0);
  put32(54);
  put32(40);
  put32(uint32_t(width));
  put32(uint32_t(height));
  put16(1);
  put16(24);
  for (int i = 0; i < 6; ++i) put32(0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      b += char(77);
      b += char(y % 256);
      b += char(x % 256);
    }
    b.append(stride - uint32_t(width) * 3, '\0');
  }
  return b;
}

class UpdateRunTest : public RenokitTest {
 protected:
  void SetUp() override {
    RenokitTest::SetUp();
    shots_ = Root() + "/shots";
    setenv("ORLIK_SCREENSHOTS", shots_.c_str(), 1);
  }
  void TearDown() override { unsetenv("ORLIK_SCREENSHOTS"); }

  // The application's view of a typical update folder.
  void MakeUpdateFolders() {
    Write("SD Card/Update/changed.bin", "version 2 of the program");
    Write("Flash Disk/App/changed.bin", "version 1 of the program");
    Write("SD Card/Update/same.bin", "unchanged");
    Write("Flash Disk/App/same.bin", "unchanged");
    Write("SD Card/Update/new.bin", "a file the panel did not have");
    Write("SD Card/Update/sum.bin", "ab");  // differs, but sums equal
    Write("Flash Disk/App/sum.bin", "ba");
    setPath(u"\\SD Card\\Update", u"\\Flash Disk\\App");
    setDisplayText(u"Software update", u"The panel's programs are being replaced.\nPlease wait.",
                   u"Tolvex");
    setDisplayTextColor(kText1, kText2, kText3);
    setStartInterval(0);
  }

  int WaitForUpdater() {
    int pid = StartedUpdater();
    EXPECT_NE(pid, 0);
    int code = -1;
    EXPECT_EQ(orlik_sim_process_wait(pid, 90000, &code), 1) << "updater still running";
    return code;
  }

  std::vector<std::string> Screenshots() const {
    std::vector<std::string> files;
    if (fs::exists(shots_))
      for (auto& e : fs::directory_iterator(shots_)) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string shots_;
};

TEST_F(UpdateRunTest, UpdaterCopiesTheChangedFilesShowsThemAndStartsTheStartupProgram) {
  MakeUpdateFolders();
  fs::create_directories(Root() + "/Flash Disk/Run/Folder.exe");  // a folder never runs
  fs::copy_file(TOLVEX_LIB_RENOKIT_STARTUP_MARK, Root() + "/Flash Disk/Run/Starter.EXE");
  fs::copy_file(TOLVEX_LIB_RENOKIT_STARTUP_MARK, Root() + "/Flash Disk/Run/zz-second.exe");
  auto sameTime = fs::last_write_time(Root() + "/Flash Disk/App/same.bin");

  ASSERT_EQ(start(), 1);
  EXPECT_EQ(WaitForUpdater(), 0);

  EXPECT_EQ(Read("Flash Disk/App/changed.bin"), "version 2 of the program");
  EXPECT_EQ(Read("Flash Disk/App/new.bin"), "a file the panel did not have");
  EXPECT_EQ(Read("Flash Disk/App/sum.bin"), "ba");
  EXPECT_EQ(fs::last_write_time(Root() + "/Flash Disk/App/same.bin"), sameTime);

  // The first program of the start-up folder ran, with no command line.
  for (int i = 0; i < 100 && !Exists("startup-mark.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Read("startup-mark.txt"), "command line=[]\n");
  EXPECT_EQ(orlik_sim_power_request_count(), 0);

  // The screen: the built-in image centred on black, the three texts in
  // their colours and the status line with each copied name.
  auto files = Screenshots();
  ASSERT_GE(files.size(), 3u);
  bool showedChanged = false, showedNew = false;
  for (auto& file : files) {
    Screenshot shot(file);
    ASSERT_TRUE(shot.ok()) << file;
    EXPECT_EQ(shot.Pixel(5, 5), RGB(0, 0, 0));
    EXPECT_EQ(shot.Pixel(kX0 + 230, kY0 + 3), RGB(0x08, 0x6B, 0xFF));
    EXPECT_EQ(shot.Pixel(kX0 + 20, kY0 + 100), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(shot.Pixel(kX0 + 5, kY0 + 150), RGB(0xC6, 0xD6, 0xEF));
    EXPECT_EQ(shot.Pixel(kX0 + 20, kY0 + 240), RGB(0x73, 0xAD, 0xF7));
    EXPECT_TRUE(shot.HasColourIn(kText1, kX0, kY0 + 20, kX1, kY0 + 49)) << file;
    EXPECT_TRUE(shot.HasColourIn(kText2, kX0 + 35, kY0 + 70, kX1 - 50, kY0 + 141)) << file;
    EXPECT_TRUE(shot.HasColourIn(kText3, kX1 - 200, kY0 + 215, kX1 - 30, kY1)) << file;
    EXPECT_FALSE(shot.HasColourIn(kText3, kX0, kY0 + 215, kX0 + 200, kY1)) << "third text is right-aligned";
    showedChanged = showedChanged || ExpectedStatus(u"File Copy : changed.bin").ShownIn(shot);
    showedNew = showedNew || ExpectedStatus(u"File Copy : new.bin").ShownIn(shot);
  }
  EXPECT_TRUE(showedChanged);
  EXPECT_TRUE(showedNew);
}

TEST_F(UpdateRunTest, WithRebootTheUpdaterCallsRebootDllAndRequestsTheReset) {
  Write("SD Card/Update/app.bin", "new");
  setPath(u"\\SD Card\\Update", u"\\Flash Disk\\App");
  setReboot(1);
  fs::create_directories(Root() + "/Flash Disk/App");
  fs::create_directories(Root() + "/Windows");
  fs::copy_file(TOLVEX_LIB_RENOKIT_REBOOT_DLL, Root() + "/Windows/REBOOT.DLL");
  fs::create_directories(Root() + "/Flash Disk/Run");
  fs::copy_file(TOLVEX_LIB_RENOKIT_STARTUP_MARK, Root() + "/Flash Disk/Run/Starter.exe");
  // A background larger than the screen: centred with negative offsets, cut
  // on all sides, and the texts move with it.
  Write("Flash Disk/Big.bmp", GradientBitmap(1000, 600));
  setBackImagePath(u"\\Flash Disk\\big.BMP");
  setDisplayTextColor(kText1, kText2, kText3);
  setDisplayText(u"", u"", u"");

  ASSERT_EQ(start(), 1);
  EXPECT_EQ(WaitForUpdater(), 0);
  EXPECT_EQ(Read("Flash Disk/App/app.bin"), "new");
  auto files = Screenshots();
  ASSERT_FALSE(files.empty());
  Screenshot shot(files.back());
  const int x0 = (800 - 1000) / 2, y0 = (480 - 600) / 2;  // -100, -60
  EXPECT_EQ(shot.Pixel(0, 0), RGB(100, 60, 77));
  EXPECT_EQ(shot.Pixel(799, 479), RGB((799 - x0) % 256, (479 - y0) % 256, 77));
  EXPECT_TRUE(shot.HasColourIn(kText2, x0 + 30, y0 + 163, x0 + 1000 - 50, y0 + 163 + 20));
  EXPECT_FALSE(shot.HasColourIn(kText2, 0, 0, 800, y0 + 160));
  EXPECT_EQ(Read("reboot-mark.txt"), "Reboot called\n");
  ASSERT_EQ(orlik_sim_power_request_count(), 2);
  char request[128];
  orlik_sim_power_request(0, request, sizeof request);
  EXPECT_STREQ(request, "set-power-state - flags=0x00800000 options=0x00001000");
  orlik_sim_power_request(1, request, sizeof request);
  EXPECT_STREQ(request, "hal-reboot");
  EXPECT_FALSE(Exists("startup-mark.txt")) << "a reboot does not start the start-up program";
}

// The updater run directly with a name that reaches outside its folder: it is
// not copied and shows as a failed copy, while a name that merely holds ".."
// is copied. A copy that fails on a full disk (a fault the updater inherits
// from this process) shows as failed and leaves the old file. A start-up
// folder holding only a folder named like a program starts nothing, and the
// window still closes.
TEST_F(UpdateRunTest, NamesLeavingTheirFolderAndCopiesOnAFullDiskFailAndTheWindowStillCloses) {
  // Without the check, "Src\In\..\Outside\secret.bin" would be copied
  // over "Dst\..\Outside\secret.bin".
  Write("Outside/secret.bin", "must stay where it is");
  Write("Src/Outside/secret.bin", "replacement");
  Write("Src/In/app..old.dll", "version 2");
  Write("Dst/app..old.dll", "version 1");
  Write("Src/In/full.bin", "new");
  Write("Dst/full.bin", "old");
  ASSERT_GE(orlik_sim_fail_files("\\Dst\\full.bin", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 0, 1), 0);
  fs::create_directories(Root() + "/Flash Disk/Run/Folder.exe");
  fs::copy_file(TOLVEX_LIB_RENOVO, Root() + "/Windows/Renovo.exe");
  // The status line takes the second text's colour (field 7).
  // A background file that is there but is no bitmap shows the built-in image.
  Write("Src/not-a-picture.bmp", "plain text");
  std::u16string parameters = u"..\\Outside\\secret.bin|app..old.dll|full.bin:Src\\In:Dst:Src\\not-a-picture.bmp::0::" +
                              orlik::FromUtf8(std::to_string(kText2)) + u"::0:0:e:";
  SHELLEXECUTEINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = u"\\Windows\\Renovo.exe";
  info.lpParameters = parameters.c_str();
  ASSERT_TRUE(ShellExecuteEx(&info));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0) << "the window did not close";
  CloseHandle(info.hProcess);
  EXPECT_FALSE(Exists("Dst/secret.bin"));
  EXPECT_FALSE(Exists("Outside/Outside/secret.bin"));
  EXPECT_EQ(Read("Outside/secret.bin"), "must stay where it is");
  EXPECT_EQ(Read("Dst/app..old.dll"), "version 2");
  EXPECT_EQ(Read("Dst/full.bin"), "old");
  for (auto& e : fs::directory_iterator(Root() + "/Dst"))
    EXPECT_EQ(e.path().filename().string().find(".copy-"), std::string::npos) << e.path();
  bool showedLeaving = false, showedFull = false, showedFailedDots = false;
  for (auto& file : Screenshots()) {
    Screenshot shot(file);
    EXPECT_EQ(shot.Pixel(kX0 + 230, kY0 + 3), RGB(0x08, 0x6B, 0xFF)) << "built-in image";
    showedLeaving = showedLeaving ||
                    ExpectedStatus(u"File Copy : ..\\Outside\\secret.bin : File Copy Fail!!!").ShownIn(shot);
    showedFull = showedFull || ExpectedStatus(u"File Copy : full.bin : File Copy Fail!!!").ShownIn(shot);
    showedFailedDots = showedFailedDots || ExpectedStatus(u"File Copy : app..old.dll : File Copy Fail!!!").ShownIn(shot);
  }
  EXPECT_TRUE(showedLeaving);
  EXPECT_TRUE(showedFull);
  EXPECT_FALSE(showedFailedDots);
}

// Run the updater directly on big files and kill it while the first copy is
// under way: every target is then the old file or the new one, never a mix.
TEST_F(UpdateRunTest, KillDuringACopyLeavesEachTargetOldOrNew) {
  const size_t size = 24 << 20;
  const int files = 3;
  auto content = [&](char fill, int i) { return std::string(size + size_t(i), char(fill + i)); };
  fs::create_directories(Root() + "/Windows");
  fs::copy_file(TOLVEX_LIB_RENOVO, Root() + "/Windows/Renovo.exe");
  int caught = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::u16string list;
    for (int i = 0; i < files; ++i) {
      Write("Src/f" + std::to_string(i), content('a', i));
      Write("Dst/f" + std::to_string(i), content('A', i).substr(0, size / 2));
      list += (i ? u"|f" : u"f") + orlik::FromUtf8(std::to_string(i));
    }
    std::u16string parameters = list + u":Src:Dst::::0::0::0:0:e:";
    SHELLEXECUTEINFO info = {};
    info.cbSize = sizeof info;
    info.lpVerb = u"open";
    info.lpFile = u"\\Windows\\Renovo.exe";
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    int before = orlik_sim_process_count();
    ASSERT_TRUE(ShellExecuteEx(&info));
    int pid = orlik_sim_process_id(before);
    // Kill as soon as a copy is being written beside its target.
    bool during = false;
    for (int spin = 0; spin < 20000 && !during; ++spin) {
      for (auto& e : fs::directory_iterator(Root() + "/Dst"))
        if (e.path().filename().string().find(".copy-") != std::string::npos) during = true;
      if (!during) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(pid, SIGKILL);
    int code = 0;
    ASSERT_EQ(orlik_sim_process_wait(pid, 10000, &code), 1);
    caught += during;
    for (int i = 0; i < files; ++i) {
      std::string now = Read("Dst/f" + std::to_string(i));
      EXPECT_TRUE(now == content('a', i) || now == content('A', i).substr(0, size / 2))
          << "f" << i << " is neither old nor new (" << now.size() << " bytes)";
    }
  }
  EXPECT_GT(caught, 0) << "no kill landed during a copy";
}

}  // namespace

namespace {

// The application's window, erased in one colour.
LRESULT CALLBACK GreenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return tolvex_test::EraseWith(window, wParam, RGB(0, 160, 0));
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// The updater draws on the screen the application drew on, as on the panel:
// the application's picture until the updater's first repaint, then the
// updater's screen, which covers the whole screen (its background fills what
// the image leaves). The repaints of both processes count on the one screen.
TEST_F(UpdateRunTest, TheUpdaterDrawsOnTheApplicationsScreen) {
  const COLORREF green = RGB(0, 160, 0);
  tolvex_test::RegisterWindowClass(u"UpdatingApplication", GreenWindowProc);
  HWND window = CreateWindowExW(0, u"UpdatingApplication", u"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 480, nullptr,
                                nullptr, nullptr, nullptr);
  InvalidateRect(window, nullptr, TRUE);
  UpdateWindow(window);
  const int before = orlik_sim_screen_present_count();
  ASSERT_GE(before, 1);
  ASSERT_EQ(orlik_sim_screen_pixel(5, 5), green);
  ASSERT_EQ(orlik_sim_screen_pixel(kX0 + 230, kY0 + 3), green);

  MakeUpdateFolders();
  setStartInterval(60000);  // the updater holds its screen before the first copy
  ASSERT_EQ(start(), 1);
  int pid = StartedUpdater();
  ASSERT_NE(pid, 0);
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  // Its first repaint presented (the pixels come before the present).
  while ((orlik_sim_screen_present_count() == before ||
          orlik_sim_screen_pixel(kX0 + 230, kY0 + 3) != RGB(0x08, 0x6B, 0xFF)) &&
         std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

  EXPECT_GT(orlik_sim_screen_present_count(), before);
  EXPECT_EQ(orlik_sim_screen_pixel(kX0 + 230, kY0 + 3), RGB(0x08, 0x6B, 0xFF));
  EXPECT_EQ(orlik_sim_screen_pixel(kX0 + 20, kY0 + 100), RGB(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(orlik_sim_screen_pixel(kX0 + 20, kY0 + 240), RGB(0x73, 0xAD, 0xF7));
  int greenLeft = 0;
  for (int y = 0; y < 480; y += 8)
    for (int x = 0; x < 800; x += 8) greenLeft += orlik_sim_screen_pixel(x, y) == green;
  EXPECT_EQ(greenLeft, 0);
  EXPECT_EQ(orlik_sim_screen_pixel(5, 5), RGB(0, 0, 0));
  EXPECT_EQ(orlik_sim_screen_pixel(795, 475), RGB(0, 0, 0));

  kill(pid, SIGKILL);
  int code = 0;
  EXPECT_EQ(orlik_sim_process_wait(pid, 10000, &code), 1);
  DestroyWindow(window);
}
