// Directory search, file copy and free space under the device root.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class FindCopy : public tolvex_test::PanelTest {
 protected:
  void Write(const std::string& rel, const std::string& bytes) {
    fs::path p = fs::path(root_.path()) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& rel) {
    std::ifstream in(fs::path(root_.path()) / rel, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // Names a search finds, in order; "!" when it finds nothing.
  std::vector<std::string> Find(const char16_t* pattern) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return {"!"};
    std::vector<std::string> names;
    do names.push_back(orlik::ToUtf8(data.cFileName) + ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "/" : ""));
    while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return names;
  }
};

using Names = std::vector<std::string>;

TEST_F(FindCopy, SearchMatchesWildcardsIgnoringCaseInNameOrder) {
  Write("Flash Disk/Run/Start.EXE", "x");
  Write("Flash Disk/Run/b.exe", "x");
  Write("Flash Disk/Run/readme", "x");
  Write("Flash Disk/Run/.hidden.exe", "x");
  Write("Flash Disk/Run/tool.exe.bak", "x");
  fs::create_directories(root_.path() + "/Flash Disk/Run/Dir.exe");
  struct Case {
    const char16_t* pattern;
    Names names;
  } cases[] = {
      {u"Flash Disk\\Run\\*.exe", {".hidden.exe", "b.exe", "Dir.exe/", "Start.EXE"}},
      {u"\\FLASH DISK\\run\\*.*", {".hidden.exe", "b.exe", "Dir.exe/", "readme", "Start.EXE", "tool.exe.bak"}},
      {u"Flash Disk\\Run\\*", {".hidden.exe", "b.exe", "Dir.exe/", "readme", "Start.EXE", "tool.exe.bak"}},
      {u"Flash Disk\\Run\\?.exe", {"b.exe"}},
      {u"Flash Disk\\Run\\start.exe", {"Start.EXE"}},
      {u"Flash Disk\\Run\\*.dll", {"!"}},
      {u"Flash Disk\\Run\\", {"Run/"}},
      {u"Flash Disk\\Missing\\", {"!"}},
      {u"Flash Disk\\Missing\\*.*", {"!"}},
      {u"Flash Disk\\Run\\readme\\", {"!"}},
  };
  for (auto& c : cases) EXPECT_EQ(Find(c.pattern), c.names) << orlik::ToUtf8(c.pattern);

  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"Flash Disk\\Run\\.hidden.exe", &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(data.nFileSizeLow, 1u);
  FindClose(h);
  EXPECT_FALSE(FindClose(h)) << "a closed search is gone";
  EXPECT_FALSE(FindNextFileW(h, &data));
}

TEST_F(FindCopy, CopyReplacesTheTargetAndRefusesFoldersAndMissingPlaces) {
  Write("src/a.bin", "new content");
  Write("dst/a.bin", "old");
  EXPECT_TRUE(CopyFileW(u"src\\a.bin", u"DST\\A.BIN", FALSE));
  EXPECT_EQ(Read("dst/a.bin"), "new content");
  EXPECT_FALSE(fs::exists(root_.path() + "/dst/A.BIN") && !fs::equivalent(root_.path() + "/dst/A.BIN", root_.path() + "/dst/a.bin"));

  Write("src/b.bin", "b");
  EXPECT_FALSE(CopyFileW(u"src\\b.bin", u"dst\\a.bin", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(Read("dst/a.bin"), "new content");
  EXPECT_TRUE(CopyFileW(u"src\\b.bin", u"dst\\b.bin", TRUE));
  EXPECT_EQ(Read("dst/b.bin"), "b");

  EXPECT_FALSE(CopyFileW(u"src\\missing", u"dst\\m", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CopyFileW(u"src\\a.bin", u"nowhere\\a.bin", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CopyFileW(u"src\\", u"dst\\", FALSE)) << "folders are not copied";
  EXPECT_FALSE(CopyFileW(u"src\\a.bin", u"src\\a.bin", FALSE)) << "a file onto itself";
  EXPECT_EQ(Read("src/a.bin"), "new content");

  // Nothing is left beside the targets.
  for (auto& e : fs::directory_iterator(root_.path() + "/dst"))
    EXPECT_EQ(e.path().filename().string().find(".copy-"), std::string::npos);
}

TEST_F(FindCopy, CopyIntoAFullOrReadOnlyFolderLeavesTheOldTarget) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  Write("src/a.bin", "new");
  Write("dst/a.bin", "old");
  chmod((root_.path() + "/dst").c_str(), 0555);
  EXPECT_FALSE(CopyFileW(u"src\\a.bin", u"dst\\a.bin", FALSE));
  chmod((root_.path() + "/dst").c_str(), 0755);
  EXPECT_EQ(Read("dst/a.bin"), "old");
}

TEST_F(FindCopy, FreeSpaceOfTheDeviceRoot) {
  ULARGE_INTEGER available{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &available, &total, &free));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(available.QuadPart, free.QuadPart);
  EXPECT_LE(free.QuadPart, total.QuadPart);
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\No Such Card", &available, nullptr, nullptr));
}

}  // namespace
