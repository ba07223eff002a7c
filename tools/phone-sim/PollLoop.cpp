#include "PollLoop.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>
#include <vector>

namespace phonesim {

void PollLoop::watch(int fd, short events, FdHandler handler)
{
    watches_[fd] = Watch{events, std::move(handler), nextGeneration_++};
}

void PollLoop::setEvents(int fd, short events)
{
    if (auto it = watches_.find(fd); it != watches_.end())
        it->second.events = events;
}

void PollLoop::unwatch(int fd) { watches_.erase(fd); }

PollLoop::TimerId PollLoop::addTimer(std::chrono::milliseconds delay, std::function<void()> callback)
{
    const TimerId id = nextTimerId_++;
    timers_[id] = Timer{Clock::now() + delay, std::move(callback)};
    return id;
}

void PollLoop::cancelTimer(TimerId id) { timers_.erase(id); }

int PollLoop::pollTimeoutMs() const
{
    if (timers_.empty())
        return -1;
    auto earliest = Clock::time_point::max();
    for (const auto& entry : timers_)
        earliest = std::min(earliest, entry.second.due);
    const auto now = Clock::now();
    if (earliest <= now)
        return 0;
    // Round up: waking a little early would only spin until the deadline.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(earliest - now).count();
    return static_cast<int>(std::min<decltype(wait)>(wait, std::numeric_limits<int>::max()));
}

void PollLoop::fireDueTimers()
{
    const auto now = Clock::now();
    std::vector<std::pair<Clock::time_point, TimerId>> due;
    for (const auto& [id, timer] : timers_)
        if (timer.due <= now)
            due.emplace_back(timer.due, id);
    // Equal delays fire in the order they were set, keeping answers in order.
    std::sort(due.begin(), due.end());
    for (const auto& entry : due) {
        auto it = timers_.find(entry.second);
        if (it == timers_.end())
            continue; // cancelled by an earlier callback
        auto callback = std::move(it->second.callback);
        timers_.erase(it);
        callback();
        if (!running_)
            return;
    }
}

bool PollLoop::run()
{
    running_ = true;
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> generations;
    while (running_) {
        fireDueTimers();
        if (!running_)
            break;
        fds.clear();
        generations.clear();
        for (const auto& [fd, w] : watches_) {
            fds.push_back(pollfd{fd, w.events, 0});
            generations.push_back(w.generation);
        }
        const int ready = ::poll(fds.data(), fds.size(), pollTimeoutMs());
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (std::size_t i = 0; i < fds.size() && running_; ++i) {
            if (fds[i].revents == 0)
                continue;
            auto it = watches_.find(fds[i].fd);
            if (it == watches_.end() || it->second.generation != generations[i])
                continue;
            // Copy: the handler may unwatch (and so destroy) itself.
            FdHandler handler = it->second.handler;
            handler(fds[i].revents);
        }
    }
    return true;
}

} // namespace phonesim
