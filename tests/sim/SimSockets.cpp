#include "SimSockets.h"

#include <cerrno>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
} // namespace

Socket::~Socket()
{
    if (fd_ >= 0)
        ::close(fd_);
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

sockaddr_in endpoint(const std::string& ip, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    return address;
}

std::string formatEndpoint(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

Socket connectTcp(const std::string& ip, std::uint16_t port, int& error)
{
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const auto address = endpoint(ip, port);
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        return Socket();
    }
    error = 0;
    return socket;
}

bool sendAll(int fd, const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(sent);
    }
    return true;
}

Received receiveOnce(int fd, std::chrono::milliseconds timeout)
{
    Received result;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (ready <= 0)
        return result; // Timeout
    std::uint8_t buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
        result.kind = Received::Kind::Data;
        result.bytes.assign(buffer, buffer + got);
    } else if (got == 0) {
        result.kind = Received::Kind::Eof;
    } else {
        result.kind = Received::Kind::Error;
        result.error = errno;
    }
    return result;
}

Received receiveExactly(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    Received total;
    total.kind = Received::Kind::Data;
    while (total.bytes.size() < count) {
        Received part = receiveOnce(fd, std::chrono::milliseconds(msUntil(deadline)));
        if (part.kind != Received::Kind::Data) {
            part.bytes.insert(part.bytes.begin(), total.bytes.begin(), total.bytes.end());
            return part;
        }
        total.bytes.insert(total.bytes.end(), part.bytes.begin(), part.bytes.end());
    }
    return total;
}

Socket udpSocket(const std::string& ip, std::uint16_t port)
{
    Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    ::setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const auto address = endpoint(ip, port);
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Socket();
    return socket;
}

std::vector<Datagram> receiveDatagrams(int fd, std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::vector<Datagram> datagrams;
    while (datagrams.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, msUntil(deadline)) <= 0)
            break;
        std::uint8_t buffer[2048];
        Datagram datagram;
        socklen_t length = sizeof datagram.from;
        const ssize_t got = ::recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&datagram.from), &length);
        if (got < 0)
            continue;
        datagram.bytes.assign(buffer, buffer + got);
        datagrams.push_back(std::move(datagram));
    }
    return datagrams;
}

Bytes block(std::uint8_t seed, std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed * 31 + i);
    return bytes;
}
