// Message queues through the platform's own calls, within one process and
// across two.
#include <orlik/windows.h>

#include "peer_process.h"
#include "terminate_check.h"
#include "tolvex_test.h"

#include <atomic>
#include <vector>

namespace {

constexpr DWORD kOptionsSize = sizeof(MSGQUEUEOPTIONS);

class MsgQueue : public tolvex_test::PanelTest {
 protected:
  static HANDLE Open(const char16_t* name, BOOL read, DWORD max = 16, DWORD cb = 8, DWORD flags = 0) {
    MSGQUEUEOPTIONS o = {kOptionsSize, flags, max, cb, read};
    return CreateMsgQueue(name, &o);
  }
  static MSGQUEUEINFO Info(HANDLE q) {
    MSGQUEUEINFO info{};
    info.dwSize = sizeof info;
    EXPECT_TRUE(GetMsgQueueInfo(q, &info));
    return info;
  }
  static bool Write(HANDLE q, std::vector<uint8_t> bytes, DWORD timeout = 0) {
    return WriteMsgQueue(q, bytes.data(), DWORD(bytes.size()), timeout, 0) != FALSE;
  }
  static std::vector<uint8_t> Read(HANDLE q, DWORD timeout = 0, DWORD size = 64) {
    std::vector<uint8_t> buffer(size);
    DWORD got = 0, flags = 0;
    if (!ReadMsgQueue(q, buffer.data(), size, &got, timeout, &flags)) return {0xEE};
    buffer.resize(got);
    return buffer;
  }
};

TEST_F(MsgQueue, RejectsBadOptionsAndRecords) {
  EXPECT_EQ(sizeof(MSGQUEUEOPTIONS), 20u);
  EXPECT_EQ(sizeof(MSGQUEUEINFO), 28u);
  MSGQUEUEOPTIONS wrongSize = {16, 0, 4, 4, FALSE};
  MSGQUEUEOPTIONS noMessageSize = {kOptionsSize, 0, 4, 0, FALSE};
  for (MSGQUEUEOPTIONS* o : {static_cast<MSGQUEUEOPTIONS*>(nullptr), &wrongSize, &noMessageSize}) {
    SetLastError(0);
    EXPECT_EQ(CreateMsgQueue(u"q", o), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  HANDLE q = Open(u"q", FALSE);
  MSGQUEUEINFO info{};
  info.dwSize = 24;
  EXPECT_FALSE(GetMsgQueueInfo(q, &info));
  EXPECT_FALSE(GetMsgQueueInfo(nullptr, &info));
  EXPECT_TRUE(CloseMsgQueue(q));
  EXPECT_FALSE(CloseMsgQueue(q));
}

TEST_F(MsgQueue, ReaderByNameGetsMessagesInOrderAndInfoCountsThem) {
  HANDLE w = Open(u"Tolvex_Test", FALSE, 16, 8, MSGQUEUE_NOPRECOMMIT);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  // The reader asks for other limits: the existing queue keeps its own.
  HANDLE r = Open(u"Tolvex_Test", TRUE, 3, 1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);

  EXPECT_TRUE(Write(w, {1}));
  EXPECT_TRUE(Write(w, {2, 3, 4}));
  EXPECT_TRUE(Write(w, {}));
  SetLastError(0);
  EXPECT_FALSE(Write(w, std::vector<uint8_t>(9, 7)));  // larger than the largest message
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  MSGQUEUEINFO info = Info(r);
  EXPECT_EQ(info.dwFlags, MSGQUEUE_NOPRECOMMIT);
  EXPECT_EQ(info.dwMaxMessages, 16u);
  EXPECT_EQ(info.cbMaxMessage, 8u);
  EXPECT_EQ(info.dwCurrentMessages, 3u);
  EXPECT_EQ(info.wNumReaders, 1);
  EXPECT_EQ(info.wNumWriters, 1);

  // Each end does only its own job.
  SetLastError(0);
  EXPECT_FALSE(Write(r, {9}));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  DWORD got = 0, flags = 0;
  uint8_t small[2];
  EXPECT_FALSE(ReadMsgQueue(w, small, 2, &got, 0, &flags));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  EXPECT_EQ(Read(r), std::vector<uint8_t>{1});
  // Too small a buffer: the message stays for a larger read.
  EXPECT_FALSE(ReadMsgQueue(r, small, 2, &got, 0, &flags));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(Read(r), (std::vector<uint8_t>{2, 3, 4}));
  EXPECT_EQ(Read(r), std::vector<uint8_t>{});
  SetLastError(0);
  EXPECT_EQ(Read(r, 20), std::vector<uint8_t>{0xEE});
  EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
  EXPECT_EQ(Info(w).dwMaxQueueMessages, 3u);
  CloseMsgQueue(r);
  CloseMsgQueue(w);
}

TEST_F(MsgQueue, WriteWithoutReaderIsRefusedAndLostUnlessBrokenIsAllowed) {
  HANDLE w = Open(u"lonely", FALSE);
  SetLastError(0);
  EXPECT_FALSE(Write(w, {1}));
  EXPECT_EQ(GetLastError(), ERROR_PIPE_NOT_CONNECTED);
  HANDLE r = Open(u"lonely", TRUE);
  EXPECT_EQ(Info(r).dwCurrentMessages, 0u);
  EXPECT_TRUE(Write(w, {2}));
  CloseMsgQueue(w);
  // The writer is gone: what it left is still read, then the pipe is broken.
  EXPECT_EQ(Read(r), std::vector<uint8_t>{2});
  SetLastError(0);
  EXPECT_EQ(Read(r, INFINITE), std::vector<uint8_t>{0xEE});
  EXPECT_EQ(GetLastError(), ERROR_PIPE_NOT_CONNECTED);
  CloseMsgQueue(r);

  HANDLE b = Open(u"broken", FALSE, 4, 4, MSGQUEUE_ALLOW_BROKEN);
  EXPECT_TRUE(Write(b, {3}));
  EXPECT_EQ(Info(b).dwCurrentMessages, 1u);
  CloseMsgQueue(b);
}

TEST_F(MsgQueue, LastCloseRemovesTheNameAndNamesBelongToThePanel) {
  HANDLE a = Open(u"again", FALSE, 5);
  CloseMsgQueue(a);
  HANDLE b = Open(u"again", FALSE, 7);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(Info(b).dwMaxMessages, 7u);

  // Another panel (device root) has its own queue of that name.
  tolvex_test::TempRoot other;
  HANDLE c = Open(u"again", FALSE, 9);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(Info(c).dwMaxMessages, 9u);
  CloseMsgQueue(c);
  CloseMsgQueue(b);
}

TEST_F(MsgQueue, HoldsAMillionOneByteMessages) {
  HANDLE w = Open(u"big", FALSE, 1000000, 1, MSGQUEUE_NOPRECOMMIT);
  HANDLE r = Open(u"big", TRUE);
  ASSERT_NE(w, nullptr);
  ASSERT_NE(r, nullptr);
  for (int i = 0; i < 1000000; ++i) {
    BYTE b = BYTE(i * 7);
    ASSERT_TRUE(WriteMsgQueue(w, &b, 1, 0, 0)) << i;
  }
  BYTE extra = 1;
  EXPECT_FALSE(WriteMsgQueue(w, &extra, 1, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_TIMEOUT);
  EXPECT_EQ(Info(r).dwCurrentMessages, 1000000u);
  for (int i = 0; i < 1000000; ++i) {
    BYTE b = 0;
    DWORD got = 0, flags = 0;
    ASSERT_TRUE(ReadMsgQueue(r, &b, 1, &got, 0, &flags)) << i;
    ASSERT_EQ(b, BYTE(i * 7)) << i;
  }
  EXPECT_EQ(Info(r).dwCurrentMessages, 0u);
  EXPECT_EQ(Info(r).dwMaxQueueMessages, 1000000u);
  // The ring goes round: storage given back behind the reader is usable again.
  for (int i = 0; i < 3000; ++i) {
    BYTE b = BYTE(i);
    ASSERT_TRUE(WriteMsgQueue(w, &b, 1, 0, 0));
    BYTE c = 0;
    DWORD got = 0, flags = 0;
    ASSERT_TRUE(ReadMsgQueue(r, &c, 1, &got, 0, &flags));
    ASSERT_EQ(c, b);
  }
  CloseMsgQueue(w);
  CloseMsgQueue(r);
}

// A thread writing 0x42 to a queue without a time-out; result is -1 until
// the write returns.
struct Blocked {
  explicit Blocked(HANDLE q) : queue(q), thread(CreateThread(nullptr, 0, Write, this, 0, nullptr)) {}
  static DWORD WINAPI Write(LPVOID p) {
    auto* b = static_cast<Blocked*>(p);
    BYTE v = 0x42;
    b->result = WriteMsgQueue(b->queue, &v, 1, INFINITE, 0);
    return 0;
  }
  HANDLE queue;
  std::atomic<int> result{-1};
  HANDLE thread;  // last: started once the rest is set
};

TEST_F(MsgQueue, WaitingWriteWakesWhenRoomAppearsAndHandlesAreWaitable) {
  HANDLE w = Open(u"small", FALSE, 2, 1);
  HANDLE r = Open(u"small", TRUE);
  EXPECT_EQ(WaitForSingleObject(r, 0), WAIT_TIMEOUT);  // nothing to read
  EXPECT_EQ(WaitForSingleObject(w, 0), WAIT_OBJECT_0);  // room to write
  ASSERT_TRUE(Write(w, {1}));
  ASSERT_TRUE(Write(w, {2}));
  EXPECT_EQ(WaitForSingleObject(r, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(w, 10), WAIT_TIMEOUT);

  Blocked blocked(w);
  HANDLE t = blocked.thread;
  EXPECT_EQ(WaitForSingleObject(t, 50), WAIT_TIMEOUT);
  EXPECT_EQ(blocked.result.load(), -1);
  EXPECT_EQ(Read(r), std::vector<uint8_t>{1});
  EXPECT_EQ(WaitForSingleObject(t, 2000), WAIT_OBJECT_0);
  EXPECT_EQ(blocked.result.load(), TRUE);
  EXPECT_EQ(Read(r), std::vector<uint8_t>{2});
  EXPECT_EQ(Read(r), std::vector<uint8_t>{0x42});
  CloseHandle(t);
  CloseMsgQueue(w);
  CloseMsgQueue(r);
}

TEST_F(MsgQueue, TerminatingABlockedWriterLeavesTheQueueUsable) {
  HANDLE w = Open(u"stuck", FALSE, 1, 1);
  HANDLE r = Open(u"stuck", TRUE);
  ASSERT_TRUE(Write(w, {1}));
  Blocked blocked(w);
  HANDLE t = blocked.thread;
  ASSERT_NO_FATAL_FAILURE(tolvex_test::ExpectTerminatesBlocked(t, 30, 5));
  CloseHandle(t);
  EXPECT_EQ(blocked.result.load(), -1);  // the write never returned
  // No lock was left held: both ends still work.
  EXPECT_EQ(Read(r), std::vector<uint8_t>{1});
  EXPECT_TRUE(Write(w, {3}));
  EXPECT_EQ(Read(r), std::vector<uint8_t>{3});
  CloseMsgQueue(w);
  CloseMsgQueue(r);
}

TEST_F(MsgQueue, AnotherProcessOpensTheQueueByName) {
  HANDLE w = Open(u"Tolvex_Shared", FALSE, 100, 1);
  {
    PeerProcess reader({ORLIK_MSGQUEUE_PEER, "read", "Tolvex_Shared", "3", "5000"});
    ASSERT_TRUE(reader.started());
    ASSERT_EQ(reader.Line(kPeerStartMs), "ready");
    EXPECT_EQ(Info(w).wNumReaders, 1);
    for (uint8_t b : std::initializer_list<uint8_t>{0x01, 0x00, 0xA5}) EXPECT_TRUE(Write(w, {b}));
    EXPECT_EQ(reader.Line(), "01");
    EXPECT_EQ(reader.Line(), "00");
    EXPECT_EQ(reader.Line(), "A5");
    EXPECT_EQ(reader.Wait(), 0);
  }
  EXPECT_EQ(Info(w).wNumReaders, 0);
  CloseMsgQueue(w);

  HANDLE r = Open(u"Tolvex_Back", TRUE, 100, 1);
  PeerProcess writer({ORLIK_MSGQUEUE_PEER, "write", "Tolvex_Back", "7", "8"});
  EXPECT_EQ(writer.Wait(), 0);
  EXPECT_EQ(Read(r, 1000), std::vector<uint8_t>{7});
  EXPECT_EQ(Read(r, 1000), std::vector<uint8_t>{8});
  CloseMsgQueue(r);
}

TEST_F(MsgQueue, EndsOfAProcessThatDiedAreTakenAway) {
  HANDLE w = Open(u"Tolvex_Crash", FALSE, 100, 1);
  {
    PeerProcess reader({ORLIK_MSGQUEUE_PEER, "read", "Tolvex_Crash", "1", "60000"});
    ASSERT_EQ(reader.Line(kPeerStartMs), "ready");
    EXPECT_TRUE(Write(w, {1}));
    EXPECT_EQ(reader.Line(), "01");
    EXPECT_EQ(reader.Wait(), 0);  // it closed its end on the way out
    PeerProcess second({ORLIK_MSGQUEUE_PEER, "read", "Tolvex_Crash", "1", "60000"});
    ASSERT_EQ(second.Line(kPeerStartMs), "ready");
    EXPECT_EQ(Info(w).wNumReaders, 1);
    second.Kill();
  }
  EXPECT_EQ(Info(w).wNumReaders, 0);
  SetLastError(0);
  EXPECT_FALSE(Write(w, {2}));
  EXPECT_EQ(GetLastError(), ERROR_PIPE_NOT_CONNECTED);
  CloseMsgQueue(w);

  // A queue whose only end died with its process is gone for the next opener.
  {
    PeerProcess writer({ORLIK_MSGQUEUE_PEER, "read", "Tolvex_Orphan", "1", "60000"});
    ASSERT_EQ(writer.Line(kPeerStartMs), "ready");
    writer.Kill();
  }
  HANDLE fresh = Open(u"Tolvex_Orphan", FALSE, 3, 1);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(Info(fresh).dwMaxMessages, 3u);
  CloseMsgQueue(fresh);
}

TEST_F(MsgQueue, UnnamedQueueIsReachedThroughOpenMsgQueue) {
  HANDLE w = Open(nullptr, FALSE, 4, 4);
  ASSERT_NE(w, nullptr);
  MSGQUEUEOPTIONS readEnd = {kOptionsSize, 0, 0, 0, TRUE};
  HANDLE r = OpenMsgQueue(nullptr, w, &readEnd);
  ASSERT_NE(r, nullptr);
  EXPECT_TRUE(Write(w, {5, 6}));
  EXPECT_EQ(Read(r), (std::vector<uint8_t>{5, 6}));
  // An alert message keeps its flag and its size.
  uint8_t alert[4] = {1, 2, 3, 4};
  EXPECT_TRUE(WriteMsgQueue(w, alert, 4, 0, MSGQUEUE_MSGALERT));
  uint8_t got[4] = {};
  DWORD size = 0, flags = 0;
  EXPECT_TRUE(ReadMsgQueue(r, got, 4, &size, 0, &flags));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(flags, MSGQUEUE_MSGALERT);
  EXPECT_EQ(got[3], 4);
  EXPECT_EQ(OpenMsgQueue(nullptr, nullptr, &readEnd), nullptr);
  CloseMsgQueue(r);
  CloseMsgQueue(w);
}

}  // namespace
