#include "RawPeer.h"

#include "LinkEvents.h"
#include "MsgWnd.h"
#include "PhoneSim.h"
#include "Profile.h"
#include "Rj45Link.h"
#include "Rj45Thread.h"
#include "ScriptedSeams.h"
#include "TempProfile.h"

#include <gtest/gtest.h>

#include "AsyncSelect.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <system_error>
#include <thread>

namespace {

constexpr uint16_t kPhonePort = 8739;
constexpr DWORD kAckWaitMs = 10000;  // what a procedure gives a block
constexpr DWORD kNoAckWaitMs = 1000; // a phone on loopback answers far sooner

int CountEntries(const char* pszDir) {
    int n = 0;
    if (DIR* pDir = opendir(pszDir)) {
        while (dirent* pEntry = readdir(pDir))
            n += pEntry->d_name[0] != '.';
        closedir(pDir);
    }
    return n;
}

// While it lives, a thread the caller starts runs at once and to its end if
// it does not block: it is made at real-time priority on the caller's one
// processor, so it preempts the caller as soon as it can run. Where that is
// not allowed (no root, or root only in a user namespace) threads start as
// they always do.
class CStartedThreadRunsFirst {
public:
    CStartedThreadRunsFirst() {
        sched_getaffinity(0, sizeof m_savedCpus, &m_savedCpus);
        pthread_getattr_default_np(&m_savedAttr);
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
        pthread_attr_setschedpolicy(&attr, SCHED_FIFO);
        sched_param param{};
        param.sched_priority = 1;
        pthread_attr_setschedparam(&attr, &param);
        pthread_setattr_default_np(&attr);
        pthread_attr_destroy(&attr);
        try {
            std::thread([] {}).join();
        } catch (const std::system_error&) {
            pthread_setattr_default_np(&m_savedAttr);
            return;
        }
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        sched_setaffinity(0, sizeof one, &one);
    }
    ~CStartedThreadRunsFirst() {
        pthread_setattr_default_np(&m_savedAttr);
        pthread_attr_destroy(&m_savedAttr);
        sched_setaffinity(0, sizeof m_savedCpus, &m_savedCpus);
    }
    CStartedThreadRunsFirst(const CStartedThreadRunsFirst&) = delete;
    CStartedThreadRunsFirst& operator=(const CStartedThreadRunsFirst&) = delete;

private:
    cpu_set_t m_savedCpus;
    pthread_attr_t m_savedAttr;
};

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override { CreateLinkEvents(); }
    void TearDown() override {
        StopRj45Link(m_pThread, m_dwThreadId);
        CloseLinkEvents();
    }

    void SetPeer(const char* pszDotted) {
        WriteProfileInt("Peer", "IPAddress", static_cast<int>(ntohl(NetAddress(pszDotted))));
    }
    BOOL Start() { return StartRj45Link(m_pThread, m_dwThreadId, true); }
    bool Post(UINT message, WPARAM wParam, LPARAM lParam) {
        return PostThreadMessage(m_dwThreadId, message, wParam, lParam) != FALSE;
    }
    DWORD WaitAck(DWORD dwMilliseconds) {
        return WaitForSingleObject(g_hLinkAckEvent, dwMilliseconds);
    }

    CTempProfile m_profile;
    CScriptedSeams m_seams;
    CRj45Thread* m_pThread = nullptr;
    DWORD m_dwThreadId = 0;
};

struct CAckCase {
    const char* pszAddress;
    std::vector<std::string> faults;
    bool bAcknowledged;
};

TEST_F(LinkTest, Acknowledgement_OnlyALoneFFCounts) {
    const CAckCase cases[] = {
        {"127.0.4.1", {}, true},
        {"127.0.4.2", {"--double-ack"}, false},
        {"127.0.4.3", {"--wrong-ack", "0x55"}, false},
    };
    const std::string block(128, '\x5A');
    for (const CAckCase& c : cases) {
        SCOPED_TRACE(c.pszAddress);
        auto pSim = StartPhoneSimOn(c.pszAddress, c.faults);
        ASSERT_TRUE(pSim);
        SetPeer(c.pszAddress);
        ASSERT_TRUE(Start());
        ASSERT_TRUE(Post(WM_LINK_SEND, block.size(), reinterpret_cast<LPARAM>(block.data())));
        EXPECT_EQ(WaitAck(c.bAcknowledged ? kAckWaitMs : kNoAckWaitMs),
                  c.bAcknowledged ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        StopRj45Link(m_pThread, m_dwThreadId);
        EXPECT_EQ(m_pThread, nullptr);
    }
    EXPECT_TRUE(m_seams.Messages().empty());
}

TEST_F(LinkTest, StartLink_WhileWorkerRuns_ReturnsFalseAndLeavesPeerPort) {
    CRawPeer peer("127.0.4.5", kPhonePort);
    SetPeer("127.0.4.5");
    ASSERT_TRUE(Start());
    EXPECT_EQ(GetProfileInt("Peer", "Port", 0), 8739u);
    WriteProfileInt("Peer", "Port", 1234);
    CRj45Thread* const pRunning = m_pThread;
    EXPECT_FALSE(StartRj45Link(m_pThread, m_dwThreadId, false));
    EXPECT_EQ(GetProfileInt("Peer", "Port", 0), 1234u);
    EXPECT_EQ(m_pThread, pRunning);
    EXPECT_TRUE(m_seams.Messages().empty());
}

// Runs at its full length once: a refusal signals nothing, so StartLink waits
// out its whole time-out.
TEST_F(LinkTest, StartLink_PhoneRefuses_CostsTheFull2000ms) {
    auto pSim = StartPhoneSimOn("127.0.4.6", {"--refuse"});
    ASSERT_TRUE(pSim);
    SetPeer("127.0.4.6");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Start());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(2000));
    ASSERT_EQ(m_seams.Messages().size(), 1u);
    EXPECT_EQ(m_seams.Messages()[0].text, "Can not connect to Quill1");
    EXPECT_EQ(m_seams.Messages()[0].nType, MB_OK);
    EXPECT_EQ(m_pThread, nullptr);
}

TEST_F(LinkTest, StopLink_NoWorker_ReturnsAtOnceAndTakesNoSignal) {
    SetEvent(g_hLinkDoneEvent);
    StopRj45Link(m_pThread, m_dwThreadId);
    EXPECT_EQ(WaitForSingleObject(g_hLinkDoneEvent, 0), WAIT_OBJECT_0);
}

TEST_F(LinkTest, StopLink_AfterWorkerEndedByItself_ReturnsAtOnce) {
    CRawPeer peer("127.0.4.7", kPhonePort);
    SetPeer("127.0.4.7");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Post(WM_QUIT, 0, 0)); // the loop ends without WM_LINK_STOP
    // Its queue goes before the done signal: once posts fail it has ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Post(WM_USER, 0, 0) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_FALSE(Post(WM_USER, 0, 0));
    StopRj45Link(m_pThread, m_dwThreadId);
    EXPECT_EQ(m_pThread, nullptr);
    // StopLink took the worker's one done signal.
    EXPECT_EQ(WaitForSingleObject(g_hLinkDoneEvent, 0), WAIT_TIMEOUT);
}

// A worker that cannot run: no thread at all, or one whose window cannot be
// made and that deletes itself at once, maybe before StartLink's own thread
// is back from starting it. Nothing may read the worker then
// (AddressSanitizer reports it), and StopLink must not wait for a worker
// that never ran.
TEST_F(LinkTest, StartLink_WorkerCannotRun_ShowsMessageAndLeavesNoWorker) {
    const struct {
        const char* name;
        void (*fnFail)(bool);
    } cases[] = {
        {"NoThread",
         [](bool bFail) {
             CWorkerThread::SetCreateHook(bFail ? [] { return false; } : std::function<bool()>());
         }},
        {"NoWindow",
         [](bool bFail) {
             CMsgWnd::SetCreateHook(bFail ? [] { return false; } : std::function<bool()>());
         }},
    };
    m_seams.MapTimeout(2000, 20);
    size_t nShown = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.fnFail(true);
        BOOL bStarted;
        {
            CStartedThreadRunsFirst order;
            bStarted = Start();
        }
        c.fnFail(false);
        EXPECT_FALSE(bStarted);
        EXPECT_EQ(m_pThread, nullptr);
        ASSERT_EQ(m_seams.Texts().size(), ++nShown);
        EXPECT_EQ(m_seams.Texts().back(), "Can not connect to Quill1");
        // A worker that ran signalled once, and StopLink took that.
        EXPECT_EQ(WaitForSingleObject(g_hLinkDoneEvent, 0), WAIT_TIMEOUT);
    }
}

TEST_F(LinkTest, ReadMode_RepliesBeyondTheRoom_AreDropped) {
    CRawPeer peer("127.0.4.8", kPhonePort);
    SetPeer("127.0.4.8");
    ASSERT_TRUE(Start());
    ASSERT_TRUE(peer.Accept());
    std::vector<BYTE> buffer(256, 0xEE); // room for one block; the rest must stay
    ASSERT_TRUE(Post(WM_LINK_READ_MODE, 128, reinterpret_cast<LPARAM>(buffer.data())));
    ASSERT_TRUE(peer.Send(std::string(128, '\x11')));
    EXPECT_EQ(WaitAck(kAckWaitMs), WAIT_OBJECT_0);
    ASSERT_TRUE(peer.Send(std::string(128, '\x22')));
    EXPECT_EQ(WaitAck(kNoAckWaitMs), WAIT_TIMEOUT);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[127], 0x11);
    EXPECT_EQ(buffer[128], 0xEE);
    EXPECT_EQ(buffer[255], 0xEE);
    // Off again: a lone 0xFF acknowledges once more.
    ASSERT_TRUE(Post(WM_LINK_READ_MODE, 0, 0));
    ASSERT_TRUE(peer.Send("\xFF"));
    EXPECT_EQ(WaitAck(kAckWaitMs), WAIT_OBJECT_0);
}

TEST_F(LinkTest, StartAndStop_LeaveNoThreadAndNoDescriptor) {
    WSAAsyncSelect(INVALID_SOCKET, 0, 0, 0); // the process-wide connect watcher exists from here on
    const int nThreads = CountEntries("/proc/self/task");
    const int nFds = CountEntries("/proc/self/fd");
    {
        CRawPeer peer("127.0.4.10", kPhonePort);
        SetPeer("127.0.4.10");
        ASSERT_TRUE(Start());
        ASSERT_TRUE(peer.Accept());
        const std::string block(128, '\x01');
        ASSERT_TRUE(Post(WM_LINK_SEND, block.size(), reinterpret_cast<LPARAM>(block.data())));
        std::string data;
        ASSERT_TRUE(peer.Read(128, &data));
        ASSERT_TRUE(peer.Send("\xFF"));
        EXPECT_EQ(WaitAck(kAckWaitMs), WAIT_OBJECT_0);
        StopRj45Link(m_pThread, m_dwThreadId);
    }
    // The worker signals as its last act; its thread is gone a moment later.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (CountEntries("/proc/self/task") != nThreads &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(CountEntries("/proc/self/task"), nThreads);
    EXPECT_EQ(CountEntries("/proc/self/fd"), nFds);
}

} // namespace
