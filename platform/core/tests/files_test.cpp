#include <orlik/text.h>
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using tolvex_test::TempRoot;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(Files, PanelPathsLiveBelowTheDeviceRootAndMatchCaseInsensitively) {
  TempRoot root;
  ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
  HANDLE h = CreateFileW(u"\\WINDOWS\\Note.TXT", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(Slurp(root.path() + "/Windows/Note.TXT"), "hello");

  // Another spelling reaches the same file.
  h = CreateFileW(u"windows/note.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  char buf[8] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &read, nullptr));
  EXPECT_EQ(read, 5u);
  EXPECT_STREQ(buf, "hello");
  CloseHandle(h);

  // ".." never leaves the device root.
  h = CreateFileW(u"\\..\\..\\escape.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(Slurp(root.path() + "/escape.txt"), "");
  EXPECT_NE(GetFileAttributesW(u"escape.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(Files, CreationDispositionsAndErrors) {
  TempRoot root;
  EXPECT_EQ(CreateFileW(u"missing.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  HANDLE h = CreateFileW(u"a.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(CreateFileW(u"a.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);

  h = CreateFileW(u"A.BIN", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(h);

  EXPECT_FALSE(CloseHandle(h));  // a closed handle stays closed
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(DeleteFileW(u"a.bin"));
  EXPECT_FALSE(DeleteFileW(u"a.bin"));
}

// A missing folder on the way is ERROR_PATH_NOT_FOUND, for reading and for
// every kind of creation; only the last name missing is ERROR_FILE_NOT_FOUND.
TEST(Files, AMissingFolderIsAnotherErrorThanAMissingFile) {
  TempRoot root;
  ASSERT_TRUE(CreateDirectoryW(u"\\Data", nullptr));
  ASSERT_TRUE(CloseHandle(CreateFileW(u"\\Data\\file.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
  struct Case {
    const char16_t* path;
    DWORD access, creation, error;
  } cases[] = {
      {u"\\Data\\missing.bin", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {u"\\data\\MISSING.BIN", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {u"\\Data\\missing.bin", GENERIC_WRITE, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {u"\\Data\\missing.bin", GENERIC_READ, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND},
      {u"\\Gone\\file.bin", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\gone\\FILE.BIN", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\Data\\Gone\\file.bin", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\Gone\\file.bin", GENERIC_WRITE, CREATE_NEW, ERROR_PATH_NOT_FOUND},
      {u"\\Gone\\file.bin", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
      {u"\\Gone\\file.bin", GENERIC_WRITE, OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
      {u"\\Gone\\Deeper\\file.bin", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
      {u"\\Data\\file.bin\\inner.bin", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
      {u"\\Data\\file.bin\\inner.bin", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(orlik::ToUtf8(c.path));
    SetLastError(0);
    EXPECT_EQ(CreateFileW(c.path, c.access, 0, nullptr, c.creation, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_FALSE(std::filesystem::exists(root.path() + "/Gone"));
  EXPECT_FALSE(std::filesystem::exists(root.path() + "/Data/missing.bin"));
}

// Opening a file that a search has just delivered skips the look at its type;
// a folder that takes the name afterwards must still fail to open.
TEST(Files, AFileJustListedThenReplacedByAFolderDoesNotOpen) {
  TempRoot root;
  ASSERT_TRUE(CreateDirectoryW(u"\\Src", nullptr));
  for (const char16_t* name : {u"\\Src\\a.bin", u"\\Src\\b.bin"}) {
    HANDLE h = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, "0123456789", 10, &written, nullptr));
    CloseHandle(h);
  }
  auto open = [](const char16_t* name) {
    return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(u"\\Src\\*.*", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(orlik::ToUtf8(found.cFileName), "a.bin");
  // The listed file reads whole, to its end.
  HANDLE h = open(u"\\Src\\a.bin");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buffer[32];
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 10u);
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  CloseHandle(h);

  // Replaced by a new folder, and by a folder moved to its name.
  ASSERT_TRUE(DeleteFileW(u"\\Src\\a.bin"));
  ASSERT_TRUE(CreateDirectoryW(u"\\Src\\a.bin", nullptr));
  EXPECT_EQ(open(u"\\Src\\a.bin"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  ASSERT_TRUE(FindNextFileW(search, &found));
  EXPECT_EQ(orlik::ToUtf8(found.cFileName), "b.bin");
  HANDLE probe = FindFirstFileW(u"\\Src\\b.bin", &found);
  ASSERT_NE(probe, INVALID_HANDLE_VALUE);
  FindClose(probe);
  ASSERT_TRUE(DeleteFileW(u"\\Src\\b.bin"));
  ASSERT_TRUE(MoveFileW(u"\\Src\\a.bin", u"\\Src\\b.bin"));
  EXPECT_EQ(open(u"\\Src\\b.bin"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  FindClose(search);
}

// Find records give a file's times in 100 ns units since 1601, exactly, also
// for a time before 1970.
TEST(Files, FindRecordsCarryTheFileTimes) {
  TempRoot root;
  struct Case {
    timespec modified;
    DWORD low, high;
  };
  const Case cases[] = {
      {{1577934245, 500000000}, 1259359168u, 30785817u},  // 2020-01-02 03:04:05.5 UTC
      {{-299894400, 0}, 3312205824u, 26413656u},          // 1960-07-01 00:00 UTC
  };
  std::string path = root.path() + "/stamped";
  std::ofstream(path).put('x');
  for (const auto& c : cases) {
    const timespec times[2] = {c.modified, c.modified};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(u"\\stamped", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    FindClose(find);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, c.low) << c.modified.tv_sec;
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, c.high) << c.modified.tv_sec;
    EXPECT_EQ(data.ftLastAccessTime.dwHighDateTime, c.high) << c.modified.tv_sec;
  }
}

TEST(Memory, ReserveOnlyRangesAreNotAccessibleAndReleaseWhole) {
  void* p = VirtualAlloc(nullptr, 0x940, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(p, nullptr);
  EXPECT_FALSE(VirtualFree(p, 0x940, MEM_RELEASE));  // size must be 0 for a release
  EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));
  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_RESERVE, PAGE_NOACCESS), nullptr);
}
