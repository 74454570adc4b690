// TerminateThread on a thread that is blocked in a platform call.
#pragma once

#include <orlik/windows.h>

#include <gtest/gtest.h>

namespace tolvex_test {

// The thread is still blocked `blockedMs` from now; TerminateThread ends it
// promptly with `code` as its exit code. Call inside
// ASSERT_NO_FATAL_FAILURE: the thread must have ended for the test to go on.
inline void ExpectTerminatesBlocked(HANDLE thread, DWORD blockedMs, DWORD code) {
  EXPECT_EQ(WaitForSingleObject(thread, blockedMs), WAIT_TIMEOUT);
  EXPECT_TRUE(TerminateThread(thread, code));
  ASSERT_EQ(WaitForSingleObject(thread, 2000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  GetExitCodeThread(thread, &exitCode);
  EXPECT_EQ(exitCode, code);
}

}  // namespace tolvex_test
