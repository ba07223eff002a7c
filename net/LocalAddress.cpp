#include "LocalAddress.h"

#include "SocketApi.h"
#include "Trace.h"

#include <string>

namespace {
bool IsLoopback(DWORD dwAddress) {
    return (ntohl(dwAddress) >> 24) == 127;
}

// The first non-loopback IPv4 address the host's name resolves to, in the
// resolver's order, or 0.
DWORD FromHostName(std::string* pName) {
    if (!GetHostName(pName))
        return 0;
    for (DWORD dwAddress : GetHostAddresses(*pName))
        if (!IsLoopback(dwAddress))
            return dwAddress;
    return 0;
}

DWORD FromInterfaces(std::string* pName) {
    for (const CInterfaceAddress& entry : GetInterfaceAddresses()) {
        if (!entry.bUp || entry.bLoopback || !entry.bMulticast)
            continue;
        *pName = entry.name;
        return entry.dwAddress;
    }
    return 0;
}
} // namespace

DWORD GetLocalHostAddress() {
    std::string name;
    DWORD dwAddress = FromHostName(&name);
    if (dwAddress != 0) {
        OutputDebugStringA("Local address " + InetNtoa(dwAddress) + " of host name " + name + "\n");
        return dwAddress;
    }
    dwAddress = FromInterfaces(&name);
    if (dwAddress != 0) {
        OutputDebugStringA("Local address " + InetNtoa(dwAddress) + " of interface " + name + "\n");
        return dwAddress;
    }
    OutputDebugStringA("No local address: binding to any address\n");
    return 0;
}
