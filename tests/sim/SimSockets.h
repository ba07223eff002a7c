#pragma once

#include "PhoneSim.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <netinet/in.h>

using Bytes = std::vector<std::uint8_t>;

// Closes its descriptor on destruction.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

sockaddr_in endpoint(const std::string& ip, std::uint16_t port);
std::string formatEndpoint(const sockaddr_in& address);

// Blocking connect; on failure the socket is invalid and error holds errno.
Socket connectTcp(const std::string& ip, std::uint16_t port, int& error);
bool sendAll(int fd, const Bytes& bytes);

struct Received {
    enum class Kind { Data, Timeout, Eof, Error } kind = Kind::Timeout;
    Bytes bytes;
    int error = 0;
};
// Waits up to timeout, then one recv() (what one recv gives matters for
// --double-ack).
Received receiveOnce(int fd, std::chrono::milliseconds timeout);
// Keeps receiving until count bytes came, or the first non-data result.
Received receiveExactly(int fd, std::size_t count, std::chrono::milliseconds timeout);

Socket udpSocket(const std::string& ip, std::uint16_t port);

struct Datagram {
    Bytes bytes;
    sockaddr_in from{};
};
// Collects datagrams until count arrived or timeout passed.
std::vector<Datagram> receiveDatagrams(int fd, std::size_t count, std::chrono::milliseconds timeout);

Bytes block(std::uint8_t seed, std::size_t size = 128);

// Every test gets its own loopback address (all of 127/8 reaches lo), so
// simulators of tests running in parallel never share an address and port.
// Slots 0..29: update exchange tests, 30..49: discovery tests.
inline std::string loopbackAddress(int slot) { return "127.0.0." + std::to_string(20 + slot); }
