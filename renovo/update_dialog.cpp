#include "update_dialog.h"

namespace renovo {
namespace {

constexpr DWORD kShowFileMs = 5000;
constexpr DWORD kShowFailureMs = 5000;
constexpr UINT kCloseDelayMs = 1000;
constexpr LPCWSTR kStartupFolder = u"Flash Disk\\Run";

// "%s\%s"
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  return std::u16string(folder) + u"\\" + std::u16string(name);
}

}  // namespace

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

UpdateDialog::UpdateDialog(const UpdateSettings& settings)
    : BackgroundDialog(kUpdateDialogTemplate),
      settings_(settings),
      icon_(LoadIcon(GetModuleHandleW(nullptr), MAKEINTRESOURCE(kProgramIcon))) {}

UpdateDialog::~UpdateDialog() {
  if (icon_) DestroyIcon(icon_);
}

BOOL UpdateDialog::OnInitDialog() {
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(settings_.backgroundImagePath.c_str(), &found);
  bool loaded = false;
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    loaded = LoadBackgroundFromFile(settings_.backgroundImagePath.c_str());
  }
  // A file that is there but is no bitmap shows the built-in image as well.
  if (!loaded) LoadBackgroundFromResource(kBuiltInBackground);
  SetDrawMode(kCentre);

  SetWindowPos(hwnd_, nullptr, 0, 0, screenWidth, screenHeight, SWP_NOZORDER);
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE);
  CenterWindow(GetDesktopWindow());
  PumpMessages();
  SetTimer(hwnd_, kStartTimer, UINT(settings_.startInterval), nullptr);
  return TRUE;
}

void UpdateDialog::OnTimer(UINT_PTR id) {
  if (id == kStartTimer) {
    KillTimer(hwnd_, kStartTimer);
    RunUpdate();
  } else if (id == kCloseTimer) {
    KillTimer(hwnd_, kCloseTimer);
    OnOK();
  }
}

void UpdateDialog::ShowStatus(std::u16string text) {
  currentFile = std::move(text);
  InvalidateRect(hwnd_, nullptr, TRUE);
  PumpMessages();
}

void UpdateDialog::RunUpdate() {
  for (const std::u16string& name : SplitFileList(settings_.fileList)) {
    ShowStatus(name);
    std::u16string sourcePath = JoinPath(settings_.sourceFolder, name);
    std::u16string targetPath = JoinPath(settings_.targetFolder, name);
    bool copied = !NameLeavesFolder(name) && CopyFileW(sourcePath.c_str(), targetPath.c_str(), FALSE);
    if (!copied) {
      ShowStatus(currentFile + u" : File Copy Fail!!!");
      Sleep(kShowFailureMs);
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
    PumpMessages();
    Sleep(kShowFileMs);
  }
  if (settings_.endAction == u"r") RunRebootSequence();
  else StartStartupProgram();
}

void UpdateDialog::RunRebootSequence() {
  if (HMODULE library = LoadLibraryW(u"REBOOT.DLL")) {
    if (FARPROC reboot = GetProcAddressW(library, u"Reboot")) reboot();
  }
  SetSystemPowerState(nullptr, POWER_STATE_RESET, POWER_FORCE);
  DWORD returned = 0;
  KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, &returned);
  SetTimer(hwnd_, kCloseTimer, kCloseDelayMs, nullptr);
}

void UpdateDialog::StartStartupProgram() {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(JoinPath(kStartupFolder, u"*.exe").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;  // the window stays until the panel restarts
  std::u16string program;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::u16string name = found.cFileName;
    if (name.size() < 3) continue;
    std::u16string suffix = name.substr(name.size() - 3);
    for (auto& c : suffix)
      if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    if (suffix == u"exe") {
      program = JoinPath(kStartupFolder, name);
      break;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);

  if (!program.empty()) {
    SHELLEXECUTEINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = u"open";
    info.lpFile = program.c_str();
    info.lpParameters = nullptr;
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOW;
    ShellExecuteEx(&info);
  }
  SetTimer(hwnd_, kCloseTimer, kCloseDelayMs, nullptr);
}

BOOL UpdateDialog::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  HFONT font = CreateFontW(15, 0, 0, 0, FW_HEAVY, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, settings_.fontName.c_str());
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);

  const int x0 = (screenWidth - imageWidth) / 2;
  const int y0 = (screenHeight - imageHeight) / 2;
  const int x1 = x0 + imageWidth;
  const int y1 = y0 + imageHeight;

  SetTextColor(dc, COLORREF(settings_.textColor1));
  RECT box1{x0, y0 + 20, x1, y1};
  DrawTextW(dc, settings_.displayText1.c_str(), -1, &box1, DT_CENTER | DT_WORDBREAK);

  SetTextColor(dc, COLORREF(settings_.textColor2));
  DrawWrappedText(dc, settings_.displayText2, RECT{x0 + 35, y0 + 70, x1 - 50, y1});
  DrawWrappedText(dc, u"File Copy : " + currentFile, RECT{x0 + 30, y0 + 163, x1 - 50, 2 * y1});

  SetTextColor(dc, COLORREF(settings_.textColor3));
  RECT box3{x0, y0 + 215, x1 - 30, y1};
  DrawTextW(dc, settings_.displayText3.c_str(), -1, &box3, DT_RIGHT);

  SelectObject(dc, oldFont);
  DeleteObject(font);
  EndPaint(hwnd_, &paint);
  return TRUE;
}

}  // namespace renovo
