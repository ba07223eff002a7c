#include "OrvexRun.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

std::string COrvexRun::Binary() {
    return ORVEX_PATH;
}

COrvexRun::COrvexRun(const std::vector<std::string>& args, const std::string& stdinText) {
    char dirTemplate[] = "/tmp/orvex-run-XXXXXX";
    m_dir = mkdtemp(dirTemplate);
    std::ofstream(m_dir + "/in", std::ios::binary) << stdinText;
    std::vector<std::string> argv{Binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pArgv;
    for (auto& arg : argv)
        pArgv.push_back(arg.data());
    pArgv.push_back(nullptr);
    const std::string in = m_dir + "/in", out = m_dir + "/out", err = m_dir + "/err";
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int fdIn = open(in.c_str(), O_RDONLY);
        const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fdIn < 0 || fdOut < 0 || fdErr < 0 || dup2(fdIn, 0) < 0 || dup2(fdOut, 1) < 0 ||
            dup2(fdErr, 2) < 0)
            _exit(126);
        execvp(pArgv[0], pArgv.data());
        _exit(127);
    }
}

COrvexRun::~COrvexRun() {
    if (m_pid > 0 && m_nStatus < 0)
        Wait(0);
    std::filesystem::remove_all(m_dir);
}

int COrvexRun::Wait(int nMs) {
    if (m_pid <= 0 || m_nStatus >= 0)
        return m_nStatus;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    int nStatus = 0;
    while (waitpid(m_pid, &nStatus, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &nStatus, 0);
            m_nStatus = 128 + SIGKILL;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_nStatus = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
    return m_nStatus;
}

void COrvexRun::Signal(int nSignal) const {
    if (m_pid > 0 && m_nStatus < 0)
        kill(m_pid, nSignal);
}

std::string COrvexRun::Stdout() const {
    return ReadFile(m_dir + "/out");
}
std::string COrvexRun::Stderr() const {
    return ReadFile(m_dir + "/err");
}

bool COrvexRun::WaitForStdout(const std::string& text, int nMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
    while (Stdout().find(text) == std::string::npos) {
        siginfo_t info{};
        // Asks whether it has ended without reaping it.
        waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (std::chrono::steady_clock::now() >= deadline || info.si_pid != 0)
            return Stdout().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

COrvexResult RunOrvex(const std::vector<std::string>& args, const std::string& stdinText) {
    COrvexRun run(args, stdinText);
    const int nStatus = run.Wait();
    return {nStatus, run.Stdout(), run.Stderr()};
}
