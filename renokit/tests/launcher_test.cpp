// Start's comparison of the folders and the command line it hands the updater.
#include "renokit_fixture.h"
#include "export_map.h"

namespace {

std::string Utf8(const std::u16string& s) { return orlik::ToUtf8(s); }

TEST_F(RenokitTest, ExportsAreExactlyTheMap) {
  tolvex_test::ExpectExportsMatchMap(lib, TOLVEX_LIB_RENOKIT, TOLVEX_EXPORTS_RENOKIT);
}

TEST_F(RenokitTest, StartDoesNothingWhenSourceIsMissingEmptyOrEqual) {
  setPath(u"\\Update", u"\\App");
  EXPECT_EQ(start(), 0) << "missing source folder";

  fs::create_directories(Root() + "/Update/sub");
  EXPECT_EQ(start(), 0) << "source folder with only a subfolder";

  Write("Update/same.bin", "identical bytes");
  Write("App/same.bin", "identical bytes");
  Write("Update/sum.bin", "abc");  // same byte sum as "cba"
  Write("App/sum.bin", "cba");
  Write("App/only-target.bin", "x");
  EXPECT_EQ(start(), 0) << "equal files and equal sums";

  EXPECT_EQ(StartedUpdater(), 0);
  EXPECT_FALSE(Exists("Windows/Renovo.exe"));
}

TEST_F(RenokitTest, StartListsMissingAndChangedFilesInSearchOrder) {
  fs::create_directories(Root() + "/Windows");
  Write("Update/changed.bin", "new content");
  Write("App/changed.bin", "old content");
  Write("Update/same.bin", "same");
  Write("App/same.bin", "same");
  Write("Update/new.bin", "brand new");
  Write("Update/anagram.bin", "1234");
  Write("App/anagram.bin", "4321");
  Write("Update/.hidden", "hidden files count too");
  Write("Update/empty.bin", "");  // sums to 0 on both sides: missing target is what counts
  Write("Update/Sub/inner.bin", "subfolders are not entered");
  Write("App/only-target.bin", "plays no part");
  setPath(u"\\Update", u"\\App");
  setStartInterval(600000);
  ASSERT_EQ(start(), 1);
  std::u16string line = TakeUpdaterCommandLine();
  EXPECT_EQ(Utf8(line), ".hidden|changed.bin|empty.bin|new.bin:\\Update:\\App:::0::0::0:600000:e:");

  // A missing target folder lists every file.
  setPath(u"\\Update", u"\\Nowhere");
  ASSERT_EQ(start(), 1);
  line = TakeUpdaterCommandLine();
  EXPECT_EQ(Utf8(line.substr(0, line.find(u':'))), ".hidden|anagram.bin|changed.bin|empty.bin|new.bin|same.bin");
}

// Folders and names match the target's whatever their case, as on the
// panel; a folder where the target file should be counts as a file that
// cannot be read.
TEST_F(RenokitTest, TargetsAreFoundInAnyCase) {
  Write("Update/same.bin", "same");
  Write("App/SAME.BIN", "same");
  Write("Update/Changed.Bin", "new");
  Write("App/changed.bin", "old");
  Write("Update/folder.bin", "a file here");
  fs::create_directories(Root() + "/App/Folder.bin");
  // An empty file sums to 0, as a target that cannot be read: unchanged.
  Write("Update/empty-folder.bin", "");
  fs::create_directories(Root() + "/App/Empty-Folder.bin");
  setPath(u"\\UPDATE", u"\\app");
  setStartInterval(600000);
  ASSERT_EQ(start(), 1);
  std::u16string line = TakeUpdaterCommandLine();
  EXPECT_EQ(Utf8(line.substr(0, line.find(u':'))), "Changed.Bin|folder.bin");
}

TEST_F(RenokitTest, FreshProcessSendsDefaultsAndSettersFillEveryField) {
  Write("S/a.txt", "a");
  setPath(u"\\S", u"\\T");
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(Utf8(TakeUpdaterCommandLine()), "a.txt:\\S:\\T:::0::0::0:0:e:");

  setBackImagePath(u"\\Flash Disk\\bg.bmp");
  setDisplayText(u"Updating", u"Line one\nLine two", u"v2.1");
  setDisplayTextColor(0x0000FF, 0xFFFFFFFFu, 0xFF0000);
  setFontName(u"NanumGothicCoding");
  setStartInterval(3000);
  setReboot(-5);
  ASSERT_EQ(start(), 1);
  EXPECT_EQ(Utf8(TakeUpdaterCommandLine()),
            "a.txt:\\S:\\T:\\Flash Disk\\bg.bmp:Updating:255:Line one\nLine two:4294967295:v2.1:16711680:"
            "3000:r:NanumGothicCoding");

  // Settings stay for the next Start; SetReboot(0) goes back to the start-up program.
  setReboot(0);
  ASSERT_EQ(start(), 1);
  EXPECT_NE(TakeUpdaterCommandLine().find(u":3000:e:NanumGothicCoding"), std::u16string::npos);
}

TEST_F(RenokitTest, LongTextsAreCutAtTheirCapacities) {
  Write("S/a.txt", "a");
  std::u16string longText(1000, u'x');
  setPath(u"\\S", u"\\T");
  setBackImagePath(longText.c_str());
  setDisplayText(longText.c_str(), longText.c_str(), longText.c_str());
  setFontName(longText.c_str());
  ASSERT_EQ(start(), 1);
  std::u16string line = TakeUpdaterCommandLine();
  std::vector<size_t> lengths;
  for (size_t startAt = 0;;) {
    size_t colon = line.find(u':', startAt);
    lengths.push_back((colon == std::u16string::npos ? line.size() : colon) - startAt);
    if (colon == std::u16string::npos) break;
    startAt = colon + 1;
  }
  ASSERT_EQ(lengths.size(), 13u);
  EXPECT_EQ(lengths[3], 259u);   // background image path
  EXPECT_EQ(lengths[4], 99u);    // text 1
  EXPECT_EQ(lengths[6], 499u);   // text 2
  EXPECT_EQ(lengths[8], 99u);    // text 3
  EXPECT_EQ(lengths[12], 49u);   // font name
}

TEST_F(RenokitTest, ChangedFileListIsNotCut) {
  // 300 names of 21 characters: far beyond 1999 characters, all listed.
  for (int i = 0; i < 300; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "S/file-%012d.bin", i);
    Write(name, "x");
  }
  setPath(u"\\S", u"\\T");
  setStartInterval(600000);
  ASSERT_EQ(start(), 1);
  std::u16string line = TakeUpdaterCommandLine();
  std::u16string list = line.substr(0, line.find(u':'));
  EXPECT_EQ(std::count(list.begin(), list.end(), u'|'), 299);
  EXPECT_EQ(list.size(), 300u * 21u + 299u);
}

TEST_F(RenokitTest, StartWritesTheCarriedUpdaterByteForByte) {
  fs::create_directories(Root() + "/Windows");
  Write("Windows/Renovo.exe", "an older updater");
  Write("S/a.txt", "a");
  setPath(u"\\S", u"\\T");
  setStartInterval(600000);
  ASSERT_EQ(start(), 1);
  TakeUpdaterCommandLine();
  std::ifstream built(TOLVEX_LIB_RENOVO, std::ios::binary);
  std::string expected{std::istreambuf_iterator<char>(built), {}};
  ASSERT_GT(expected.size(), 1000u);
  EXPECT_TRUE(Read("Windows/Renovo.exe") == expected);
}

}  // namespace
