#include "PhoneSim.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
constexpr int kReadyTimeoutMs = 10000;
} // namespace

std::string CPhoneSim::Path() {
    const char* pszPath = getenv("PHONE_SIM");
    return pszPath != nullptr ? pszPath : "";
}

CPhoneSim::CPhoneSim(const std::vector<std::string>& args, const std::vector<std::string>& prefix) {
    std::vector<std::string> argv = prefix;
    argv.push_back(Path());
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    int pipeFds[2];
    if (Path().empty() || pipe2(pipeFds, O_CLOEXEC) < 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const int rc = posix_spawnp(&m_pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        m_pid = -1;
        close(pipeFds[0]);
        return;
    }
    // Read up to the ready line here, then keep draining so it never blocks.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReadyTimeoutMs);
    std::string text;
    while (!m_bReady) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd pfd{pipeFds[0], POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) != 1)
            break;
        char buf[256];
        const ssize_t n = read(pipeFds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
        m_bReady = text.find("phone-sim: listening on") != std::string::npos ||
                   text.find("phone-sim: refusing on") != std::string::npos;
    }
    m_output = text;
    m_reader = std::thread(&CPhoneSim::Drain, this, pipeFds[0]);
}

CPhoneSim::~CPhoneSim() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (m_reader.joinable())
        m_reader.join(); // the pipe ends with the process
}

void CPhoneSim::Drain(int fd) {
    char buf[256];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_output.append(buf, static_cast<size_t>(n));
    }
    close(fd);
}

std::string CPhoneSim::Output() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_output;
}
