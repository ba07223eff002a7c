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
#include <utility>

namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
} // namespace

std::unique_ptr<CChildProcess> CChildProcess::Start(const std::vector<std::string>& argv,
                                                    int fdNetns, int fdKeep) {
    return Spawn(argv, fdNetns, fdKeep, false);
}

std::unique_ptr<CChildProcess> CChildProcess::StartApart(const std::vector<std::string>& argv) {
    return Spawn(argv, -1, -1, true);
}

std::unique_ptr<CChildProcess> CChildProcess::Spawn(const std::vector<std::string>& argv,
                                                    int fdNetns, int fdKeep, bool bApart) {
    int fds[2], err[2] = {-1, -1}, in[2] = {-1, -1};
    if (argv.empty() || pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    if (bApart && (pipe2(err, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0))
        return nullptr;
    if (bApart)
        close(in[1]);
    // Built before fork: the child of a threaded process may only exec.
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0)
        return nullptr;
    if (pid == 0) {
        // A test aborted by a sanitizer must not leave its simulator holding
        // the address for the next run.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        dup2(fds[1], STDOUT_FILENO);
        dup2(bApart ? err[1] : fds[1], STDERR_FILENO);
        if (bApart)
            dup2(in[0], STDIN_FILENO);
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
    if (bApart) {
        close(err[1]);
        close(in[0]);
        fcntl(err[0], F_SETFL, O_NONBLOCK);
    }
    return std::unique_ptr<CChildProcess>(new CChildProcess(pid, fds[0], err[0]));
}

CChildProcess::~CChildProcess() {
    Stop();
    for (int fd : {m_fdOut, m_fdErr})
        if (fd >= 0)
            close(fd);
}

void CChildProcess::ReadAvailable(int nMs) {
    pollfd pfds[2] = {{m_fdOut, POLLIN, 0}, {m_fdErr, POLLIN, 0}}; // a negative fd is skipped
    if (poll(pfds, 2, nMs) <= 0)
        return;
    char buf[4096];
    for (auto [pFd, pText] :
         {std::pair{&m_fdOut, &m_strOutput}, std::pair{&m_fdErr, &m_strErrors}}) {
        ssize_t n = 0;
        while (*pFd >= 0 && (n = read(*pFd, buf, sizeof buf)) > 0)
            pText->append(buf, static_cast<size_t>(n));
        if (n == 0 && *pFd >= 0) { // every writer has gone
            close(*pFd);
            *pFd = -1;
        }
    }
}

bool CChildProcess::WaitForOutput(const std::string& text, int nMs, size_t nFrom) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
    while (m_strOutput.find(text, nFrom) == std::string::npos) {
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
        if (m_fdOut < 0 && m_fdErr < 0)
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
