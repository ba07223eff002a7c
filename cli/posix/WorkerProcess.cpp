// The Linux side of WorkerProcess.h: fork and exec of /proc/self/exe, the
// worker's standard output a pipe, stop and kill as signals, and waitpid.
#include "WorkerProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// The binary that runs now; a worker is the same program.
const char kSelf[] = "/proc/self/exe";
} // namespace

struct CWorkerProcess::CState {
    pid_t pid;
    int fd; // the read end of the worker's standard output
    bool bReaped = false;
    int nStatus = 0;
};

CWorkerProcess::CWorkerProcess(std::unique_ptr<CState> pState) : m_pState(std::move(pState)) {}

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
    auto pState = std::make_unique<CState>();
    pState->pid = pid;
    pState->fd = fds[0];
    return std::unique_ptr<CWorkerProcess>(new CWorkerProcess(std::move(pState)));
}

CWorkerProcess::~CWorkerProcess() {
    if (!m_pState->bReaped) {
        kill(m_pState->pid, SIGKILL);
        Wait();
    }
    close(m_pState->fd);
}

void CWorkerProcess::WaitAny(const std::vector<CWorkerProcess*>& workers, const CStopRequest& stop,
                             int nMilliseconds, std::vector<bool>* pReady) {
    std::vector<pollfd> fds;
    for (const CWorkerProcess* pWorker : workers)
        fds.push_back({pWorker->m_pState->fd, POLLIN, 0});
    fds.push_back({stop.Fd(), POLLIN, 0});
    pReady->assign(workers.size(), false);
    if (poll(fds.data(), fds.size(), nMilliseconds) < 0)
        return; // EINTR: the stop request's pipe tells the rest
    for (size_t i = 0; i < workers.size(); ++i)
        (*pReady)[i] = fds[i].revents != 0;
}

bool CWorkerProcess::Read(std::vector<std::string>* pLines) {
    char buf[4096];
    for (;;) {
        const ssize_t n = read(m_pState->fd, buf, sizeof buf);
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

void CWorkerProcess::Stop() {
    if (!m_pState->bReaped)
        kill(m_pState->pid, SIGTERM);
}

void CWorkerProcess::Kill() {
    if (!m_pState->bReaped)
        kill(m_pState->pid, SIGKILL);
}

std::string CWorkerProcess::Wait() {
    CState& state = *m_pState;
    if (!state.bReaped) {
        int nStatus = 0;
        while (waitpid(state.pid, &nStatus, 0) < 0 && errno == EINTR) {
        }
        state.bReaped = true;
        state.nStatus = nStatus;
    }
    if (WIFSIGNALED(state.nStatus))
        return " (signal " + std::to_string(WTERMSIG(state.nStatus)) + ")";
    if (WIFEXITED(state.nStatus))
        return " (status " + std::to_string(WEXITSTATUS(state.nStatus)) + ")";
    return "";
}
