#include "launcher_settings.h"

namespace renokit {

DWORD ByteSum(LPCWSTR path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  static constexpr DWORD kBlock = 10240;
  BYTE buffer[kBlock];
  DWORD sum = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, kBlock, &read, nullptr) || read == 0) break;
    for (DWORD i = 0; i < read; ++i) sum += buffer[i];
  }
  CloseHandle(file);
  return sum;
}

}  // namespace renokit
