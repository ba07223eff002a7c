// Socket types on Windows, without <winsock2.h>, whose names clash with the
// platform layer's own Win32 names: a socket is WinSock's SOCKET, and the
// address types, option numbers and byte-order helpers are laid out and
// numbered as WinSock's, which the Windows side hands on unchanged.
#pragma once

#include <cstdint>

typedef uintptr_t SOCKET;
typedef int socklen_t;
struct sockaddr;

struct in_addr {
    uint32_t s_addr;
};
struct sockaddr_in {
    uint16_t sin_family;
    uint16_t sin_port;
    in_addr sin_addr;
    char sin_zero[8];
};
struct ip_mreq {
    in_addr imr_multiaddr;
    in_addr imr_interface;
};

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_TCP = 6;
constexpr int IPPROTO_UDP = 17;

constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_RCVBUF = 0x1002;
// Windows caps no receive buffer below what is asked, so the forced
// variant Linux keeps for root is the plain option here.
constexpr int SO_RCVBUFFORCE = SO_RCVBUF;
// WinSock 2's numbers (ws2ipdef.h), not WinSock 1's.
constexpr int IP_MULTICAST_IF = 9;
constexpr int IP_MULTICAST_TTL = 10;
constexpr int IP_ADD_MEMBERSHIP = 12;

constexpr uint32_t INADDR_ANY = 0x00000000;
constexpr uint32_t INADDR_BROADCAST = 0xFFFFFFFF;
constexpr uint32_t INADDR_NONE = 0xFFFFFFFF;

// Windows runs little-endian only.
constexpr uint16_t htons(uint16_t n) {
    return static_cast<uint16_t>((n << 8) | (n >> 8));
}
constexpr uint16_t ntohs(uint16_t n) {
    return htons(n);
}
constexpr uint32_t htonl(uint32_t n) {
    return ((n & 0xFF) << 24) | ((n & 0xFF00) << 8) | ((n >> 8) & 0xFF00) | (n >> 24);
}
constexpr uint32_t ntohl(uint32_t n) {
    return htonl(n);
}
