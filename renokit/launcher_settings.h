// The launcher's one record per process: the update's parameters as the
// setters left them. All zero at load.
#pragma once

#include <orlik/windows.h>

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

// Sum of every byte of the file, wrapping at 32 bits; 0 when it cannot be opened.
DWORD ByteSum(LPCWSTR path);
// The same sum in *total; false (and 0) when the file cannot be opened.
bool OpenedByteSum(LPCWSTR path, DWORD* total);

// The ways of summing a block, each wider than the one before. The sum takes
// the widest the processor has; tests compare them all.
enum class SumWay { kBytes, kSse2, kAvx2, kAvx512 };
bool SumWayAvailable(SumWay way);
// A block's sum the given way (byte by byte if the processor lacks it).
DWORD SumOfBytesUsing(SumWay way, const BYTE* bytes, size_t count);

}  // namespace renokit
