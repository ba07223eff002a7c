#include "UpdateServer.h"

#include "Output.h"
#include "Parse.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace phonesim {
namespace {

// How long a connection closed by --close-after may take to send its FIN
// back before it is dropped anyway.
constexpr std::chrono::milliseconds kDrainLimit{2000};
constexpr std::chrono::milliseconds kRelistenRetry{100};

std::string hexByte(std::uint8_t byte)
{
    char text[5];
    std::snprintf(text, sizeof text, "0x%02x", byte);
    return text;
}

} // namespace

UpdateServer::UpdateServer(PollLoop& loop, UpdateConfig config, SaveFile* save)
    : loop_(loop), config_(config), save_(save)
{
}

UpdateServer::~UpdateServer()
{
    for (auto& entry : connections_) {
        loop_.unwatch(entry.second.fd.get());
        loop_.cancelTimer(entry.second.finishTimer);
        for (auto timer : entry.second.answerTimers)
            loop_.cancelTimer(timer);
    }
    loop_.cancelTimer(relistenTimer_);
    closeListener();
}

bool UpdateServer::start(std::string& error)
{
    boundPort_ = config_.port;
    if (!config_.refuse)
        return openListener(error);
    // Bound but never listening: the port is ours (so --port 0 still names a
    // real port) and every connect is answered with a reset, i.e. refused.
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int one = 1;
    const auto address = endpoint(config_.address, config_.port);
    if (!listener_.valid() || ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || ::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = "cannot bind " + formatEndpoint(address) + ": " + errnoText(errno);
        return false;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&bound), &length);
    boundPort_ = ntohs(bound.sin_port);
    return true;
}

std::string UpdateServer::readyText() const
{
    return std::string(config_.refuse ? "refusing on " : "listening on ") + formatIPv4(config_.address)
        + ":" + std::to_string(boundPort_);
}

bool UpdateServer::openListener(std::string& error)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const auto address = endpoint(config_.address, boundPort_);
    const int one = 1;
    // SO_REUSEADDR: connections of the previous update may sit in TIME_WAIT.
    if (!fd.valid() || ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0
        || ::listen(fd.get(), SOMAXCONN) != 0) {
        error = "cannot listen on " + formatEndpoint(address) + ": " + errnoText(errno);
        return false;
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &length);
    boundPort_ = ntohs(bound.sin_port);
    listener_ = std::move(fd);
    loop_.watch(listener_.get(), POLLIN, [this](short) { onAcceptable(); });
    return true;
}

void UpdateServer::closeListener()
{
    if (!listener_.valid())
        return;
    loop_.unwatch(listener_.get());
    listener_.reset();
}

void UpdateServer::relisten()
{
    relistenTimer_ = 0;
    std::string error;
    if (!openListener(error)) {
        out::warn(error + "; retrying");
        relistenTimer_ = loop_.addTimer(kRelistenRetry, [this] { relisten(); });
        return;
    }
    out::status("update done, listening again on " + formatIPv4(config_.address) + ":"
                + std::to_string(boundPort_));
    if (updating_)
        updating_(false);
}

void UpdateServer::onAcceptable()
{
    while (listener_.valid()) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        Fd fd(::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                        SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.valid()) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                out::warn("accept failed: " + errnoText(errno));
            return;
        }
        const std::uint64_t id = nextId_++;
        Connection& conn = connections_[id];
        conn.fd = std::move(fd);
        conn.peer = formatEndpoint(peer);
        conn.answering = !(config_.stopAfter && *config_.stopAfter == 0);
        loop_.watch(conn.fd.get(), POLLIN, [this, id](short revents) { onConnectionEvent(id, revents); });
        out::debug("accepted connection from " + conn.peer);
        // A zero count means the fault strikes before any block.
        if (config_.resetAfter && *config_.resetAfter == 0)
            closeConnection(id, true, "--reset-after 0");
        else if (config_.closeAfter && *config_.closeAfter == 0)
            beginOrderlyClose(id);
    }
}

void UpdateServer::onConnectionEvent(std::uint64_t id, short revents)
{
    if ((revents & POLLOUT) && !flushOutbox(id))
        return;
    if (!(revents & (POLLIN | POLLHUP | POLLERR)))
        return;
    std::uint8_t buffer[65536];
    while (true) {
        auto it = connections_.find(id);
        if (it == connections_.end())
            return;
        const ssize_t got = ::recv(it->second.fd.get(), buffer, sizeof buffer, 0);
        if (got > 0) {
            onData(id, buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0) {
            const auto pending = it->second.partial.size();
            closeConnection(id, false,
                            pending == 0 ? "peer closed"
                                         : "peer closed with " + std::to_string(pending)
                                    + " bytes of an unfinished block");
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            closeConnection(id, false, "receive failed: " + errnoText(errno));
        return;
    }
}

void UpdateServer::onData(std::uint64_t id, const std::uint8_t* data, std::size_t size)
{
    auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    if (save_) {
        // Truncating on the first byte, not on accept, keeps a check
        // connection that sends nothing from wiping the last update.
        if (!it->second.receivedAny)
            save_->startOver();
        save_->append(data, size);
    }
    it->second.receivedAny = true;
    if (it->second.shuttingDown)
        return;
    loop_.cancelTimer(it->second.finishTimer);
    it->second.finishTimer = 0;

    std::size_t used = 0;
    while (used < size) {
        auto& partial = it->second.partial;
        const std::size_t take = std::min(kBlockSize - partial.size(), size - used);
        partial.insert(partial.end(), data + used, data + used + take);
        used += take;
        if (partial.size() < kBlockSize)
            break;
        partial.clear();
        it->second.updateBytes += kBlockSize;
        scheduleAnswer(id, AnswerKind::Block, 0);
        // An immediate answer may have closed the connection.
        it = connections_.find(id);
        if (it == connections_.end() || it->second.shuttingDown)
            return;
    }
    if (it->second.partial.size() == 1)
        it->second.finishTimer = loop_.addTimer(config_.finishGap, [this, id] { onFinishGap(id); });
}

void UpdateServer::onFinishGap(std::uint64_t id)
{
    auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    Connection& conn = it->second;
    conn.finishTimer = 0;
    if (conn.partial.size() != 1)
        return;
    const std::uint8_t finishingByte = conn.partial.front();
    conn.partial.clear();
    const std::uint64_t total = conn.updateBytes + 1;
    conn.updateBytes = 0;
    out::status("received " + std::to_string(total) + " bytes, finishing byte " + hexByte(finishingByte));
    scheduleAnswer(id, AnswerKind::Finish, finishingByte);
}

void UpdateServer::scheduleAnswer(std::uint64_t id, AnswerKind kind, std::uint8_t finishingByte)
{
    Connection& conn = connections_.at(id);
    if (config_.silent || !conn.answering)
        return;
    if (kind == AnswerKind::Block) {
        ++conn.blocksScheduled;
        if (config_.stopAfter && conn.blocksScheduled >= *config_.stopAfter)
            conn.answering = false;
    }
    if (config_.ackDelay.count() == 0) {
        sendAnswer(id, kind, finishingByte);
        return;
    }
    conn.answerTimers.push_back(loop_.addTimer(config_.ackDelay, [this, id, kind, finishingByte] {
        auto it = connections_.find(id);
        if (it == connections_.end())
            return;
        // All answers share one delay, so they fire in the order scheduled.
        it->second.answerTimers.erase(it->second.answerTimers.begin());
        sendAnswer(id, kind, finishingByte);
    }));
}

void UpdateServer::sendAnswer(std::uint64_t id, AnswerKind kind, std::uint8_t finishingByte)
{
    // Stop listening before the answer leaves: a peer that connects the
    // moment it sees the answer must already be refused.
    if (kind == AnswerKind::Finish && finishingByte == kFinishImage && config_.updateBusy.count() > 0)
        beginBusy();
    Connection& conn = connections_.at(id);
    const std::uint8_t answer[2] = {config_.ackByte, config_.ackByte};
    const std::size_t length = config_.doubleAck ? 2 : 1;
    if (conn.outbox.empty()) {
        // One send() per answer: a peer that reads the answer must see it whole.
        const ssize_t sent = ::send(conn.fd.get(), answer, length, MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            closeConnection(id, false, "send failed: " + errnoText(errno));
            return;
        }
        const std::size_t done = sent > 0 ? static_cast<std::size_t>(sent) : 0;
        conn.outbox.assign(answer + done, answer + length);
    } else {
        conn.outbox.insert(conn.outbox.end(), answer, answer + length);
    }
    if (!conn.outbox.empty())
        loop_.setEvents(conn.fd.get(), POLLIN | POLLOUT);

    if (kind == AnswerKind::Block) {
        ++conn.blocksAnswered;
        out::debug("answered block " + std::to_string(conn.blocksAnswered) + " from " + conn.peer);
        applyCloseFaults(id);
        return;
    }
    out::debug("answered finishing byte " + hexByte(finishingByte) + " from " + conn.peer);
}

bool UpdateServer::flushOutbox(std::uint64_t id)
{
    auto it = connections_.find(id);
    if (it == connections_.end())
        return false;
    Connection& conn = it->second;
    if (!conn.outbox.empty()) {
        const ssize_t sent = ::send(conn.fd.get(), conn.outbox.data(), conn.outbox.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return true;
            closeConnection(id, false, "send failed: " + errnoText(errno));
            return false;
        }
        conn.outbox.erase(conn.outbox.begin(), conn.outbox.begin() + sent);
        if (!conn.outbox.empty())
            return true;
    }
    loop_.setEvents(conn.fd.get(), POLLIN);
    const auto after = conn.afterOutbox;
    conn.afterOutbox = Connection::After::Nothing;
    if (after == Connection::After::Reset) {
        closeConnection(id, true, "--reset-after");
        return false;
    }
    if (after == Connection::After::Close)
        beginOrderlyClose(id);
    return connections_.count(id) != 0;
}

void UpdateServer::applyCloseFaults(std::uint64_t id)
{
    Connection& conn = connections_.at(id);
    const bool reset = config_.resetAfter && conn.blocksAnswered == *config_.resetAfter;
    const bool close = config_.closeAfter && conn.blocksAnswered == *config_.closeAfter;
    if (!reset && !close)
        return;
    // The K-th answer must reach the peer before the connection goes.
    if (!conn.outbox.empty()) {
        conn.afterOutbox = reset ? Connection::After::Reset : Connection::After::Close;
        return;
    }
    if (reset)
        closeConnection(id, true, "--reset-after " + std::to_string(*config_.resetAfter));
    else
        beginOrderlyClose(id);
}

void UpdateServer::beginOrderlyClose(std::uint64_t id)
{
    Connection& conn = connections_.at(id);
    conn.shuttingDown = true;
    loop_.cancelTimer(conn.finishTimer);
    conn.finishTimer = 0;
    for (auto timer : conn.answerTimers)
        loop_.cancelTimer(timer);
    conn.answerTimers.clear();
    // FIN first and keep reading until the peer closes: a close() with
    // unread data in the receive queue would send a reset instead.
    ::shutdown(conn.fd.get(), SHUT_WR);
    out::status("closed connection from " + conn.peer + " after " + std::to_string(conn.blocksAnswered)
                + " blocks (--close-after)");
    loop_.addTimer(kDrainLimit, [this, id] {
        if (connections_.count(id))
            closeConnection(id, false, "peer did not close after --close-after");
    });
}

void UpdateServer::beginBusy()
{
    loop_.cancelTimer(relistenTimer_);
    relistenTimer_ = 0;
    closeListener();
    if (updating_)
        updating_(true);
    if (config_.neverBack) {
        out::status("update started, refusing connections for good (--never-back)");
        return;
    }
    out::status("update started, refusing connections for " + std::to_string(config_.updateBusy.count())
                + " ms");
    relistenTimer_ = loop_.addTimer(config_.updateBusy, [this] { relisten(); });
}

void UpdateServer::closeConnection(std::uint64_t id, bool reset, const std::string& why)
{
    auto it = connections_.find(id);
    if (it == connections_.end())
        return;
    Connection& conn = it->second;
    loop_.cancelTimer(conn.finishTimer);
    for (auto timer : conn.answerTimers)
        loop_.cancelTimer(timer);
    loop_.unwatch(conn.fd.get());
    if (reset) {
        // Linger with zero timeout makes close() send a reset, not a FIN.
        const linger abort{1, 0};
        ::setsockopt(conn.fd.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        out::status("reset connection from " + conn.peer + " after " + std::to_string(conn.blocksAnswered)
                    + " blocks (" + why + ")");
    } else {
        out::debug("connection from " + conn.peer + " closed: " + why);
    }
    connections_.erase(it);
}

} // namespace phonesim
