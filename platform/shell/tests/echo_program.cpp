// Test program: writes the command line it was given to "\echo.txt" and
// exits with the number of UTF-16 units in it.
#include <orlik/winmain.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  std::string text = orlik::ToUtf8(orlik::View(commandLine));
  HANDLE file = CreateFileW(u"\\echo.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 255;
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
  return int(orlik_wcslen(commandLine) % 200);
}
