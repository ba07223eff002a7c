#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
} // namespace

std::unique_ptr<CChildProcess> CChildProcess::Start(const std::vector<std::string>& argv,
                                                    int fdNetns, int fdKeep) {
    if (argv.empty())
        return nullptr;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    // Built before fork: the child of a threaded process may only exec.
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return nullptr;
    }
    if (pid == 0) {
        // A test aborted by a sanitizer must not leave its simulator holding
        // the address for the next run.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        if (fdNetns >= 0 && setns(fdNetns, CLONE_NEWNET) != 0) {
            static const char kMessage[] = "cannot enter the network namespace\n";
            ssize_t n = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
            (void)n;
            _exit(127);
        }
        if (fdKeep >= 0)
            fcntl(fdKeep, F_SETFD, 0);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    return std::unique_ptr<CChildProcess>(new CChildProcess(pid, fds[0]));
}

CChildProcess::~CChildProcess() {
    Stop();
    if (m_fdOut >= 0)
        close(m_fdOut);
}

void CChildProcess::ReadAvailable(int nMs) {
    if (m_fdOut < 0)
        return;
    pollfd pfd{m_fdOut, POLLIN, 0};
    if (poll(&pfd, 1, nMs) <= 0)
        return;
    char buf[4096];
    for (;;) {
        ssize_t n = read(m_fdOut, buf, sizeof buf);
        if (n > 0) {
            m_strOutput.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) { // every writer has gone
            close(m_fdOut);
            m_fdOut = -1;
        }
        return;
    }
}

bool CChildProcess::WaitForOutput(const std::string& text, int nMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
    while (m_strOutput.find(text) == std::string::npos) {
        if (m_fdOut < 0 || MsLeft(deadline) == 0)
            return false;
        ReadAvailable(MsLeft(deadline));
    }
    return true;
}

int CChildProcess::Wait(int nMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
    while (!m_bReaped) {
        int status = 0;
        pid_t rc = waitpid(m_pid, &status, WNOHANG);
        if (rc == m_pid || (rc < 0 && errno == ECHILD)) {
            m_bReaped = true;
            m_nStatus = rc == m_pid ? status : -1;
            break;
        }
        if (MsLeft(deadline) == 0)
            return -1;
        ReadAvailable(10);
        if (m_fdOut < 0)
            usleep(10000);
    }
    ReadAvailable(0);
    return m_nStatus;
}

int CChildProcess::Stop(int nMs) {
    if (m_bReaped)
        return m_nStatus;
    kill(m_pid, SIGTERM);
    if (Wait(nMs) == -1 && !m_bReaped) {
        kill(m_pid, SIGKILL);
        Wait(5000);
    }
    return m_nStatus;
}
