// WinInet FTP on POCO's FTP client session. POCO carries the control
// connection (greeting, login, PASV/EPSV or PORT/EPRT, replies); the data
// connections are driven here so that every wait has a time-out, writes never
// raise SIGPIPE, and the end of a download is only reported once the server
// has confirmed it.
#include <orlik/kernel.h>
#include <orlik/text.h>
#include <orlik/wininet.h>

#include "core/filetime.h"
#include "core/handles.h"
#include "core/last_error.h"
#include "core/names.h"
#include "wininet/ftp_listing.h"

#include <Poco/Exception.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>

#include <signal.h>
#include <sys/socket.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orlik {
namespace {

using Poco::Net::StreamSocket;

thread_local std::string lastResponse;

// Listings larger than this are refused rather than held in memory.
constexpr size_t kMaxListing = 64u << 20;

Poco::Timespan NetworkTimeout() {
  long ms = 15000;
  if (const char* v = std::getenv("ORLIK_FTP_TIMEOUT_MS")) {
    char* end = nullptr;
    long parsed = std::strtol(v, &end, 10);
    if (end != v && parsed >= 50) ms = parsed;
  }
  return Poco::Timespan(ms / 1000, (ms % 1000) * 1000);
}

// Sending on a socket the peer has closed raises SIGPIPE, which would end the
// whole process. The signal is blocked on this thread for the duration of a
// call and a SIGPIPE raised meanwhile is consumed.
class SigpipeGuard {
 public:
  SigpipeGuard() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
  }
  ~SigpipeGuard() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
      timespec zero{};
      sigtimedwait(&pipe_, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t pipe_, old_;
  bool wasPending_ = false;
};

// POCO's session with access to its data-connection set-up and its reply
// reader, so transfers can be driven on the raw data socket.
class FtpSession final : public Poco::Net::FTPClientSession {
 public:
  // POCO would read the greeting under a fixed 30 s time-out; it is read by
  // Greet instead, under the session's own.
  explicit FtpSession(const StreamSocket& control) : FTPClientSession(control, false) {}

  void Greet() {
    std::string response;
    int status = _pControlSocket->receiveStatusMessage(response);
    if (status / 100 != 2) throw Poco::Net::FTPException("no greeting", response, status);
  }

  // Sends the command (RETR, STOR, LIST, MLSD) on a new data connection and
  // checks its preliminary reply.
  StreamSocket OpenData(const std::string& command, const std::string& arg, Poco::Timespan timeout) {
    dataTimeout_ = timeout;
    StreamSocket data = establishDataConnection(command, arg);
    data.setReceiveTimeout(timeout);
    data.setSendTimeout(timeout);
    return data;
  }
  // The reply that ends a data transfer (226, or 426 after an abort).
  int ReadReply(std::string& response) { return _pControlSocket->receiveStatusMessage(response); }
  // Cuts the control connection without a QUIT (the server is gone).
  void Drop() {
    if (_pControlSocket) _pControlSocket->close();
  }

 protected:
  // As POCO's, but the passive data connection is made under the time-out
  // too (POCO connects it without one). Active mode already waits for the
  // server's connection under the session time-out.
  StreamSocket establishDataConnection(const std::string& command, const std::string& arg) override {
    if (!getPassive()) return activeDataConnection(command, arg);
    Poco::Net::SocketAddress address = sendPassiveCommand();
    StreamSocket data;
    data.connect(address, dataTimeout_);
    std::string response;
    int status = sendCommand(command, arg, response);
    if (!isPositivePreliminary(status))
      throw Poco::Net::FTPException(command + " command failed", response, status);
    return data;
  }

 private:
  Poco::Timespan dataTimeout_ = Poco::Timespan(15, 0);
};

class InternetSession final : public KernelObject {
 public:
  explicit InternetSession(std::u16string agent) : agent_(std::move(agent)) {}

 private:
  std::u16string agent_;
};

class FtpConnection final : public KernelObject {
 public:
  FtpConnection(std::unique_ptr<FtpSession> session, bool mlsd)
      : session_(std::move(session)), mlsd_(mlsd) {}

  // The control channel; held for each command, not for a whole transfer.
  std::mutex mutex;
  // Under mutex: a file or find handle owns the data channel.
  bool busy = false;
  // Under mutex: the control connection is lost (time-out, reset).
  bool dropped = false;
  bool closed = false;

  FtpSession& session() { return *session_; }
  bool mlsd() const { return mlsd_; }

  void OnClose() override {
    std::lock_guard lock(mutex);
    closed = true;
    if (!busy) EndLocked();
  }
  // Under mutex: logs out (or just cuts a lost connection).
  void EndLocked() {
    if (!session_) return;
    SigpipeGuard guard;
    if (dropped) session_->Drop();
    try {
      session_->close();
    } catch (...) {
      session_->Drop();
    }
    session_.reset();
  }
  // Under mutex: a handle that held the data channel has ended.
  void ReleaseLocked() {
    busy = false;
    if (closed) EndLocked();
  }

 private:
  std::unique_ptr<FtpSession> session_;
  bool mlsd_;
};

class FtpFind final : public KernelObject {
 public:
  FtpFind(std::shared_ptr<FtpConnection> connection, std::vector<WIN32_FIND_DATAW> entries)
      : connection_(std::move(connection)), entries_(std::move(entries)) {}
  bool Next(WIN32_FIND_DATAW* data) {
    std::lock_guard lock(mutex_);
    if (next_ >= entries_.size()) return false;
    *data = entries_[next_++];
    return true;
  }
  void OnClose() override {
    std::lock_guard lock(connection_->mutex);
    connection_->ReleaseLocked();
  }

 private:
  std::shared_ptr<FtpConnection> connection_;
  std::mutex mutex_;
  std::vector<WIN32_FIND_DATAW> entries_;
  size_t next_ = 1;  // the first went out with FtpFindFirstFileW
};

template <class E>
bool Is(const Poco::Exception& x) {
  return dynamic_cast<const E*>(&x) != nullptr;
}

// The WinInet error of a POCO exception, the first row that matches; lost:
// the control channel can no longer be trusted. Any other POCO exception is
// an aborted connection.
struct PocoError {
  bool (*matches)(const Poco::Exception&);
  DWORD error;
  bool lost;
};
constexpr PocoError kPocoErrors[] = {
    {Is<Poco::TimeoutException>, ERROR_INTERNET_TIMEOUT, true},
    {Is<Poco::Net::HostNotFoundException>, ERROR_INTERNET_NAME_NOT_RESOLVED, false},
    {Is<Poco::Net::NoAddressFoundException>, ERROR_INTERNET_NAME_NOT_RESOLVED, false},
    {Is<Poco::Net::ConnectionRefusedException>, ERROR_INTERNET_CANNOT_CONNECT, true},
    {Is<Poco::Net::ConnectionResetException>, ERROR_INTERNET_CONNECTION_RESET, true},
};

// Maps an exception from POCO to the WinInet error; marks the connection
// lost when the control channel can no longer be trusted.
DWORD ErrorOf(const std::exception_ptr& e, bool* lost) {
  *lost = false;
  try {
    std::rethrow_exception(e);
  } catch (const Poco::Net::FTPException& x) {
    lastResponse = x.message();
    // A reply of 0 means the connection ended where a reply was due.
    if (x.code() == 0) *lost = true;
    return x.code() == 530 ? ERROR_INTERNET_LOGIN_FAILURE : ERROR_INTERNET_EXTENDED_ERROR;
  } catch (const Poco::Exception& x) {
    lastResponse = x.displayText();
    for (const PocoError& row : kPocoErrors) {
      if (row.matches(x)) {
        *lost = row.lost;
        return row.error;
      }
    }
    *lost = true;
    return ERROR_INTERNET_CONNECTION_ABORTED;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

// The object behind a handle as a T; null with the error set when the handle
// is unknown or of another kind.
template <class T>
std::shared_ptr<T> HandleAs(HINTERNET handle) {
  auto object = LookupHandleAs<T>(handle);
  if (!object) Fail(LookupHandle(handle) ? ERROR_INTERNET_INCORRECT_HANDLE_TYPE : ERROR_INVALID_HANDLE);
  return object;
}

// Runs one control-channel operation on a connection handle: fails while a
// transfer holds the connection or after it was lost, maps exceptions to
// WinInet errors.
template <class Op>
BOOL OnConnection(HINTERNET handle, Op op) {
  auto connection = HandleAs<FtpConnection>(handle);
  if (!connection) return FALSE;
  std::lock_guard lock(connection->mutex);
  if (connection->busy) return Fail(ERROR_FTP_TRANSFER_IN_PROGRESS);
  if (connection->dropped || connection->closed) return Fail(ERROR_FTP_DROPPED);
  SigpipeGuard guard;
  try {
    return op(*connection);
  } catch (...) {
    bool lost = false;
    DWORD error = ErrorOf(std::current_exception(), &lost);
    if (lost) connection->dropped = true;
    return Fail(error);
  }
}

// Reads until the peer ends the stream or limit bytes arrived.
std::string ReadAll(StreamSocket& data, size_t limit) {
  std::string out;
  char buf[16384];
  for (;;) {
    int n = data.receiveBytes(buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, size_t(n));
    if (out.size() > limit) throw Poco::Net::FTPException("listing too large");
  }
  return out;
}

WIN32_FIND_DATAW ToFindData(const ftp::ListingEntry& e) {
  WIN32_FIND_DATAW d{};
  d.dwFileAttributes = e.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  // A time the listing did not give stays 0.
  FILETIME modified = e.modified < 0 ? FILETIME{0, 0} : FileTimeFromUnix(e.modified);
  d.ftCreationTime = d.ftLastAccessTime = d.ftLastWriteTime = modified;
  d.nFileSizeHigh = DWORD(e.size >> 32);
  d.nFileSizeLow = DWORD(e.size);
  std::u16string name = FromUtf8(e.name);
  orlik_wcscpy_bounded(d.cFileName, MAX_PATH, name.c_str());
  return d;
}

std::string WirePath(LPCWSTR text) { return ToUtf8(View(text)); }

// One control-channel operation on one remote path, which must be given.
template <class Op>
BOOL OnRemotePath(HINTERNET connection, LPCWSTR path, Op op) {
  if (!path) return Fail(ERROR_INVALID_PARAMETER);
  return OnConnection(connection, [&](FtpConnection& c) {
    op(c.session(), WirePath(path));
    return TRUE;
  });
}

class FtpFile final : public KernelObject {
 public:
  FtpFile(std::shared_ptr<FtpConnection> connection, StreamSocket data, bool upload)
      : connection_(std::move(connection)), data_(std::move(data)), upload_(upload) {}

  BOOL Read(void* buffer, DWORD toRead, DWORD* read) {
    std::lock_guard lock(mutex_);
    if (upload_) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (failed_) return Fail(ERROR_INTERNET_CONNECTION_ABORTED);
    if (ended_) return TRUE;
    SigpipeGuard guard;
    DWORD done = 0;
    try {
      while (done < toRead) {
        int chunk = int(std::min<DWORD>(toRead - done, 1u << 30));
        int n = data_.receiveBytes(static_cast<char*>(buffer) + done, chunk);
        if (n <= 0) {
          // The data connection ended: the file is complete only if the
          // server says so.
          if (!FinishLocked(true)) return FailRead(ERROR_INTERNET_CONNECTION_ABORTED);
          break;
        }
        done += DWORD(n);
      }
    } catch (...) {
      bool lost = false;
      DWORD error = ErrorOf(std::current_exception(), &lost);
      return FailRead(error);
    }
    *read = done;
    return TRUE;
  }

  BOOL Write(const void* buffer, DWORD toWrite, DWORD* written) {
    std::lock_guard lock(mutex_);
    if (!upload_) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (failed_ || ended_) return Fail(ERROR_INTERNET_CONNECTION_ABORTED);
    SigpipeGuard guard;
    DWORD done = 0;
    try {
      while (done < toWrite) {
        int chunk = int(std::min<DWORD>(toWrite - done, 1u << 30));
        int n = data_.sendBytes(static_cast<const char*>(buffer) + done, chunk, MSG_NOSIGNAL);
        if (n <= 0) throw Poco::Net::ConnectionResetException("data connection closed");
        done += DWORD(n);
      }
    } catch (...) {
      bool lost = false;
      DWORD error = ErrorOf(std::current_exception(), &lost);
      // Part of the block may have gone out: the stream cannot be resumed.
      failed_ = true;
      *written = done;
      return Fail(error);
    }
    *written = done;
    return TRUE;
  }

  // Ends the transfer: closes the data connection and takes the server's
  // final reply. FALSE when an upload was not confirmed.
  BOOL Close() {
    std::lock_guard lock(mutex_);
    if (ended_) return failed_ ? Fail(ERROR_INTERNET_CONNECTION_ABORTED) : TRUE;
    SigpipeGuard guard;
    bool complete = FinishLocked(!failed_);
    if (upload_ && !complete) return Fail(ERROR_INTERNET_CONNECTION_ABORTED);
    return TRUE;
  }

  void OnClose() override { Close(); }

 private:
  BOOL FailRead(DWORD error) {
    failed_ = true;
    if (!ended_) FinishLocked(false);
    return Fail(error);
  }

  // Under mutex_: closes the data connection, reads the final reply and gives
  // the connection back. Returns whether the server confirmed the transfer.
  bool FinishLocked(bool expectSuccess) {
    ended_ = true;
    try {
      data_.close();
    } catch (...) {
    }
    std::lock_guard lock(connection_->mutex);
    bool confirmed = false;
    if (!connection_->dropped) {
      try {
        std::string response;
        int status = connection_->session().ReadReply(response);
        lastResponse = response;
        confirmed = status / 100 == 2;
        // No reply at all: the control connection has ended too.
        if (status == 0) connection_->dropped = true;
      } catch (...) {
        connection_->dropped = true;
      }
    }
    connection_->ReleaseLocked();
    if (!confirmed) failed_ = expectSuccess || failed_;
    return confirmed;
  }

  std::shared_ptr<FtpConnection> connection_;
  std::mutex mutex_;
  StreamSocket data_;
  bool upload_;
  bool ended_ = false;
  bool failed_ = false;
};

// What reading and writing check first: a count to report (zeroed), a file
// handle, and a buffer wherever bytes are asked for. Null with the error set.
std::shared_ptr<FtpFile> FileFor(HINTERNET file, const void* buffer, DWORD bytes, LPDWORD done) {
  if (!done) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  *done = 0;
  auto object = HandleAs<FtpFile>(file);
  if (object && bytes && !buffer) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return object;
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR, LPCWSTR, DWORD) {
  if (accessType != INTERNET_OPEN_TYPE_DIRECT && accessType != INTERNET_OPEN_TYPE_PRECONFIG) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(std::make_shared<InternetSession>(std::u16string(View(agent))));
}

HINTERNET InternetConnectW(HINTERNET internet, LPCWSTR serverName, INTERNET_PORT port,
                           LPCWSTR userName, LPCWSTR password, DWORD service, DWORD flags,
                           DWORD_PTR) {
  if (!HandleAs<InternetSession>(internet)) return nullptr;
  if (service != INTERNET_SERVICE_FTP || !serverName || !*serverName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string host = WirePath(serverName);
  std::string user = userName && *userName ? WirePath(userName) : "anonymous";
  std::string pass = userName && *userName ? WirePath(password) : "tolvex@";
  Poco::Timespan timeout = NetworkTimeout();
  SigpipeGuard guard;
  try {
    StreamSocket control;
    control.connect(Poco::Net::SocketAddress(host, port ? port : INTERNET_DEFAULT_FTP_PORT),
                    timeout);
    control.setReceiveTimeout(timeout);
    control.setSendTimeout(timeout);
    auto session = std::make_unique<FtpSession>(control);
    session->setTimeout(timeout);
    session->setPassive((flags & INTERNET_FLAG_PASSIVE) != 0);
    session->Greet();
    session->login(user, pass);
    // MLSD gives exact sizes and times; use it where the server offers it.
    bool mlsd = false;
    try {
      std::string features;
      if (session->sendCommand("FEAT", features) / 100 == 2)
        mlsd = features.find("MLST") != std::string::npos;
    } catch (const Poco::Net::FTPException&) {
    }
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<FtpConnection>(std::move(session), mlsd));
  } catch (...) {
    bool lost = false;
    DWORD error = ErrorOf(std::current_exception(), &lost);
    if (error == ERROR_INTERNET_CONNECTION_RESET) error = ERROR_INTERNET_CANNOT_CONNECT;
    SetLastError(error);
    return nullptr;
  }
}

BOOL InternetCloseHandle(HINTERNET handle) {
  auto object = LookupHandle(handle);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  BOOL result = TRUE;
  if (auto file = std::dynamic_pointer_cast<FtpFile>(object)) {
    result = file->Close();
  } else if (!std::dynamic_pointer_cast<InternetSession>(object) &&
             !std::dynamic_pointer_cast<FtpConnection>(object) &&
             !std::dynamic_pointer_cast<FtpFind>(object)) {
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  }
  DWORD error = GetLastError();
  RemoveHandle(handle);
  SetLastError(result ? ERROR_SUCCESS : error);
  return result;
}

BOOL FtpSetCurrentDirectoryW(HINTERNET connection, LPCWSTR directory) {
  return OnRemotePath(connection, directory,
                      [](FtpSession& s, const std::string& path) { s.setWorkingDirectory(path); });
}

BOOL FtpGetCurrentDirectoryW(HINTERNET connection, LPWSTR directory, LPDWORD length) {
  if (!directory || !length || *length == 0) return Fail(ERROR_INVALID_PARAMETER);
  return OnConnection(connection, [&](FtpConnection& c) {
    std::u16string path = FromUtf8(c.session().getWorkingDirectory());
    if (path.size() + 1 > *length) {
      *length = DWORD(path.size() + 1);
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    orlik_wcscpy_bounded(directory, *length, path.c_str());
    *length = DWORD(path.size());
    return TRUE;
  });
}

BOOL FtpCreateDirectoryW(HINTERNET connection, LPCWSTR directory) {
  return OnRemotePath(connection, directory, [](FtpSession& s, const std::string& path) { s.createDirectory(path); });
}

BOOL FtpRemoveDirectoryW(HINTERNET connection, LPCWSTR directory) {
  return OnRemotePath(connection, directory, [](FtpSession& s, const std::string& path) { s.removeDirectory(path); });
}

BOOL FtpDeleteFileW(HINTERNET connection, LPCWSTR fileName) {
  return OnRemotePath(connection, fileName, [](FtpSession& s, const std::string& path) { s.remove(path); });
}

BOOL FtpRenameFileW(HINTERNET connection, LPCWSTR existing, LPCWSTR newName) {
  if (!existing || !newName) return Fail(ERROR_INVALID_PARAMETER);
  return OnConnection(connection, [&](FtpConnection& c) {
    c.session().rename(WirePath(existing), WirePath(newName));
    return TRUE;
  });
}

HINTERNET FtpFindFirstFileW(HINTERNET connection, LPCWSTR searchFile, LPWIN32_FIND_DATAW findData,
                            DWORD, DWORD_PTR) {
  // What to list and which names to keep: a wildcard applies to the last
  // component, anything else is listed as the server sees it.
  std::u16string_view search = View(searchFile);
  std::u16string directory, pattern = u"*";
  if (!(search.empty() || search == u"*" || search == u"*.*")) {
    if (search.find_first_of(u"*?") != std::u16string_view::npos) {
      size_t cut = search.find_last_of(u"/\\");
      if (cut != std::u16string_view::npos) directory = std::u16string(search.substr(0, cut ? cut : 1));
      pattern = std::u16string(search.substr(cut == std::u16string_view::npos ? 0 : cut + 1));
    } else {
      directory = std::u16string(search);
    }
  }
  for (auto& ch : directory)
    if (ch == u'\\') ch = u'/';
  HINTERNET result = nullptr;
  OnConnection(connection, [&](FtpConnection& c) {
    bool mlsd = c.mlsd();
    StreamSocket data = c.session().OpenData(mlsd ? "MLSD" : "LIST", ToUtf8(directory),
                                             NetworkTimeout());
    std::string text;
    try {
      text = ReadAll(data, kMaxListing);
    } catch (...) {
      data.close();
      std::string response;
      c.session().ReadReply(response);
      throw;
    }
    data.close();
    std::string response;
    int status = c.session().ReadReply(response);
    lastResponse = response;
    if (status / 100 != 2) throw Poco::Net::FTPException("listing failed", response, status);
    std::vector<WIN32_FIND_DATAW> entries;
    for (const auto& e : ftp::ParseListing(text, mlsd, int64_t(std::time(nullptr)))) {
      WIN32_FIND_DATAW d = ToFindData(e);
      if (FileNameMatch(pattern, View(d.cFileName), LetterCase::kSensitive)) entries.push_back(d);
    }
    if (entries.empty()) return Fail(ERROR_NO_MORE_FILES);
    if (findData) *findData = entries.front();
    c.busy = true;
    result = InsertHandle(std::make_shared<FtpFind>(LookupHandleAs<FtpConnection>(connection),
                                                    std::move(entries)));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
  return result;
}

BOOL InternetFindNextFileW(HINTERNET find, LPVOID findData) {
  auto object = HandleAs<FtpFind>(find);
  if (!object) return FALSE;
  if (!findData) return Fail(ERROR_INVALID_PARAMETER);
  if (!object->Next(static_cast<WIN32_FIND_DATAW*>(findData))) return Fail(ERROR_NO_MORE_FILES);
  return TRUE;
}

HINTERNET FtpOpenFileW(HINTERNET connection, LPCWSTR fileName, DWORD access, DWORD flags,
                       DWORD_PTR) {
  bool upload = access == GENERIC_WRITE;
  if (!fileName || !*fileName || (access != GENERIC_READ && !upload)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HINTERNET result = nullptr;
  OnConnection(connection, [&](FtpConnection& c) {
    c.session().setFileType((flags & 3u) == FTP_TRANSFER_TYPE_ASCII
                                ? Poco::Net::FTPClientSession::TYPE_TEXT
                                : Poco::Net::FTPClientSession::TYPE_BINARY);
    StreamSocket data =
        c.session().OpenData(upload ? "STOR" : "RETR", WirePath(fileName), NetworkTimeout());
    c.busy = true;
    result = InsertHandle(
        std::make_shared<FtpFile>(LookupHandleAs<FtpConnection>(connection), data, upload));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
  });
  return result;
}

BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
  auto object = FileFor(file, buffer, toRead, read);
  return object ? object->Read(buffer, toRead, read) : FALSE;
}

BOOL InternetWriteFile(HINTERNET file, LPCVOID buffer, DWORD toWrite, LPDWORD written) {
  auto object = FileFor(file, buffer, toWrite, written);
  return object ? object->Write(buffer, toWrite, written) : FALSE;
}

BOOL InternetGetLastResponseInfoW(LPDWORD error, LPWSTR buffer, LPDWORD length) {
  if (!length) return Fail(ERROR_INVALID_PARAMETER);
  if (error) *error = 0;
  std::u16string text = FromUtf8(lastResponse);
  if (!buffer || text.size() + 1 > *length) {
    *length = DWORD(text.size() + 1);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  orlik_wcscpy_bounded(buffer, *length, text.c_str());
  *length = DWORD(text.size());
  return TRUE;
}

}  // extern "C"
