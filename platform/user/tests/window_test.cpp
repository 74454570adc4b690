// The window system: message order, timers, painting with erase, modal
// dialogs from a template, position and topmost.
#include "popup_window.h"
#include <orlik/sim_screen.h>
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <chrono>
#include <thread>
#include <vector>

namespace {

std::vector<UINT>* gLog;

LRESULT CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gLog && message != WM_CREATE) gLog->push_back(message == WM_TIMER ? 0x10000 + UINT(wParam) : message);
  if (message == WM_TIMER && wParam == 3) KillTimer(window, 3);  // acts once
  if (message == WM_ERASEBKGND) return tolvex_test::EraseWith(window, wParam, RGB(10, 20, 30));
  return DefWindowProcW(window, message, wParam, lParam);
}

class WindowTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    gLog = &log_;
    tolvex_test::RegisterWindowClass(u"TestWindow", LoggingProc);
  }
  void TearDown() override { gLog = nullptr; }
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  std::vector<UINT> log_;
};

TEST_F(WindowTest, PostedMessagesComeBeforePaintAndPaintBeforeTimers) {
  HWND w = CreateWindowExW(0, u"TestWindow", u"", WS_POPUP | WS_VISIBLE, 10, 20, 100, 50, nullptr, nullptr,
                           nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  SetTimer(w, 3, 0, nullptr);  // due at once
  PostMessageW(w, WM_USER + 1, 0, 0);
  int presents = orlik_sim_screen_present_count();
  Pump();
  EXPECT_EQ(log_, (std::vector<UINT>{WM_USER + 1, WM_PAINT, WM_ERASEBKGND, 0x10003}));
  EXPECT_EQ(orlik_sim_screen_present_count(), presents + 1) << "each repaint is presented";
  // The erase painted the window's client area on the screen, nothing else.
  EXPECT_EQ(orlik_sim_screen_pixel(10, 20), RGB(10, 20, 30));
  EXPECT_EQ(orlik_sim_screen_pixel(109, 69), RGB(10, 20, 30));
  EXPECT_EQ(orlik_sim_screen_pixel(110, 70), RGB(0, 0, 0));

  // A repeating timer comes back after its period; a killed one never.
  log_.clear();
  SetTimer(w, 4, 30, nullptr);
  MSG msg;
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(25));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.wParam, 4u);
  EXPECT_TRUE(KillTimer(w, 4));
  EXPECT_FALSE(KillTimer(w, 4));
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

  // Invalidation without erase paints without WM_ERASEBKGND.
  InvalidateRect(w, nullptr, FALSE);
  Pump();
  EXPECT_EQ(log_, (std::vector<UINT>{WM_PAINT}));
  PostQuitMessage(7);
  ASSERT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowTest, SetWindowPosMovesSizesAndMakesTopmost) {
  HWND w = CreateWindowExW(0, u"TestWindow", u"", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
  log_.clear();
  ASSERT_TRUE(SetWindowPos(w, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                           SWP_NOZORDER));
  EXPECT_EQ(log_, (std::vector<UINT>{WM_SIZE}));
  EXPECT_FALSE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
  ASSERT_TRUE(SetWindowPos(w, HWND_TOPMOST, 5, 5, 0, 0, SWP_NOSIZE));
  EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT r, desktop;
  GetWindowRect(w, &r);
  GetWindowRect(GetDesktopWindow(), &desktop);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.right - r.left, 800);
  EXPECT_EQ(desktop.right, 800);
  EXPECT_EQ(desktop.bottom, 480);
  GetClientRect(w, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.bottom, 480);
  DestroyWindow(w);
}

// A dialog procedure that ends its dialog from a timer, as the updater does.
struct DialogRun {
  std::vector<UINT> messages;
  HWND window = nullptr;
  bool ctlColorDuringErase = false;
};

INT_PTR CALLBACK TimedDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogRun* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrW(dialog, DWL_USER));
  if (message == WM_INITDIALOG) {
    run = reinterpret_cast<DialogRun*>(lParam);
    SetWindowLongPtrW(dialog, DWL_USER, lParam);
    run->window = dialog;
    run->messages.push_back(message);
    SendMessageW(dialog, WM_SETICON, ICON_BIG, 1234);
    EXPECT_EQ(SendMessageW(dialog, WM_SETICON, ICON_BIG, 5678), 1234) << "the previous icon comes back";
    SetTimer(dialog, 7, 20, nullptr);
    return TRUE;
  }
  if (!run) return FALSE;
  run->messages.push_back(message);
  if (message == WM_CTLCOLORDLG) {
    run->ctlColorDuringErase = true;
    return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
  }
  if (message == WM_TIMER && wParam == 7) {
    KillTimer(dialog, 7);
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  return FALSE;
}

TEST_F(WindowTest, ModalDialogRunsFromItsTemplateUntilEndDialog) {
#pragma pack(push, 2)
  struct {
    DLGTEMPLATE header;
    WORD menu, cls, title, points;
    char16_t face[13];
  } dialogTemplate = {{WS_POPUP | WS_VISIBLE | DS_CENTER | DS_SETFONT, 0, 0, 0, 0, 224, 133}, 0, 0, 0, 9,
                      u"MS Shell Dlg"};
#pragma pack(pop)
  DialogRun run;
  INT_PTR result = DialogBoxIndirectParamW(nullptr, &dialogTemplate.header, nullptr, TimedDialog,
                                           reinterpret_cast<LPARAM>(&run));
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(IsWindow(run.window)) << "the dialog is destroyed when its run ends";
  ASSERT_FALSE(run.messages.empty());
  EXPECT_EQ(run.messages.front(), WM_INITDIALOG);
  EXPECT_TRUE(run.ctlColorDuringErase) << "the default erase asks for the dialog's brush";
  // The dialog was painted centred, 336 x 216 pixels, with the brush it gave.
  EXPECT_EQ(orlik_sim_screen_pixel(400, 240), RGB(255, 255, 255));
  EXPECT_EQ(orlik_sim_screen_pixel(232 - 1, 132), RGB(0, 0, 0));
  EXPECT_EQ(orlik_sim_screen_pixel(232, 132), RGB(255, 255, 255));

  // The Cancel action of the default handling ends a run as well.
  auto okAtInit = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return FALSE;
  };
  EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &dialogTemplate.header, nullptr, okAtInit, 0), IDCANCEL);

  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCE(999), nullptr, TimedDialog, 0), -1)
      << "a missing template";
}

}  // namespace
