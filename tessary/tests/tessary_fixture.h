// Loads libTessary.so on a fresh panel with a private FTP server folder.
#pragma once

#include "export_table.h"
#include "ftp_server.h"
#include "tolvex_test.h"

#include <tolvex/tessary.h>

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

#define TESSARY_TEST_EXPORTS(X)                                                                         \
  X(SetConnectInfo) X(Connect) X(DisConnect) X(SetRootDirectory) X(SetCurrentDirectory) X(GetCurrentDirectory) \
  X(CreateFolder) X(DeleteFolder) X(DeleteFiles) X(ReName) X(GetFileList) X(FileDownload) X(FileUpload)        \
  X(GetPercentage) X(FileUpNDownloadCancel)
TOLVEX_EXPORT_TABLE(ExportTable, TESSARY_TEST_EXPORTS);

// Every export, looked up in the loaded library (a missing one fails the test).
struct Exports : ExportTable {
  explicit Exports(tolvex_test::Library& lib) {
    Resolve([&](const char* name) { return lib.Get<void*>(name); });
  }
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

  // A 4 MiB big.bin on its way between the roots at 512 KiB/s, past 3 %: an
  // upload from the local root, else a download from the server's.
  void StartBigTransfer(bool upload) {
    ftp_test::WriteFile(upload ? Local("big.bin") : Remote("big.bin"), ftp_test::Pattern(4u << 20));
    ASSERT_TRUE(StartAndConnect(true, {.rate = 512 * 1024}));
    ASSERT_EQ(upload ? x_->FileUpload(u"\\big.bin", u"\\big.bin") : x_->FileDownload(u"\\big.bin", u"\\big.bin"), 1);
    ASSERT_TRUE(WaitForProgress(*x_, 3));
  }

  // The running transfer ends failed (-1), followed for up to `follow`, and
  // within `limit` of now.
  void ExpectTransferFailsWithin(std::chrono::seconds follow, std::chrono::seconds limit) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FollowTransfer(*x_, follow).back(), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, limit);
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
