// Directory search, file copy and free space under the device root.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

class FindCopy : public tolvex_test::PanelTest {
 protected:
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
  for (const char* name : {"Start.EXE", "b.exe", "readme", ".hidden.exe", "tool.exe.bak"})
    root_.Write(std::string("Flash Disk/Run/") + name, "x");
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

TEST_F(FindCopy, NameOrderIgnoresCaseFirstThenTakesShorterThenCodeUnits) {
  // Around 16 units, where short names take a faster comparison, and with
  // '_', which sorts after capitals but before small letters.
  Names stored = {"b", "_a", "B", "a", "A.txt", "a.TXT", "ab", "aB", "abcdefghijklmnop",
                  "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP", "abcdefghijklmnoP", "\xc3\xa9"};
  for (auto& name : stored) root_.Write("order/" + name, "x");
  EXPECT_EQ(Find(u"order\\*"), (Names{"_a", "a", "A.txt", "a.TXT", "aB", "ab", "ABCDEFGHIJKLMNOP",
                                     "abcdefghijklmnoP", "abcdefghijklmnop", "abcdefghijklmnopq", "B",
                                     "b", "\xc3\xa9"}));
}

TEST_F(FindCopy, EveryNameLengthComesBackWholeInNameOrder) {
  // Names of 1 to 24 bytes, each length taken apart in its own way, from
  // letters and the marks on either side of the capitals ('@', '[') and the
  // small letters ('`', '{'), where lowering a letter can go wrong.
  const std::string letters = "aAzZmM@[`{_~0.";
  std::mt19937 random(7);
  Names stored;
  for (size_t length = 1; length <= 24; ++length) {
    for (int k = 0; k < 6; ++k) {
      std::string name;
      for (size_t i = 0; i < length; ++i) name += letters[random() % letters.size()];
      if (name == "." || name == ".." || std::find(stored.begin(), stored.end(), name) != stored.end()) continue;
      stored.push_back(name);
      root_.Write("lengths/" + name, "x");
    }
  }
  // Ignoring ASCII case first (a name before any longer one it begins), then
  // by code unit.
  auto lowered = [](std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  Names expected = stored;
  std::sort(expected.begin(), expected.end(), [&](const std::string& a, const std::string& b) {
    return std::pair(lowered(a), a) < std::pair(lowered(b), b);
  });
  EXPECT_EQ(Find(u"lengths\\*"), expected);
}

TEST_F(FindCopy, CopyReplacesTheTargetAndRefusesFoldersAndMissingPlaces) {
  root_.Write("src/a.bin", "new content");
  root_.Write("dst/a.bin", "old");
  EXPECT_TRUE(CopyFileW(u"src\\a.bin", u"DST\\A.BIN", FALSE));
  EXPECT_EQ(root_.Read("dst/a.bin"), "new content");
  EXPECT_FALSE(fs::exists(root_.path() + "/dst/A.BIN") && !fs::equivalent(root_.path() + "/dst/A.BIN", root_.path() + "/dst/a.bin"));

  root_.Write("src/b.bin", "b");
  EXPECT_FALSE(CopyFileW(u"src\\b.bin", u"dst\\a.bin", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(root_.Read("dst/a.bin"), "new content");
  EXPECT_TRUE(CopyFileW(u"src\\b.bin", u"dst\\b.bin", TRUE));
  EXPECT_EQ(root_.Read("dst/b.bin"), "b");

  EXPECT_FALSE(CopyFileW(u"src\\missing", u"dst\\m", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CopyFileW(u"src\\a.bin", u"nowhere\\a.bin", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CopyFileW(u"src\\", u"dst\\", FALSE)) << "folders are not copied";
  EXPECT_FALSE(CopyFileW(u"src\\a.bin", u"src\\a.bin", FALSE)) << "a file onto itself";
  EXPECT_EQ(root_.Read("src/a.bin"), "new content");

  // Nothing is left beside the targets.
  for (auto& e : fs::directory_iterator(root_.path() + "/dst"))
    EXPECT_EQ(e.path().filename().string().find(".copy-"), std::string::npos);
}

// Every step of a copy that can fail (as root too: the faults come from the
// board, not from permissions) leaves the old target whole and nothing beside.
TEST_F(FindCopy, CopyIntoAFullOrWriteProtectedFolderLeavesTheOldTarget) {
  root_.Write("src/a.bin", std::string(200000, 'n'));  // four 64 KiB chunks
  root_.Write("dst/a.bin", "old");
  struct Case {
    const char* path;
    int ops, fault, skip;
    DWORD error;
  } cases[] = {
      {"\\dst", ORLIK_SIM_FILE_CREATE, ORLIK_SIM_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED},
      {"\\DST", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 0, ERROR_DISK_FULL},
      {"\\dst\\a.bin", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 2, ERROR_DISK_FULL},
      {"\\src", ORLIK_SIM_FILE_READ, ORLIK_SIM_IO_ERROR, 1, ERROR_GEN_FAILURE},
      {"\\dst\\a.bin", ORLIK_SIM_FILE_RENAME, ORLIK_SIM_IO_ERROR, 0, ERROR_GEN_FAILURE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + " ops " + std::to_string(c.ops));
    int fault = orlik_sim_fail_files(c.path, c.ops, c.fault, c.skip, 1);
    ASSERT_GE(fault, 0);
    EXPECT_FALSE(CopyFileW(u"src\\a.bin", u"dst\\a.bin", FALSE));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(orlik_sim_file_fault_hits(fault), 1);
    EXPECT_EQ(root_.Read("dst/a.bin"), "old");
    EXPECT_EQ(fs::file_size(root_.path() + "/src/a.bin"), 200000u);
    for (auto& e : fs::directory_iterator(root_.path() + "/dst"))
      EXPECT_EQ(e.path().filename().string(), "a.bin");
  }
  // Each fault was spent once: the copy goes through.
  EXPECT_TRUE(CopyFileW(u"src\\a.bin", u"dst\\a.bin", FALSE));
  EXPECT_EQ(root_.Read("dst/a.bin"), std::string(200000, 'n'));
}

// A copy killed midway leaves its temporary; the next copy to that target
// removes it, but not the temporary of a copy still under way (it holds a
// lock) nor those of other targets.
TEST_F(FindCopy, CopyRemovesTheTemporariesThatDeadCopiesOfItsTargetLeft) {
  root_.Write("src/app.dll", "new");
  root_.Write("dst/app.dll", "old");
  root_.Write("dst/.app.dll.copy-Ab3dE9", "half of a dead copy");
  root_.Write("dst/.app.dll.copy-L1ve00", "half of a live copy");
  root_.Write("dst/.other.dll.copy-Zz0000", "another target's");
  root_.Write("dst/.app.dll.copy-notours", "not a temporary name");
  int live = open((root_.path() + "/dst/.app.dll.copy-L1ve00").c_str(), O_RDONLY);
  ASSERT_GE(live, 0);
  ASSERT_EQ(flock(live, LOCK_EX), 0);
  EXPECT_TRUE(CopyFileW(u"src\\app.dll", u"dst\\app.dll", FALSE));
  close(live);
  EXPECT_EQ(root_.Read("dst/app.dll"), "new");
  EXPECT_FALSE(fs::exists(root_.path() + "/dst/.app.dll.copy-Ab3dE9"));
  EXPECT_TRUE(fs::exists(root_.path() + "/dst/.app.dll.copy-L1ve00"));
  EXPECT_TRUE(fs::exists(root_.path() + "/dst/.other.dll.copy-Zz0000"));
  EXPECT_TRUE(fs::exists(root_.path() + "/dst/.app.dll.copy-notours"));
}

TEST_F(FindCopy, FreeSpaceOfTheDeviceRoot) {
  ULARGE_INTEGER available{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &available, &total, &free));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(available.QuadPart, free.QuadPart);
  EXPECT_LE(free.QuadPart, total.QuadPart);
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\No Such Card", &available, nullptr, nullptr));

  // The board sets the free space of a volume, for every folder on it.
  fs::create_directories(root_.path() + "/SD Card/Rec");
  const uint64_t real = available.QuadPart;
  orlik_sim_set_storage_free("\\sd card", 12345);
  ULARGE_INTEGER set{}, setTotal{}, setFree{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\SD Card\\Rec", &set, &setTotal, &setFree));
  EXPECT_EQ(set.QuadPart, 12345u);
  EXPECT_EQ(setFree.QuadPart, 12345u);
  EXPECT_GE(setTotal.QuadPart, 12345u);
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &available, nullptr, nullptr));
  EXPECT_NE(available.QuadPart, 12345u) << "other volumes read the real value";
  orlik_sim_set_storage_free("\\SD Card", UINT64_MAX);
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\SD Card", &set, nullptr, nullptr));
  EXPECT_NE(set.QuadPart, 12345u);
  orlik_sim_set_storage_free("\\SD Card", 0);
  orlik_sim_reset();
  ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\SD Card", &set, nullptr, nullptr));
  EXPECT_NE(set.QuadPart, 0u) << "a reset restores the real reading";
  EXPECT_GT(real, 0u);

  // A failing query, once.
  int fault = orlik_sim_fail_files("\\SD Card", ORLIK_SIM_FILE_FREE_SPACE, ORLIK_SIM_IO_ERROR, 0, 1);
  EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\SD Card\\Rec", &set, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
  EXPECT_TRUE(GetDiskFreeSpaceExW(u"\\SD Card\\Rec", &set, nullptr, nullptr));
  EXPECT_EQ(orlik_sim_file_fault_hits(fault), 1);
}

// A handle's writes fail while the board says the disk is full: the next
// ones after a number that succeed, for as many as asked.
TEST_F(FindCopy, WritesFailWhereTheBoardSaysTheDiskIsFull) {
  HANDLE file = CreateFileW(u"\\Flash Disk.log", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  int fault = orlik_sim_fail_files("\\flash disk.LOG", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 1, 2);
  std::vector<int> outcomes;
  for (int i = 0; i < 4; ++i) {
    DWORD written = 99;
    BOOL ok = WriteFile(file, "abc", 3, &written, nullptr);
    outcomes.push_back(ok ? int(written) : -int(GetLastError()));
  }
  CloseHandle(file);
  EXPECT_EQ(outcomes, (std::vector<int>{3, -int(ERROR_DISK_FULL), -int(ERROR_DISK_FULL), 3}));
  EXPECT_EQ(orlik_sim_file_fault_hits(fault), 2);
  EXPECT_EQ(root_.Read("Flash Disk.log"), "abcabc");
  // A fault on another path, and one for reads only, leave writes alone.
  orlik_sim_fail_files("\\Flash", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 0, -1);
  orlik_sim_fail_files("\\", ORLIK_SIM_FILE_READ, ORLIK_SIM_IO_ERROR, 0, -1);
  file = CreateFileW(u"\\Flash Disk.log", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "d", 1, &written, nullptr));
  CloseHandle(file);
  orlik_sim_clear_file_faults();
}

}  // namespace
