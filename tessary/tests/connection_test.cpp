// Connection and remote directory operations against real servers.
#include "tessary_fixture.h"
#include "export_map.h"

namespace tessary_test {
namespace {

class DirectoryTest : public TessaryTest, public ::testing::WithParamInterface<bool> {};

TEST_F(TessaryTest, ExportsAreExactlyTheMap) {
  tolvex_test::ExpectExportsMatchMap(*lib_, TOLVEX_LIB_TESSARY, TOLVEX_EXPORTS_TESSARY);
}

TEST_F(TessaryTest, ConnectionRules) {
  char16_t buffer[1024] = u"untouched";
  // Nothing talks to a server before Connect.
  EXPECT_EQ(x_->DisConnect(), 1);
  EXPECT_EQ(x_->GetCurrentDirectory(buffer), 0);
  EXPECT_EQ(x_->GetFileList(buffer), 0);
  EXPECT_EQ(x_->SetCurrentDirectory(u"\\pub"), 0);
  EXPECT_EQ(x_->SetRootDirectory(), 0);
  EXPECT_EQ(x_->CreateFolder(u"a"), 0);
  EXPECT_EQ(x_->DeleteFolder(u"a"), 0);
  EXPECT_EQ(x_->DeleteFiles(u"a"), 0);
  EXPECT_EQ(x_->ReName(u"a", u"b"), 0);
  EXPECT_EQ(std::u16string(buffer), u"untouched");
  EXPECT_EQ(x_->Connect(), 0) << "no server set";

  ASSERT_TRUE(StartAndConnect(true));
  EXPECT_EQ(x_->Connect(), 1) << "a second Connect replaces the first";
  EXPECT_EQ(x_->GetCurrentDirectory(buffer), 1);
  EXPECT_EQ(std::u16string(buffer), u"\\");

  // Null texts keep the earlier user and password; the port is replaced.
  EXPECT_NE(x_->SetConnectInfo(nullptr, server_->port(), nullptr, nullptr, 0), 0);
  EXPECT_EQ(x_->Connect(), 1);
  x_->SetConnectInfo(nullptr, ftp_test::FtpServer::FreePort(), nullptr, nullptr, 1);
  EXPECT_EQ(x_->Connect(), 0) << "port must have been replaced";
  x_->SetConnectInfo(nullptr, server_->port(), nullptr, u"wrong", 1);
  EXPECT_EQ(x_->Connect(), 0) << "wrong password";
  x_->SetConnectInfo(nullptr, server_->port() | 0x70000, nullptr, u"secret", 1);
  EXPECT_EQ(x_->Connect(), 1) << "only the low 16 bits of the port count";
  EXPECT_EQ(x_->DisConnect(), 1);
  EXPECT_EQ(x_->DisConnect(), 1);
  EXPECT_EQ(x_->GetCurrentDirectory(buffer), 0);
}

// Texts longer than their fields are refused, never cut to another name.
TEST_F(TessaryTest, OverlongTextsAreRefusedNotShortened) {
  fs::create_directories(Remote("d"));
  ftp_test::WriteFile(Remote("d/f.txt"), "f");
  ASSERT_TRUE(StartAndConnect(true));
  // Cut to its field this would still name the folder \d.
  std::u16string longPath = u"\\d" + std::u16string(1100, u'\\');
  std::u16string longName = u"\\d\\" + std::u16string(1100, u'x');
  EXPECT_EQ(x_->SetCurrentDirectory(longPath.c_str()), 0);
  EXPECT_EQ(x_->ReName(u"\\d\\f.txt", longName.c_str()), 0);
  EXPECT_TRUE(fs::exists(Remote("d/f.txt")));
  EXPECT_EQ(x_->FileDownload(longPath.c_str(), u"\\f.txt"), 0);
  EXPECT_EQ(x_->GetPercentage(), -1);
  EXPECT_EQ(x_->FileUpload(longName.c_str(), u"\\g.txt"), 0);
  // A user name of 100 units does not fit its field of 100 with terminator.
  x_->SetConnectInfo(nullptr, server_->port(), std::u16string(100, u'p').c_str(), nullptr, 1);
  EXPECT_EQ(x_->Connect(), 0);
  x_->SetConnectInfo(nullptr, server_->port(), u"panel", nullptr, 1);
  EXPECT_EQ(x_->Connect(), 1) << "the password was kept";
}

TEST_P(DirectoryTest, MovesCreatesRenamesAndDeletes) {
  fs::create_directories(Remote("pub/data"));
  ftp_test::WriteFile(Remote("pub/old.txt"), "abc");
  ftp_test::WriteFile(Remote("x.bin"), "x");
  ASSERT_TRUE(StartAndConnect(GetParam()));
  char16_t dir[1024];

  ASSERT_EQ(x_->SetCurrentDirectory(u"\\pub\\data"), 1);
  ASSERT_EQ(x_->GetCurrentDirectory(dir), 1);
  EXPECT_EQ(std::u16string(dir), u"\\pub\\data");
  ASSERT_EQ(x_->SetRootDirectory(), 1);
  ASSERT_EQ(x_->GetCurrentDirectory(dir), 1);
  EXPECT_EQ(std::u16string(dir), u"\\pub");
  EXPECT_EQ(x_->SetCurrentDirectory(u"\\nowhere"), 0);
  ASSERT_EQ(x_->GetCurrentDirectory(dir), 1);
  EXPECT_EQ(std::u16string(dir), u"\\pub") << "a failed move stays put";

  // Folder names go to the server unchanged: a backslash is part of the name.
  EXPECT_EQ(x_->CreateFolder(u"a\\b"), 1);
  EXPECT_TRUE(fs::is_directory(Remote("pub/a\\b")));
  EXPECT_EQ(x_->CreateFolder(u"a\\b"), 0) << "exists already";
  EXPECT_EQ(x_->DeleteFolder(u"a\\b"), 1);
  EXPECT_FALSE(fs::exists(Remote("pub/a\\b")));

  // Renames convert both paths.
  EXPECT_EQ(x_->ReName(u"\\pub\\old.txt", u"\\pub\\data\\new.txt"), 1);
  EXPECT_EQ(ftp_test::ReadFile(Remote("pub/data/new.txt")), "abc");
  EXPECT_EQ(x_->ReName(u"\\pub\\old.txt", u"\\pub\\again.txt"), 0);

  EXPECT_EQ(x_->DeleteFiles(u"/x.bin"), 1);
  EXPECT_FALSE(fs::exists(Remote("x.bin")));
  EXPECT_EQ(x_->DeleteFiles(u"/x.bin"), 0);
  EXPECT_EQ(x_->DeleteFolder(u"/pub"), 0) << "not empty";
}

TEST_P(DirectoryTest, ListingJoinsNamesAndMarksFolders) {
  fs::create_directories(Remote("img"));
  ftp_test::WriteFile(Remote("x.bin"), "12345");
  fs::create_directories(Remote("empty"));
  fs::create_directories(Remote("spaced/two words.txt").parent_path());
  ftp_test::WriteFile(Remote("spaced/ two  words.txt"), "1");
  ftp_test::WriteFile(Remote("spaced/Ünïcode.txt"), "1");
  ASSERT_TRUE(StartAndConnect(GetParam()));

  std::vector<char16_t> buffer(4096, u'#');
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(x_->GetFileList(buffer.data()), 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
  std::set<std::u16string> entries;
  std::u16string list(buffer.data());
  for (size_t i = 0; i <= list.size();) {
    size_t j = std::min(list.find(u':', i), list.size());
    entries.insert(list.substr(i, j - i));
    i = j + 1;
  }
  EXPECT_EQ(entries, (std::set<std::u16string>{u"img\\", u"x.bin", u"empty\\", u"spaced\\"}))
      << U8(list);

  ASSERT_EQ(x_->SetCurrentDirectory(u"\\spaced"), 1);
  ASSERT_EQ(x_->GetFileList(buffer.data()), 1);
  std::u16string spaced(buffer.data());
  EXPECT_TRUE(spaced == u" two  words.txt:Ünïcode.txt" || spaced == u"Ünïcode.txt: two  words.txt")
      << U8(spaced);

  // Nothing to list: 0 and the buffer as it was.
  ASSERT_EQ(x_->SetCurrentDirectory(u"\\empty"), 1);
  EXPECT_EQ(x_->GetFileList(buffer.data()), 0);
  EXPECT_EQ(std::u16string(buffer.data()), spaced);
}

TEST_P(DirectoryTest, ListingOfOneFolderAndOneFile) {
  fs::create_directories(Remote("img"));
  ftp_test::WriteFile(Remote("x.bin"), "1");
  ASSERT_TRUE(StartAndConnect(GetParam(), {.noMlsd = true}));
  char16_t buffer[256];
  ASSERT_EQ(x_->GetFileList(buffer), 1);
  std::u16string list(buffer);
  EXPECT_TRUE(list == u"img\\:x.bin" || list == u"x.bin:img\\") << U8(list);
}

INSTANTIATE_TEST_SUITE_P(Modes, DirectoryTest, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Passive" : "Active"; });

// vsftpd lists in Unix LIST form and logs in anonymously here (it runs as the
// launching user, no system account needed).
TEST_F(TessaryTest, WorksWithVsftpd) {
  fs::create_directories(Remote("img"));
  ftp_test::WriteFile(Remote("x.bin"), ftp_test::Pattern(3000));
  auto vsftpd = ftp_test::FtpServer::Vsftpd(serverRoot_.string(), root_.path());
  // The bootstrap installs vsftpd: a server that does not start is a failure.
  ASSERT_TRUE(vsftpd) << "vsftpd did not start";
  x_->SetConnectInfo(u"127.0.0.1", vsftpd->port(), u"anonymous", u"", 1);
  ASSERT_EQ(x_->Connect(), 1);
  char16_t buffer[1024];
  ASSERT_EQ(x_->GetFileList(buffer), 1);
  std::u16string list(buffer);
  EXPECT_TRUE(list == u"img\\:x.bin" || list == u"x.bin:img\\") << U8(list);

  // Without a chroot vsftpd reports the real folder; moves still convert.
  ASSERT_EQ(x_->SetCurrentDirectory(U16(Remote("img").string()).c_str()), 1);
  ASSERT_EQ(x_->GetCurrentDirectory(buffer), 1);
  std::u16string expected = U16(Remote("img").string());
  for (auto& c : expected)
    if (c == u'/') c = u'\\';
  EXPECT_EQ(std::u16string(buffer), expected);
  ASSERT_EQ(x_->SetRootDirectory(), 1);

  ASSERT_EQ(x_->FileDownload(u"x.bin", U16("\\x.bin").c_str()), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), 100);
  EXPECT_TRUE(ftp_test::ReadFile(Local("x.bin")) == ftp_test::Pattern(3000));
  ASSERT_EQ(x_->FileUpload(u"\\x.bin", u"img\\y.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), 100);
  EXPECT_TRUE(ftp_test::ReadFile(Remote("img/y.bin")) == ftp_test::Pattern(3000));

  vsftpd->Kill();
}

}  // namespace
}  // namespace tessary_test
