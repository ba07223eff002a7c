#include "AsyncSelect.h"

#include "Event.h"
#include "MessageQueue.h"
#include "SocketApi.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <system_error>
#include <thread>
#include <vector>

namespace {

struct CConnectRequest {
    HWND hWnd = 0;
    UINT wMsg = 0;
    bool bArmed = false;      // a connect is under way: watch the socket
    uint64_t nGeneration = 0; // tells a reused socket number from its predecessor
};

// Outcomes of the peer or the network, which WinSock reports through the
// notification; anything else is a wrong call and fails WSAConnect itself.
bool IsConnectOutcome(int nErrno) {
    switch (nErrno) {
    case 0:
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ECONNRESET:
        return true;
    default:
        return false;
    }
}

// One process-wide thread blocks in poll() on every socket whose connect is
// under way, plus a wake-up event for changes to that set. Posting happens
// under m_mutex, so a cancel that has taken the lock has seen the last post.
class CConnectWatcher {
public:
    // Never destroyed, like the window registry: a socket may still be closed
    // (and cancel its request) while statics are torn down at exit.
    static CConnectWatcher& Instance() {
        static CConnectWatcher* pWatcher = new CConnectWatcher;
        return *pWatcher;
    }

    int Select(SOCKET s, HWND hWnd, UINT wMsg) {
        if (!m_bRunning) {
            errno = EAGAIN;
            return SOCKET_ERROR;
        }
        const int flags = fcntl(s, F_GETFL);
        if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0)
            return SOCKET_ERROR;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests[s] = CConnectRequest{hWnd, wMsg, false, 0};
        return 0;
    }

    void Cancel(SOCKET s) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_requests.erase(s) == 0)
                return;
        }
        m_wake.Set(); // drop the socket from the poll set before it is closed
    }

    int Connect(SOCKET s, const sockaddr* pName, socklen_t nNameLen) {
        const int rc = connect(s, pName, nNameLen);
        const int nErrno = rc == 0 ? 0 : errno;
        std::unique_lock<std::mutex> lock(m_mutex);
        auto it = m_requests.find(s);
        if (it == m_requests.end() || (nErrno != EINPROGRESS && !IsConnectOutcome(nErrno))) {
            errno = nErrno;
            return rc;
        }
        if (nErrno == EINPROGRESS) {
            it->second.bArmed = true;
            it->second.nGeneration = m_nNextGeneration++;
            lock.unlock();
            m_wake.Set();
        } else {
            // Loopback may settle the connect inside connect(); the owner
            // still learns it from the notification, as WinSock does it.
            Post(s, it->second, WsaErrorFromErrno(nErrno));
            m_requests.erase(it);
        }
        errno = EINPROGRESS;
        return SOCKET_ERROR;
    }

private:
    CConnectWatcher() : m_wake(false, false) {
        try {
            std::thread(&CConnectWatcher::Run, this).detach();
            m_bRunning = true;
        } catch (const std::system_error&) {
            // Select reports the failure to every caller.
        }
    }

    static void Post(SOCKET s, const CConnectRequest& request, int nError) {
        PostMessage(request.hWnd, request.wMsg, static_cast<WPARAM>(s),
                    WSAMAKESELECTREPLY(FD_CONNECT, nError));
    }

    void Run() {
        std::vector<pollfd> fds;
        std::vector<uint64_t> generations;
        for (;;) {
            fds.assign(1, pollfd{m_wake.GetNative(), POLLIN, 0});
            generations.assign(1, 0);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (const auto& entry : m_requests) {
                    if (!entry.second.bArmed)
                        continue;
                    fds.push_back(pollfd{entry.first, POLLOUT, 0});
                    generations.push_back(entry.second.nGeneration);
                }
            }
            if (poll(fds.data(), fds.size(), -1) < 0)
                continue; // EINTR; nothing else can fail on this set
            if (fds[0].revents != 0)
                m_wake.TryAcquire();
            for (size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents != 0)
                    Complete(fds[i].fd, generations[i]);
        }
    }

    void Complete(SOCKET s, uint64_t nGeneration) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_requests.find(s);
        // Cancelled, or the number now belongs to a newer socket.
        if (it == m_requests.end() || !it->second.bArmed || it->second.nGeneration != nGeneration)
            return;
        int nErrno = 0;
        socklen_t len = sizeof nErrno;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, &nErrno, &len) < 0)
            nErrno = errno;
        Post(s, it->second, WsaErrorFromErrno(nErrno));
        m_requests.erase(it);
    }

    std::mutex m_mutex;
    std::map<SOCKET, CConnectRequest> m_requests;
    uint64_t m_nNextGeneration = 1;
    CEvent m_wake;
    bool m_bRunning = false;
};

} // namespace

int WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent) {
    if (lEvent == 0) {
        CConnectWatcher::Instance().Cancel(s);
        return 0;
    }
    if ((lEvent & ~FD_CONNECT) != 0) {
        errno = EINVAL;
        return SOCKET_ERROR;
    }
    return CConnectWatcher::Instance().Select(s, hWnd, wMsg);
}

int WSAConnect(SOCKET s, const sockaddr* pName, socklen_t nNameLen) {
    return CConnectWatcher::Instance().Connect(s, pName, nNameLen);
}
