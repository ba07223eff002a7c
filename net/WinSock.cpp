#include "WinSock.h"

#include "SocketApi.h"
#include "Trace.h"

#include <csignal>
#include <netinet/in.h>
#include <unistd.h>

bool WinSock2Init() {
    // A peer that resets mid-transfer makes send() raise SIGPIPE; WinSock
    // reports an error instead, which is what the transport expects.
    std::signal(SIGPIPE, SIG_IGN);

    // The counterpart of finding the TCP/IPv4 stream entry in the catalogue.
    const int fd = PlatformSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0) {
        WinSock2Free();
        return false;
    }
    close(fd);
    OutputDebugStringA("WinSock2 Init\n");
    return true;
}

void WinSock2Free() { OutputDebugStringA("WinSock2 Free\n"); }
