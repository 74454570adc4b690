#include <orlik/windows.h>

#include <gtest/gtest.h>

#include "terminate_check.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>

namespace {

DWORD WINAPI Worker(LPVOID p) {
  auto* flag = static_cast<std::atomic<int>*>(p);
  while (flag->load() == 0) Sleep(1);
  return 42;
}

DWORD WINAPI Exiter(LPVOID) {
  ExitThread(7);
  return 0;
}

TEST(Threads, WaitTimesOutThenSeesTheExitCode) {
  std::atomic<int> go{0};
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, Worker, &go, 0, &id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  go = 1;
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseHandle(t));
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);

  t = CreateThread(nullptr, 0, Exiter, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(t);
}

TEST(Threads, PrioritiesAreStoredExactlyWhateverTheHostAllows) {
  std::atomic<int> go{0};
  HANDLE t = CreateThread(nullptr, 0, Worker, &go, 0, nullptr);
  EXPECT_EQ(CeGetThreadPriority(t), 251);
  for (int p : {0, 1, 100, 255}) {
    EXPECT_TRUE(CeSetThreadPriority(t, p));
    EXPECT_EQ(CeGetThreadPriority(t), p);
  }
  EXPECT_FALSE(CeSetThreadPriority(t, 256));
  EXPECT_FALSE(CeSetThreadPriority(t, -1));
  EXPECT_EQ(CeGetThreadPriority(t), 255);
  EXPECT_TRUE(SetThreadPriority(t, THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(CeGetThreadPriority(t), 249);
  EXPECT_EQ(GetThreadPriority(t), THREAD_PRIORITY_HIGHEST);
  go = 1;
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
}

DWORD WINAPI Sleeper(LPVOID p) {
  static_cast<std::atomic<int>*>(p)->store(1);
  Sleep(INFINITE);
  static_cast<std::atomic<int>*>(p)->store(2);  // never reached
  return 0;
}

DWORD WINAPI Spinner(LPVOID p) {
  auto* flag = static_cast<std::atomic<int>*>(p);
  flag->store(1);  // in the loop
  while (flag->load() != 2) {
  }
  Sleep(0);  // the first termination point after the loop
  flag->store(3);
  return 1;
}

TEST(Threads, TerminateEndsASleepingThreadAndASpinningOneAtItsNextBlockingCall) {
  std::atomic<int> state{0};
  HANDLE t = CreateThread(nullptr, 0, Sleeper, &state, 0, nullptr);
  while (state.load() == 0) Sleep(1);
  ASSERT_NO_FATAL_FAILURE(tolvex_test::ExpectTerminatesBlocked(t, 20, 9));
  EXPECT_EQ(state.load(), 1);
  EXPECT_TRUE(TerminateThread(t, 1));  // already ended: nothing to do
  CloseHandle(t);

  std::atomic<int> spin{0};
  t = CreateThread(nullptr, 0, Spinner, &spin, 0, nullptr);
  while (spin.load() == 0) Sleep(1);
  EXPECT_TRUE(TerminateThread(t, 4));
  EXPECT_EQ(WaitForSingleObject(t, 30), WAIT_TIMEOUT);  // still in its loop
  spin = 2;
  ASSERT_EQ(WaitForSingleObject(t, 2000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 4u);
  EXPECT_EQ(spin.load(), 2);
  CloseHandle(t);
  EXPECT_FALSE(TerminateThread(nullptr, 0));
}

DWORD WINAPI EventWaiter(LPVOID event) { return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE); }

TEST(Threads, TerminateEndsAWaitOnAnEventAndLeavesTheEventUsable) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE waiter = CreateThread(nullptr, 0, EventWaiter, event, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(waiter, 30), WAIT_TIMEOUT);  // blocked in its wait
  EXPECT_TRUE(TerminateThread(waiter, 6));
  DWORD code = 0;
  EXPECT_EQ(WaitForSingleObject(waiter, 2000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(waiter, &code));
  EXPECT_EQ(code, 6u);  // not the wait's result: it never returned
  CloseHandle(waiter);
  // The ended wait took nothing and left no lock held.
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
}

// Nice value of a host thread, from /proc.
int HostNice(DWORD tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 19 && rest >> field; ++i) {
  }
  return std::stoi(field);  // field 19: nice
}

TEST(Threads, OpenThreadByIdAndHostFollowsThePriority) {
  std::atomic<int> go{0};
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, Worker, &go, 0, &id);
  HANDLE other = OpenThread(THREAD_ALL_ACCESS, FALSE, id);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(OpenThread(THREAD_ALL_ACCESS, FALSE, 1), nullptr);
  EXPECT_EQ(HostNice(id), 0);  // normal (251), whatever the creator runs at
  // Lowering is always allowed; raising as far as the host lets this process.
  EXPECT_TRUE(CeSetThreadPriority(other, 255));
  EXPECT_EQ(CeGetThreadPriority(t), 255);
  EXPECT_EQ(HostNice(id), 19);
  EXPECT_TRUE(CeSetThreadPriority(t, 252));
  EXPECT_EQ(HostNice(id), 5);
  EXPECT_TRUE(CeSetThreadPriority(t, 1));
  // -20 where the process may raise priorities; unchanged where it may not.
  int raised = HostNice(id);
  EXPECT_TRUE(raised == -20 || raised == 5) << raised;
  go = 1;
  WaitForSingleObject(t, INFINITE);
  CloseHandle(other);
  CloseHandle(t);
}

TEST(Threads, CriticalSectionIsRecursiveAndExcludes) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  int plain = 0;
  struct Arg {
    CRITICAL_SECTION* cs;
    int* plain;
  } arg{&cs, &plain};
  auto body = [](LPVOID p) -> DWORD {
    auto* a = static_cast<Arg*>(p);
    for (int i = 0; i < 10000; ++i) {
      EnterCriticalSection(a->cs);
      EnterCriticalSection(a->cs);
      ++*a->plain;
      LeaveCriticalSection(a->cs);
      LeaveCriticalSection(a->cs);
    }
    return 0;
  };
  HANDLE a = CreateThread(nullptr, 0, body, &arg, 0, nullptr);
  HANDLE b = CreateThread(nullptr, 0, body, &arg, 0, nullptr);
  WaitForSingleObject(a, INFINITE);
  WaitForSingleObject(b, INFINITE);
  EXPECT_EQ(plain, 20000);
  CloseHandle(a);
  CloseHandle(b);
  DeleteCriticalSection(&cs);

  LARGE_INTEGER f, c1, c2;
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  ASSERT_TRUE(QueryPerformanceCounter(&c1));
  Sleep(2);
  ASSERT_TRUE(QueryPerformanceCounter(&c2));
  EXPECT_GE((c2.QuadPart - c1.QuadPart) * 1000 / f.QuadPart, 2);
}

}  // namespace
