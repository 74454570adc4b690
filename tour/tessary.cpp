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

  Module tessary("libTessary.so");
  if (!tessary.ok()) return false;
  auto setConnectInfo = TOUR_EXPORT(tessary, SetConnectInfo);
  auto connect = TOUR_EXPORT(tessary, Connect);
  auto disConnect = TOUR_EXPORT(tessary, DisConnect);
  auto createFolder = TOUR_EXPORT(tessary, CreateFolder);
  auto setCurrentDirectory = TOUR_EXPORT(tessary, SetCurrentDirectory);
  auto getCurrentDirectory = TOUR_EXPORT(tessary, GetCurrentDirectory);
  auto getFileList = TOUR_EXPORT(tessary, GetFileList);
  auto reName = TOUR_EXPORT(tessary, ReName);
  auto fileUpload = TOUR_EXPORT(tessary, FileUpload);
  auto fileDownload = TOUR_EXPORT(tessary, FileDownload);
  auto getPercentage = TOUR_EXPORT(tessary, GetPercentage);
  if (!setConnectInfo || !connect || !disConnect || !createFolder || !setCurrentDirectory ||
      !getCurrentDirectory || !getFileList || !reName || !fileUpload || !fileDownload ||
      !getPercentage)
    return false;

  // A log file on the panel to send.
  const char* root = std::getenv("ORLIK_ROOT");
  fs::path panelRoot = root ? root : "orlik-root";
  ftp_test::WriteFile(panelRoot / "Flash Disk" / "shift.log", ftp_test::Pattern(2000000, 5));

  setConnectInfo(u"127.0.0.1", server->port(), u"panel", u"secret", 1);
  bool ok = connect() == 1;
  std::printf("   Connect to 127.0.0.1:%d (passive) = %d\n", server->port(), ok);
  ok = createFolder(u"logs") == 1 && ok;
  ok = fileUpload(u"\\Flash Disk\\shift.log", u"\\logs\\shift.log") == 1 && ok;
  int32_t p;
  while ((p = getPercentage()) != 100 && p != -1)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::printf("   FileUpload \\Flash Disk\\shift.log (2 MB) -> \\logs\\shift.log: GetPercentage %d\n", p);
  ok = p == 100 && ok;

  char16_t text[1024] = u"";
  ok = setCurrentDirectory(u"\\logs") == 1 && getCurrentDirectory(text) == 1 && ok;
  std::printf("   SetCurrentDirectory \\logs -> GetCurrentDirectory = %s\n", Narrow(text).c_str());
  ok = reName(u"\\logs\\shift.log", u"\\logs\\shift-1.log") == 1 && ok;
  ok = setCurrentDirectory(u"\\") == 1 && getFileList(text) == 1 && ok;
  std::printf("   ReName to shift-1.log; GetFileList of \\ = \"%s\"\n", Narrow(text).c_str());

  ok = fileDownload(u"\\logs\\shift-1.log", u"\\Flash Disk\\shift-copy.log") == 1 && ok;
  std::vector<int32_t> seen;
  for (;; std::this_thread::sleep_for(std::chrono::microseconds(500))) {
    p = getPercentage();
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
  ok = disConnect() == 1 && ok;
  std::printf("   DisConnect; the server's folder is %s\n", serverRoot.c_str());
  return ok;
}

TOUR_SECTION(70, "Tessary: FTP client", TessaryFtp);

}  // namespace tour
