#include "RawPeer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool WaitReadable(int fd, int nTimeoutMs) {
    pollfd pfd{fd, POLLIN, 0};
    return poll(&pfd, 1, nTimeoutMs) == 1;
}

} // namespace

uint32_t NetAddress(const char* pszDotted) {
    in_addr addr{};
    inet_pton(AF_INET, pszDotted, &addr);
    return addr.s_addr;
}

CRawPeer::CRawPeer(const char* pszAddress, uint16_t nPort, int nRcvBuf, int nBacklog) {
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return;
    const int one = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (nRcvBuf > 0) // set before listen so the window is small from the start
        setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &nRcvBuf, sizeof nRcvBuf);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(nPort);
    addr.sin_addr.s_addr = NetAddress(pszAddress);
    socklen_t len = sizeof addr;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
        listen(m_listener, nBacklog) < 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
        close(m_listener);
        m_listener = -1;
        return;
    }
    m_nPort = ntohs(addr.sin_port);
}

CRawPeer::~CRawPeer() {
    CloseConnection();
    if (m_listener >= 0)
        close(m_listener);
}

bool CRawPeer::Accept(int nTimeoutMs) {
    if (m_listener < 0 || !WaitReadable(m_listener, nTimeoutMs))
        return false;
    m_connection = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    return m_connection >= 0;
}

bool CRawPeer::Read(size_t nCount, std::string* pData, int nTimeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    pData->clear();
    char buf[65536];
    while (pData->size() < nCount) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !WaitReadable(m_connection, static_cast<int>(left)))
            return false;
        const size_t want = std::min(sizeof buf, nCount - pData->size());
        const ssize_t n = recv(m_connection, buf, want, 0);
        if (n <= 0)
            return false;
        pData->append(buf, static_cast<size_t>(n));
    }
    return true;
}

std::string CRawPeer::ReadUntilQuiet(int nQuietMs) {
    std::string data;
    char buf[65536];
    while (WaitReadable(m_connection, nQuietMs)) {
        const ssize_t n = recv(m_connection, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        data.append(buf, static_cast<size_t>(n));
    }
    return data;
}

bool CRawPeer::Send(const std::string& data) {
    return send(m_connection, data.data(), data.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(data.size());
}

void CRawPeer::CloseConnection() {
    if (m_connection >= 0)
        close(m_connection);
    m_connection = -1;
}
