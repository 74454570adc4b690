// Uploads and downloads: block arithmetic, progress, byte-exact files,
// cancel, and servers that fail under a running transfer.
#include "block_plan.h"
#include "tessary_fixture.h"

#include <algorithm>

namespace tessary_test {
namespace {

using ftp_test::Pattern;
using ftp_test::ReadFile;
using ftp_test::WriteFile;

// The progress values a transfer of size bytes reports, block by block.
std::vector<int32_t> ProgressOf(uint64_t size) {
  tessary::BlockPlan plan(size);
  std::vector<int32_t> values;
  int32_t p = 0;
  for (uint64_t moved = 0; moved < size; moved += plan.blockSize) {
    p = plan.Advance(p);
    if (values.empty() || values.back() != p) values.push_back(p);
  }
  values.push_back(100);  // the confirmed end
  return values;
}

TEST(BlockPlan, SplitsIntoAboutOneHundredBlocks) {
  struct Case {
    uint64_t size, block, count;
    std::vector<int32_t> progress;  // distinct values after each block
  };
  std::vector<int32_t> oneToHundred;
  for (int i = 1; i <= 100; ++i) oneToHundred.push_back(i);
  const Case cases[] = {
      {1000, 10, 100, oneToHundred},
      {1049, 10, 104, {0, 100}},  // step 0.96: stays 0 until the end
      {3, 1, 3, {33, 66, 99, 100}},
      {1, 1, 1, {0, 100}},  // the only block ends the transfer
      {2, 1, 2, {50, 100}},
      {149, 1, 149, {0, 100}},
      {150, 2, 75, {}},  // whole part of 1.333 per block
  };
  for (const auto& c : cases) {
    tessary::BlockPlan plan(c.size);
    EXPECT_EQ(plan.blockSize, c.block) << c.size;
    EXPECT_EQ(plan.bufferSize, c.block + 2) << c.size;
    EXPECT_EQ(plan.blockCount, c.count) << c.size;
    auto progress = ProgressOf(c.size);
    if (c.size == 150) {
      EXPECT_EQ(progress.front(), 1);
      EXPECT_EQ(progress[progress.size() - 2], 75);
    } else {
      EXPECT_EQ(progress, c.progress) << c.size;
    }
  }
  // Sizes beyond 32 bits plan whole, with blocks capped in size.
  tessary::BlockPlan big(5ull << 30);
  EXPECT_LE(big.blockSize * big.blockCount, 5ull << 30);
  EXPECT_GT((big.blockCount + 1) * big.blockSize, 5ull << 30);
  EXPECT_EQ(big.blockCount, 100u);
  tessary::BlockPlan huge(100ull << 30);
  EXPECT_EQ(huge.blockSize, tessary::kMaxBlockSize);
  EXPECT_EQ(huge.blockCount, 1600u);
}

class TransferTest : public TessaryTest, public ::testing::WithParamInterface<bool> {};

// What the caller sees while polling is a subsequence of the values the
// transfer goes through, ending in 100.
void ExpectProgress(const std::vector<int32_t>& seen, const std::vector<int32_t>& expected) {
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  size_t at = 0;
  for (int32_t v : seen) {
    while (at < expected.size() && expected[at] != v) ++at;
    EXPECT_LT(at, expected.size()) << "unexpected progress " << v;
  }
}

TEST_P(TransferTest, SmallFilesBothWaysWithTheirProgress) {
  ASSERT_TRUE(StartAndConnect(GetParam()));
  // 1000 bytes: 100 blocks of 10, one percent each (the last block's 100 is
  // reported once the transfer is confirmed); 1049 bytes: 104 blocks of
  // 0.96 percent, nothing between 0 and 100; 3 bytes: a third each.
  std::vector<int32_t> byOne;
  for (int32_t i = 0; i <= 100; ++i) byOne.push_back(i);
  const struct {
    uint64_t size;
    std::vector<int32_t> progress;
  } cases[] = {{1000, byOne}, {1049, {0, 100}}, {3, {0, 33, 66, 99, 100}}, {1, {0, 100}}};
  for (const auto& c : cases) {
    const uint64_t size = c.size;
    std::string name = "f" + std::to_string(size) + ".bin";
    std::string data = Pattern(size, unsigned(size));
    WriteFile(Remote(name), data);
    ASSERT_EQ(x_->FileDownload(U16("\\" + name).c_str(), U16("\\" + name).c_str()), 1);
    ExpectProgress(FollowTransfer(*x_), c.progress);
    EXPECT_TRUE(ReadFile(Local(name)) == data) << name;

    ASSERT_EQ(x_->FileUpload(U16("\\" + name).c_str(), U16("\\up\\" + name).c_str()), 1);
    auto seen = FollowTransfer(*x_);
    if (seen.back() == -1) {
      // The folder does not exist yet: create it and try again.
      ASSERT_EQ(x_->CreateFolder(u"/up"), 1);
      ASSERT_EQ(x_->FileUpload(U16("\\" + name).c_str(), U16("\\up\\" + name).c_str()), 1);
      seen = FollowTransfer(*x_);
    }
    ExpectProgress(seen, c.progress);
    EXPECT_TRUE(ReadFile(Remote("up/" + name)) == data) << name;
  }
  // A 1049-byte transfer never shows anything between 0 and 100.
  WriteFile(Local("odd.bin"), Pattern(1049));
  ASSERT_EQ(x_->FileUpload(u"\\odd.bin", u"\\odd.bin"), 1);
  for (int32_t v : FollowTransfer(*x_)) EXPECT_TRUE(v == 0 || v == 100) << v;
}

TEST_P(TransferTest, TwentyMegabytesByteExactBothWays) {
  std::string data = Pattern(20u << 20, 7);
  WriteFile(Remote("pub/big.bin"), data);
  ASSERT_TRUE(StartAndConnect(GetParam()));
  ASSERT_EQ(x_->SetCurrentDirectory(u"\\pub"), 1);
  ASSERT_EQ(x_->FileDownload(u"\\pub\\big.bin", u"\\Flash Disk\\big.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), -1) << "the local folder does not exist";
  fs::create_directories(Local("Flash Disk"));
  ASSERT_EQ(x_->FileDownload(u"\\pub\\big.bin", u"\\Flash Disk\\big.bin"), 1);
  auto seen = FollowTransfer(*x_);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_TRUE(ReadFile(Local("Flash Disk/big.bin")) == data);
  char16_t dir[1024];
  ASSERT_EQ(x_->GetCurrentDirectory(dir), 1);
  EXPECT_EQ(std::u16string(dir), u"\\pub") << "the size look-up restores the directory";

  ASSERT_EQ(x_->FileUpload(u"\\Flash Disk\\big.bin", u"\\pub\\copy.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), 100);
  EXPECT_TRUE(ReadFile(Remote("pub/copy.bin")) == data);
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferTest, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Passive" : "Active"; });

TEST_F(TessaryTest, MissingAndEmptyFilesFail) {
  WriteFile(Remote("empty.bin"), "");
  WriteFile(Remote("pub/a.bin"), "a");
  ASSERT_TRUE(StartAndConnect(true));
  struct Case {
    bool download;
    std::u16string from, to;
  };
  const Case cases[] = {
      {true, u"\\pub\\missing.bin", u"\\missing.bin"},
      {true, u"\\empty.bin", u"\\empty.bin"},
      {true, u"\\nowhere\\a.bin", u"\\nowhere.bin"},
      {true, u"\\pub\\", u"\\slash.bin"},
      {false, u"\\absent.bin", u"\\absent.bin"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(c.download ? x_->FileDownload(c.from.c_str(), c.to.c_str())
                         : x_->FileUpload(c.from.c_str(), c.to.c_str()),
              1);
    EXPECT_EQ(FollowTransfer(*x_).back(), -1) << U8(c.from);
    // The local file is created (empty) as the transfer opens it.
    std::string local = U8(c.download ? c.to : c.from).substr(1);
    EXPECT_TRUE(fs::exists(Local(local))) << local;
    EXPECT_EQ(fs::file_size(Local(local)), 0u) << local;
  }
  EXPECT_FALSE(fs::exists(Remote("absent.bin")));
  EXPECT_EQ(x_->GetPercentage(), -1);

  // The connection is intact after the failures.
  ASSERT_EQ(x_->FileDownload(u"\\pub\\a.bin", u"\\a.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), 100);

  // Without a connection a transfer starts and fails.
  x_->DisConnect();
  ASSERT_EQ(x_->FileDownload(u"\\pub\\a.bin", u"\\b.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), -1);
}

// The cancel takes effect at the next block, and the caller is woken once
// the remote file is closed. The throttled test server sends in bursts and
// then pauses for up to a few seconds to keep its average rate, and closing
// an upload waits until it has taken what the sockets hold, so one cancel can
// take longer than one two-second wait: ask again.
int32_t Cancel(const Exports& x) {
  int32_t result = 258;
  for (int i = 0; i < 15 && result == 258; ++i) result = x.FileUpNDownloadCancel();
  return result;
}

TEST_F(TessaryTest, CancelStopsASlowTransferAndKeepsTheOldFile) {
  WriteFile(Remote("slow.bin"), Pattern(3u << 20));
  WriteFile(Local("slow.bin"), "the old file");
  ASSERT_TRUE(StartAndConnect(true, {.rate = 512 * 1024}));

  // Nothing running: the cancel waits its full two seconds.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(x_->FileUpNDownloadCancel(), 258);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1990ms);

  ASSERT_EQ(x_->FileDownload(u"\\slow.bin", u"\\slow.bin"), 1);
  ASSERT_TRUE(WaitForProgress(*x_, 5));
  EXPECT_EQ(x_->FileDownload(u"\\slow.bin", u"\\other.bin"), 0) << "one transfer at a time";
  EXPECT_EQ(x_->CreateFolder(u"during"), 0) << "the connection carries the transfer";
  EXPECT_EQ(Cancel(*x_), 0);
  // Woken only after the remote file was closed: the connection is free.
  EXPECT_EQ(x_->CreateFolder(u"after"), 1);
  EXPECT_EQ(x_->GetPercentage(), -1);
  EXPECT_EQ(ReadFile(Local("slow.bin")), "the old file");
  EXPECT_EQ(LocalNames(), std::set<std::string>{"slow.bin"}) << "no temporary is left";

  // The named event is visible by name and stays set until the next transfer.
  HANDLE event = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"UpDownLoad_Cancel_Event");
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);

  // The connection still works, and a new transfer starts with the event clear.
  WriteFile(Remote("small.bin"), "small");
  ASSERT_EQ(x_->FileDownload(u"\\small.bin", u"\\slow.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), 100);
  EXPECT_EQ(ReadFile(Local("slow.bin")), "small") << "a finished download replaces the file";
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);

  // Cancelling an upload (larger than what the sockets buffer on loopback).
  WriteFile(Local("up.bin"), Pattern(24u << 20));
  ASSERT_EQ(x_->FileUpload(u"\\up.bin", u"\\up.bin"), 1);
  ASSERT_TRUE(WaitForProgress(*x_, 5));
  EXPECT_EQ(Cancel(*x_), 0);
  EXPECT_EQ(x_->CreateFolder(u"after upload"), 1);
  EXPECT_EQ(x_->GetPercentage(), -1);
}

// A download over an existing file goes to a new temporary beside it that
// replaces the file in one step: whichever step fails (a full disk midway, a
// write-protected folder, the replace itself), the old file stays whole and
// nothing is left beside it. A file of the user's named like a temporary is
// never touched.
TEST_F(TessaryTest, DownloadOverAnExistingFileKeepsItWholeOnEveryFailure) {
  const std::string data = Pattern(100000, 3);
  WriteFile(Remote("new.bin"), data);
  WriteFile(Local("keep.bin"), "the old file");
  WriteFile(Local("keep.bin.part"), "the user's own file");
  ASSERT_TRUE(StartAndConnect(true));
  const std::set<std::string> before = LocalNames();
  const struct {
    const char* path;
    int ops, fault, skip;
  } failures[] = {
      {"\\", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 30},
      {"\\", ORLIK_SIM_FILE_CREATE, ORLIK_SIM_ACCESS_DENIED, 0},
      {"\\KEEP.bin", ORLIK_SIM_FILE_RENAME, ORLIK_SIM_IO_ERROR, 0},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(std::string(f.path) + " ops " + std::to_string(f.ops));
    int fault = orlik_sim_fail_files(f.path, f.ops, f.fault, f.skip, 1);
    ASSERT_EQ(x_->FileDownload(u"\\new.bin", u"\\keep.bin"), 1);
    EXPECT_EQ(FollowTransfer(*x_).back(), -1);
    EXPECT_EQ(orlik_sim_file_fault_hits(fault), 1);
    EXPECT_EQ(ReadFile(Local("keep.bin")), "the old file");
    EXPECT_EQ(LocalNames(), before);
  }
  ASSERT_EQ(x_->FileDownload(u"\\new.bin", u"\\keep.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), 100);
  EXPECT_TRUE(ReadFile(Local("keep.bin")) == data);
  EXPECT_EQ(ReadFile(Local("keep.bin.part")), "the user's own file");
  EXPECT_EQ(LocalNames(), before);

  // A folder or a write-protected file in the way fails at once.
  fs::create_directories(Local("folder.bin"));
  ASSERT_EQ(x_->FileDownload(u"\\new.bin", u"\\folder.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), -1);
  fs::permissions(Local("keep.bin"), fs::perms::owner_read);
  ASSERT_EQ(x_->FileDownload(u"\\new.bin", u"\\keep.bin"), 1);
  EXPECT_EQ(FollowTransfer(*x_).back(), -1);
  EXPECT_TRUE(ReadFile(Local("keep.bin")) == data);
}

TEST_F(TessaryTest, KilledServerFailsTheTransferQuickly) {
  WriteFile(Local("big.bin"), "keep");
  ASSERT_NO_FATAL_FAILURE(StartBigTransfer(false));
  server_->Kill();
  ExpectTransferFailsWithin(10s, 3s);
  EXPECT_EQ(ReadFile(Local("big.bin")), "keep");
  EXPECT_EQ(LocalNames(), std::set<std::string>{"big.bin"});
  // The thread has ended: the library unloads at once.
  auto start = std::chrono::steady_clock::now();
  x_.reset();
  lib_->Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(TessaryTest, KilledServerFailsAnUpload) {
  ASSERT_NO_FATAL_FAILURE(StartBigTransfer(true));
  server_->Kill();
  ExpectTransferFailsWithin(10s, 3s);
}

TEST_F(TessaryTest, FrozenServerFailsWithinTheNetworkTimeout) {
  setenv("ORLIK_FTP_TIMEOUT_MS", "700", 1);
  ASSERT_NO_FATAL_FAILURE(StartBigTransfer(false));
  server_->Stop();
  ExpectTransferFailsWithin(20s, 5s);
  char16_t dir[1024];
  EXPECT_EQ(x_->GetCurrentDirectory(dir), 0) << "the lost connection fails fast";
  server_->Continue();
  unsetenv("ORLIK_FTP_TIMEOUT_MS");
}

TEST_F(TessaryTest, UnloadWaitsForARunningTransfer) {
  WriteFile(Remote("slow.bin"), Pattern(4u << 20));
  ASSERT_TRUE(StartAndConnect(true, {.rate = 256 * 1024}));
  ASSERT_EQ(x_->FileDownload(u"\\slow.bin", u"\\slow.bin"), 1);
  ASSERT_TRUE(WaitForProgress(*x_, 2));
  // Unloading stops the transfer at its next block and waits for the thread,
  // which must not go on running in unmapped code: the download stops
  // growing, and the unload does not wait for the whole file (16 s at this
  // rate; closing the remote file waits for the throttled server's reply).
  x_.reset();
  auto start = std::chrono::steady_clock::now();
  lib_->Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 9s);
  auto size = fs::file_size(Local("slow.bin"));
  EXPECT_LT(size, 4u << 20);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(fs::file_size(Local("slow.bin")), size);
}

}  // namespace
}  // namespace tessary_test
