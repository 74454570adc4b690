// Loads libTessary.so on a fresh panel with a private FTP server folder.
#pragma once

#include "ftp_server.h"
#include "tolvex_test.h"

#include <orlik/windows.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tessary_test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Exports {
  explicit Exports(tolvex_test::Library& lib)
      : SetConnectInfo(lib.Get<int32_t (*)(const char16_t*, int32_t, const char16_t*,
                                           const char16_t*, int32_t)>("SetConnectInfo")),
        Connect(lib.Get<int32_t (*)()>("Connect")),
        DisConnect(lib.Get<int32_t (*)()>("DisConnect")),
        SetRootDirectory(lib.Get<int32_t (*)()>("SetRootDirectory")),
        SetCurrentDirectory(lib.Get<int32_t (*)(const char16_t*)>("SetCurrentDirectory")),
        GetCurrentDirectory(lib.Get<int32_t (*)(char16_t*)>("GetCurrentDirectory")),
        CreateFolder(lib.Get<int32_t (*)(const char16_t*)>("CreateFolder")),
        DeleteFolder(lib.Get<int32_t (*)(const char16_t*)>("DeleteFolder")),
        DeleteFiles(lib.Get<int32_t (*)(const char16_t*)>("DeleteFiles")),
        ReName(lib.Get<int32_t (*)(const char16_t*, const char16_t*)>("ReName")),
        GetFileList(lib.Get<int32_t (*)(char16_t*)>("GetFileList")),
        FileDownload(lib.Get<int32_t (*)(const char16_t*, const char16_t*)>("FileDownload")),
        FileUpload(lib.Get<int32_t (*)(const char16_t*, const char16_t*)>("FileUpload")),
        GetPercentage(lib.Get<int32_t (*)()>("GetPercentage")),
        FileUpNDownloadCancel(lib.Get<int32_t (*)()>("FileUpNDownloadCancel")) {}
  int32_t (*SetConnectInfo)(const char16_t*, int32_t, const char16_t*, const char16_t*, int32_t);
  int32_t (*Connect)();
  int32_t (*DisConnect)();
  int32_t (*SetRootDirectory)();
  int32_t (*SetCurrentDirectory)(const char16_t*);
  int32_t (*GetCurrentDirectory)(char16_t*);
  int32_t (*CreateFolder)(const char16_t*);
  int32_t (*DeleteFolder)(const char16_t*);
  int32_t (*DeleteFiles)(const char16_t*);
  int32_t (*ReName)(const char16_t*, const char16_t*);
  int32_t (*GetFileList)(char16_t*);
  int32_t (*FileDownload)(const char16_t*, const char16_t*);
  int32_t (*FileUpload)(const char16_t*, const char16_t*);
  int32_t (*GetPercentage)();
  int32_t (*FileUpNDownloadCancel)();
};

inline std::u16string U16(const std::string& s) { return orlik::FromUtf8(s); }
inline std::string U8(const std::u16string& s) { return orlik::ToUtf8(s); }

// Polls until the transfer ends; returns the distinct values seen, in order.
inline std::vector<int32_t> FollowTransfer(const Exports& x,
                                           std::chrono::milliseconds limit = 30s) {
  std::vector<int32_t> seen;
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int32_t p = x.GetPercentage();
    if (seen.empty() || seen.back() != p) seen.push_back(p);
    if (p == 100 || p == -1 || std::chrono::steady_clock::now() > end) break;
    std::this_thread::yield();
  }
  return seen;
}

// Waits until the running transfer has reached a progress value; false when
// it ended (100 or -1) or the limit passed first.
inline bool WaitForProgress(const Exports& x, int32_t atLeast,
                            std::chrono::milliseconds limit = 30s) {
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int32_t p = x.GetPercentage();
    if (p >= atLeast && p < 100) return true;
    if (p == 100 || p == -1 || std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
}

// A fresh panel, the library loaded, and an FTP server folder.
class TessaryTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    serverRoot_ = ftp_test::MakeTempDir("tessary-server");
    lib_ = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_TESSARY);
    x_ = std::make_unique<Exports>(*lib_);
  }
  void TearDown() override {
    // The server goes first so a transfer still running fails at once.
    server_.reset();
    if (x_ && lib_->loaded()) x_->DisConnect();
    x_.reset();
    lib_.reset();
    std::error_code ec;
    fs::remove_all(serverRoot_, ec);
  }

  // Starts pyftpdlib and connects to it.
  bool StartAndConnect(bool passive, ftp_test::FtpServer::Options options = {}) {
    server_ = ftp_test::FtpServer::Pyftpdlib(serverRoot_.string(), options);
    if (!server_) return false;
    x_->SetConnectInfo(u"127.0.0.1", server_->port(), u"panel", u"secret", passive ? 1 : 0);
    return x_->Connect() == 1;
  }

  fs::path Local(const std::string& name) const { return fs::path(root_.path()) / name; }
  // The names in the local root folder.
  std::set<std::string> LocalNames() const {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(root_.path())) names.insert(e.path().filename().string());
    return names;
  }
  fs::path Remote(const std::string& name) const { return serverRoot_ / name; }

  fs::path serverRoot_;
  std::unique_ptr<ftp_test::FtpServer> server_;
  std::unique_ptr<tolvex_test::Library> lib_;
  std::unique_ptr<Exports> x_;
};

}  // namespace tessary_test
