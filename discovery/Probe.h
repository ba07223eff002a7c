// The discovery probe: "Hello, world!" multicast to the phones.
#pragma once

#include "WinTypes.h"

constexpr DWORD kDiscoveryGroup = 0xE0010205; // 224.1.2.5
constexpr UINT kDiscoveryPort = 1025;
constexpr UINT kReplyPort = 1030;
constexpr UINT kDiscoveryRecvSize = 1400;

// Sends one probe from the local address, port 1025, through a socket of its
// own, and returns once that socket has closed again (at most 3000 ms).
// dwLocalAddress in host form; 0 takes the local host's own address.
void SendDiscoveryProbe(HWND hWnd, DWORD dwLocalAddress = 0);
