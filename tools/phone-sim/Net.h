#pragma once

#include <cstdint>
#include <string>

#include <netinet/in.h>

namespace phonesim {

// Owns one file descriptor; closes it on destruction.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

std::string errnoText(int err);

// Builds an IPv4 socket address from a host-order address and port.
sockaddr_in endpoint(std::uint32_t hostAddress, std::uint16_t port);

// "A.B.C.D:PORT"
std::string formatEndpoint(const sockaddr_in& address);

} // namespace phonesim
