// WinSock start-up and the protocol catalogue in which the transport's
// start-up looks for its TCP/IPv4 stream entry. On Windows these are
// WinSock's own calls. On Linux there is nothing to start, and the catalogue
// lists the IPv4 stream and datagram protocols a socket can be made for.
#pragma once

#include "SocketApi.h"
#include "WinTypes.h"

#ifndef SOCKET_ERROR
#define SOCKET_ERROR (-1)
#endif

constexpr int WSAVERNOTSUPPORTED = 10092;

struct WSADATA {
    WORD wVersion;     // the version the caller is to use: major in the low byte
    WORD wHighVersion; // the highest version available
};

// The fields of a catalogue entry that start-up tests.
struct WSAPROTOCOL_INFO {
    int iAddressFamily;
    int iMaxSockAddr;
    int iMinSockAddr;
    int iSocketType;
    int iProtocol;
};

// 0, or a WinSock error code (WSAVERNOTSUPPORTED for a version below 1.0).
int WSAStartup(WORD wVersionRequested, WSADATA* pData);
int WSACleanup();
// With piProtocols null, every entry. Returns the number of entries put in
// pBuffer; when *pdwBufferLength bytes cannot hold them, SOCKET_ERROR with
// WSAGetLastError() WSAENOBUFS and the bytes needed in *pdwBufferLength.
int WSAEnumProtocols(const int* piProtocols, WSAPROTOCOL_INFO* pBuffer, DWORD* pdwBufferLength);
// The calling thread's last WinSock error.
int WSAGetLastError();
