#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// The simulator as a child process, its stdout and stderr read through pipes.
// The destructor kills it (SIGKILL) if it is still running, so a failing
// test never leaves a simulator behind holding its port.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool spawned() const { return pid_ > 0; }

    // Next stdout line (after those already returned) containing needle;
    // nullopt on timeout or when the process has ended without one.
    std::optional<std::string> waitForLine(const std::string& needle,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Exit code once the process ends by itself; nullopt on timeout or death by signal.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Sends signalNumber, then waits as waitExit does.
    std::optional<int> stop(int signalNumber, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    const std::string& stdoutText() const { return out_; }
    const std::string& stderrText() const { return err_; }

private:
    void pump(int timeoutMs);
    void reap();

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::size_t nextLineStart_ = 0;
    bool exited_ = false;
    int status_ = 0;
};
