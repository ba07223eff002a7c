// The Linux event is an eventfd: what it costs in system calls. Windows
// builds its events on event objects, so this suite is Linux's alone.
#include "Event.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

// Read system calls this thread has made so far; -1 where the kernel keeps
// no count.
long long ThreadReadCalls() {
    std::ifstream io("/proc/thread-self/io");
    std::string key;
    long long nValue = 0;
    while (io >> key >> nValue)
        if (key == "syscr:")
            return nValue;
    return -1;
}

} // namespace

// An upload sets, takes and resets the acknowledgement once a block: the
// take reads the descriptor once, and the reset after it has nothing to read.
TEST(EventFd, SetWaitReset_ReadsTheDescriptorOnceARound) {
    constexpr int kRounds = 1000;
    CEvent event(false, false);
    const long long nFirst = ThreadReadCalls();
    if (nFirst < 0)
        GTEST_SKIP() << "no /proc/thread-self/io here";
    // What one look at the count costs in reads of its own.
    const long long nBefore = ThreadReadCalls();
    const long long nLook = nBefore - nFirst;
    for (int i = 0; i < kRounds; ++i) {
        event.Set();
        ASSERT_EQ(WaitForSingleObject(&event, 1000), WAIT_OBJECT_0);
        ResetEvent(&event);
    }
    EXPECT_EQ(ThreadReadCalls() - nBefore - nLook, kRounds);
}
