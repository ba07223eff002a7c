#pragma once

#include "Net.h"
#include "Phones.h"
#include "PollLoop.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <netinet/in.h>

namespace phonesim {

struct DiscoveryConfig {
    std::uint32_t bindAddress = INADDR_ANY; // host order
    std::uint32_t multicastInterface = INADDR_ANY;
    std::uint32_t group = 0xE0010205; // 224.1.2.5
    std::uint16_t port = 1025;
    std::uint16_t replyPort = 1030;
    std::vector<std::uint32_t> replyFrom;
    std::vector<Phone> phones;
    std::optional<std::vector<std::uint8_t>> rawReply; // replaces every record
};

// Answers each probe with one reply per simulated phone, sent as fast as the
// socket takes them; when it would block, waits for POLLOUT in the shared
// loop and carries on, so no reply is dropped on our side.
class DiscoveryResponder {
public:
    static constexpr char kProbe[] = "Hello, world!";
    static constexpr std::size_t kProbeSize = sizeof kProbe - 1;

    DiscoveryResponder(PollLoop& loop, DiscoveryConfig config);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    bool start(std::string& error);
    std::string readyText() const;

    // The phones reporting address ip (host order) stop answering while
    // they install an image; back, they answer with type when it is given.
    void silence(std::uint32_t ip);
    void comeBack(std::uint32_t ip, const std::optional<std::string>& type);

private:
    struct Burst {
        sockaddr_in to{};
        std::string prober;
        std::size_t next = 0;
        std::size_t failed = 0;
        std::size_t silent = 0;
    };

    bool openReplySockets(std::string& error);
    void onSocketEvent(int fd, short revents);
    void readDatagrams(int fd);
    void pump();
    int socketForPhone(std::size_t index) const;

    PollLoop& loop_;
    DiscoveryConfig config_;
    Fd socket_;
    std::vector<Fd> replySockets_; // empty: replies leave from socket_
    std::vector<std::string> replySources_;
    bool joined_ = false;
    std::vector<bool> silent_; // per phone: installing, answers nothing
    std::deque<Burst> bursts_;
    int blockedFd_ = -1; // waiting for POLLOUT on this socket
    PollLoop::TimerId retryTimer_ = 0;
    std::uint64_t ignored_ = 0;
};

} // namespace phonesim
