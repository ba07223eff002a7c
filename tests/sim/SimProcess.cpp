#include "SimProcess.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
} // namespace

SimProcess::SimProcess(const std::vector<std::string>& args)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return;
    }
    std::vector<std::string> full{PHONE_SIM_PATH};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : full)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, PHONE_SIM_PATH, &actions, nullptr, argv.data(), environ) == 0)
        pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd_ = outPipe[0];
    errFd_ = errPipe[0];
}

SimProcess::~SimProcess()
{
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
    if (outFd_ >= 0)
        ::close(outFd_);
    if (errFd_ >= 0)
        ::close(errFd_);
}

void SimProcess::pump(int timeoutMs)
{
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0)
        return;
    std::string* sinks[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP)))
            continue;
        char buffer[4096];
        const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            sinks[i]->append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            // Writer gone: stop polling this pipe (negative fds are skipped).
            ::close(fds[i].fd);
            (i == 0 ? outFd_ : errFd_) = -1;
        }
    }
}

void SimProcess::reap()
{
    if (pid_ > 0 && !exited_ && ::waitpid(pid_, &status_, WNOHANG) == pid_)
        exited_ = true;
}

std::optional<std::string> SimProcess::waitForLine(const std::string& needle, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        std::size_t end;
        while ((end = out_.find('\n', nextLineStart_)) != std::string::npos) {
            std::string line = out_.substr(nextLineStart_, end - nextLineStart_);
            nextLineStart_ = end + 1;
            if (line.find(needle) != std::string::npos)
                return line;
        }
        if (outFd_ < 0 || Clock::now() >= deadline)
            return std::nullopt;
        pump(std::min(remainingMs(deadline), 50));
    }
}

std::optional<int> SimProcess::waitExit(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        reap();
        if (exited_) {
            // Collect what is left in the pipes for assertions on the output.
            const auto drainUntil = Clock::now() + std::chrono::seconds(1);
            while ((outFd_ >= 0 || errFd_ >= 0) && Clock::now() < drainUntil)
                pump(50);
            if (WIFEXITED(status_))
                return WEXITSTATUS(status_);
            return std::nullopt;
        }
        if (pid_ <= 0 || Clock::now() >= deadline)
            return std::nullopt;
        pump(std::min(remainingMs(deadline), 20));
    }
}

std::optional<int> SimProcess::stop(int signalNumber, std::chrono::milliseconds timeout)
{
    if (pid_ <= 0)
        return std::nullopt;
    ::kill(pid_, signalNumber);
    return waitExit(timeout);
}
