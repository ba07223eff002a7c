#include "DiscoveryResponder.h"

#include "Output.h"
#include "Parse.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <sys/socket.h>

namespace phonesim {
namespace {

// ENOBUFS may clear without the socket ever reporting POLLOUT, so it is
// retried on a short timer instead.
constexpr std::chrono::milliseconds kNoBufferRetry{1};
// Datagrams read per wake-up, so a flood of probes cannot starve TCP.
constexpr int kReadBatch = 64;

bool bindUdp(Fd& fd, std::uint32_t address, std::uint16_t port, std::string& error)
{
    fd.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int one = 1;
    const auto where = endpoint(address, port);
    // SO_REUSEADDR: several simulators (or several reply sockets) share the
    // discovery port, as phones on one segment would.
    if (!fd.valid() || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        error = "cannot bind UDP " + formatEndpoint(where) + ": " + errnoText(errno);
        return false;
    }
    return true;
}

} // namespace

DiscoveryResponder::DiscoveryResponder(PollLoop& loop, DiscoveryConfig config)
    : loop_(loop), config_(std::move(config)), silent_(config_.phones.size(), false)
{
}

DiscoveryResponder::~DiscoveryResponder()
{
    loop_.cancelTimer(retryTimer_);
    if (socket_.valid())
        loop_.unwatch(socket_.get());
    for (const auto& fd : replySockets_)
        loop_.unwatch(fd.get());
}

bool DiscoveryResponder::start(std::string& error)
{
    if (!bindUdp(socket_, config_.bindAddress, config_.port, error))
        return false;
    // A socket bound to a unicast address never sees multicast, so joining
    // would only announce membership (IGMP) for nothing.
    const bool canHearGroup = config_.bindAddress == INADDR_ANY || config_.bindAddress == config_.group;
    if (canHearGroup) {
        ip_mreq request{};
        request.imr_multiaddr.s_addr = htonl(config_.group);
        request.imr_interface.s_addr = htonl(config_.multicastInterface);
        if (::setsockopt(socket_.get(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
            error = "cannot join " + formatIPv4(config_.group) + " on interface "
                + formatIPv4(config_.multicastInterface) + ": " + errnoText(errno)
                + " (choose the interface with --mcast-if)";
            return false;
        }
        joined_ = true;
    }
    if (!openReplySockets(error))
        return false;
    const int fd = socket_.get();
    loop_.watch(fd, POLLIN, [this, fd](short revents) { onSocketEvent(fd, revents); });
    return true;
}

bool DiscoveryResponder::openReplySockets(std::string& error)
{
    for (std::uint32_t address : config_.replyFrom) {
        Fd fd;
        // Prefer the discovery port, as a real phone answers from it; any
        // port will do when that one is taken.
        if (!bindUdp(fd, address, config_.port, error) && !bindUdp(fd, address, 0, error))
            return false;
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &length);
        replySources_.push_back(formatEndpoint(bound));
        const int raw = fd.get();
        // Unicast probes to this address land on this socket: answer them too.
        loop_.watch(raw, POLLIN, [this, raw](short revents) { onSocketEvent(raw, revents); });
        replySockets_.push_back(std::move(fd));
    }
    return true;
}

std::string DiscoveryResponder::readyText() const
{
    std::string text = "discovery on " + formatIPv4(config_.bindAddress) + ":" + std::to_string(config_.port);
    if (joined_)
        text += ", group " + formatIPv4(config_.group) + " on interface " + formatIPv4(config_.multicastInterface);
    else
        text += ", unicast probes only";
    text += ", " + std::to_string(config_.phones.size()) + " phones";
    if (config_.rawReply)
        text += " (raw " + std::to_string(config_.rawReply->size()) + "-byte reply)";
    text += ", replies to port " + std::to_string(config_.replyPort);
    if (!replySources_.empty()) {
        text += " from";
        for (const auto& source : replySources_)
            text += " " + source;
    }
    return text;
}

void DiscoveryResponder::silence(std::uint32_t ip)
{
    for (std::size_t i = 0; i < config_.phones.size(); ++i) {
        if (config_.phones[i].ip != ip)
            continue;
        silent_[i] = true;
        out::status("phone " + formatIPv4(ip) + " is updating, silent to discovery");
    }
}

void DiscoveryResponder::comeBack(std::uint32_t ip, const std::optional<std::string>& type)
{
    for (std::size_t i = 0; i < config_.phones.size(); ++i) {
        if (config_.phones[i].ip != ip)
            continue;
        silent_[i] = false;
        if (type)
            config_.phones[i].type = *type;
        out::status("phone " + formatIPv4(ip) + " is back, answering discovery as \"" + config_.phones[i].type
                    + "\"");
    }
}

void DiscoveryResponder::onSocketEvent(int fd, short revents)
{
    if (revents & POLLOUT) {
        loop_.setEvents(fd, POLLIN);
        if (fd == blockedFd_) {
            blockedFd_ = -1;
            pump();
        }
    }
    if (revents & POLLERR) {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0)
            out::warn("UDP socket error: " + errnoText(error));
    }
    if (revents & POLLIN)
        readDatagrams(fd);
}

void DiscoveryResponder::readDatagrams(int fd)
{
    char buffer[2048];
    for (int i = 0; i < kReadBatch; ++i) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        // MSG_TRUNC reports the real size, so a long datagram that merely
        // starts with the probe text is not taken for a probe.
        const ssize_t got = ::recvfrom(fd, buffer, sizeof buffer, MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&from), &length);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                out::warn("UDP receive failed: " + errnoText(errno));
            break;
        }
        const bool isProbe = static_cast<std::size_t>(got) == kProbeSize
            && std::memcmp(buffer, kProbe, kProbeSize) == 0;
        if (!isProbe) {
            ++ignored_;
            out::status("ignored " + std::to_string(got) + "-byte datagram from " + formatEndpoint(from) + " ("
                        + std::to_string(ignored_) + " ignored so far)");
            continue;
        }
        out::debug("probe from " + formatEndpoint(from));
        Burst burst;
        burst.prober = formatEndpoint(from);
        burst.to = from;
        burst.to.sin_port = htons(config_.replyPort);
        bursts_.push_back(burst);
    }
    pump();
}

int DiscoveryResponder::socketForPhone(std::size_t index) const
{
    if (replySockets_.empty())
        return socket_.get();
    return replySockets_[index % replySockets_.size()].get();
}

void DiscoveryResponder::pump()
{
    if (blockedFd_ >= 0 || retryTimer_ != 0)
        return; // already waiting to go on
    const std::size_t count = config_.phones.size();
    while (!bursts_.empty()) {
        Burst& burst = bursts_.front();
        while (burst.next < count) {
            if (silent_[burst.next]) {
                ++burst.silent;
                ++burst.next;
                continue;
            }
            const int fd = socketForPhone(burst.next);
            Reply record{};
            const std::uint8_t* data = nullptr;
            std::size_t size = 0;
            if (config_.rawReply) {
                data = config_.rawReply->data();
                size = config_.rawReply->size();
            } else {
                record = encodeReply(config_.phones[burst.next]);
                data = record.data();
                size = record.size();
            }
            const ssize_t sent = ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&burst.to),
                                          sizeof burst.to);
            if (sent >= 0) {
                ++burst.next;
                continue;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                blockedFd_ = fd;
                loop_.setEvents(fd, POLLIN | POLLOUT);
                return;
            }
            if (errno == ENOBUFS) {
                retryTimer_ = loop_.addTimer(kNoBufferRetry, [this] {
                    retryTimer_ = 0;
                    pump();
                });
                return;
            }
            // Not a matter of waiting (e.g. no route): say so and go on.
            out::warn("reply " + std::to_string(burst.next + 1) + " to " + formatEndpoint(burst.to)
                      + " failed: " + errnoText(errno));
            ++burst.failed;
            ++burst.next;
        }
        std::string line = "probe from " + burst.prober + ", sent "
            + std::to_string(count - burst.failed - burst.silent)
            + " replies"; // fixed wording: scripts match "sent N replies"
        if (burst.failed > 0)
            line += ", " + std::to_string(burst.failed) + " failed";
        if (burst.silent > 0)
            line += ", " + std::to_string(burst.silent) + " silent while updating";
        out::status(line);
        bursts_.pop_front();
    }
}

} // namespace phonesim
