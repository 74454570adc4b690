// The address of a console socket. Shared by the endpoint and its clients.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace orlik::console_address {

// Fills *addr for the socket at path. A path longer than sun_path holds is
// reached through an open descriptor of its folder ("/proc/self/fd/N/name");
// *folder gets that descriptor, to be closed after bind or connect (-1 when
// none was needed). False when the path cannot be expressed.
inline bool Make(const std::string& path, sockaddr_un* addr, int* folder) {
  *folder = -1;
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.size() < sizeof addr->sun_path) {
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
  }
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return false;
  std::string dir = slash == 0 ? "/" : path.substr(0, slash);
  *folder = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (*folder < 0) return false;
  int n = std::snprintf(addr->sun_path, sizeof addr->sun_path, "/proc/self/fd/%d/%s", *folder,
                        path.c_str() + slash + 1);
  if (n < 0 || size_t(n) >= sizeof addr->sun_path) {
    close(*folder);
    *folder = -1;
    return false;
  }
  return true;
}

// "console-<pid>.sock": the pid, or 0 for another name.
inline int PidOf(const char* name) {
  int pid = 0, used = 0;
  if (std::sscanf(name, "console-%d.sock%n", &pid, &used) != 1 || name[used] != 0 || pid <= 0) return 0;
  return pid;
}

}  // namespace orlik::console_address
