// The launcher's exports: the setters fill LauncherSettings; Start lists the
// changed files, builds the update command line, writes the carried updater
// and starts it.
#include "launcher_settings.h"

#include <tolvex/export.h>
#include <tolvex/renokit.h>

#include <iterator>
#include <new>
#include <string>

namespace renokit {

LauncherSettings settings;

namespace {

constexpr int kUpdaterResource = 122;
constexpr LPCWSTR kUpdaterPath = u"Windows\\Renovo.exe";

std::u16string Decimal(DWORD value) {
  WCHAR digits[12];
  WCHAR* p = digits + 11;
  *p = 0;
  do {
    *--p = WCHAR(u'0' + value % 10);
    value /= 10;
  } while (value);
  return p;
}

// "%s\%s"
std::u16string JoinPath(LPCWSTR folder, LPCWSTR name) {
  return std::u16string(orlik::View(folder)) + u"\\" + std::u16string(orlik::View(name));
}

// Whether a search for the pattern finds anything. Out of line, as the
// probes that use it, so that their buffers stay off the frame of the
// comparison's loop.
__attribute__((noinline)) bool Finds(LPCWSTR pattern) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// Whether "<source folder>\" finds the folder.
__attribute__((noinline)) bool SourceFolderExists() {
  WCHAR probe[MAX_PATH];
  orlik_wcscpy_bounded(probe, MAX_PATH, settings.sourceFolder);
  orlik_wcscat_bounded(probe, MAX_PATH, u"\\");
  return Finds(probe);
}

// Every file of the source folder that the target folder lacks or holds with
// another byte sum, in the order of the search, joined by "|". Empty when the
// source folder is missing or holds no file. Out of line, so that its loop
// runs on a frame of its own, not Start's larger one.
__attribute__((hot, noinline)) std::u16string ListChangedFiles() {
  if (!SourceFolderExists()) return {};
  WIN32_FIND_DATAW found;
  std::u16string pattern = std::u16string(orlik::View(settings.sourceFolder)) + u"\\*.*";
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::u16string changed;
  // "%s\%s" of each folder and the entry's name; the folder parts stay put.
  const std::u16string sourcePrefix = JoinPath(settings.sourceFolder, u"");
  const std::u16string targetPrefix = JoinPath(settings.targetFolder, u"");
  std::u16string sourcePath, targetPath;
  ByteSummer summer;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::u16string_view name = orlik::View(found.cFileName);
    sourcePath.assign(sourcePrefix).append(name);
    targetPath.assign(targetPrefix).append(name);
    // A target that opens exists; only one that does not is searched for,
    // which leaves the result as "missing, or another sum" and saves a
    // look-up of every target.
    DWORD targetSum;
    bool isChanged = summer.Opened(targetPath.c_str(), &targetSum)
                         ? summer.Sum(sourcePath.c_str()) != targetSum
                         : !Finds(targetPath.c_str()) || summer.Sum(sourcePath.c_str()) != 0;
    if (!isChanged) continue;
    if (!changed.empty()) changed += u"|";
    changed += name;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return changed;
}

// The thirteen fields of the updater's command line, joined by ":".
std::u16string BuildCommandLine(const std::u16string& changedFiles) {
  const LauncherSettings& s = settings;
  std::u16string line = changedFiles;
  for (const std::u16string& field :
       {std::u16string(orlik::View(s.sourceFolder)), std::u16string(orlik::View(s.targetFolder)),
        std::u16string(orlik::View(s.backgroundImagePath)), std::u16string(orlik::View(s.displayText1)),
        Decimal(s.textColor1), std::u16string(orlik::View(s.displayText2)), Decimal(s.textColor2),
        std::u16string(orlik::View(s.displayText3)), Decimal(s.textColor3), Decimal(s.startInterval),
        std::u16string(s.reboot ? u"r" : u"e"), std::u16string(orlik::View(s.fontName))}) {
    line += u":";
    line += field;
  }
  return line;
}

// Writes the carried updater to "Windows\Renovo.exe". Any failure ends the
// step silently: Start then starts whatever program file is there.
void WriteUpdater() {
  HMODULE self = GetModuleHandleW(u"Renokit.DLL");
  if (!self) return;
  HRSRC resource = FindResourceW(self, MAKEINTRESOURCE(kUpdaterResource), u"BIN");
  if (!resource) return;
  HGLOBAL loaded = LoadResource(self, resource);
  DWORD size = SizeofResource(self, resource);
  if (!loaded || size == 0) return;
  HANDLE file = CreateFileW(kUpdaterPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, LockResource(loaded), size, &written, nullptr);
  CloseHandle(file);
}

}  // namespace

INT Start() {
  std::u16string changed = ListChangedFiles();
  if (changed.empty()) return 0;
  std::u16string commandLine = BuildCommandLine(changed);
  WriteUpdater();

  SHELLEXECUTEINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = u"open";
  info.lpFile = kUpdaterPath;
  info.lpParameters = commandLine.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOW;
  ShellExecuteEx(&info);
  return 1;
}

}  // namespace renokit

using renokit::settings;

TOLVEX_EXPORT void SetPath(LPCWSTR sourceFolder, LPCWSTR targetFolder) {
  orlik_wcscpy_bounded(settings.sourceFolder, std::size(settings.sourceFolder), sourceFolder);
  orlik_wcscpy_bounded(settings.targetFolder, std::size(settings.targetFolder), targetFolder);
}

TOLVEX_EXPORT void SetBackImagePath(LPCWSTR path) {
  orlik_wcscpy_bounded(settings.backgroundImagePath, std::size(settings.backgroundImagePath), path);
}

TOLVEX_EXPORT void SetDisplayText(LPCWSTR text1, LPCWSTR text2, LPCWSTR text3) {
  orlik_wcscpy_bounded(settings.displayText1, std::size(settings.displayText1), text1);
  orlik_wcscpy_bounded(settings.displayText2, std::size(settings.displayText2), text2);
  orlik_wcscpy_bounded(settings.displayText3, std::size(settings.displayText3), text3);
}

TOLVEX_EXPORT void SetDisplayTextColor(DWORD colour1, DWORD colour2, DWORD colour3) {
  settings.textColor1 = colour1;
  settings.textColor2 = colour2;
  settings.textColor3 = colour3;
}

TOLVEX_EXPORT void SetFontName(LPCWSTR faceName) {
  orlik_wcscpy_bounded(settings.fontName, std::size(settings.fontName), faceName);
}

TOLVEX_EXPORT void SetStartInterval(DWORD milliseconds) {
  settings.startInterval = milliseconds;
}

TOLVEX_EXPORT void SetReboot(INT flag) { settings.reboot = flag; }

TOLVEX_EXPORT INT Start() {
  // The lists and the command line are built in memory; running out of it
  // starts nothing.
  try {
    return renokit::Start();
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
