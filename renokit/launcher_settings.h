// The launcher's one record per process: the update's parameters as the
// setters left them. All zero at load.
#pragma once

#include <orlik/windows.h>

#include <memory>

namespace renokit {

struct LauncherSettings {
  WCHAR sourceFolder[260] = {};
  WCHAR targetFolder[260] = {};
  WCHAR backgroundImagePath[260] = {};
  WCHAR displayText1[100] = {};
  WCHAR displayText2[500] = {};
  WCHAR displayText3[100] = {};
  WCHAR fontName[50] = {};
  DWORD textColor1 = 0;
  DWORD textColor2 = 0;
  DWORD textColor3 = 0;
  INT reboot = 0;
  DWORD startInterval = 0;
};

extern LauncherSettings settings;

// Sums of every byte of files, wrapping at 32 bits, read in 10240-byte
// blocks. One summer keeps its block for all the files it reads, off the
// stack, so that the calls under a sum find their frames close together.
class ByteSummer {
 public:
  static constexpr DWORD kBlock = 10240;
  // The file's sum in *total; false (and 0) when it cannot be opened.
  bool Opened(LPCWSTR path, DWORD* total);
  // The file's sum; 0 when it cannot be opened.
  DWORD Sum(LPCWSTR path) {
    DWORD total;
    Opened(path, &total);
    return total;
  }

 private:
  std::unique_ptr<BYTE[]> block_ = std::make_unique_for_overwrite<BYTE[]>(kBlock);
};

// The ways of summing a block, each wider than the one before. The sum takes
// the widest the processor has; tests compare them all.
enum class SumWay { kBytes, kSse2, kAvx2, kAvx512 };
bool SumWayAvailable(SumWay way);
// A block's sum the given way (byte by byte if the processor lacks it).
DWORD SumOfBytesUsing(SumWay way, const BYTE* bytes, size_t count);

}  // namespace renokit
