// A start-up program for the tests: leaves "\startup-mark.txt" in the device
// root with the command line it was given and its own name.
#include <orlik/winmain.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  WCHAR self[MAX_PATH] = {};
  GetModuleFileNameW(instance, self, MAX_PATH);
  std::string text = "command line=[" + orlik::ToUtf8(orlik::View(commandLine)) + "]\n";
  HANDLE file = CreateFileW(u"\\startup-mark.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
