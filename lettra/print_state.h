// The library's process-wide state: PrintState, created at load, destroyed at
// unload, and the print status word read by IsPrinting.
#pragma once

#include <orlik/windows.h>
#include <tolvex/export.h>
#include <tolvex/lettra.h>
#include <tolvex/non_copyable.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace lettra {

inline constexpr size_t kDeviceNameUnits = 200;
inline constexpr size_t kFontFaceUnits = 50;

class PrintState : tolvex::NonCopyable {
 public:
  PrintState();
  ~PrintState();

  // Scale rule: in high quality every page unit is two printer pixels.
  // Scale64 is exact; Scale gives what a DC coordinate can hold, the nearest
  // 32-bit value.
  int64_t Scale64(int32_t value) const { return highQuality ? int64_t(value) * 2 : value; }
  int32_t Scale(int32_t value) const { return ToDevice(Scale64(value)); }
  static int32_t ToDevice(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  }
  // Waits until the last PrintFinisher has ended (the DC it works on must
  // outlive it).
  void WaitForPrintThread();

  DOCINFOW docInfo{};
  DEVMODEW devMode{};
  HDC printerDC = nullptr;
  WCHAR deviceName[kDeviceNameUnits] = {};
  HANDLE printThread = nullptr;
  HMODULE resourceModule = nullptr;
  WCHAR fontFace[kFontFaceUnits] = {};
  uint8_t fontBold = 0, fontItalic = 0, fontSmooth = 0;
  int32_t pageWidth = 0, pageHeight = 0;
  COLORREF penColor = 0;
  int32_t penWidth = 0;
  COLORREF brushColor = 0;
  uint8_t brushStyle = 0;
  uint8_t highQuality = 0;
};

extern PrintState printState;
// 0 idle or last print succeeded, 1 printing, 2 last print failed.
extern std::atomic<int32_t> printStatus;

}  // namespace lettra
