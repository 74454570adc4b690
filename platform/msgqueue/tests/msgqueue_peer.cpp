// Another process on the same panel (same ORLIK_ROOT):
//   orlik_msgqueue_peer read NAME COUNT TIMEOUT_MS  reads COUNT messages, one hex line each
//   orlik_msgqueue_peer write NAME BYTE...          writes one-byte messages
// Prints "ready" once its end is open and "error N" when a call fails.
#include <orlik/windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  bool reading = std::strcmp(argv[1], "read") == 0;
  std::u16string name = orlik::FromUtf8(argv[2]);
  MSGQUEUEOPTIONS options = {sizeof(MSGQUEUEOPTIONS), MSGQUEUE_NOPRECOMMIT, 0, 256, reading};
  HANDLE queue = CreateMsgQueue(name.c_str(), &options);
  if (!queue) {
    std::printf("error %u\n", GetLastError());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  int status = 0;
  if (reading && argc >= 5) {
    int count = std::atoi(argv[3]);
    DWORD timeout = DWORD(std::atoi(argv[4]));
    for (int i = 0; i < count; ++i) {
      unsigned char buffer[256];
      DWORD got = 0, flags = 0;
      if (!ReadMsgQueue(queue, buffer, sizeof buffer, &got, timeout, &flags)) {
        std::printf("error %u\n", GetLastError());
        status = 1;
        break;
      }
      for (DWORD k = 0; k < got; ++k) std::printf("%02X", buffer[k]);
      std::printf("\n");
      std::fflush(stdout);
    }
  } else {
    for (int i = 3; i < argc; ++i) {
      BYTE b = BYTE(std::strtoul(argv[i], nullptr, 0));
      if (!WriteMsgQueue(queue, &b, 1, 1000, 0)) {
        std::printf("error %u\n", GetLastError());
        status = 1;
        break;
      }
    }
  }
  CloseMsgQueue(queue);
  return status;
}
