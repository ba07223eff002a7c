#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

#include <poll.h>

namespace phonesim {

using Clock = std::chrono::steady_clock;

// The simulator's single event loop: every socket, the signal pipe and every
// timer (ack delays, the finishing-byte gap, the busy period) go through one
// poll() call, so nothing ever blocks another connection.
class PollLoop {
public:
    using FdHandler = std::function<void(short revents)>;
    using TimerId = std::uint64_t; // 0 is never a valid id

    void watch(int fd, short events, FdHandler handler);
    void setEvents(int fd, short events);
    void unwatch(int fd);

    TimerId addTimer(std::chrono::milliseconds delay, std::function<void()> callback);
    void cancelTimer(TimerId id);

    // Runs until stop(); false if poll() itself failed.
    bool run();
    void stop() { running_ = false; }

private:
    struct Watch {
        short events = 0;
        FdHandler handler;
        // A closed fd number can be reused by a new socket within one poll
        // round; the generation keeps stale revents from reaching it.
        std::uint64_t generation = 0;
    };
    struct Timer {
        Clock::time_point due;
        std::function<void()> callback;
    };

    int pollTimeoutMs() const;
    void fireDueTimers();

    std::map<int, Watch> watches_;
    std::map<TimerId, Timer> timers_;
    std::uint64_t nextGeneration_ = 1;
    TimerId nextTimerId_ = 1;
    bool running_ = false;
};

} // namespace phonesim
