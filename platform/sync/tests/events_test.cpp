// Events: reset kinds, time-outs, and named events shared between processes.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

class EventTest : public tolvex_test::PanelTest {};

TEST_F(EventTest, ManualAndAutoResetRelease) {
  struct Case {
    BOOL manual;
    BOOL initial;
    DWORD first, second;  // two waits of 0 ms in a row
  };
  const Case cases[] = {
      {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},  // stays signalled
      {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},  // a wait resets it
      {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
  };
  for (const auto& c : cases) {
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u"reset-kinds"}) {
      HANDLE e = CreateEventW(nullptr, c.manual, c.initial, name);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(WaitForSingleObject(e, 0), c.first) << c.manual << c.initial;
      EXPECT_EQ(WaitForSingleObject(e, 0), c.second) << c.manual << c.initial;
      ASSERT_TRUE(SetEvent(e));
      EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
      ASSERT_TRUE(ResetEvent(e));
      EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
      ASSERT_TRUE(CloseHandle(e));
    }
  }
  EXPECT_FALSE(SetEvent(reinterpret_cast<HANDLE>(intptr_t(0x7777))));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(EventTest, WaitTimesOutWith258AndWakesOnSet) {
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 150), 258u);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 150ms);
  EXPECT_LT(waited, 1s);

  // An auto-reset event lets exactly one of two waiters through per set.
  HANDLE autoEvent = CreateEventW(nullptr, FALSE, FALSE, u"one-waiter");
  std::atomic<int> through{0};
  auto waiter = [&] {
    if (WaitForSingleObject(autoEvent, 2000) == WAIT_OBJECT_0) ++through;
  };
  std::thread a(waiter), b(waiter);
  std::this_thread::sleep_for(100ms);
  SetEvent(autoEvent);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(through.load(), 1);
  SetEvent(autoEvent);
  a.join();
  b.join();
  EXPECT_EQ(through.load(), 2);
  CloseHandle(autoEvent);
  CloseHandle(e);
}

TEST_F(EventTest, NamedEventIsSharedWithAnotherProcess) {
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, u"Shared_Test_Event");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE again = CreateEventW(nullptr, FALSE, TRUE, u"Shared_Test_Event");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_TIMEOUT) << "the existing event's state counts";

  pid_t child = fork();
  if (child == 0) {
    HANDLE mine = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Shared_Test_Event");
    usleep(100000);
    _exit(mine && SetEvent(mine) ? 0 : 1);
  }
  EXPECT_EQ(WaitForSingleObject(e, 5000), WAIT_OBJECT_0);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);

  // Names are case-sensitive, and belong to this panel's device root.
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"shared_test_event"), nullptr);
  tolvex_test::TempRoot otherPanel;
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Shared_Test_Event"), nullptr);
  setenv("ORLIK_ROOT", root_.path().c_str(), 1);

  // The name lives while a handle does.
  CloseHandle(e);
  HANDLE reopened = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Shared_Test_Event");
  ASSERT_NE(reopened, nullptr);
  CloseHandle(reopened);
  CloseHandle(again);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Shared_Test_Event"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(EventTest, AnEventWhoseHoldersAllDiedIsGoneAndQueuesHaveTheirOwnNames) {
  pid_t child = fork();
  if (child == 0) _exit(CreateEventW(nullptr, TRUE, TRUE, u"Orphan_Event") ? 0 : 1);  // never closed
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  SetLastError(0);
  EXPECT_EQ(OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Orphan_Event"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, u"Orphan_Event");
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);  // the new event's state

  // A queue of the same name is another object, and leaves the event be.
  MSGQUEUEOPTIONS options = {sizeof(MSGQUEUEOPTIONS), 0, 4, 4, TRUE};
  HANDLE queue = CreateMsgQueue(u"Orphan_Event", &options);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE again = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Orphan_Event");
  EXPECT_NE(again, nullptr);
  CloseHandle(again);
  CloseMsgQueue(queue);
  CloseHandle(fresh);
}

// A process killed while it waits leaves nothing behind that could hold up
// the event's later setters or its other waiters, in this or another process.
TEST_F(EventTest, AWaiterKilledWhileWaitingHoldsUpNoLaterSetOrWait) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, u"Killed_Waiter_Event");
  ASSERT_NE(e, nullptr);
  for (int round = 0; round < 3; ++round) {
    pid_t child = fork();
    if (child == 0) {
      HANDLE mine = OpenEventW(EVENT_ALL_ACCESS, FALSE, u"Killed_Waiter_Event");
      WaitForSingleObject(mine, INFINITE);
      _exit(0);
    }
    std::this_thread::sleep_for(100ms);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    std::atomic<int> woken{0};
    std::thread waiter([&] {
      if (WaitForSingleObject(e, 5000) == WAIT_OBJECT_0) ++woken;
    });
    std::this_thread::sleep_for(50ms);
    auto start = std::chrono::steady_clock::now();
    std::thread setter([&] { SetEvent(e); });
    setter.join();
    waiter.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "round " << round;
    EXPECT_EQ(woken.load(), 1) << "round " << round;
  }
  CloseHandle(e);
}

}  // namespace
