#include <orlik/windows.h>

#include "tolvex_test.h"

#include <fcntl.h>
#include <sys/stat.h>

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
