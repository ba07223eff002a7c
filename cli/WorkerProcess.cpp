#include "WorkerProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// The binary that runs now; a worker is the same program.
const char kSelf[] = "/proc/self/exe";
} // namespace

std::unique_ptr<CWorkerProcess> CWorkerProcess::Start(const std::vector<std::string>& args,
                                                      int fdKeep) {
    std::vector<std::string> argv{"orvex"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pArgv;
    for (auto& arg : argv)
        pArgv.push_back(arg.data());
    pArgv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    const pid_t parent = getpid();
    // No handler of the parent may run in the child: a Ctrl-C there would
    // reach the parent's signal pipe and count twice. The child takes the
    // default actions, then the parent's mask back, before anything arrives.
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t pid = fork();
    if (pid < 0) {
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        close(fds[0]);
        close(fds[1]);
        return nullptr;
    }
    if (pid == 0) {
        // Only async-signal-safe calls until exec. Only the parent's
        // handlers go: a signal it was started ignoring (nohup's SIGHUP)
        // stays ignored, as exec would leave it.
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);
        for (int nSignal = 1; nSignal < NSIG; ++nSignal) {
            struct sigaction current {};
            if (sigaction(nSignal, nullptr, &current) == 0 && current.sa_handler != SIG_DFL &&
                current.sa_handler != SIG_IGN)
                sigaction(nSignal, &byDefault, nullptr);
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        // A worker whose parent has gone stops its link as on Ctrl-C.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        const int fdNull = open("/dev/null", O_RDWR | O_CLOEXEC);
        // Diagnostics never reach the user; the outcome comes as a line.
        if (dup2(fds[1], STDOUT_FILENO) < 0 || fdNull < 0 || dup2(fdNull, STDIN_FILENO) < 0 ||
            dup2(fdNull, STDERR_FILENO) < 0)
            _exit(127);
        // Close-on-exec elsewhere, inherited here alone.
        if (fdKeep >= 0 && fcntl(fdKeep, F_SETFD, 0) != 0)
            _exit(127);
        execv(kSelf, pArgv.data());
        _exit(127);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    close(fds[1]);
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<CWorkerProcess>(new CWorkerProcess(pid, fds[0]));
}

CWorkerProcess::~CWorkerProcess() {
    if (!m_bReaped) {
        kill(m_pid, SIGKILL);
        Wait();
    }
    close(m_fd);
}

bool CWorkerProcess::Read(std::vector<std::string>* pLines) {
    char buf[4096];
    for (;;) {
        const ssize_t n = read(m_fd, buf, sizeof buf);
        if (n > 0) {
            m_strPending.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        size_t nEnd;
        while ((nEnd = m_strPending.find('\n')) != std::string::npos) {
            pLines->push_back(m_strPending.substr(0, nEnd));
            m_strPending.erase(0, nEnd + 1);
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void CWorkerProcess::Signal(int nSignal) const {
    if (!m_bReaped)
        kill(m_pid, nSignal);
}

int CWorkerProcess::Wait() {
    if (m_bReaped)
        return m_nStatus;
    int nStatus = 0;
    while (waitpid(m_pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    m_bReaped = true;
    m_nStatus = nStatus;
    return nStatus;
}
