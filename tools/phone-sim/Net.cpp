#include "Net.h"

#include "Parse.h"

#include <cstring>

#include <arpa/inet.h>
#include <unistd.h>

namespace phonesim {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int Fd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

std::string errnoText(int err) { return std::strerror(err); }

sockaddr_in endpoint(std::uint32_t hostAddress, std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostAddress);
    address.sin_port = htons(port);
    return address;
}

std::string formatEndpoint(const sockaddr_in& address)
{
    return formatIPv4(ntohl(address.sin_addr.s_addr)) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace phonesim
