#include "SocketApi.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TEST(SocketApi, WsaErrorFromErrno_MapsTheCodesTheTransportTests) {
    const std::pair<int, int> cases[] = {
        {0, 0},
        {EAGAIN, WSAEWOULDBLOCK},
        {EINPROGRESS, WSAEWOULDBLOCK},
        {ENETDOWN, WSAENETDOWN},
        {ENOBUFS, WSAENOBUFS},
        {ETIMEDOUT, WSAETIMEDOUT},
        {ECONNREFUSED, WSAECONNREFUSED},
        {EADDRINUSE, WSAEADDRINUSE},
        {ENETUNREACH, WSAENETUNREACH},
    };
    for (auto [err, wsa] : cases)
        EXPECT_EQ(WsaErrorFromErrno(err), wsa) << "errno " << err;
}

TEST(SocketApi, Wait_ServesSocketThenEventsInArrayOrder) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    CEvent output(false, false), stop(true, false);
    CEvent* events[] = {&output, &stop};
    ASSERT_EQ(write(pair[1], "x", 1), 1);
    output.Set();
    stop.Set();
    short revents = 0;
    EXPECT_EQ(WaitForSocketAndEvents(pair[0], POLLIN, &revents, events, 2, 0), 0u);
    EXPECT_TRUE(revents & POLLIN);
    char c;
    ASSERT_EQ(read(pair[0], &c, 1), 1);
    EXPECT_EQ(WaitForSocketAndEvents(pair[0], POLLIN, &revents, events, 2, 0), 1u);
    // The auto-reset output event was consumed; the manual stop stays set.
    EXPECT_EQ(WaitForSocketAndEvents(pair[0], POLLIN, &revents, events, 2, 0), 2u);
    EXPECT_EQ(WaitForSocketAndEvents(pair[0], POLLIN, &revents, events, 2, 0), 2u);
    stop.Reset();
    EXPECT_EQ(WaitForSocketAndEvents(pair[0], POLLIN, &revents, events, 2, 20), WAIT_TIMEOUT);
    close(pair[0]);
    close(pair[1]);
}
