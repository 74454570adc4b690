// The port change watch: threads, queues and the stop sequence, seen by an
// application that reads the port's queue by name.
#include "ferrox_fixture.h"
#include "peer_process.h"

#include <orlik/windows.h>

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <set>

using namespace ferrox_test;

namespace {

using Clock = std::chrono::steady_clock;

// Threads of this process, by host id.
std::set<DWORD> Tasks() {
  std::set<DWORD> ids;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ids.insert(DWORD(std::stoul(e->d_name)));
    closedir(d);
  }
  return ids;
}

// The host thread may take a moment to vanish after its platform thread ended.
bool Settles(const std::function<bool()>& done) {
  for (int i = 0; i < 1000; ++i, Sleep(1))
    if (done()) return true;
  return false;
}

#define WATCH_EXPORTS(X) X(start, PortDWatchStartEx) X(stop, PortDWatchStopEx) \
  X(priority, PortDWatchPriority) X(idle, PortDWatchIdleInterval) X(count, GetPortQueueCount)
TOLVEX_EXPORT_TABLE(WatchExports, WATCH_EXPORTS);

class Watch : public FerroxTestWith<WatchExports> {
 protected:
  void SetUp() override {
    FerroxTestWith::SetUp();
    // Port D as inputs, every pin held low from outside: port byte 0x00.
    FERROX_FN(SetPortDCfg)(0);
    for (int pin = 0; pin < 8; ++pin) orlik_sim_drive_pin('Q', pin, 0);
  }
  void TearDown() override {
    if (reader) CloseMsgQueue(reader);
  }

  // The application's end, opened by name. max/cb only count when the
  // reader is the first to open the queue.
  HANDLE OpenReader(const char16_t* name = u"Tolvex_TolGPIOFastD", DWORD max = 100) {
    MSGQUEUEOPTIONS o = {sizeof(MSGQUEUEOPTIONS), 0, max, 1, TRUE};
    return CreateMsgQueue(name, &o);
  }
  static int ReadByteFrom(HANDLE q, DWORD timeout = 3000) {
    BYTE b = 0;
    DWORD got = 0, flags = 0;
    return ReadMsgQueue(q, &b, 1, &got, timeout, &flags) ? b : -1;
  }
  // Waits until the queue holds n messages (the watch has seen the change).
  bool AwaitCount(int n) {
    for (int i = 0; i < 3000; ++i) {
      if (count(reader) == n) return true;
      Sleep(1);
    }
    return false;
  }
  // Waits until a new platform thread has appeared beside those in before
  // (other new host threads, such as a sanitizer's, do not count).
  static DWORD NewThread(const std::set<DWORD>& before) {
    for (int i = 0; i < 1000; ++i) {
      for (DWORD id : Tasks()) {
        if (before.count(id)) continue;
        if (HANDLE t = OpenThread(THREAD_ALL_ACCESS, FALSE, id)) {
          CloseHandle(t);
          return id;
        }
      }
      Sleep(1);
    }
    return 0;
  }
  static int PriorityOf(DWORD tid, int want) {
    HANDLE t = OpenThread(THREAD_ALL_ACCESS, FALSE, tid);
    if (!t) return -1;
    int p = CeGetThreadPriority(t);
    for (int i = 0; i < 1000 && p != want; ++i, Sleep(1)) p = CeGetThreadPriority(t);
    CloseHandle(t);
    return p;
  }

  // Starts the watch and waits until its thread has taken its first sample
  // (it sets its own priority right after). Returns the thread's id.
  DWORD StartAndAwaitLoop(int32_t watchPriority = 1) {
    auto before = Tasks();
    start();
    DWORD tid = NewThread(before);
    EXPECT_EQ(PriorityOf(tid, watchPriority), watchPriority);
    return tid;
  }

  HANDLE reader = nullptr;
};

TEST_F(Watch, EachChangeOfThePortReachesTheReaderAsOneByteInOrder) {
  StartAndAwaitLoop();
  reader = OpenReader();
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);  // the library made it

  // 0x00 -> 0x01 -> 0x00, each state held until the watch has seen it.
  orlik_sim_drive_pin('Q', 0, 1);
  ASSERT_TRUE(AwaitCount(1));
  orlik_sim_drive_pin('Q', 0, 0);
  ASSERT_TRUE(AwaitCount(2));
  orlik_sim_drive_pin('Q', 7, 1);
  ASSERT_TRUE(AwaitCount(3));
  EXPECT_EQ(ReadByteFrom(reader), 0x01);
  EXPECT_EQ(ReadByteFrom(reader), 0x00);
  EXPECT_EQ(ReadByteFrom(reader), 0x80);
  EXPECT_EQ(count(reader), 0);

  // A null handle and a handle that is no queue count nothing.
  EXPECT_EQ(count(nullptr), 0);
  EXPECT_EQ(count(reinterpret_cast<HANDLE>(uintptr_t(0x7777770))), 0);

  auto t0 = Clock::now();
  stop();
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(420));
  // The writing end is gone with the stop.
  SetLastError(0);
  EXPECT_EQ(ReadByteFrom(reader, 0), -1);
  EXPECT_EQ(GetLastError(), ERROR_PIPE_NOT_CONNECTED);
}

TEST_F(Watch, StartingTwiceMakesOneThreadAndOneQueueAtTheSetPriority) {
  auto before = Tasks();
  start();
  DWORD tid = NewThread(before);
  ASSERT_NE(tid, 0u);
  start();
  Sleep(20);
  auto now = Tasks();
  now.erase(tid);
  for (DWORD id : now) {
    if (before.count(id)) continue;
    HANDLE t = OpenThread(THREAD_ALL_ACCESS, FALSE, id);
    EXPECT_EQ(t, nullptr) << "a second watch thread";
    if (t) CloseHandle(t);
  }
  reader = OpenReader();
  MSGQUEUEINFO info{};
  info.dwSize = sizeof info;
  ASSERT_TRUE(GetMsgQueueInfo(reader, &info));
  EXPECT_EQ(info.wNumWriters, 1);
  EXPECT_EQ(info.dwMaxMessages, 1000000u);
  EXPECT_EQ(info.cbMaxMessage, 1u);
  EXPECT_EQ(info.dwFlags, MSGQUEUE_NOPRECOMMIT);

  // The thread runs at the watch priority (1 by default) and follows changes.
  EXPECT_EQ(PriorityOf(tid, 1), 1);
  priority(100);
  EXPECT_EQ(PriorityOf(tid, 100), 100);

  stop();
  EXPECT_TRUE(Settles([&] { return Tasks().count(tid) == 0; })) << "no watch thread left running";
  ASSERT_TRUE(GetMsgQueueInfo(reader, &info));
  EXPECT_EQ(info.wNumWriters, 0);

  // A later start makes a new writing end under the same name, and a new
  // thread at the stored priority.
  tid = StartAndAwaitLoop(100);
  ASSERT_TRUE(GetMsgQueueInfo(reader, &info));
  EXPECT_EQ(info.wNumWriters, 1);
  orlik_sim_drive_pin('Q', 2, 1);
  EXPECT_EQ(ReadByteFrom(reader), 0x04);
}

// Times a thread has gone to sleep of its own accord (the watch's 1 ms sleeps).
long VoluntarySwitches(DWORD tid) {
  std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  return -1;
}

TEST_F(Watch, IdleIntervalDecidesHowOftenTheThreadSleeps) {
  struct Case {
    int32_t count;
    long least, most;  // sleeps in 100 ms
  };
  const Case cases[] = {
      {0, 0, 3},  // met only after wrapping: practically never sleeps
      {-5, 0, 3},
      {1, 30, 1000},  // a 1 ms sleep after every unchanged sample, at once
                      // although the running count is far above 1
      {10000, 1, 1000},
  };
  auto before = Tasks();
  start();
  DWORD tid = NewThread(before);
  ASSERT_NE(tid, 0u);
  for (const auto& c : cases) {
    EXPECT_EQ(idle(c.count), c.count);
    Sleep(5);
    long s0 = VoluntarySwitches(tid);
    Sleep(100);
    long sleeps = VoluntarySwitches(tid) - s0;
    EXPECT_GE(sleeps, c.least) << "idle " << c.count;
    EXPECT_LE(sleeps, c.most) << "idle " << c.count;
  }
}

TEST_F(Watch, StopEndsAThreadBlockedOnAFullQueueWithoutHoldingTheQueue) {
  reader = OpenReader(u"Tolvex_TolGPIOFastD", 2);  // the reader makes it small
  DWORD tid = StartAndAwaitLoop();
  orlik_sim_drive_pin('Q', 1, 1);
  ASSERT_TRUE(AwaitCount(1));
  orlik_sim_drive_pin('Q', 1, 0);
  ASSERT_TRUE(AwaitCount(2));
  orlik_sim_drive_pin('Q', 1, 1);  // no room: the thread waits in its write
  Sleep(30);

  auto t0 = Clock::now();
  stop();
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(420));
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(3000));
  EXPECT_TRUE(Settles([&] { return Tasks().count(tid) == 0; }));
  // The queue is free: the reader takes what was written, nothing more.
  EXPECT_EQ(ReadByteFrom(reader, 0), 0x02);
  EXPECT_EQ(ReadByteFrom(reader, 0), 0x00);
  EXPECT_EQ(ReadByteFrom(reader, 0), -1);
}

TEST_F(Watch, UnloadStopsRunningWatchesBeforeTheWindowsGo) {
  auto before = Tasks();
  FERROX_FN(PortAWatchStartEx)();
  DWORD first = NewThread(before);
  before.insert(first);
  start();
  DWORD second = NewThread(before);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  reader = OpenReader();
  auto t0 = Clock::now();
  lib_->Close();
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
  EXPECT_TRUE(Settles([&] {
    auto now = Tasks();
    return !now.count(first) && !now.count(second);
  }));
  MSGQUEUEINFO info{};
  info.dwSize = sizeof info;
  ASSERT_TRUE(GetMsgQueueInfo(reader, &info));
  EXPECT_EQ(info.wNumWriters, 0);
}

TEST_F(Watch, UnloadEndsAThreadBlockedOnAFullQueue) {
  reader = OpenReader(u"Tolvex_TolGPIOFastD", 1);
  DWORD tid = StartAndAwaitLoop();
  orlik_sim_drive_pin('Q', 4, 1);
  ASSERT_TRUE(AwaitCount(1));
  orlik_sim_drive_pin('Q', 4, 0);  // no room: the thread waits in its write
  Sleep(30);
  lib_->Close();  // the library's code goes away: the thread must be gone first
  EXPECT_TRUE(Settles([&] { return Tasks().count(tid) == 0; }));
  EXPECT_EQ(ReadByteFrom(reader, 0), 0x10);
  EXPECT_EQ(ReadByteFrom(reader, 0), -1);
}

TEST_F(Watch, AnotherProcessReadsThePortChangesByName) {
  StartAndAwaitLoop();
  PeerProcess peer({ORLIK_MSGQUEUE_PEER, "read", "Tolvex_TolGPIOFastD", "2", "5000"});
  ASSERT_TRUE(peer.started());
  ASSERT_EQ(peer.Line(kPeerStartMs), "ready");
  orlik_sim_drive_pin('Q', 5, 1);
  EXPECT_EQ(peer.Line(), "20");
  orlik_sim_drive_pin('Q', 5, 0);
  EXPECT_EQ(peer.Line(), "00");
  EXPECT_EQ(peer.Wait(), 0);
  stop();
}

}  // namespace
