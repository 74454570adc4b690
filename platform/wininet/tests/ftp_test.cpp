// WinInet FTP against pyftpdlib: find records, one transfer per connection,
// and bounded waits on servers that do not answer.
#include <orlik/windows.h>

#include "ftp_server.h"
#include "tolvex_test.h"

#include <chrono>
#include <map>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WinInetFtpTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    serverRoot_ = ftp_test::MakeTempDir("wininet-server");
    internet_ = InternetOpenW(u"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  }
  void TearDown() override {
    if (connection_) InternetCloseHandle(connection_);
    InternetCloseHandle(internet_);
    server_.reset();
    std::error_code ec;
    fs::remove_all(serverRoot_, ec);
    unsetenv("ORLIK_FTP_TIMEOUT_MS");
  }
  HINTERNET Connect(ftp_test::ServerOptions options = {}) {
    server_ = ftp_test::FtpServer::Pyftpdlib(serverRoot_.string(), options);
    if (!server_) return nullptr;
    connection_ = InternetConnectW(internet_, u"127.0.0.1", INTERNET_PORT(server_->port()),
                                   u"panel", u"secret", INTERNET_SERVICE_FTP,
                                   INTERNET_FLAG_PASSIVE, 0);
    return connection_;
  }
  // Name -> (directory, size) of every entry FtpFindFirstFileW gives.
  std::map<std::string, std::pair<bool, uint64_t>> Find(const char16_t* search) {
    std::map<std::string, std::pair<bool, uint64_t>> out;
    WIN32_FIND_DATAW d;
    HINTERNET find = FtpFindFirstFileW(connection_, search, &d, INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (!find) return out;
    do {
      out[orlik::ToUtf8(d.cFileName)] = {(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                         (uint64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow};
    } while (InternetFindNextFileW(find, &d));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(InternetCloseHandle(find));
    return out;
  }

  fs::path serverRoot_;
  std::unique_ptr<ftp_test::FtpServer> server_;
  HINTERNET internet_ = nullptr;
  HINTERNET connection_ = nullptr;
};

TEST_F(WinInetFtpTest, FindRecordsFromListAndMlsd) {
  ftp_test::WriteFile(serverRoot_ / "a.txt", "abc");
  ftp_test::WriteFile(serverRoot_ / "b.csv", std::string(70000, 'x'));
  ftp_test::WriteFile(serverRoot_ / "sub/c.txt", "c");
  using Entries = std::map<std::string, std::pair<bool, uint64_t>>;
  for (bool mlsd : {true, false}) {
    ASSERT_TRUE(Connect({.noMlsd = !mlsd})) << mlsd;
    auto all = Find(u"*.*");
    EXPECT_EQ(all.size(), 3u) << mlsd;
    EXPECT_EQ(all["a.txt"], std::make_pair(false, uint64_t(3))) << mlsd;
    EXPECT_EQ(all["b.csv"], std::make_pair(false, uint64_t(70000))) << mlsd;
    EXPECT_TRUE(all["sub"].first) << mlsd;
    EXPECT_EQ(Find(u"*.txt"), (Entries{{"a.txt", {false, 3}}})) << mlsd;
    EXPECT_EQ(Find(u"\\sub\\?.txt"), (Entries{{"c.txt", {false, 1}}})) << mlsd;
    EXPECT_EQ(Find(u"sub"), (Entries{{"c.txt", {false, 1}}})) << mlsd;
    EXPECT_TRUE(Find(u"*.none").empty());
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    InternetCloseHandle(connection_);
    connection_ = nullptr;
  }
}

TEST_F(WinInetFtpTest, OneTransferAtATimePerConnection) {
  std::string data = ftp_test::Pattern(4u << 20);
  ftp_test::WriteFile(serverRoot_ / "big.bin", data);
  ASSERT_TRUE(Connect());
  HINTERNET file = FtpOpenFileW(connection_, u"big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  ASSERT_NE(file, nullptr);
  std::vector<char> buffer(100000);
  DWORD read = 0;
  ASSERT_TRUE(InternetReadFile(file, buffer.data(), DWORD(buffer.size()), &read));
  EXPECT_EQ(read, buffer.size()) << "reads fill the buffer";

  char16_t dir[64];
  DWORD length = 64;
  EXPECT_FALSE(FtpGetCurrentDirectoryW(connection_, dir, &length));
  EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
  WIN32_FIND_DATAW d;
  EXPECT_EQ(FtpFindFirstFileW(connection_, u"*.*", &d, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
  EXPECT_EQ(FtpOpenFileW(connection_, u"big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);

  // Closing before the end aborts the download; the connection carries on.
  EXPECT_TRUE(InternetCloseHandle(file));
  length = 64;
  ASSERT_TRUE(FtpGetCurrentDirectoryW(connection_, dir, &length));
  EXPECT_EQ(std::u16string(dir), u"/");
  EXPECT_EQ(length, 1u);

  // An open find handle holds the connection too.
  HINTERNET find = FtpFindFirstFileW(connection_, u"*.*", &d, 0, 0);
  ASSERT_NE(find, nullptr);
  EXPECT_FALSE(FtpCreateDirectoryW(connection_, u"x"));
  EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
  InternetCloseHandle(find);

  // A whole download reports its end only after the last byte.
  file = FtpOpenFileW(connection_, u"/big.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  ASSERT_NE(file, nullptr);
  std::string got;
  while (InternetReadFile(file, buffer.data(), DWORD(buffer.size()), &read) && read > 0)
    got.append(buffer.data(), read);
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(got == data);
  EXPECT_TRUE(InternetCloseHandle(file));
  EXPECT_FALSE(InternetWriteFile(connection_, "x", 1, &read));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

TEST_F(WinInetFtpTest, ServersThatDoNotAnswerFailWithinTheTimeout) {
  setenv("ORLIK_FTP_TIMEOUT_MS", "300", 1);
  // Accepts connections (the kernel does) but never greets.
  int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  listen(silent, 4);
  getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(InternetConnectW(internet_, u"127.0.0.1", ntohs(a.sin_port), u"u", u"p",
                             INTERNET_SERVICE_FTP, 0, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  close(silent);

  EXPECT_EQ(InternetConnectW(internet_, u"127.0.0.1", INTERNET_PORT(ftp_test::FtpServer::FreePort()),
                             u"u", u"p", INTERNET_SERVICE_FTP, 0, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);

  // A server frozen mid-session: the command fails, later ones fail at once.
  ASSERT_TRUE(Connect());
  server_->Stop();
  EXPECT_FALSE(FtpCreateDirectoryW(connection_, u"x"));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(FtpCreateDirectoryW(connection_, u"x"));
  EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);
  server_->Continue();
}

TEST_F(WinInetFtpTest, WrongPasswordIsALoginFailure) {
  server_ = ftp_test::FtpServer::Pyftpdlib(serverRoot_.string());
  ASSERT_TRUE(server_);
  EXPECT_EQ(InternetConnectW(internet_, u"127.0.0.1", INTERNET_PORT(server_->port()), u"panel",
                             u"nope", INTERNET_SERVICE_FTP, 0, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_LOGIN_FAILURE);
  char16_t text[256];
  DWORD length = 256, error = 0;
  ASSERT_TRUE(InternetGetLastResponseInfoW(&error, text, &length));
  EXPECT_NE(orlik::ToUtf8(text).find("530"), std::string::npos) << orlik::ToUtf8(text);
}

}  // namespace
