// Panel paths reach host files whether they are spelt as stored (found with a
// single look-up) or in another case (matched name by name): every call that
// takes a path must give the same answer either way.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PathResolution : public tolvex_test::PanelTest {
 protected:
  std::string Host(const std::string& rel) { return root_.path() + "/" + rel; }

  // The whole file through CreateFileW and ReadFile; "!" and the error when it
  // does not open.
  static std::string ReadAll(const char16_t* path) {
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "!" + std::to_string(GetLastError());
    std::string all;
    char block[7];  // several reads, the last one short
    DWORD n = 0;
    while (ReadFile(h, block, sizeof block, &n, nullptr) && n > 0) all.append(block, n);
    CloseHandle(h);
    return all;
  }
  // The record a search for one name delivers: its name and size; "!" and the
  // error when it finds nothing.
  static std::string FindOne(const char16_t* path) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(path, &data);
    if (h == INVALID_HANDLE_VALUE) return "!" + std::to_string(GetLastError());
    EXPECT_FALSE(FindNextFileW(h, &data));
    FindClose(h);
    return orlik::ToUtf8(data.cFileName) + " " + std::to_string(data.nFileSizeLow);
  }
  // Every spelling opens the file and finds it: "content" read whole, "found"
  // the search's record.
  static void ExpectEachReaches(std::initializer_list<const char16_t*> spellings, const std::string& content,
                                const std::string& found) {
    for (const char16_t* spelling : spellings) {
      SCOPED_TRACE(orlik::ToUtf8(spelling));
      EXPECT_EQ(ReadAll(spelling), content);
      EXPECT_EQ(FindOne(spelling), found);
    }
  }
  static std::vector<std::string> List(const char16_t* pattern) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return {"!"};
    std::vector<std::string> names;
    do names.push_back(orlik::ToUtf8(data.cFileName));
    while (FindNextFileW(h, &data));
    FindClose(h);
    return names;
  }
};

const std::string kNotFound = "!" + std::to_string(ERROR_FILE_NOT_FOUND);
const std::string kNoPath = "!" + std::to_string(ERROR_PATH_NOT_FOUND);
const std::string kDenied = "!" + std::to_string(ERROR_ACCESS_DENIED);

TEST_F(PathResolution, EverySpellingOfANameReachesTheStoredFile) {
  root_.Write("Flash Disk/Run/App.EXE", "application");
  const auto spellings = {u"\\Flash Disk\\Run\\App.EXE", u"Flash Disk\\Run\\app.exe", u"FLASH DISK\\run\\App.EXE",
                          u"flash disk/RUN/aPP.eXe"};
  ExpectEachReaches(spellings, "application", "App.EXE 11");
  for (const char16_t* spelling : spellings)
    EXPECT_EQ(GetFileAttributesW(spelling), DWORD(FILE_ATTRIBUTE_ARCHIVE)) << orlik::ToUtf8(spelling);
  // A folder, in any spelling, is no file to read.
  for (const char16_t* folder : {u"Flash Disk\\Run", u"flash disk\\RUN"}) {
    EXPECT_EQ(ReadAll(folder), kDenied) << orlik::ToUtf8(folder);
    EXPECT_EQ(GetFileAttributesW(folder), DWORD(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(DeleteFileW(folder));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
  EXPECT_TRUE(fs::is_directory(Host("Flash Disk/Run")));
}

// Names beyond ASCII keep their bytes; "." and ".." work on them as on any
// name, and the ASCII letters around them still match in any case.
TEST_F(PathResolution, NamesBeyondAsciiResolveWithDotsAndCase) {
  root_.Write("자료/Run 1/파일 A.txt", "korean");
  ExpectEachReaches({u"\\자료\\Run 1\\파일 A.txt", u"자료/./run 1/파일 a.TXT", u"\\자료\\다른\\..\\Run 1\\파일 A.txt",
                     u"..\\자료\\RUN 1\\.\\파일 A.txt"},
                    "korean", "파일 A.txt 6");
  EXPECT_EQ(ReadAll(u"\\자료\\Run 1\\파일 B.txt"), kNotFound);
}

// A path spelt as stored is read without looking at the folders, but only
// when it is plainly names and separators: every other form ("." and ".."
// names, doubled or trailing separators, a name starting with a dot) must
// still reach the same file, and so must paths of every length around the
// steps the plain form is taken apart in.
TEST_F(PathResolution, EveryFormOfAStoredPathReachesTheSameFile) {
  root_.Write("Dir/Sub/f.txt", "deep");
  root_.Write(".hidden/.f", "dotted");
  root_.Write("Dir/.../g", "three dots");
  for (const char16_t* spelling :
       {u"Dir\\Sub\\f.txt", u"\\Dir\\Sub\\f.txt", u"/Dir/Sub/f.txt", u"\\\\Dir\\\\Sub\\f.txt", u"Dir\\.\\Sub\\f.txt",
        u".\\Dir\\Sub\\f.txt", u"Dir\\x\\..\\Sub\\f.txt", u"Dir\\Sub\\f.txt\\", u"..\\..\\Dir\\Sub\\f.txt",
        u"Dir\\Sub\\.\\f.txt", u"Dir/Sub\\f.txt"})
    EXPECT_EQ(ReadAll(spelling), "deep") << orlik::ToUtf8(spelling);
  EXPECT_EQ(ReadAll(u"\\.hidden\\.f"), "dotted");
  EXPECT_EQ(ReadAll(u".hidden\\.f"), "dotted");
  EXPECT_EQ(ReadAll(u"Dir\\...\\g"), "three dots");
  EXPECT_EQ(ReadAll(u"Dir\\Sub\\..\\f.txt"), kNotFound);
  // ".." never leaves the device root, even where the host has the file.
  const std::string beside = fs::path(root_.path()).filename().string() + "-beside";
  const std::string besidePath = (fs::path(root_.path()).parent_path() / beside).string();
  std::ofstream(besidePath) << "outside";
  for (std::u16string escape : {u"..\\", u"\\..\\", u"Dir\\..\\..\\"}) {
    escape += std::u16string(beside.begin(), beside.end());
    EXPECT_EQ(ReadAll(escape.c_str()), kNotFound) << orlik::ToUtf8(escape);
  }
  fs::remove(besidePath);

  for (size_t length = 1; length <= 70; ++length) {
    std::string name(length, 'n');
    name[0] = char('A' + length % 26);
    root_.Write("Len/" + name, name);
    std::u16string plain = u"\\Len\\" + std::u16string(name.begin(), name.end());
    EXPECT_EQ(ReadAll(plain.c_str()), name) << length;
    std::u16string bare = plain.substr(1);
    EXPECT_EQ(ReadAll(bare.c_str()), name) << length;
  }
  // Long paths, up to past a thousand bytes, in folders of 200-byte names.
  std::string folders;
  std::u16string panel;
  for (int depth = 0; depth < 5; ++depth) {
    std::string name(200, char('a' + depth));
    folders += name + "/";
    panel += u"\\" + std::u16string(name.begin(), name.end());
    root_.Write(folders + "f", "long " + std::to_string(depth));
    EXPECT_EQ(ReadAll((panel + u"\\f").c_str()), "long " + std::to_string(depth)) << depth;
  }
}

TEST_F(PathResolution, MissingNamesAndFoldersFailAsBefore) {
  root_.Write("Flash Disk/Run/App.EXE", "application");
  struct Case {
    const char16_t* path;
    std::string find;  // a missing name, or a missing folder
  } cases[] = {
      {u"Flash Disk\\Run\\Other.exe", kNotFound},
      {u"flash disk\\run\\other.exe", kNotFound},
      {u"Flash Disk\\Gone\\App.EXE", kNoPath},
      {u"FLASH DISK\\GONE\\app.exe", kNoPath},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(orlik::ToUtf8(c.path));
    EXPECT_EQ(ReadAll(c.path)[0], '!');
    EXPECT_EQ(FindOne(c.path), c.find);
    EXPECT_EQ(GetFileAttributesW(c.path), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(CopyFileW(c.path, u"Flash Disk\\copy.exe", FALSE));
  }
  EXPECT_EQ(ReadAll(u"flash disk\\run\\other.exe"), kNotFound);
  EXPECT_FALSE(CopyFileW(u"flash disk\\run\\other.exe", u"Flash Disk\\copy.exe", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(fs::exists(Host("Flash Disk/copy.exe")));
  EXPECT_FALSE(fs::exists(Host("Flash Disk/Run/Other.exe"))) << "reading creates nothing";
}

// Host file systems may hold names that differ only in case: the spelling
// that is stored wins, and a search lists both, upper case first.
TEST_F(PathResolution, TheExactSpellingWinsOverAnotherCase) {
  root_.Write("Dup/a.txt", "lower");
  root_.Write("Dup/A.TXT", "upper");
  root_.Write("Dup/b.txt", "b");
  EXPECT_EQ(ReadAll(u"dup\\a.txt"), "lower");
  EXPECT_EQ(ReadAll(u"Dup\\A.TXT"), "upper");
  EXPECT_EQ(FindOne(u"Dup\\A.TXT"), "A.TXT 5");
  EXPECT_EQ(FindOne(u"Dup\\a.txt"), "a.txt 5");
  EXPECT_EQ(List(u"DUP\\*.*"), (std::vector<std::string>{"A.TXT", "a.txt", "b.txt"}));
}

TEST_F(PathResolution, SymbolicLinksAreFollowed) {
  root_.Write("Real/Data.bin", "xyz");
  fs::create_directory_symlink("Real", Host("Linked"));
  fs::create_symlink("Data.bin", Host("Real/Alias.bin"));
  fs::create_symlink("nothing", Host("Real/Dead.bin"));
  for (const char16_t* spelling :
       {u"Linked\\Data.bin", u"linked\\DATA.BIN", u"Real\\Alias.bin", u"LINKED\\alias.bin"}) {
    SCOPED_TRACE(orlik::ToUtf8(spelling));
    EXPECT_EQ(ReadAll(spelling), "xyz");
    EXPECT_EQ(GetFileAttributesW(spelling), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  }
  EXPECT_EQ(FindOne(u"linked\\alias.BIN"), "Alias.bin 3");
  EXPECT_EQ(GetFileAttributesW(u"LINKED"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  // A link to nothing is not a file, and a search passes it by.
  EXPECT_EQ(ReadAll(u"Linked\\Dead.bin"), kNotFound);
  EXPECT_EQ(FindOne(u"Linked\\dead.bin"), kNotFound);
  EXPECT_EQ(List(u"linked\\*.bin"), (std::vector<std::string>{"Alias.bin", "Data.bin"}));
}

// A search record carries the whole size, beyond 32 bits, the same whether
// the file is found by name or by listing.
TEST_F(PathResolution, SearchRecordsCarrySizesBeyondFourGigabytes) {
  root_.Write("Big/huge.img", "");
  fs::resize_file(Host("Big/huge.img"), (uint64_t(5) << 32) + 7);  // sparse: no blocks written
  for (const char16_t* pattern : {u"big\\HUGE.IMG", u"Big\\*.img"}) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << orlik::ToUtf8(pattern);
    FindClose(h);
    EXPECT_EQ(data.nFileSizeHigh, 5u);
    EXPECT_EQ(data.nFileSizeLow, 7u);
    EXPECT_EQ(data.dwFileAttributes, DWORD(FILE_ATTRIBUTE_ARCHIVE));
  }
}

}  // namespace

// The device root is looked up once per thread and then trusted while the
// environment keeps it in place: setting it anew, moving it within the
// environment, giving it as a caller's own string, and removing it must each
// be seen by the next file call.
TEST_F(PathResolution, TheDeviceRootFollowsEveryChangeOfTheEnvironment) {
  const char16_t* name = u"root-probe.txt";
  root_.Write("root-probe.txt", "first");
  EXPECT_EQ(ReadAll(name), "first");

  tolvex_test::TempRoot second;  // sets ORLIK_ROOT anew
  second.Write("root-probe.txt", "second");
  EXPECT_EQ(ReadAll(name), "second");

  // Variables added after it may move the environment's array.
  for (int i = 0; i < 64; ++i) setenv(("TOLVEX_ROOT_TEST_" + std::to_string(i)).c_str(), "x", 1);
  EXPECT_EQ(ReadAll(name), "second");
  // One removed before it moves it down a slot.
  unsetenv("ORLIK_ROOT");
  setenv("TOLVEX_ROOT_TEST_BEFORE", "x", 1);
  setenv("ORLIK_ROOT", second.path().c_str(), 1);
  EXPECT_EQ(ReadAll(name), "second");
  unsetenv("TOLVEX_ROOT_TEST_BEFORE");
  EXPECT_EQ(ReadAll(name), "second");
  for (int i = 0; i < 64; ++i) unsetenv(("TOLVEX_ROOT_TEST_" + std::to_string(i)).c_str());
  EXPECT_EQ(ReadAll(name), "second");

  // The caller's own string, through putenv.
  static std::string own;
  own = "ORLIK_ROOT=" + root_.path();
  putenv(own.data());
  EXPECT_EQ(ReadAll(name), "first");

  // Without it, the root is "orlik-root" in the current folder, which holds
  // no such file.
  unsetenv("ORLIK_ROOT");
  EXPECT_EQ(ReadAll(name)[0], '!');
  setenv("ORLIK_ROOT", root_.path().c_str(), 1);
  EXPECT_EQ(ReadAll(name), "first");
}
