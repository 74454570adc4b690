// _wfopen: a C stream over a platform file handle (glibc's fopencookie), so
// the stream's buffering is the standard library's and every byte reaches
// the file through ReadFile and WriteFile.
#include <orlik/kernel.h>
#include <orlik/text.h>
#include <orlik/wstdio.h>

#include <cstdio>
#include <cstring>

namespace {

ssize_t CookieRead(void* cookie, char* buffer, size_t size) {
  DWORD read = 0;
  DWORD chunk = size > 0x40000000u ? 0x40000000u : DWORD(size);
  if (!ReadFile(static_cast<HANDLE>(cookie), buffer, chunk, &read, nullptr)) return -1;
  return ssize_t(read);
}

ssize_t CookieWrite(void* cookie, const char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    DWORD written = 0;
    DWORD chunk = size - done > 0x40000000u ? 0x40000000u : DWORD(size - done);
    if (!WriteFile(static_cast<HANDLE>(cookie), buffer + done, chunk, &written, nullptr) || written == 0)
      return done ? ssize_t(done) : -1;
    done += written;
  }
  return ssize_t(done);
}

int CookieSeek(void* cookie, off64_t* offset, int whence) {
  DWORD method = whence == SEEK_SET ? FILE_BEGIN : whence == SEEK_CUR ? FILE_CURRENT : FILE_END;
  LONG high = LONG(*offset >> 32);
  DWORD low = SetFilePointer(static_cast<HANDLE>(cookie), LONG(*offset & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return -1;
  *offset = (off64_t(high) << 32) | low;
  return 0;
}

int CookieClose(void* cookie) { return CloseHandle(static_cast<HANDLE>(cookie)) ? 0 : -1; }

}  // namespace

extern "C" FILE* _wfopen(LPCWSTR fileName, LPCWSTR mode) {
  if (!fileName || !mode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool plus = false;
  for (const WCHAR* m = mode; *m; ++m) plus = plus || *m == u'+';
  DWORD access = 0, creation = 0;
  switch (mode[0]) {
    case u'r':
      access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
      creation = OPEN_EXISTING;
      break;
    case u'w':
      access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
      creation = CREATE_ALWAYS;
      break;
    case u'a':
      access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
      creation = OPEN_ALWAYS;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  HANDLE file = CreateFileW(fileName, access, FILE_SHARE_READ, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  if (mode[0] == u'a') SetFilePointer(file, 0, nullptr, FILE_END);
  char cmode[4] = {char(mode[0]), plus ? '+' : '\0', '\0', '\0'};
  cookie_io_functions_t io{&CookieRead, &CookieWrite, &CookieSeek, &CookieClose};
  FILE* stream = fopencookie(file, cmode, io);
  if (!stream) {
    CloseHandle(file);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return stream;
}
