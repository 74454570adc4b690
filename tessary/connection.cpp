// FtpState's lifetime and the connection: settings, Connect, DisConnect.
#include "ftp_state.h"

namespace tessary {

FtpState ftpState;

bool CopyField(WCHAR* field, size_t capacity, const WCHAR* text) {
  if (orlik_wcslen(text) >= capacity) {
    field[0] = 0;
    return false;
  }
  orlik_wcscpy_bounded(field, capacity, text);
  return true;
}

void ToWirePath(WCHAR* path) {
  for (; path && *path; ++path)
    if (*path == u'\\') *path = u'/';
}

void ToCallerPath(WCHAR* path) {
  for (; path && *path; ++path)
    if (*path == u'/') *path = u'\\';
}

FtpState::FtpState() {
  cancelEvent = CreateEventW(nullptr, TRUE, FALSE, u"UpDownLoad_Cancel_Event");
}

FtpState::~FtpState() {
  // A transfer thread still running would outlive the code and the state it
  // uses: stop it first.
  WaitForTransfer();
  if (cancelEvent) CloseHandle(cancelEvent);
  cancelEvent = nullptr;
  DisConnect();
}

int32_t FtpState::SetConnectInfo(const WCHAR* server, int32_t newPort, const WCHAR* user,
                                 const WCHAR* newPassword, int32_t newPassive) {
  // A setting too long for its field is stored empty, so Connect fails
  // instead of reaching another host or account.
  if (server) CopyField(serverName, kPathCapacity, server);
  port = newPort;
  if (user) CopyField(userName, kUserCapacity, user);
  if (newPassword) CopyField(password, kUserCapacity, newPassword);
  passive = newPassive;
  return 1;
}

int32_t FtpState::Connect() {
  if (internet && !InternetCloseHandle(internet)) return 0;
  internet = InternetOpenW(u"Tessary", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!internet) return 0;
  if (connection && !InternetCloseHandle(connection)) return 0;
  connection = InternetConnectW(internet, serverName, INTERNET_PORT(uint32_t(port) & 0xFFFFu),
                                userName, password, INTERNET_SERVICE_FTP,
                                passive ? INTERNET_FLAG_PASSIVE : 0, 0);
  return connection ? 1 : 0;
}

int32_t FtpState::DisConnect() {
  if (connection) {
    if (!InternetCloseHandle(connection)) return 0;
    connection = nullptr;
  }
  if (internet) {
    if (!InternetCloseHandle(internet)) return 0;
    internet = nullptr;
  }
  return 1;
}

}  // namespace tessary

using tessary::ftpState;

TOLVEX_EXPORT int32_t SetConnectInfo(const WCHAR* server, int32_t port, const WCHAR* user,
                                      const WCHAR* password, int32_t passive) {
  return ftpState.SetConnectInfo(server, port, user, password, passive);
}
TOLVEX_EXPORT int32_t Connect() { return ftpState.Connect(); }
TOLVEX_EXPORT int32_t DisConnect() { return ftpState.DisConnect(); }
