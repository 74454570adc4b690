// Tessary on the panel: connect to a local FTP server, make a folder, upload
// a file from the panel with progress, list, download it back, rename.
#include "tour.h"

#include <tolvex/tessary.h>

#include "ftp_server.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>


namespace tour {

namespace {

std::string Narrow(const char16_t* text) {
  std::string s;
  for (; *text; ++text) s += *text < 0x80 ? char(*text) : '?';
  return s;
}

}  // namespace

#define TESSARY_FTP_EXPORTS(X) X(SetConnectInfo) X(Connect) X(DisConnect) X(CreateFolder) \
  X(SetCurrentDirectory) X(GetCurrentDirectory) X(GetFileList) X(ReName) X(FileUpload) X(FileDownload) \
  X(GetPercentage)
TOLVEX_EXPORT_TABLE(TessaryFtpExports, TESSARY_FTP_EXPORTS);

static bool TessaryFtp() {
  if (std::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") != 0) {
    std::printf("   skipped: python3-pyftpdlib is not installed, so there is no local FTP server\n");
    return true;
  }
  namespace fs = std::filesystem;
  fs::path serverRoot = fs::path(OutputDir()) / "ftp-server";
  fs::remove_all(serverRoot);
  fs::create_directories(serverRoot);
  // Throttled, so the download's progress can be watched.
  auto server = ftp_test::FtpServer::Pyftpdlib(serverRoot.string(), {.rate = 4 << 20});
  if (!server) {
    std::printf("   the local FTP server did not start\n");
    return false;
  }

  Loaded<TessaryFtpExports> tessary("libTessary.so");
  if (!tessary.ok()) return false;

  // A log file on the panel to send.
  const char* root = std::getenv("ORLIK_ROOT");
  fs::path panelRoot = root ? root : "orlik-root";
  ftp_test::WriteFile(panelRoot / "Flash Disk" / "shift.log", ftp_test::Pattern(2000000, 5));

  tessary.SetConnectInfo(u"127.0.0.1", server->port(), u"panel", u"secret", 1);
  bool ok = tessary.Connect() == 1;
  std::printf("   Connect to 127.0.0.1:%d (passive) = %d\n", server->port(), ok);
  ok = tessary.CreateFolder(u"logs") == 1 && ok;
  ok = tessary.FileUpload(u"\\Flash Disk\\shift.log", u"\\logs\\shift.log") == 1 && ok;
  int32_t p;
  while ((p = tessary.GetPercentage()) != 100 && p != -1)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::printf("   FileUpload \\Flash Disk\\shift.log (2 MB) -> \\logs\\shift.log: GetPercentage %d\n", p);
  ok = p == 100 && ok;

  char16_t text[1024] = u"";
  ok = tessary.SetCurrentDirectory(u"\\logs") == 1 && tessary.GetCurrentDirectory(text) == 1 && ok;
  std::printf("   SetCurrentDirectory \\logs -> GetCurrentDirectory = %s\n", Narrow(text).c_str());
  ok = tessary.ReName(u"\\logs\\shift.log", u"\\logs\\shift-1.log") == 1 && ok;
  ok = tessary.SetCurrentDirectory(u"\\") == 1 && tessary.GetFileList(text) == 1 && ok;
  std::printf("   ReName to shift-1.log; GetFileList of \\ = \"%s\"\n", Narrow(text).c_str());

  ok = tessary.FileDownload(u"\\logs\\shift-1.log", u"\\Flash Disk\\shift-copy.log") == 1 && ok;
  std::vector<int32_t> seen;
  for (;; std::this_thread::sleep_for(std::chrono::microseconds(500))) {
    p = tessary.GetPercentage();
    if (seen.empty() || seen.back() != p) seen.push_back(p);
    if (p == 100 || p == -1) break;
  }
  std::printf("   FileDownload \\logs\\shift-1.log: GetPercentage went");
  for (size_t i = 0; i < seen.size() && i < 12; ++i) std::printf(" %d", seen[i]);
  if (seen.size() > 12) std::printf(" ... %d", seen.back());
  std::printf("\n");
  bool same = ftp_test::ReadFile(panelRoot / "Flash Disk" / "shift-copy.log") ==
              ftp_test::ReadFile(panelRoot / "Flash Disk" / "shift.log");
  std::printf("   \\Flash Disk\\shift-copy.log is byte-exact: %s\n", same ? "yes" : "NO");
  ok = p == 100 && same && ok;
  ok = tessary.DisConnect() == 1 && ok;
  std::printf("   DisConnect; the server's folder is %s\n", serverRoot.c_str());
  return ok;
}

TOUR_SECTION(70, "Tessary: FTP client", TessaryFtp);

}  // namespace tour
