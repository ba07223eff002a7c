// The default trace sink on Windows is the debugger's output: a debugger
// reads each line as the exact bytes given, the GB2312 ones untouched.
#include "DebugCapture.h"

#include <gtest/gtest.h>

#ifndef ORVEX_TRACE_EMITTER
#error "the helper program's path comes from CMake"
#endif

TEST(DefaultTrace, OutputDebugStringA_ReachesTheDebuggerByteForByte) {
    std::vector<std::string> strings;
    ASSERT_TRUE(CaptureDebugOutput(ORVEX_TRACE_EMITTER, &strings));
    const std::vector<std::string> expected = {
        "WinSock2 Init\n",
        "1.2.3.4 \xc3\xbb\xd3\xd0\xd4\xda\xcd\xf8\xc2\xe7\xc9\xcf\n",
    };
    EXPECT_EQ(strings, expected);
}
