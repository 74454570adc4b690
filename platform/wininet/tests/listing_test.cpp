// Listing lines as servers send them, and lines no server sends.
#include "wininet/ftp_listing.h"

#include <gtest/gtest.h>

namespace {

using orlik::ftp::ListingEntry;
using orlik::ftp::ParseListLine;
using orlik::ftp::ParseListing;
using orlik::ftp::ParseMlsdLine;
using orlik::ftp::UnixTime;

// 2024-06-15 12:00 UTC: dates without a year fall in the last twelve months.
const int64_t kNow = UnixTime(2024, 6, 15, 12, 0, 0);

TEST(FtpListing, UnixAndDosLines) {
  struct Case {
    const char* line;
    const char* name;
    bool directory;
    uint64_t size;
    int64_t modified;
  };
  const Case cases[] = {
      {"drwxr-xr-x   2 ftp  ftp      4096 Jan  5 10:30 logs", "logs", true, 4096,
       UnixTime(2024, 1, 5, 10, 30, 0)},
      {"-rw-r--r--   1 ftp  ftp      1234 Mar 15  2020 a.txt\r\n", "a.txt", false, 1234,
       UnixTime(2020, 3, 15, 0, 0, 0)},
      // The date is in the future this year: last year's.
      {"-rw-r--r--   1 0        0               3 Dec 07 20:23 x.bin", "x.bin", false, 3,
       UnixTime(2023, 12, 7, 20, 23, 0)},
      // Names keep inner and leading spaces after the single separator.
      {"-rw-r--r-- 1 owner group 10 Feb 29 2024  two  words.txt", " two  words.txt", false, 10,
       UnixTime(2024, 2, 29, 0, 0, 0)},
      // No group column.
      {"-rw-r--r-- 1 ftp 77 Jun 01 09:00 nogroup", "nogroup", false, 77,
       UnixTime(2024, 6, 1, 9, 0, 0)},
      {"lrwxrwxrwx 1 root root 7 Apr  1 08:00 link -> target", "link", false, 7,
       UnixTime(2024, 4, 1, 8, 0, 0)},
      // A name that looks like a date part.
      {"-rw-r--r-- 1 u g 5 May  5 2021 Jan 1 12:00", "Jan 1 12:00", false, 5,
       UnixTime(2021, 5, 5, 0, 0, 0)},
      // Sizes beyond 32 bits.
      {"-rw-r--r-- 1 u g 5368709120 Jan  1  2024 big.img", "big.img", false, 5368709120ull,
       UnixTime(2024, 1, 1, 0, 0, 0)},
      {"01-15-20  10:30AM       <DIR>          logs", "logs", true, 0,
       UnixTime(2020, 1, 15, 10, 30, 0)},
      {"12-31-1999  12:05PM              1234 my file.txt", "my file.txt", false, 1234,
       UnixTime(1999, 12, 31, 12, 5, 0)},
      {"06-01-24  12:00AM                 0 midnight", "midnight", false, 0,
       UnixTime(2024, 6, 1, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    auto e = ParseListLine(c.line, kNow);
    ASSERT_TRUE(e.has_value()) << c.line;
    EXPECT_EQ(e->name, c.name) << c.line;
    EXPECT_EQ(e->directory, c.directory) << c.line;
    EXPECT_EQ(e->size, c.size) << c.line;
    EXPECT_EQ(e->modified, c.modified) << c.line;
  }
}

TEST(FtpListing, MlsdLines) {
  auto f = ParseMlsdLine("type=file;size=3;modify=20240101120000;perm=r; a b.txt\r\n");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->name, "a b.txt");
  EXPECT_FALSE(f->directory);
  EXPECT_EQ(f->size, 3u);
  EXPECT_EQ(f->modified, UnixTime(2024, 1, 1, 12, 0, 0));
  auto d = ParseMlsdLine("Type=Dir;Modify=20230203040506.123; img");
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->directory);
  EXPECT_EQ(d->name, "img");
  EXPECT_EQ(d->modified, UnixTime(2023, 2, 3, 4, 5, 6));
  EXPECT_FALSE(ParseMlsdLine("type=cdir; /pub"));
  EXPECT_FALSE(ParseMlsdLine("type=pdir; /"));
}

TEST(FtpListing, LinesThatAreNoEntries) {
  const char* lines[] = {
      "", "\r\n", "total 12", "garbage", "drwxr-xr-x", "-rw-r--r-- 1 u g 5 Foo 1 12:00 x",
      "-rw-r--r-- 1 u g 5 Jan 32 12:00 x", "-rw-r--r-- 1 u g 5 Jan 1 25:00 x",
      "-rw-r--r-- 1 u g 5 Jan 1 12:00", "13-01-20 10:30AM 1 x", "01-15-20 10:30XM 1 x",
      "01-15-20 10:30AM <DIR>", "01-15-20 13:30PM 1 x",
  };
  for (const char* line : lines) EXPECT_FALSE(ParseListLine(line, kNow)) << line;
  for (const char* line : {"", "size=3; x", "type=file;size=3;", "nofacts"})
    EXPECT_FALSE(ParseMlsdLine(line)) << line;
  EXPECT_EQ(ParseListLine("-rw-r--r-- 1 u g 99999999999999999999999 Jan 1 2020 x", kNow)->size,
            UINT64_MAX);
}

TEST(FtpListing, WholeListingKeepsTheServersOrder) {
  auto entries = ParseListing(
      "total 8\r\n"
      "-rw-r--r-- 1 u g 1 Jan  1  2024 b.csv\r\n"
      "drwxr-xr-x 2 u g 4096 Jan  1  2024 logs\r\n"
      "-rw-r--r-- 1 u g 1 Jan  1  2024 a.txt",
      false, kNow);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "b.csv");
  EXPECT_EQ(entries[1].name, "logs");
  EXPECT_EQ(entries[2].name, "a.txt");
  EXPECT_EQ(ParseListing("type=dir; x\nbad\ntype=file;size=1; y\n", true, kNow).size(), 2u);
}

}  // namespace
