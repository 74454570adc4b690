// Print job and page: PrintSetup, the paper table and page size, Erase,
// NewPage, PrintOut with its PrintFinisher thread, the screen copies and the
// printer DC.
#include "print_state.h"

namespace lettra {

std::atomic<int32_t> printStatus{0};
PrintState printState;

namespace {

constexpr WCHAR kDefaultDevice[] = u"PCL Inkjet";
constexpr WCHAR kDocumentName[] = u"Lettra";
constexpr WCHAR kDriverMarker[] = u"***[BRIVAR_TOLVEX_32767]***";

struct Paper {
  short dmPaperSize;
  int32_t width, height;  // high-quality printer pixels, portrait
};
// Paper argument 0 and 1 are both A4.
constexpr Paper kPaperTable[] = {
    {DMPAPER_A4, 2330, 3283}, {DMPAPER_A4, 2330, 3283},       {DMPAPER_B5, 2000, 2812},
    {DMPAPER_LETTER, 2400, 3076}, {DMPAPER_LEGAL, 2400, 3977},
};

// Set by PrintFinisher when it runs. PrintOut returns only after that: a
// thread still starting up needs the loader, which an unload waiting for the
// thread holds.
std::atomic<bool> finisherStarted{false};

// Finishes the page and the document on its own thread; the caller polls
// IsPrinting.
DWORD WINAPI PrintFinisher(LPVOID parameter) {
  finisherStarted = true;
  HDC dc = static_cast<HDC>(parameter);
  EndPage(dc);
  int result = EndDoc(dc);
  printStatus = result > 0 ? 0 : 2;
  return 0;
}

}  // namespace

PrintState::PrintState() {
  devMode.dmSize = sizeof(DEVMODEW);
  orlik_wcscpy_bounded(deviceName, kDeviceNameUnits, kDefaultDevice);
  orlik_wcscpy_bounded(fontFace, kFontFaceUnits, u"굴림체");
  resourceModule = GetModuleHandleW(nullptr);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

PrintState::~PrintState() {
  CoUninitialize();
  // A PrintFinisher still running works on printerDC and runs this library's
  // code: it must end before either goes.
  WaitForPrintThread();
  if (printerDC) ReleaseDC(nullptr, printerDC);
  if (printThread) CloseHandle(printThread);
}

void PrintState::WaitForPrintThread() {
  if (printThread) WaitForSingleObject(printThread, INFINITE);
}

}  // namespace lettra

using lettra::printState;
using lettra::printStatus;

TOLVEX_EXPORT int32_t PrintSetup(const WCHAR* deviceName, int32_t quality, int32_t colour,
                                 int32_t paper, int32_t orientation) {
  auto& s = printState;
  orlik_wcscpy_bounded(s.deviceName, lettra::kDeviceNameUnits,
                       deviceName ? deviceName : lettra::kDefaultDevice);
  if (quality == 1) {
    s.highQuality = 1;
    s.devMode.dmPrintQuality = DMRES_HIGH;
  } else {
    s.highQuality = 0;
    s.devMode.dmPrintQuality = DMRES_DRAFT;
  }
  s.devMode.dmColor = colour == 1 ? DMCOLOR_COLOR : DMCOLOR_MONOCHROME;
  if (paper >= 0 && paper <= 4) {
    s.devMode.dmPaperSize = lettra::kPaperTable[paper].dmPaperSize;
    s.pageWidth = lettra::kPaperTable[paper].width;
    s.pageHeight = lettra::kPaperTable[paper].height;
  }
  s.devMode.dmOrientation = orientation == 1 ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
  if (s.printerDC) {
    s.WaitForPrintThread();
    ReleaseDC(nullptr, s.printerDC);
  }
  orlik_wcscpy_bounded(s.devMode.dmDeviceName, CCHDEVICENAME, lettra::kDriverMarker);
  s.printerDC = CreateDCW(u"pcl.dll", s.deviceName, u"LPT1", &s.devMode);
  s.docInfo = DOCINFOW{};
  s.docInfo.cbSize = sizeof(DOCINFOW);
  s.docInfo.lpszDocName = lettra::kDocumentName;
  StartDocW(s.printerDC, &s.docInfo);
  StartPage(s.printerDC);
  return 1;
}

TOLVEX_EXPORT int32_t NewPage() {
  StartDocW(printState.printerDC, &printState.docInfo);
  return StartPage(printState.printerDC);
}

TOLVEX_EXPORT HANDLE PrintOut() {
  printStatus = 1;
  if (printState.printThread) CloseHandle(printState.printThread);
  lettra::finisherStarted = false;
  printState.printThread =
      CreateThread(nullptr, 0, lettra::PrintFinisher, printState.printerDC, 0, nullptr);
  if (printState.printThread) {
    while (!lettra::finisherStarted &&
           WaitForSingleObject(printState.printThread, 1) == WAIT_TIMEOUT) {
    }
  }
  return printState.printThread;
}

TOLVEX_EXPORT int32_t IsPrinting() { return printStatus; }

TOLVEX_EXPORT int32_t GetPaperPixel(int32_t* width, int32_t* height) {
  const auto& s = printState;
  const bool high = s.devMode.dmPrintQuality == DMRES_HIGH;
  int32_t w = high ? s.pageWidth : s.pageWidth / 2;
  int32_t h = high ? s.pageHeight : s.pageHeight / 2;
  if (s.devMode.dmOrientation != DMORIENT_PORTRAIT) std::swap(w, h);
  if (width) *width = w;
  if (height) *height = h;
  return 1;
}

TOLVEX_EXPORT int32_t Erase() {
  auto& s = printState;
  HDC dc = s.printerDC;
  // White pen and brush for the clearing rectangle; the caller's pen and
  // brush come back afterwards.
  HPEN whitePen = CreatePen(PS_SOLID, s.highQuality ? 2 : 1, RGB(255, 255, 255));
  HBRUSH whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
  HGDIOBJ callerPen = SelectObject(dc, whitePen);
  HGDIOBJ callerBrush = SelectObject(dc, whiteBrush);
  int32_t w = s.highQuality ? s.pageWidth * 2 : s.pageWidth;
  int32_t h = s.highQuality ? s.pageHeight * 2 : s.pageHeight;
  Rectangle(dc, 0, 0, w, h);
  if (callerPen) SelectObject(dc, callerPen);
  if (callerBrush) SelectObject(dc, callerBrush);
  DeleteObject(whitePen);
  DeleteObject(whiteBrush);
  return 1;
}

TOLVEX_EXPORT int32_t DisplayToPrint1(int32_t x, int32_t y, int32_t width, int32_t height) {
  auto& s = printState;
  x = s.Scale(x);
  y = s.Scale(y);
  if (width != -1) width = s.Scale(width);
  if (height != -1) height = s.Scale(height);
  int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(nullptr);
  int sourceWidth = screenWidth, sourceHeight = screenHeight;
  if (width == -1 && height == -1) {
    width = sourceWidth = s.Scale(screenWidth);
    height = sourceHeight = s.Scale(screenHeight);
  }
  BOOL result = StretchBlt(s.printerDC, x, y, width, height, screen, 0, 0, sourceWidth,
                           sourceHeight, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return result;
}

TOLVEX_EXPORT int32_t DisplayToPrint2(int32_t x, int32_t y) {
  auto& s = printState;
  x = s.Scale(x);
  y = s.Scale(y);
  int width = s.Scale(GetSystemMetrics(SM_CXSCREEN));
  int height = s.Scale(GetSystemMetrics(SM_CYSCREEN));
  HDC screen = GetDC(nullptr);
  BOOL result = StretchBlt(s.printerDC, x, y, width, height, screen, 0, 0, width, height, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return result;
}

TOLVEX_EXPORT void* GetPrintDC() { return printState.printerDC; }
