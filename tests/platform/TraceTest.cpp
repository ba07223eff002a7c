#include "Trace.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

// The default sink shows GB2312 lines readably on a UTF-8 terminal.
TEST(Trace, DefaultSink_TranscodesGb2312ToTheLocale) {
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    char path[] = "/tmp/orvex-trace-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    fflush(stderr);
    int saved = dup(2);
    dup2(fd, 2);
    OutputDebugStringA("1.2.3.4 \xc3\xbb\xd3\xd0\xd4\xda\xcd\xf8\xc2\xe7\xc9\xcf\n");
    OutputDebugStringA("plain\n");
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(fd);
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    unlink(path);
    EXPECT_EQ(ss.str(), "1.2.3.4 没有在网络上\nplain\n");
    setlocale(LC_ALL, "C");
}
