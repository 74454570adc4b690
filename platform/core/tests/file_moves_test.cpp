// Moving and replacing files, and temporary file names, under the device root.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class FileMoves : public tolvex_test::PanelTest {
 protected:
  std::string Host(const std::string& rel) const { return root_.path() + "/" + rel; }
  void Write(const std::string& rel, const std::string& bytes) {
    fs::create_directories(fs::path(Host(rel)).parent_path());
    std::ofstream(Host(rel), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(Host(rel), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  ino_t Inode(const std::string& rel) const {
    struct stat st {};
    stat(Host(rel).c_str(), &st);
    return st.st_ino;
  }
};

TEST_F(FileMoves, MoveReplacesAnExistingTargetOnlyWhenAskedAndInOneStep) {
  Write("dir/a.txt", "A");
  Write("dir/b.txt", "B");
  EXPECT_FALSE(MoveFileW(u"dir\\a.txt", u"dir\\b.txt"));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(MoveFileExW(u"dir\\a.txt", u"dir\\b.txt", 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Read("dir/b.txt"), "B");

  // Replacing is a rename: the target is then the moved file itself.
  ino_t moved = Inode("dir/a.txt");
  EXPECT_TRUE(MoveFileExW(u"\\DIR\\A.TXT", u"dir\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(Read("dir/b.txt"), "A");
  EXPECT_EQ(Inode("dir/b.txt"), moved);
  EXPECT_FALSE(fs::exists(Host("dir/a.txt")));

  // A new name in another case renames the file itself.
  EXPECT_TRUE(MoveFileW(u"dir\\b.txt", u"dir\\B.TXT"));
  EXPECT_TRUE(fs::exists(Host("dir/B.TXT")));
  EXPECT_FALSE(fs::exists(Host("dir/b.txt")));

  // Folders move whole; nothing moves into a missing folder or from nowhere.
  EXPECT_TRUE(MoveFileW(u"dir", u"Moved"));
  EXPECT_EQ(Read("Moved/B.TXT"), "A");
  EXPECT_FALSE(MoveFileW(u"Moved\\B.TXT", u"nowhere\\b.txt"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(MoveFileW(u"Moved\\missing.txt", u"Moved\\m.txt"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileW(nullptr, u"Moved\\m.txt"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileMoves, FoldersWriteProtectedFilesAndFailingRenamesAreNotReplaced) {
  Write("new.bin", "new");
  Write("old.bin", "old");
  Write("folder/inside.bin", "x");
  // Write protection binds root as well: it is the file's own attribute.
  chmod(Host("old.bin").c_str(), 0444);
  EXPECT_EQ(GetFileAttributesW(u"old.bin"), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(MoveFileExW(u"new.bin", u"old.bin", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(MoveFileExW(u"new.bin", u"folder", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  chmod(Host("old.bin").c_str(), 0644);

  int fault = orlik_sim_fail_files("\\old.bin", ORLIK_SIM_FILE_RENAME, ORLIK_SIM_IO_ERROR, 0, 1);
  EXPECT_FALSE(MoveFileExW(u"new.bin", u"old.bin", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
  EXPECT_EQ(orlik_sim_file_fault_hits(fault), 1);
  EXPECT_EQ(Read("old.bin"), "old");
  EXPECT_EQ(Read("new.bin"), "new");
  EXPECT_TRUE(MoveFileExW(u"new.bin", u"old.bin", MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(Read("old.bin"), "new");
  EXPECT_FALSE(MoveFileExW(u"old.bin", u"other.bin", 0x4)) << "an unknown flag";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(FileMoves, TemporaryNamesAreNewFilesBesideTheirFolder) {
  fs::create_directories(Host("Flash Disk"));
  WCHAR first[MAX_PATH] = {}, second[MAX_PATH] = {};
  UINT n1 = GetTempFileNameW(u"\\Flash Disk", u"ftpXYZ", 0, first);
  UINT n2 = GetTempFileNameW(u"\\Flash Disk\\", u"ftp", 0, second);
  ASSERT_NE(n1, 0u);
  ASSERT_NE(n2, 0u);
  EXPECT_NE(n1, n2);
  std::string a = orlik::ToUtf8(first), b = orlik::ToUtf8(second);
  EXPECT_EQ(a.rfind("\\Flash Disk\\ftp", 0), 0u) << a;
  EXPECT_EQ(a.substr(a.size() - 4), ".TMP") << a;
  char hex[8];
  std::snprintf(hex, sizeof hex, "%X", n1);
  EXPECT_EQ(a, std::string("\\Flash Disk\\ftp") + hex + ".TMP");
  EXPECT_EQ(fs::file_size(Host("Flash Disk/" + a.substr(12))), 0u) << "created, empty";
  EXPECT_TRUE(fs::exists(Host("Flash Disk/" + b.substr(12))));

  // With a number of its own the name is only formed.
  EXPECT_EQ(GetTempFileNameW(u"\\Flash Disk", u"ab", 0x1234A, first), 0x234Au);
  EXPECT_EQ(orlik::ToUtf8(first), "\\Flash Disk\\ab234A.TMP");
  EXPECT_FALSE(fs::exists(Host("Flash Disk/ab234A.TMP")));

  EXPECT_EQ(GetTempFileNameW(u"\\Nowhere", u"x", 0, first), 0u);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  orlik_sim_fail_files("\\Flash Disk", ORLIK_SIM_FILE_CREATE, ORLIK_SIM_DISK_FULL, 0, 1);
  EXPECT_EQ(GetTempFileNameW(u"\\Flash Disk", u"x", 0, first), 0u);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  std::u16string deep(300, u'd');
  EXPECT_EQ(GetTempFileNameW(deep.c_str(), u"x", 0, first), 0u);
  EXPECT_EQ(GetLastError(), ERROR_BUFFER_OVERFLOW);
}

}  // namespace
