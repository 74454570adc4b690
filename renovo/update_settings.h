// The update request as the updater's command line carries it: thirteen
// fields separated by ":", the first a list of file names separated by "|".
#pragma once

#include <orlik/windows.h>

#include <string>
#include <vector>

namespace renovo {

struct UpdateSettings {
  std::u16string fileList;
  std::u16string sourceFolder;
  std::u16string targetFolder;
  std::u16string backgroundImagePath;  // at most 259 characters
  std::u16string displayText1;
  INT textColor1 = 0;
  std::u16string displayText2;
  INT textColor2 = 0;
  std::u16string displayText3;
  INT textColor3 = 0;
  INT startInterval = 0;
  std::u16string endAction;  // lower case
  std::u16string fontName;   // lower case, at most 31 characters
};

// Reads the update command line. A missing field reads as empty text or 0;
// anything after a thirteenth separator is ignored. A null line reads as "".
UpdateSettings ReadCommandLine(LPCWSTR commandLine);

// Decimal text as a signed 32-bit value: leading white space, an optional
// sign, digits up to the first non-digit; no digits give 0. Values beyond 32
// bits keep their low 32 bits, so an unsigned colour round-trips.
INT ReadNumber(std::u16string_view text);

// The names of fileList, split at "|". Always at least one name.
std::vector<std::u16string> SplitFileList(std::u16string_view fileList);

// True for a name the launcher would never send, one that reaches outside
// its folder: it holds a separator or is exactly "." or "..". Dots inside a
// name ("app..old.dll") leave nothing.
bool NameLeavesFolder(std::u16string_view name);

}  // namespace renovo
