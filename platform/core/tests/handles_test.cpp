// The handle table under churn: many handles open at once, closed and opened
// in random order, each still reaching its own object and a closed one none.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <atomic>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

using tolvex_test::TempRoot;

namespace {

// Reads the whole (short) file behind a handle from its start.
std::string ReadBack(HANDLE h) {
  if (SetFilePointer(h, 0, nullptr, FILE_BEGIN) != 0) return "<seek failed>";
  char buffer[32] = {};
  DWORD read = 0;
  if (!ReadFile(h, buffer, sizeof buffer, &read, nullptr)) return "<read failed>";
  return std::string(buffer, read);
}

}  // namespace

TEST(Handles, ManyOpenAndClosedInRandomOrderEachReachTheirOwnObject) {
  TempRoot root;
  constexpr int kFiles = 64;
  for (int i = 0; i < kFiles; ++i) std::ofstream(root.path() + "/f" + std::to_string(i)) << "file " << i;

  std::mt19937 random(7);
  std::map<HANDLE, int> open;    // live handle -> file it was opened on
  std::set<HANDLE> everGiven;    // a value is never handed out twice
  std::set<HANDLE> closed;
  auto openOne = [&] {
    int i = int(random() % kFiles);
    std::u16string name = u"f";
    for (char c : std::to_string(i)) name += char16_t(c);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(everGiven.insert(h).second) << "handle value given twice";
    open[h] = i;
  };

  // Up to 500 live handles, well past the table's first size, with several
  // thousand opened over the rounds so that values wrap round the table.
  for (int round = 0; round < 20; ++round) {
    while (open.size() < 500) openOne();
    for (auto it = open.begin(); it != open.end();) {
      if (random() % 3 == 0) {
        ASSERT_TRUE(CloseHandle(it->first));
        closed.insert(it->first);
        it = open.erase(it);
      } else {
        ++it;
      }
    }
    for (auto& [h, i] : open) ASSERT_EQ(ReadBack(h), "file " + std::to_string(i));
  }
  for (HANDLE h : closed) {
    DWORD read = 0;
    char c;
    EXPECT_FALSE(ReadFile(h, &c, 1, &read, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(h)) << "closed twice";
  }
  for (auto& [h, i] : open) EXPECT_TRUE(CloseHandle(h));
  EXPECT_GT(everGiven.size(), 3000u);
}

// Threads opening, reading and closing at once: the table is taken by turns
// (a contended locker sleeps and must be woken), and every handle still
// reaches its own file while others come and go.
TEST(Handles, ThreadsOpeningAndClosingAtOnceEachReachTheirOwnFiles) {
  TempRoot root;
  constexpr int kThreads = 4, kFiles = 8, kRounds = 2000;
  for (int i = 0; i < kFiles; ++i) std::ofstream(root.path() + "/f" + std::to_string(i)) << "file " << i;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        int i = (t + round) % kFiles;
        std::u16string name = u"f" + std::u16string(1, char16_t(u'0' + i));
        HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE || ReadBack(h) != "file " + std::to_string(i) || !CloseHandle(h)) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

// A file's memory is reused by the thread that closes it: files opened on one
// thread and closed on another, whose next files reuse that memory, each
// still read their own content, and a thread that ends frees what it kept
// (the leak check of the sanitizer build sees the rest).
TEST(Handles, FilesClosedOnAnotherThreadLeaveTheirMemoryToItsNextFiles) {
  TempRoot root;
  constexpr int kFiles = 24;
  for (int i = 0; i < kFiles; ++i) std::ofstream(root.path() + "/f" + std::to_string(i)) << "file " << i;
  auto open = [](int i) {
    std::u16string name = u"f";
    for (char c : std::to_string(i)) name += char16_t(c);
    return CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  std::vector<HANDLE> first(kFiles);
  std::thread([&] {
    for (int i = 0; i < kFiles; ++i) first[i] = open(i);
  }).join();
  int wrong = 0;
  std::thread([&] {
    std::vector<HANDLE> next(kFiles);
    for (int round = 0; round < 3; ++round) {
      for (int i = 0; i < kFiles; ++i) {
        HANDLE& h = round == 0 ? first[i] : next[i];
        if (ReadBack(h) != "file " + std::to_string(i) || !CloseHandle(h)) ++wrong;
      }
      // Opened in the other order, so that reused memory lands on other files.
      for (int i = kFiles - 1; i >= 0; --i) next[i] = open(i);
      for (int i = 0; i < kFiles; ++i)
        if (ReadBack(next[i]) != "file " + std::to_string(i)) ++wrong;
    }
    for (HANDLE h : next) CloseHandle(h);
  }).join();
  EXPECT_EQ(wrong, 0);
}
