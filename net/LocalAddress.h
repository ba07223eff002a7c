// The local host's own IPv4 address, which UDP sockets bind to and by which
// they recognise their own datagrams.
#pragma once

#include "WinTypes.h"

// Network byte order. The first non-loopback IPv4 address of the host's own
// name; where the name maps only to loopback (Linux often maps it to
// 127.0.1.1), the address of the first interface that is up, not loopback and
// multicast-capable; 0 (bind to any address, filter nothing) where there is
// neither. Traces which one was chosen.
DWORD GetLocalHostAddress();
